// The main window as a user sees it, pixel for pixel: what the window system
// holds for it (the offscreen screen's copy of the window, filled only by the
// paints the window asked for) against a picture recorded once and kept in
// tests/app/data. A repaint that misses a changed part, or paints more than
// the part that changed, shows here.
//
// When the picture differs, the one seen is written beside the test's run
// folder (its path is in the failure) so that it can be looked at, or taken
// as the new reference after a deliberate change of the look.

#include "app/RadioWndFixture.h"
#include "platform/win/WinQt.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace apptest {
namespace {

const char* const kReferencePicture = ORVANE_SOURCE_DIR "/tests/app/data/main-window.png";

// Two regions of five and four names: two rows of the category page, text
// of the embedded font on every card of the window.
const char* const kCatalogue =
    "<catalogue>"
    "<city name=\"北京\"><station name=\"音乐台\" url=\"http://127.0.0.1:9/a\" style=\"流行\"/></city>"
    "<city name=\"上海\"/><city name=\"广东\"/><city name=\"四川\"/><city name=\"湖南\"/>"
    "<styles><style name=\"流行\"/><style name=\"新闻\"/><style name=\"古典\"/><style name=\"摇滚\"/></styles>"
    "</catalogue><version>1</version>";

// Records the rectangles of every paint the window's widget receives.
class CPaintRecorder : public QObject
{
public:
    explicit CPaintRecorder(QWidget* widget) : watched(widget) { watched->installEventFilter(this); }
    ~CPaintRecorder() override { watched->removeEventFilter(this); }

    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (object == watched && event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return false;
    }

private:
    QWidget* watched;
};

class CRadioWndPictureTest : public CRadioWndTest
{
protected:
    QWidget* Widget() const { return WidgetFromHwnd(Hwnd()); }

    // What the window system shows of the window now, after every pending
    // paint has been done.
    QImage Seen()
    {
        PumpFor(std::chrono::milliseconds(50));
        QWidget* widget = Widget();
        if (widget == nullptr)
            return {};
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(widget->winId());
        return shot.toImage().convertToFormat(QImage::Format_ARGB32);
    }

    // The window as a paint of all of it draws it now.
    QImage WholeRepaint()
    {
        QWidget* widget = Widget();
        return widget == nullptr ? QImage() : widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    }

    static int Differences(const QImage& a, const QImage& b)
    {
        if (a.size() != b.size())
            return std::max(1, a.width() * a.height());
        int differences = 0;
        for (int y = 0; y < a.height(); ++y) {
            const auto* lineA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
            const auto* lineB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
            for (int x = 0; x < a.width(); ++x)
                differences += lineA[x] != lineB[x] ? 1 : 0;
        }
        return differences;
    }

    // The number of pixels in which `seen` differs from the reference; the
    // picture seen is kept for a look when there is any.
    int DifferencesFromReference(const QImage& seen, const std::string& name)
    {
        const QImage reference = QImage(kReferencePicture).convertToFormat(QImage::Format_ARGB32);
        const int differences = Differences(seen, reference);
        if (differences != 0) {
            const std::filesystem::path kept =
                std::filesystem::temp_directory_path() / ("orvane-main-window-" + name + ".png");
            seen.save(QString::fromStdString(kept.string()));
            ADD_FAILURE() << differences << " pixels differ from " << kReferencePicture << "; seen: " << kept;
        }
        return differences;
    }

    void StartWithCatalogue()
    {
        WriteCatalogue(kCatalogue);
        Start();
        ASSERT_NE(Widget(), nullptr);
    }
};

TEST_F(CRadioWndPictureTest, StartedWindowLooksAsRecorded)
{
    StartWithCatalogue();
    EXPECT_EQ(DifferencesFromReference(Seen(), "started"), 0);
}

TEST_F(CRadioWndPictureTest, PlayPauseSwapRepaintsTheButtonAloneAndLooksAsBefore)
{
    StartWithCatalogue();
    const QImage before = Seen();
    ASSERT_FALSE(before.isNull());
    ASSERT_NE(window->playButton, nullptr);
    ASSERT_NE(window->pauseButton, nullptr);
    const RECT column = window->playButton->GetParent()->GetPos();
    const QRect buttonColumn(column.left, column.top, column.right - column.left, column.bottom - column.top);

    // The swap as playback makes it, there and back.
    CPaintRecorder recorder(Widget());
    window->playButton->SetVisible(false);
    window->pauseButton->SetVisible(true);
    const QImage playing = Seen();
    window->pauseButton->SetVisible(false);
    window->playButton->SetVisible(true);
    const QImage back = Seen();

    EXPECT_GT(recorder.paints, 0);
    EXPECT_TRUE(buttonColumn.contains(recorder.painted.boundingRect()))
        << "painted " << recorder.painted.boundingRect().x() << "," << recorder.painted.boundingRect().y() << " "
        << recorder.painted.boundingRect().width() << "x" << recorder.painted.boundingRect().height();

    // Only the button column looks different while the pause button shows.
    int changedOutside = 0;
    int changedInside = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (before.pixel(x, y) != playing.pixel(x, y))
                ++(buttonColumn.contains(x, y) ? changedInside : changedOutside);
        }
    }
    EXPECT_GT(changedInside, 0);
    EXPECT_EQ(changedOutside, 0);
    EXPECT_EQ(DifferencesFromReference(back, "swapped-back"), 0);
}

