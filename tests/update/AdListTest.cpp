#include "catalogue/XorScramble.h"
#include "uilib/core/StdString.h"
#include "update/AdList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string WriteScrambled(const std::string& name, std::string text)
{
    auto* data = reinterpret_cast<unsigned char*>(text.data());
    XorScramble(data, static_cast<std::int32_t>(text.size()), data, kFileKey);
    const auto path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

const CStdString& TextAt(const CStdPtrArray& adTexts, int index)
{
    return *static_cast<const CStdString*>(adTexts.GetAt(index));
}

const CStdString& LinkOf(const CStdStringPtrMap& adLinks, const char* text)
{
    return *static_cast<const CStdString*>(adLinks.Find(text));
}

} // namespace

TEST(AdList, EmptyTextsAreSkippedAndARepeatedTextKeepsTheFirstLink)
{
    const std::string path = WriteScrambled("ads-repeat", "<ads><a t=\"A\" l=\"L1\"/><a t=\"\" l=\"L2\"/>"
                                                          "<b t=\"B\" l=\"#\"/><c t=\"A\" l=\"L3\"/>"
                                                          "<d only=\"one attribute\"/></ads>"
                                                          "<version>2</version>");
    CStdStringPtrMap adLinks(83);
    CStdPtrArray adTexts;
    ReadAdList(path.c_str(), adLinks, adTexts);

    ASSERT_EQ(adTexts.GetSize(), 2);
    ASSERT_EQ(adLinks.GetSize(), 2);
    EXPECT_EQ(TextAt(adTexts, 0), "A");
    EXPECT_EQ(TextAt(adTexts, 1), "B");
    EXPECT_EQ(LinkOf(adLinks, "A"), "L1");
    EXPECT_EQ(LinkOf(adLinks, "B"), "#");

    FreeAdList(adLinks, adTexts);
    std::filesystem::remove(path);
}

TEST(AdList, ReloadReplacesEverythingAndAMissingFileEmptiesTheList)
{
    const std::string five = WriteScrambled("ads-five", "<r><a t=\"1\" l=\"a\"/><a t=\"2\" l=\"b\"/><a t=\"3\" l=\"c\"/>"
                                                        "<a t=\"4\" l=\"d\"/><a t=\"5\" l=\"e\"/></r>");
    const std::string two = WriteScrambled("ads-two", "<r><a t=\"9\" l=\"x\"/><a t=\"1\" l=\"y\"/></r>");
    CStdStringPtrMap adLinks(83);
    CStdPtrArray adTexts;

    ReadAdList(five.c_str(), adLinks, adTexts);
    EXPECT_EQ(adTexts.GetSize(), 5);
    ReadAdList(two.c_str(), adLinks, adTexts);
    ASSERT_EQ(adTexts.GetSize(), 2);
    EXPECT_EQ(adLinks.GetSize(), 2);
    EXPECT_EQ(LinkOf(adLinks, "1"), "y");
    EXPECT_EQ(adLinks.Find("5"), nullptr);

    ReadAdList("/nonexistent/fmads.dll", adLinks, adTexts);
    EXPECT_EQ(adTexts.GetSize(), 0);
    EXPECT_EQ(adLinks.GetSize(), 0);

    std::filesystem::remove(five);
    std::filesystem::remove(two);
}
