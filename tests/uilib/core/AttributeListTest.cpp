#include "uilib/core/AttributeList.h"
#include "uilib/core/StdString.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Parse(const char* list, bool* complete = nullptr, int* faultOffset = nullptr)
{
    Pairs pairs;
    for (const TAttribute& attribute : ParseAttributeList(list, complete, faultOffset)) {
        pairs.emplace_back(attribute.name, attribute.value);
    }
    return pairs;
}

CStdString Formatted(const char* format, const char* text)
{
    CStdString result;
    result.Format(format, text);
    return result;
}

}  // namespace

// The lists the main window applies to the controls it creates, written
// exactly as the code writes them.
TEST(AttributeList, ListsOfTheRunTimePages)
{
    struct Row { CStdString list; Pairs expected; };
    const Row rows[] = {
        {"height=\"30\" inset=\"10,0,10,0\" bkimage=\"file='bk_white_rd.png' dest='10,0,10,0' corner='5,5,5,5' xtiled='true' ytiled='true'\"",
         {{"height", "30"}, {"inset", "10,0,10,0"},
          {"bkimage", "file='bk_white_rd.png' dest='10,0,10,0' corner='5,5,5,5' xtiled='true' ytiled='true'"}}},
        {Formatted("text=\"地区电台\" textpadding=\"10,0,0,0\" font=\"%s\"", "2"),
         {{"text", "地区电台"}, {"textpadding", "10,0,0,0"}, {"font", "2"}}},
        {"height=\"30\" inset=\"10,5,10,0\"", {{"height", "30"}, {"inset", "10,5,10,0"}}},
        // The double blank after group and the blank before hotimage's '='.
        {Formatted("width=\"50\" group=\"sorts\"  name=\"citys\" text=\"%s\" textcolor=\"#FF990225\" hotimage =\"file='bk_light.png' xtiled='true' ytiled='true'\" selectedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"", "北京"),
         {{"width", "50"}, {"group", "sorts"}, {"name", "citys"}, {"text", "北京"}, {"textcolor", "#FF990225"},
          {"hotimage", "file='bk_light.png' xtiled='true' ytiled='true'"},
          {"selectedimage", "file='bk_gray.png' xtiled='true' ytiled='true'"}}},
        {Formatted("width=\"70\" group=\"sorts\"  name=\"styles\" text=\"%s\" textcolor=\"#FF990225\" hotimage =\"file='bk_light.png' xtiled='true' ytiled='true'\" selectedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"", "流行音乐"),
         {{"width", "70"}, {"group", "sorts"}, {"name", "styles"}, {"text", "流行音乐"}, {"textcolor", "#FF990225"},
          {"hotimage", "file='bk_light.png' xtiled='true' ytiled='true'"},
          {"selectedimage", "file='bk_gray.png' xtiled='true' ytiled='true'"}}},
        {"height=\"5\"", {{"height", "5"}}},
        {"height=\"30\" bkimage=\"file='bk_white_rd.png' corner='5,5,5,5' xtiled='true' ytiled='true' dest='0,0,10,0'\"",
         {{"height", "30"}, {"bkimage", "file='bk_white_rd.png' corner='5,5,5,5' xtiled='true' ytiled='true' dest='0,0,10,0'"}}},
        {"width=\"30\" name=\"mainpage\" normalimage=\"file='back_nor.png' xcentered='true' ycentered='true'\" hotimage=\"file='back_hot.png' xcentered='true' ycentered='true'\" pushedimage=\"file='back_pushed.png' xcentered='true' ycentered='true'\"",
         {{"width", "30"}, {"name", "mainpage"},
          {"normalimage", "file='back_nor.png' xcentered='true' ycentered='true'"},
          {"hotimage", "file='back_hot.png' xcentered='true' ycentered='true'"},
          {"pushedimage", "file='back_pushed.png' xcentered='true' ycentered='true'"}}},
        {Formatted("text=\"%s\" textpadding=\"5,0,0,0\" font=\"2\"", "Jazz & Blues"),
         {{"text", "Jazz & Blues"}, {"textpadding", "5,0,0,0"}, {"font", "2"}}},
        {"height=\"30\" inset=\"0,5,10,0\"", {{"height", "30"}, {"inset", "0,5,10,0"}}},
        {Formatted("group=\"radios\" name=\"fmradio\" text=\"%s\" align=\"left\" textcolor=\"#FF990225\" textpadding=\"20,0,0,0\" foreimage=\"file='dot.png' dest='10,0,0,0' ycentered='true'\" normalimage=\"file='bk_gray2.png' xtiled='true' ytiled='true'\" hotimage=\"file='bk_light.png' xtiled='true' ytiled='true'\" selectedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"", "中国之声"),
         {{"group", "radios"}, {"name", "fmradio"}, {"text", "中国之声"}, {"align", "left"}, {"textcolor", "#FF990225"},
          {"textpadding", "20,0,0,0"}, {"foreimage", "file='dot.png' dest='10,0,0,0' ycentered='true'"},
          {"normalimage", "file='bk_gray2.png' xtiled='true' ytiled='true'"},
          {"hotimage", "file='bk_light.png' xtiled='true' ytiled='true'"},
          {"selectedimage", "file='bk_gray.png' xtiled='true' ytiled='true'"}}},
        {"width=\"5\"", {{"width", "5"}}},
    };
    for (const Row& row : rows) {
        bool complete = false;
        int faultOffset = 0;
        EXPECT_EQ(Parse(row.list, &complete, &faultOffset), row.expected) << row.list.GetData();
        EXPECT_TRUE(complete) << row.list.GetData();
        EXPECT_EQ(faultOffset, -1);
    }
}

TEST(AttributeList, AcceptedVariations)
{
    struct Row { const char* list; Pairs expected; };
    const Row rows[] = {
        {"", {}},
        {" \t\r\n ", {}},
        {"a='x \"y\" z'", {{"a", "x \"y\" z"}}},          // double quotes inside single ones
        {"  a = \"1\"\tb\n=\n'2'  ", {{"a", "1"}, {"b", "2"}}},
        {"a=\"1\"b=\"2\"", {{"a", "1"}, {"b", "2"}}},       // no blank after a closing quote
        {"a=\"\" b=\"1\"", {{"a", ""}, {"b", "1"}}},
        {"a=\"1\" a=\"2\"", {{"a", "1"}, {"a", "2"}}},      // duplicates kept, in order
        {"text=\"a=b c\"", {{"text", "a=b c"}}},
    };
    for (const Row& row : rows) {
        bool complete = false;
        EXPECT_EQ(Parse(row.list, &complete), row.expected) << row.list;
        EXPECT_TRUE(complete) << row.list;
    }
    EXPECT_TRUE(Parse(nullptr).empty());
}

TEST(AttributeList, MalformedListsKeepWhatParsedAndStop)
{
    struct Row { const char* list; Pairs expected; int faultOffset; };
    const Row rows[] = {
        {"text=\"abc", {}, 5},                               // unterminated value
        {"a=\"1\" b='2", {{"a", "1"}}, 8},
        {"a=\"1\" b \"2\" c=\"3\"", {{"a", "1"}}, 8},          // missing '='
        {"a=\"1\" garbage", {{"a", "1"}}, 13},                // trailing garbage
        {"width=50", {}, 6},                                 // unquoted value
        {"=\"x\"", {}, 0},                                   // no name
        {"a=\"1\" \"b\"", {{"a", "1"}}, 6},
        {"a=", {}, 2},
        // A backslash is a plain byte, not an escape: the value ends at the
        // first double quote and what follows is not a pair.
        {"text=\"a\\\"b\" c=\"d\"", {{"text", "a\\"}}, 10},
    };
    for (const Row& row : rows) {
        bool complete = true;
        int faultOffset = -1;
        EXPECT_EQ(Parse(row.list, &complete, &faultOffset), row.expected) << row.list;
        EXPECT_FALSE(complete) << row.list;
        EXPECT_EQ(faultOffset, row.faultOffset) << row.list;
    }
}

TEST(AttributeList, ListsBeyondTheBoundsAreRefused)
{
    // Up to the longest list taken, a long value parses whole.
    const std::string value(kMaxAttributeListBytes - 8, 'x');
    const std::string longest = "text=\"" + value + "\"";
    ASSERT_EQ(longest.size(), kMaxAttributeListBytes - 1);
    bool complete = false;
    int faultOffset = 0;
    EXPECT_EQ(Parse(longest.c_str(), &complete, &faultOffset), Pairs({{"text", value}}));
    EXPECT_TRUE(complete);

    const std::string tooLong = longest + "  ";
    EXPECT_EQ(Parse(tooLong.c_str(), &complete, &faultOffset), Pairs());
    EXPECT_FALSE(complete);
    EXPECT_EQ(faultOffset, static_cast<int>(kMaxAttributeListBytes));

    // The pairs past the last one counted are dropped.
    std::string many;
    for (std::size_t i = 0; i <= kMaxAttributePairs; ++i) {
        many += "a" + std::to_string(i) + "='" + std::to_string(i) + "' ";
    }
    const Pairs pairs = Parse(many.c_str(), &complete, &faultOffset);
    ASSERT_EQ(pairs.size(), kMaxAttributePairs);
    EXPECT_EQ(pairs.back().first, "a" + std::to_string(kMaxAttributePairs - 1));
    EXPECT_FALSE(complete);
    const std::string next = "a" + std::to_string(kMaxAttributePairs) + "='";
    EXPECT_EQ(many.substr(static_cast<std::size_t>(faultOffset), next.size()), next);
}
