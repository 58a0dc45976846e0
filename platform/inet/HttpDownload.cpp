#include "platform/inet/HttpDownload.h"

#include "platform/inet/CurlCommon.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

namespace {

// Milliseconds the transfer loop waits for network activity before it looks
// at the cancel flag, the stop request and the stall clock again: the upper
// bound on how late a cancel is noticed while nothing arrives.
constexpr int kPollMilliseconds = 50;

using Clock = std::chrono::steady_clock;

std::string ErrnoText(const char* what, const std::string& path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// One download: the file being written, the curl handles and the callbacks'
// state. Every callback runs on the downloading thread, inside
// curl_multi_perform, so nothing here needs a lock.
class CTransfer
{
public:
    CTransfer(const std::string& url, const std::string& path, const DownloadOptions& options)
        : url(url), path(path), options(options)
    {
    }
    ~CTransfer()
    {
        if (multi && easy)
            curl_multi_remove_handle(multi, easy);
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
        if (headers)
            curl_slist_free_all(headers);
        if (file >= 0)
            ::close(file);
    }
    CTransfer(const CTransfer&) = delete;
    CTransfer& operator=(const CTransfer&) = delete;

    DownloadResult Run()
    {
        DownloadResult result;
        if (!CreatePartFile(result)) {
            RemoveDestination();
            return result;
        }
        Transfer(result);
        if (result.status == DownloadStatus::Ok)
            PutInPlace(result);
        if (result.status != DownloadStatus::Ok) {
            DiscardPartFile();
            RemoveDestination();
        }
        return result;
    }

private:
    bool CreatePartFile(DownloadResult& result)
    {
        // A name of our own beside the destination: same file system, so the
        // final rename is atomic, and unique, so two downloads to one path
        // never write into each other's file.
        static std::atomic<unsigned> counter{0};
        partPath = path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        file = ::open(partPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0) {
            result.status = DownloadStatus::FileError;
            result.message = ErrnoText("cannot create", partPath);
            partPath.clear();
            return false;
        }
        return true;
    }

    void DiscardPartFile()
    {
        if (file >= 0) {
            ::close(file);
            file = -1;
        }
        if (!partPath.empty())
            ::unlink(partPath.c_str());
    }

    void RemoveDestination()
    {
        // A failed download leaves no file: an older body at `path` would be
        // taken for the answer to this request.
        ::unlink(path.c_str());
    }

    void PutInPlace(DownloadResult& result)
    {
        // Flushed before the rename, so that after a crash `path` holds the
        // old state or the whole new body, never a file of the right name
        // and missing blocks.
        const bool written = ::fsync(file) == 0;
        const bool closed = ::close(file) == 0;
        file = -1;
        if (!written || !closed) {
            result.status = DownloadStatus::FileError;
            result.message = ErrnoText("cannot write", partPath);
            return;
        }
        if (::rename(partPath.c_str(), path.c_str()) != 0) {
            result.status = DownloadStatus::FileError;
            result.message = ErrnoText("cannot put in place", path);
            return;
        }
        partPath.clear();
    }

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
        set(CURLOPT_ERRORBUFFER, errorText);
        // Timers through signals would misfire in a threaded program.
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, static_cast<long>(options.maxRedirects));
        set(CURLOPT_FAILONERROR, 1L);
        set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
        if (options.totalTimeout.count() > 0)
            set(CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
        // Refuses an announced Content-Length above the cap before any body
        // byte; the running total is checked in OnBody for bodies without one.
        set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
        // A connection is never reused from an earlier download, nor kept.
        set(CURLOPT_FRESH_CONNECT, 1L);
        set(CURLOPT_FORBID_REUSE, 1L);

        set(CURLOPT_WRITEFUNCTION, &CTransfer::BodyTrampoline);
        set(CURLOPT_WRITEDATA, this);
        set(CURLOPT_HEADERFUNCTION, &CTransfer::HeaderTrampoline);
        set(CURLOPT_HEADERDATA, this);
        set(CURLOPT_PREREQFUNCTION, &CTransfer::ConnectedTrampoline);
        set(CURLOPT_PREREQDATA, this);
        set(CURLOPT_XFERINFOFUNCTION, &CTransfer::ProgressTrampoline);
        set(CURLOPT_XFERINFODATA, this);
        set(CURLOPT_NOPROGRESS, 0L);
        return ok && curl_multi_add_handle(multi, easy) == CURLM_OK;
    }

    void Transfer(DownloadResult& result)
    {
        if (!SetUp()) {
            result.status = DownloadStatus::NetworkError;
            result.message = "cannot set up the HTTP client";
            return;
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
            if (const auto reason = ReasonToAbort())
                Abort(*reason);
            else
                curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
        }
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.httpStatus);
        result.bodyBytes = bodyBytes;
        Classify(result, finished);
    }

