#include "uilib/core/StdPtrArray.h"

#include <gtest/gtest.h>

namespace {

int a, b, c, d;

void ExpectItems(const CStdPtrArray& array, std::initializer_list<void*> items)
{
    ASSERT_EQ(array.GetSize(), static_cast<int>(items.size()));
    int index = 0;
    for (void* item : items) {
        EXPECT_EQ(array[index], item) << "index " << index;
        ++index;
    }
}

}  // namespace

TEST(StdPtrArray, InsertAndRemoveKeepTheOrder)
{
    CStdPtrArray array(8);
    EXPECT_TRUE(array.IsEmpty());   // capacity is not size
    array.Add(&a);
    array.Add(&b);
    EXPECT_TRUE(array.InsertAt(0, &c));
    EXPECT_TRUE(array.InsertAt(3, &d));   // at the end: appends
    ExpectItems(array, {&c, &a, &b, &d});
    EXPECT_TRUE(array.Remove(1));
    ExpectItems(array, {&c, &b, &d});
    EXPECT_TRUE(array.Remove(2));
    ExpectItems(array, {&c, &b});
}

TEST(StdPtrArray, IndicesOutsideTheArrayAreRefused)
{
    CStdPtrArray array;
    array.Add(&a);
    EXPECT_FALSE(array.InsertAt(2, &b));
    EXPECT_FALSE(array.InsertAt(-1, &b));
    EXPECT_FALSE(array.Remove(1));
    EXPECT_FALSE(array.Remove(-1));
    EXPECT_FALSE(array.SetAt(1, &b));
    EXPECT_EQ(array.GetAt(1), nullptr);
    EXPECT_EQ(array.GetAt(-1), nullptr);
    ExpectItems(array, {&a});
    EXPECT_TRUE(array.SetAt(0, &b));
    ExpectItems(array, {&b});
}

TEST(StdPtrArray, FindAnswersTheFirstMatch)
{
    CStdPtrArray array;
    array.Add(&a);
    array.Add(&b);
    array.Add(&a);
    EXPECT_EQ(array.Find(&a), 0);
    EXPECT_EQ(array.Find(&b), 1);
    EXPECT_EQ(array.Find(&c), -1);
    EXPECT_EQ(array.Find(nullptr), -1);
}

TEST(StdPtrArray, ResizeFillsWithNullAndEmptyClears)
{
    CStdPtrArray array;
    EXPECT_EQ(array.GetData(), nullptr);
    array.Add(&a);
    array.Resize(3);
    ExpectItems(array, {&a, nullptr, nullptr});
    EXPECT_EQ(array.GetData()[0], &a);
    array.Resize(0);
    EXPECT_TRUE(array.IsEmpty());
    array.Add(&b);
    array.Empty();
    EXPECT_EQ(array.GetSize(), 0);
    array.Resize(-4);
    EXPECT_EQ(array.GetSize(), 0);
}
