// Pixel checks of the leaf controls through a real (offscreen) window and
// its paint manager: pictures are written by the test into a temporary
// resource folder, the layout's own attribute lists are applied, and the
// window is printed into a picture.

#include "uilib/ControlsTestWindow.h"
#include "uilib/PixelCanvas.h"

#include "uilib/controls/ButtonUI.h"
#include "uilib/controls/HorizontalLayoutUI.h"
#include "uilib/controls/LabelUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/core/ImageCache.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using pixel::CountColour;
using pixel::Same;

namespace {

const QColor grey2(200, 200, 200);     // bk_gray2.png: a station's normal look
const QColor light(250, 240, 160);     // bk_light.png: under the mouse
const QColor grey(150, 150, 150);      // bk_gray.png: selected
const QColor dotColour(0, 120, 255);   // dot.png
const QColor pressedColour(20, 20, 90);

// A pixel clearly tinted towards the station text colour #990225 over any of
// the backgrounds above.
bool TextInk(QColor pixel)
{
    return pixel.red() - pixel.green() > 60 && pixel.red() - pixel.blue() > 40;
}

class ControlsPaint : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Save("bk_gray2.png", pixel::Solid(4, 4, grey2));
        Save("bk_light.png", pixel::Solid(4, 4, light));
        Save("bk_gray.png", pixel::Solid(4, 4, grey));
        Save("dot.png", pixel::Solid(6, 6, dotColour));
        Save("pushed.png", pixel::Solid(4, 4, pressedColour));
        Save("fill.png", pixel::Solid(4, 4, Qt::red));
        Save("track.png", pixel::Solid(4, 4, Qt::black));
        Save("thumb.png", pixel::Solid(10, 20, Qt::green));
        CPaintManagerUI::SetResourcePath(folder.path().toUtf8().constData());
        ImageCache::Clear();
    }
    void TearDown() override { ImageCache::Clear(); }

    void Save(const char* name, const QImage& picture)
    {
        ASSERT_TRUE(picture.save(QDir(folder.path()).filePath(QString::fromLatin1(name))));
    }

    QTemporaryDir folder;
};

} // namespace

