#include "uilib/core/ImageCache.h"

#include "platform/win/WinQt.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <vector>

namespace {

// "2" for 2, "1.5" for 1.5: the number as a variant's name writes it.
std::string ScaleText(double scale)
{
    char text[16];
    std::snprintf(text, sizeof text, "%g", scale);
    return text;
}

// Where the extension of the last part of `name` starts; npos when it has none.
std::size_t ExtensionStart(const std::string& name)
{
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return std::string::npos;
    }
    return dot;
}

}  // namespace

CImageCache::CImageCache(CResourceStore& resourceStore)
    : store(resourceStore), storeGeneration(resourceStore.GetGeneration())
{
}

CImageCache& CImageCache::Shared()
{
    static CImageCache cache(CResourceStore::Shared());
    return cache;
}

std::string CImageCache::VariantName(const std::string& name, double scale)
{
    const std::size_t extension = ExtensionStart(name);
    const std::string suffix = "@" + ScaleText(scale) + "x";
    if (extension == std::string::npos) {
        return name + suffix;
    }
    return name.substr(0, extension) + suffix + name.substr(extension);
}

double CImageCache::ScaleOfName(const std::string& name)
{
    const std::size_t extension = ExtensionStart(name);
    const std::string stem = extension == std::string::npos ? name : name.substr(0, extension);
    for (double scale : kVariantScales) {
        const std::string suffix = "@" + ScaleText(scale) + "x";
        if (stem.size() > suffix.size() && stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return scale;
        }
    }
    return 1.0;
}

std::size_t CImageCache::ScaleClass(double scale)
{
    // A ratio a hair above a step (1.5000001 from a fractional screen
    // setting) still belongs to that step.
    constexpr double tolerance = 1e-3;
    std::size_t scaleClass = 0;
    if (!(scale > 1.0 + tolerance)) {   // also NaN and nonsense below 1
        return scaleClass;
    }
    for (double variant : kVariantScales) {
        ++scaleClass;
        if (scale <= variant + tolerance) {
            return scaleClass;
        }
    }
    return kScaleClasses - 1;
}

void CImageCache::ForgetIfStoreChanged()
{
    if (store.GetGeneration() != storeGeneration) {
        images.clear();
        for (auto& chosen : choices) {
            chosen.clear();
        }
        storeGeneration = store.GetGeneration();
    }
}

const QImage* CImageCache::Decoded(const std::string& key)
{
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
        if (!image.isNull()) {
            image.setDevicePixelRatio(ScaleOfName(key));
        }
        // Elements of an unordered_map never move, so the pointer survives
        // later insertions.
        found = images.emplace(key, std::move(image)).first;
    }
    return &found->second;
}

const QImage* CImageCache::Find(const char* name, double scale)
{
    ForgetIfStoreChanged();
    const std::string key = CResourceStore::NormaliseName(name).ToStdString();
    if (key.empty()) {
        return nullptr;
    }
    const std::size_t scaleClass = ScaleClass(scale);
    auto chosen = choices[scaleClass].find(key);
    if (chosen != choices[scaleClass].end()) {
        return chosen->second;
    }

    // The files to try, best first: the variants at least as dense as the
    // class asks for, lightest first, then the others, densest first; the
    // 1x picture is the file of scale 1 in that order.
    std::vector<std::string> candidates;
    if (ScaleOfName(key) != 1.0) {
        candidates.push_back(key);
    } else {
        std::vector<double> scales{1.0};
        scales.insert(scales.end(), kVariantScales.begin(), kVariantScales.end());
        const double wanted = scales[scaleClass];
        for (double candidate : scales) {
            if (candidate >= wanted) {
                candidates.push_back(candidate == 1.0 ? key : VariantName(key, candidate));
            }
        }
        for (auto candidate = scales.rbegin(); candidate != scales.rend(); ++candidate) {
            if (*candidate < wanted) {
                candidates.push_back(*candidate == 1.0 ? key : VariantName(key, *candidate));
            }
        }
    }

    bool anyFile = false;
    for (const std::string& candidate : candidates) {
        const QImage* image = Decoded(candidate);
        if (image == nullptr) {
            continue;
        }
        anyFile = true;
        if (!image->isNull()) {
            choices[scaleClass].emplace(key, image);
            return image;
        }
    }
    // Only broken files: remembered, so they are not read at every paint.
    // No file at all: looked for again next time.
    if (anyFile) {
        choices[scaleClass].emplace(key, nullptr);
    }
    return nullptr;
}

bool CImageCache::Contains(const char* name, double scale) const
{
    if (store.GetGeneration() != storeGeneration) {
        return false;
    }
    return choices[ScaleClass(scale)].count(CResourceStore::NormaliseName(name).ToStdString()) != 0;
}

void CImageCache::Remove(const char* name)
{
    const std::string key = CResourceStore::NormaliseName(name).ToStdString();
    std::vector<std::string> files{key};
    if (ScaleOfName(key) == 1.0) {
        for (double scale : kVariantScales) {
            files.push_back(VariantName(key, scale));
        }
    }
    for (auto& chosen : choices) {
        chosen.erase(key);
    }
    for (const std::string& file : files) {
        auto found = images.find(file);
        if (found == images.end()) {
            continue;
        }
        // A variant named on its own ("a@2x.png") may also be the choice
        // of its picture ("a.png"): no choice may outlive its file.
        for (auto& chosen : choices) {
            for (auto entry = chosen.begin(); entry != chosen.end();) {
                entry = entry->second == &found->second ? chosen.erase(entry) : std::next(entry);
            }
        }
        images.erase(found);
    }
}

void CImageCache::Clear()
{
    images.clear();
    for (auto& chosen : choices) {
        chosen.clear();
    }
}

namespace ImageCache {

const QImage* Find(const CStdString& name, double scale)
{
    return CImageCache::Shared().Find(name.GetData(), scale);
}

void Clear()
{
    CImageCache::Shared().Clear();
}

}  // namespace ImageCache
