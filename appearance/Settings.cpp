// Reading the stored background at start-up, and remembering a new choice.

#include "appearance/Settings.h"

#include "app/RadioWnd.h"
#include "catalogue/XmlFile.h"
#include "platform/shell/Shell.h"

#include <cstdio>
#include <string>

CStdString BackgroundDescription(const char* choice, const char* path)
{
    CStdString description;
    if (CStdString(choice) == kChoiceBlue)
        description = "file='bluebk.jpg' xcentered='true' ycentered='true'";
    else if (CStdString(choice) == kChoiceCustom)
        description.Format(CStdString(path).Find('\'') < 0 ? "file='%s' xcentered='true' ycentered='true'" : "file=\"%s\" xcentered='true' ycentered='true'", path != nullptr ? path : ""); // an apostrophe in the path would end a single-quoted value
    else
        description = "file='lovebk.jpg' xcentered='true' ycentered='true'";
    return description;
}

TiXmlElement* FindSkinElement(TiXmlDocument* settings)
{
    TiXmlElement* root = settings != nullptr ? settings->RootElement() : nullptr;
    return root != nullptr ? root->FirstChildElement("skin") : nullptr;
}

bool SaveSettingsFile(const TiXmlDocument& settings, const char* path)
{
    const std::string partPath = std::string(path) + ".part";
    FILE* file = std::fopen(partPath.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool printed = settings.SaveFile(file);
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    if (!printed || !flushed || !closed || std::rename(partPath.c_str(), path) != 0) {
        std::remove(partPath.c_str());
        return false;
    }
    return true;
}

void CRadioWnd::LoadSettings()
{
    if (!settingsDoc)
        settingsDoc = std::make_unique<TiXmlDocument>();
    const CStdString path = CPaintManagerUI::GetInstancePath() + "config/config.xml";
    ReadXmlFile(settingsDoc.get(), path, false);

    const TiXmlElement* skin = FindSkinElement(settingsDoc.get());
    if (skin == nullptr)
        return;
    const CStdString name = skin->Attribute("name") != nullptr ? skin->Attribute("name") : "";
    const CStdString picture = skin->Attribute("path") != nullptr ? skin->Attribute("path") : "";

    if (name == kChoiceBlue)
        backgroundImage = BackgroundDescription(kChoiceBlue);
    else if (name == kChoiceCustom && ::PathFileExists(picture))
        backgroundImage = BackgroundDescription(kChoiceCustom, picture);
    else
        backgroundImage = BackgroundDescription(kChoiceLove);

    if (mainFrame != nullptr && mainFrame->GetBkImage() != backgroundImage)
        mainFrame->SetBkImage(backgroundImage);
}

void CRadioWnd::SaveSkinChoice(const char* name, const char* path)
{
    if (!settingsDoc || settingsDoc->Error()) // a file that did not parse keeps what the user wrote in it
        return;
    if (TiXmlElement* skin = FindSkinElement(settingsDoc.get())) {
        skin->SetAttribute("name", name);
        skin->SetAttribute("path", path != nullptr ? path : "#");
    }
    SaveSettingsFile(*settingsDoc, CPaintManagerUI::GetInstancePath() + "config/config.xml");
}

void CRadioWnd::SetBackground(const char* description)
{
    backgroundImage = description;
    if (mainFrame != nullptr)
        mainFrame->SetBkImage(backgroundImage);
}
