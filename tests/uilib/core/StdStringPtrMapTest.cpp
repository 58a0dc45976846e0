#include "uilib/core/StdString.h"
#include "uilib/core/StdStringPtrMap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

int one, two, three;

}  // namespace

TEST(StdStringPtrMap, InsertKeepsTheFirstValueOfAKey)
{
    CStdStringPtrMap map(83);
    EXPECT_TRUE(map.Insert("A", &one));
    EXPECT_FALSE(map.Insert("A", &two));
    EXPECT_EQ(map.Find("A"), &one);
    EXPECT_EQ(map.GetSize(), 1);
    EXPECT_EQ(map.Find("a"), nullptr);   // keys are case-sensitive
    EXPECT_EQ(map.Find("B"), nullptr);
}

TEST(StdStringPtrMap, SetReplacesInPlaceOrAppends)
{
    CStdStringPtrMap map;
    map.Insert("x", &one);
    map.Insert("y", &two);
    EXPECT_EQ(map.Set("x", &three), &one);
    EXPECT_EQ(map.Set("z", &one), nullptr);
    EXPECT_STREQ(map.GetAt(0), "x");
    EXPECT_STREQ(map.GetAt(2), "z");
    EXPECT_EQ(map.Find("x"), &three);
}

TEST(StdStringPtrMap, PositionsFollowInsertionOrderAndStayDense)
{
    CStdStringPtrMap map;
    for (const char* key : {"a", "b", "c", "d"}) {
        map.Insert(key, &one);
    }
    map.Set("d", &two);
    EXPECT_TRUE(map.Remove("b"));
    EXPECT_FALSE(map.Remove("b"));
    ASSERT_EQ(map.GetSize(), 3);
    EXPECT_STREQ(map.GetAt(0), "a");
    EXPECT_STREQ(map.GetAt(1), "c");
    EXPECT_STREQ(map.GetAt(2), "d");
    EXPECT_EQ(map.GetAt(3), nullptr);
    EXPECT_EQ(map.GetAt(-1), nullptr);
    // Lookups after a removal must still land on the right entry.
    EXPECT_EQ(map.Find("d"), &two);
    EXPECT_TRUE(map.Remove("d"));
    EXPECT_TRUE(map.Insert("b", &three));
    EXPECT_STREQ(map.GetAt(2), "b");
    EXPECT_EQ(map.Find("b"), &three);
}

TEST(StdStringPtrMap, EmptyingByPositionZeroFreesEveryValueOnce)
{
    // The advertisement list empties its link map this way: free the value
    // under the key at position 0, then remove that very key pointer.
    CStdStringPtrMap map(83);
    for (int index = 0; index < 200; ++index) {
        CStdString key;
        key.Format("广告 %d", index);
        ASSERT_TRUE(map.Insert(key, new CStdString(key + " link")));
    }
    int freed = 0;
    while (const char* key = map.GetAt(0)) {
        delete static_cast<CStdString*>(map.Find(key));
        ASSERT_TRUE(map.Remove(key));
        ++freed;
        ASSERT_LE(freed, 200);
    }
    EXPECT_EQ(freed, 200);
    EXPECT_TRUE(map.IsEmpty());
}

TEST(StdStringPtrMap, KeysAreCopiesWhosePointersSurviveOtherChanges)
{
    CStdStringPtrMap map;
    char buffer[] = "北京";
    map.Insert(buffer, &one);
    buffer[0] = 'X';
    EXPECT_EQ(map.Find("北京"), &one);

    map.Insert("second", &two);
    const char* key = map.GetAt(1);
    for (int index = 0; index < 100; ++index) {
        map.Insert(std::to_string(index).c_str(), &three);
    }
    map.Remove(map.GetAt(0));
    EXPECT_STREQ(key, "second");
    EXPECT_EQ(map.GetAt(0), key);
}

TEST(StdStringPtrMap, NullKeysAreRefused)
{
    CStdStringPtrMap map;
    EXPECT_FALSE(map.Insert(nullptr, &one));
    EXPECT_EQ(map.Find(nullptr), nullptr);
    EXPECT_FALSE(map.Remove(nullptr));
    EXPECT_EQ(map.Set(nullptr, &one), nullptr);
    EXPECT_EQ(map.GetSize(), 0);
    map.Insert("", &two);   // the empty key is a key like any other
    EXPECT_EQ(map.Find(""), &two);
    map.RemoveAll();
    EXPECT_EQ(map.GetAt(0), nullptr);
}
