// Process entry point: finds the program's data and the user's files, hands
// over to a player that already runs (with the station files and addresses
// of the command line), points the DirectUI library at the
// skin, starts COM on the GUI thread, shows the main window with its media
// controls and runs the message loop until the quit message. Every way out
// (Escape, the menu's exit entry, the end of the session) comes back here and
// leaves the same way, with exit code 0.

#include <memory>

#include "app/RadioWnd.h"
#include "app/RadioWndOpen.h"
#include "catalogue/XmlFile.h"
#include "platform/com/Com.h"
#include "platform/desktop/FileLayout.h"
#include "platform/desktop/InstanceGuard.h"
#include "platform/desktop/MediaControls.h"
#include "platform/wmp/Wmp.h"

namespace {

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
    guard->SetOpenHandler([window](const std::vector<std::string>& items) { window->OpenStationItems(items); });
    if (!openItems.empty())
        window->OpenStationItems(openItems);

    // A desktop that ends its session (or a plain SIGTERM) gets the same
    // orderly way out as the program's own quit.
    ::PostQuitMessageAtEndOfSession();
    CPaintManagerUI::MessageLoop();
    guard->SetRaiseHandler(nullptr);
    guard->SetOpenHandler(nullptr);

    // The workers are ended cooperatively before the process goes, so no
    // download or stream is cut off mid-write: destroying the window runs its
    // teardown, which stops both threads and frees the window.
    if (::IsWindow(window->GetHWND()))
        ::DestroyWindow(window->GetHWND());

    ::CoUninitialize();
    // Every window and every Qt object goes before main returns: left to the
    // exit handlers, a notification-area icon would outlive Qt's own data.
    guard.reset();
    ::EndWindowLayer();
    return 0;
}
