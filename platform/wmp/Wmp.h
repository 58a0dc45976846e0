#pragma once

// The media-player stand-in: a player object with the members the system
// uses of the desktop media player — URL, controls (play, pause, stop),
// settings (volume), playState and status — and its status-change events
// through a connection point, built on GStreamer's playbin.
//
// URLs: http and https streams, HLS (.m3u8), .pls and .m3u playlists (their
// first stream), local files, file:// URLs, and paths relative to the folder
// of the executable. Audio goes to the desktop's default output; the
// environment variable ORVANE_AUDIO_SINK names another GStreamer sink
// ("fakesink" for tests).
//
// Threads: the player is created on the GUI thread and raises its events
// there, from the GUI thread's main loop. get_playState and stop may also be
// called from another thread while the GUI thread uses the player.
//
// Status texts: while buffering "缓冲: 45%" — the percentage as digits right
// before the first '%'; while playing "播放: 128Kbps" — the bit rate in kbit/s
// as digits two characters after the first ':' (no digits until the stream
// told it); after a failure, why the station cannot be played
// ("无法播放：连接被拒绝"; docs/player-status.md lists them).
//
// Failures: a stream that cannot be played ends in Ready with an Error event;
// the player's error object then holds one item, the failure of the last
// opening, until the next opening starts. Its description is the status text,
// its code a WMPFailure, its condition the HTTP status (0 when there was
// none), and its remedy says whether opening the stream again may mend it.
//
// Stream titles: currentMedia is the media item of what plays; its name, and
// its "Title" item, is the stream's current title (ICY StreamTitle, Vorbis
// comment or ID3 tag, as UTF-8; empty when the stream sent none). A change of
// title raises MediaChange.

#include "platform/com/Com.h"

enum WMPPlayState
{
    wmppsUndefined = 0,
    wmppsStopped = 1,
    wmppsPaused = 2,
    wmppsPlaying = 3,
    wmppsScanForward = 4,
    wmppsScanReverse = 5,
    wmppsBuffering = 6,
    wmppsWaiting = 7,
    wmppsMediaEnded = 8,
    wmppsTransitioning = 9,
    wmppsReady = 10,
    wmppsReconnecting = 11,
};

enum WMPOpenState
{
    wmposUndefined = 0,
    wmposPlaylistOpening = 2,
    wmposMediaOpening = 12,
    wmposMediaOpen = 13,
};

// Why an opening failed: the error item's errorCode.
enum WMPFailure
{
    wmpfNone = 0,
    wmpfHostNotFound = 1,      // the server's name does not resolve
    wmpfConnectionRefused = 2, // nothing listens at the server's port
    wmpfTimedOut = 3,          // no answer from the server in time
    wmpfServerError = 4,       // an HTTP answer of 400 or more (condition: the code)
    wmpfNotAudio = 5,          // the answer is a web page or other text, not a stream
    wmpfUnsupportedFormat = 6, // audio of a format no installed decoder reads
    wmpfNoData = 7,            // the server answered, then sent nothing
    wmpfNetworkDown = 8,       // no route to the server: the machine is offline
    wmpfNoPlayableEntry = 9,   // a playlist none of whose entries plays
    wmpfConnectionLost = 10,   // the stream broke off while it played
    wmpfFileNotFound = 11,     // a local file that is not there
    wmpfFileUnreadable = 12,   // a local file that cannot be read
    wmpfNoAudioOutput = 13,    // the audio output cannot be opened
    wmpfOther = 14,            // anything else; the description says what
};

// The error item's remedy.
enum WMPRemedy
{
    wmpRemedyNone = 0,   // opening the stream again gives the same failure
    wmpRemedyReopen = 1, // the failure may pass: opening again may play
};

