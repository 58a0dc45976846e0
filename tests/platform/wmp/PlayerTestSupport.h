#pragma once

// What the player tests share: audio made at run time, a recording event
// sink, a player made through CoCreateInstance, and waiting on the GLib main
// context (the GUI thread's loop) with a watchdog.

#include "platform/wmp/Wmp.h"
#include "platform/wmp/WmpEventsBase.h"
#include "support/LocalHttpServer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::test {

// Runs the default main context until `done` holds or `timeout` passed;
// returns whether `done` held.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// Runs the default main context for `duration`.
void PumpFor(std::chrono::milliseconds duration);

// A CBR MP3 of a sine tone: `seconds` long at `kbps` kbit/s, made with
// GStreamer's own encoder. Throws std::runtime_error when that fails.
std::string MakeMp3(double seconds, int kbps);
// Serves `mp3` at `path` as an endless live stream, over and over, in pieces
// at 128 kbit/s (the rate the tests' tones play at).
void AddLiveMp3Route(LocalHttpServer& server, const std::string& path, const std::string& mp3);
// Chained Ogg Vorbis: `links` logical streams of `seconds` each, one after
// the other in one file, the way a station starts a new stream per song.
std::string MakeChainedOgg(int links, double seconds);
// An HLS presentation of an MP3 tone in MPEG-TS segments of about a second,
// ended (#EXT-X-ENDLIST); written into `folder` as index.m3u8 and
// seg00000.ts ... Returns the file names, the playlist first.
std::vector<std::string> MakeHls(const std::string& folder, double seconds);
// Runs a gst-launch style description until its end; throws
// std::runtime_error on an error or after 30 s.
void RunPipeline(const std::string& description);
// A fresh folder under the system's temporary folder, removed by the caller.
std::string MakeTemporaryFolder();
void RemoveFolder(const std::string& folder);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// One event as a sink received it, with the player's state at that moment.
struct RecordedEvent
{
    std::string name; // "PlayStateChange", "StatusChange", ...
    long value = 0;
    std::thread::id thread;
};

// An IWMPEvents sink (and, through QueryInterface, an IDispatch sink of
// _WMPOCXEvents) that records what it receives. Reference counted; starts
// with one reference held by its maker.
class CRecordingSink final : public CWMPEventsBase, public IDispatch
{
public:
    enum class Answers
    {
        Both,         // IWMPEvents and IDispatch
        DispatchOnly, // IDispatch and _WMPOCXEvents only
    };
    explicit CRecordingSink(Answers answers = Answers::Both);

    std::vector<RecordedEvent> Events() const;
    // The play states of PlayStateChange events, in order.
    std::vector<long> PlayStates() const;
    std::size_t Count(const std::string& name) const;
    ULONG References() const { return references; }
    // Called with each event, on the thread that delivered it.
    std::function<void(const RecordedEvent&)> onEvent;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return ++references; }
    ULONG Release() override;

    HRESULT GetTypeInfoCount(unsigned int* count) override;
    HRESULT GetTypeInfo(unsigned int, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, OLECHAR**, unsigned int, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID member, REFIID iid, LCID locale, std::uint16_t flags, DISPPARAMS* parameters,
                   VARIANT* result, EXCEPINFO* exception, unsigned int* argumentError) override;

    void OpenStateChange(COM_LONG newState) override { Record("OpenStateChange", newState); }
    void PlayStateChange(COM_LONG newState) override { Record("PlayStateChange", newState); }
    void StatusChange() override { Record("StatusChange", 0); }
    void Buffering(VARIANT_BOOL start) override { Record("Buffering", start); }
    void Error() override { Record("Error", 0); }
    void EndOfStream(COM_LONG result) override { Record("EndOfStream", result); }
    void MediaChange(IDispatch*) override { Record("MediaChange", 0); }

private:
    void Record(const char* name, long value);

    Answers answers;
    std::atomic<ULONG> references{1};
    mutable std::mutex mutex;
    std::vector<RecordedEvent> events;
};

// A player made the way the system makes one, with its controls and
// settings, and a recording sink advised on IWMPEvents (or on the dispatch
// interface). Everything is released at the end of the test.
class PlayerFixture
{
public:
    enum class Connection
    {
        Events,
        Dispatch,
    };
    explicit PlayerFixture(Connection connection = Connection::Events);
    ~PlayerFixture();

    IWMPPlayer* player = nullptr;
    IWMPControls* controls = nullptr;
    IWMPSettings* settings = nullptr;
    CRecordingSink* sink = nullptr;

    void Open(const std::string& url);
    WMPPlayState State() const;
    std::string Status() const;
    std::string Url() const;
    // True when the play state is `state` and its PlayStateChange has been
    // delivered to the sink.
    bool Reached(WMPPlayState state) const;
    // Pumps until Reached(state); false after `timeout`.
    bool WaitForState(WMPPlayState state, std::chrono::milliseconds timeout);
    // Pumps until the state is one of `states`.
    bool WaitForAnyState(std::initializer_list<WMPPlayState> states, std::chrono::milliseconds timeout);
    // Pumps until the event queue ran dry (a short quiet spell).
    void Settle();

private:
    IConnectionPoint* point = nullptr;
    std::uint32_t cookie = 0;
};

} // namespace orvane::test
