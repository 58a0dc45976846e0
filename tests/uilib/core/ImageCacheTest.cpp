#include "uilib/core/ImageCache.h"

#include "CoreFixtures.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Encoded(QColor colour, const char* format, int width = 4, int height = 3)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

class ImageCacheTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(folder.path.empty());
        store.SetFolder(folder.path.c_str());
    }

    CTempFolder folder;
    CResourceStore store;
    CImageCache cache{store};
};

}  // namespace

TEST_F(ImageCacheTest, APictureIsDecodedOnceAndKeptPremultiplied)
{
    folder.Write("bk.png", Encoded(QColor(255, 0, 0, 128), "PNG"));
    const QImage* first = cache.Find("bk.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size(), QSize(4, 3));
    EXPECT_EQ(first->format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(first->pixelColor(0, 0).alpha(), 128);
    EXPECT_EQ(first->pixelColor(0, 0).red(), 255);

    // Changed on disk: the cache keeps what it decoded until told to forget.
    folder.Write("bk.png", Encoded(Qt::blue, "PNG", 8, 8));
    EXPECT_EQ(cache.Find("bk.png"), first);
    EXPECT_EQ(cache.Find("bk.png")->size(), QSize(4, 3));
    cache.Remove("bk.png");
    ASSERT_NE(cache.Find("bk.png"), nullptr);
    EXPECT_EQ(cache.Find("bk.png")->size(), QSize(8, 8));
}

TEST_F(ImageCacheTest, AnOpaquePictureKeepsItsPixelsAndDrawsAsItDidPremultiplied)
{
    // A JPEG background decodes opaque and is kept so; drawn stretched and
    // in place, it gives the pixels its premultiplied copy gives.
    QImage source(60, 64, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            source.setPixel(x, y, qRgb(x * 4, y * 3, (x * y) % 256));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.save(&buffer, "JPG", 95));
    folder.Write("bk.jpg", std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    const QImage* opaque = cache.Find("bk.jpg");
    ASSERT_NE(opaque, nullptr);
    EXPECT_EQ(opaque->format(), QImage::Format_RGB32);
    const QImage premultiplied = opaque->convertToFormat(QImage::Format_ARGB32_Premultiplied);

    for (const QSize size : {QSize(60, 64), QSize(97, 41), QSize(600, 640)}) {
        for (const double opacity : {1.0, 0.8}) {
            auto draw = [&](const QImage& picture) {
                QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
                canvas.fill(Qt::transparent);
                QPainter painter(&canvas);
                painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
                painter.setOpacity(opacity);
                painter.drawImage(QRect(QPoint(0, 0), size), picture);
                painter.end();
                return canvas;
            };
            EXPECT_EQ(draw(*opaque), draw(premultiplied)) << size.width() << "x" << size.height() << " at " << opacity;
        }
    }
}

TEST_F(ImageCacheTest, EitherSeparatorNamesTheSamePicture)
{
    folder.Write("images/dot.png", Encoded(Qt::green, "PNG"));
    const QImage* slash = cache.Find("images/dot.png");
    ASSERT_NE(slash, nullptr);
    EXPECT_EQ(cache.Find("images\\dot.png"), slash);
    EXPECT_EQ(cache.GetSize(), 1);
}

TEST_F(ImageCacheTest, AMissingPictureIsLookedForAgain)
{
    EXPECT_EQ(cache.Find("later.png"), nullptr);
    EXPECT_FALSE(cache.Contains("later.png"));
    folder.Write("later.png", Encoded(Qt::red, "PNG"));
    EXPECT_NE(cache.Find("later.png"), nullptr);
    EXPECT_EQ(cache.Find(""), nullptr);
    EXPECT_EQ(cache.Find(nullptr), nullptr);
}

TEST_F(ImageCacheTest, ABrokenPictureIsNullAndNotReadAgain)
{
    folder.Write("broken.png", "\x89PNG but then nothing that decodes");
    EXPECT_EQ(cache.Find("broken.png"), nullptr);
    EXPECT_TRUE(cache.Contains("broken.png"));
    folder.Write("broken.png", Encoded(Qt::red, "PNG"));
    EXPECT_EQ(cache.Find("broken.png"), nullptr);   // remembered as broken
    cache.Clear();
    EXPECT_NE(cache.Find("broken.png"), nullptr);
}

TEST_F(ImageCacheTest, TheFormatIsToldByTheBytesNotTheName)
{
    folder.Write("lovebk.png", Encoded(Qt::white, "JPG", 16, 16));
    const QImage* picture = cache.Find("lovebk.png");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(16, 16));
}

TEST_F(ImageCacheTest, EveryFormatDecodesWhetherItsBytesAnnounceItOrNot)
{
    // Formats with a signature of their own, and one (PPM) that only the
    // readers themselves recognise. (Qt writes no GIF to make one here.)
    struct TRow
    {
        const char* format;
        QColor colour;
    };
    const TRow rows[] = {
        {"PNG", QColor(10, 200, 30)}, {"JPG", QColor(255, 255, 255)}, {"BMP", QColor(0, 0, 255)},
        {"ICO", QColor(0, 255, 0)},   {"PPM", QColor(90, 80, 70)},
    };
    for (const TRow& row : rows) {
        const std::string name = std::string("picture-") + row.format + ".png";
        folder.Write(name, Encoded(row.colour, row.format, 16, 16));
        const QImage* picture = cache.Find(name.c_str());
        ASSERT_NE(picture, nullptr) << row.format;
        EXPECT_EQ(picture->size(), QSize(16, 16)) << row.format;
        // JPEG is lossy; every other format keeps the colour exactly.
        if (std::string(row.format) != "JPG") {
            EXPECT_EQ(picture->pixelColor(8, 8), row.colour) << row.format;
        }
    }
}

TEST_F(ImageCacheTest, PicturesComeFromTheArchiveAndAreForgottenWhenTheStoreChanges)
{
    ASSERT_TRUE(WriteZip(folder.path + "/DefaultSkin.dll", {{"bk_gray.png", Encoded(Qt::gray, "PNG", 2, 2)}}));
    store.SetZip("DefaultSkin.dll", true);
    ASSERT_NE(cache.Find("bk_gray.png"), nullptr);
    EXPECT_EQ(cache.Find("bk_gray.png")->size(), QSize(2, 2));

    CTempFolder other;
    other.Write("bk_gray.png", Encoded(Qt::gray, "PNG", 5, 5));
    store.SetFolder(other.path.c_str());
    EXPECT_FALSE(cache.Contains("bk_gray.png"));
    ASSERT_NE(cache.Find("bk_gray.png"), nullptr);
    EXPECT_EQ(cache.Find("bk_gray.png")->size(), QSize(5, 5));
    EXPECT_EQ(cache.GetSize(), 1);
}

// ---------------------------------------------------------------- scale variants

namespace {

// The pictures of one row: 1x is 4 x 2 red, "@1.5x" 6 x 3 green, "@2x" 8 x 4
// blue; each tells by its colour which file was taken.
struct TVariantFile
{
    const char* suffix;   // "" for the 1x picture
    double scale;
    QColor colour;
};
const TVariantFile kFiles[] = {{"", 1.0, Qt::red}, {"@1.5x", 1.5, Qt::green}, {"@2x", 2.0, Qt::blue}};

std::string FileName(const char* suffix)
{
    return std::string("pic") + suffix + ".png";
}

void WriteVariant(const CTempFolder& folder, const TVariantFile& file)
{
    folder.Write(FileName(file.suffix),
                 Encoded(file.colour, "PNG", static_cast<int>(4 * file.scale), static_cast<int>(2 * file.scale)));
}

}  // namespace

TEST_F(ImageCacheTest, TheVariantThatFitsTheWindowsScaleIsTakenAndKeepsTheLogicalSize)
{
    struct TRow
    {
        const char* files;   // which of kFiles are there: '1', 'h' (1.5), '2'
        double windowScale;
        double taken;        // scale of the file answered
    };
    const TRow rows[] = {
        {"1h2", 1.0, 1.0},  {"1h2", 0.5, 1.0},  {"1h2", 1.25, 1.5}, {"1h2", 1.5, 1.5},
        {"1h2", 1.75, 2.0}, {"1h2", 2.0, 2.0},  {"1h2", 3.0, 2.0},  {"12", 1.5, 2.0},   // a background: no @1.5x
        {"12", 1.0, 1.0},   {"1", 2.0, 1.0},    {"2", 1.0, 2.0},    {"h", 3.0, 1.5},
        {"1h", 2.0, 1.5},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::string(row.files) + " at " + std::to_string(row.windowScale));
        CTempFolder rowFolder;
        CResourceStore rowStore;
        rowStore.SetFolder(rowFolder.path.c_str());
        CImageCache rowCache(rowStore);
        for (const char present : std::string(row.files)) {
            WriteVariant(rowFolder, kFiles[present == '1' ? 0 : present == 'h' ? 1 : 2]);
        }
        const QImage* picture = rowCache.Find("pic.png", row.windowScale);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->devicePixelRatio(), row.taken);
        EXPECT_EQ(picture->size(), QSize(static_cast<int>(4 * row.taken), static_cast<int>(2 * row.taken)));
        EXPECT_EQ(picture->deviceIndependentSize(), QSizeF(4, 2));
        const QColor expected = row.taken == 1.0 ? QColor(Qt::red) : row.taken == 1.5 ? QColor(Qt::green) : QColor(Qt::blue);
        EXPECT_EQ(picture->pixelColor(0, 0), expected);
        // Asked again: the same picture, not another lookup.
        EXPECT_EQ(rowCache.Find("pic.png", row.windowScale), picture);
    }
}

