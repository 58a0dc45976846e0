#include "platform/win/Win.h"
#include "platform/win/WinQt.h"

#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QResource>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

// The test executable carries its own resources (WinTestResources.qrc):
// ICON/107, UFONT/122 (a font of the family "OrvaneProbe") and TEXT/notes.

TEST(Resources, FindByIdOrNameAndReadTheBytes)
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    ASSERT_NE(instance, nullptr);
    HRSRC byName = FindResource(instance, "notes", "TEXT");
    ASSERT_NE(byName, nullptr);
    HGLOBAL loaded = LoadResource(instance, byName);
    ASSERT_NE(loaded, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    DWORD size = SizeofResource(instance, byName);
    ASSERT_EQ(size, 15u);
    EXPECT_EQ(std::string(bytes, size), "resource bytes\n");

    HRSRC byId = FindResource(instance, MAKEINTRESOURCE(122), "UFONT");
    ASSERT_NE(byId, nullptr);
    EXPECT_EQ(FindResource(instance, "#122", "UFONT"), byId) << "\"#122\" names id 122";
    EXPECT_EQ(FindResource(instance, MAKEINTRESOURCE(123), "UFONT"), nullptr);
    EXPECT_EQ(FindResource(instance, MAKEINTRESOURCE(122), "ICON"), nullptr);
    EXPECT_EQ(FindResource(instance, nullptr, "UFONT"), nullptr);
    EXPECT_EQ(SizeofResource(instance, nullptr), 0u);
    EXPECT_EQ(LockResource(nullptr), nullptr);
}

TEST(Resources, EmbeddedFontRegistersItsFamilyAndIsRemovedByItsHandle)
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    HRSRC resource = FindResource(instance, MAKEINTRESOURCE(122), "UFONT");
    ASSERT_NE(resource, nullptr);
    void* data = LockResource(LoadResource(instance, resource));
    DWORD fonts = 0;
    HANDLE font = AddFontMemResourceEx(data, SizeofResource(instance, resource), nullptr, &fonts);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(fonts, 1u);
    EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("OrvaneProbe")));
    EXPECT_TRUE(RemoveFontMemResourceEx(font));
    EXPECT_FALSE(QFontDatabase::families().contains(QStringLiteral("OrvaneProbe")));
    EXPECT_FALSE(RemoveFontMemResourceEx(font)) << "removed twice";
    // A font handle is no event or thread.
    EXPECT_FALSE(CloseHandle(font));

    const char garbage[] = "not a font at all";
    fonts = 7;
    EXPECT_EQ(AddFontMemResourceEx(garbage, sizeof garbage, nullptr, &fonts), nullptr);
    EXPECT_EQ(fonts, 0u);
    EXPECT_EQ(AddFontMemResourceEx(nullptr, 10, nullptr, nullptr), nullptr);
}

namespace {

QByteArray Locked(const char* name)
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    HRSRC resource = FindResource(instance, name, "TEXT");
    if (resource == nullptr)
        return {};
    const void* data = LockResource(LoadResource(instance, resource));
    return data == nullptr ? QByteArray()
                           : QByteArray(static_cast<const char*>(data), SizeofResource(instance, resource));
}

// Draws a few letters of the probe family, so that its glyphs are read from
// wherever the font database keeps the font's bytes.
int InkOfProbeText()
{
    QImage canvas(64, 32, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    QFont font(QStringLiteral("OrvaneProbe"));
    font.setPixelSize(20);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(canvas.rect(), Qt::AlignCenter, QStringLiteral("AB"));
    painter.end();
    int ink = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            ink += canvas.pixelColor(x, y) != QColor(Qt::white) ? 1 : 0;
    return ink;
}

} // namespace

