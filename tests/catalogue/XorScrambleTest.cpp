#include "catalogue/XorScramble.h"

#include <gtest/gtest.h>

#include <string>

TEST(XorScramble, RoundTripsInPlaceAndLeavesBytesPastLengthAlone)
{
    std::string text = "<city name=\"北京\"/>!";
    const std::string original = text;
    auto* bytes = reinterpret_cast<unsigned char*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size() - 1);

    XorScramble(bytes, length, bytes, kFileKey);
    EXPECT_EQ(static_cast<unsigned char>(text[0]), '<' ^ 0x5A);
    EXPECT_EQ(text.back(), '!');

    XorScramble(bytes, length, bytes, kFileKey);
    EXPECT_EQ(text, original);
}

TEST(XorScramble, ZeroOrNegativeLengthWritesNothing)
{
    unsigned char source[] = {1, 2, 3};
    unsigned char destination[] = {9, 9, 9};
    XorScramble(source, 0, destination, kFileKey);
    XorScramble(source, -4, destination, kFileKey);
    EXPECT_EQ(destination[0], 9);
    EXPECT_EQ(destination[2], 9);
}
