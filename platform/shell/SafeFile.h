#pragma once

// Replacing a file so that it is never left torn, empty or half-written:
// the new content goes to a file of a unique name beside the target, which
// is written whole, flushed to disk, given the target's permissions and
// renamed over the target; then the folder is flushed so that the rename
// itself survives a crash. A symbolic link is followed: the file it points to
// is replaced and the link stays a link.
//
// Every failure before the rename removes the temporary file and leaves the
// target as it was. Plain POSIX; usable from any thread.

#include <string>
#include <string_view>

struct TReplaceResult
{
    bool replaced = false;
    int error = 0;        // errno of the step that failed, 0 when replaced
    const char* step = ""; // which step failed: "resolve", "create", "write", ...

    explicit operator bool() const { return replaced; }
};

// Replaces the file at `target` (created when missing, with the permissions
// a new file gets under the umask) with `bytes`.
TReplaceResult ReplaceFileContents(const char* target, std::string_view bytes);

// Replaces the file at `target` with a copy of the file at `source`.
TReplaceResult ReplaceFileWithCopy(const char* target, const char* source);

// The path a replacement writes to: `path` with its symbolic links followed,
// as far as they lead (a dangling link gives the path of the missing file it
// names). Relative link texts are taken relative to the link's folder.
std::string ResolveReplacementTarget(const char* path);
