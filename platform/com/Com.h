#pragma once

// The COM stand-in: the few pieces of COM the player and its event sink use —
// interface ids, HRESULT, reference counting, IDispatch invocation, connection
// points, apartments and object creation — with COM's names and numbers, in
// plain C++. There is no registry: CoCreateInstance knows the classes linked
// into the program (the media player of platform/wmp).

#include <atomic>
#include <cstdint>
#include <string>

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DISPID = std::int32_t;
using LCID = std::uint32_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using COM_LONG = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007);
constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = static_cast<HRESULT>(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202);

constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct GUID
{
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

bool IsEqualGUID(const GUID& left, const GUID& right);
inline bool operator==(const GUID& left, const GUID& right) { return IsEqualGUID(left, right); }
// "{6BF52A52-394A-11D3-B153-00C04F79FAA6}"
std::string GuidToString(const GUID& guid);

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IConnectionPointContainer;
extern const IID IID_IConnectionPoint;

// ------------------------------------------------------------------ strings

// BSTR: a UTF-16 string as the player's interface takes and gives it, made
// and freed only by the Sys* calls. A null BSTR reads as the empty string.
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, unsigned int length);
void SysFreeString(BSTR text);
unsigned int SysStringLen(BSTR text);
// UTF-8 <-> BSTR, for the code on either side of the player interface.
BSTR Utf8ToBstr(const char* text);
std::string BstrToUtf8(BSTR text);

// ----------------------------------------------------------------- variants

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_R8 = 5;

struct VARIANT
{
    VARTYPE vt = VT_EMPTY;
    union {
        COM_LONG lVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
    };
    VARIANT() : lVal(0) {}
};
using VARIANTARG = VARIANT;

struct DISPPARAMS
{
    VARIANTARG* rgvarg;         // arguments, last argument first
    DISPID* rgdispidNamedArgs;
    unsigned int cArgs;
    unsigned int cNamedArgs;
};

struct EXCEPINFO;
struct ITypeInfo;

// --------------------------------------------------------------- interfaces

struct IUnknown
{
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IDispatch : IUnknown
{
    virtual HRESULT GetTypeInfoCount(unsigned int* count) = 0;
    virtual HRESULT GetTypeInfo(unsigned int index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID iid, OLECHAR** names, unsigned int count, LCID locale,
                                  DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID member, REFIID iid, LCID locale, std::uint16_t flags, DISPPARAMS* parameters,
                           VARIANT* result, EXCEPINFO* exception, unsigned int* argumentError) = 0;

protected:
    ~IDispatch() = default;
};

constexpr std::uint16_t DISPATCH_METHOD = 1;

// The IDispatch part of an interface that its callers call directly, through
// its own methods: no type library, no names, no late-bound calls.
template <class Interface>
class CEarlyBound : public Interface
{
public:
    HRESULT GetTypeInfoCount(unsigned int* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(unsigned int, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, OLECHAR**, unsigned int, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, std::uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*, unsigned int*) override
    {
        return E_NOTIMPL;
    }

protected:
    ~CEarlyBound() = default;
};

// An object on the heap that offers one dispatch interface (and IUnknown and
// IDispatch), made with one reference and deleted at its last Release, on
// whichever thread that is.
template <class Interface, const IID& interfaceId>
class CSingleInterfaceObject : public CEarlyBound<Interface>
{
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, interfaceId)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~CSingleInterfaceObject() = default;

private:
    std::atomic<ULONG> references{1};
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown
{
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    // Holds one reference to the sink until Unadvise; the cookie names it.
    virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown
{
    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

// ------------------------------------------------------------- apartments

constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;

// Per thread, counted: every successful CoInitialize wants a CoUninitialize.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// Creates an object of a class linked into the program. The calling thread
// must have called CoInitialize.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t context, REFIID iid, void** object);

// A class linked into the program registers its factory here (once, at
// start-up; platform/wmp does it for the media player).
using ClassFactoryFunction = HRESULT (*)(REFIID iid, void** object);
void RegisterClassFactory(REFCLSID clsid, ClassFactoryFunction factory);
