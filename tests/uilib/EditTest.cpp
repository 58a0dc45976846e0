// The single-line edit in a real (offscreen) window, driven through the
// window's widget and the message loop as the platform drives it: key
// presses with their text, input method events and queries, mouse messages.

#include "uilib/EditTestWindow.h"
#include "uilib/NotifyRecorder.h"

#include "uilib/window/KeyClaims.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRect>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using edittest::TEditWindow;

namespace {

using TStep = std::function<void(TEditWindow&)>;

TStep Type(const char* utf8)
{
    return [text = QString::fromUtf8(utf8)](TEditWindow& w) { edittest::TypeText(w.Hwnd(), text); };
}

TStep Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return [key, modifiers](TEditWindow& w) { edittest::SendKey(w.Hwnd(), key, modifiers); };
}

TStep Preedit(const char* utf8)
{
    return [text = QString::fromUtf8(utf8)](TEditWindow& w) { edittest::SendInputMethod(w.Hwnd(), text); };
}

TStep Commit(const char* utf8, int replaceStart = 0, int replaceLength = 0)
{
    return [text = QString::fromUtf8(utf8), replaceStart, replaceLength](TEditWindow& w) {
        edittest::SendInputMethod(w.Hwnd(), QString(), text, replaceStart, replaceLength);
    };
}

struct TEditRow
{
    const char* name;
    const char* attributes;
    std::vector<TStep> steps;
    const char* expectedText;
    int expectedCaret;
    const char* expectedSelection;
};

const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
const Qt::KeyboardModifiers shift = Qt::ShiftModifier;

} // namespace

