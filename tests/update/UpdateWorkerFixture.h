#pragma once

// What the update worker's tests share: a main window in a run folder of its
// own, a server on 127.0.0.1 whose answers the test can hold back, a pump
// that notes the update messages reaching the window, and a watchdog for
// calls that must return.

#include "app/RadioWndFixture.h"
#include "support/LocalHttpServer.h"
#include "update/UpdateWorker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace updatetest {

using namespace apptest;
using namespace std::chrono_literals;
using orvane::test::HttpRequest;
using orvane::test::HttpResponse;
using orvane::test::LocalHttpServer;
namespace fs = std::filesystem;

// Longest wait for anything that should happen at once; only a fault makes a
// test wait this long.
constexpr auto kWatchdog = 10s;

constexpr const char* kCataloguePath = "/update/fmradios.dll";
constexpr const char* kAdsPath = "/update/fmads.dll";

inline std::string Scrambled(std::string text)
{
    auto* data = reinterpret_cast<unsigned char*>(text.data());
    XorScramble(data, static_cast<std::int32_t>(text.size()), data, kFileKey);
    return text;
}

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A catalogue with one region of one station, named after `region`.
inline std::string OneRegionCatalogue(const std::string& region, const std::string& versionElement)
{
    return "<catalogue><city name=\"" + region + "\"><station name=\"" + region +
           "-0\" url=\"http://127.0.0.1:9/s\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles>"
           "</catalogue>" + versionElement;
}

inline const std::string kAdsXml = "<ads><ad t=\"新广告\" l=\"http://127.0.0.1:9/new\"/><ad t=\"第二条\" l=\"#\"/></ads>"
                            "<version>7</version>";

// Names of the files in a folder, sorted, so that a left-over partial
// download shows; none for a missing folder.
inline std::vector<std::string> FilesIn(const fs::path& path)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(path, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs `work` on a thread of its own. When it has not returned within
// `limit` the test fails and the process ends: waiting on would hang it.
inline void FinishWithin(const std::function<void()>& work, std::chrono::milliseconds limit, const char* what)
{
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    std::thread worker([work, finished] {
        work();
        finished->set_value();
    });
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return within %lld ms\n", what, static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }
    worker.join();
}

// Holds the server's answers back until the test opens it, so that nothing
// arrives while the window is still starting and its first messages are
// seen by the test's own pump.
class CGate
{
public:
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    void Wait()
    {
        std::unique_lock lock(mutex);
        opened.wait_for(lock, kWatchdog, [this] { return open; });
    }

private:
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

class UpdateWorker : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        // Nothing may leave the machine through a proxy a developer has set.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
        ::setenv("no_proxy", "*", 1);
        CRadioWndTest::SetUp();
        config = folder / "config";
        cache = folder / "cache";
    }

    void TearDown() override
    {
        StopWorker();
        CRadioWndTest::TearDown();
        gate.Open();
        server.Stop();
        SetUpdateTiming(TUpdateTiming());
    }

    void PointAtServer()
    {
        WriteFile(config / "config.xml",
                  "<config><skin name=\"minLove\" path=\"#\"/><update server=\"" + server.BaseUrl() + "\"/></config>");
    }

    // Short waits, so that a test sees several passes within a second or two.
    static void UseTiming(std::uint32_t roundPause, std::uint32_t stallTimeout = 30000)
    {
        TUpdateTiming timing;
        timing.roundPause = roundPause;
        timing.firstRetry = 10;
        timing.longestRetry = 40;
        timing.connectTimeout = 2000;
        timing.stallTimeout = stallTimeout;
        SetUpdateTiming(timing);
    }

    // Serves `response` at `path` once the gate is open.
    void ServeBehindGate(const std::string& path, HttpResponse response)
    {
        server.AddHandler(path, [this, response](const HttpRequest&) {
            gate.Wait();
            return response;
        });
    }

    static HttpResponse Ok(std::string body)
    {
        HttpResponse response;
        response.body = std::move(body);
        return response;
    }

    // Pumps the window's messages until done() holds, noting every update
    // message that reaches the main window; false on time-out.
    bool PumpNoting(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWatchdog)
    {
        return PumpUntil(done, timeout, [this](const MSG& message) {
            if (message.message == WM_CATALOGUE_REPLACED || message.message == WM_ADS_REPLACED) {
                EXPECT_EQ(message.hwnd, Hwnd());
                EXPECT_EQ(message.wParam, 0u);
                EXPECT_EQ(message.lParam, 0);
                arrived.push_back(message.message);
            }
        });
    }

    void PumpNotingFor(std::chrono::milliseconds duration)
    {
        PumpNoting([] { return false; }, duration);
    }

    int Arrived(UINT message) const
    {
        return static_cast<int>(std::count(arrived.begin(), arrived.end(), message));
    }

    // Ends the window's own worker, behind a watchdog.
    void StopWorker()
    {
        if (window == nullptr || window->updateThread == nullptr)
            return;
        HANDLE thread = window->updateThread;
        window->updateThread = nullptr;
        FinishWithin([thread] { ::StopThread(thread); }, 5s, "StopThread of the update worker");
    }

    // Names of the region options on the category page, in order.
    std::vector<std::string> RegionNames() const
    {
        std::vector<std::string> names;
        std::function<void(CControlUI*)> walk = [&](CControlUI* control) {
            if (control->GetName() == "citys")
                names.emplace_back(control->GetText().GetData());
            for (CControlUI* child : Children(AsContainer(control)))
                walk(child);
        };
        if (window->sortsPanel != nullptr)
            walk(window->sortsPanel);
        return names;
    }

    // Declared before the server, whose handlers wait on it.
    CGate gate;
    LocalHttpServer server;
    std::vector<UINT> arrived;
    fs::path config;
    fs::path cache;
};

} // namespace updatetest
