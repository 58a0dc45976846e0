// The player's start in a fresh process: making an engine does not start
// GStreamer (the window makes its player before the first paint), the first
// call that needs GStreamer waits for its start, and the preparation at the
// process start loads the plugins of the usual stations but not libav.
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
#include <thread>

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
        if (gst_is_initialized() || engine.Volume() != 40)
            Finish(false, "the volume needed GStreamer or was lost");
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

TEST_F(PlayerStart, PreparationLoadsTheUsualPluginsButNotLibav)
{
    EXPECT_EXIT(PreparationLeavesLibavOut(), ::testing::ExitedWithCode(0), "");
}
