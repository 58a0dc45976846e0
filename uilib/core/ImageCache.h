#pragma once

// CImageCache: decoded pictures of the resource store, by resource name (or
// absolute path), for uilib's own painting code. Qt side: only uilib .cpp
// files include this header, never a public one.
//
// A picture is decoded once and kept until the store's folder or archive
// changes (its generation), Clear, or Remove of that name. A name that the
// store cannot find answers null and is looked for again next time (a
// user's picture may appear later); a file that exists but does not decode
// answers null and that answer is kept, so a broken picture is not read
// again at every paint.
//
// Names are normalised like the store's ("skin\\a.png" is "skin/a.png").
// Pictures are kept as QImage::Format_ARGB32_Premultiplied, the format
// QPainter draws fastest. The cache holds every picture that was found; a
// skin has a few dozen. GUI thread only.
//
// Prefetch starts decoding a picture on the cache's decoding thread, so that
// a window's first paint takes the finished picture instead of decoding it
// there (a window-sized JPEG is some ten milliseconds). Its bytes are still
// read on the GUI thread; only the decoding moves. A Find of a picture being
// decoded waits for it.
//
// The namespace ImageCache at the end is the shorthand the render engine
// uses for the process's cache, CImageCache::Shared().

#include "uilib/core/ResourceStore.h"
#include "uilib/core/StdString.h"

#include <QImage>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// One thread that decodes pictures in the order they were asked for. It
// starts at the first request and ends with its owner, after the picture
// under way.
class CPictureDecoder
{
public:
    CPictureDecoder() = default;
    CPictureDecoder(const CPictureDecoder&) = delete;
    CPictureDecoder& operator=(const CPictureDecoder&) = delete;
    ~CPictureDecoder();

    // The picture of these bytes, as the cache keeps it; null when they do
    // not decode.
    std::shared_future<QImage> Decode(std::vector<BYTE> bytes);

private:
    struct TJob
    {
        std::vector<BYTE> bytes;
        std::promise<QImage> picture;
    };
    void Run();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<TJob> jobs;
    bool stopping = false;
    std::thread thread;
};

class CImageCache
{
public:
    explicit CImageCache(CResourceStore& store);
    CImageCache(const CImageCache&) = delete;
    CImageCache& operator=(const CImageCache&) = delete;

    // The cache over CResourceStore::Shared().
    static CImageCache& Shared();

    // The picture of resource `name`; null when the store has no such
    // resource or it does not decode. The pointer stays valid until the
    // cache forgets that name (Remove, Clear, a change of the store).
    const QImage* Find(const char* name);
    // Starts decoding the picture of resource `name` unless it is known or
    // under way already; nothing when the store has no such resource.
    void Prefetch(const char* name);
    // Whether a lookup of `name` is remembered (a picture, or a broken file).
    bool Contains(const char* name) const;
    void Remove(const char* name);
    void Clear();
    int GetSize() const { return static_cast<int>(images.size()); }

private:
    void ForgetIfStoreChanged();

    CResourceStore& store;
    unsigned storeGeneration;
    // A null QImage here marks a file that exists but does not decode.
    std::unordered_map<std::string, QImage> images;
    // Pictures being decoded, until their first Find.
    std::unordered_map<std::string, std::shared_future<QImage>> decoding;
    // Last, so that it ends first.
    CPictureDecoder decoder;
};

namespace ImageCache {

// The picture of that resource name or absolute path; null when there is none.
const QImage* Find(const CStdString& name);
// Starts decoding that picture ahead of its first Find.
void Prefetch(const CStdString& name);
// Forgets every picture (tests; a new skin).
void Clear();

}  // namespace ImageCache
