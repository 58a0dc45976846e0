#pragma once

// The in-memory side of the HTTP stand-in: fetches a small answer (a JSON
// page of the station directory, a health probe) into a string.
//
//     HttpGetOptions options;
//     options.userAgent = "orvane-radio/1.0.0";
//     const HttpGetResult answer = HttpGet("https://de1.api.radio-browser.info/json/stats", options);
//     if (answer.Succeeded()) ... answer.body, answer.contentType ...
//
// Guarantees:
// - The request says who asks (User-Agent) and takes gzip: "Accept-Encoding:
//   gzip" is sent and a gzip body is decoded before it is handed over.
// - `maxBodyBytes` bounds the decoded body, so a small compressed answer
//   cannot grow into a large one: past it the result is TooLarge.
// - https checks the server's certificate and that it names the host.
// - Time-outs, redirects, caches bypassed, cancellation (the flag or the
//   window layer's thread stop) and the statuses are those of DownloadToFile.
//   An error status keeps its body (a plain-text 500 says why) in `body`.
//
// Threads: any thread; the call blocks its thread until the answer arrived.

#include "platform/inet/HttpDownload.h"

#include <string>

struct HttpGetOptions
{
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds stallTimeout{15000};
    // Zero means no limit beyond the stall time-out.
    std::chrono::milliseconds totalTimeout{0};
    // Bytes of decoded body accepted.
    std::int64_t maxBodyBytes = 4 * 1024 * 1024;
    int maxRedirects = 5;
    // Sent as the User-Agent header when not empty.
    std::string userAgent;
    // Set from any thread to abandon the request; may be null.
    const std::atomic<bool>* cancel = nullptr;
};

struct HttpGetResult
{
    DownloadStatus status = DownloadStatus::NetworkError;
    long httpStatus = 0;
    // The media type of the answer without parameters, lower case
    // ("application/json"); empty when the server named none.
    std::string contentType;
    // The decoded body: whole when Ok, the error page when HttpError,
    // whatever arrived otherwise.
    std::string body;
    // What went wrong, in English, for logs; empty when Ok.
    std::string message;

    bool Succeeded() const { return status == DownloadStatus::Ok; }
};

HttpGetResult HttpGet(const std::string& url, const HttpGetOptions& options = HttpGetOptions());