TEST(Edit, KeysAndInputMethodEventsEditTheText)
{
    const std::vector<TEditRow> rows = {
        {"ASCII typed", "", {Type("radio")}, "radio", 5, ""},
        {"Chinese typed as key text", "", {Type("中文电台")}, "中文电台", 4, ""},
        {"Space is a blank, not the window's key", "", {Type("a b")}, "a b", 3, ""},
        {"Backspace takes a whole combined character", "text='ae\xCC\x81'", {Key(Qt::Key_Backspace)}, "a", 1, ""},
        {"Delete takes a whole emoji", "text='\xF0\x9F\x8E\xB5x'", {Key(Qt::Key_Home), Key(Qt::Key_Delete)}, "x", 0,
         ""},
        {"Left and Right step whole characters", "text='\xE4\xB8\xAD\xF0\x9F\x8E\xB5'",
         {Key(Qt::Key_Left), Type("a")}, "中a\xF0\x9F\x8E\xB5", 2, ""},
        {"Ctrl+Left moves by word", "text='hello world'", {Key(Qt::Key_Left, ctrl), Type("X")}, "hello Xworld", 7,
         ""},
        {"Ctrl+Right moves by word", "text='hello world'", {Key(Qt::Key_Home), Key(Qt::Key_Right, ctrl), Type("X")},
         "hello Xworld", 7, ""},
        {"Shift+Home selects, typing replaces", "text='ab'", {Key(Qt::Key_Home, shift), Type("z")}, "z", 1, ""},
        {"Shift+Left selects one character", "text='abc'", {Key(Qt::Key_Left, shift)}, "abc", 2, "c"},
        {"Ctrl+Shift+Left selects a word", "text='one two'", {Key(Qt::Key_Left, ctrl | shift)}, "one two", 4,
         "two"},
        {"Ctrl+A and Delete", "text='abc'", {Key(Qt::Key_A, ctrl), Key(Qt::Key_Delete)}, "", 0, ""},
        {"Ctrl+Backspace removes a word", "text='one two'", {Key(Qt::Key_Backspace, ctrl)}, "one ", 4, ""},
        {"Ctrl+Z undoes a typing burst, Ctrl+Shift+Z redoes it", "",
         {Type("abc"), Key(Qt::Key_Z, ctrl), Type("-"), Key(Qt::Key_Z, ctrl), Key(Qt::Key_Z, ctrl | shift)}, "-",
         1, ""},
        {"Ctrl+Z then Ctrl+Y", "", {Type("ab"), Key(Qt::Key_Z, ctrl), Key(Qt::Key_Y, ctrl)}, "ab", 2, ""},
        {"Ctrl+C and Ctrl+V", "text='ab'",
         {Key(Qt::Key_A, ctrl), Key(Qt::Key_C, ctrl), Key(Qt::Key_End), Key(Qt::Key_V, ctrl)}, "abab", 4, ""},
        {"Ctrl+X cuts, Ctrl+V puts it back elsewhere", "text='ab'",
         {Key(Qt::Key_Left, shift), Key(Qt::Key_X, ctrl), Key(Qt::Key_Home), Key(Qt::Key_V, ctrl)}, "ba", 1, ""},
        {"maxchar stops typing", "maxchar='3'", {Type("abcdef")}, "abc", 3, ""},
        {"readonly takes no typing but selects", "readonly='true' text='xy'",
         {Type("a"), Key(Qt::Key_Backspace), Key(Qt::Key_Left, shift)}, "xy", 1, "y"},
        {"pre-edit stays out of the text", "text='a'", {Preedit("nihao")}, "a", 1, ""},
        {"commit replaces the pre-edit", "", {Preedit("ni"), Preedit("nihao"), Commit("你好")}, "你好", 2, ""},
        {"commit with a replacement before the caret", "text='hello'", {Commit("LO", -2, 2)}, "helLO", 5, ""},
        {"a pre-edit over a selection replaces it", "text='abc'", {Key(Qt::Key_A, ctrl), Preedit("x")}, "", 0, ""},
        {"a commit is clipped to maxchar", "maxchar='3' text='a'", {Commit("你好世界")}, "a你好", 3, ""},
        {"Escape clears a non-empty edit", "text='abc'", {Key(Qt::Key_Escape)}, "", 0, ""},
        {"Escape while composing ends the composition only", "text='abc'", {Preedit("ni"), Key(Qt::Key_Escape)},
         "abc", 3, ""},
        {"a caret move commits the pre-edit first", "text='ab'", {Preedit("你"), Key(Qt::Key_Home), Type("x")},
         "xab你", 1, ""},
    };
    for (const TEditRow& row : rows) {
        SCOPED_TRACE(row.name);
        TEditWindow w(row.attributes);
        w.Focus();
        for (const TStep& step : row.steps) {
            step(w);
        }
        EXPECT_EQ(w.Text(), QString::fromUtf8(row.expectedText));
        EXPECT_EQ(w.edit->GetCaretPosition(), row.expectedCaret);
        EXPECT_EQ(edittest::Utf8(w.edit->GetSelectedText()), QString::fromUtf8(row.expectedSelection));
    }
}

TEST(Edit, PreeditIsShownAtTheCaretUntilCommitted)
{
    TEditWindow w("text='ab'");
    w.Focus();
    edittest::SendKey(w.Hwnd(), Qt::Key_Left);
    edittest::SendInputMethod(w.Hwnd(), QString::fromUtf8("ni"));
    EXPECT_EQ(edittest::Utf8(w.edit->GetPreeditText()), QStringLiteral("ni"));
    EXPECT_EQ(w.Text(), QStringLiteral("ab"));
    edittest::SendInputMethod(w.Hwnd(), QString(), QString::fromUtf8("你"));
    EXPECT_EQ(w.Text(), QString::fromUtf8("a你b"));
    EXPECT_TRUE(w.edit->GetPreeditText().IsEmpty());
    // The focus leaving the edit drops a composition.
    edittest::SendInputMethod(w.Hwnd(), QString::fromUtf8("hao"));
    w.window.Manager().SetFocus(w.button);
    EXPECT_TRUE(w.edit->GetPreeditText().IsEmpty());
    EXPECT_EQ(w.Text(), QString::fromUtf8("a你b"));
}

