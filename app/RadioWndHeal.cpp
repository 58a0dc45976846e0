// A station that moved: when the chosen station will not be opened again by
// itself (its automatic reopenings spent, or a failure none can mend), the
// station directory is asked for a working station of the same name playing
// from another address; the now-playing card then offers it in place of the
// title line. Nothing changes until the user clicks the offer, which plays
// the new address as a choice does and, for one of the user's own stations,
// keeps it. GUI thread only; the lookup itself runs on the directory's worker.

#include "app/RadioWnd.h"
#include "catalogue/StationImport.h"

namespace {

// The card's offer and the row that holds it; the title line gives way to it.
const char* const kMovedOfferButton = "healbtn";
const char* const kMovedOfferRow = "healrow";
const char* const kMovedOfferText = "找到新的电台地址，点击收听";

} // namespace

void CRadioWnd::LookUpMovedStation()
{
    // One lookup per choice: each status change of a station that stays
    // stopped comes here again.
    if (movedLookupMade || directory == nullptr || currentStationName.IsEmpty() || currentStationUrl.IsEmpty())
        return;
    movedLookupMade = true;
    movedLookupName = currentStationName;
    movedLookupUrl = currentStationUrl;
    movedLookupSerial = directory->FindMovedStation(movedLookupName.GetData(), movedLookupUrl.GetData());
}

void CRadioWnd::OnMovedStationFound(const TDirectoryResult& result)
{
    // An answer for a lookup the user has left behind (another station
    // chosen, "play" or "pause" pressed since) says nothing about the
    // station chosen now.
    if (result.serial == 0 || result.serial != movedLookupSerial)
        return;
    movedLookupSerial = 0;
    if (movedLookupName != currentStationName || movedLookupUrl != currentStationUrl)
        return;
    // No directory server answered, or it knows no other working address:
    // the failure on the status line is all there is to say.
    if (result.status != EDirectoryStatus::Ok || !result.found)
        return;
    const std::string& address = result.moved.StreamAddress();
    // The directory's data is outside data: only a stream on a server is
    // offered, never a local file or another scheme.
    if (address == currentStationUrl.GetData() || !IsStationAddress(address, nullptr))
        return;

    CControlUI* button = paintManager.FindControl(kMovedOfferButton);
    if (button == nullptr)
        return;
    movedStation = result.moved;
    movedOfferShown = true;
    button->SetText(kMovedOfferText);
    button->SetToolTip(address.c_str());
    button->SetVisible(true);
    if (CControlUI* row = paintManager.FindControl(kMovedOfferRow))
        row->SetVisible(true);
    if (fmTitle != nullptr)
        fmTitle->SetVisible(false);
}

void CRadioWnd::TakeMovedStation()
{
    if (!movedOfferShown)
        return;
    // Copied: the choice below drops the offer and what it held.
    const TDirectoryStation station = movedStation;
    const std::string name = movedLookupName.GetData();
    const std::string oldUrl = movedLookupUrl.GetData();
    const std::string newUrl = station.StreamAddress();
    DropMovedStationOffer();

    // One of the user's own stations keeps the address it now plays from.
    // When the list has the new address already, the entry stays as it is.
    const int index = myStations.Find(oldUrl);
    if (index >= 0 && myStations.SetMovedAddress(index, newUrl, station.uuid))
        MyStationsChanged();

    // The usual road of a choice, as a double-click on the station does.
    CControlUI stand;
    stand.SetText(name.c_str());
    stand.SetUserData(newUrl.c_str());
    ChooseStation(&stand);
    UpdateFavouriteToggle();
    RememberStation();
    PublishMediaState();
    if (directory != nullptr && !station.uuid.empty())
        directory->CountClick(station.uuid);
}

void CRadioWnd::DropMovedStationOffer()
{
    movedLookupSerial = 0;
    movedLookupMade = false;
    if (!movedOfferShown)
        return;
    movedOfferShown = false;
    movedStation = TDirectoryStation();
    if (CControlUI* button = paintManager.FindControl(kMovedOfferButton))
        button->SetVisible(false);
    if (CControlUI* row = paintManager.FindControl(kMovedOfferRow))
        row->SetVisible(false);
    if (fmTitle != nullptr)
        fmTitle->SetVisible(true);
}
