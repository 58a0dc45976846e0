#include "platform/wmp/PlayerTestSupport.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace orvane::test {

namespace {

// A live stream is sent in pieces of this many bytes with this pause in
// between: 4000 bytes every 250 ms is 128 kbit/s.
constexpr std::size_t kLivePieceBytes = 4000;
constexpr std::chrono::milliseconds kLivePiecePause{250};

} // namespace

void AddLiveMp3Route(LocalHttpServer& server, const std::string& path, const std::string& mp3)
{
    server.AddStreamingRoute(
        path, "audio/mpeg",
        [mp3](std::size_t index) {
            const std::size_t offset = (index * kLivePieceBytes) % mp3.size();
            std::string piece = mp3.substr(offset, kLivePieceBytes);
            if (piece.size() < kLivePieceBytes)
                piece += mp3.substr(0, kLivePieceBytes - piece.size());
            return piece;
        },
        kLivePiecePause);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void PumpFor(std::chrono::milliseconds duration)
{
    PumpUntil([] { return false; }, duration);
}

std::string MakeTemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-wmp-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("no temporary folder");
    return pattern;
}

void RemoveFolder(const std::string& folder)
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void RunPipeline(const std::string& description)
{
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (pipeline == nullptr || error != nullptr) {
        if (error != nullptr)
            g_error_free(error);
        if (pipeline != nullptr)
            gst_object_unref(pipeline);
        throw std::runtime_error("cannot build the pipeline " + description);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    // Watchdog: encoding a few seconds takes well under a second.
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                                     static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message != nullptr)
        gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (!ok)
        throw std::runtime_error("the pipeline failed: " + description);
}

namespace {

// A tone source of `seconds` in buffers of one MP3 frame (1152 samples at
// 44.1 kHz), so that lengths come out as asked.
std::string ToneSource(double seconds, int frequency)
{
    const int buffers = static_cast<int>(seconds * 44100 / 1152) + 1;
    return "audiotestsrc num-buffers=" + std::to_string(buffers) + " samplesperbuffer=1152 freq=" +
           std::to_string(frequency) + " ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! ";
}

} // namespace

std::string MakeMp3(double seconds, int kbps)
{
    const std::string folder = MakeTemporaryFolder();
    const std::string path = folder + "/tone.mp3";
    RunPipeline(ToneSource(seconds, 440) + "lamemp3enc target=bitrate cbr=true bitrate=" + std::to_string(kbps) +
                " ! filesink location=" + path);
    std::string bytes = ReadFile(path);
    RemoveFolder(folder);
    return bytes;
}

std::string MakeChainedOgg(int links, double seconds)
{
    const std::string folder = MakeTemporaryFolder();
    std::string bytes;
    for (int link = 0; link < links; ++link) {
        const std::string path = folder + "/link" + std::to_string(link) + ".ogg";
        // oggmux picks a random serial number per run, so each link is a
        // logical stream of its own, as a new song's must be.
        RunPipeline(ToneSource(seconds, 440 + 110 * link) + "vorbisenc ! oggmux ! filesink location=" + path);
        bytes += ReadFile(path);
    }
    RemoveFolder(folder);
    return bytes;
}

std::vector<std::string> MakeHls(const std::string& folder, double seconds)
{
    RunPipeline(ToneSource(seconds, 440) +
                "lamemp3enc target=bitrate cbr=true bitrate=128 ! mpegaudioparse ! hlssink2 location=" + folder +
                "/seg%05d.ts playlist-location=" + folder +
                "/index.m3u8 target-duration=1 playlist-length=0 max-files=0");
    std::vector<std::string> names = {"index.m3u8"};
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".ts") == 0)
            names.push_back(name);
    }
    std::sort(names.begin() + 1, names.end());
    return names;
}

// ------------------------------------------------------------------- sink

CRecordingSink::CRecordingSink(Answers answers) : answers(answers) {}

std::vector<RecordedEvent> CRecordingSink::Events() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return events;
}

std::vector<long> CRecordingSink::PlayStates() const
{
    std::vector<long> states;
    for (const RecordedEvent& event : Events())
        if (event.name == "PlayStateChange")
            states.push_back(event.value);
    return states;
}

std::size_t CRecordingSink::Count(const std::string& name) const
{
    std::size_t count = 0;
    for (const RecordedEvent& event : Events())
        if (event.name == name)
            ++count;
    return count;
}

