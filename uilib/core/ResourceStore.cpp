#include "uilib/core/ResourceStore.h"

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

struct CResourceStore::TArchive
{
    zip_t* handle = nullptr;

    explicit TArchive(zip_t* archive) : handle(archive) {}
    ~TArchive()
    {
        // Opened read-only: discarding never writes anything back.
        zip_discard(handle);
    }
    TArchive(const TArchive&) = delete;
    TArchive& operator=(const TArchive&) = delete;
};

namespace {

bool IsAbsolute(const CStdString& path)
{
    return path.GetAt(0) == '/';
}

// Reads entry `index` of `archive` whole, checking the entry's checksum.
bool ReadEntry(zip_t* archive, zip_uint64_t index, std::vector<BYTE>& bytes)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
        return false;
    }
    if (stat.size > static_cast<zip_uint64_t>(CResourceStore::kMaxResourceBytes)) {
        return false;
    }
    zip_file_t* file = zip_fopen_index(archive, index, 0);
    if (file == nullptr) {
        return false;
    }
    bytes.resize(static_cast<size_t>(stat.size));
    zip_uint64_t total = 0;
    bool ok = true;
    // Read until libzip reports the end: the checksum is verified when the
    // data runs out, so a last read of 0 bytes is the proof that it matched.
    for (;;) {
        BYTE spare = 0;
        BYTE* target = total < stat.size ? bytes.data() + total : &spare;
        zip_uint64_t room = total < stat.size ? stat.size - total : 1;
        zip_int64_t count = zip_fread(file, target, room);
        if (count < 0) {
            ok = false;
            break;
        }
        if (count == 0) {
            break;
        }
        if (total >= stat.size) {
            ok = false;   // more data than the directory promised
            break;
        }
        total += static_cast<zip_uint64_t>(count);
    }
    zip_fclose(file);
    if (!ok || total != stat.size) {
        bytes.clear();
        return false;
    }
    return true;
}

}  // namespace

CResourceStore::CResourceStore() = default;

CResourceStore::~CResourceStore() = default;

CResourceStore& CResourceStore::Shared()
{
    static CResourceStore store;
    return store;
}

CStdString CResourceStore::NormaliseName(const char* name)
{
    CStdString result;
    if (name == nullptr) {
        return result;
    }
    for (const char* cursor = name; *cursor != '\0'; ++cursor) {
        char ch = *cursor == '\\' ? '/' : *cursor;
        if (ch == '/' && result.GetLength() > 0 && result[result.GetLength() - 1] == '/') {
            continue;
        }
        result += ch;
    }
    while (result.GetLength() >= 2 && result[0] == '.' && result[1] == '/') {
        result = result.Mid(2);
    }
    return result;
}

void CResourceStore::SetFolder(const char* path)
{
    folder = NormaliseName(path);
    if (!folder.IsEmpty() && folder[folder.GetLength() - 1] != '/') {
        folder += '/';
    }
    CloseArchive();
    ++generation;
}

void CResourceStore::SetZip(const char* name, bool keepOpen)
{
    zipName = NormaliseName(name);
    keepZipOpen = keepOpen;
    CloseArchive();
    ++generation;
}

std::unique_ptr<CResourceStore::TArchive> CResourceStore::OpenArchive(const CStdString& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path.GetData(), error)) {
        return nullptr;
    }
    int code = 0;
    zip_t* archive = zip_open(path.GetData(), ZIP_RDONLY, &code);
    if (archive == nullptr) {
        return nullptr;
    }
    return std::make_unique<TArchive>(archive);
}

void CResourceStore::CloseArchive()
{
    openArchive.reset();
}

bool CResourceStore::Load(const char* name, std::vector<BYTE>& bytes)
{
    bytes.clear();
    CStdString normalised = NormaliseName(name);
    if (normalised.IsEmpty() || normalised[normalised.GetLength() - 1] == '/') {
        return false;
    }
    if (IsAbsolute(normalised)) {
        return LoadFromFile(normalised, bytes);
    }
    if (LoadFromFile(folder + normalised, bytes)) {
        return true;
    }
    return LoadFromArchive(normalised, bytes);
}

bool CResourceStore::Load(const char* name, CStdString& bytes)
{
    std::vector<BYTE> data;
    bool found = Load(name, data);
    bytes = CStdString(std::string(data.begin(), data.end()));
    return found;
}

bool CResourceStore::LoadFromFile(const CStdString& path, std::vector<BYTE>& bytes) const
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path.GetData(), error)) {
        return false;
    }
    std::uintmax_t size = std::filesystem::file_size(path.GetData(), error);
    if (error || size > static_cast<std::uintmax_t>(kMaxResourceBytes)) {
        return false;
    }
    std::FILE* file = std::fopen(path.GetData(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    size_t read = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file);
    // A file that grew since its size was taken is read as far as it was.
    bool ok = read == bytes.size() && std::ferror(file) == 0;
    std::fclose(file);
    if (!ok) {
        bytes.clear();
    }
    return ok;
}

bool CResourceStore::LoadFromArchive(const CStdString& name, std::vector<BYTE>& bytes)
{
    if (zipName.IsEmpty()) {
        return false;
    }
    std::unique_ptr<TArchive> transient;
    TArchive* archive = openArchive.get();
    if (archive == nullptr) {
        CStdString path = IsAbsolute(zipName) ? zipName : folder + zipName;
        transient = OpenArchive(path);
        if (transient == nullptr) {
            return false;
        }
        archive = transient.get();
        if (keepZipOpen) {
            openArchive = std::move(transient);
        }
    }
    zip_int64_t index = zip_name_locate(archive->handle, name.GetData(), 0);
    if (index < 0 && name.Find('/') >= 0) {
        CStdString windowsName = name;
        windowsName.Replace("/", "\\");
        index = zip_name_locate(archive->handle, windowsName.GetData(), 0);
    }
    if (index < 0) {
        return false;
    }
    return ReadEntry(archive->handle, static_cast<zip_uint64_t>(index), bytes);
}
