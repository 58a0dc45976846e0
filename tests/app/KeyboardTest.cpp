// The main window and its tray menu by keyboard alone, on the shipped skin:
// keys pressed as a user presses them (Qt key events on the window, through
// the message queue and the windows' key filters).

#include "app/MenuWnd.h"
#include "app/RadioWndFixture.h"
#include "uilib/EditTestWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace apptest;

namespace {

class KeyboardInMainWindow : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        // Two regions of seven stations: rows of three, three and one.
        WriteCatalogue(MakeCatalogue(2, 7, 1));
        Start();
        ASSERT_FALSE(QuitPosted());
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const char* text = "")
    {
        edittest::SendKey(Hwnd(), key, modifiers, QString::fromUtf8(text));
    }

    // The focused control's name (and an option's text), "-" for none.
    std::string Focused() const
    {
        CControlUI* focus = Manager().GetFocus();
        if (focus == nullptr)
            return "-";
        const std::string name = focus->GetName().GetData();
        if (focus->GetInterface("Option") == nullptr)
            return name;
        return name + ":" + focus->GetText().GetData();
    }

};

} // namespace

TEST_F(KeyboardInMainWindow, TabOrderOfTheMainWindowFollowsItsLayoutAndWraps)
{
    // The caption's buttons, the transport row (the hidden toggle and the
    // hidden pause button are no stops), the volume, the category page as
    // one stop, the advertisement, and round again.
    const std::vector<std::string> order = {"skinbtn", "closebtn",  "prev",          "play",
                                            "next",    "VolumeSlider", "citys:R0", "adbtn",
                                            "skinbtn"};
    for (const std::string& expected : order) {
        Key(Qt::Key_Tab, Qt::NoModifier, "\t");
        EXPECT_EQ(Focused(), expected);
    }
    Key(Qt::Key_Backtab, Qt::ShiftModifier, "\t");
    Key(Qt::Key_Backtab, Qt::ShiftModifier, "\t");
    EXPECT_EQ(Focused(), "citys:R0");
    // Within the category page the arrows walk the regions and the styles.
    Key(Qt::Key_Right);
    EXPECT_EQ(Focused(), "citys:R1");
    Key(Qt::Key_Down);
    EXPECT_EQ(Focused(), "styles:S0");
    EXPECT_FALSE(QuitPosted());
}

TEST_F(KeyboardInMainWindow, EnterOpensARegionArrowsWalkItsStationsEnterPlaysAndTheWindowsKeysStay)
{
    Key(Qt::Key_Backtab, Qt::ShiftModifier, "\t");
    Key(Qt::Key_Backtab, Qt::ShiftModifier, "\t");
    Key(Qt::Key_Right);
    ASSERT_EQ(Focused(), "citys:R1");
    Key(Qt::Key_Return, Qt::NoModifier, "\r");
    ASSERT_TRUE(window->radiosPanel->IsVisible());
    // The focus went with the page: to its first station.
    EXPECT_EQ(Focused(), "fmradio:R1-0");
    EXPECT_TRUE(window->currentStationName.IsEmpty()) << "opening a region plays nothing";

    struct TStep
    {
        int key;
        const char* expected;
    };
    const std::vector<TStep> steps = {
        {Qt::Key_Right, "fmradio:R1-1"}, {Qt::Key_Down, "fmradio:R1-4"}, {Qt::Key_Down, "fmradio:R1-6"},
        {Qt::Key_Up, "fmradio:R1-3"},    {Qt::Key_Left, "fmradio:R1-2"}, {Qt::Key_End, "fmradio:R1-6"},
        {Qt::Key_Home, "fmradio:R1-0"},  {Qt::Key_Right, "fmradio:R1-1"},
    };
    for (const TStep& step : steps) {
        Key(step.key);
        EXPECT_EQ(Focused(), step.expected);
    }
    Key(Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(window->currentStationName, "R1-1");
    EXPECT_EQ(Manager().GetGroupSelectedIndex("radios"), 1);

    // Space on the focused station chooses it (no play/pause toggle), and
    // Ctrl+Right still steps to the next station from the chosen one.
    Key(Qt::Key_Right);
    Key(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(Manager().GetGroupSelectedIndex("radios"), 2);
    Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(window->currentStationName, "R1-3");

    // Back to the category page by its button: the focus lands on the
    // region that was opened.
    Key(Qt::Key_Home);
    Key(Qt::Key_Backtab, Qt::ShiftModifier, "\t");
    ASSERT_EQ(Focused(), "mainpage");
    Key(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_TRUE(window->sortsPanel->IsVisible());
    EXPECT_EQ(Focused(), "citys:R1");
    EXPECT_FALSE(QuitPosted());
}

TEST_F(KeyboardInMainWindow, TrayMenuEntriesTakeUpDownAndEnter)
{
    auto* menu = new CMenuWnd();
    menu->Popup(window->sortsPanel, 100, 100, "menutray.xml");
    HWND menuWindow = menu->GetHWND();
    ASSERT_TRUE(::IsWindow(menuWindow));
    CPaintManagerUI* menuManager = CPaintManagerUI::FromWindow(menuWindow);
    ASSERT_NE(menuManager, nullptr);
    const auto focused = [&] {
        CControlUI* focus = menuManager->GetFocus();
        return focus != nullptr ? std::string(focus->GetName().GetData()) : std::string("-");
    };
    const std::vector<std::pair<int, std::string>> steps = {
        {Qt::Key_Down, "menuabout"}, {Qt::Key_Down, "menuexit"}, {Qt::Key_Down, "menuabout"},
        {Qt::Key_Up, "menuexit"},
    };
    for (const auto& [key, expected] : steps) {
        edittest::SendKey(menuWindow, key);
        EXPECT_EQ(focused(), expected);
    }
    EXPECT_TRUE(menuManager->IsFocusVisible());
    edittest::SendKey(menuWindow, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_TRUE(QuitPosted()) << "Enter ran the exit entry";
}