extern const CLSID CLSID_WindowsMediaPlayer;   // {6BF52A52-394A-11D3-B153-00C04F79FAA6}
extern const IID IID_IWMPPlayer;               // {6BF52A4F-394A-11D3-B153-00C04F79FAA6}
extern const IID IID_IWMPCore;                 // {D84CCA99-CCE2-11D2-9ECC-0000F8085981}
extern const IID IID_IWMPControls;             // {74C09E02-F828-11D2-A74B-00A0C905F36E}
extern const IID IID_IWMPSettings;             // {9104D1AB-80C9-4FED-ABF0-2E6417A6DF14}
extern const IID IID_IWMPMedia;                // {94D55E95-3FAC-11D3-B155-00C04F79FAA6}
extern const IID IID_IWMPError;                // {A12DCF7D-14AB-4C1B-A8CD-63909F06025B}
extern const IID IID_IWMPErrorItem;            // {3614C646-3B3B-4DE7-A81E-930E3F2127B3}
extern const IID IID_IWMPEvents;               // {19A6627B-DA9E-47C1-BB23-00B5E668236A}
extern const IID DIID__WMPOCXEvents;           // {6BF52A51-394A-11D3-B153-00C04F79FAA6}

// DISPIDs of the event dispatch interface that the player raises.
constexpr DISPID DISPID_WMPCOREEVENT_OPENSTATECHANGE = 5001;
constexpr DISPID DISPID_WMPCOREEVENT_STATUSCHANGE = 5002;
constexpr DISPID DISPID_WMPCOREEVENT_PLAYSTATECHANGE = 5101;
constexpr DISPID DISPID_WMPCOREEVENT_ENDOFSTREAM = 5201;
constexpr DISPID DISPID_WMPCOREEVENT_BUFFERING = 5402;
constexpr DISPID DISPID_WMPCOREEVENT_ERROR = 5501;
constexpr DISPID DISPID_WMPCOREEVENT_MEDIACHANGE = 5802;

struct IWMPControls : IDispatch
{
    virtual HRESULT play() = 0;
    virtual HRESULT pause() = 0;
    virtual HRESULT stop() = 0;
};

struct IWMPSettings : IDispatch
{
    // 0 to 100; values outside are clamped by the player.
    virtual HRESULT get_volume(COM_LONG* volume) = 0;
    virtual HRESULT put_volume(COM_LONG volume) = 0;
};

// A media item: what the player holds, with its attributes by name.
struct IWMPMedia : IDispatch
{
    virtual HRESULT get_sourceURL(BSTR* url) = 0;
    virtual HRESULT get_name(BSTR* name) = 0;
    // "Title" (the stream's title) and "SourceURL"; other names give "".
    virtual HRESULT getItemInfo(BSTR item, BSTR* value) = 0;
};

// One failure: what the player's error object holds.
struct IWMPErrorItem : IDispatch
{
    virtual HRESULT get_errorCode(COM_LONG* code) = 0;          // a WMPFailure
    virtual HRESULT get_errorDescription(BSTR* description) = 0; // the status text of the failure
    virtual HRESULT get_condition(COM_LONG* condition) = 0;      // the HTTP status, or 0
    virtual HRESULT get_remedy(COM_LONG* remedy) = 0;            // a WMPRemedy
};

// The failures of the current opening (none, or one).
struct IWMPError : IDispatch
{
    virtual HRESULT clearErrorQueue() = 0;
    virtual HRESULT get_errorCount(COM_LONG* count) = 0;
    // The caller releases the item; E_INVALIDARG for an index out of range.
    virtual HRESULT get_item(COM_LONG index, IWMPErrorItem** item) = 0;
};

struct IWMPPlayer : IDispatch
{
    virtual HRESULT close() = 0;
    // The caller frees the BSTR with SysFreeString.
    virtual HRESULT get_URL(BSTR* url) = 0;
    virtual HRESULT put_URL(BSTR url) = 0;
    virtual HRESULT get_openState(WMPOpenState* state) = 0;
    virtual HRESULT get_playState(WMPPlayState* state) = 0;
    virtual HRESULT get_controls(IWMPControls** controls) = 0;
    virtual HRESULT get_settings(IWMPSettings** settings) = 0;
    virtual HRESULT get_status(BSTR* status) = 0;
    // A snapshot of the current media item; the caller releases it.
    virtual HRESULT get_currentMedia(IWMPMedia** media) = 0;
    // The caller releases the error object.
    virtual HRESULT get_error(IWMPError** error) = 0;
};

