#include "appearance/SkinDlg.h"

#include "app/RadioWnd.h"
#include "appearance/Settings.h"
#include "platform/shell/Shell.h"

#include <vector>

namespace {

// Room for the chosen picture's path, in bytes; paths are never cut.
constexpr DWORD kPictureBufferBytes = 4096;

// Display text and patterns, each ended by a NUL, the list by a second one.
const char kPictureFilter[] = "图片文件(*.bmp,*.jpg,*.png)\0*.bmp;*.jpg;*.png\0";

COptionUI* FindOption(CPaintManagerUI& manager, const char* name)
{
    CControlUI* control = manager.FindControl(name);
    return control != nullptr ? static_cast<COptionUI*>(control->GetInterface("Option")) : nullptr;
}

// Whether an image attribute list can name the file: values have no escapes,
// so a path needs a quote kind it does not hold itself.
bool CanBeDescribed(const CStdString& path)
{
    return path.Find('\'') < 0 || path.Find('"') < 0;
}

} // namespace

CSkinDlg::CSkinDlg(const char* background, const char* foreground)
    : CDialogWnd("skinDlg.xml", background, foreground)
{
}

const char* CSkinDlg::GetWindowClassName() const
{
    return "UISkin";
}

void CSkinDlg::InitialiseDialog()
{
    CDialogWnd::InitialiseDialog();
    loveOption = FindOption(paintManager, kChoiceLove);
    blueOption = FindOption(paintManager, kChoiceBlue);
    customOption = FindOption(paintManager, kChoiceCustom);

    const TiXmlElement* skin = owner != nullptr ? FindSkinElement(owner->settingsDoc.get()) : nullptr;
    const CStdString name = skin != nullptr && skin->Attribute("name") ? skin->Attribute("name") : "";
    const CStdString path = skin != nullptr && skin->Attribute("path") ? skin->Attribute("path") : "";

    if (name == kChoiceBlue && blueOption != nullptr)
        blueOption->Selected(true);
    else if (name == kChoiceCustom && ::PathFileExists(path) && customOption != nullptr)
        customOption->Selected(true);
    else if (loveOption != nullptr)
        loveOption->Selected(true);
}

void CSkinDlg::Notify(TNotifyUI& msg)
{
    if (msg.sType != "click" || msg.pSender == nullptr)
        return;
    const CStdString name = msg.pSender->GetName();
    if (name == "closebtn") {
        Close(IDCANCEL);
    } else if (name == kChoiceLove || name == kChoiceBlue) {
        ApplyBackground(BackgroundDescription(name), name, nullptr);
    } else if (name == kChoiceCustom) {
        // A cancelled request, or a picture whose path no background
        // description can hold, changes nothing.
        const CStdString picture = RequestPicture();
        if (!picture.IsEmpty() && CanBeDescribed(picture))
            ApplyBackground(BackgroundDescription(kChoiceCustom, picture), kChoiceCustom, picture);
    }
}

CStdString CSkinDlg::RequestPicture()
{
    std::vector<char> file(kPictureBufferBytes, '\0');
    OPENFILENAME request = {};
    request.lStructSize = kOpenFileNameSize;
    request.hwndOwner = hWnd;
    request.lpstrFilter = kPictureFilter;
    request.lpstrFile = file.data();
    request.nMaxFile = kPictureBufferBytes;
    request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!::GetOpenFileName(&request))
        return CStdString();
    return CStdString(file.data());
}

void CSkinDlg::ApplyBackground(const char* description, const char* choice, const char* path)
{
    if (background == CStdString(description))
        return;
    background = description;
    if (mainFrame != nullptr)
        mainFrame->SetBkImage(background);
    if (owner == nullptr)
        return;
    owner->SetBackground(background);
    owner->SaveSkinChoice(choice, path);
}