TEST_F(ImageCacheTest, VariantsComeFromTheArchiveToo)
{
    ASSERT_TRUE(WriteZip(folder.path + "/DefaultSkin.dll",
                         {{"dot.png", Encoded(Qt::red, "PNG", 4, 4)}, {"dot@2x.png", Encoded(Qt::blue, "PNG", 8, 8)}}));
    store.SetZip("DefaultSkin.dll", true);
    ASSERT_NE(cache.Find("dot.png", 2.0), nullptr);
    EXPECT_EQ(cache.Find("dot.png", 2.0)->size(), QSize(8, 8));
    EXPECT_EQ(cache.Find("dot.png", 2.0)->devicePixelRatio(), 2.0);
    EXPECT_EQ(cache.Find("dot.png", 1.0)->size(), QSize(4, 4));
    // Each file decoded once, whichever scales asked for it.
    EXPECT_EQ(cache.Find("dot.png", 3.0), cache.Find("dot.png", 2.0));
    EXPECT_EQ(cache.GetSize(), 2);
}

TEST_F(ImageCacheTest, ABrokenVariantFallsBackAndIsNotReadAgain)
{
    WriteVariant(folder, kFiles[0]);
    WriteVariant(folder, kFiles[1]);
    folder.Write(FileName("@2x"), "\x89PNG but then nothing that decodes");
    const QImage* picture = cache.Find("pic.png", 2.0);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->devicePixelRatio(), 1.5);
    // Mended on disk: the choice stays until the cache is told to forget.
    WriteVariant(folder, kFiles[2]);
    EXPECT_EQ(cache.Find("pic.png", 2.0), picture);
    cache.Remove("pic.png");
    ASSERT_NE(cache.Find("pic.png", 2.0), nullptr);
    EXPECT_EQ(cache.Find("pic.png", 2.0)->devicePixelRatio(), 2.0);

    // Nothing but broken files is remembered as nothing, at that scale.
    folder.Write("bad.png", "\x89PNG broken");
    folder.Write("bad@2x.png", "\x89PNG broken too");
    EXPECT_EQ(cache.Find("bad.png", 2.0), nullptr);
    EXPECT_TRUE(cache.Contains("bad.png", 2.0));
    EXPECT_FALSE(cache.Contains("bad.png", 1.0));
}

