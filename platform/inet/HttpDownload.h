#pragma once

// The HTTP stand-in: fetches the whole body of a URL into a file, the one
// thing the update worker asks of the network.
//
//     DownloadOptions options;              // defaults suit the catalogue
//     const DownloadResult result = DownloadToFile(url, cacheDir + "/fmradios_tmp.dll", options);
//     if (result.status == DownloadStatus::Ok && result.bodyBytes > 0) ...
//
// Guarantees:
// - Every cache is bypassed: the request carries "Cache-Control: no-cache"
//   and "Pragma: no-cache", and nothing is kept anywhere but in `path`.
// - `path` is never half-written. The body goes to a file beside it, which is
//   renamed over `path` only once the whole body arrived; on any failure that
//   file is removed and so is whatever stood at `path` before, so the caller
//   finds either the complete body or no file at all.
// - The destination file is created before the network is touched: when it
//   cannot be, the result is FileError and no request is sent.
// - Redirects are followed (at most `maxRedirects`), over http and https only;
//   a redirect to any other scheme fails.
// - A status of 400 or more, or a final answer outside 2xx, is HttpError;
//   the error page is not written.
// - A body larger than `maxBodyBytes`, by its Content-Length or by its
//   running total, is TooLarge.
// - An empty body is Ok with `bodyBytes` 0 and an empty file; whether that is
//   acceptable is the caller's decision.
// - A body whose end the server does not mark (no Content-Length, not
//   chunked) counts as complete when the server closes the connection; a cut
//   is only recognisable when the length was announced.
// - The download ends promptly (within a small fraction of a second) when
//   `cancel` is set from any thread, or when the calling thread is asked to
//   stop through the window layer (StopThread / IsStopRequested): Cancelled.
// - URLs and paths of any length are taken as they are.
// - Proxies come from the usual environment variables (http_proxy,
//   https_proxy, no_proxy), the desktop's counterpart of a system proxy
//   configuration.
//
// Threads: any thread may download, several at once; each call is
// independent. The call blocks its thread until the download ended.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

enum class DownloadStatus
{
    Ok,           // the whole body is at `path` (possibly empty)
    HttpError,    // the server answered with an error status (see httpStatus)
    Timeout,      // no connection within connectTimeout, no byte for stallTimeout, or totalTimeout passed
    TooLarge,     // the body exceeded maxBodyBytes
    Cancelled,    // the cancel flag was set or the thread was asked to stop
    NetworkError, // unreachable, refused, cut short, bad URL, too many or forbidden redirects
    FileError,    // the file could not be created, written or put in place
};

// A short English name of the status ("Ok", "HttpError", ...), for logs and test output.
const char* DownloadStatusName(DownloadStatus status);

struct DownloadOptions
{
    // Longest wait for name resolution and the TCP (and TLS) connection.
    std::chrono::milliseconds connectTimeout{10000};
    // Longest time without receiving a single byte once connected.
    std::chrono::milliseconds stallTimeout{30000};
    // Longest time for the whole download; zero means no limit, the stall
    // time-out alone then ends a dead transfer.
    std::chrono::milliseconds totalTimeout{0};
    // Bytes of body accepted; 16 MiB is far above any catalogue.
    std::int64_t maxBodyBytes = 16 * 1024 * 1024;
    // Redirects followed before the download fails.
    int maxRedirects = 5;
    // Set from any thread to abandon the download; may be null.
    const std::atomic<bool>* cancel = nullptr;
};

struct DownloadResult
{
    DownloadStatus status = DownloadStatus::NetworkError;
    // The last HTTP status received, 0 when no answer arrived.
    long httpStatus = 0;
    // Body bytes received (and, when Ok, written to the file).
    std::int64_t bodyBytes = 0;
    // What went wrong, in English, for logs; empty when Ok.
    std::string message;

    bool Succeeded() const { return status == DownloadStatus::Ok; }
};

// Fetches `url` with GET and stores its body at `path` (created or replaced).
DownloadResult DownloadToFile(const std::string& url, const std::string& path,
    const DownloadOptions& options = DownloadOptions());
