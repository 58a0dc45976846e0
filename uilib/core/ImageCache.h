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
// Scale variants: beside a picture "a.png" a skin may hold "a@1.5x.png" and
// "a@2x.png", drawn at one and a half and twice the pixel size. Find with a
// window's device pixel ratio answers the variant that fits it best: the
// smallest one at least as dense as the window, else the densest there is,
// else the 1x picture (so a window at 1 always gets "a.png" when it is
// there; at 1.25 "a@1.5x.png", at 3 "a@2x.png"). Variants are looked for in
// the folder and the archive as any resource. The answer carries its scale
// as its device pixel ratio (QImage::devicePixelRatio), so its size in
// logical pixels, QImage::deviceIndependentSize, is the 1x size; callers
// lay pictures out in logical pixels and never name a variant themselves.
// A name that already carries a scale ("a@2x.png") is that variant, with
// no variants of its own.
//
// The namespace ImageCache at the end is the shorthand the render engine
// uses for the process's cache, CImageCache::Shared().

#include "uilib/core/ResourceStore.h"
#include "uilib/core/StdString.h"

#include <QImage>

#include <array>
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

    // Scales of the variants looked for, besides 1.
    static constexpr std::array<double, 2> kVariantScales = {1.5, 2.0};

    // The picture of resource `name` for a window of `scale` device pixels
    // per logical pixel (see the top); null when the store has neither the
    // resource nor a variant of it, or none of them decodes. The pointer
    // stays valid until the cache forgets that name (Remove, Clear, a
    // change of the store).
    const QImage* Find(const char* name, double scale = 1.0);
    // Whether a lookup of `name` at `scale` is remembered (a picture, or
    // files that do not decode).
    bool Contains(const char* name, double scale = 1.0) const;
    // Forgets the picture and its variants.
    void Remove(const char* name);
    void Clear();
    // Files decoded (a variant counts as a file of its own).
    int GetSize() const { return static_cast<int>(images.size()); }

    // The name of `name`'s variant at `scale`: "skin/a.png", 2 -> "skin/a@2x.png".
    static std::string VariantName(const std::string& name, double scale);
    // The scale a file name carries: 2 for "a@2x.png", 1 for "a.png".
    static double ScaleOfName(const std::string& name);

private:
    // Window scales are sorted into as many classes as there are files to
    // choose from: up to 1, up to 1.5, above.
    static constexpr std::size_t kScaleClasses = kVariantScales.size() + 1;
    static std::size_t ScaleClass(double scale);

    void ForgetIfStoreChanged();
    // The decoded file `key`, loaded on first use; null when the store has
    // no such file. A file that does not decode answers a null QImage.
    const QImage* Decoded(const std::string& key);

    CResourceStore& store;
    unsigned storeGeneration;
    // Decoded files by name, variants under their own names. A null QImage
    // marks a file that exists but does not decode.
    std::unordered_map<std::string, QImage> images;
    // Per scale class, the file chosen for a name (an element of `images`);
    // null when every file there was does not decode.
    std::array<std::unordered_map<std::string, const QImage*>, kScaleClasses> choices;
};

namespace ImageCache {

// The picture of that resource name or absolute path for a window of
// `scale` device pixels per logical pixel; null when there is none.
const QImage* Find(const CStdString& name, double scale = 1.0);
// Forgets every picture (tests; a new skin).
void Clear();

}  // namespace ImageCache
