// Process entry point: finds the program's data and the user's files, hands
// over to a player that already runs (with the station files and addresses
// of the command line), points the DirectUI library at the
// skin, starts COM on the GUI thread, shows the main window with its media
// controls and runs the message loop until the quit message. Every way out
// (Escape, the menu's exit entry, SIGTERM, SIGINT, SIGHUP, the end of the
// session or of its bus) comes back here and leaves the same way, with exit
// code 0. A display that goes away is the one way out that does not come
// back: Qt ends the process with exit(1) from inside the loop, so the main
// window's teardown runs from the display-lost handler first. Every way out
// is bounded: a teardown held up by something ends the process regardless.
//
// A data folder without the skin ends the program at once with exit code 1
// and says why, on standard error and in a plain message box.

#include <memory>

#include "app/RadioWnd.h"
#include "app/RadioWndOpen.h"
#include "catalogue/XmlFile.h"
#include "platform/com/Com.h"
#include "platform/desktop/FileLayout.h"
#include "platform/desktop/InstanceGuard.h"
#include "platform/desktop/MediaControls.h"
#include "platform/desktop/SessionBusWatch.h"
#include "platform/shell/Shell.h"
#include "platform/shell/StartFailure.h"
#include "platform/wmp/Wmp.h"

namespace {

// Milliseconds the way out may take once the quit message came, the whole
// teardown included, before the process is ended regardless.
constexpr DWORD kQuitMilliseconds = 1500;
// Milliseconds the threads get to end after the main window's teardown
// (which has already stopped the ones it knows of).
constexpr DWORD kStragglerMilliseconds = 300;

// The layout of the main window; without it the program has no window.
constexpr char kMainLayout[] = "Corvela.xml";
constexpr char kSkinArchive[] = "DefaultSkin.dll";

// The skin file that the data folder lacks, or "" when the skin is there:
// the main layout itself or the archive that can hold it.
std::string MissingSkinFile(const std::string& dataFolder)
{
    const std::string skinFolder = dataFolder + "skin/";
    if (::PathFileExists((skinFolder + kMainLayout).c_str()) || ::PathFileExists((skinFolder + kSkinArchive).c_str()))
        return "";
    return skinFolder + kMainLayout;
}

std::string MissingSkinMessage(const std::string& missingFile)
{
    return "无法启动：找不到界面文件 " + missingFile +
           "\n程序的数据文件夹（skin、config）缺失或不完整。请把程序和它的数据文件夹放在一起运行，或重新安装。";
}

// The display went: Qt calls exit(1) as soon as this returns. The main
// window's teardown stops the workers and the player's threads in order, as
// on the program's own way out; the bound covers a teardown that the broken
// connection holds up.
void EndBeforeTheDisplayExit(void* context)
{
    ::EndProcessWithin(kQuitMilliseconds, 1);
    auto* window = static_cast<CRadioWnd*>(context);
    if (window != nullptr && ::IsWindow(window->GetHWND()))
        ::DestroyWindow(window->GetHWND());
    ::StopAllThreads(kStragglerMilliseconds);
}

std::int32_t ReadCatalogueVersion(const std::string& path)
{
    TiXmlDocument document;
    ReadXmlFile(&document, path.c_str(), true);
    const TiXmlElement* version = FindVersionElement(document);
    return version != nullptr && version->FirstChild() != nullptr ? ParseVersionNumber(version->FirstChild()->Value())
                                                                   : 0;
}

// The instance path becomes the data folder: the executable's own folder for
// a run folder, share/orvane-radio for an installed program. Every shipped
// file, the skin and the offline station are found from it; the writable
// files go where the layout says.
void ChooseFolders()
{
    const std::string executableFolder = CPaintManagerUI::GetInstancePath().GetData();
    const std::string dataFolder = FindDataFolder(executableFolder);
    CPaintManagerUI::SetInstancePath(dataFolder.c_str());
    SetPlayerBaseFolder(dataFolder.c_str());

    const TFileLayout layout = ChooseFileLayout(executableFolder, dataFolder, ReadUserFolders());
    PrepareUserFolders(layout, ReadCatalogueVersion);
    SetFileLayout(layout);
}

} // namespace

int main(int argc, char* argv[])
{
    HINSTANCE instance = ::GetModuleHandle(nullptr);
    CPaintManagerUI::SetInstance(instance);

    // Before Qt starts: without a display Qt would end the process itself.
    const std::string missingSkin =
        MissingSkinFile(FindDataFolder(CPaintManagerUI::GetInstancePath().GetData()));
    if (!missingSkin.empty()) {
        ReportStartFailure(MissingSkinMessage(missingSkin));
        ::EndWindowLayer();
        return 1;
    }

    // A desktop that ends its session (or a plain SIGTERM, SIGINT, SIGHUP)
    // gets the same orderly way out as the program's own quit, from the
    // first moment on: a signal during the start posts the quit message,
    // which the loop finds first.
    ::PostQuitMessageAtEndOfSession();

    // A second start brings the running player to the front and ends,
    // before it has touched a file. The guard holds Qt objects, so it goes
    // before the window layer ends.
    auto guard = std::make_unique<CInstanceGuard>();
    const std::vector<std::string> openItems = OpenItemsFromArguments(argc, argv);
    guard->SetItemsToForward(openItems);
    if (guard->Claim() == InstanceClaim::HandedOver) {
        guard.reset();
        ::EndWindowLayer();
        return 0;
    }
    // GStreamer's start and its plugins load while the window is built.
    PreparePlayer();
    DeclareDesktopEntry();
    ChooseFolders();

    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + "skin/");
    CPaintManagerUI::SetResourceZip("DefaultSkin.dll", true);

    if (FAILED(::CoInitialize(nullptr)))
        return 0;

    auto* window = new CRadioWnd();
    window->Create(nullptr, "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
    window->CenterWindow();
    ::ShowWindow(window->GetHWND(), SW_SHOWNORMAL);
    window->ConnectMediaControls();
    guard->SetRaiseHandler([window] { window->BringToFront(); });
    ::QuitWhenSessionBusCloses();
    ::SetDisplayLostHandler(&EndBeforeTheDisplayExit, window);
    guard->SetOpenHandler([window](const std::vector<std::string>& items) { window->OpenStationItems(items); });
    if (!openItems.empty())
        window->OpenStationItems(openItems);

    CPaintManagerUI::MessageLoop();
    ::EndProcessWithin(kQuitMilliseconds, 0);
    ::SetDisplayLostHandler(nullptr, nullptr);
    guard->SetRaiseHandler(nullptr);
    guard->SetOpenHandler(nullptr);

    // The workers are ended cooperatively before the process goes, so no
    // download or stream is cut off mid-write: destroying the window runs its
    // teardown, which stops both threads and frees the window.
    if (::IsWindow(window->GetHWND()))
        ::DestroyWindow(window->GetHWND());
    ::StopAllThreads(kStragglerMilliseconds);

    ::CoUninitialize();
    // Every window and every Qt object goes before main returns: left to the
    // exit handlers, a notification-area icon would outlive Qt's own data.
    guard.reset();
    ::EndWindowLayer();
    return 0;
}
