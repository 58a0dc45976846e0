#pragma once

// CPipelineWorker: one thread that carries out state changes of pipelines,
// so that no caller waits for one. A change to NULL can wait for a streaming
// thread stuck in the network, and a change to PAUSED for a connection; the
// GUI thread only asks for them.
//
// Changes run in the order asked.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

using GstElement = struct _GstElement;

class CPipelineWorker
{
public:
    CPipelineWorker();
    // Carries out every change still asked for, then ends the thread.
    ~CPipelineWorker();
    CPipelineWorker(const CPipelineWorker&) = delete;
    CPipelineWorker& operator=(const CPipelineWorker&) = delete;

    // Any thread. `state` is a GstState; the worker holds its own reference
    // until the change is done. `done` gets the GstStateChangeReturn, on the
    // worker's thread.
    void Change(GstElement* pipeline, int state, std::function<void(int result)> done = {});
    // Sets the pipeline to NULL and drops the caller's reference, which is
    // handed over with the call.
    void Retire(GstElement* pipeline);

private:
    struct Request
    {
        GstElement* pipeline;
        int state;
        std::function<void(int)> done;
    };

    void Run();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Request> requests;
    bool ending = false;
    std::thread thread;
};
