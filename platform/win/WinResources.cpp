// The executable: its module handle and path, its resources (in the Qt
// resource system), icons and memory fonts; screen metrics and the cursor.

#include "platform/win/Win.h"
#include "platform/win/WinQt.h"

#include "platform/win/WinApplication.h"
#include "platform/win/WinHandles.h"

#include <QBuffer>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QResource>
#include <QScreen>

#include <unistd.h>

#include <climits>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

struct HINSTANCE__
{
};

namespace
{
HINSTANCE__ executableInstance;

std::mutex iconMutex;
std::unordered_set<HICON> liveIcons;
// Shared icons live as long as the process, as on Win32: the map is never
// destroyed, so nothing of it is freed while exit handlers may still draw.
std::map<QString, HICON>& sharedIcons = *new std::map<QString, HICON>();

// Registered memory fonts: the handle is our own number for Qt's font id.
std::mutex fontMutex;
std::map<std::uintptr_t, int> memoryFonts;
std::uintptr_t nextFontHandle = 1;

// Bytes of loaded resources that are used where the resource system keeps
// them (start, length): memory that stays put for the life of the process.
std::mutex inPlaceMutex;
std::map<const char*, std::size_t> inPlaceResources;

bool IsInsideInPlaceResource(const void* data, std::size_t size)
{
    const auto* start = static_cast<const char*>(data);
    std::lock_guard lock(inPlaceMutex);
    auto after = inPlaceResources.upper_bound(start);
    if (after == inPlaceResources.begin())
        return false;
    const auto& [resourceStart, resourceLength] = *std::prev(after);
    return start >= resourceStart && static_cast<std::size_t>(start - resourceStart) + size <= resourceLength;
}

// Found resources live as long as the module, as on Win32; the map owns them.
std::map<QString, std::unique_ptr<HRSRC__>>& Resources()
{
    static std::map<QString, std::unique_ptr<HRSRC__>> resources;
    return resources;
}

std::string ExecutablePath()
{
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    return std::string(path, static_cast<size_t>(length));
}

// A resource name or type: MAKEINTRESOURCE ids and "#123" both become the
// decimal id, any other text stays as it is.
QString ResourcePart(const char* name)
{
    if (IS_INTRESOURCE(name))
        return QString::number(reinterpret_cast<std::uintptr_t>(name));
    QString text = QString::fromUtf8(name);
    if (text.startsWith(QLatin1Char('#')))
    {
        bool isNumber = false;
        uint id = text.mid(1).toUInt(&isNumber);
        if (isNumber)
            return QString::number(id);
    }
    return text;
}

HICON NewIcon(const QIcon& icon, bool shared)
{
    auto* handle = new HICON__{icon, shared};
    std::lock_guard lock(iconMutex);
    liveIcons.insert(handle);
    return handle;
}
}

HINSTANCE GetModuleHandle(const char* moduleName)
{
    if (moduleName == nullptr)
        return &executableInstance;
    std::string path = ExecutablePath();
    std::string fileName = path.substr(path.find_last_of('/') + 1);
    return fileName == moduleName ? &executableInstance : nullptr;
}

