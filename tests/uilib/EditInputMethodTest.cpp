// The edit under a real input method: a window on a private X server (the
// xcb platform, not offscreen), IBus with libpinyin on a private bus, and
// pinyin typed by xdotool as a user types it. The case checks that the
// pre-edit really arrived (Qt falls back to plain keys without a word when
// no input method answers) and that Space commits the Chinese words; then
// Chinese typed by xdotool itself (keys carrying text), and the X11 primary
// selection with a middle click.
//
// Its own executable: the Qt application must be made after the input
// method's environment is in place.

#include "uilib/EditTestWindow.h"

#include "support/DesktopSession.h"
#include "support/IbusSession.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using orvane::test::DesktopProgram;
using orvane::test::DesktopSession;
using orvane::test::IbusSession;

namespace {

// Runs the window's loop until the condition holds or the watchdog runs out.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds watchdog)
{
    const auto deadline = std::chrono::steady_clock::now() + watchdog;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        edittest::Pump();
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

void UseEnvironment(const std::vector<std::string>& entries)
{
    for (const std::string& entry : entries) {
        const auto equals = entry.find('=');
        const std::string name = entry.substr(0, equals);
        const std::string value = entry.substr(equals + 1);
        if (value.empty()) {
            ::unsetenv(name.c_str());
        } else {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
}

} // namespace

TEST(EditInputMethod, PinyinIsComposedSpaceCommitsChineseTypedChineseAndThePrimarySelectionPaste)
{
    DesktopSession desktop;
    ASSERT_TRUE(desktop.Ready()) << desktop.Error();
    IbusSession ibus(desktop);
    ASSERT_TRUE(ibus.Ready()) << ibus.Error();
    UseEnvironment(ibus.Environment());
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    edittest::TEditWindow w("font='-1'");
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QWidget* widget = WidgetFromHwnd(w.Hwnd());
    ::ShowWindow(w.Hwnd(), SW_SHOW);
    const unsigned long xWindow = widget->winId();
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto geometry = desktop.Geometry(xWindow);
            return geometry && geometry->viewable;
        },
        15s));
    ASSERT_TRUE(desktop.Focus(xWindow));
    ASSERT_TRUE(PumpUntil([&] { return QGuiApplication::focusObject() == widget; }, 15s));
    w.Focus();
    edittest::Pump();

    // The pinyin is composed: the letters never reach the text, the pre-edit
    // grows at the caret.
    QString longestPreedit;
    const std::unique_ptr<DesktopProgram> typing =
        desktop.Start("xdotool", {"type", "--delay", "80", "nihao"}, ibus.Home(), {});
    ASSERT_NE(typing, nullptr);
    const auto watchPreedit = [&] {
        const QString preedit = edittest::Utf8(w.edit->GetPreeditText());
        if (preedit.size() > longestPreedit.size()) {
            longestPreedit = preedit;
        }
    };
    EXPECT_TRUE(PumpUntil(
        [&] {
            watchPreedit();
            return !typing->Running();
        },
        20s));
    EXPECT_TRUE(PumpUntil(
        [&] {
            watchPreedit();
            return !w.edit->GetPreeditText().IsEmpty();
        },
        10s))
        << "pre-edit: " << edittest::Utf8(w.edit->GetPreeditText()).toStdString()
        << " text: " << w.Text().toStdString() << "\nibus: " << typing->Log();
    // The engine may still be converting the last syllable.
    PumpUntil([] { return false; }, 300ms);
    watchPreedit();
    EXPECT_FALSE(longestPreedit.isEmpty()) << "no pre-edit arrived: Qt fell back to plain keys";
    std::printf("pre-edit seen: %s\n", longestPreedit.toStdString().c_str());
    EXPECT_EQ(w.Text(), QString()) << "the pinyin letters went in as plain keys";

    const std::unique_ptr<DesktopProgram> space = desktop.Start("xdotool", {"key", "space"}, ibus.Home(), {});
    ASSERT_NE(space, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return w.Text() == QString::fromUtf8("你好"); }, 10s))
        << "text: " << w.Text().toStdString() << " pre-edit: " << edittest::Utf8(w.edit->GetPreeditText()).toStdString();
    EXPECT_TRUE(w.edit->GetPreeditText().IsEmpty());
    EXPECT_EQ(w.edit->GetCaretPosition(), 2);

    // Chinese that xdotool types itself arrives as keys carrying the text,
    // not through the input method, and is inserted as well.
    const std::unique_ptr<DesktopProgram> chinese =
        desktop.Start("xdotool", {"type", "--delay", "80", "中文"}, ibus.Home(), {});
    ASSERT_NE(chinese, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return w.Text() == QString::fromUtf8("你好中文"); }, 10s))
        << "text: " << w.Text().toStdString();

    // On X11 a selection becomes the primary selection, and a middle click
    // pastes it where it clicks. (One case: the xcb application stays bound
    // to this X server for the rest of the process.)
    ASSERT_TRUE(QGuiApplication::clipboard()->supportsSelection());
    edittest::SendKey(w.Hwnd(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection), QString::fromUtf8("你好中文"));
    edittest::SendKey(w.Hwnd(), Qt::Key_End);
    const auto geometry = desktop.Geometry(xWindow);
    ASSERT_TRUE(geometry.has_value());
    const std::unique_ptr<DesktopProgram> click = desktop.Start(
        "xdotool",
        {"mousemove", std::to_string(geometry->x + 290), std::to_string(geometry->y + 15), "click", "2"},
        ibus.Home(), {});
    ASSERT_NE(click, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return w.Text() == QString::fromUtf8("你好中文你好中文"); }, 10s))
        << "text: " << w.Text().toStdString();
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
