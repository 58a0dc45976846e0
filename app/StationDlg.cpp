#include "app/StationDlg.h"

#include "app/RadioWnd.h"

CStationDlg::CStationDlg(const char* background, const char* foreground)
    : CDialogWnd("stationDlg.xml", background, foreground)
{
}

const char* CStationDlg::GetWindowClassName() const
{
    return "UIStation";
}

void CStationDlg::InitialiseDialog()
{
    CDialogWnd::InitialiseDialog();
    nameEdit = paintManager.FindControl("stationname");
    urlEdit = paintManager.FindControl("stationurl");
    CControlUI* why = paintManager.FindControl("whynot");
    whyNotLabel = why != nullptr ? static_cast<CLabelUI*>(why->GetInterface("Label")) : nullptr;
    if (CControlUI* title = paintManager.FindControl("title"))
        title->SetText(stationIndex < 0 ? "添加电台" : "修改电台");
    if (nameEdit != nullptr)
        nameEdit->SetText(initialName.c_str());
    if (urlEdit != nullptr)
        urlEdit->SetText(initialUrl.c_str());
    // The name is typed first; a change of a station starts at its name too.
    if (nameEdit != nullptr)
        paintManager.SetFocus(nameEdit);
}

void CStationDlg::Notify(TNotifyUI& msg)
{
    if (msg.pSender == nullptr)
        return;
    const CStdString name = msg.pSender->GetName();
    if (msg.sType == "click") {
        if (name == "closebtn" || name == "cancelbtn")
            Close(IDCANCEL);
        else if (name == "okbtn")
            Accept();
    } else if (msg.sType == "return") {
        if (name == "stationname" && urlEdit != nullptr && urlEdit->GetText().IsEmpty())
            paintManager.SetFocus(urlEdit);
        else
            Accept();
    } else if (msg.sType == "textchanged") {
        // A refusal is about what was typed before.
        if (whyNotLabel != nullptr)
            whyNotLabel->SetText("");
    }
}

void CStationDlg::Accept()
{
    if (owner == nullptr || nameEdit == nullptr || urlEdit == nullptr)
        return;
    const std::string whyNot = owner->StoreStation(stationIndex, nameEdit->GetText().GetData(),
                                                   urlEdit->GetText().GetData());
    if (whyNot.empty()) {
        Close(IDOK);
        return;
    }
    if (whyNotLabel != nullptr)
        whyNotLabel->SetText(whyNot.c_str());
}
