#include "uilib/core/ImageCache.h"

#include "platform/win/WinQt.h"

#include <vector>

CImageCache::CImageCache(CResourceStore& resourceStore)
    : store(resourceStore), storeGeneration(resourceStore.GetGeneration())
{
}

CImageCache& CImageCache::Shared()
{
    static CImageCache cache(CResourceStore::Shared());
    return cache;
}

void CImageCache::ForgetIfStoreChanged()
{
    if (store.GetGeneration() != storeGeneration) {
        images.clear();
        storeGeneration = store.GetGeneration();
    }
}

const QImage* CImageCache::Find(const char* name)
{
    ForgetIfStoreChanged();
    const std::string key = CResourceStore::NormaliseName(name).ToStdString();
    if (key.empty()) {
        return nullptr;
    }
    auto found = images.find(key);
    if (found == images.end()) {
        std::vector<BYTE> bytes;
        if (!store.Load(key.c_str(), bytes)) {
            return nullptr;
        }
        // The format is told by the bytes, not by the name: pictures saved
        // as JPEG under a .png name are common. Named, it loads one image
        // plugin instead of every plugin installed.
        QImage image = DecodePicture(bytes.data(), bytes.size());
        // Opaque 32-bit pixels already are premultiplied ones with their
        // alpha at 255: converting a window-sized JPEG would only copy it.
        if (!image.isNull() && image.format() != QImage::Format_RGB32) {
            image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
        found = images.emplace(key, std::move(image)).first;
    }
    // Elements of an unordered_map never move, so the pointer survives
    // later insertions.
    return found->second.isNull() ? nullptr : &found->second;
}

bool CImageCache::Contains(const char* name) const
{
    if (store.GetGeneration() != storeGeneration) {
        return false;
    }
    return images.count(CResourceStore::NormaliseName(name).ToStdString()) != 0;
}

void CImageCache::Remove(const char* name)
{
    images.erase(CResourceStore::NormaliseName(name).ToStdString());
}

void CImageCache::Clear()
{
    images.clear();
}

namespace ImageCache {

const QImage* Find(const CStdString& name)
{
    return CImageCache::Shared().Find(name.GetData());
}

void Clear()
{
    CImageCache::Shared().Clear();
}

}  // namespace ImageCache
