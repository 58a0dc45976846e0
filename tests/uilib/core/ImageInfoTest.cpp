#include "uilib/core/ImageInfo.h"

#include <gtest/gtest.h>

namespace {

struct TExpected
{
    const char* file;
    RECT dest;
    RECT corner;
    bool xtiled, ytiled, xcentered, ycentered;
};

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(ImageInfo, ValuesTheSkinAndThePagesUse)
{
    struct Row { const char* text; TExpected expected; };
    const Row rows[] = {
        {"file='bk_white_rd.png' dest='10,0,10,0' corner='5,5,5,5' xtiled='true' ytiled='true'",
         {"bk_white_rd.png", {10, 0, 10, 0}, {5, 5, 5, 5}, true, true, false, false}},
        {"file='bk_white_rd.png' corner='5,5,5,5' xtiled='true' ytiled='true' dest='0,0,10,0'",
         {"bk_white_rd.png", {0, 0, 10, 0}, {5, 5, 5, 5}, true, true, false, false}},
        {"file='dot.png' dest='10,0,0,0' ycentered='true'", {"dot.png", {10, 0, 0, 0}, {}, false, false, false, true}},
        {"file='back_nor.png' xcentered='true' ycentered='true'", {"back_nor.png", {}, {}, false, false, true, true}},
        {"file='bk_light.png' xtiled='true' ytiled='true'", {"bk_light.png", {}, {}, true, true, false, false}},
        {"file='lovebk.jpg' xcentered='true' ycentered='true'", {"lovebk.jpg", {}, {}, false, false, true, true}},
        {"lovebk.jpg", {"lovebk.jpg", {}, {}, false, false, false, false}},
        {"  bluebk.jpg\t", {"bluebk.jpg", {}, {}, false, false, false, false}},
        // A picture the user chose: an absolute path with blanks and Chinese.
        {"file='/home/用户/图片 1.jpg' xcentered='true' ycentered='true'",
         {"/home/用户/图片 1.jpg", {}, {}, false, false, true, true}},
        {"file='a.png' xtiled='false'", {"a.png", {}, {}, false, false, false, false}},
        {"", {"", {}, {}, false, false, false, false}},
    };
    for (const Row& row : rows) {
        TImageInfo info;
        EXPECT_TRUE(ParseImageInfo(row.text, &info)) << row.text;
        EXPECT_EQ(info.file, row.expected.file) << row.text;
        EXPECT_TRUE(SameRect(info.dest, row.expected.dest)) << row.text;
        EXPECT_TRUE(SameRect(info.corner, row.expected.corner)) << row.text;
        EXPECT_EQ(info.HasCorner(), row.expected.corner.left > 0) << row.text;
        EXPECT_EQ(info.xtiled, row.expected.xtiled) << row.text;
        EXPECT_EQ(info.ytiled, row.expected.ytiled) << row.text;
        EXPECT_EQ(info.xcentered, row.expected.xcentered) << row.text;
        EXPECT_EQ(info.ycentered, row.expected.ycentered) << row.text;
        EXPECT_EQ(info.fade, 255) << row.text;
        EXPECT_FALSE(info.HasSource()) << row.text;
    }
}

TEST(ImageInfo, SourceAndFade)
{
    TImageInfo info;
    EXPECT_TRUE(ParseImageInfo("file='strip.png' source='16,0,32,16' fade='128'", &info));
    EXPECT_TRUE(info.HasSource());
    EXPECT_TRUE(SameRect(info.source, RECT{16, 0, 32, 16}));
    EXPECT_EQ(info.fade, 128);
    EXPECT_TRUE(ParseImageInfo("file='strip.png' source='0,0,0,0'", &info));
    EXPECT_FALSE(info.HasSource());
}

TEST(ImageInfo, BadValuesKeepTheirDefaultsAndTheRestApplies)
{
    struct Row { const char* text; const char* file; bool xtiled; BYTE fade; };
    const Row rows[] = {
        {"file='a.png' dest='10,0' xtiled='true'", "a.png", true, 255},
        {"file='a.png' xtiled='yes'", "a.png", false, 255},
        {"file='a.png' fade='300' xtiled='true'", "a.png", true, 255},
        {"file='a.png' fade='-1'", "a.png", false, 255},
        {"file='a.png' corner='-1,0,0,0'", "a.png", false, 255},
        {"xtiled='true' file='a.png' dest='1,2,3,4", "a.png", true, 255},   // unterminated: dest dropped
        {"file='a.png' dest", "a.png", false, 255},
    };
    for (const Row& row : rows) {
        TImageInfo info;
        EXPECT_FALSE(ParseImageInfo(row.text, &info)) << row.text;
        EXPECT_EQ(info.file, row.file) << row.text;
        EXPECT_EQ(info.xtiled, row.xtiled) << row.text;
        EXPECT_EQ(info.fade, row.fade) << row.text;
        EXPECT_TRUE(SameRect(info.dest, RECT{0, 0, 0, 0})) << row.text;
        EXPECT_FALSE(info.HasCorner()) << row.text;
    }
}

TEST(ImageInfo, UnknownKeysAreIgnoredAndEveryParseStartsAfresh)
{
    TImageInfo info;
    EXPECT_TRUE(ParseImageInfo("file='a.png' mask='#FFFF00FF' dest='1,2,3,4' xtiled='true'", &info));
    EXPECT_EQ(info.file, "a.png");
    EXPECT_TRUE(info.xtiled);
    // Reusing the struct must not leak the previous value's fields.
    EXPECT_TRUE(ParseImageInfo("b.png", &info));
    EXPECT_EQ(info.file, "b.png");
    EXPECT_FALSE(info.xtiled);
    EXPECT_TRUE(SameRect(info.dest, RECT{0, 0, 0, 0}));
    EXPECT_TRUE(ParseImageInfo("", &info));
    EXPECT_TRUE(info.IsEmpty());
    EXPECT_FALSE(ParseImageInfo("a.png", nullptr));
}
