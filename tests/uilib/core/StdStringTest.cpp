#include "uilib/core/StdString.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

}  // namespace

TEST(StdString, ConstructionStopsAtTheGivenLengthOrTheFirstNul)
{
    EXPECT_TRUE(CStdString(nullptr).IsEmpty());
    EXPECT_EQ(CStdString("config.xml", 6), "config");
    EXPECT_EQ(CStdString("ab\0cd", 5), "ab");   // a buffer size larger than its text
    EXPECT_EQ(CStdString("abc", -1), "abc");
    EXPECT_EQ(CStdString("abc", 0).GetLength(), 0);
    // A std::string keeps every byte, NULs included.
    EXPECT_EQ(CStdString(std::string("a\0b", 3)).GetLength(), 3);
    EXPECT_EQ(CStdString("北京").GetLength(), 6);   // bytes, not characters
}

TEST(StdString, IndicesOutsideTheStringNeverFault)
{
    CStdString text("ab");
    EXPECT_EQ(text[0], 'a');
    EXPECT_EQ(text.GetAt(1), 'b');
    EXPECT_EQ(text.GetAt(2), '\0');
    EXPECT_EQ(text.GetAt(-1), '\0');
    EXPECT_EQ(text.GetAt(1000), '\0');
    text.SetAt(5, 'x');
    text.SetAt(-1, 'x');
    EXPECT_EQ(text, "ab");
}

TEST(StdString, CompareIsBytewiseLikeStrcmp)
{
    struct Row { const char* left; const char* right; int sign; };
    const Row rows[] = {
        {"abc", "abd", -1}, {"abc", "abc", 0}, {"ab", "abc", -1}, {"abc", "ab", 1},
        {"", "", 0},        {"a", nullptr, 1}, {"B", "a", -1},
        // A UTF-8 lead byte sorts after every ASCII byte (unsigned compare).
        {"中", "z", 1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Sign(CStdString(row.left).Compare(row.right)), row.sign) << row.left << " / " << row.right;
    }
}

TEST(StdString, CompareNoCaseFoldsAsciiLettersOnly)
{
    struct Row { const char* left; const char* right; int sign; };
    const Row rows[] = {
        {"Beijing", "BEIJING", 0},
        {"ABC", "abd", -1},
        {"北京Radio", "北京radio", 0},
        // é (C3 A9) and É (C3 89) differ only by 0x20 in a byte >= 0x80:
        // folding that byte would wrongly make them equal.
        {"\xC3\xA9", "\xC3\x89", 1},
        // Letters fold to lower case: '_' (0x5F) sorts before 'a' (0x61).
        {"_", "A", -1},
        {"abc", "ab", 1},
        {"", nullptr, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Sign(CStdString(row.left).CompareNoCase(row.right)), row.sign) << row.left << " / " << row.right;
    }
}

TEST(StdString, CaseChangesLeaveMultibyteBytesAlone)
{
    CStdString text("abc北京\xC3\xA9Z");
    text.MakeUpper();
    EXPECT_EQ(text, "ABC北京\xC3\xA9Z");
    text.MakeLower();
    EXPECT_EQ(text, "abc北京\xC3\xA9z");
}

TEST(StdString, SubstringsClampToWhatExists)
{
    const CStdString text("hello");
    struct Row { CStdString actual; const char* expected; };
    const Row rows[] = {
        {text.Left(0), ""},       {text.Left(2), "he"},      {text.Left(10), "hello"}, {text.Left(-1), ""},
        {text.Mid(1, 3), "ell"},  {text.Mid(4), "o"},        {text.Mid(5), ""},        {text.Mid(9, 2), ""},
        {text.Mid(-2, 2), "he"},  {text.Mid(2, -1), "llo"},  {text.Mid(3, 99), "lo"},
        {text.Right(2), "lo"},    {text.Right(9), "hello"},  {text.Right(0), ""},      {text.Right(-3), ""},
    };
    for (size_t row = 0; row < sizeof(rows) / sizeof(rows[0]); ++row) {
        EXPECT_EQ(rows[row].actual, rows[row].expected) << "row " << row;
    }
}