TEST(Resources, StoredResourceIsUsedWhereItLiesAndAPackedOneIsUnpacked)
{
    QFile file(QStringLiteral(":/TEXT/stored"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();
    ASSERT_FALSE(original.isEmpty());

    QResource stored(QStringLiteral(":/TEXT/stored"));
    ASSERT_EQ(stored.compressionAlgorithm(), QResource::NoCompression);
    HINSTANCE instance = GetModuleHandle(nullptr);
    HRSRC resource = FindResource(instance, "stored", "TEXT");
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(LockResource(LoadResource(instance, resource)), static_cast<const void*>(stored.data()))
        << "an uncompressed resource is not copied";
    EXPECT_EQ(Locked("stored"), original);
    EXPECT_EQ(LoadResource(instance, resource), LoadResource(instance, resource)) << "loaded once";

    QResource packed(QStringLiteral(":/TEXT/packed"));
    ASSERT_NE(packed.compressionAlgorithm(), QResource::NoCompression);
    EXPECT_EQ(Locked("packed"), original) << "a compressed resource reads as its original bytes";
}

TEST(Resources, FontFromAStoredResourceOrFromFreedMemoryDrawsItsGlyphs)
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    HRSRC resource = FindResource(instance, "stored", "TEXT");
    ASSERT_NE(resource, nullptr);
    const DWORD size = SizeofResource(instance, resource);
    const void* inPlace = LockResource(LoadResource(instance, resource));

    // Straight from the resource.
    DWORD fonts = 0;
    HANDLE font = AddFontMemResourceEx(inPlace, size, nullptr, &fonts);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(fonts, 1u);
    EXPECT_GT(InkOfProbeText(), 0);
    EXPECT_TRUE(RemoveFontMemResourceEx(font));

    // From a buffer the caller frees at once: the font must not depend on it.
    auto* buffer = new std::vector<char>(static_cast<const char*>(inPlace), static_cast<const char*>(inPlace) + size);
    font = AddFontMemResourceEx(buffer->data(), size, nullptr, &fonts);
    std::fill(buffer->begin(), buffer->end(), '\0');
    delete buffer;
    ASSERT_NE(font, nullptr);
    EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("OrvaneProbe")));
    EXPECT_GT(InkOfProbeText(), 0);
    EXPECT_TRUE(RemoveFontMemResourceEx(font));
}

TEST(Resources, PictureFormatIsToldByTheFirstBytes)
{
    struct TRow
    {
        std::string bytes;
        const char* format;
    };
    const TRow rows[] = {
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "png"},
        {"\xff\xd8\xff\xe0\0\x10JFIF", "jpeg"},
        {"GIF89a\x01\0", "gif"},
        {"GIF87a", "gif"},
        {"BM6\0\0\0", "bmp"},
        {std::string("\0\0\1\0\1\0", 6), "ico"},
        {"\x89PNG\r\n", nullptr},  // cut before its signature ends
        {"P6\n4 4\n255\n", nullptr},
        {"GIF90a", nullptr},
        {"", nullptr},
    };
    for (const TRow& row : rows) {
        const char* format = PictureFormat(row.bytes.data(), row.bytes.size());
        if (row.format == nullptr)
            EXPECT_EQ(format, nullptr) << row.bytes;
        else
            EXPECT_STREQ(format, row.format) << row.bytes;
    }
    EXPECT_EQ(PictureFormat(nullptr, 8), nullptr);
}