HRESULT CRecordingSink::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(iid, IID_IWMPEvents) && answers == Answers::Both)
        *object = static_cast<IWMPEvents*>(this);
    else if (IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, DIID__WMPOCXEvents))
        *object = static_cast<IDispatch*>(this);
    else if (IsEqualGUID(iid, IID_IUnknown))
        *object = static_cast<IWMPEvents*>(this);
    if (*object == nullptr)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CRecordingSink::Release()
{
    const ULONG left = --references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CRecordingSink::GetTypeInfoCount(unsigned int* count)
{
    *count = 0;
    return S_OK;
}

HRESULT CRecordingSink::Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* parameters, VARIANT*,
                               EXCEPINFO*, unsigned int*)
{
    if (parameters == nullptr)
        return E_POINTER;
    const long first = parameters->cArgs > 0 ? (parameters->rgvarg[0].vt == VT_BOOL ? parameters->rgvarg[0].boolVal
                                                                                   : parameters->rgvarg[0].lVal)
                                             : 0;
    switch (member) {
    case DISPID_WMPCOREEVENT_OPENSTATECHANGE:
        Record("OpenStateChange", first);
        break;
    case DISPID_WMPCOREEVENT_PLAYSTATECHANGE:
        Record("PlayStateChange", first);
        break;
    case DISPID_WMPCOREEVENT_STATUSCHANGE:
        Record("StatusChange", 0);
        break;
    case DISPID_WMPCOREEVENT_BUFFERING:
        Record("Buffering", first);
        break;
    case DISPID_WMPCOREEVENT_ERROR:
        Record("Error", 0);
        break;
    case DISPID_WMPCOREEVENT_MEDIACHANGE:
        Record("MediaChange", 0);
        break;
    case DISPID_WMPCOREEVENT_ENDOFSTREAM:
        Record("EndOfStream", first);
        break;
    default:
        Record("Unknown", member);
        break;
    }
    return DISP_E_MEMBERNOTFOUND;
}

void CRecordingSink::Record(const char* name, long value)
{
    RecordedEvent event{name, value, std::this_thread::get_id()};
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
    if (onEvent)
        onEvent(event);
}

// ---------------------------------------------------------------- fixture

PlayerFixture::PlayerFixture(Connection connection)
{
    CoInitialize(nullptr);
    if (FAILED(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                                reinterpret_cast<void**>(&player))))
        throw std::runtime_error("no player");
    player->get_controls(&controls);
    player->get_settings(&settings);
    sink = new CRecordingSink(connection == Connection::Events ? CRecordingSink::Answers::Both
                                                               : CRecordingSink::Answers::DispatchOnly);
    IConnectionPointContainer* container = nullptr;
    player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    container->FindConnectionPoint(connection == Connection::Events ? IID_IWMPEvents : DIID__WMPOCXEvents, &point);
    container->Release();
    if (FAILED(point->Advise(static_cast<IWMPEvents*>(sink), &cookie)))
        throw std::runtime_error("no advise");
}

PlayerFixture::~PlayerFixture()
{
    if (controls != nullptr)
        controls->stop();
    if (point != nullptr) {
        point->Unadvise(cookie);
        point->Release();
    }
    if (settings != nullptr)
        settings->Release();
    if (controls != nullptr)
        controls->Release();
    if (player != nullptr)
        player->Release();
    // Let queued deliveries and workers drop their references.
    PumpFor(std::chrono::milliseconds(50));
    if (sink != nullptr)
        sink->Release();
    CoUninitialize();
}

void PlayerFixture::Open(const std::string& url)
{
    BSTR text = Utf8ToBstr(url.c_str());
    player->put_URL(text);
    SysFreeString(text);
}

WMPPlayState PlayerFixture::State() const
{
    WMPPlayState state = wmppsUndefined;
    player->get_playState(&state);
    return state;
}

std::string PlayerFixture::Status() const
{
    BSTR text = nullptr;
    player->get_status(&text);
    std::string status = BstrToUtf8(text);
    SysFreeString(text);
    return status;
}

std::string PlayerFixture::Url() const
{
    BSTR text = nullptr;
    player->get_URL(&text);
    std::string url = BstrToUtf8(text);
    SysFreeString(text);
    return url;
}

bool PlayerFixture::Reached(WMPPlayState state) const
{
    if (State() != state)
        return false;
    // The player's state changes at once; its event follows through the
    // main loop. Both must have arrived, so that a test that goes on to
    // count events does not count the one still on its way.
    const std::vector<long> delivered = sink->PlayStates();
    return delivered.empty() ? state == wmppsUndefined : delivered.back() == state;
}

bool PlayerFixture::WaitForState(WMPPlayState state, std::chrono::milliseconds timeout)
{
    return PumpUntil([&] { return Reached(state); }, timeout);
}

bool PlayerFixture::WaitForAnyState(std::initializer_list<WMPPlayState> states, std::chrono::milliseconds timeout)
{
    return PumpUntil(
        [&] {
            for (const WMPPlayState state : states)
                if (Reached(state))
                    return true;
            return false;
        },
        timeout);
}

void PlayerFixture::Settle()
{
    PumpFor(std::chrono::milliseconds(100));
}

} // namespace orvane::test