DWORD GetModuleFileName(HINSTANCE instance, char* buffer, DWORD size)
{
    if (buffer == nullptr || size == 0 || (instance != nullptr && instance != &executableInstance))
        return 0;
    std::string path = ExecutablePath();
    if (path.empty())
        return 0;
    // As Win32: a path that does not fit is cut, still terminated, and the
    // answer is the buffer's size.
    if (path.size() >= size)
    {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

HRSRC FindResource(HINSTANCE instance, const char* name, const char* type)
{
    (void)instance;
    if (name == nullptr || type == nullptr)
        return nullptr;
    QString path = QStringLiteral(":/%1/%2").arg(ResourcePart(type), ResourcePart(name));
    if (!QFile::exists(path))
        return nullptr;
    auto& resources = Resources();
    auto found = resources.find(path);
    if (found != resources.end())
        return found->second.get();
    auto resource = std::make_unique<HRSRC__>(HRSRC__{path, {}, false});
    return resources.emplace(path, std::move(resource)).first->second.get();
}

HGLOBAL LoadResource(HINSTANCE instance, HRSRC resource)
{
    (void)instance;
    if (resource == nullptr)
        return nullptr;
    if (!resource->loaded)
    {
        // A resource stored uncompressed is used where it lies, as a mapped
        // executable's resources are: a 4 MB font costs no heap at all.
        QResource stored(resource->path);
        if (stored.isValid() && stored.compressionAlgorithm() == QResource::NoCompression &&
            stored.data() != nullptr)
        {
            const auto* start = reinterpret_cast<const char*>(stored.data());
            resource->bytes = QByteArray::fromRawData(start, static_cast<qsizetype>(stored.size()));
            std::lock_guard lock(inPlaceMutex);
            inPlaceResources[start] = static_cast<std::size_t>(stored.size());
        }
        else
        {
            QFile file(resource->path);
            if (!file.open(QIODevice::ReadOnly))
                return nullptr;
            resource->bytes = file.readAll();
        }
        resource->loaded = true;
    }
    return reinterpret_cast<HGLOBAL>(resource);
}

void* LockResource(HGLOBAL loaded)
{
    if (loaded == nullptr)
        return nullptr;
    auto* resource = reinterpret_cast<HRSRC__*>(loaded);
    // constData: data() would detach a resource used in place into a copy.
    return resource->loaded ? const_cast<char*>(resource->bytes.constData()) : nullptr;
}

DWORD SizeofResource(HINSTANCE instance, HRSRC resource)
{
    if (resource == nullptr)
        return 0;
    if (!resource->loaded && LoadResource(instance, resource) == nullptr)
        return 0;
    return static_cast<DWORD>(resource->bytes.size());
}

const char* PictureFormat(const void* bytes, std::size_t size)
{
    struct TSignature
    {
        const char* start;
        std::size_t length;
        const char* format;
    };
    static const TSignature signatures[] = {
        {"\x89PNG\r\n\x1a\n", 8, "png"},
        {"\xff\xd8\xff", 3, "jpeg"},
        {"GIF87a", 6, "gif"},
        {"GIF89a", 6, "gif"},
        {"BM", 2, "bmp"},
        {"\0\0\1\0", 4, "ico"},
    };
    if (bytes == nullptr)
        return nullptr;
    for (const TSignature& signature : signatures)
        if (size >= signature.length && std::memcmp(bytes, signature.start, signature.length) == 0)
            return signature.format;
    return nullptr;
}

QImage DecodePicture(const void* bytes, std::size_t size)
{
    if (bytes == nullptr || size == 0)
        return {};
    QByteArray data = QByteArray::fromRawData(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    if (const char* format = PictureFormat(bytes, size)) {
        // With detection on, a reader asks every plugin about a named
        // format too, loading each; off, it takes the one for the format.
        QImageReader reader(&buffer, format);
        reader.setAutoDetectImageFormat(false);
        QImage picture = reader.read();
        if (!picture.isNull())
            return picture;
        buffer.seek(0);
    }
    QImageReader reader(&buffer);
    return reader.read();
}

namespace
{
// The picture of an icon resource, decoded with the format its bytes
// announce; null when it cannot be read or decoded.
QImage ReadIconPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray bytes = file.readAll();
    return DecodePicture(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
}

HICON LoadIcon(HINSTANCE instance, const char* name)
{
    if (instance == nullptr || name == nullptr || !EnsureWinApplication())
        return nullptr;
    QString path = QStringLiteral(":/ICON/%1").arg(ResourcePart(name));
    {
        std::lock_guard lock(iconMutex);
        auto found = sharedIcons.find(path);
        if (found != sharedIcons.end())
            return found->second;
    }
    // Decoded once, here; the icon keeps the picture and scales it for the
    // sizes a desktop asks for.
    const QImage picture = ReadIconPicture(path);
    if (picture.isNull())
        return nullptr;
    QIcon icon(QPixmap::fromImage(picture));
    if (icon.isNull() || icon.availableSizes().isEmpty())
        return nullptr;
    // Pictures drawn for other sizes sit beside it, as "<id>-<pixels>":
    // sharper there than the main one scaled (a dense screen asks twice the
    // pixels of a window or notification-area icon).
    const QStringList sizedNames{ResourcePart(name) + QStringLiteral("-*")};
    for (const QFileInfo& sized : QDir(QStringLiteral(":/ICON")).entryInfoList(sizedNames, QDir::Files))
    {
        const QImage sizedPicture = ReadIconPicture(sized.filePath());
        if (!sizedPicture.isNull())
            icon.addPixmap(QPixmap::fromImage(sizedPicture));
    }
    auto* handle = new HICON__{icon, true};
    std::lock_guard lock(iconMutex);
    // Another thread may have loaded the same icon meanwhile: keep the first.
    auto [entry, added] = sharedIcons.emplace(path, handle);
    if (!added)
    {
        delete handle;
        return entry->second;
    }
    liveIcons.insert(handle);
    return handle;
}

BOOL DestroyIcon(HICON icon)
{
    std::lock_guard lock(iconMutex);
    if (liveIcons.count(icon) == 0)
        return FALSE;
    if (!icon->shared)
    {
        liveIcons.erase(icon);
        delete icon;
    }
    return TRUE;
}

bool IsLiveIcon(HICON icon)
{
    std::lock_guard lock(iconMutex);
    return liveIcons.count(icon) != 0;
}

QIcon IconFromHicon(HICON icon)
{
    return IsLiveIcon(icon) ? icon->icon : QIcon();
}

HICON HiconFromIcon(const QIcon& icon)
{
    return NewIcon(icon, false);
}

HANDLE AddFontMemResourceEx(const void* data, DWORD size, void* reserved, DWORD* fontsAdded)
{
    (void)reserved;
    if (fontsAdded != nullptr)
        *fontsAdded = 0;
    if (data == nullptr || size == 0 || !EnsureWinApplication())
        return nullptr;
    // The bytes of a resource that stays put are handed over where they lie;
    // anything else is copied, since the caller may free it afterwards.
    const auto* start = static_cast<const char*>(data);
    const QByteArray bytes = IsInsideInPlaceResource(data, size)
                                 ? QByteArray::fromRawData(start, static_cast<qsizetype>(size))
                                 : QByteArray(start, static_cast<qsizetype>(size));
    int id = QFontDatabase::addApplicationFontFromData(bytes);
    if (id < 0)
        return nullptr;
    if (fontsAdded != nullptr)
        *fontsAdded = static_cast<DWORD>(QFontDatabase::applicationFontFamilies(id).size());
    std::lock_guard lock(fontMutex);
    std::uintptr_t handle = nextFontHandle++;
    memoryFonts[handle] = id;
    // Font handles are small numbers, apart from the addresses of the event
    // and thread objects that share the HANDLE type.
    return reinterpret_cast<HANDLE>(handle);
}

BOOL RemoveFontMemResourceEx(HANDLE font)
{
    int id = -1;
    {
        std::lock_guard lock(fontMutex);
        auto found = memoryFonts.find(reinterpret_cast<std::uintptr_t>(font));
        if (found == memoryFonts.end())
            return FALSE;
        id = found->second;
        memoryFonts.erase(found);
    }
    if (!EnsureWinApplication())
        return FALSE;
    return QFontDatabase::removeApplicationFont(id) ? TRUE : FALSE;
}

int GetSystemMetrics(int index)
{
    if (!EnsureWinApplication())
        return 0;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return 0;
    switch (index)
    {
    case SM_CXSCREEN: return screen->geometry().width();
    case SM_CYSCREEN: return screen->geometry().height();
    default: return 0;
    }
}

BOOL GetCursorPos(POINT* point)
{
    if (point == nullptr || !EnsureWinApplication())
        return FALSE;
    QPoint position = QCursor::pos();
    *point = POINT{position.x(), position.y()};
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    if (!EnsureWinApplication())
        return FALSE;
    QCursor::setPos(x, y);
    return TRUE;
}

bool EnsureWinApplication()
{
    return CWinApplication::Ensure();
}
