// Reading the stored background at start-up, and remembering a new choice.

#include "appearance/Settings.h"

#include "app/RadioWnd.h"
#include "catalogue/XmlFile.h"
#include "platform/shell/SafeFile.h"
#include "platform/shell/Shell.h"

#include <cstdio>
#include <cstdlib>
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

namespace {

// Saves the document to `file`. The text is always UTF-8 (the reader converts
// every file to it), so a declaration that names another encoding would make
// the next start read the saved file wrongly: it is written naming UTF-8.
bool SaveDocumentAsUtf8(const TiXmlDocument& settings, FILE* file)
{
    const TiXmlNode* first = settings.FirstChild();
    const TiXmlDeclaration* declaration = first != nullptr ? first->ToDeclaration() : nullptr;
    const char* encoding = declaration != nullptr ? declaration->Encoding() : "";
    if (*encoding == '\0' || CStdString(encoding).CompareNoCase("UTF-8") == 0)
        return settings.SaveFile(file);
    TiXmlDocument copy(settings);
    copy.ReplaceChild(copy.FirstChild(),
                      TiXmlDeclaration(declaration->Version(), "UTF-8", declaration->Standalone()));
    return copy.SaveFile(file);
}

} // namespace

TiXmlElement* FindSkinElement(TiXmlDocument* settings)
{
    TiXmlElement* root = settings != nullptr ? settings->RootElement() : nullptr;
    return root != nullptr ? root->FirstChildElement("skin") : nullptr;
}

bool SaveSettingsFile(const TiXmlDocument& settings, const char* path)
{
    // The document is printed as TinyXML saves it (with the byte-order mark
    // when the loaded file had one), then put in place whole.
    char* printed = nullptr;
    std::size_t length = 0;
    FILE* memory = ::open_memstream(&printed, &length);
    if (memory == nullptr)
        return false;
    const bool complete = SaveDocumentAsUtf8(settings, memory);
    const bool closed = std::fclose(memory) == 0;
    const std::string bytes = printed != nullptr ? std::string(printed, length) : std::string();
    std::free(printed);
    if (!complete || !closed)
        return false;
    return static_cast<bool>(ReplaceFileContents(path, bytes));
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
