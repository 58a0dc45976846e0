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
