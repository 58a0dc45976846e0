// The edit's pixels in a real (offscreen) window: the caret blinking on the
// manager's timer while the window has the focus, the selection, the
// pre-edit drawn underlined at the caret, the placeholder. With
// ORVANE_SHOT_DIR set the pictures are also saved there for a person to look
// at.

#include "uilib/EditTestWindow.h"
#include "uilib/PixelCanvas.h"

#include <QDir>
#include <QGuiApplication>
#include <QInputMethod>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using edittest::TEditWindow;

namespace {

const QRect editBox(0, 0, 300, 30);
const QColor selection(0, 0, 255);

bool Dark(QColor pixel)
{
    return pixel.red() < 110 && pixel.green() < 110 && pixel.blue() < 110;
}

// Runs the loop (timers included) until the condition holds; false when the
// watchdog ran out first.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds watchdog = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + watchdog;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        edittest::Pump();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void SaveShot(const QImage& picture, const char* name)
{
    const QByteArray folder = qgetenv("ORVANE_SHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(QString::fromUtf8(folder));
        picture.save(QDir(QString::fromUtf8(folder)).filePath(QString::fromLatin1(name)));
    }
}

const char* kLook = "textcolor='#FF000000' bkcolor='#FFFFFFFF' selectedbkcolor='#FF0000FF' "
                    "selectedtextcolor='#FFFFFFFF' textpadding='4,0,4,0'";

} // namespace

TEST(EditPaint, TheCaretBlinksOnlyWhileTheEditAndItsWindowHaveTheFocus)
{
    TEditWindow w(kLook);
    const auto caretPixels = [&] { return pixel::Count(w.window.Print(300, 60), editBox, Dark); };
    EXPECT_EQ(caretPixels(), 0) << "no caret without the focus";
    w.Focus();
    EXPECT_GT(caretPixels(), 5);
    // The blink timer turns it off, then on again.
    EXPECT_TRUE(PumpUntil([&] { return caretPixels() == 0; }));
    EXPECT_TRUE(PumpUntil([&] { return caretPixels() > 5; }));

    // The window losing the keyboard focus stops the caret; getting it back
    // shows it at once.
    ::SendMessage(w.Hwnd(), WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(caretPixels(), 0);
    EXPECT_EQ(w.window.Manager().GetFocus(), w.edit);
    ::SendMessage(w.Hwnd(), WM_SETFOCUS, 0, 0);
    EXPECT_GT(caretPixels(), 5);
}

TEST(EditPaint, SelectionAndPreeditAreDrawnWhereTheTextIs)
{
    TEditWindow w(kLook);
    w.Focus();
    edittest::TypeText(w.Hwnd(), QString::fromUtf8("Radio 电台"));
    edittest::SendKey(w.Hwnd(), Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
    const QImage selected = w.window.Print(300, 60);
    SaveShot(selected, "edit-selection.png");
    const int selectionPixels = pixel::CountColour(selected, editBox, selection);
    EXPECT_GT(selectionPixels, 100);
    // The selection covers the Chinese word only: the left of the line has none.
    EXPECT_EQ(pixel::CountColour(selected, QRect(0, 0, 30, 30), selection), 0);

    edittest::SendKey(w.Hwnd(), Qt::Key_End);
    const QImage before = w.window.Print(300, 60);
    const int inkBefore = pixel::Count(before, editBox, Dark);
    edittest::SendInputMethod(w.Hwnd(), QString::fromUtf8("ni hao"));
    const QImage composing = w.window.Print(300, 60);
    SaveShot(composing, "edit-preedit.png");
    EXPECT_EQ(pixel::CountColour(composing, editBox, selection), 0);
    // The pre-edit adds ink right of the committed text, and an underline
    // runs below it: a row of dark pixels at least as wide as a few letters.
    EXPECT_GT(pixel::Count(composing, editBox, Dark), inkBefore + 20);
    int longestRun = 0;
    for (int y = 15; y < 30; ++y) {
        int run = 0;
        for (int x = 0; x < 300; ++x) {
            run = Dark(composing.pixelColor(x, y)) ? run + 1 : 0;
            longestRun = std::max(longestRun, run);
        }
    }
    EXPECT_GT(longestRun, 20);
}

TEST(EditPaint, PlaceholderShowsOnlyWhileTheEditIsEmpty)
{
    TEditWindow w("placeholder='电台地址' placeholdercolor='#FFFF0000' bkcolor='#FFFFFFFF'");
    const auto placeholderPixels = [&] { return pixel::Count(w.window.Print(300, 60), editBox, pixel::Reddish); };
    EXPECT_GT(placeholderPixels(), 10);
    w.edit->SetText("x");
    EXPECT_EQ(placeholderPixels(), 0);
    w.edit->SetText("");
    w.Focus();
    edittest::SendInputMethod(w.Hwnd(), QStringLiteral("ni"));
    EXPECT_EQ(placeholderPixels(), 0) << "a composition hides the placeholder too";
}

TEST(EditPaint, TheInputMethodHearsOfCaretMovesWhileTheWindowHasTheFocus)
{
    TEditWindow w(kLook);
    QWidget* widget = WidgetFromHwnd(w.Hwnd());
    ::ShowWindow(w.Hwnd(), SW_SHOW);
    widget->activateWindow();
    ASSERT_TRUE(PumpUntil([&] { return QGuiApplication::focusObject() == widget; }));
    int moved = 0;
    const QMetaObject::Connection connection = QObject::connect(
        QGuiApplication::inputMethod(), &QInputMethod::cursorRectangleChanged, [&moved] { ++moved; });
    w.Focus();
    edittest::TypeText(w.Hwnd(), QStringLiteral("abc"));
    const int afterTyping = moved;
    EXPECT_GT(afterTyping, 0);
    edittest::SendKey(w.Hwnd(), Qt::Key_Home);
    EXPECT_GT(moved, afterTyping);
    QObject::disconnect(connection);
    EXPECT_EQ(QGuiApplication::inputMethod()->cursorRectangle().toRect().x(),
              edittest::Query(w.Hwnd(), Qt::ImCursorRectangle).toRect().x());
}
