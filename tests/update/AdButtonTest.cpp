// The advertisement button through the real main window: the list it loads,
// its rotation on timer 505, reloads on WM_ADS_REPLACED and its click.

#include "app/RadioWndFixture.h"

#include "platform/shell/Shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace apptest;
using namespace std::chrono_literals;

namespace {

// (verb, link) of every link handed to the desktop.
std::vector<std::pair<std::string, std::string>> openedLinks;

bool RecordLink(const char* verb, const char* link)
{
    openedLinks.emplace_back(verb, link);
    return true;
}

class AdButton : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        openedLinks.clear();
        SetOpenLinkHook(&RecordLink);
    }

    void TearDown() override
    {
        CRadioWndTest::TearDown();
        SetOpenLinkHook(nullptr);
    }

    // One tick of timer 505, through the window's message handler.
    void Tick() { ::SendMessage(Hwnd(), WM_TIMER, kAdTimer, 0); }

    // The reload the update worker asks for after installing a list.
    void AdsReplaced() { ::SendMessage(Hwnd(), WM_ADS_REPLACED, 0, 0); }

    void Click() { Notify(window->adButton, "click"); }

    std::pair<std::string, std::string> Shown() const
    {
        return {window->adButton->GetText().GetData(), window->adButton->GetUserData().GetData()};
    }

    // An ad list of (text, link) entries in file order.
    static std::string AdList(const std::vector<std::pair<std::string, std::string>>& entries)
    {
        std::string xml = "<ads>";
        for (const auto& [text, link] : entries)
            xml += "<ad text=\"" + text + "\" link=\"" + link + "\"/>";
        return xml + "</ads><version>1</version>";
    }
};

using Ad = std::pair<std::string, std::string>;

} // namespace

TEST_F(AdButton, EmptyAndRepeatedTextsAreDroppedAndTimer505RotatesInFileOrder)
{
    WriteAds(AdList({{"A", "http://127.0.0.1:9/L1"},
                     {"", "http://127.0.0.1:9/L2"},
                     {"B", "#"},
                     {"A", "http://127.0.0.1:9/L3"}}));
    Start();
    ASSERT_NE(window->adButton, nullptr);
    EXPECT_EQ(window->adTexts.GetSize(), 2);
    EXPECT_EQ(window->adLinks.GetSize(), 2);

    // Until the first tick the button shows what the layout gives it.
    EXPECT_EQ(Shown(), Ad("Orvane网络收音机", "#"));

    // Timer 505 runs from start-up. Restarted short, its real ticks show
    // A, B, A: each text once, with the first one's link.
    ASSERT_TRUE(::KillTimer(Hwnd(), kAdTimer));
    ::SetTimer(Hwnd(), kAdTimer, 20, nullptr);
    std::vector<Ad> shown;
    ASSERT_TRUE(PumpUntil([&] {
        if (shown.empty() ? Shown() != Ad("Orvane网络收音机", "#") : Shown() != shown.back())
            shown.push_back(Shown());
        return shown.size() == 3;
    }));
    ::KillTimer(Hwnd(), kAdTimer);
    EXPECT_EQ(shown, std::vector<Ad>({{"A", "http://127.0.0.1:9/L1"}, {"B", "#"}, {"A", "http://127.0.0.1:9/L1"}}));
    EXPECT_EQ(window->adIndex, 1); // taken modulo the count before each step

    // Another timer's tick leaves the button alone.
    ::SendMessage(Hwnd(), WM_TIMER, kAdTimer + 1, 0);
    EXPECT_EQ(Shown(), Ad("A", "http://127.0.0.1:9/L1"));
    EXPECT_EQ(window->adIndex, 1);
}