TEST(Edit, NotifiesTextChangedForUserEditsAndReturnOnEnter)
{
    TEditWindow w;
    CNotifyRecorder recorder(w.window.Manager());
    w.Focus();
    edittest::TypeText(w.Hwnd(), QStringLiteral("ab"));
    edittest::SendInputMethod(w.Hwnd(), QStringLiteral("ni"));
    edittest::SendInputMethod(w.Hwnd(), QString(), QString::fromUtf8("你"));
    edittest::SendKey(w.Hwnd(), Qt::Key_Left);
    edittest::SendKey(w.Hwnd(), Qt::Key_Backspace);
    edittest::SendKey(w.Hwnd(), Qt::Key_Return);
    w.edit->SetText("set by the program");
    EXPECT_EQ(recorder.Types(), (std::vector<std::string>{"textchanged", "textchanged", "textchanged",
                                                          "textchanged", "return"}));
    EXPECT_EQ(recorder.Count("textchanged", w.edit), 4);
}

TEST(Edit, AnEditRemovedByItsOwnNotificationIsNotTouchedAgain)
{
    TEditWindow w;
    CNotifyRecorder recorder(w.window.Manager());
    recorder.onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == "textchanged") {
            w.window.Attach(new CButtonUI());
        }
    };
    w.Focus();
    edittest::TypeText(w.Hwnd(), QStringLiteral("a"));
    edittest::SendInputMethod(w.Hwnd(), QString(), QStringLiteral("b"));
    EXPECT_EQ(recorder.Count("textchanged"), 1);
    EXPECT_EQ(w.window.Manager().GetFocus(), nullptr);
}

TEST(Edit, EscapeInAnEmptyEditGivesTheFocusBack)
{
    TEditWindow w;
    w.Focus();
    edittest::SendKey(w.Hwnd(), Qt::Key_Escape);
    EXPECT_EQ(w.window.Manager().GetFocus(), nullptr);
    // Keys go nowhere now.
    edittest::TypeText(w.Hwnd(), QStringLiteral("a"));
    EXPECT_EQ(w.Text(), QString());
}

TEST(Edit, InputMethodQueriesAreAnsweredForTheFocusedEditOnly)
{
    TEditWindow w("maxchar='40'");
    EXPECT_FALSE(edittest::Query(w.Hwnd(), Qt::ImEnabled).toBool());
    w.window.Manager().SetFocus(w.button);
    EXPECT_FALSE(edittest::Query(w.Hwnd(), Qt::ImEnabled).toBool());
    w.Focus();
    EXPECT_TRUE(edittest::Query(w.Hwnd(), Qt::ImEnabled).toBool());

    edittest::TypeText(w.Hwnd(), QString::fromUtf8("hello 你好"));
    edittest::SendKey(w.Hwnd(), Qt::Key_Left, shift);
    EXPECT_EQ(edittest::Query(w.Hwnd(), Qt::ImSurroundingText).toString(), QString::fromUtf8("hello 你好"));
    EXPECT_EQ(edittest::Query(w.Hwnd(), Qt::ImCursorPosition).toInt(), 7);
    EXPECT_EQ(edittest::Query(w.Hwnd(), Qt::ImAnchorPosition).toInt(), 8);
    EXPECT_EQ(edittest::Query(w.Hwnd(), Qt::ImCurrentSelection).toString(), QString::fromUtf8("好"));
    EXPECT_EQ(edittest::Query(w.Hwnd(), Qt::ImMaximumTextLength).toInt(), 40);

    // The caret rectangle lies in the edit, further right as the text grows.
    const QRect editBox = QRect(0, 0, 300, 30);
    edittest::SendKey(w.Hwnd(), Qt::Key_Home);
    const QRect atStart = edittest::Query(w.Hwnd(), Qt::ImCursorRectangle).toRect();
    edittest::SendKey(w.Hwnd(), Qt::Key_End);
    const QRect atEnd = edittest::Query(w.Hwnd(), Qt::ImCursorRectangle).toRect();
    EXPECT_TRUE(editBox.contains(atStart)) << atStart.x() << "," << atStart.y();
    EXPECT_TRUE(editBox.contains(atEnd)) << atEnd.x() << "," << atEnd.y();
    EXPECT_GT(atEnd.x(), atStart.x() + 20);
    EXPECT_GT(atStart.height(), 8);
    // The candidate window follows the caret inside a composition.
    edittest::SendInputMethod(w.Hwnd(), QStringLiteral("zhongwen"));
    EXPECT_GT(edittest::Query(w.Hwnd(), Qt::ImCursorRectangle).toRect().x(), atEnd.x());
    EXPECT_EQ(edittest::Query(w.Hwnd(), Qt::ImSurroundingText).toString(), QString::fromUtf8("hello 你好"));

    w.edit->SetReadOnly(true);
    EXPECT_FALSE(edittest::Query(w.Hwnd(), Qt::ImEnabled).toBool());
}

