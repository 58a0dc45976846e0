#include "platform/inet/CurlCommon.h"

#include <mutex>
#include <utility>

#if ORVANE_INET_HAS_WINDOW_LAYER
#include "platform/win/Win.h"
#endif

namespace {

// Milliseconds the transfer loop waits for network activity before it looks
// at the cancel flag, the stop request and the stall clock again: the upper
// bound on how late a cancel is noticed while nothing arrives.
constexpr int kPollMilliseconds = 50;

} // namespace

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool ThreadAskedToStop()
{
#if ORVANE_INET_HAS_WINDOW_LAYER
    return IsStopRequested();
#else
    return false;
#endif
}

CCurlTransfer::~CCurlTransfer()
{
    if (multi && easy)
        curl_multi_remove_handle(multi, easy);
    if (easy)
        curl_easy_cleanup(easy);
    if (multi)
        curl_multi_cleanup(multi);
    if (headers)
        curl_slist_free_all(headers);
}

bool CCurlTransfer::SetUp()
{
    easy = curl_easy_init();
    multi = curl_multi_init();
    if (!easy || !multi)
        return false;
    // Every cache on the way is bypassed.
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    if (!headers)
        return false;

    Set(CURLOPT_URL, url.c_str());
    Set(CURLOPT_HTTPGET, 1L);
    Set(CURLOPT_HTTPHEADER, headers);
    Set(CURLOPT_ERRORBUFFER, errorText);
    // Timers through signals would misfire in a threaded program.
    Set(CURLOPT_NOSIGNAL, 1L);
    Set(CURLOPT_PROTOCOLS_STR, "http,https");
    Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    Set(CURLOPT_FOLLOWLOCATION, 1L);
    Set(CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    Set(CURLOPT_SSL_VERIFYPEER, 1L);
    Set(CURLOPT_SSL_VERIFYHOST, 2L);
    Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    if (limits.totalTimeout.count() > 0)
        Set(CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
    Set(CURLOPT_WRITEFUNCTION, &CCurlTransfer::BodyTrampoline);
    Set(CURLOPT_WRITEDATA, this);
    Set(CURLOPT_HEADERFUNCTION, &CCurlTransfer::HeaderTrampoline);
    Set(CURLOPT_HEADERDATA, this);
    Set(CURLOPT_PREREQFUNCTION, &CCurlTransfer::ConnectedTrampoline);
    Set(CURLOPT_PREREQDATA, this);
    Set(CURLOPT_XFERINFOFUNCTION, &CCurlTransfer::ProgressTrampoline);
    Set(CURLOPT_XFERINFODATA, this);
    Set(CURLOPT_NOPROGRESS, 0L);
    SetOptions();
    return optionsTaken && curl_multi_add_handle(multi, easy) == CURLM_OK;
}

TTransferEnd CCurlTransfer::Perform()
{
    if (!SetUp()) {
        TTransferEnd end;
        end.message = "cannot set up the HTTP client";
        return end;
    }
    std::optional<CURLcode> finished;
    while (!finished && !abortStatus) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            break;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued))
            if (message->msg == CURLMSG_DONE)
                finished = message->data.result;
        if (finished)
            break;
        // Checked here as well as in the progress callback, because curl
        // need not call that while a transfer waits.
        if (!CheckAbort())
            curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
    return Describe(finished);
}

bool CCurlTransfer::CheckAbort()
{
    if (abortStatus)
        return true;
    if ((limits.cancel && limits.cancel->load()) || ThreadAskedToStop())
        AbortWith(DownloadStatus::Cancelled, "cancelled");
    else if (connected && Clock::now() - lastActivity > limits.stallTimeout)
        AbortWith(DownloadStatus::Timeout, "no data for " + std::to_string(limits.stallTimeout.count()) + " ms");
    return abortStatus.has_value();
}

std::size_t CCurlTransfer::AbortWith(DownloadStatus status, std::string message)
{
    abortStatus = status;
    abortMessage = std::move(message);
    return 0;
}

TTransferEnd CCurlTransfer::Describe(std::optional<CURLcode> finished) const
{
    TTransferEnd end;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &end.httpStatus);
    if (abortStatus) {
        end.status = *abortStatus;
        end.message = abortMessage;
        return end;
    }
    if (!finished) {
        end.message = "the HTTP client failed";
        return end;
    }
    const CURLcode code = *finished;
    if (code == CURLE_OK && end.httpStatus >= 200 && end.httpStatus < 300) {
        end.status = DownloadStatus::Ok;
        return end;
    }
    if (code == CURLE_OK || code == CURLE_HTTP_RETURNED_ERROR) {
        // An error status, or a 3xx without a usable Location: an answer
        // that is no answer.
        end.status = DownloadStatus::HttpError;
        end.message = (end.httpStatus >= 400 ? "HTTP status " : "unexpected HTTP status ") +
                      std::to_string(end.httpStatus);
        return end;
    }
    if (const std::optional<DownloadStatus> own = StatusOf(code))
        end.status = *own;
    else
        end.status = code == CURLE_OPERATION_TIMEDOUT ? DownloadStatus::Timeout : DownloadStatus::NetworkError;
    end.message = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
    return end;
}

std::size_t CCurlTransfer::BodyTrampoline(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<CCurlTransfer*>(user);
    transfer->lastActivity = Clock::now();
    return transfer->OnBody(data, size * count);
}

std::size_t CCurlTransfer::HeaderTrampoline(char*, std::size_t size, std::size_t count, void* user)
{
    static_cast<CCurlTransfer*>(user)->lastActivity = Clock::now();
    return size * count;
}

// Called once a connection stands (again after each redirect): from here on
// silence counts towards the stall time-out, before it the connect time-out
// governs.
int CCurlTransfer::ConnectedTrampoline(void* user, char*, char*, int, int)
{
    auto* transfer = static_cast<CCurlTransfer*>(user);
    transfer->connected = true;
    transfer->lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

int CCurlTransfer::ProgressTrampoline(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<CCurlTransfer*>(user)->CheckAbort() ? 1 : 0;
}