TEST(Resources, IconLoadsSharedAndSetsTheWindowIcon)
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    HICON icon = LoadIcon(instance, MAKEINTRESOURCE(107));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIcon(instance, MAKEINTRESOURCE(107)), icon) << "one shared icon per resource";
    QIcon picture = IconFromHicon(icon);
    ASSERT_FALSE(picture.isNull());
    QImage image = picture.pixmap(16, 16).toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(8, 8), QColor(255, 0, 0));
    EXPECT_EQ(LoadIcon(instance, MAKEINTRESOURCE(108)), nullptr);

    // Destroying a shared icon leaves it usable, as Win32 leaves shared icons.
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(IconFromHicon(icon).isNull());

    WNDCLASS windowClass{0, DefWindowProc, instance, "IconTest"};
    RegisterClass(&windowClass);
    HWND window = CreateWindowEx(0, "IconTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    EXPECT_EQ(SendMessage(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_FALSE(WidgetFromHwnd(window)->windowIcon().isNull());
    EXPECT_EQ(SendMessage(window, WM_SETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(icon))
        << "answers the previous icon";

    HICON own = HiconFromIcon(picture);
    EXPECT_TRUE(DestroyIcon(own));
    EXPECT_FALSE(DestroyIcon(own));
    EXPECT_TRUE(IconFromHicon(own).isNull());
}

TEST(Resources, WindowIconsTravelAtTheSizesAWindowIconIsDrawnAt)
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    WNDCLASS windowClass{0, DefWindowProc, instance, "IconSizeTest"};
    RegisterClass(&windowClass);
    HWND window = CreateWindowEx(0, "IconSizeTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    ASSERT_NE(window, nullptr);
    auto solid = [](int size, Qt::GlobalColor colour) {
        QPixmap picture(size, size);
        picture.fill(colour);
        return picture;
    };

    // A large picture with a small one beside it: the small one goes as it
    // is, the large one stays at home.
    QIcon big(solid(256, Qt::red));
    big.addPixmap(solid(48, Qt::green));
    QIcon small(solid(16, Qt::blue));
    HICON bigIcon = HiconFromIcon(big);
    HICON smallIcon = HiconFromIcon(small);
    SendMessage(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessage(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    QList<QSize> sizes = WidgetFromHwnd(window)->windowIcon().availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    EXPECT_EQ(sizes, (QList<QSize>{QSize(16, 16), QSize(48, 48)}));
    EXPECT_EQ(WidgetFromHwnd(window)->windowIcon().pixmap(48, 48).toImage().pixelColor(24, 24), QColor(Qt::green))
        << "the picture drawn for 48 pixels, not the large one scaled";

    // Both icons drawn at 48 pixels: the window gets the large icon's one
    // only, not two pictures of one size.
    QIcon smallToo(solid(16, Qt::blue));
    smallToo.addPixmap(solid(48, Qt::yellow));
    HICON smallTooIcon = HiconFromIcon(smallToo);
    SendMessage(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallTooIcon));
    sizes = WidgetFromHwnd(window)->windowIcon().availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    EXPECT_EQ(sizes, (QList<QSize>{QSize(16, 16), QSize(48, 48)}));
    EXPECT_EQ(WidgetFromHwnd(window)->windowIcon().pixmap(48, 48).toImage().pixelColor(24, 24), QColor(Qt::green));

    // Only a large picture: it goes once, made at 48 pixels.
    HICON onlyLarge = HiconFromIcon(QIcon(solid(256, Qt::red)));
    SendMessage(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(onlyLarge));
    SendMessage(window, WM_SETICON, ICON_SMALL, 0);
    EXPECT_EQ(WidgetFromHwnd(window)->windowIcon().availableSizes(), (QList<QSize>{QSize(48, 48)}));

    DestroyWindow(window);
    for (HICON icon : {bigIcon, smallIcon, smallTooIcon, onlyLarge})
        DestroyIcon(icon);
}

TEST(Resources, ModuleFileNameIsTheExecutableAndIsCutSafely)
{
    char path[4096];
    DWORD length = GetModuleFileName(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::strlen(path), length);
    EXPECT_EQ(access(path, X_OK), 0);
    EXPECT_NE(std::string(path).find("platform_win_test"), std::string::npos);
    std::string name = std::string(path).substr(std::string(path).find_last_of('/') + 1);
    EXPECT_EQ(GetModuleHandle(name.c_str()), GetModuleHandle(nullptr));
    EXPECT_EQ(GetModuleHandle("other.dll"), nullptr);

    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetModuleFileName(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(small[sizeof small - 1], '\0');
    EXPECT_EQ(std::string(small), std::string(path).substr(0, sizeof small - 1));
    EXPECT_EQ(GetModuleFileName(nullptr, small, 0), 0u);
}

TEST(Resources, ScreenAndCursor)
{
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
    ASSERT_TRUE(SetCursorPos(123, 45));
    POINT point{};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 123);
    EXPECT_EQ(point.y, 45);
}
