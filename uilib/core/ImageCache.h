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
// Pictures are kept in the two formats QPainter draws fastest: an opaque
// picture that decodes as QImage::Format_RGB32 (a JPEG background) as it
// is, every other as QImage::Format_ARGB32_Premultiplied. The cache holds
// every picture that was found; a skin has a few dozen. GUI thread only.
//
// The namespace ImageCache at the end is the shorthand the render engine
// uses for the process's cache, CImageCache::Shared().

#include "uilib/core/ResourceStore.h"
#include "uilib/core/StdString.h"

#include <QImage>

#include <string>
#include <unordered_map>

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
};

namespace ImageCache {

// The picture of that resource name or absolute path; null when there is none.
const QImage* Find(const CStdString& name);
// Forgets every picture (tests; a new skin).
void Clear();

}  // namespace ImageCache
