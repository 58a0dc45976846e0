// The player's start in a fresh process: making the engine does not start
// GStreamer, the first opening (or the player's question whether playbin is
// there) waits for its start, an opening without playbin fails and says so,
// the preparation at the process start loads the plugins of the usual
// stations but not libav, and finding a station's format loads no libav
// either.
//
// Every case runs in a process of its own (a re-executed death-test child),
// so that no other case has started GStreamer before it.

#include "platform/wmp/PlaybinEngine.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"

#include <gst/base/gsttypefindhelper.h>
#include <gst/gst.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class CPlainOwner final : public IUnknown
{
public:
    HRESULT QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }

private:
    std::atomic<ULONG> references{1};
};

// Ends the child: 0 when `ok`, otherwise 1 after saying why.
[[noreturn]] void Finish(bool ok, const char* why)
{
    if (!ok)
        std::fprintf(stderr, "%s\n", why);
    std::fflush(stderr);
    std::_Exit(ok ? 0 : 1);
}

bool PluginLoaded(const char* name)
{
    GstPlugin* plugin = gst_registry_find_plugin(gst_registry_get(), name);
    if (plugin == nullptr)
        return false;
    const bool loaded = gst_plugin_is_loaded(plugin);
    gst_object_unref(plugin);
    return loaded;
}

bool PluginInstalled(const char* name)
{
    GstPlugin* plugin = gst_registry_find_plugin(gst_registry_get(), name);
    if (plugin != nullptr)
        gst_object_unref(plugin);
    return plugin != nullptr;
}

void MakeEngineWithoutGStreamer()
{
    CPlainOwner owner;
    std::atomic<int> events{0};
    {
        CPlaybinEngine engine(&owner, [&events](const PlayerEvent&) { ++events; });
        if (gst_is_initialized())
            Finish(false, "making the engine started GStreamer");
        if (engine.PlayState() != wmppsUndefined)
            Finish(false, "a new engine is not undefined");
        engine.SetVolume(40); // no GStreamer needed for a setting
        engine.Stop();
        if (gst_is_initialized() || engine.Volume() != 40)
            Finish(false, "a setting or a stop needed GStreamer");
        if (!engine.Usable())
            Finish(false, "no playbin");
        if (!gst_is_initialized())
            Finish(false, "asking for playbin did not start GStreamer");
    }
    Finish(events.load() == 0, "an engine that never opened anything raised events");
}

void OpenStartsGStreamer()
{
    CPlainOwner owner;
    CPlaybinEngine engine(&owner, [](const PlayerEvent&) {});
    // Not a file anyone has: the opening fails at once, but only after it
    // made sure that playbin is there.
    engine.Open("/no/such/folder/tone.mp3");
    if (!gst_is_initialized())
        Finish(false, "the first opening did not start GStreamer");
    const WMPPlayState state = engine.PlayState();
    if (state != wmppsTransitioning && state != wmppsReady)
        Finish(false, "the first opening did not start");
    engine.Stop();
    Finish(engine.PlayState() == wmppsStopped, "the first opening could not be stopped");
}

void WithoutPlaybinOpeningsFail(const std::string& emptyFolder)
{
    // GStreamer finds no plugin at all, so no playbin either.
    setenv("GST_PLUGIN_SYSTEM_PATH_1_0", emptyFolder.c_str(), 1);
    setenv("GST_PLUGIN_SYSTEM_PATH", emptyFolder.c_str(), 1);
    setenv("GST_PLUGIN_PATH_1_0", emptyFolder.c_str(), 1);
    setenv("GST_PLUGIN_PATH", emptyFolder.c_str(), 1);
    setenv("GST_REGISTRY_1_0", (emptyFolder + "/registry.bin").c_str(), 1);
    setenv("GST_REGISTRY", (emptyFolder + "/registry.bin").c_str(), 1);
    CPlainOwner owner;
    std::atomic<int> errors{0};
    CPlaybinEngine engine(&owner, [&errors](const PlayerEvent& event) {
        if (event.kind == PlayerEventKind::Error)
            ++errors;
    });
    engine.Open("http://127.0.0.1:9/live.mp3");
    if (engine.PlayState() != wmppsReady || errors.load() != 1)
        Finish(false, "an opening without playbin did not fail");
    Finish(engine.Status().find("playbin") != std::string::npos, engine.Status().c_str());
}

