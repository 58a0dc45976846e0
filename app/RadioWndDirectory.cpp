// The main window's side of the station directory: its client, and the
// results its worker posts back.
#include "app/RadioWnd.h"

void CRadioWnd::StartDirectory()
{
    directory = std::make_unique<CDirectoryClient>(DirectoryConfigurationFromSettings(settingsDoc.get()),
                                                   DirectoryNotifyWindow(hWnd));
}

void CRadioWnd::OnDirectoryResult(unsigned serial)
{
    // Null for a result already taken, or one a newer page request replaced.
    std::unique_ptr<TDirectoryResult> result = directory != nullptr ? directory->TakeResult(serial) : nullptr;
    if (result == nullptr)
        return;
    switch (result->request) {
    case EDirectoryRequest::CountClick:
        // Counted or not, there is nothing to show: the click count is the
        // directory's, not the user's.
        break;
    case EDirectoryRequest::Search:
    case EDirectoryRequest::Browse:
    case EDirectoryRequest::Refresh:
        break;
    case EDirectoryRequest::FindMovedStation:
        OnMovedStationFound(*result);
        break;
    }
}
