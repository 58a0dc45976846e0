// What the desktop around the main window reaches: the keys of the main
// window, the media controls on the session bus, and coming to the front
// when the program is started a second time. Every request goes through the
// same actions as the window's own buttons.

#include "app/RadioWnd.h"

#include "platform/desktop/MediaControls.h"
#include "platform/wmp/Wmp.h"

#include <algorithm>

namespace {

// Slider units of one Ctrl+Up or Ctrl+Down.
constexpr int kVolumeKeyStep = 5;
constexpr int kMaxVolume = 100;

bool IsSounding(std::int32_t playState)
{
    return playState == wmppsPlaying || playState == wmppsBuffering || playState == wmppsTransitioning;
}

} // namespace

bool CRadioWnd::HandlePlayerKey(WPARAM key)
{
    // The filter also sees the keys of the dialogs over the window; while
    // one of them runs modally the window is disabled and its keys rest.
    if (!::IsWindowEnabled(hWnd))
        return false;
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    if (key == VK_SPACE && !control) {
        PlayOrPause();
        return true;
    }
    if (!control)
        return false;
    switch (key) {
    case VK_LEFT:
        SelectPreviousStation();
        return true;
    case VK_RIGHT:
        SelectNextStation();
        return true;
    case VK_UP:
    case VK_DOWN:
        if (volumeSlider == nullptr)
            return false;
        SetVolumeLevel(volumeSlider->GetValue() + (key == VK_UP ? kVolumeKeyStep : -kVolumeKeyStep));
        return true;
    default:
        return false;
    }
}

void CRadioWnd::PlayOrPause()
{
    // As the button the window shows: "pause" while a stream sounds or
    // connects, "play" otherwise.
    if (IsSounding(playState))
        StopPlayback();
    else
        ResumePlayback();
}

void CRadioWnd::SetVolumeLevel(int volume)
{
    if (volumeSlider == nullptr)
        return;
    volumeSlider->SetValue(std::clamp(volume, 0, kMaxVolume));
    ApplyVolume(volumeSlider);
    ScheduleVolumeSave();
    PublishMediaState();
}

void CRadioWnd::BringToFront()
{
    // As a left click on the notification-area icon.
    OnTrayIcon(kTrayIconId, WM_LBUTTONDOWN);
}

void CRadioWnd::ConnectMediaControls()
{
    TMediaActions actions;
    actions.play = [this] { ResumePlayback(); };
    actions.pause = [this] { StopPlayback(); };
    actions.playPause = [this] { PlayOrPause(); };
    actions.stop = [this] { StopPlayback(); };
    actions.next = [this] { SelectNextStation(); };
    actions.previous = [this] { SelectPreviousStation(); };
    actions.setVolume = [this](int volume) { SetVolumeLevel(volume); };
    actions.raise = [this] { BringToFront(); };
    actions.quit = [this] { Quit(); };
    mediaControls = CMediaControls::Connect(std::move(actions), TMediaState());
    PublishMediaState();
}

void CRadioWnd::PublishMediaState()
{
    if (!mediaControls)
        return;
    TMediaState state;
    if (playState == wmppsPaused)
        state.status = MediaPlaybackStatus::Paused;
    else if (IsSounding(playState))
        state.status = MediaPlaybackStatus::Playing;
    state.stationName = currentStationName.GetData();
    state.stationUrl = currentStationUrl.GetData();
    if (fmTitle != nullptr)
        state.streamTitle = fmTitle->GetText().GetData();
    state.volume = volumeSlider != nullptr ? volumeSlider->GetValue() : 0;
    mediaControls->Update(state);
}