TEST(StdString, FindAnswersPositionsFromTheStartOrMinusOne)
{
    const CStdString text("hello");
    EXPECT_EQ(text.Find('l'), 2);
    EXPECT_EQ(text.Find('l', 3), 3);
    EXPECT_EQ(text.Find('l', 4), -1);
    EXPECT_EQ(text.Find('h', -5), 0);
    EXPECT_EQ(text.Find('o', 5), -1);
    EXPECT_EQ(text.Find("lo"), 3);
    EXPECT_EQ(text.Find("lo", 4), -1);
    EXPECT_EQ(text.Find("hello!"), -1);
    EXPECT_EQ(text.Find(""), 0);
    EXPECT_EQ(text.Find("", 5), 5);
    EXPECT_EQ(text.Find("", 6), -1);
    EXPECT_EQ(text.ReverseFind('l'), 3);
    EXPECT_EQ(text.ReverseFind('z'), -1);
    EXPECT_EQ(CStdString().ReverseFind('a'), -1);
}

TEST(StdString, ReplaceWorksLeftToRightWithoutOverlapOrLooping)
{
    struct Row { const char* text; const char* from; const char* to; const char* result; int count; };
    const Row rows[] = {
        {"aaa", "a", "b", "bbb", 3},
        {"aaaa", "aa", "a", "aa", 2},
        {"aaa", "aa", "b", "ba", 1},
        {"ab", "a", "aa", "aab", 1},         // the replacement holds the pattern
        {"abc", "", "x", "abc", 0},          // an empty pattern replaces nothing
        {"a.b.c", ".", "", "abc", 2},
        {"config\\fmads.dll", "\\", "/", "config/fmads.dll", 1},
        {"abc", "x", "y", "abc", 0},
    };
    for (const Row& row : rows) {
        CStdString text(row.text);
        EXPECT_EQ(text.Replace(row.from, row.to), row.count) << row.text;
        EXPECT_EQ(text, row.result) << row.text;
    }
}

TEST(StdString, FormatHasNoLengthLimitAndMayReadItself)
{
    CStdString text;
    EXPECT_EQ(text.Format("缓冲中 %d%%", 50), 13);   // bytes: three characters of three
    EXPECT_EQ(text, "缓冲中 50%");

    const std::string longName(5000, 'x');
    text.Format("[%s]", longName.c_str());
    EXPECT_EQ(text.GetLength(), 5002);
    EXPECT_EQ(text.Right(2), "x]");

    CStdString self("abc");
    self.Format("%s-%s", self.GetData(), self.GetData());
    EXPECT_EQ(self, "abc-abc");
}

TEST(StdString, AssignAppendAndOperatorsJoinBytes)
{
    CStdString text("0123456789");
    text.Assign(text.GetData() + 7);   // a part of itself
    EXPECT_EQ(text, "789");
    text.Append("ab", 1);
    text += 'c';
    text += CStdString("d");
    text.Append(nullptr);
    EXPECT_EQ(text, "789acd");
    EXPECT_EQ("<" + CStdString("x") + ">" + '!', "<x>!");
    text = 'q';
    EXPECT_EQ(text, "q");
    text = static_cast<const char*>(nullptr);
    EXPECT_TRUE(text.IsEmpty());
}

TEST(StdString, RelationsAgreeWithCompareInEitherOrder)
{
    const CStdString b("b");
    EXPECT_TRUE(b == "b" && "b" == b && b != "c" && "c" != b);
    EXPECT_TRUE(b < "c" && "a" < b && b > "a" && "c" > b && b <= "b" && b >= "b");
    EXPECT_FALSE(b < "b");

    std::map<CStdString, int> ordered{{"北京", 3}, {"b", 2}, {"A", 1}};
    auto it = ordered.begin();
    EXPECT_EQ(it++->first, "A");
    EXPECT_EQ(it++->first, "b");
    EXPECT_EQ(it->first, "北京");
}
