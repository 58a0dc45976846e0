// The COM stand-in on its own: GUIDs, BSTRs and their UTF-8 conversion,
// apartments per thread, class creation.

#include "platform/com/Com.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const GUID kSomeClass = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const GUID kOtherClass = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEE}};

struct CCounted final : IUnknown
{
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!IsEqualGUID(iid, IID_IUnknown)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }
    ULONG references = 1;
};

int factoryCalls = 0;

HRESULT MakeCounted(REFIID iid, void** object)
{
    ++factoryCalls;
    auto* made = new CCounted;
    const HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}

std::u16string Units(BSTR text)
{
    return std::u16string(text, SysStringLen(text));
}

} // namespace

TEST(ComGuid, ComparesEveryByteAndPrintsInRegistryForm)
{
    EXPECT_TRUE(IsEqualGUID(kSomeClass, kSomeClass));
    EXPECT_FALSE(IsEqualGUID(kSomeClass, kOtherClass)); // differs in the last byte only
    EXPECT_FALSE(kSomeClass == IID_IUnknown);
    EXPECT_EQ(GuidToString(kSomeClass), "{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToString(IID_IConnectionPointContainer), "{B196B284-BAB4-101A-B69C-00AA00341D07}");
    EXPECT_EQ(GuidToString(IID_IConnectionPoint), "{B196B286-BAB4-101A-B69C-00AA00341D07}");
}

TEST(ComHresult, SuccessAndFailureFollowTheSignBit)
{
    EXPECT_TRUE(SUCCEEDED(S_OK));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(FAILED(CONNECT_E_NOCONNECTION));
    EXPECT_TRUE(FAILED(DISP_E_MEMBERNOTFOUND));
    EXPECT_EQ(static_cast<std::uint32_t>(E_NOINTERFACE), 0x80004002u);
    EXPECT_EQ(static_cast<std::uint32_t>(CONNECT_E_ADVISELIMIT), 0x80040201u);
}

TEST(ComBstr, LengthIsKeptAndEmbeddedZerosSurvive)
{
    const char16_t withZero[] = {u'a', 0, u'b'};
    BSTR text = SysAllocStringLen(withZero, 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(Units(text), std::u16string(withZero, 3));
    EXPECT_EQ(text[3], 0); // terminated as well
    SysFreeString(text);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(BstrToUtf8(nullptr), "");
    SysFreeString(nullptr); // harmless
}

TEST(ComBstr, Utf8RoundTripsChineseAndCharactersBeyondTheBasicPlane)
{
    const struct
    {
        const char* utf8;
        std::u16string utf16;
    } rows[] = {
        {"", u""},
        {"http://127.0.0.1:8000/live.mp3", u"http://127.0.0.1:8000/live.mp3"},
        {"缓冲: 45%", u"缓冲: 45%"},
        {"播放: 128Kbps", u"播放: 128Kbps"},
        {"\xF0\x9F\x8E\xB5 music", u"\U0001F3B5 music"}, // a surrogate pair
        {"é", u"é"},
    };
    for (const auto& row : rows) {
        BSTR text = Utf8ToBstr(row.utf8);
        EXPECT_EQ(Units(text), row.utf16) << row.utf8;
        EXPECT_EQ(BstrToUtf8(text), row.utf8);
        SysFreeString(text);
    }
}

TEST(ComBstr, MalformedInputBecomesReplacementCharactersWithoutLosingWhatFollows)
{
    const struct
    {
        const char* utf8;
        std::u16string utf16;
    } rows[] = {
        {"a\xFF" "b", u"a\uFFFDb"},          // a byte that starts nothing
        {"\xE7\xBC" "x", u"\uFFFD\uFFFDx"},  // a sequence cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},       // an overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // an encoded surrogate
        {"\xC4\xB7\xC5", u"\u0137\uFFFD"},   // the last character cut off
    };
    for (const auto& row : rows) {
        BSTR text = Utf8ToBstr(row.utf8);
        EXPECT_EQ(Units(text), row.utf16) << row.utf8;
        SysFreeString(text);
    }
    // A lone half of a surrogate pair in UTF-16.
    const char16_t lone[] = {u'x', 0xD800, u'y'};
    BSTR text = SysAllocStringLen(lone, 3);
    EXPECT_EQ(BstrToUtf8(text), "x\xEF\xBF\xBDy");
    SysFreeString(text);
}

TEST(ComApartment, CountedPerThreadAndRequiredForCreation)
{
    RegisterClassFactory(kSomeClass, &MakeCounted);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE); // already initialised on this thread
    // Another thread has an apartment count of its own.
    std::thread other([] {
        IUnknown* made = nullptr;
        EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&made)),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    });
    other.join();
    CoUninitialize();
    // Still initialised once.
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_NE(object, nullptr);
    object->Release();
    CoUninitialize();
    CoUninitialize(); // one too many is ignored, not counted below zero
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    EXPECT_EQ(CoInitialize(reinterpret_cast<void*>(1)), E_INVALIDARG);
    RegisterClassFactory(kSomeClass, nullptr);
}

TEST(ComCreation, RefusesWhatCannotBeMadeAndClearsTheResult)
{
    CoInitialize(nullptr);
    RegisterClassFactory(kSomeClass, &MakeCounted);
    factoryCalls = 0;
    auto* stale = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&stale)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(stale, nullptr);

    CCounted outer;
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kSomeClass, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, 0x4 /* local server */, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factoryCalls, 0);

    // The factory's own answer comes through: an interface it lacks.
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&object)),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factoryCalls, 1);

    RegisterClassFactory(kSomeClass, nullptr);
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
}
