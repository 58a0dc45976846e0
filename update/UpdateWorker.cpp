// The update worker: fetches the catalogue and the advertisement list from the
// update server, checks each copy, installs it and tells the main window.

#include "update/UpdateWorker.h"

#include "app/RadioWnd.h"
#include "catalogue/XmlFile.h"
#include "platform/inet/HttpDownload.h"
#include "platform/shell/SafeFile.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

namespace {

std::mutex timingMutex;
TUpdateTiming timing;

// The window the worker reports to, taken once when the worker starts: the
// GUI thread clears the window object's own handle while it is destroyed,
// which the worker must not read meanwhile. Null on any other thread, which
// then posts to the window object's handle.
thread_local HWND reportWindow = nullptr;

// What a checked download is, for the caller to judge.
struct TCheckedFile
{
    bool valid = false;
    std::int32_t version = 0;
};

// Length of the "http://" or "https://" that starts `text` (letters in any
// case); 0 for any other beginning.
int HttpSchemeLength(const CStdString& text)
{
    if (text.Left(7).CompareNoCase("http://") == 0)
        return 7;
    if (text.Left(8).CompareNoCase("https://") == 0)
        return 8;
    return 0;
}

// Whether an http or https address names a host: something between the
// scheme and the path that is more than a user or a port. A host of one
// letter is a host ("http://a" on a network that names its machines so).
bool NamesAHost(const CStdString& address, int schemeLength)
{
    int end = schemeLength;
    while (end < address.GetLength() && address[end] != '/' && address[end] != '?' && address[end] != '#')
        ++end;
    CStdString authority = address.Mid(schemeLength, end - schemeLength);
    const int at = authority.ReverseFind('@');
    if (at >= 0)
        authority = authority.Mid(at + 1);
    // A bracketed IPv6 literal keeps its colons; otherwise a port follows the last one.
    if (authority.GetLength() > 0 && authority[0] == '[')
        return authority.Find(']') > 1;
    const int colon = authority.ReverseFind(':');
    if (colon >= 0)
        authority = authority.Left(colon);
    return !authority.IsEmpty();
}

void MakeFolder(const char* folder)
{
    std::error_code ignored;
    std::filesystem::create_directory(folder, ignored);
}

// Downloads `url` into the cache folder and checks that it is a data file
// with a version. An invalid copy is deleted.
TCheckedFile FetchAndCheck(const char* url, const char* cacheDir, const char* temporaryName,
                           std::string& temporaryPath)
{
    MakeFolder(cacheDir);
    temporaryPath = std::string(cacheDir) + "/" + temporaryName;

    const TUpdateTiming waits = GetUpdateTiming();
    DownloadOptions options;
    options.connectTimeout = std::chrono::milliseconds(waits.connectTimeout);
    options.stallTimeout = std::chrono::milliseconds(waits.stallTimeout);
    const DownloadResult result = DownloadToFile(url, temporaryPath, options);

    TCheckedFile checked;
    if (!result.Succeeded())
        return checked; // the stand-in leaves no file behind a failure

    TiXmlDocument document;
    ReadXmlFile(document, temporaryPath.c_str());
    const TiXmlElement* version = FindVersionElement(document);
    // A body cut short where the server marks no end still arrives "whole";
    // the parser then keeps what it read, down to a version element cut
    // inside its number. Only a file that parsed to its end is a copy of the
    // server's.
    if (document.Error() || version == nullptr || version->FirstChild() == nullptr) {
        std::error_code ignored;
        std::filesystem::remove(temporaryPath, ignored);
        return checked;
    }
    checked.valid = true;
    checked.version = ParseVersionNumber(version->FirstChild()->Value());
    return checked;
}

} // namespace

CStdString ReadUpdateServer(const TiXmlDocument* settings)
{
    const TiXmlElement* root = settings != nullptr ? settings->RootElement() : nullptr;
    const TiXmlElement* update = root != nullptr ? root->FirstChildElement("update") : nullptr;
    const char* server = update != nullptr ? update->Attribute("server") : nullptr;
    CStdString address = server != nullptr ? server : "";
    while (address.GetLength() > 0 && address[address.GetLength() - 1] == '/')
        address = address.Left(address.GetLength() - 1);
    const int schemeLength = HttpSchemeLength(address);
    if (schemeLength == 0 || !NamesAHost(address, schemeLength))
        return kDefaultUpdateServer;
    return address;
}

void SetUpdateTiming(const TUpdateTiming& newTiming)
{
    std::lock_guard lock(timingMutex);
    timing = newTiming;
}

TUpdateTiming GetUpdateTiming()
{
    std::lock_guard lock(timingMutex);
    return timing;
}

bool InstallFile(const char* source, const char* target)
{
    return static_cast<bool>(ReplaceFileWithCopy(target, source));
}

DWORD CRadioWnd::UpdateProc(void* parameter)
{
    auto* params = static_cast<TUpdateParams*>(parameter);
    if (params == nullptr || params->owner == nullptr)
        return 0;

    reportWindow = params->owner->GetHWND();
    const std::string configFolder = std::filesystem::path(params->catalogueFile.GetData()).parent_path().string();
    bool catalogueDone = false;
    bool adsDone = false;
    std::uint32_t retryPause = GetUpdateTiming().firstRetry;

    while (!::IsStopRequested()) {
        MakeFolder(configFolder.c_str());
        bool succeeded = false;
        if (!catalogueDone) {
            catalogueDone = params->owner->DownloadCatalogue(params->catalogueUrl, params->cacheDir,
                                                             params->catalogueFile);
            succeeded = succeeded || catalogueDone;
        }
        if (!adsDone && !::IsStopRequested()) {
            adsDone = params->owner->DownloadAdList(params->adsUrl, params->cacheDir, params->adsFile);
            succeeded = succeeded || adsDone;
        }

        const TUpdateTiming waits = GetUpdateTiming();
        if (succeeded)
            retryPause = waits.firstRetry;
        if (!catalogueDone || !adsDone) {
            // Offline, retrying at once would spin a core and hammer the
            // server: wait, longer after every further failure.
            if (!::Sleep(retryPause))
                break;
            retryPause = std::min(retryPause * 2, waits.longestRetry);
            continue;
        }
        if (!::Sleep(waits.roundPause))
            break;
        catalogueDone = false;
        adsDone = false;
    }
    return 0;
}

bool CRadioWnd::DownloadCatalogue(const char* url, const char* cacheDir, const char* target)
{
    std::string temporaryPath;
    const TCheckedFile checked = FetchAndCheck(url, cacheDir, "fmradios_tmp.dll", temporaryPath);
    if (!checked.valid)
        return false;
    if (checked.version <= catalogueVersion.load())
        return true; // not newer: it stays in the cache folder only
    if (::IsStopRequested() || !InstallFile(temporaryPath.c_str(), target))
        return false;
    ::PostMessage(reportWindow != nullptr ? reportWindow : hWnd, WM_CATALOGUE_REPLACED, 0, 0);
    return true;
}

bool CRadioWnd::DownloadAdList(const char* url, const char* cacheDir, const char* target)
{
    std::string temporaryPath;
    const TCheckedFile checked = FetchAndCheck(url, cacheDir, "fmads_tmp.dll", temporaryPath);
    if (!checked.valid)
        return false;
    if (::IsStopRequested() || !InstallFile(temporaryPath.c_str(), target))
        return false;
    ::PostMessage(reportWindow != nullptr ? reportWindow : hWnd, WM_ADS_REPLACED, 0, 0);
    return true;
}
