// The skin pictures against their catalogue, skin/IMAGES.md: every picture
// listed is there at its size, every picture there is listed, the looks of
// one control really differ, and the nine-slice pictures can be stretched or
// tiled without a seam.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

const QString kSkinFolder = QStringLiteral(ORVANE_SOURCE_DIR "/skin/files");

struct TListedImage
{
    int width = 0;
    int height = 0;
    // Nine-slice borders from a corner='l,t,r,b' in the row's use, if any.
    bool hasCorner = false;
    int corner[4] = {0, 0, 0, 0};
};

// Rows of the tables: "| file | W×H | use |".
std::map<QString, TListedImage> ListedImages()
{
    std::map<QString, TListedImage> images;
    QFile file(QStringLiteral(ORVANE_SOURCE_DIR "/skin/IMAGES.md"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return images;
    const QRegularExpression row(QStringLiteral(R"(^\|\s*([\w.-]+\.(?:png|jpg))\s*\|\s*(\d+)×(\d+)\s*\|(.*)\|\s*$)"));
    const QRegularExpression corner(QStringLiteral(R"(corner='(\d+),(\d+),(\d+),(\d+)')"));
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
    {
        QRegularExpressionMatch match = row.match(line);
        if (!match.hasMatch())
            continue;
        TListedImage image;
        image.width = match.captured(2).toInt();
        image.height = match.captured(3).toInt();
        QRegularExpressionMatch borders = corner.match(match.captured(4));
        if (borders.hasMatch())
        {
            image.hasCorner = true;
            for (int i = 0; i < 4; ++i)
                image.corner[i] = borders.captured(i + 1).toInt();
        }
        images[match.captured(1)] = image;
    }
    return images;
}

QImage Load(const QString& name)
{
    return QImage(kSkinFolder + QLatin1Char('/') + name).convertToFormat(QImage::Format_ARGB32);
}

bool SameColumn(const QImage& image, int a, int b)
{
    for (int y = 0; y < image.height(); ++y)
    {
        if (image.pixel(a, y) != image.pixel(b, y))
            return false;
    }
    return true;
}

bool SameRow(const QImage& image, int a, int b)
{
    for (int x = 0; x < image.width(); ++x)
    {
        if (image.pixel(x, a) != image.pixel(x, b))
            return false;
    }
    return true;
}

} // namespace

TEST(SkinImages, EveryListedPictureIsThereAtItsSize)
{
    std::map<QString, TListedImage> listed = ListedImages();
    // The three tables name well over forty pictures; far fewer means the
    // catalogue's rows no longer parse.
    ASSERT_GT(listed.size(), 40u);
    for (const auto& [name, expected] : listed)
    {
        SCOPED_TRACE(name.toStdString());
        QImage image = Load(name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), expected.width);
        EXPECT_EQ(image.height(), expected.height);
    }
    for (const char* named : {"bk_white_rd.png", "back_nor.png", "back_hot.png", "back_pushed.png", "dot.png",
                              "bk_gray2.png", "bk_light.png", "bk_gray.png", "lovebk.jpg", "bluebk.jpg"})
        EXPECT_EQ(listed.count(QString::fromUtf8(named)), 1u) << named << " is missing from IMAGES.md";
}

TEST(SkinImages, EveryPictureOfTheSkinIsListed)
{
    std::map<QString, TListedImage> listed = ListedImages();
    const QStringList pictures =
        QDir(kSkinFolder).entryList({QStringLiteral("*.png"), QStringLiteral("*.jpg")}, QDir::Files);
    ASSERT_FALSE(pictures.isEmpty());
    for (const QString& picture : pictures)
        EXPECT_EQ(listed.count(picture), 1u) << picture.toStdString() << " is not described in skin/IMAGES.md";
}

TEST(SkinImages, TheLooksOfOneControlDiffer)
{
    // A look whose layers did not switch renders as the resting look; the
    // control would then give no feedback at all.
    const QStringList looks = {QStringLiteral("_hot.png"), QStringLiteral("_pushed.png"), QStringLiteral("_sel.png")};
    int compared = 0;
    for (const auto& [name, image] : ListedImages())
    {
        (void)image;
        if (!name.endsWith(QStringLiteral("_nor.png")))
            continue;
        QString stem = name.chopped(int(QStringLiteral("_nor.png").size()));
        QImage resting = Load(name);
        for (const QString& look : looks)
        {
            if (!QFile::exists(kSkinFolder + QLatin1Char('/') + stem + look))
                continue;
            SCOPED_TRACE((stem + look).toStdString());
            EXPECT_NE(Load(stem + look), resting);
            ++compared;
        }
    }
    EXPECT_GT(compared, 20);
}

TEST(SkinImages, NineSliceMiddlesAreUniform)
{
    int checked = 0;
    for (const auto& [name, expected] : ListedImages())
    {
        if (!expected.hasCorner)
            continue;
        SCOPED_TRACE(name.toStdString());
        QImage image = Load(name);
        ASSERT_FALSE(image.isNull());
        const int left = expected.corner[0], top = expected.corner[1];
        const int right = image.width() - expected.corner[2], bottom = image.height() - expected.corner[3];
        ASSERT_LT(left, right) << "the corners leave no middle column";
        ASSERT_LE(top, bottom);
        // Stretching or tiling repeats the middle: along an axis that has
        // borders, every middle column must equal the first one and every
        // middle row the first middle row. An axis without borders is
        // stretched as a whole and may hold any picture.
        if (expected.corner[0] > 0 || expected.corner[2] > 0)
        {
            for (int x = left + 1; x < right; ++x)
                EXPECT_TRUE(SameColumn(image, left, x)) << "column " << x;
        }
        if (expected.corner[1] > 0 || expected.corner[3] > 0)
        {
            for (int y = top + 1; y < bottom; ++y)
                EXPECT_TRUE(SameRow(image, top, y)) << "row " << y;
        }
        ++checked;
    }
    EXPECT_GT(checked, 8);
}
