#include "platform/inet/HttpGet.h"

#include "platform/inet/CurlCommon.h"

#include <curl/curl.h>

#include <cctype>
#include <mutex>
#include <optional>

namespace {

// Milliseconds the transfer loop waits for network activity before it looks
// at the cancel flag, the stop request and the stall clock again.
constexpr int kPollMilliseconds = 50;

using Clock = std::chrono::steady_clock;

std::string BareMediaType(const char* contentType)
{
    std::string type;
    for (const char* c = contentType; c != nullptr && *c != '\0' && *c != ';'; ++c) {
        if (*c != ' ' && *c != '\t')
            type += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    return type;
}

// One request: the curl handles and the callbacks' state. Every callback
// runs on the calling thread, inside curl_multi_perform.
class CMemoryTransfer
{
public:
    CMemoryTransfer(const std::string& url, const HttpGetOptions& options) : url(url), options(options) {}
    ~CMemoryTransfer()
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
    CMemoryTransfer(const CMemoryTransfer&) = delete;
    CMemoryTransfer& operator=(const CMemoryTransfer&) = delete;

    HttpGetResult Run()
    {
        HttpGetResult result;
        if (!SetUp()) {
            result.message = "cannot set up the HTTP client";
            return result;
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
            if (!CheckAbort())
                curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
        }
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.httpStatus);
        char* type = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
        result.contentType = BareMediaType(type);
        result.body = std::move(body);
        Classify(result, finished);
        return result;
    }

private:
    bool SetUp()
    {
        easy = curl_easy_init();
        multi = curl_multi_init();
        if (!easy || !multi)
            return false;
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
        if (!headers)
            return false;

        bool ok = true;
        auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK; };
        set(CURLOPT_URL, url.c_str());
        set(CURLOPT_HTTPGET, 1L);
        set(CURLOPT_HTTPHEADER, headers);
        if (!options.userAgent.empty())
            set(CURLOPT_USERAGENT, options.userAgent.c_str());
        // curl sends the header and decodes the body; only gzip is offered,
        // the one coding the directory's servers use.
        set(CURLOPT_ACCEPT_ENCODING, "gzip");
        set(CURLOPT_ERRORBUFFER, errorText);
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, static_cast<long>(options.maxRedirects));
        set(CURLOPT_SSL_VERIFYPEER, 1L);
        set(CURLOPT_SSL_VERIFYHOST, 2L);
        set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
        if (options.totalTimeout.count() > 0)
            set(CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
        set(CURLOPT_WRITEFUNCTION, &CMemoryTransfer::BodyTrampoline);
        set(CURLOPT_WRITEDATA, this);
        set(CURLOPT_HEADERFUNCTION, &CMemoryTransfer::HeaderTrampoline);
        set(CURLOPT_HEADERDATA, this);
        set(CURLOPT_PREREQFUNCTION, &CMemoryTransfer::ConnectedTrampoline);
        set(CURLOPT_PREREQDATA, this);
        set(CURLOPT_XFERINFOFUNCTION, &CMemoryTransfer::ProgressTrampoline);
        set(CURLOPT_XFERINFODATA, this);
        set(CURLOPT_NOPROGRESS, 0L);
        return ok && curl_multi_add_handle(multi, easy) == CURLM_OK;
    }

    // True when the transfer is to end now.
    bool CheckAbort()
    {
        if ((options.cancel && options.cancel->load()) || ThreadAskedToStop()) {
            abortStatus = DownloadStatus::Cancelled;
            abortMessage = "cancelled";
        } else if (connected && Clock::now() - lastActivity > options.stallTimeout) {
            abortStatus = DownloadStatus::Timeout;
            abortMessage = "no data for " + std::to_string(options.stallTimeout.count()) + " ms";
        }
        return abortStatus.has_value();
    }

    void Classify(HttpGetResult& result, std::optional<CURLcode> finished)
    {
        if (abortStatus) {
            result.status = *abortStatus;
            result.message = abortMessage;
            return;
        }
        if (!finished) {
            result.status = DownloadStatus::NetworkError;
            result.message = "the HTTP client failed";
            return;
        }
        const CURLcode code = *finished;
        switch (code) {
        case CURLE_OK:
            if (result.httpStatus >= 200 && result.httpStatus < 300) {
                result.status = DownloadStatus::Ok;
            } else {
                result.status = DownloadStatus::HttpError;
                result.message = "HTTP status " + std::to_string(result.httpStatus);
            }
            return;
        case CURLE_OPERATION_TIMEDOUT:
            result.status = DownloadStatus::Timeout;
            break;
        default:
            result.status = DownloadStatus::NetworkError;
            break;
        }
        result.message = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
    }

    std::size_t OnBody(const char* data, std::size_t size)
    {
        lastActivity = Clock::now();
        if (static_cast<std::int64_t>(body.size() + size) > options.maxBodyBytes) {
            abortStatus = DownloadStatus::TooLarge;
            abortMessage = "body larger than " + std::to_string(options.maxBodyBytes) + " bytes";
            return 0;
        }
        body.append(data, size);
        return size;
    }

    static std::size_t BodyTrampoline(char* data, std::size_t size, std::size_t count, void* user)
    {
        return static_cast<CMemoryTransfer*>(user)->OnBody(data, size * count);
    }

    static std::size_t HeaderTrampoline(char*, std::size_t size, std::size_t count, void* user)
    {
        static_cast<CMemoryTransfer*>(user)->lastActivity = Clock::now();
        return size * count;
    }

    static int ConnectedTrampoline(void* user, char*, char*, int, int)
    {
        auto* transfer = static_cast<CMemoryTransfer*>(user);
        transfer->connected = true;
        transfer->lastActivity = Clock::now();
        return CURL_PREREQFUNC_OK;
    }

    static int ProgressTrampoline(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<CMemoryTransfer*>(user)->CheckAbort() ? 1 : 0;
    }

    const std::string& url;
    const HttpGetOptions& options;

    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};

    std::string body;
    bool connected = false;
    Clock::time_point lastActivity = Clock::now();
    std::optional<DownloadStatus> abortStatus;
    std::string abortMessage;
};

} // namespace

HttpGetResult HttpGet(const std::string& url, const HttpGetOptions& options)
{
    InitialiseCurlOnce();
    CMemoryTransfer transfer(url, options);
    return transfer.Run();
}
