#include "platform/com/Com.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

// ------------------------------------------------------------------- GUIDs

bool IsEqualGUID(const GUID& left, const GUID& right)
{
    return left.Data1 == right.Data1 && left.Data2 == right.Data2 && left.Data3 == right.Data3 &&
           std::memcmp(left.Data4, right.Data4, sizeof left.Data4) == 0;
}

std::string GuidToString(const GUID& guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A,
                                           {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

// ----------------------------------------------------------------- strings

// A BSTR is preceded by its length in bytes, as COM lays it out, so that
// SysStringLen needs no scan and embedded zeros survive.
namespace {

using BstrLength = std::uint32_t;

BSTR AllocateBstr(unsigned int length)
{
    const std::size_t bytes = sizeof(BstrLength) + (static_cast<std::size_t>(length) + 1) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    if (block == nullptr)
        return nullptr;
    const BstrLength byteLength = static_cast<BstrLength>(length * sizeof(OLECHAR));
    std::memcpy(block, &byteLength, sizeof byteLength);
    BSTR text = reinterpret_cast<BSTR>(block + sizeof(BstrLength));
    text[length] = 0;
    return text;
}

unsigned char* BstrBlock(BSTR text)
{
    return reinterpret_cast<unsigned char*>(text) - sizeof(BstrLength);
}

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes one UTF-8 sequence at text[index]; malformed, overlong and
// surrogate sequences give U+FFFD and consume one byte, so that a stray byte
// never swallows the characters after it.
char32_t DecodeUtf8(const unsigned char* text, std::size_t size, std::size_t& index)
{
    const unsigned char lead = text[index];
    if (lead < 0x80) {
        ++index;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++index;
        return kReplacementCharacter;
    }
    if (index + length > size) {
        ++index;
        return kReplacementCharacter;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = text[index + i];
        if ((next & 0xC0) != 0x80) {
            ++index;
            return kReplacementCharacter;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++index;
        return kReplacementCharacter;
    }
    index += length;
    return value;
}

void AppendUtf8(std::string& out, char32_t value)
{
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

} // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr)
        return nullptr;
    unsigned int length = 0;
    while (text[length] != 0)
        ++length;
    return SysAllocStringLen(text, length);
}

BSTR SysAllocStringLen(const OLECHAR* text, unsigned int length)
{
    BSTR copy = AllocateBstr(length);
    if (copy == nullptr)
        return nullptr;
    if (text != nullptr)
        std::memcpy(copy, text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
    else
        std::memset(copy, 0, static_cast<std::size_t>(length) * sizeof(OLECHAR));
    return copy;
}

void SysFreeString(BSTR text)
{
    if (text != nullptr)
        std::free(BstrBlock(text));
}

unsigned int SysStringLen(BSTR text)
{
    if (text == nullptr)
        return 0;
    BstrLength byteLength = 0;
    std::memcpy(&byteLength, BstrBlock(text), sizeof byteLength);
    return byteLength / sizeof(OLECHAR);
}

BSTR Utf8ToBstr(const char* text)
{
    if (text == nullptr)
        return SysAllocStringLen(nullptr, 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const std::size_t size = std::strlen(text);
    std::u16string wide;
    wide.reserve(size);
    for (std::size_t index = 0; index < size;) {
        const char32_t value = DecodeUtf8(bytes, size, index);
        if (value >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(value);
        }
    }
    return SysAllocStringLen(wide.data(), static_cast<unsigned int>(wide.size()));
}

std::string BstrToUtf8(BSTR text)
{
    std::string out;
    const unsigned int length = SysStringLen(text);
    out.reserve(length);
    for (unsigned int index = 0; index < length; ++index) {
        const char16_t unit = text[index];
        if (unit >= 0xD800 && unit <= 0xDBFF && index + 1 < length && text[index + 1] >= 0xDC00 &&
            text[index + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[index + 1] - 0xDC00));
            ++index;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacementCharacter); // a lone half of a pair
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

// -------------------------------------------------------------- apartments

namespace {

// Successful CoInitialize calls of this thread not yet undone.
thread_local int apartmentCount = 0;

struct GuidLess
{
    bool operator()(const GUID& left, const GUID& right) const
    {
        return std::memcmp(&left, &right, sizeof(GUID)) < 0;
    }
};

struct ClassTable
{
    std::mutex mutex;
    std::map<CLSID, ClassFactoryFunction, GuidLess> factories;
};

// Built on first use, so registrations from other libraries' global
// constructors find it whatever the order of static initialisation.
ClassTable& Classes()
{
    static ClassTable table;
    return table;
}

} // namespace

HRESULT CoInitialize(void* reserved)
{
    if (reserved != nullptr)
        return E_INVALIDARG;
    return apartmentCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (apartmentCount > 0)
        --apartmentCount;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t context, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (apartmentCount == 0)
        return CO_E_NOTINITIALIZED;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    if ((context & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    ClassFactoryFunction factory = nullptr;
    {
        ClassTable& table = Classes();
        std::lock_guard<std::mutex> lock(table.mutex);
        const auto found = table.factories.find(clsid);
        if (found != table.factories.end())
            factory = found->second;
    }
    if (factory == nullptr)
        return REGDB_E_CLASSNOTREG;
    return factory(iid, object);
}

void RegisterClassFactory(REFCLSID clsid, ClassFactoryFunction factory)
{
    ClassTable& table = Classes();
    std::lock_guard<std::mutex> lock(table.mutex);
    if (factory == nullptr)
        table.factories.erase(clsid);
    else
        table.factories[clsid] = factory;
}
