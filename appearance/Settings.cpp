// Reading the stored background at start-up, and remembering a new choice.

#include "appearance/Settings.h"

#include "app/RadioWnd.h"
#include "catalogue/XmlFile.h"
#include "platform/shell/SafeFile.h"
#include "platform/shell/Shell.h"
#include "platform/wmp/Wmp.h"

#include <algorithm>
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
    const CStdString path = CurrentFileLayout().settingsFile.c_str();
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
    SaveSettingsFile(*settingsDoc, CurrentFileLayout().settingsFile.c_str());
}

void CRadioWnd::SetBackground(const char* description)
{
    backgroundImage = description;
    if (mainFrame != nullptr)
        mainFrame->SetBkImage(backgroundImage);
}

namespace {

constexpr const char* kStationElement = "station";
constexpr const char* kVolumeElement = "volume";
constexpr int kMaxVolume = 100; // the slider's and the player's full volume

const TiXmlElement* FindRootChild(const TiXmlDocument* settings, const char* name)
{
    const TiXmlElement* root = settings != nullptr ? settings->RootElement() : nullptr;
    return root != nullptr ? root->FirstChildElement(name) : nullptr;
}

// The root's first element of the name, made after "skin" (or at the end)
// when there is none.
TiXmlElement* FindOrAddRootChild(TiXmlDocument* settings, const char* name)
{
    TiXmlElement* root = settings != nullptr ? settings->RootElement() : nullptr;
    if (root == nullptr)
        return nullptr;
    if (TiXmlElement* existing = root->FirstChildElement(name))
        return existing;
    const TiXmlElement added(name);
    TiXmlNode* skin = root->FirstChildElement("skin");
    TiXmlNode* node = skin != nullptr ? root->InsertAfterChild(skin, added) : root->InsertEndChild(added);
    return node != nullptr ? node->ToElement() : nullptr;
}

} // namespace

bool ReadRememberedStation(const TiXmlDocument* settings, CStdString& name, CStdString& url)
{
    const TiXmlElement* station = FindRootChild(settings, kStationElement);
    const char* storedName = station != nullptr ? station->Attribute("name") : nullptr;
    const char* storedUrl = station != nullptr ? station->Attribute("url") : nullptr;
    if (storedName == nullptr || storedUrl == nullptr || *storedName == '\0' || *storedUrl == '\0')
        return false;
    name = storedName;
    url = storedUrl;
    return true;
}

int ReadRememberedVolume(const TiXmlDocument* settings)
{
    const TiXmlElement* volume = FindRootChild(settings, kVolumeElement);
    const char* text = volume != nullptr ? volume->Attribute("value") : nullptr;
    if (text == nullptr)
        return -1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text)
        return -1;
    return static_cast<int>(std::clamp<long>(value, 0, kMaxVolume));
}

bool SetRememberedStation(TiXmlDocument* settings, const char* name, const char* url)
{
    TiXmlElement* station = FindOrAddRootChild(settings, kStationElement);
    if (station == nullptr)
        return false;
    station->SetAttribute("name", name != nullptr ? name : "");
    station->SetAttribute("url", url != nullptr ? url : "");
    return true;
}

bool SetRememberedVolume(TiXmlDocument* settings, int volume)
{
    TiXmlElement* element = FindOrAddRootChild(settings, kVolumeElement);
    if (element == nullptr)
        return false;
    element->SetAttribute("value", std::clamp(volume, 0, kMaxVolume));
    return true;
}

void CRadioWnd::ApplyRememberedChoices()
{
    const int volume = ReadRememberedVolume(settingsDoc.get());
    if (volume >= 0) {
        if (volumeSlider != nullptr) {
            volumeSlider->SetValue(volume);
            ApplyVolume(volumeSlider);
        } else if (playerSettings != nullptr) {
            playerSettings->put_volume(volume);
        }
    }
    // Shown and chosen, never played: "play" plays it once its page has
    // selected it.
    CStdString name;
    CStdString url;
    if (ReadRememberedStation(settingsDoc.get(), name, url)) {
        currentStationName = name;
        currentStationUrl = url;
        if (fmName != nullptr)
            fmName->SetText(currentStationName);
    }
}

void CRadioWnd::RememberStation()
{
    if (!settingsDoc || settingsDoc->Error())
        return;
    CStdString name;
    CStdString url;
    if (ReadRememberedStation(settingsDoc.get(), name, url) && name == currentStationName && url == currentStationUrl)
        return; // stepping back to the same station writes nothing
    if (SetRememberedStation(settingsDoc.get(), currentStationName, currentStationUrl))
        SaveSettingsFile(*settingsDoc, CurrentFileLayout().settingsFile.c_str());
}

void CRadioWnd::RememberVolume()
{
    ::KillTimer(hWnd, kVolumeSaveTimer);
    volumeSavePending = false;
    if (!settingsDoc || settingsDoc->Error() || volumeSlider == nullptr)
        return;
    if (ReadRememberedVolume(settingsDoc.get()) == volumeSlider->GetValue())
        return;
    if (SetRememberedVolume(settingsDoc.get(), volumeSlider->GetValue()))
        SaveSettingsFile(*settingsDoc, CurrentFileLayout().settingsFile.c_str());
}

void CRadioWnd::ScheduleVolumeSave()
{
    volumeSavePending = true;
    ::SetTimer(hWnd, kVolumeSaveTimer, kVolumeSaveDelayMilliseconds, nullptr);
}
