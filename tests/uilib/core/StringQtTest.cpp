#include "uilib/core/StringQt.h"

#include <gtest/gtest.h>

TEST(StringQt, TextCrossesAsUtf8BothWays)
{
    const CStdString name("Orvane网络收音机");
    const QString text = ToQString(name);
    EXPECT_EQ(text.size(), 11);   // characters, where the bytes number 21
    EXPECT_EQ(text, QString::fromUtf8("Orvane网络收音机"));
    EXPECT_EQ(FromQString(text), name);
    EXPECT_TRUE(ToQString(CStdString()).isEmpty());
    // A byte that is not UTF-8 (a stray GBK lead byte) becomes U+FFFD.
    EXPECT_EQ(ToQString(CStdString("a\xB1")), QString::fromUtf8("a\xEF\xBF\xBD"));
}
