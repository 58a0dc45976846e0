#pragma once

// CStationDlg: the modal dialog that adds one of the user's own stations by
// its address ("添加电台"), or changes the name and address of one of them
// ("修改电台"). An address that is not one to listen to is refused in the
// dialog, with a line saying why; a station without a name takes its host's.

#include "app/DialogWnd.h"

#include <string>

class CRadioWnd;

class CStationDlg : public CDialogWnd
{
public:
    CStationDlg(const char* background, const char* foreground);
    void Notify(TNotifyUI& msg) override;

    // Stores what the edits hold; closes the dialog on success, otherwise
    // shows why not and stays open.
    void Accept();

    CRadioWnd* owner = nullptr;
    int stationIndex = -1; // -1 adds a station
    std::string initialName;
    std::string initialUrl;
    CControlUI* nameEdit = nullptr;
    CControlUI* urlEdit = nullptr;
    CLabelUI* whyNotLabel = nullptr;

protected:
    const char* GetWindowClassName() const override;
    void InitialiseDialog() override;
};