void PreparationLeavesLibavOut()
{
    PreparePlayer();
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    // The preparation runs on its own thread: wait for it to load each.
    for (const char* wanted : {"coreelements", "playback", "typefindfunctions", "subparse", "mpg123", "autodetect"}) {
        while (!gst_is_initialized() || (PluginInstalled(wanted) && !PluginLoaded(wanted))) {
            if (std::chrono::steady_clock::now() > deadline)
                Finish(false, wanted);
            std::this_thread::sleep_for(10ms);
        }
    }
    std::this_thread::sleep_for(300ms); // the rest of the preparation
    Finish(!PluginLoaded("libav"), "the preparation loaded libav");
}

// A listener joins a live MP3 stream anywhere in a frame, so no type finder
// is sure of it, and every one installed is asked.
void FormatFoundWithoutLibav()
{
    const std::string mp3 = orvane::test::MakeMp3(2.0, 128);
    if (mp3.size() < 20000)
        Finish(false, "no MP3 to look at");
    CPlainOwner owner;
    CPlaybinEngine engine(&owner, [](const PlayerEvent&) {});
    if (!engine.Usable())
        Finish(false, "no playbin");
    const std::string joined = mp3.substr(1000, 14000);
    GstTypeFindProbability probability = GST_TYPE_FIND_NONE;
    GstCaps* caps = gst_type_find_helper_for_data(
        nullptr, reinterpret_cast<const guint8*>(joined.data()), joined.size(), &probability);
    if (caps == nullptr)
        Finish(false, "the stream's format was not found");
    const std::string found = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    gst_caps_unref(caps);
    if (found != "audio/mpeg" || probability >= GST_TYPE_FIND_MAXIMUM)
        Finish(false, ("found " + found + ", or with a certainty that asks no more type finders").c_str());
    if (PluginInstalled("libav")) {
        GstPluginFeature* decoder = gst_registry_lookup_feature(gst_registry_get(), "avdec_mp3");
        if (decoder == nullptr)
            Finish(false, "libav's decoders went with its type finders");
        gst_object_unref(decoder);
    }
    Finish(!PluginLoaded("libav"), "finding the format loaded libav");
}

} // namespace

class PlayerStart : public ::testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(PlayerStart, EngineIsMadeWithoutStartingGStreamer)
{
    EXPECT_EXIT(MakeEngineWithoutGStreamer(), ::testing::ExitedWithCode(0), "");
}

TEST_F(PlayerStart, FirstOpeningStartsGStreamerItself)
{
    EXPECT_EXIT(OpenStartsGStreamer(), ::testing::ExitedWithCode(0), "");
}

TEST_F(PlayerStart, WithoutPlaybinEveryOpeningFailsAndSaysSo)
{
    const std::filesystem::path folder =
        std::filesystem::path(::testing::TempDir()) / ("no-plugins-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    EXPECT_EXIT(WithoutPlaybinOpeningsFail(folder.string()), ::testing::ExitedWithCode(0), "");
    std::filesystem::remove_all(folder);
}

TEST_F(PlayerStart, PreparationLoadsTheUsualPluginsButNotLibav)
{
    EXPECT_EXIT(PreparationLeavesLibavOut(), ::testing::ExitedWithCode(0), "");
}

TEST_F(PlayerStart, FindingAStationsFormatLoadsNoLibav)
{
    EXPECT_EXIT(FormatFoundWithoutLibav(), ::testing::ExitedWithCode(0), "");
}
