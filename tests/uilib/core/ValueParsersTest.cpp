#include "uilib/core/ValueParsers.h"

#include <gtest/gtest.h>

// Every parser leaves its result untouched on a failure: the sentinel
// written before each call must survive every rejected row.

TEST(ValueParsers, Int)
{
    struct Row { const char* text; bool ok; LONG value; };
    const Row rows[] = {
        {"0", true, 0},           {"40", true, 40},         {"-12", true, -12},      {"+3", true, 3},
        {" 7\t", true, 7},        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0}, {"-2147483649", false, 0}, {"99999999999999999999", false, 0},
        {"", false, 0},           {"  ", false, 0},         {"abc", false, 0},       {"12px", false, 0},
        {"1 2", false, 0},        {"-", false, 0},          {"0x10", false, 0},      {"1.5", false, 0},
        {nullptr, false, 0},
    };
    for (const Row& row : rows) {
        LONG value = 777;
        EXPECT_EQ(ParseInt(row.text, &value), row.ok) << (row.text ? row.text : "(null)");
        EXPECT_EQ(value, row.ok ? row.value : 777) << (row.text ? row.text : "(null)");
    }
}

TEST(ValueParsers, Rect)
{
    struct Row { const char* text; bool ok; RECT rect; };
    const Row rows[] = {
        {"10,0,10,0", true, {10, 0, 10, 0}},   {" 1 , 2 ,3, 4 ", true, {1, 2, 3, 4}},
        {"-1,-2,3,4", true, {-1, -2, 3, 4}},   {"0,0,0,0", true, {0, 0, 0, 0}},
        {"1,2,3", false, {}},                  {"1,2,3,4,5", false, {}},   {"1,2,3,4,", false, {}},
        {"1,,3,4", false, {}},                 {"1;2;3;4", false, {}},     {"", false, {}},
        {"a,b,c,d", false, {}},                {nullptr, false, {}},
    };
    for (const Row& row : rows) {
        RECT rect = {9, 9, 9, 9};
        const RECT expected = row.ok ? row.rect : RECT{9, 9, 9, 9};
        EXPECT_EQ(ParseRect(row.text, &rect), row.ok) << (row.text ? row.text : "(null)");
        EXPECT_TRUE(rect.left == expected.left && rect.top == expected.top && rect.right == expected.right &&
                    rect.bottom == expected.bottom)
            << (row.text ? row.text : "(null)");
    }
}

TEST(ValueParsers, Size)
{
    struct Row { const char* text; bool ok; LONG cx; LONG cy; };
    const Row rows[] = {
        {"50,30", true, 50, 30}, {" 0 , 0 ", true, 0, 0}, {"50", false, 0, 0}, {"50,30,1", false, 0, 0},
        {"50,", false, 0, 0},    {",30", false, 0, 0},
    };
    for (const Row& row : rows) {
        SIZE size = {5, 5};
        EXPECT_EQ(ParseSize(row.text, &size), row.ok) << row.text;
        EXPECT_EQ(size.cx, row.ok ? row.cx : 5) << row.text;
        EXPECT_EQ(size.cy, row.ok ? row.cy : 5) << row.text;
    }
}

TEST(ValueParsers, Color)
{
    struct Row { const char* text; bool ok; DWORD argb; };
    const Row rows[] = {
        {"#FF990225", true, 0xFF990225u}, {"#990225", true, 0xFF990225u},  // six digits are opaque
        {"#00000000", true, 0x00000000u}, {"#80ffffff", true, 0x80FFFFFFu},
        {" #FF000000 ", true, 0xFF000000u},
        {"FF990225", false, 0},           {"#FF99022", false, 0},  {"#FF9902250", false, 0},
        {"#GG000000", false, 0},          {"#", false, 0},         {"", false, 0},
        {"#12345", false, 0},             {"# FF000000", false, 0}, {"0xFF000000", false, 0},
    };
    for (const Row& row : rows) {
        DWORD argb = 0x12345678u;
        EXPECT_EQ(ParseColor(row.text, &argb), row.ok) << row.text;
        EXPECT_EQ(argb, row.ok ? row.argb : 0x12345678u) << row.text;
    }
}

TEST(ValueParsers, Bool)
{
    struct Row { const char* text; bool ok; bool value; };
    const Row rows[] = {
        {"true", true, true},   {"false", true, false}, {"TRUE", true, true}, {"False", true, false},
        {" true ", true, true}, {"1", false, false},    {"yes", false, false}, {"tru", false, false},
        {"truex", false, false}, {"", false, false},    {"t rue", false, false},
    };
    for (const Row& row : rows) {
        for (bool sentinel : {false, true}) {
            bool value = sentinel;
            EXPECT_EQ(ParseBool(row.text, &value), row.ok) << row.text;
            EXPECT_EQ(value, row.ok ? row.value : sentinel) << row.text;
        }
    }
    bool value = true;
    EXPECT_FALSE(ParseBool(nullptr, &value));
}
