#pragma once

// Continuous audio, as a benchmark tells it from the buffers a sink renders:
// once buffers have been rendered for kContinuousSpell with no gap longer
// than kRenderGap between two of them, the first of them is the start of
// continuous audio. CRenderWatch follows the fakesinks of this process
// through their "handoff" signal (the sink needs signal-handoffs=true; it is
// emitted after the sink's clock wait, when the buffer is rendered).

#include <gst/gst.h>

#include <chrono>
#include <mutex>

namespace orvane::bench {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

// Rendering on end for this long counts as continuous audio.
constexpr std::chrono::milliseconds kContinuousSpell = 1s;
// A longer wait between two rendered buffers is a pause of the audio (the
// buffers of radio streams last about 20 to 30 ms).
constexpr std::chrono::milliseconds kRenderGap = 200ms;

// Rendered buffers, told one by one as they are rendered: when they have
// gone on for kContinuousSpell with no gap, the first of them is the start
// of continuous audio.
class CContinuity
{
public:
    void Rendered(TimePoint at)
    {
        if (first == TimePoint())
            first = at;
        if (runStart == TimePoint() || at - last > kRenderGap) {
            if (runStart != TimePoint())
                ++pauses;
            runStart = at;
        }
        last = at;
        if (continuous == TimePoint() && at - runStart >= kContinuousSpell)
            continuous = runStart;
    }
    // The start of the first spell of continuous audio; a default time point
    // until there is one.
    TimePoint Continuous() const { return continuous; }
    // The first rendered buffer.
    TimePoint First() const { return first; }
    // Gaps before continuous audio.
    int Pauses() const { return pauses; }

private:
    TimePoint first, runStart, last, continuous;
    int pauses = 0;
};

// The buffers the fakesinks of this process render, through an emission
// hook on their "handoff" signal (streaming threads). Only one sink is
// followed: the first that renders after Arm, so that a pipeline still being
// ended cannot count.
class CRenderWatch
{
public:
    static CRenderWatch& Instance()
    {
        static CRenderWatch watch;
        return watch;
    }

    void Arm()
    {
        std::lock_guard<std::mutex> lock(mutex);
        InstallLocked();
        continuity = CContinuity();
        sink = nullptr;
        armed = true;
    }
    void Disarm()
    {
        std::lock_guard<std::mutex> lock(mutex);
        armed = false;
        if (hook != 0)
            g_signal_remove_emission_hook(signal, hook);
        hook = 0;
    }
    CContinuity Now() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return continuity;
    }

private:
    void InstallLocked()
    {
        if (hook != 0)
            return;
        // The element's class, and so its signal, exists once it is loaded.
        if (GstElement* probe = gst_element_factory_make("fakesink", nullptr))
            gst_object_unref(gst_object_ref_sink(probe));
        signal = g_signal_lookup("handoff", g_type_from_name("GstFakeSink"));
        hook = g_signal_add_emission_hook(signal, 0, &CRenderWatch::OnHandoff, this, nullptr);
    }

    static gboolean OnHandoff(GSignalInvocationHint*, guint, const GValue* values, gpointer self)
    {
        auto* watch = static_cast<CRenderWatch*>(self);
        const auto at = std::chrono::steady_clock::now();
        gpointer element = g_value_get_object(&values[0]);
        std::lock_guard<std::mutex> lock(watch->mutex);
        if (!watch->armed)
            return TRUE;
        if (watch->sink == nullptr)
            watch->sink = element;
        if (element == watch->sink)
            watch->continuity.Rendered(at);
        return TRUE;
    }

    mutable std::mutex mutex;
    guint signal = 0;
    gulong hook = 0;
    bool armed = false;
    gpointer sink = nullptr;
    CContinuity continuity;
};

} // namespace orvane::bench
