// The stall watchdog and the end of a failed opening: an opening or a
// buffering stream that gets no data for the stall time fails; a failure
// hands a playlist's next entry its turn, or asks the server why (the
// connection probe), or ends the opening in Ready with the words that
// PlaybackFailure gives it. Every failure of an opening ends here.
//
// Threads: the GUI thread (the watchdog's timeout source and the probe's
// answer on the default main context), with pipelineMutex held.

#include "platform/wmp/PlaybinEngine.h"

#include "platform/wmp/PlaybinSession.h"

#include <gst/gst.h>

using namespace playbin;

namespace {

// Milliseconds between two looks of the stall watchdog.
constexpr guint kWatchdogTickMilliseconds = 500;
// Default milliseconds without data, while connecting or buffering, before a
// stream counts as failed.
constexpr std::int64_t kDefaultStallMilliseconds = 15000;
std::atomic<std::int64_t> stallMilliseconds{kDefaultStallMilliseconds};

// Seconds each step of the connection probe waits for the server.
constexpr std::chrono::seconds kProbeTimeout{3};

} // namespace

void CPlaybinEngine::SetStallTimeout(std::chrono::milliseconds timeout)
{
    stallMilliseconds = timeout.count() > 0 ? timeout.count() : kDefaultStallMilliseconds;
}

std::chrono::milliseconds CPlaybinEngine::StallTimeout()
{
    return std::chrono::milliseconds(stallMilliseconds.load());
}

void CPlaybinEngine::FailLocked(const PlaybackFailure& cause)
{
    PlaybackFailure final = cause;
    std::string next;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (session != nullptr && session->active && !session->entries.empty() && !session->played) {
            // A playlist's entry that never played hands over to the next;
            // when none is left, none of them plays.
            if (session->entryIndex + 1 < session->entries.size())
                next = session->entries[++session->entryIndex];
            else
                final = PlaybackFailure{wmpfNoPlayableEntry, 0, "", "", ""};
        }
    }
    if (!next.empty()) {
        StartEntryLocked(next);
        return;
    }
    TeardownLocked();
    std::lock_guard<std::mutex> lock(stateMutex);
    failure = final;
    queue(PlayerEvent{PlayerEventKind::Error});
    ChangeOpenStateLocked(wmposUndefined);
    ChangeLocked(wmppsReady, FailureText(final));
}

FailureContext CPlaybinEngine::ContextLocked() const
{
    FailureContext context;
    if (session == nullptr)
        return context;
    context.network = session->network;
    context.answered = session->link->answer.load() != Link::kAnswerUnknown;
    context.delivered = session->link->delivered.load();
    context.missingPlugin = session->missingPlugin;
    return context;
}

void CPlaybinEngine::StartProbeLocked(ProbeKind kind)
{
    const std::uint64_t id = session->id;
    session->probe = std::make_unique<CConnectionProbe>(session->uri, kind, kProbeTimeout,
                                                        [this, id](const ProbeAnswer& answer) {
                                                            HandleProbeAnswer(id, FailureOfProbe(answer));
                                                        });
}

void CPlaybinEngine::HandleProbeAnswer(std::uint64_t sessionId, const PlaybackFailure& answer)
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (!SessionIs(sessionId))
            return;
    }
    FailLocked(answer);
}

// ------------------------------------------------------------ stall watchdog

void CPlaybinEngine::EnsureWatchdog()
{
    if (watchdog != nullptr || std::this_thread::get_id() != guiThread)
        return;
    watchdog = g_timeout_source_new(kWatchdogTickMilliseconds);
    g_source_set_callback(watchdog, &OnWatchdogTick, this, nullptr);
    g_source_attach(watchdog, nullptr);
    g_source_unref(watchdog); // the context holds it until it is removed
}

int CPlaybinEngine::OnWatchdogTick(void* self)
{
    auto* engine = static_cast<CPlaybinEngine*>(self);
    engine->HandleWatchdogTick();
    if (engine->watchdog == nullptr)
        return G_SOURCE_REMOVE;
    return G_SOURCE_CONTINUE;
}

void CPlaybinEngine::HandleWatchdogTick()
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    std::unique_lock<std::mutex> lock(stateMutex);
    if (session == nullptr || !session->active) {
        watchdog = nullptr; // removed by the tick's return; the next session makes a new one
        return;
    }
    if (session->probe != nullptr)
        return; // the opening has failed: the probe's answer says why
    CheckUnderrunLocked(lock);
    const WMPPlayState state = PlayState();
    if (state != wmppsTransitioning && state != wmppsBuffering)
        return;
    const std::int64_t quietMicroseconds = Now() - session->link->lastProgress.load();
    if (quietMicroseconds < stallMilliseconds.load() * 1000)
        return;
    const FailureContext context = ContextLocked();
    if (StallNeedsProbe(context)) {
        StartProbeLocked(ProbeKind::AskHeaders);
        return;
    }
    lock.unlock();
    FailLocked(FailureOfStall(context));
}
