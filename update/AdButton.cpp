// The advertisement button: the list behind it, its rotation and its click.

#include "app/RadioWnd.h"
#include "platform/shell/Shell.h"
#include "update/AdList.h"

void CRadioWnd::LoadAdList(const char* path, CStdStringPtrMap& links, CStdPtrArray& texts)
{
    ReadAdList(path, links, texts);
}

void CRadioWnd::ShowNextAd()
{
    if (adButton == nullptr || adLinks.GetSize() == 0 || adTexts.GetSize() == 0)
        return;
    adIndex %= adTexts.GetSize();
    const auto* text = static_cast<const CStdString*>(adTexts.GetAt(adIndex));
    const auto* link = static_cast<const CStdString*>(adLinks.Find(*text));
    adButton->SetText(*text);
    adButton->SetUserData(link != nullptr ? link->GetData() : "");
    ++adIndex;
}

void CRadioWnd::OpenAdLink(CControlUI* button)
{
    if (button == nullptr)
        return;
    const CStdString link = button->GetUserData();
    if (link.IsEmpty() || link == "#")
        return;
    // The list arrives over plain HTTP: only web links go to the desktop,
    // never a file, a program or any other scheme.
    const bool web = link.Left(7).CompareNoCase("http://") == 0 || link.Left(8).CompareNoCase("https://") == 0;
    if (!web)
        return;
    ::ShellExecute(nullptr, "open", link, nullptr, nullptr, SW_SHOWNORMAL);
}
