// The main window's notification dispatch, the notification-area icon's
// callback and quitting.

#include "app/AboutDlg.h"
#include "app/MenuWnd.h"
#include "app/RadioWnd.h"
#include "appearance/SkinDlg.h"
#include "platform/shell/Shell.h"

namespace {

// Style the dialogs are created with; their WM_CREATE strips the caption.
constexpr DWORD kDialogStyle = WS_VISIBLE | WS_OVERLAPPEDWINDOW; // 0x10CF0000

} // namespace

void CRadioWnd::Notify(TNotifyUI& msg)
{
    // Asked first: switching pages takes the focus away with the page.
    const bool keyboard = paintManager.IsFocusVisible();
    DispatchNotify(msg);
    if (keyboard)
        KeepKeyboardFocus();
}

void CRadioWnd::KeepKeyboardFocus()
{
    if (paintManager.GetFocus() != nullptr)
        return;
    CControlUI* page = radiosPanel != nullptr && radiosPanel->IsVisible() ? radiosContent : sortsPanel;
    if (page == nullptr || !page->IsVisible())
        return;
    CControlUI* target = nullptr;
    for (CControlUI* stop : FocusNavigation::TabStops(FocusNavigation::FocusChain(page), nullptr)) {
        if (stop->GetInterface("Option") != nullptr) {
            target = stop;
            break;
        }
    }
    if (target == nullptr)
        target = FocusNavigation::FirstTabStop(page);
    if (target != nullptr)
        paintManager.GetFocusManager().FocusByKeyboard(target);
}

void CRadioWnd::DispatchNotify(TNotifyUI& msg)
{
    CControlUI* sender = msg.pSender;
    const CStdString& type = msg.sType;
    const CStdString name = sender != nullptr ? sender->GetName() : CStdString();

    // The user's own stations: their page, toggle and context menu.
    if (HandleMyStationsNotify(msg))
        return;

    // Rows are tested in this order; at most one acts.
    if (type == "click") {
        if (name == "closebtn") {
            HideToTray();
        } else if (name == "prev") {
            SelectPreviousStation();
        } else if (name == "next") {
            SelectNextStation();
        } else if (name == "citys" || name == "styles") {
            if (sortsPanel != nullptr)
                sortsPanel->SetVisible(false);
            if (radiosPanel != nullptr)
                radiosPanel->SetVisible(true);
            // The text is copied: building the page deletes nothing of the
            // category page, but the copy keeps that a non-issue.
            const CStdString text = sender->GetText();
            if (name == "citys")
                ShowRegionStations(text);
            else
                ShowStyleStations(text);
        } else if (name == "mainpage") {
            if (sortsPanel != nullptr)
                sortsPanel->SetVisible(true);
            if (radiosPanel != nullptr)
                radiosPanel->SetVisible(false);
        } else if (name == "adbtn") {
            OpenAdLink(sender);
        } else if (name == "play") {
            ResumePlayback();
        } else if (name == "pause") {
            StopPlayback();
        } else if (name == "healbtn") {
            TakeMovedStation();
        } else if (name == "skinbtn") {
            if (CDialogWnd::BringRunningDialogForward())
                return;
            auto* dialog = new CSkinDlg(backgroundImage, foreImage);
            dialog->owner = this;
            dialog->Create(hWnd, "", kDialogStyle, 0, 0, 0, 0, 0);
            dialog->CenterWindow();
            dialog->DoModal(); // the dialog deletes itself after its last message
        }
    } else if (type == "dbclick" || type == "itemactivate") {
        if (name == "fmradio") {
            ChooseStation(sender);
            UpdateFavouriteToggle();
            RememberStation();
            PublishMediaState();
        }
    } else if (type == "valuechanging") {
        if (sender != nullptr && sender == volumeSlider) {
            ApplyVolume(sender);
            ScheduleVolumeSave();
            PublishMediaState();
        }
    } else if (type == "menu") {
        // Context menus of the controls do nothing.
    } else if (type == "selectchanged") {
        if (name == "citys")
            ShowRegionStations(sender->GetText());
    } else if (type == "menuexit") {
        Quit();
    } else if (type == "menuabout") {
        if (CDialogWnd::BringRunningDialogForward())
            return;
        auto* dialog = new CAboutDlg(backgroundImage, foreImage);
        dialog->Create(hWnd, "", kDialogStyle, 0, 0, 0, 0, 0);
        dialog->CenterWindow();
        dialog->DoModal();
    }
}

void CRadioWnd::Quit()
{
    // The icon goes first, so no stale icon stays behind the ended program.
    NOTIFYICONDATA icon = {};
    icon.cbSize = kNotifyIconDataSize;
    icon.hWnd = hWnd;
    icon.uID = kTrayIconId;
    ::Shell_NotifyIcon(NIM_DELETE, &icon);
    ::PostQuitMessage(0);
}

void CRadioWnd::OnTrayIcon(WPARAM /*iconId*/, LPARAM mouseMessage)
{
    // A second click soon after the first arrives as a double click; it
    // brings the window back as well, so that no click on the icon is lost.
    if (mouseMessage == WM_LBUTTONDOWN || mouseMessage == WM_LBUTTONDBLCLK) {
        ::ShowWindow(hWnd, SW_SHOWNORMAL);
    } else if (mouseMessage == WM_RBUTTONUP) {
        // A menu needs its owner control; without one no menu object is made
        // at all (it would have no window to free it).
        if (sortsPanel == nullptr)
            return;
        POINT cursor = {0, 0};
        ::GetCursorPos(&cursor);
        auto* menu = new CMenuWnd();
        menu->Popup(sortsPanel, cursor.x, cursor.y, "menutray.xml");
    }
}