    void Classify(DownloadResult& result, std::optional<CURLcode> finished)
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
        const std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
        switch (code) {
        case CURLE_OK:
            if (result.httpStatus >= 200 && result.httpStatus < 300) {
                result.status = DownloadStatus::Ok;
                result.message.clear();
            } else {
                // A 3xx without a usable Location, or an answer that is no answer.
                result.status = DownloadStatus::HttpError;
                result.message = "unexpected HTTP status " + std::to_string(result.httpStatus);
            }
            return;
        case CURLE_HTTP_RETURNED_ERROR:
            result.status = DownloadStatus::HttpError;
            result.message = "HTTP status " + std::to_string(result.httpStatus);
            return;
        case CURLE_OPERATION_TIMEDOUT:
            result.status = DownloadStatus::Timeout;
            break;
        case CURLE_FILESIZE_EXCEEDED:
            result.status = DownloadStatus::TooLarge;
            break;
        case CURLE_WRITE_ERROR:
            result.status = DownloadStatus::FileError;
            break;
        default:
            result.status = DownloadStatus::NetworkError;
            break;
        }
        result.message = detail;
    }

    std::optional<DownloadStatus> ReasonToAbort()
    {
        if ((options.cancel && options.cancel->load()) || ThreadAskedToStop()) {
            abortMessage = "cancelled";
            return DownloadStatus::Cancelled;
        }
        if (connected && Clock::now() - lastActivity > options.stallTimeout) {
            abortMessage = "no data for " + std::to_string(options.stallTimeout.count()) + " ms";
            return DownloadStatus::Timeout;
        }
        return std::nullopt;
    }

    void Abort(DownloadStatus status)
    {
        abortStatus = status;
    }

    std::size_t OnBody(const char* data, std::size_t size)
    {
        lastActivity = Clock::now();
        if (bodyBytes + static_cast<std::int64_t>(size) > options.maxBodyBytes) {
            abortStatus = DownloadStatus::TooLarge;
            abortMessage = "body larger than " + std::to_string(options.maxBodyBytes) + " bytes";
            return 0;
        }
        std::size_t left = size;
        while (left > 0) {
            const ssize_t written = ::write(file, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                abortStatus = DownloadStatus::FileError;
                abortMessage = ErrnoText("cannot write", partPath);
                return 0;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        bodyBytes += static_cast<std::int64_t>(size);
        return size;
    }

    static std::size_t BodyTrampoline(char* data, std::size_t size, std::size_t count, void* user)
    {
        return static_cast<CTransfer*>(user)->OnBody(data, size * count);
    }

    static std::size_t HeaderTrampoline(char*, std::size_t size, std::size_t count, void* user)
    {
        static_cast<CTransfer*>(user)->lastActivity = Clock::now();
        return size * count;
    }

    // Called once a connection stands (again after each redirect): from here
    // on silence counts towards the stall time-out, before it the connect
    // time-out governs.
    static int ConnectedTrampoline(void* user, char*, char*, int, int)
    {
        auto* transfer = static_cast<CTransfer*>(user);
        transfer->connected = true;
        transfer->lastActivity = Clock::now();
        return CURL_PREREQFUNC_OK;
    }

    static int ProgressTrampoline(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto* transfer = static_cast<CTransfer*>(user);
        if (const auto reason = transfer->ReasonToAbort()) {
            transfer->Abort(*reason);
            return 1;
        }
        return 0;
    }

    const std::string& url;
    const std::string& path;
    const DownloadOptions& options;

    std::string partPath;
    int file = -1;
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};

    std::int64_t bodyBytes = 0;
    bool connected = false;
    Clock::time_point lastActivity = Clock::now();
    std::optional<DownloadStatus> abortStatus;
    std::string abortMessage;
};

} // namespace

const char* DownloadStatusName(DownloadStatus status)
{
    switch (status) {
    case DownloadStatus::Ok: return "Ok";
    case DownloadStatus::HttpError: return "HttpError";
    case DownloadStatus::Timeout: return "Timeout";
    case DownloadStatus::TooLarge: return "TooLarge";
    case DownloadStatus::Cancelled: return "Cancelled";
    case DownloadStatus::NetworkError: return "NetworkError";
    case DownloadStatus::FileError: return "FileError";
    }
    return "Unknown";
}

DownloadResult DownloadToFile(const std::string& url, const std::string& path, const DownloadOptions& options)
{
    InitialiseCurlOnce();
    CTransfer transfer(url, path, options);
    return transfer.Run();
}
