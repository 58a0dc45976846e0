#include "platform/shell/Shell.h"
#include "platform/shell/ShellTesting.h"
#include "platform/win/WinQt.h"
#include "platform/win/WinTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSystemTrayIcon>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

using namespace wintest;

namespace {

constexpr UINT kCallback = WM_USER + 50;

class NotifyIconTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Reset();
        RegisterTestClass();
        window = MakeWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        if (::IsWindow(window))
            ::DestroyWindow(window);
    }

    NOTIFYICONDATA Description(UINT id = 108)
    {
        NOTIFYICONDATA data = {};
        data.cbSize = kNotifyIconDataSize;
        data.hWnd = window;
        data.uID = id;
        data.uFlags = NIF_MESSAGE | NIF_TIP;
        data.uCallbackMessage = kCallback;
        std::strcpy(data.szTip, "Orvane网络收音机");
        return data;
    }

    HWND window = nullptr;
};

} // namespace

TEST_F(NotifyIconTest, HeadlessThereIsNoNotificationAreaButTheIconIsKept)
{
    EXPECT_FALSE(IsNotificationAreaAvailable());
    NOTIFYICONDATA data = Description();
    EXPECT_EQ(Shell_NotifyIcon(NIM_ADD, &data), FALSE);
    EXPECT_TRUE(HasNotifyIcon(window, 108));
    // A second add of the same icon is refused; a delete removes it.
    EXPECT_EQ(Shell_NotifyIcon(NIM_ADD, &data), FALSE);
    EXPECT_EQ(Shell_NotifyIcon(NIM_DELETE, &data), TRUE);
    EXPECT_FALSE(HasNotifyIcon(window, 108));
    EXPECT_EQ(Shell_NotifyIcon(NIM_DELETE, &data), FALSE);
}

TEST_F(NotifyIconTest, EachActivationArrivesAsTheCallbackWithTheMouseMessage)
{
    NOTIFYICONDATA data = Description();
    Shell_NotifyIcon(NIM_ADD, &data);

    const struct
    {
        NotifyIconActivation reason;
        LPARAM mouseMessage;
    } rows[] = {
        {NotifyIconActivation::Trigger, WM_LBUTTONDOWN},
        {NotifyIconActivation::Context, WM_RBUTTONUP},
        {NotifyIconActivation::DoubleClick, WM_LBUTTONDBLCLK},
        {NotifyIconActivation::MiddleClick, WM_MBUTTONUP},
    };
    for (const auto& row : rows) {
        Reset();
        ASSERT_TRUE(SimulateNotifyIconActivation(window, 108, row.reason));
        ASSERT_TRUE(PumpUntil([&] { return !Messages(kCallback, window).empty(); }));
        const auto received = Messages(kCallback, window);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].wParam, 108u);
        EXPECT_EQ(received[0].lParam, row.mouseMessage);
    }

    Shell_NotifyIcon(NIM_DELETE, &data);
    Reset();
    EXPECT_FALSE(SimulateNotifyIconActivation(window, 108, NotifyIconActivation::Trigger));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(Messages(kCallback, window).empty());
}

TEST_F(NotifyIconTest, AnIconDiesWithItsWindow)
{
    NOTIFYICONDATA data = Description(7);
    Shell_NotifyIcon(NIM_ADD, &data);
    ::DestroyWindow(window);
    EXPECT_FALSE(HasNotifyIcon(window, 7));
    EXPECT_FALSE(SimulateNotifyIconActivation(window, 7, NotifyIconActivation::Trigger));
}

namespace {

// The way out of a process, run in a child of its own: the end of the
// session reaches the loop as the quit message with code 0, and ending the
// window layer frees the windows, the icons and the application before the
// exit handlers run. Exit codes tell which step failed.
void EndTheSessionAndLeave(bool bySignal)
{
    // Seconds after which a hung child ends itself by SIGALRM.
    ::alarm(20);
    RegisterTestClass();
    HWND window = MakeWindow();
    NOTIFYICONDATA data = {};
    data.cbSize = kNotifyIconDataSize;
    data.hWnd = window;
    data.uID = 108;
    data.uFlags = NIF_MESSAGE;
    data.uCallbackMessage = kCallback;
    Shell_NotifyIcon(NIM_ADD, &data);
    if (!HasNotifyIcon(window, 108))
        std::_Exit(2);
    const QPointer<QSystemTrayIcon> icon = WinLayerOwner()->findChild<QSystemTrayIcon*>();
    if (icon.isNull())
        std::_Exit(3);

    PostQuitMessageAtEndOfSession();
    if (bySignal) {
        ::raise(SIGTERM);
    } else {
        // What the desktop's session manager sends when the session ends.
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    }
    MSG message{};
    while (::GetMessage(&message, nullptr, 0, 0))
        ::DispatchMessage(&message);
    if (message.wParam != 0)
        std::_Exit(4);

    EndWindowLayer();
    if (QCoreApplication::instance() != nullptr || WinLayerOwner() != nullptr || ::IsWindow(window) ||
        !icon.isNull())
        std::_Exit(5);
    std::exit(0);
}

} // namespace

TEST(EndOfSession, ASignalQuitsTheLoopAndEndingTheLayerFreesEverythingOfQt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(EndTheSessionAndLeave(true), ::testing::ExitedWithCode(0), "");
}

TEST(EndOfSession, TheSessionManagersQuitQuitsTheLoopAlike)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(EndTheSessionAndLeave(false), ::testing::ExitedWithCode(0), "");
}

