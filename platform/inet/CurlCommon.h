#pragma once

// What the two transfers of the HTTP stand-in (into a file, into memory)
// share: libcurl's one start for the process, the thread stop they obey, and
// the transfer itself — its handles, its options, the loop that runs it, the
// time-outs and cancellation, and how its end is put in words. Internal to
// platform/inet.

#include "platform/inet/HttpDownload.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

// Starts libcurl once for the whole process, from whichever transfer comes
// first on any thread. curl_global_init is not thread-safe itself, so every
// transfer goes through this one flag. It is never undone.
void InitialiseCurlOnce();

// Whether the calling thread was asked to stop through the window layer;
// false where that layer is not built.
bool ThreadAskedToStop();

// What bounds a transfer, whichever options it was given.
struct TTransferLimits
{
    std::chrono::milliseconds connectTimeout;
    std::chrono::milliseconds stallTimeout;
    std::chrono::milliseconds totalTimeout; // zero: no limit
    int maxRedirects;
    const std::atomic<bool>* cancel; // may be null
};

template <class Options>
TTransferLimits LimitsOf(const Options& options)
{
    return {options.connectTimeout, options.stallTimeout, options.totalTimeout, options.maxRedirects,
            options.cancel};
}

// How a transfer ended.
struct TTransferEnd
{
    DownloadStatus status = DownloadStatus::NetworkError;
    long httpStatus = 0; // the last status received, 0 without an answer
    std::string message; // in English, for logs; empty when Ok
};

// One GET over curl's multi interface, run on the calling thread: every
// callback runs inside curl_multi_perform, so nothing here needs a lock.
// A subclass takes the body and may set further options.
class CCurlTransfer
{
public:
    CCurlTransfer(const std::string& url, const TTransferLimits& limits) : url(url), limits(limits) {}
    virtual ~CCurlTransfer();
    CCurlTransfer(const CCurlTransfer&) = delete;
    CCurlTransfer& operator=(const CCurlTransfer&) = delete;

    // Sets up and runs the transfer to its end: done, failed, cancelled
    // (the cancel flag or the thread's stop), stalled, or aborted by the body.
    TTransferEnd Perform();

protected:
    // Sets one option; false once any option was refused.
    template <class Value>
    void Set(CURLoption option, Value value)
    {
        optionsTaken = optionsTaken && curl_easy_setopt(easy, option, value) == CURLE_OK;
    }
    // The subclass's own options, set after the shared ones.
    virtual void SetOptions() {}
    // Takes `size` body bytes; returns `size`, or 0 after AbortWith.
    virtual std::size_t OnBody(const char* data, std::size_t size) = 0;
    // Ends the transfer with `status`; returns 0, what a curl callback
    // returns to stop.
    std::size_t AbortWith(DownloadStatus status, std::string message);
    // The status of a transfer curl ended with `code`, for the codes only
    // a subclass's options bring; nullopt leaves the shared answer.
    virtual std::optional<DownloadStatus> StatusOf(CURLcode /*code*/) const { return std::nullopt; }

    CURL* easy = nullptr;

private:
    bool SetUp();
    // True when the transfer is to end now (cancelled or stalled).
    bool CheckAbort();
    TTransferEnd Describe(std::optional<CURLcode> finished) const;

    static std::size_t BodyTrampoline(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t HeaderTrampoline(char* data, std::size_t size, std::size_t count, void* user);
    static int ConnectedTrampoline(void* user, char*, char*, int, int);
    static int ProgressTrampoline(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    using Clock = std::chrono::steady_clock;

    const std::string& url;
    const TTransferLimits limits;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};
    bool optionsTaken = true;

    bool connected = false;
    Clock::time_point lastActivity = Clock::now();
    std::optional<DownloadStatus> abortStatus;
    std::string abortMessage;
};
