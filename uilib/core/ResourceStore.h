#pragma once

// CResourceStore: where layouts and images come from. A resource is named
// relative to the resource folder ("Corvela.xml", "skin\\lovebk.jpg"); the
// store looks for it first as a file in the folder, then as an entry of the
// resource archive, a zip file (normally inside the folder) read with libzip.
// A name that is an absolute path ("/home/u/pic.jpg", a picture the user
// chose) is read from that file only.
//
// Names may use '\\' or '/' as separator; both the folder and every name are
// normalised to '/' (repeated separators collapse, a leading "./" goes), so
// "config\\fmads.dll" and "config/fmads.dll" are the same resource. Lookups
// are case-sensitive, in the folder and in the archive; an archive entry
// that a Windows tool stored with '\\' separators is found as well.
//
// Every failure (missing file, missing or corrupt archive, an entry whose
// data fails its checksum, a resource larger than kMaxResourceBytes) is a
// plain false with empty bytes: a bad skin never takes the program down.
//
// The process's paint managers share one store, Shared(); tests make their
// own. All of it belongs to the GUI thread.

#include "platform/win/Win.h"
#include "uilib/core/StdString.h"

#include <memory>
#include <vector>

class CResourceStore
{
public:
    // Largest resource the store reads, bytes; bigger ones are refused so
    // that a corrupt size field cannot make it allocate without bound.
    static constexpr long long kMaxResourceBytes = 64LL * 1024 * 1024;

    CResourceStore();
    ~CResourceStore();
    CResourceStore(const CResourceStore&) = delete;
    CResourceStore& operator=(const CResourceStore&) = delete;

    // The store of the process, which CPaintManagerUI's resource settings
    // configure and the image cache reads.
    static CResourceStore& Shared();

    // The resource folder; a trailing '/' is added unless it is empty (an
    // empty folder means the current directory).
    void SetFolder(const char* path);
    const CStdString& GetFolder() const { return folder; }

    // The archive: a path relative to the folder unless absolute; empty for
    // none. With `keepOpen` the archive stays open from its first use until
    // the next SetFolder or SetZip; without it every lookup opens it anew.
    void SetZip(const char* name, bool keepOpen);
    const CStdString& GetZip() const { return zipName; }
    bool IsZipKeptOpen() const { return keepZipOpen; }

    // Reads the whole resource into `bytes`. False (and `bytes` empty) when
    // it is found nowhere or cannot be read.
    bool Load(const char* name, std::vector<BYTE>& bytes);
    // The same into a string of bytes (which may hold NULs).
    bool Load(const char* name, CStdString& bytes);

    // Changes whenever SetFolder or SetZip changes where resources come
    // from, so that caches of decoded resources know when to forget them.
    unsigned GetGeneration() const { return generation; }

    // '\\' to '/', repeated separators collapsed, a leading "./" removed.
    static CStdString NormaliseName(const char* name);

private:
    struct TArchive;

    static std::unique_ptr<TArchive> OpenArchive(const CStdString& path);
    bool LoadFromFile(const CStdString& path, std::vector<BYTE>& bytes) const;
    bool LoadFromArchive(const CStdString& name, std::vector<BYTE>& bytes);
    void CloseArchive();

    CStdString folder;
    CStdString zipName;
    bool keepZipOpen = false;
    unsigned generation = 0;
    std::unique_ptr<TArchive> openArchive;   // only while keepZipOpen
};