TEST(Edit, TheCaretStaysInViewOfALongLine)
{
    TEditWindow w;
    w.Focus();
    for (int i = 0; i < 8; ++i) {
        edittest::TypeText(w.Hwnd(), QString::fromUtf8("很长的电台名字 "));
    }
    const QRect editBox = QRect(0, 0, 300, 30);
    const QRect atEnd = edittest::Query(w.Hwnd(), Qt::ImCursorRectangle).toRect();
    EXPECT_TRUE(editBox.contains(atEnd)) << atEnd.x();
    EXPECT_GT(atEnd.x(), 150);
    edittest::SendKey(w.Hwnd(), Qt::Key_Home);
    const QRect atStart = edittest::Query(w.Hwnd(), Qt::ImCursorRectangle).toRect();
    EXPECT_LE(atStart.x(), 2);
    // A click at the far right reaches a character in the scrolled line,
    // not the end of the text.
    w.window.Click(298, 15);
    EXPECT_LT(w.edit->GetCaretPosition(), 64);
    EXPECT_GT(w.edit->GetCaretPosition(), 10);
}

TEST(Edit, MouseSetsTheCaretSelectsByDragWordAndAll)
{
    TEditWindow w("text='hello world'");
    w.window.Click(1, 15);
    EXPECT_EQ(w.window.Manager().GetFocus(), w.edit);
    EXPECT_EQ(w.edit->GetCaretPosition(), 0);
    w.window.Click(299, 15);
    EXPECT_EQ(w.edit->GetCaretPosition(), 11);

    // A drag from the start to the end selects everything between.
    w.window.Press(1, 15);
    w.window.MouseMove(150, 15);
    w.window.MouseMove(299, 15);
    w.window.Release(299, 15);
    EXPECT_EQ(edittest::Utf8(w.edit->GetSelectedText()), QStringLiteral("hello world"));

    // Shift+click extends from the caret.
    w.window.Click(1, 15);
    ::SendMessage(w.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(299, 15));
    w.window.Release(299, 15);
    EXPECT_EQ(edittest::Utf8(w.edit->GetSelectedText()), QStringLiteral("hello world"));

    // A double click selects the word under it, a third click everything.
    w.window.DoubleClick(3, 15);
    EXPECT_EQ(edittest::Utf8(w.edit->GetSelectedText()), QStringLiteral("hello"));
    w.window.Press(3, 15);
    w.window.Release(3, 15);
    EXPECT_EQ(edittest::Utf8(w.edit->GetSelectedText()), QStringLiteral("hello world"));
}

TEST(Edit, AMouseClickCommitsTheCompositionWhereItWasTyped)
{
    TEditWindow w("text='ab'");
    w.Focus();
    edittest::SendInputMethod(w.Hwnd(), QString::fromUtf8("你"));
    w.window.Click(1, 15);
    EXPECT_EQ(w.Text(), QString::fromUtf8("ab你"));
    EXPECT_EQ(w.edit->GetCaretPosition(), 0);
}

