#include "platform/shell/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

// Symbolic links followed before giving up, as the kernel does.
constexpr int kMaxLinkHops = 40;
// Bytes of the target's name kept in the temporary file's name, so that the
// name with its prefix and unique suffix stays under the 255-byte limit.
constexpr std::size_t kMaxNameBytesKept = 200;
// Bytes copied at a time.
constexpr std::size_t kCopyBlockBytes = 64 * 1024;

class CFileDescriptor
{
public:
    explicit CFileDescriptor(int fd = -1) : fd(fd) {}
    ~CFileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return fd; }
    // Closes now and answers the result, which for a written file can carry
    // a late write error.
    int Close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }

private:
    int fd;
};

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process's file-creation mask, read without changing it (umask(2) can
// only be read by setting it, which would race with other threads).
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

// Writes the whole buffer. A write that makes no progress and reports no
// error would otherwise be retried for ever; it counts as an I/O error.
int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (put == 0)
            return EIO;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

TReplaceResult Failed(const char* step, int error)
{
    TReplaceResult result;
    result.error = error != 0 ? error : EIO;
    result.step = step;
    return result;
}

// The common road of both replacements; `fill` writes the new content to the
// descriptor it is given and answers an errno, 0 on success.
template <typename Fill>
TReplaceResult Replace(const char* target, Fill fill)
{
    if (target == nullptr || *target == '\0')
        return Failed("resolve", ENOENT);
    const std::string resolved = ResolveReplacementTarget(target);
    const std::string folder = FolderOf(resolved);
    std::string temporary = folder + "/." + NameOf(resolved).substr(0, kMaxNameBytesKept) + ".XXXXXX";

    CFileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0)
        return Failed("create", errno);

    // From here on every failure removes the temporary file.
    auto failed = [&](const char* step, int error) {
        ::unlink(temporary.c_str());
        return Failed(step, error);
    };

    struct stat existing;
    mode_t mode;
    if (::stat(resolved.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
        // Only root may give a file away; for anyone else the owner is the
        // writer already.
        if (::fchown(file.Get(), existing.st_uid, existing.st_gid) != 0 && errno != EPERM)
            return failed("owner", errno);
    } else {
        mode = 0666 & ~CurrentUmask();
    }
    if (::fchmod(file.Get(), mode) != 0)
        return failed("mode", errno);

    if (const int error = fill(file.Get()); error != 0)
        return failed("write", error);
    // The data must be on disk before the rename makes it the file.
    if (::fsync(file.Get()) != 0)
        return failed("sync", errno);
    if (file.Close() != 0)
        return failed("close", errno);
    if (::rename(temporary.c_str(), resolved.c_str()) != 0)
        return failed("rename", errno);

    TReplaceResult result;
    result.replaced = true;
    // The rename is durable once the folder is on disk. Past the rename the
    // new content is in place either way, so a folder that cannot be flushed
    // is noted but does not undo the replacement.
    CFileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() < 0 || (::fsync(directory.Get()) != 0 && errno != EINVAL)) {
        result.error = errno;
        result.step = "sync folder";
    }
    return result;
}

} // namespace

std::string ResolveReplacementTarget(const char* path)
{
    std::string current = path != nullptr ? path : "";
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat link;
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
            return current;
        std::string text(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : 4096) + 1, '\0');
        const ssize_t length = ::readlink(current.c_str(), text.data(), text.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= text.size())
            return current;
        text.resize(static_cast<std::size_t>(length));
        current = text[0] == '/' ? text : FolderOf(current) + "/" + text;
    }
    return current;
}

TReplaceResult ReplaceFileContents(const char* target, std::string_view bytes)
{
    return Replace(target, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

TReplaceResult ReplaceFileWithCopy(const char* target, const char* source)
{
    CFileDescriptor input(source != nullptr ? ::open(source, O_RDONLY | O_CLOEXEC) : -1);
    if (input.Get() < 0)
        return Failed("open source", errno);
    return Replace(target, [&](int fd) {
        char buffer[kCopyBlockBytes];
        for (;;) {
            const ssize_t got = ::read(input.Get(), buffer, sizeof buffer);
            if (got == 0)
                return 0;
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (const int error = WriteAll(fd, buffer, static_cast<std::size_t>(got)); error != 0)
                return error;
        }
    });
}
