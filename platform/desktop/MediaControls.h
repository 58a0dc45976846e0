#pragma once

// Media controls of the desktop: the player seen on the session bus through
// the MPRIS2 interfaces (org.mpris.MediaPlayer2 and its .Player), so media
// keys, the desktop's sound menu, phones and headsets can drive it.
//
// The owner hands in what each request does and tells the controls what the
// player is doing; every change it reports goes out as a PropertiesChanged
// signal. Requests arrive on the GUI thread from its event loop. No Qt here:
// the D-Bus side lives in the .cpp.

#include <functional>
#include <memory>
#include <string>

// The name on the bus is "org.mpris.MediaPlayer2." followed by this.
constexpr const char* kMediaPlayerBusSuffix = "orvane_radio";
// The program's name as the desktop shows it, and its desktop entry's id.
constexpr const char* kMediaPlayerIdentity = "Orvane网络收音机";
constexpr const char* kDesktopEntryId = "org.orvane.Radio";

// Tells the desktop which entry the program's windows belong to (the app id
// a Wayland compositor matches), so its task bar shows the entry's name and
// icon. Call once the process's Qt application exists.
void DeclareDesktopEntry();

enum class MediaPlaybackStatus
{
    Stopped,
    Playing,
    Paused,
};

struct TMediaState
{
    MediaPlaybackStatus status = MediaPlaybackStatus::Stopped;
    std::string stationName;  // the track's title; empty when no station is chosen
    std::string stationUrl;
    std::string streamTitle;  // what the station says it plays; empty when unknown
    int volume = 0;           // 0..100, as the volume slider
};

// What the requests of the desktop do. Unset ones do nothing.
struct TMediaActions
{
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> playPause;
    std::function<void()> stop;
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void(int volume)> setVolume;  // 0..100
    std::function<void()> raise;
    std::function<void()> quit;
};

class CMediaControls
{
public:
    // Puts the player on the session bus. Null when there is no session bus
    // or the name is held by another process: the program then runs without
    // media controls.
    static std::unique_ptr<CMediaControls> Connect(TMediaActions actions, const TMediaState& initial);
    ~CMediaControls();

    CMediaControls(const CMediaControls&) = delete;
    CMediaControls& operator=(const CMediaControls&) = delete;

    // Takes the player's present state; what changed is signalled.
    void Update(const TMediaState& state);
    const TMediaState& State() const;

    struct TPrivate;

private:
    CMediaControls();
    std::unique_ptr<TPrivate> d;
};