TEST(Edit, ClaimsTypingAndEditingKeysButNotTabEnterOrAlt)
{
    struct TRow
    {
        UINT message;
        WPARAM key;
        LPARAM lParam;
        bool claimed;
    };
    constexpr LPARAM ctrlDown = LPARAM{1} << 25;
    const std::vector<TRow> rows = {
        {WM_KEYDOWN, VK_SPACE, 0, true},        {WM_KEYDOWN, 'A', 0, true},
        {WM_KEYDOWN, VK_LEFT, ctrlDown, true},  {WM_KEYDOWN, VK_UP, ctrlDown, true},
        {WM_KEYDOWN, VK_HOME, 0, true},         {WM_KEYDOWN, VK_BACK, 0, true},
        {WM_KEYDOWN, VK_ESCAPE, 0, true},       {WM_KEYDOWN, 'Z', ctrlDown, true},
        {WM_CHAR, U'\u4e2d', 0, true},          {WM_KEYDOWN, VK_TAB, 0, false},
        {WM_CHAR, U'\t', 0, false},             {WM_SYSKEYDOWN, VK_F4, 0, false},
        {WM_KEYDOWN, VK_RETURN, 0, false},      {WM_CHAR, U'\r', 0, false},
        {WM_MOUSEMOVE, 0, 0, false},
    };
    CEditUI edit;
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::to_string(row.message) + " " + std::to_string(row.key));
        const MSG message{nullptr, row.message, row.key, row.lParam, 0, {0, 0}};
        EXPECT_EQ(ControlClaimsKey(edit.GetKeyClaims(), message), row.claimed);
    }
    // Read-only: Space and letters stay the window's; navigation is claimed.
    edit.SetReadOnly(true);
    EXPECT_FALSE(ControlClaimsKey(edit.GetKeyClaims(), MSG{nullptr, WM_KEYDOWN, VK_SPACE, 0, 0, {0, 0}}));
    EXPECT_TRUE(ControlClaimsKey(edit.GetKeyClaims(), MSG{nullptr, WM_KEYDOWN, VK_LEFT, ctrlDown, 0, {0, 0}}));
    // A plain control claims nothing.
    CControlUI plain;
    EXPECT_FALSE(ControlClaimsKey(plain.GetKeyClaims(), MSG{nullptr, WM_KEYDOWN, VK_SPACE, 0, 0, {0, 0}}));
}

TEST(Edit, SetTextAndAttributesAreKept)
{
    TEditWindow w("text='电台' placeholder='输入地址' maxchar='5' placeholdercolor='#FF808080' "
                  "selectedbkcolor='#FF0000FF' normalimage='a.png' focusedimage='b.png'");
    EXPECT_EQ(w.Text(), QString::fromUtf8("电台"));
    EXPECT_EQ(edittest::Utf8(w.edit->GetPlaceholder()), QString::fromUtf8("输入地址"));
    EXPECT_EQ(w.edit->GetMaxChar(), 5);
    EXPECT_EQ(w.edit->GetSelectedBkColor(), 0xFF0000FFu);
    EXPECT_EQ(edittest::Utf8(w.edit->GetFocusedImage()), QStringLiteral("b.png"));
    EXPECT_EQ(w.edit->GetCaretPosition(), 2);
    w.edit->SetText("0123456789");
    EXPECT_EQ(w.Text(), QStringLiteral("01234"));
    // The class is found through the design's interface lookup.
    EXPECT_EQ(w.edit->GetInterface("Edit"), w.edit);
    EXPECT_EQ(w.edit->GetInterface("Label"), static_cast<CLabelUI*>(w.edit));
}

TEST(Edit, TypingKeysAreTheWindowsOwnNotShortcuts)
{
    TEditWindow w;
    struct TRow
    {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        bool accepted;
    };
    const std::vector<TRow> rows = {
        {Qt::Key_A, Qt::NoModifier, "a", true},
        {Qt::Key_Space, Qt::NoModifier, " ", true},
        {0x4e2d, Qt::NoModifier, "中", true},
        {Qt::Key_V, Qt::ControlModifier, "", true},
        {Qt::Key_Z, Qt::ControlModifier, "", true},
        {Qt::Key_Q, Qt::ControlModifier, "", false},
        {Qt::Key_F4, Qt::AltModifier, "", false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.text);
        QKeyEvent event(QEvent::ShortcutOverride, row.key, row.modifiers, QString::fromUtf8(row.text));
        event.ignore();
        QCoreApplication::sendEvent(WidgetFromHwnd(w.Hwnd()), &event);
        EXPECT_EQ(event.isAccepted(), row.accepted);
    }
}
