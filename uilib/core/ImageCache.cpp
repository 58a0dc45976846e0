#include "uilib/core/ImageCache.h"

#include "platform/win/WinQt.h"

#include <vector>

namespace {

// The bytes' picture, in the format the cache keeps. The format is told by
// the bytes, not by the name: pictures saved as JPEG under a .png name are
// common. Named, it loads one image plugin instead of every plugin
// installed.
QImage DecodeForCache(const std::vector<BYTE>& bytes)
{
    QImage image = DecodePicture(bytes.data(), bytes.size());
    if (!image.isNull()) {
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return image;
}

}  // namespace

CPictureDecoder::~CPictureDecoder()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

std::shared_future<QImage> CPictureDecoder::Decode(std::vector<BYTE> bytes)
{
    std::lock_guard lock(mutex);
    jobs.push_back(TJob{std::move(bytes), {}});
    std::shared_future<QImage> picture = jobs.back().picture.get_future().share();
    if (!thread.joinable()) {
        thread = std::thread(&CPictureDecoder::Run, this);
    }
    wake.notify_one();
    return picture;
}

void CPictureDecoder::Run()
{
    std::unique_lock lock(mutex);
    while (true) {
        wake.wait(lock, [this] { return stopping || !jobs.empty(); });
        if (stopping) {
            // Pictures not begun answer null; their owner is going too.
            for (TJob& job : jobs) {
                job.picture.set_value(QImage());
            }
            jobs.clear();
            return;
        }
        TJob job = std::move(jobs.front());
        jobs.pop_front();
        lock.unlock();
        job.picture.set_value(DecodeForCache(job.bytes));
        lock.lock();
    }
}

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
        decoding.clear();
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
        auto prefetched = decoding.find(key);
        if (prefetched != decoding.end()) {
            found = images.emplace(key, prefetched->second.get()).first;
            decoding.erase(prefetched);
        } else {
            std::vector<BYTE> bytes;
            if (!store.Load(key.c_str(), bytes)) {
                return nullptr;
            }
            found = images.emplace(key, DecodeForCache(bytes)).first;
        }
    }
    // Elements of an unordered_map never move, so the pointer survives
    // later insertions.
    return found->second.isNull() ? nullptr : &found->second;
}

void CImageCache::Prefetch(const char* name)
{
    ForgetIfStoreChanged();
    std::string key = CResourceStore::NormaliseName(name).ToStdString();
    if (key.empty() || images.count(key) != 0 || decoding.count(key) != 0) {
        return;
    }
    std::vector<BYTE> bytes;
    if (!store.Load(key.c_str(), bytes)) {
        return;
    }
    decoding.emplace(std::move(key), decoder.Decode(std::move(bytes)));
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
    const std::string key = CResourceStore::NormaliseName(name).ToStdString();
    images.erase(key);
    decoding.erase(key);
}

void CImageCache::Clear()
{
    images.clear();
    decoding.clear();
}

namespace ImageCache {

const QImage* Find(const CStdString& name)
{
    return CImageCache::Shared().Find(name.GetData());
}

void Prefetch(const CStdString& name)
{
    CImageCache::Shared().Prefetch(name.GetData());
}

void Clear()
{
    CImageCache::Shared().Clear();
}

}  // namespace ImageCache