TEST_F(ControlsPaint, StationOptionShowsItsStateImagesDotAndText)
{
    CControlsTestWindow window(200, 30);
    auto* row = new CHorizontalLayoutUI();
    auto* station = new COptionUI();
    // The station option's attribute list, as the station page applies it.
    station->ApplyAttributeList(
        "group=\"radios\" name=\"fmradio\" text=\"Station\" align=\"left\" textcolor=\"#FF990225\" "
        "textpadding=\"20,0,0,0\" foreimage=\"file='dot.png' dest='10,0,0,0' ycentered='true'\" "
        "normalimage=\"file='bk_gray2.png' xtiled='true' ytiled='true'\" "
        "hotimage=\"file='bk_light.png' xtiled='true' ytiled='true'\" "
        "selectedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"");
    row->Add(station);
    window.Attach(row);

    QImage shot = window.Print(200, 30);
    EXPECT_TRUE(Same(shot.pixelColor(5, 15), grey2));
    EXPECT_TRUE(Same(shot.pixelColor(195, 2), grey2));
    // The dot: 10 px from the left, natural size, vertically centred.
    EXPECT_EQ(CountColour(shot, QRect(10, 12, 6, 6), dotColour), 36);
    EXPECT_EQ(CountColour(shot, shot.rect(), dotColour), 36);
    // The text starts after its 20-pixel padding.
    EXPECT_GT(pixel::Count(shot, QRect(20, 0, 180, 30), TextInk), 10);
    EXPECT_EQ(pixel::Count(shot, QRect(0, 0, 20, 30), TextInk), 0);

    window.MouseMove(100, 15);
    shot = window.Print(200, 30);
    EXPECT_TRUE(Same(shot.pixelColor(5, 15), light));

    station->Selected(true);
    shot = window.Print(200, 30);
    EXPECT_TRUE(Same(shot.pixelColor(5, 15), grey));
    // The dot stays on top of the selected look.
    EXPECT_EQ(CountColour(shot, QRect(10, 12, 6, 6), dotColour), 36);
}

TEST_F(ControlsPaint, ButtonLookFollowsHotAndPushedAndFallsBackToNormal)
{
    CControlsTestWindow window(100, 40);
    auto* row = new CHorizontalLayoutUI();
    auto* button = new CButtonUI();
    button->ApplyAttributeList("normalimage=\"bk_gray2.png\" hotimage=\"bk_light.png\" pushedimage=\"pushed.png\"");
    auto* plain = new CButtonUI();
    plain->ApplyAttributeList("normalimage=\"bk_gray2.png\"");
    row->Add(button);
    row->Add(plain);
    window.Attach(row);

    EXPECT_TRUE(Same(window.Print(100, 40).pixelColor(25, 20), grey2));
    window.MouseMove(25, 20);
    EXPECT_TRUE(Same(window.Print(100, 40).pixelColor(25, 20), light));
    window.Press(25, 20);
    EXPECT_TRUE(Same(window.Print(100, 40).pixelColor(25, 20), pressedColour));
    // Dragged off while pressed: no longer pushed.
    window.MouseMove(75, 20);
    EXPECT_FALSE(Same(window.Print(100, 40).pixelColor(25, 20), pressedColour));
    window.Release(75, 20);

    // A button without a hot picture keeps its normal one under the mouse.
    window.MouseMove(75, 20);
    EXPECT_TRUE(Same(window.Print(100, 40).pixelColor(75, 20), grey2));
}

TEST_F(ControlsPaint, DisabledLabelDrawsInItsDisabledColour)
{
    CControlsTestWindow window(120, 30);
    auto* label = new CLabelUI();
    label->ApplyAttributeList("text=\"MMMM\" textcolor=\"#FFFF0000\" disabledtextcolor=\"#FF0000FF\"");
    window.Attach(label);

    auto reddish = [](QColor p) { return p.red() > 150 && p.blue() < 100; };
    auto bluish = [](QColor p) { return p.blue() > 150 && p.red() < 100; };
    QImage shot = window.Print(120, 30);
    EXPECT_GT(pixel::Count(shot, shot.rect(), reddish), 10);
    EXPECT_EQ(pixel::Count(shot, shot.rect(), bluish), 0);

    label->SetEnabled(false);
    shot = window.Print(120, 30);
    EXPECT_EQ(pixel::Count(shot, shot.rect(), reddish), 0);
    EXPECT_GT(pixel::Count(shot, shot.rect(), bluish), 10);
}

TEST_F(ControlsPaint, ProgressFillsUpToItsValueAndSliderDrawsItsThumbThere)
{
    CControlsTestWindow window(100, 40);
    auto* column = new CHorizontalLayoutUI();
    auto* bar = new CProgressUI();
    bar->ApplyAttributeList("min=\"0\" max=\"100\" value=\"25\" bkimage=\"track.png\" foreimage=\"fill.png\"");
    column->Add(bar);
    window.Attach(column);

    QImage shot = window.Print(100, 40);
    EXPECT_EQ(CountColour(shot, QRect(0, 0, 25, 40), Qt::red), 25 * 40);
    EXPECT_EQ(CountColour(shot, QRect(25, 0, 75, 40), Qt::black), 75 * 40);

    bar->SetValue(100);
    shot = window.Print(100, 40);
    EXPECT_EQ(CountColour(shot, shot.rect(), Qt::red), 100 * 40);

    // Slider of 110 px with a 10-px thumb: 100 px of travel for 0..100.
    CControlsTestWindow sliderWindow(110, 20);
    auto* slider = new CProgressUI();
    slider->ApplyAttributeList(
        "slider=\"true\" value=\"50\" bkimage=\"track.png\" foreimage=\"fill.png\" thumbimage=\"thumb.png\"");
    sliderWindow.Attach(slider);
    shot = sliderWindow.Print(110, 20);
    // The thumb takes its picture's size, 10 x 20, at 50 px.
    EXPECT_EQ(CountColour(shot, QRect(50, 0, 10, 20), Qt::green), 200);
    EXPECT_EQ(CountColour(shot, shot.rect(), Qt::green), 200);
    // Filled up to the thumb, track after it.
    EXPECT_EQ(CountColour(shot, QRect(0, 0, 50, 20), Qt::red), 50 * 20);
    EXPECT_EQ(CountColour(shot, QRect(60, 0, 50, 20), Qt::black), 50 * 20);
}