TEST_F(CRadioWndPictureTest, PagesShownInTurnLookAsAWholeRepaintOfThem)
{
    StartWithCatalogue();
    auto* rows = static_cast<CContainerUI*>(window->sortsPanel);
    ASSERT_NE(rows, nullptr);
    ASSERT_GT(rows->GetCount(), 1);
    auto* firstRow = static_cast<CContainerUI*>(rows->GetItemAt(1)->GetInterface("Container"));
    ASSERT_NE(firstRow, nullptr);

    // Each step changes part of the window; after its repaints the window
    // must look as a repaint of all of it would draw it.
    Notify(firstRow->GetItemAt(0), "click");
    ASSERT_TRUE(window->radiosPanel->IsVisible());
    EXPECT_EQ(Differences(Seen(), WholeRepaint()), 0) << "station page";
    Notify(Manager().FindControl("mainpage"), "click");
    ASSERT_TRUE(window->sortsPanel->IsVisible());
    EXPECT_EQ(Differences(Seen(), WholeRepaint()), 0) << "category page again";
    Notify(firstRow->GetItemAt(1), "click");
    EXPECT_EQ(Differences(Seen(), WholeRepaint()), 0) << "another region";
    window->fmName->SetText("北京音乐台");
    EXPECT_EQ(Differences(Seen(), WholeRepaint()), 0) << "a new title";
}

// The window printed as a screen at twice the density shows it: the same
// layout in logical pixels, its pictures taken from the skin's @2x files and
// laid 1:1 on the device pixels.
TEST_F(CRadioWndPictureTest, AtTwiceTheDensityTheSameLayoutIsDrawnFromTheSharpPictures)
{
    StartWithCatalogue();
    const QImage atOne = WholeRepaint();
    ASSERT_FALSE(atOne.isNull());
    QImage atTwo(atOne.size() * 2, QImage::Format_ARGB32_Premultiplied);
    atTwo.setDevicePixelRatio(2.0);
    atTwo.fill(Qt::transparent);
    {
        QPainter painter(&atTwo);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        ASSERT_TRUE(::PrintWindow(Hwnd(), &painter, 0));
    }
    atTwo = atTwo.convertToFormat(QImage::Format_ARGB32);

    // Each opaque pixel of a button's @2x picture is on the screen as it is:
    // placed at twice the control's logical position, neither scaled nor moved.
    const char* const buttons[][2] = {
        {"play", "btn_play_nor@2x.png"}, {"prev", "btn_prev_nor@2x.png"}, {"next", "btn_next_nor@2x.png"},
        {"closebtn", "btn_close_nor@2x.png"}, {"skinbtn", "btn_skin_nor@2x.png"},
    };
    for (const auto& [name, file] : buttons) {
        SCOPED_TRACE(name);
        CControlUI* button = Manager().FindControl(name);
        ASSERT_NE(button, nullptr);
        const RECT place = button->GetPos();
        const QImage picture =
            QImage(QString::fromUtf8(ORVANE_SOURCE_DIR "/skin/files/") + QString::fromUtf8(file)).convertToFormat(
                QImage::Format_ARGB32);
        ASSERT_EQ(picture.size(), QSize(place.right - place.left, place.bottom - place.top) * 2);
        int opaque = 0;
        int differing = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (qAlpha(picture.pixel(x, y)) != 255)
                    continue;
                ++opaque;
                differing += atTwo.pixel(place.left * 2 + x, place.top * 2 + y) != picture.pixel(x, y) ? 1 : 0;
            }
        }
        EXPECT_GT(opaque, 20);
        EXPECT_EQ(differing, 0);
    }

    // Averaged down to one pixel per logical pixel it is the 1x window, but
    // for the finer edges of text and pictures: every control is where and
    // as large as it is at 1x.
    const QImage averaged = atTwo.scaled(atOne.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    long long total = 0;
    int far = 0;
    for (int y = 0; y < atOne.height(); ++y) {
        for (int x = 0; x < atOne.width(); ++x) {
            const QRgb a = atOne.pixel(x, y);
            const QRgb b = averaged.pixel(x, y);
            const int difference = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                   std::abs(qBlue(a) - qBlue(b));
            total += difference;
            far += difference > 3 * 64 ? 1 : 0;
        }
    }
    const double pixels = static_cast<double>(atOne.width()) * atOne.height();
    EXPECT_LT(total / pixels, 6.0);
    EXPECT_LT(far / pixels, 0.01);
}

} // namespace
} // namespace apptest