TEST_F(ImageCacheTest, RemovingAVariantNamedOnItsOwnLeavesNoStaleChoice)
{
    WriteVariant(folder, kFiles[0]);
    WriteVariant(folder, kFiles[2]);
    // Named with its scale, a variant is that variant, the picture of a 2x screen.
    const QImage* named = cache.Find("pic@2x.png");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->devicePixelRatio(), 2.0);
    EXPECT_EQ(cache.Find("pic.png", 2.0), named);
    // Forgetting that file drops the choice of "pic.png" that points at it.
    cache.Remove("pic@2x.png");
    EXPECT_FALSE(cache.Contains("pic.png", 2.0));
    folder.Write(FileName("@2x"), Encoded(Qt::yellow, "PNG", 8, 4));
    ASSERT_NE(cache.Find("pic.png", 2.0), nullptr);
    EXPECT_EQ(cache.Find("pic.png", 2.0)->pixelColor(0, 0), QColor(Qt::yellow));
    EXPECT_EQ(cache.Find("pic.png", 1.0)->pixelColor(0, 0), QColor(Qt::red));
}

TEST(ImageCacheNames, VariantNamesGoBeforeTheExtensionOfTheFileName)
{
    struct TRow
    {
        const char* name;
        double scale;
        const char* variant;
    };
    const TRow rows[] = {
        {"a.png", 2.0, "a@2x.png"},
        {"a.png", 1.5, "a@1.5x.png"},
        {"skin/bk.v2/a.jpg", 2.0, "skin/bk.v2/a@2x.jpg"},
        {"skin/bk.v2/a", 2.0, "skin/bk.v2/a@2x"},
        {"/home/u/.face", 2.0, "/home/u/.face@2x"},
        {"a.tar.gz", 2.0, "a.tar@2x.gz"},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(CImageCache::VariantName(row.name, row.scale), row.variant) << row.name;
        EXPECT_EQ(CImageCache::ScaleOfName(row.variant), row.scale) << row.variant;
        EXPECT_EQ(CImageCache::ScaleOfName(row.name), 1.0) << row.name;
    }
    EXPECT_EQ(CImageCache::ScaleOfName("@2x.png"), 1.0);
    EXPECT_EQ(CImageCache::ScaleOfName("a@3x.png"), 1.0);
}
