#include "platform/wmp/PipelineWorker.h"

#include <gst/gst.h>

#include <utility>

CPipelineWorker::CPipelineWorker() : thread([this] { Run(); }) {}

CPipelineWorker::~CPipelineWorker()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
    }
    wake.notify_one();
    thread.join();
}

void CPipelineWorker::Change(GstElement* pipeline, int state, std::function<void(int)> done)
{
    gst_object_ref(pipeline);
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back({pipeline, state, std::move(done)});
    }
    wake.notify_one();
}

void CPipelineWorker::Retire(GstElement* pipeline)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back({pipeline, GST_STATE_NULL, {}});
    }
    wake.notify_one();
}

void CPipelineWorker::Run()
{
    for (;;) {
        Request request{nullptr, 0, {}};
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return ending || !requests.empty(); });
            if (requests.empty())
                return; // ending, and nothing left to carry out
            request = requests.front();
            requests.pop_front();
        }
        const GstStateChangeReturn result =
            gst_element_set_state(request.pipeline, static_cast<GstState>(request.state));
        if (request.done)
            request.done(result);
        gst_object_unref(request.pipeline);
    }
}
