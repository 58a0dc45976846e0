// The skin dialog over the real main window: the option the stored choice
// selects, what each click applies and stores, the picture request, and the
// dialog window's mechanics. Modal runs are driven by posted steps behind a
// watchdog.

#include "app/ModalDriver.h"
#include "app/RadioWndFixture.h"

#include "appearance/Settings.h"
#include "appearance/SkinDlg.h"
#include "platform/shell/Shell.h"

#include <fstream>
#include <iterator>

using namespace apptest;

namespace {

const char kLove[] = "file='lovebk.jpg' xcentered='true' ycentered='true'";
const char kBlue[] = "file='bluebk.jpg' xcentered='true' ycentered='true'";

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// What the open-file dialog answers in these tests, and what it was asked.
struct TPictureRequest
{
    std::string answer;       // empty: the user cancels
    int calls = 0;
    OPENFILENAME asked = {};
    std::string filter;       // the whole double-NUL-ended filter
} pictureRequest;

BOOL AnswerPictureRequest(OPENFILENAME* description)
{
    ++pictureRequest.calls;
    pictureRequest.asked = *description;
    const char* end = description->lpstrFilter;
    while (end[0] != '\0' || end[1] != '\0')
        ++end;
    pictureRequest.filter.assign(description->lpstrFilter, end + 2);
    if (pictureRequest.answer.empty() || pictureRequest.answer.size() + 1 > description->nMaxFile)
        return FALSE;
    std::copy(pictureRequest.answer.begin(), pictureRequest.answer.end(), description->lpstrFile);
    description->lpstrFile[pictureRequest.answer.size()] = '\0';
    return TRUE;
}

int liveDialogs = 0;

class CCountedSkinDlg : public CSkinDlg
{
public:
    using CSkinDlg::CSkinDlg;
    ~CCountedSkinDlg() override { --liveDialogs; }
};

class CSkinDlgTest : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        pictureRequest = TPictureRequest();
        liveDialogs = 0;
        SetOpenFileNameHook(&AnswerPictureRequest);
    }

    void TearDown() override
    {
        SetOpenFileNameHook(nullptr);
        CRadioWndTest::TearDown();
    }

    std::filesystem::path SettingsPath() const { return folder / "config" / "config.xml"; }

    // Opens the dialog as the main window's "skinbtn" does, up to the modal run.
    CSkinDlg* Open()
    {
        auto* dialog = new CCountedSkinDlg(window->backgroundImage, window->foreImage);
        ++liveDialogs;
        dialog->owner = window;
        dialog->Create(Hwnd(), "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
        dialog->CenterWindow();
        return dialog;
    }

    // Runs the dialog modally; the steps posted before run inside.
    UINT RunModal(CSkinDlg* dialog, CModalDriver& driver)
    {
        driver.Guard(dialog->GetHWND());
        const UINT code = dialog->DoModal();
        EXPECT_FALSE(driver.TimedOut()) << "the watchdog ended the dialog";
        return code;
    }

    // Sets the main window's settings document from text.
    void UseSettings(const std::string& text)
    {
        window->settingsDoc = std::make_unique<TiXmlDocument>();
        window->settingsDoc->Parse(text.c_str());
    }

    std::string StoredName() const
    {
        TiXmlDocument saved;
        saved.Parse(ReadText(SettingsPath()).c_str());
        const TiXmlElement* skin = FindSkinElement(&saved);
        return skin != nullptr && skin->Attribute("name") ? skin->Attribute("name") : "";
    }
    std::string StoredPath() const
    {
        TiXmlDocument saved;
        saved.Parse(ReadText(SettingsPath()).c_str());
        const TiXmlElement* skin = FindSkinElement(&saved);
        return skin != nullptr && skin->Attribute("path") ? skin->Attribute("path") : "";
    }

    std::filesystem::path UserPicture(const std::string& name)
    {
        const std::filesystem::path path = folder / "pictures" / name;
        std::filesystem::create_directories(path.parent_path());
        std::filesystem::copy_file(folder / "skin" / "bluebk.jpg", path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }
};

} // namespace

