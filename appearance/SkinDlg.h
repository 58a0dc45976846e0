#pragma once

// CSkinDlg: the modal skin dialog. The user applies one of the two pictures
// that come with the skin, or a picture of their own; each choice shows at
// once on the main window and on the dialog and is remembered in the settings.

#include "app/DialogWnd.h"

class CRadioWnd;

class CSkinDlg : public CDialogWnd
{
public:
    CSkinDlg(const char* background, const char* foreground);
    void Notify(TNotifyUI& msg) override;

    // Applies a new background; nothing happens when it is the one shown.
    void ApplyBackground(const char* description, const char* choice, const char* path);

    CRadioWnd* owner = nullptr;
    COptionUI* loveOption = nullptr;
    COptionUI* blueOption = nullptr;
    COptionUI* customOption = nullptr;

protected:
    const char* GetWindowClassName() const override;
    void InitialiseDialog() override;

private:
    // The user's picture, or an empty text when the request was cancelled.
    CStdString RequestPicture();
};
