#include "player/StatusText.h"

#include <gtest/gtest.h>

TEST(StatusText, BufferingTakesAtMostThreeDigitsRightBeforeThePercent)
{
    struct Row
    {
        const char* status;
        const char* text;
    } rows[] = {
        {"缓冲: 45%", "缓冲中 45%"},
        {"缓冲: 100%", "缓冲中 100%"},
        {"缓冲: 1234%", "缓冲中 234%"},
        {"Buffering 7% of 80%", "缓冲中 7%"},     // the first '%' counts
        {"缓冲中", "缓冲中 0%"},                  // no '%'
        {"缓冲: x%", "缓冲中 0%"},                // no digit right before it
        {"%", "缓冲中 0%"},
        {"", "缓冲中 0%"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(BufferingText(row.status), row.text) << row.status;
}

TEST(StatusText, PlayingTakesAtMostFiveDigitsTwoCharactersAfterTheColon)
{
    struct Row
    {
        const char* status;
        const char* text;
    } rows[] = {
        {"播放: 128Kbps", "播放中 128KB/S"},
        {"播放:\xE3\x80\x80" "64Kbps", "播放中 64KB/S"},   // the character after ':' is multibyte
        {"播放: 1234567", "播放中 12345KB/S"},
        {"播放: Kbps", "播放中 KB/S"},
        {"播放 128", "播放中 KB/S"},                       // no colon
        {"a:b:12", "播放中 KB/S"},                         // only the first colon counts
        {"x:", "播放中 KB/S"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PlayingText(row.status), row.text) << row.status;
}

TEST(StatusText, OnlyTheFirstBytesOfAVeryLongStatusAreSearched)
{
    const std::string longStatus = std::string(300, 'a') + "45%";
    EXPECT_EQ(BufferingText(longStatus), "缓冲中 0%");
    const std::string longPlaying = std::string(256, 'a') + ": 128";
    EXPECT_EQ(PlayingText(longPlaying), "播放中 1KB/S"); // cut at 259 bytes
}
