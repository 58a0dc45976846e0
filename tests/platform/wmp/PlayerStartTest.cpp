// The player's start in a fresh process: making the engine does not start
// GStreamer, the first opening (or the player's question whether playbin is
// there) waits for its start, an opening without playbin fails and says so,
// and the preparation at the process start loads the plugins of the usual
// stations but not libav.
//
// Every case runs in a process of its own (a re-executed death-test child),
// so that no other case has started GStreamer before it.

#include "platform/wmp/PlaybinEngine.h"
#include "platform/wmp/Wmp.h"

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
    // The preparation runs on its own thread; its last plugins are the
    // output's. Waiting for them waits for everything before them.
    while (!gst_is_initialized() || !PluginLoaded("autodetect")) {
        if (std::chrono::steady_clock::now() > deadline)
            Finish(false, "the preparation did not load the output's plugins");
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(300ms); // the sinks after it
    for (const char* wanted : {"coreelements", "playback", "typefindfunctions", "mpg123"}) {
        if (PluginInstalled(wanted) && !PluginLoaded(wanted))
            Finish(false, wanted);
    }
    Finish(!PluginLoaded("libav"), "the preparation loaded libav");
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