TEST_F(AdButton, ClicksOpenOnlyWebLinksWithTheVerbOpen)
{
    struct TRow
    {
        const char* link;
        bool opened;
    };
    const TRow rows[] = {
        {"http://127.0.0.1:9/page?a=1&amp;b=%E4%B8%AD", true},
        {"HTTPS://127.0.0.1:9/secure", true},
        {"#", false},
        {"", false},
        {"javascript:alert(1)", false},
        {"file:///etc/passwd", false},
        {"news/today.html", false},
        {"/usr/bin/xterm", false},
        {"mailto:someone@127.0.0.1", false},
        {" http://127.0.0.1:9/leading-space", false},
        {"httpx://127.0.0.1:9/", false},
    };
    std::vector<Ad> entries;
    for (std::size_t index = 0; index < std::size(rows); ++index)
        entries.emplace_back("ad" + std::to_string(index), rows[index].link);
    WriteAds(AdList(entries));
    Start();
    ASSERT_EQ(window->adTexts.GetSize(), static_cast<int>(std::size(rows)));

    // Before the first tick the layout's "#" is all there is.
    Click();
    EXPECT_TRUE(openedLinks.empty());

    std::vector<std::pair<std::string, std::string>> expected;
    for (std::size_t index = 0; index < std::size(rows); ++index) {
        Tick();
        ASSERT_EQ(Shown().first, "ad" + std::to_string(index));
        Click();
        if (rows[index].opened)
            expected.emplace_back("open", window->adButton->GetUserData().GetData());
        EXPECT_EQ(openedLinks, expected) << rows[index].link;
    }
    EXPECT_EQ(expected.at(0).second, "http://127.0.0.1:9/page?a=1&b=%E4%B8%AD");
}

TEST_F(AdButton, LinksWithASpaceOrABarOpenInTheirEncodedForm)
{
    WriteAds(AdList({{"spaced", "http://127.0.0.1:9/spring sale.html"},
                     {"barred", "https://127.0.0.1:9/go?to=a|b"},
                     {"broken", "http://127.0.0.1 :9/"}}));
    Start();
    ASSERT_EQ(window->adTexts.GetSize(), 3);
    for (int index = 0; index < 3; ++index) {
        Tick();
        Click();
    }
    EXPECT_EQ(openedLinks, std::vector<Ad>({{"open", "http://127.0.0.1:9/spring%20sale.html"},
                                            {"open", "https://127.0.0.1:9/go?to=a%7Cb"}}));
}

TEST_F(AdButton, ReloadShrinkingTheListGoesOnFromThePositionModuloTheNewCount)
{
    WriteAds(AdList({{"E0", "#"}, {"E1", "#"}, {"E2", "#"}, {"E3", "http://127.0.0.1:9/e3"}, {"E4", "#"}}));
    Start();
    for (int tick = 0; tick < 4; ++tick)
        Tick();
    EXPECT_EQ(Shown(), Ad("E3", "http://127.0.0.1:9/e3"));
    EXPECT_EQ(window->adIndex, 4);

    WriteAds(AdList({{"N0", "http://127.0.0.1:9/n0"}, {"N1", "#"}}));
    AdsReplaced();
    EXPECT_EQ(window->adTexts.GetSize(), 2);
    // The button keeps its advertisement until the next tick.
    EXPECT_EQ(Shown(), Ad("E3", "http://127.0.0.1:9/e3"));

    Tick();
    EXPECT_EQ(Shown(), Ad("N0", "http://127.0.0.1:9/n0"));
    Tick();
    EXPECT_EQ(Shown(), Ad("N1", "#"));
    Tick();
    EXPECT_EQ(Shown(), Ad("N0", "http://127.0.0.1:9/n0"));
}

TEST_F(AdButton, ReloadYieldingNoAdvertisementLeavesTheButtonAsItWas)
{
    WriteAds(AdList({{"A", "http://127.0.0.1:9/L1"}, {"B", "#"}}));
    Start();
    Tick();
    ASSERT_EQ(Shown(), Ad("A", "http://127.0.0.1:9/L1"));

    const std::filesystem::path file = folder / "config" / "fmads.dll";
    const std::vector<std::pair<const char*, std::function<void()>>> rows = {
        {"missing file", [&] { std::filesystem::remove(file); }},
        {"empty list", [&] { WriteAds("<ads/><version>2</version>"); }},
        {"only empty texts", [&] { WriteAds(AdList({{"", "http://127.0.0.1:9/x"}, {"", "#"}})); }},
        {"not scrambled", [&] { WriteFile(file, AdList({{"C", "http://127.0.0.1:9/c"}})); }},
        {"empty file", [&] { WriteFile(file, ""); }},
    };
    for (const auto& [name, write] : rows) {
        SCOPED_TRACE(name);
        write();
        AdsReplaced();
        EXPECT_EQ(window->adTexts.GetSize(), 0);
        EXPECT_EQ(window->adLinks.GetSize(), 0);
        Tick();
        Tick();
        EXPECT_EQ(Shown(), Ad("A", "http://127.0.0.1:9/L1"));
    }

    openedLinks.clear();
    Click();
    EXPECT_EQ(openedLinks, std::vector<Ad>({{"open", "http://127.0.0.1:9/L1"}}));
}
