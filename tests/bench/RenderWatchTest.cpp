#include "bench/support/RenderWatch.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using orvane::bench::CContinuity;
using orvane::bench::CRenderWatch;
using orvane::bench::TimePoint;

// Buffers every `step` from `from` for `span`, told to `continuity`.
void RenderEvery(CContinuity& continuity, TimePoint from, std::chrono::milliseconds span,
                 std::chrono::milliseconds step)
{
    for (auto at = from; at <= from + span; at += step)
        continuity.Rendered(at);
}

TEST(Continuity, OneSecondOfBuffersWithoutAGapStartsAtTheFirst)
{
    CContinuity continuity;
    const TimePoint start{1h};
    RenderEvery(continuity, start, 900ms, 25ms);
    EXPECT_EQ(continuity.Continuous(), TimePoint()) << "less than a second rendered";
    RenderEvery(continuity, start + 925ms, 200ms, 25ms);
    EXPECT_EQ(continuity.Continuous(), start);
    EXPECT_EQ(continuity.First(), start);
    EXPECT_EQ(continuity.Pauses(), 0);
}

TEST(Continuity, AGapLongerThanTheLimitStartsOver)
{
    CContinuity continuity;
    const TimePoint start{1h};
    RenderEvery(continuity, start, 600ms, 25ms);
    const TimePoint resumed = start + 600ms + 400ms;
    RenderEvery(continuity, resumed, 990ms, 30ms);
    EXPECT_EQ(continuity.Continuous(), TimePoint()) << "the gap broke the first spell";
    RenderEvery(continuity, resumed + 1020ms, 60ms, 30ms);
    EXPECT_EQ(continuity.Continuous(), resumed);
    EXPECT_EQ(continuity.First(), start);
    EXPECT_EQ(continuity.Pauses(), 1);
}

TEST(Continuity, ShortGapsOfAStreamsBuffersAreNoPause)
{
    CContinuity continuity;
    const TimePoint start{1h};
    RenderEvery(continuity, start, 1200ms, 150ms);
    EXPECT_EQ(continuity.Continuous(), start);
    EXPECT_EQ(continuity.Pauses(), 0);
}

class RenderWatch : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    GstElement* Launch(const char* description)
    {
        GError* error = nullptr;
        GstElement* pipeline = gst_parse_launch(description, &error);
        EXPECT_EQ(error, nullptr);
        if (error != nullptr)
            g_error_free(error);
        return pipeline;
    }
    static void End(GstElement* pipeline)
    {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
    static CContinuity WaitForContinuous(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (CRenderWatch::Instance().Now().Continuous() == TimePoint() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        return CRenderWatch::Instance().Now();
    }
};

// A sink that keeps real time renders its first buffer once PLAYING, and a
// second later the audio counts as continuous from that buffer.
TEST_F(RenderWatch, FollowsWhatARealTimeSinkRenders)
{
    GstElement* pipeline =
        Launch("audiotestsrc samplesperbuffer=1024 ! audio/x-raw,rate=44100 ! fakesink sync=true signal-handoffs=true");
    CRenderWatch::Instance().Arm();
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    gst_element_get_state(pipeline, nullptr, nullptr, GST_CLOCK_TIME_NONE);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(CRenderWatch::Instance().Now().First(), TimePoint()) << "a prerolled buffer is not rendered";
    const auto playing = std::chrono::steady_clock::now();
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    const CContinuity rendered = WaitForContinuous(5s);
    const auto reached = std::chrono::steady_clock::now();
    CRenderWatch::Instance().Disarm();
    End(pipeline);
    ASSERT_NE(rendered.Continuous(), TimePoint());
    EXPECT_LT(rendered.Continuous() - playing, 150ms);
    EXPECT_GE(reached - rendered.Continuous(), 950ms) << "a sink in real time takes a second to render one";
    EXPECT_EQ(rendered.Pauses(), 0);
}

// A pipeline paused for a while after its start: the continuous audio starts
// after the pause, which counts as one.
TEST_F(RenderWatch, APauseOfThePipelineStartsTheSpellOver)
{
    GstElement* pipeline =
        Launch("audiotestsrc samplesperbuffer=1024 ! audio/x-raw,rate=44100 ! fakesink sync=true signal-handoffs=true");
    CRenderWatch::Instance().Arm();
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    std::this_thread::sleep_for(400ms);
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    std::this_thread::sleep_for(500ms);
    const auto resumed = std::chrono::steady_clock::now();
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    const CContinuity rendered = WaitForContinuous(5s);
    CRenderWatch::Instance().Disarm();
    End(pipeline);
    ASSERT_NE(rendered.Continuous(), TimePoint());
    EXPECT_GE(rendered.Continuous(), resumed - 50ms);
    EXPECT_LT(rendered.First(), resumed - 300ms);
    EXPECT_EQ(rendered.Pauses(), 1);
}

// Only the first sink that renders after Arm is followed: one that renders
// later (a pipeline still being ended, say) cannot add to it.
TEST_F(RenderWatch, FollowsOnlyTheFirstSinkAfterArm)
{
    GstElement* first =
        Launch("audiotestsrc samplesperbuffer=1024 ! audio/x-raw,rate=44100 ! fakesink sync=true signal-handoffs=true");
    GstElement* other = Launch("audiotestsrc samplesperbuffer=1024 ! audio/x-raw,rate=44100 ! "
                               "fakesink sync=true signal-handoffs=true");
    CRenderWatch::Instance().Arm();
    gst_element_set_state(first, GST_STATE_PLAYING);
    std::this_thread::sleep_for(300ms);
    gst_element_set_state(other, GST_STATE_PLAYING);
    std::this_thread::sleep_for(100ms);
    gst_element_set_state(first, GST_STATE_PAUSED); // the followed sink stops
    std::this_thread::sleep_for(1200ms);
    const CContinuity rendered = CRenderWatch::Instance().Now();
    CRenderWatch::Instance().Disarm();
    End(first);
    End(other);
    EXPECT_EQ(rendered.Continuous(), TimePoint()) << "the other sink's buffers were counted";
    EXPECT_NE(rendered.First(), TimePoint());
}

} // namespace
