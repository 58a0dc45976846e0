// The keys of the main window, pressed as a user would (Qt key events on the
// window, through the message queue): Space plays and pauses a live stream
// served on 127.0.0.1, Ctrl+Left and Ctrl+Right step through the stations,
// Ctrl+Up and Ctrl+Down change the volume; and the about text names them.

#include "app/AboutDlg.h"
#include "app/RadioWndFixture.h"
#include "platform/win/WinQt.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"
#include "support/LocalHttpServer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

using namespace apptest;
using namespace std::chrono_literals;

namespace {

// Watchdog of one step that involves the network and the decoder.
constexpr auto kStreamTimeout = 15s;

} // namespace

class PlayerKeys : public CRadioWndTest
{
protected:
    void StartOnStationPage(int stations)
    {
        WriteCatalogue(MakeCatalogue(1, stations, 1));
        Start();
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(0), "click");
    }

    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(WidgetFromHwnd(Hwnd()), &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QCoreApplication::sendEvent(WidgetFromHwnd(Hwnd()), &release);
        PumpFor(30ms);
    }

    int Selected() const { return Manager().GetGroupSelectedIndex("radios"); }

    WMPPlayState State() const
    {
        WMPPlayState state = wmppsUndefined;
        window->player->get_playState(&state);
        return state;
    }
};

TEST_F(PlayerKeys, ControlArrowsStepThroughTheStationsPlainArrowsDoNot)
{
    StartOnStationPage(3);
    static_cast<COptionUI*>(Manager().GetOptionGroup("radios")->GetAt(0))->Selected(true);

    Press(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(window->currentStationName, "R0-1");
    Press(Qt::Key_Right, Qt::ControlModifier);
    Press(Qt::Key_Right, Qt::ControlModifier); // past the last: stays
    EXPECT_EQ(Selected(), 2);
    Press(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(window->currentStationName, "R0-1");

    Press(Qt::Key_Left);
    Press(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), 1);
}

TEST_F(PlayerKeys, ControlUpAndDownStepTheVolumeWithinItsRange)
{
    StartOnStationPage(1);
    window->volumeSlider->SetValue(92);
    Press(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(window->volumeSlider->GetValue(), 97);
    Press(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(window->volumeSlider->GetValue(), 100);
    COM_LONG volume = -1;
    window->playerSettings->get_volume(&volume);
    EXPECT_EQ(volume, 100);

    window->volumeSlider->SetValue(3);
    Press(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(window->volumeSlider->GetValue(), 0);
    Press(Qt::Key_Up);
    EXPECT_EQ(window->volumeSlider->GetValue(), 0) << "Up without Ctrl is not a volume key";
    EXPECT_TRUE(window->volumeSavePending);
}

TEST_F(PlayerKeys, SpacePlaysTheSelectedStationAndPausesIt)
{
    orvane::test::LocalHttpServer server;
    orvane::test::AddLiveMp3Route(server, "/live.mp3", orvane::test::MakeMp3(2.0, 128));
    const std::string url = server.Url("/live.mp3");
    WriteCatalogue("<catalogue><city name=\"R0\"><station name=\"live\" url=\"" + url +
                   "\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles></catalogue><version>1</version>");
    Start();
    CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
    ASSERT_NE(firstRow, nullptr);
    Notify(firstRow->GetItemAt(0), "click");
    static_cast<COptionUI*>(Manager().GetOptionGroup("radios")->GetAt(0))->Selected(true);

    Press(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsPlaying && window->playState == wmppsPlaying; },
                          kStreamTimeout))
        << window->playState;
    EXPECT_TRUE(window->pauseButton->IsVisible());

    Press(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsStopped && window->playButton->IsVisible(); },
                          kStreamTimeout));
    EXPECT_TRUE(window->stoppedByUser);

    Press(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout));
}

TEST_F(PlayerKeys, KeysRestWhileAModalDialogHoldsTheWindow)
{
    StartOnStationPage(2);
    static_cast<COptionUI*>(Manager().GetOptionGroup("radios")->GetAt(0))->Selected(true);
    window->volumeSlider->SetValue(50);
    ::EnableWindow(Hwnd(), FALSE); // as DoModal does to its owner
    Press(Qt::Key_Right, Qt::ControlModifier);
    Press(Qt::Key_Up, Qt::ControlModifier);
    Press(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(window->volumeSlider->GetValue(), 50);
    EXPECT_TRUE(window->currentStationName.IsEmpty());
    ::EnableWindow(Hwnd(), TRUE);
    Press(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(Selected(), 1);
}

TEST_F(PlayerKeys, AboutTextNamesTheKeys)
{
    Start();
    auto* dialog = new CAboutDlg(window->backgroundImage, window->foreImage);
    dialog->Create(Hwnd(), "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
    CControlUI* keys = dialog->paintManager.FindControl("aboutkeys");
    ASSERT_NE(keys, nullptr);
    for (const char* key : {"空格", "Ctrl+←", "Ctrl+→", "Ctrl+↑", "Ctrl+↓", "音量"})
        EXPECT_NE(keys->GetText().Find(key), -1) << key;
    ::DestroyWindow(dialog->GetHWND());
}