TEST(ShellFileFilter, Win32FiltersBecomeDesktopFilters)
{
    EXPECT_EQ(TranslateFileFilter("图片文件(*.bmp,*.jpg,*.png)\0*.bmp;*.jpg;*.png\0"),
              "图片文件(*.bmp,*.jpg,*.png) (*.bmp *.jpg *.png)");
    EXPECT_EQ(TranslateFileFilter("Text\0*.txt\0All\0*\0"), "Text (*.txt);;All (*)");
    EXPECT_EQ(TranslateFileFilter(""), "");
    EXPECT_EQ(TranslateFileFilter(nullptr), "");
}

namespace {

std::string lastVerb;
std::string lastLink;

bool RecordLink(const char* verb, const char* link)
{
    lastVerb = verb;
    lastLink = link;
    return true;
}

BOOL ChoosePicture(OPENFILENAME* description)
{
    const char* path = "/tmp/图片/it's.png";
    if (std::strlen(path) + 1 > description->nMaxFile)
        return FALSE;
    std::strcpy(description->lpstrFile, path);
    return TRUE;
}

} // namespace

TEST(ShellExecute, OnlyTheOpenVerbReachesTheDesktop)
{
    SetOpenLinkHook(&RecordLink);
    EXPECT_GT(ShellExecute(nullptr, "open", "https://example.org/a", nullptr, nullptr, SW_SHOWNORMAL), 32);
    EXPECT_EQ(lastVerb, "open");
    EXPECT_EQ(lastLink, "https://example.org/a");
    lastLink.clear();
    EXPECT_LE(ShellExecute(nullptr, "print", "https://example.org/b", nullptr, nullptr, SW_SHOWNORMAL), 32);
    EXPECT_LE(ShellExecute(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL), 32);
    EXPECT_TRUE(lastLink.empty());
    SetOpenLinkHook(nullptr);
}

TEST(ShellExecute, LinksWithSpacesOrBarsGoOutEncodedAndWhatStaysInvalidIsRefused)
{
    struct TRow
    {
        const char* link;
        const char* opened;   // null: refused
    };
    const TRow rows[] = {
        {"http://127.0.0.1:9/my page.html", "http://127.0.0.1:9/my%20page.html"},
        {"http://127.0.0.1:9/a|b?q=x y", "http://127.0.0.1:9/a%7Cb?q=x%20y"},
        {"http://127.0.0.1:9/{\"<>\\^`}", "http://127.0.0.1:9/%7B%22%3C%3E%5C%5E%60%7D"},
        // Escapes already there stay; a lone '%' is encoded itself.
        {"http://127.0.0.1:9/%E4%B8%AD 50%", "http://127.0.0.1:9/%E4%B8%AD%2050%25"},
        {"http://127.0.0.1:9/100%zz", "http://127.0.0.1:9/100%25zz"},
        {"https://127.0.0.1:9/中文 页", "https://127.0.0.1:9/中文%20页"},
        // Still no valid link once encoded, or not a link at all.
        {"http://exa mple.org/", nullptr},
        {"http://127.0.0.1:9/a\nb", nullptr},
        {"http://127.0.0.1:9/a\tb", nullptr},
        {"http://127.0.0.1:9/\x7F", nullptr},
        {"no scheme at all", nullptr},
        {"http://[::1/", nullptr},
    };
    SetOpenLinkHook(&RecordLink);
    for (const TRow& row : rows) {
        lastLink.clear();
        const auto answer = ShellExecute(nullptr, "open", row.link, nullptr, nullptr, SW_SHOWNORMAL);
        if (row.opened != nullptr) {
            EXPECT_GT(answer, 32) << row.link;
            EXPECT_EQ(lastLink, row.opened) << row.link;
        } else {
            EXPECT_LE(answer, 32) << row.link;
            EXPECT_TRUE(lastLink.empty()) << row.link << " went out as " << lastLink;
        }
    }
    SetOpenLinkHook(nullptr);
    EXPECT_EQ(EncodeLink(nullptr), "");
}

TEST(PathFileExists, FilesFoldersAndOddNames)
{
    const auto folder = std::filesystem::temp_directory_path() / ("orvane-shell-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "图片");
    const auto picture = folder / "图片" / "it's.png";
    std::ofstream(picture) << "x";

    EXPECT_TRUE(PathFileExists(picture.c_str()));
    EXPECT_TRUE(PathFileExists((folder / "图片").c_str()));
    EXPECT_FALSE(PathFileExists((folder / "missing.png").c_str()));
    EXPECT_FALSE(PathFileExists(""));
    EXPECT_FALSE(PathFileExists(nullptr));
    std::filesystem::remove_all(folder);
}

TEST(GetOpenFileName, TheAnswerLandsInTheBufferOnlyWhenItFits)
{
    SetOpenFileNameHook(&ChoosePicture);
    char file[260] = {};
    OPENFILENAME description = {};
    description.lStructSize = kOpenFileNameSize;
    description.lpstrFile = file;
    description.nMaxFile = sizeof file;
    description.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    ASSERT_EQ(GetOpenFileName(&description), TRUE);
    EXPECT_STREQ(file, "/tmp/图片/it's.png");

    char tiny[4] = {};
    description.lpstrFile = tiny;
    description.nMaxFile = sizeof tiny;
    EXPECT_EQ(GetOpenFileName(&description), FALSE);
    EXPECT_EQ(tiny[0], '\0');
    SetOpenFileNameHook(nullptr);
}
