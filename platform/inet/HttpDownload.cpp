#include "platform/inet/HttpDownload.h"

#include "platform/inet/CurlCommon.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

std::string ErrnoText(const char* what, const std::string& path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// One download: the file being written beside the destination, and the
// transfer that fills it.
class CFileTransfer final : public CCurlTransfer
{
public:
    CFileTransfer(const std::string& url, const std::string& path, const DownloadOptions& options)
        : CCurlTransfer(url, LimitsOf(options)), path(path), options(options)
    {
    }
    ~CFileTransfer() override
    {
        if (file >= 0)
            ::close(file);
    }

    DownloadResult Run()
    {
        DownloadResult result;
        if (!CreatePartFile(result)) {
            RemoveDestination();
            return result;
        }
        const TTransferEnd end = Perform();
        result.status = end.status;
        result.httpStatus = end.httpStatus;
        result.message = end.message;
        result.bodyBytes = bodyBytes;
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

    void SetOptions() override
    {
        // An error status ends the transfer before its page is written.
        Set(CURLOPT_FAILONERROR, 1L);
        // Refuses an announced Content-Length above the cap before any body
        // byte; the running total is checked in OnBody for bodies without one.
        Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
        // A connection is never reused from an earlier download, nor kept.
        Set(CURLOPT_FRESH_CONNECT, 1L);
        Set(CURLOPT_FORBID_REUSE, 1L);
    }

    std::optional<DownloadStatus> StatusOf(CURLcode code) const override
    {
        if (code == CURLE_FILESIZE_EXCEEDED)
            return DownloadStatus::TooLarge;
        if (code == CURLE_WRITE_ERROR)
            return DownloadStatus::FileError;
        return std::nullopt;
    }

    std::size_t OnBody(const char* data, std::size_t size) override
    {
        if (bodyBytes + static_cast<std::int64_t>(size) > options.maxBodyBytes)
            return AbortWith(DownloadStatus::TooLarge,
                             "body larger than " + std::to_string(options.maxBodyBytes) + " bytes");
        std::size_t left = size;
        while (left > 0) {
            const ssize_t written = ::write(file, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return AbortWith(DownloadStatus::FileError, ErrnoText("cannot write", partPath));
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        bodyBytes += static_cast<std::int64_t>(size);
        return size;
    }

    const std::string& path;
    const DownloadOptions& options;

    std::string partPath;
    int file = -1;
    std::int64_t bodyBytes = 0;
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
    CFileTransfer transfer(url, path, options);
    return transfer.Run();
}
