// The skin pictures against their catalogue, skin/IMAGES.md: every picture
// listed is there at its size, every picture there is listed, the looks of
// one control really differ, and the nine-slice pictures can be stretched or
// tiled without a seam; the same for the variants of dense screens, which
// sit beside every picture at exactly their scale times its size.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <vector>

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

// The variants of dense screens: "name@2x.png" at twice the size of
// "name.png", "name@1.5x.png" at one and a half; the JPEG backgrounds have
// the twice one only.
struct TVariant
{
    const char* suffix;
    double scale;
    bool jpeg;   // whether a JPEG picture has it
};
const TVariant kVariants[] = {{"@2x", 2.0, true}, {"@1.5x", 1.5, false}};

QString VariantName(const QString& name, const TVariant& variant)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return name.left(dot) + QLatin1String(variant.suffix) + name.mid(dot);
}

bool HasVariant(const QString& name, const TVariant& variant)
{
    return variant.jpeg || !name.endsWith(QStringLiteral(".jpg"));
}

// A nine-slice border of a variant, in its pixels: the image cache's
// rounding, up, so that the border holds all of the 1x border's drawing.
int ScaledBorder(int border, double scale)
{
    return static_cast<int>(std::ceil(border * scale - 1e-6));
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
    std::set<QString> variants;
    for (const auto& [name, image] : listed)
    {
        (void)image;
        for (const TVariant& variant : kVariants)
            if (HasVariant(name, variant))
                variants.insert(VariantName(name, variant));
    }
    const QStringList pictures =
        QDir(kSkinFolder).entryList({QStringLiteral("*.png"), QStringLiteral("*.jpg")}, QDir::Files);
    ASSERT_FALSE(pictures.isEmpty());
    // A variant is described by its picture's row; one whose picture is gone
    // (or a variant the image cache would never ask for) is not.
    for (const QString& picture : pictures)
        EXPECT_EQ(listed.count(picture) + variants.count(picture), 1u)
            << picture.toStdString() << " is not described in skin/IMAGES.md";
}

TEST(SkinImages, EveryPictureHasItsVariantsAtExactlyTheirScale)
{
    int checked = 0;
    for (const auto& [name, expected] : ListedImages())
    {
        for (const TVariant& variant : kVariants)
        {
            if (!HasVariant(name, variant))
                continue;
            const QString variantName = VariantName(name, variant);
            SCOPED_TRACE(variantName.toStdString());
            const QImage image = Load(variantName);
            ASSERT_FALSE(image.isNull()) << "missing";
            // Exactly: the image cache lays a variant out at its pixel size
            // divided by its scale, which must be the 1x size.
            EXPECT_EQ(image.width(), expected.width * variant.scale);
            EXPECT_EQ(image.height(), expected.height * variant.scale);
            ++checked;
        }
    }
    // Two variants of each of the fifty-odd PNGs, one of each background.
    EXPECT_GT(checked, 90);
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
        struct TScaled
        {
            QString name;
            double scale;
        };
        std::vector<TScaled> pictures{{name, 1.0}};
        for (const TVariant& variant : kVariants)
            if (HasVariant(name, variant))
                pictures.push_back({VariantName(name, variant), variant.scale});
        for (const TScaled& picture : pictures)
        {
            SCOPED_TRACE(picture.name.toStdString());
            QImage image = Load(picture.name);
            ASSERT_FALSE(image.isNull());
            int corner[4];
            for (int i = 0; i < 4; ++i)
                corner[i] = ScaledBorder(expected.corner[i], picture.scale);
            const int left = corner[0], top = corner[1];
            const int right = image.width() - corner[2], bottom = image.height() - corner[3];
            ASSERT_LT(left, right) << "the corners leave no middle column";
            ASSERT_LE(top, bottom);
            // Stretching or tiling repeats the middle: along an axis that has
            // borders, every middle column must equal the first one and every
            // middle row the first middle row. An axis without borders is
            // stretched as a whole and may hold any picture.
            if (corner[0] > 0 || corner[2] > 0)
            {
                for (int x = left + 1; x < right; ++x)
                    EXPECT_TRUE(SameColumn(image, left, x)) << "column " << x;
            }
            if (corner[1] > 0 || corner[3] > 0)
            {
                for (int y = top + 1; y < bottom; ++y)
                    EXPECT_TRUE(SameRow(image, top, y)) << "row " << y;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 8 * 3);
}