// The event interface a sink implements, in its published order (also
// reachable as the dispatch interface DIID__WMPOCXEvents). Objects the real
// interface passes (media items, playlists) are IDispatch pointers here; the
// player raises OpenStateChange, PlayStateChange, StatusChange, Buffering,
// Error and EndOfStream.
struct IWMPEvents : IUnknown
{
    virtual void OpenStateChange(COM_LONG newState) = 0;
    virtual void PlayStateChange(COM_LONG newState) = 0;
    virtual void AudioLanguageChange(COM_LONG languageId) = 0;
    virtual void StatusChange() = 0;
    virtual void ScriptCommand(BSTR type, BSTR parameter) = 0;
    virtual void NewStream() = 0;
    virtual void Disconnect(COM_LONG result) = 0;
    virtual void Buffering(VARIANT_BOOL start) = 0;
    virtual void Error() = 0;
    virtual void Warning(COM_LONG warningType, COM_LONG parameter, BSTR description) = 0;
    virtual void EndOfStream(COM_LONG result) = 0;
    virtual void PositionChange(double oldPosition, double newPosition) = 0;
    virtual void MarkerHit(COM_LONG markerNumber) = 0;
    virtual void DurationUnitChange(COM_LONG newDurationUnit) = 0;
    virtual void CdromMediaChange(COM_LONG cdromNumber) = 0;
    virtual void PlaylistChange(IDispatch* playlist, COM_LONG change) = 0;
    virtual void CurrentPlaylistChange(COM_LONG change) = 0;
    virtual void CurrentPlaylistItemAvailable(BSTR itemName) = 0;
    virtual void MediaChange(IDispatch* item) = 0;
    virtual void CurrentMediaItemAvailable(BSTR mediaName) = 0;
    virtual void CurrentItemChange(IDispatch* media) = 0;
    virtual void MediaCollectionChange() = 0;
    virtual void MediaCollectionAttributeStringAdded(BSTR attributeName, BSTR attributeValue) = 0;
    virtual void MediaCollectionAttributeStringRemoved(BSTR attributeName, BSTR attributeValue) = 0;
    virtual void MediaCollectionAttributeStringChanged(BSTR attributeName, BSTR oldValue, BSTR newValue) = 0;
    virtual void PlaylistCollectionChange() = 0;
    virtual void PlaylistCollectionPlaylistAdded(BSTR playlistName) = 0;
    virtual void PlaylistCollectionPlaylistRemoved(BSTR playlistName) = 0;
    virtual void PlaylistCollectionPlaylistSetAsDeleted(BSTR playlistName, VARIANT_BOOL isDeleted) = 0;
    virtual void ModeChange(BSTR modeName, VARIANT_BOOL newValue) = 0;
    virtual void MediaError(IDispatch* mediaObject) = 0;
    virtual void OpenPlaylistSwitch(IDispatch* item) = 0;
    virtual void DomainChange(BSTR domain) = 0;
    virtual void SwitchedToPlayerApplication() = 0;
    virtual void SwitchedToControl() = 0;
    virtual void PlayerDockedStateChange() = 0;
    virtual void PlayerReconnect() = 0;
    virtual void Click(std::int16_t button, std::int16_t shiftState, COM_LONG x, COM_LONG y) = 0;
    virtual void DoubleClick(std::int16_t button, std::int16_t shiftState, COM_LONG x, COM_LONG y) = 0;
    virtual void KeyDown(std::int16_t keyCode, std::int16_t shiftState) = 0;
    virtual void KeyPress(std::int16_t keyAscii) = 0;
    virtual void KeyUp(std::int16_t keyCode, std::int16_t shiftState) = 0;
    virtual void MouseDown(std::int16_t button, std::int16_t shiftState, COM_LONG x, COM_LONG y) = 0;
    virtual void MouseMove(std::int16_t button, std::int16_t shiftState, COM_LONG x, COM_LONG y) = 0;
    virtual void MouseUp(std::int16_t button, std::int16_t shiftState, COM_LONG x, COM_LONG y) = 0;

protected:
    ~IWMPEvents() = default;
};

// Starts GStreamer and loads the plugins that playback needs on a thread of
// its own, so that neither the window's start nor the first station choice
// waits for them. Called once at process start; a player made before it is
// done waits only for what it needs itself.
void PreparePlayer();

// Start-up, tests and tools: the base folder of relative paths (the
// executable's folder otherwise), and registration of the player class for
// CoCreateInstance (done automatically when the library is linked).
void SetPlayerBaseFolder(const char* folder);