TEST_F(CSkinDlgTest, StoredChoiceSelectsItsOption)
{
    Start();
    const std::string picture = UserPicture("mine.png").string();
    struct TRow
    {
        std::string settings;
        const char* selected;
    };
    const TRow rows[] = {
        {R"(<config><skin name="minBlue" path="#"/></config>)", "minBlue"},
        {R"(<config><skin name="minLove" path="#"/></config>)", "minLove"},
        {R"(<config><skin name="minDefine" path=")" + picture + R"("/></config>)", "minDefine"},
        {R"(<config><skin name="minDefine" path=")" + picture + R"(.gone"/></config>)", "minLove"},
        {R"(<config><skin name="MINBLUE" path="#"/></config>)", "minLove"},
        {R"(<config><update/></config>)", "minLove"},
        {"", "minLove"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.settings);
        UseSettings(row.settings);
        CSkinDlg* dialog = Open();
        ASSERT_NE(dialog->loveOption, nullptr);
        ASSERT_NE(dialog->blueOption, nullptr);
        ASSERT_NE(dialog->customOption, nullptr);
        EXPECT_EQ(dialog->loveOption->IsSelected(), std::string(row.selected) == "minLove");
        EXPECT_EQ(dialog->blueOption->IsSelected(), std::string(row.selected) == "minBlue");
        EXPECT_EQ(dialog->customOption->IsSelected(), std::string(row.selected) == "minDefine");
        // Selecting applies nothing.
        EXPECT_EQ(window->mainFrame->GetBkImage(), window->backgroundImage);
        ::DestroyWindow(dialog->GetHWND());
        EXPECT_EQ(liveDialogs, 0) << "the dialog frees itself after its last message";
    }
    // Without a main window's settings at all, the love option.
    window->settingsDoc.reset();
    CSkinDlg* dialog = Open();
    EXPECT_TRUE(dialog->loveOption->IsSelected());
    ::DestroyWindow(dialog->GetHWND());
}

TEST_F(CSkinDlgTest, DialogWearsTheMainWindowsPictureAndSharesItsFrame)
{
    WriteFile(SettingsPath(), R"(<config><skin name="minBlue" path="#"/></config>)");
    Start();
    CSkinDlg* dialog = Open();
    HWND dialogWindow = dialog->GetHWND();
    ASSERT_NE(dialog->mainFrame, nullptr);
    EXPECT_EQ(dialog->mainFrame->GetBkImage(), kBlue);
    EXPECT_EQ(dialog->mainFrame->GetForeImage(), window->foreImage);
    EXPECT_EQ(dialog->background, kBlue);

    EXPECT_EQ(::GetClassStyle("UISkin"), 2059u);
    const auto style = static_cast<DWORD>(::GetWindowLong(dialogWindow, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(style & (WS_VISIBLE | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
              WS_VISIBLE | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    EXPECT_EQ(::GetWindow(dialogWindow, GW_OWNER), Hwnd());

    // The layout's size, centred on the main window.
    RECT bounds = {}, owner = {};
    ::GetWindowRect(dialogWindow, &bounds);
    ::GetWindowRect(Hwnd(), &owner);
    EXPECT_EQ(bounds.right - bounds.left, 360);
    EXPECT_EQ(bounds.bottom - bounds.top, 200);
    EXPECT_NEAR((bounds.left + bounds.right) / 2, (owner.left + owner.right) / 2, 1);

    // Rounded, one pixel larger than the window.
    RECT box = {};
    ASSERT_NE(::GetWindowRgnBox(dialogWindow, &box), ERROR);
    EXPECT_EQ(box.right - box.left, 361);
    EXPECT_EQ(box.bottom - box.top, 201);

    // The caption band drags over the title, not over the close button, and
    // nothing drags below it.
    CControlUI* close = dialog->paintManager.FindControl("closebtn");
    ASSERT_NE(close, nullptr);
    auto screen = [&](int x, int y) {
        POINT point = {x, y};
        ::ClientToScreen(dialogWindow, &point);
        return MAKELPARAM(point.x, point.y);
    };
    const RECT closePos = close->GetPos();
    EXPECT_EQ(::SendMessage(dialogWindow, WM_NCHITTEST, 0,
                            screen((closePos.left + closePos.right) / 2, (closePos.top + closePos.bottom) / 2)),
              HTCLIENT);
    EXPECT_EQ(::SendMessage(dialogWindow, WM_NCHITTEST, 0, screen(60, 18)), HTCAPTION);
    EXPECT_EQ(::SendMessage(dialogWindow, WM_NCHITTEST, 0, screen(60, 100)), HTCLIENT);
    EXPECT_EQ(::SendMessage(dialogWindow, WM_NCCALCSIZE, 0, 0), 0);
    EXPECT_EQ(::SendMessage(dialogWindow, WM_NCPAINT, 0, 0), 0);
    EXPECT_EQ(::SendMessage(dialogWindow, WM_NCACTIVATE, FALSE, 0), TRUE);
    EXPECT_EQ(::SendMessage(dialogWindow, WM_NCACTIVATE, TRUE, 0), FALSE);
    ::DestroyWindow(dialogWindow);
}

TEST_F(CSkinDlgTest, ClickingTheShownBackgroundChangesAndWritesNothing)
{
    // The file's own layout would change if it were written again.
    const std::string original = "<config>  <skin   name=\"minLove\" path=\"#\" />  </config>";
    WriteFile(SettingsPath(), original);
    Start();
    const auto written = std::filesystem::last_write_time(SettingsPath());
    ASSERT_EQ(window->backgroundImage, kLove);

    CSkinDlg* dialog = Open();
    CModalDriver driver;
    PostClick(dialog->loveOption);
    PostClick(dialog->paintManager.FindControl("closebtn"));
    EXPECT_EQ(RunModal(dialog, driver), IDCANCEL);
    EXPECT_EQ(liveDialogs, 0);

    EXPECT_EQ(ReadText(SettingsPath()), original);
    EXPECT_EQ(std::filesystem::last_write_time(SettingsPath()), written);
    EXPECT_EQ(window->backgroundImage, kLove);
    EXPECT_EQ(pictureRequest.calls, 0);
}

TEST_F(CSkinDlgTest, BlueThenReopenedShowsBlueAndLoveIsStoredWithAHash)
{
    Start();
    CSkinDlg* dialog = Open();
    {
        CModalDriver driver;
        PostClick(dialog->blueOption);
        driver.Post([&] {
            // At once, on both windows, and remembered.
            EXPECT_EQ(window->backgroundImage, kBlue);
            EXPECT_EQ(window->mainFrame->GetBkImage(), kBlue);
            EXPECT_EQ(dialog->mainFrame->GetBkImage(), kBlue);
            EXPECT_EQ(StoredName(), "minBlue");
            EXPECT_EQ(StoredPath(), "#");
            PostClick(dialog->paintManager.FindControl("closebtn"));
        });
        EXPECT_EQ(RunModal(dialog, driver), IDCANCEL);
    }

    dialog = Open();
    EXPECT_EQ(dialog->mainFrame->GetBkImage(), kBlue);
    EXPECT_TRUE(dialog->blueOption->IsSelected());
    {
        CModalDriver driver;
        PostClick(dialog->loveOption);
        driver.Post([&] { PostClick(dialog->paintManager.FindControl("closebtn")); });
        RunModal(dialog, driver);
    }
    EXPECT_EQ(window->backgroundImage, kLove);
    EXPECT_EQ(window->mainFrame->GetBkImage(), kLove);
    EXPECT_EQ(StoredName(), "minLove");
    EXPECT_EQ(StoredPath(), "#");
    EXPECT_EQ(liveDialogs, 0);
}

TEST_F(CSkinDlgTest, ChosenPictureShowsAtOnceAndIsStoredWithItsWholePath)
{
    Start();
    // Deeper than the old 260-byte limit, with an apostrophe in it.
    std::string deep = "pictures";
    while (deep.size() < 300)
        deep += "/a-long-folder-name-for-holiday-pictures";
    const std::filesystem::path picture = UserPicture(deep.substr(9) + "/Tom's sea.jpg");
    ASSERT_GT(picture.string().size(), 260u);
    pictureRequest.answer = picture.string();
    const std::string description = "file=\"" + picture.string() + "\" xcentered='true' ycentered='true'";

    CSkinDlg* dialog = Open();
    CModalDriver driver;
    PostClick(dialog->customOption);
    driver.Post([&] {
        EXPECT_EQ(pictureRequest.calls, 1);
        EXPECT_EQ(window->backgroundImage, description.c_str());
        EXPECT_EQ(window->mainFrame->GetBkImage(), description.c_str());
        EXPECT_EQ(dialog->mainFrame->GetBkImage(), description.c_str());
        EXPECT_EQ(dialog->background, description.c_str());
        PostClick(dialog->paintManager.FindControl("closebtn"));
    });
    HWND dialogWindow = dialog->GetHWND();
    RunModal(dialog, driver);

    EXPECT_EQ(StoredName(), "minDefine");
    EXPECT_EQ(StoredPath(), picture.string());
    EXPECT_TRUE(std::filesystem::exists(picture)) << "the picture stays where it is";
    EXPECT_FALSE(std::filesystem::exists(folder / "skin" / "Tom's sea.jpg"));

    // What the desktop's dialog was asked.
    EXPECT_EQ(pictureRequest.asked.lStructSize, 88u);
    EXPECT_EQ(pictureRequest.asked.hwndOwner, dialogWindow);
    EXPECT_EQ(pictureRequest.asked.Flags, OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    EXPECT_EQ(pictureRequest.asked.Flags, 0x81004u);
    EXPECT_GE(pictureRequest.asked.nMaxFile, 4096u);
    EXPECT_EQ(pictureRequest.asked.lpstrTitle, nullptr);
    EXPECT_EQ(pictureRequest.asked.lpstrInitialDir, nullptr);
    const char filter[] = "图片文件(*.bmp,*.jpg,*.png)\0*.bmp;*.jpg;*.png\0";
    EXPECT_EQ(pictureRequest.filter, std::string(filter, sizeof filter));

    // Reopened, the custom option is the stored one.
    dialog = Open();
    EXPECT_TRUE(dialog->customOption->IsSelected());
    ::DestroyWindow(dialog->GetHWND());
}

TEST_F(CSkinDlgTest, CancelledOrUndescribablePictureChangesNothing)
{
    WriteFile(SettingsPath(), R"(<config><skin name="minBlue" path="#"/></config>)");
    Start();
    const std::string before = ReadText(SettingsPath());
    // A path with both kinds of quote cannot be named in a background
    // description; it is refused like a cancelled request.
    const std::string answers[] = {"", UserPicture("both ' and \".jpg").string()};
    for (const std::string& answer : answers) {
        SCOPED_TRACE(answer);
        pictureRequest.answer = answer;
        CSkinDlg* dialog = Open();
        CModalDriver driver;
        PostClick(dialog->customOption);
        driver.Post([&] {
            EXPECT_EQ(dialog->background, kBlue);
            EXPECT_EQ(dialog->mainFrame->GetBkImage(), kBlue);
            PostClick(dialog->paintManager.FindControl("closebtn"));
        });
        RunModal(dialog, driver);
        EXPECT_EQ(window->backgroundImage, kBlue);
        EXPECT_EQ(window->mainFrame->GetBkImage(), kBlue);
        EXPECT_EQ(ReadText(SettingsPath()), before);
    }
    EXPECT_EQ(pictureRequest.calls, 2);
}

TEST_F(CSkinDlgTest, OtherControlsAndNotificationsDoNothing)
{
    Start();
    CSkinDlg* dialog = Open();
    const std::string before = ReadText(SettingsPath());
    CModalDriver driver;
    driver.Post([&] {
        // A click on the background, other notifications from the options.
        dialog->paintManager.SendNotify(dialog->mainFrame, "click");
        dialog->paintManager.SendNotify(dialog->blueOption, "selectchanged");
        dialog->paintManager.SendNotify(dialog->blueOption, "dbclick");
        dialog->paintManager.SendNotify(dialog->paintManager.FindControl("closebtn"), "menu");
    });
    driver.Post([&] {
        EXPECT_TRUE(::IsWindow(dialog->GetHWND()));
        EXPECT_EQ(window->backgroundImage, kLove);
        PostClick(dialog->paintManager.FindControl("closebtn"));
    });
    EXPECT_EQ(RunModal(dialog, driver), IDCANCEL);
    EXPECT_EQ(ReadText(SettingsPath()), before);
}

TEST_F(CSkinDlgTest, EscapeAndTheSystemCloseCommandPostTheQuitMessage)
{
    Start();
    for (const bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "SC_CLOSE");
        CSkinDlg* dialog = Open();
        HWND dialogWindow = dialog->GetHWND();
        CModalDriver driver;
        if (escape)
            ::PostMessage(dialogWindow, WM_KEYDOWN, VK_ESCAPE, 0);
        else
            driver.Post([&] { ::SendMessage(dialogWindow, WM_SYSCOMMAND, SC_CLOSE, 0); });
        RunModal(dialog, driver);
        // The modal run ended on the quit message and handed it on.
        MSG message{};
        ASSERT_TRUE(::PeekMessage(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(message.wParam, 0u);
        if (::IsWindow(dialogWindow))
            ::DestroyWindow(dialogWindow);
        EXPECT_EQ(liveDialogs, 0);
        EXPECT_TRUE(::IsWindowEnabled(Hwnd())) << "the main window is usable again";
    }
}

TEST_F(CSkinDlgTest, SkinButtonOpensTheDialogModallyOverTheMainWindow)
{
    Start();
    CModalDriver driver;
    CSkinDlg* seen = nullptr;
    driver.PostWhen([&] { return WindowObject<CSkinDlg>(::GetForegroundWindow()) != nullptr; },
                    [&] {
                        seen = WindowObject<CSkinDlg>(::GetForegroundWindow());
                        driver.Guard(seen->GetHWND());
                        EXPECT_EQ(seen->owner, window);
                        EXPECT_FALSE(::IsWindowEnabled(Hwnd())) << "modal over the main window";
                        PostClick(seen->blueOption);
                        PostClick(seen->paintManager.FindControl("closebtn"));
                    });
    Notify(Manager().FindControl("skinbtn"), "click");
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(window->mainFrame->GetBkImage(), kBlue);
    EXPECT_EQ(StoredName(), "minBlue");
    EXPECT_TRUE(::IsWindowEnabled(Hwnd()));
}
