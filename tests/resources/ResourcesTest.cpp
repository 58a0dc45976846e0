// The executable's resources as the window layer reads them: the embedded
// font under ":/UFONT/122" and the icons under ":/ICON/107" and ":/ICON/108",
// linked in through radio_resources.

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QRawFont>
#include <QResource>
#include <QString>

#include <gtest/gtest.h>

namespace {

constexpr const char* kFontResource = ":/UFONT/122";
constexpr const char* kFontFamily = "迷你简幼线";

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray FontBytes()
{
    return ReadFile(QString::fromUtf8(kFontResource));
}

} // namespace

TEST(EmbeddedFont, IsLinkedInWholeAndUncompressed)
{
    QByteArray committed = ReadFile(QStringLiteral(ORVANE_SOURCE_DIR "/resources/font/embedded-font.ttf"));
    ASSERT_FALSE(committed.isEmpty());

    QResource resource(QString::fromUtf8(kFontResource));
    ASSERT_TRUE(resource.isValid()) << "the resource object is not linked into this executable";
    // Stored as is, so the bytes can be handed to the font database in place.
    EXPECT_EQ(resource.compressionAlgorithm(), QResource::NoCompression);
    ASSERT_EQ(resource.size(), committed.size());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(resource.data()), static_cast<qsizetype>(resource.size())),
              committed);
}

TEST(EmbeddedFont, RegistersTheFamilyFromMemory)
{
    QByteArray bytes = FontBytes();
    ASSERT_FALSE(bytes.isEmpty());
    int id = QFontDatabase::addApplicationFontFromData(bytes);
    ASSERT_GE(id, 0);
    QStringList families = QFontDatabase::applicationFontFamilies(id);
    EXPECT_EQ(families, QStringList{QString::fromUtf8(kFontFamily)});

    // Asked for by name, the face is ours and not a fallback of the system.
    QFont font(QString::fromUtf8(kFontFamily), 18);
    EXPECT_EQ(QFontInfo(font).family(), QString::fromUtf8(kFontFamily));
    EXPECT_TRUE(QFontDatabase::removeApplicationFont(id));
}

TEST(EmbeddedFont, HasAGlyphForEveryCharacterOfTheInterface)
{
    QRawFont raw(FontBytes(), 18);
    ASSERT_TRUE(raw.isValid());
    // Texts the program itself shows, and the names of the shipped regions
    // and styles that the category page draws in this font.
    const char* texts[] = {
        "Orvane网络收音机", "听音乐,用Orvane网络收音机", "地区电台", "精选频道", "正在连接...",
        "缓冲中 100%", "播放中 128KB/S", "图片文件(*.bmp,*.jpg,*.png)",
        "中央北京天津河北山西内蒙古辽宁吉林黑龙江上海江苏浙江安徽福建江西山东河南湖北湖南广东广西海南"
        "重庆四川贵州云南西藏陕西甘肃青海宁夏新疆本地测试",
        "新闻音乐交通经济文艺戏曲都市生活故事体育外语民族乡村旅游教育测试",
    };
    for (const char* text : texts)
    {
        for (char32_t character : QString::fromUtf8(text).toUcs4())
        {
            EXPECT_TRUE(raw.supportsCharacter(character))
                << "no glyph for U+" << std::hex << static_cast<unsigned>(character) << " in \"" << text << "\"";
        }
    }
}

struct TIconRow
{
    const char* path;
    int size;
};

TEST(WindowIcons, EverySizeIsAPictureOnATransparentGround)
{
    const TIconRow rows[] = {
        {":/ICON/107", 256},
        {":/ICON/107-96", 96},
        {":/ICON/107-48", 48},
        {":/ICON/108", 32},
        {":/ICON/108-64", 64},
        {":/ICON/108-48", 48},
        {":/ICON/108-16", 16},
    };
    for (const TIconRow& row : rows)
    {
        SCOPED_TRACE(row.path);
        QImage image(QString::fromUtf8(row.path));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), row.size);
        EXPECT_EQ(image.height(), row.size);
        ASSERT_TRUE(image.hasAlphaChannel());
        // The tile is drawn on every size: its middle is opaque, and the
        // rounded corner leaves the very corner pixel clear.
        EXPECT_EQ(qAlpha(image.pixel(row.size / 2, row.size / 2)), 255);
        EXPECT_LT(qAlpha(image.pixel(0, 0)), 64);
    }
}
