// The real main window with an edit in its layout, keys pressed as a user
// presses them (Qt key events on the window, through the message queue and
// the window's key filter): while the edit has the focus, Space, Ctrl+arrows
// and Escape edit text instead of playing, stepping, changing the volume or
// quitting; with the focus elsewhere they keep their meaning.

#include "app/RadioWndFixture.h"
#include "uilib/EditTestWindow.h"
#include "uilib/NotifyRecorder.h"

#include "uilib/controls/EditUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"

#include <gtest/gtest.h>

#include <vector>

using namespace apptest;

namespace {

class EditInMainWindow : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        WriteCatalogue(MakeCatalogue(1, 3, 1));
        Start();
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(0), "click");
        static_cast<COptionUI*>(Manager().GetOptionGroup("radios")->GetAt(1))->Selected(true);
        window->volumeSlider->SetValue(50);
        edit = new CEditUI();
        edit->SetFixedHeight(24);
        ASSERT_TRUE(AsContainer(Manager().GetRoot())->Add(edit));
        ASSERT_FALSE(QuitPosted());
    }

    int Selected() const { return Manager().GetGroupSelectedIndex("radios"); }

    CEditUI* edit = nullptr;
};

struct TKeyRow
{
    const char* name;
    bool editFocused;
    const char* editText;
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* keyText;
    // What the key did: the edit's text and focus, the selected station,
    // the volume, whether the program was asked to quit.
    const char* expectedText;
    bool expectedEditFocus;
    int expectedSelected;
    int expectedVolume;
    bool expectedQuit;
};

} // namespace

TEST_F(EditInMainWindow, KeysGoToTheFocusedEditBeforeThePlayerKeys)
{
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const std::vector<TKeyRow> rows = {
        {"Space types a blank", true, "ab", Qt::Key_Space, none, " ", "ab ", true, 1, 50, false},
        {"Ctrl+Left moves by word", true, "ab cd", Qt::Key_Left, ctrl, "", "ab cd", true, 1, 50, false},
        {"Ctrl+Right moves by word", true, "ab", Qt::Key_Right, ctrl, "", "ab", true, 1, 50, false},
        {"Ctrl+Up stays in the edit", true, "ab", Qt::Key_Up, ctrl, "", "ab", true, 1, 50, false},
        {"Home stays in the edit", true, "ab", Qt::Key_Home, none, "", "ab", true, 1, 50, false},
        {"Backspace deletes", true, "ab", Qt::Key_Backspace, none, "\b", "a", true, 1, 50, false},
        {"Chinese text is typed", true, "", 0x4e2d, none, "中", "中", true, 1, 50, false},
        {"Escape clears a non-empty edit", true, "ab", Qt::Key_Escape, none, "\x1b", "", true, 1, 50, false},
        {"Escape in an empty edit gives the focus back", true, "", Qt::Key_Escape, none, "\x1b", "", false, 1, 50,
         false},
        {"without the focus Ctrl+Right steps the station", false, "ab", Qt::Key_Right, ctrl, "", "ab", false, 2, 50,
         false},
        {"without the focus Ctrl+Up raises the volume", false, "ab", Qt::Key_Up, ctrl, "", "ab", false, 1, 55,
         false},
        {"without the focus Space is no text", false, "ab", Qt::Key_Space, none, " ", "ab", false, 1, 50, false},
        {"without the focus Escape quits", false, "ab", Qt::Key_Escape, none, "\x1b", "ab", false, 1, 50, true},
    };
    for (const TKeyRow& row : rows) {
        SCOPED_TRACE(row.name);
        static_cast<COptionUI*>(Manager().GetOptionGroup("radios")->GetAt(1))->Selected(true);
        window->volumeSlider->SetValue(50);
        edit->SetText(row.editText);
        Manager().SetFocus(row.editFocused ? edit : nullptr);
        edittest::SendKey(Hwnd(), row.key, row.modifiers, QString::fromUtf8(row.keyText));
        EXPECT_EQ(edittest::Utf8(edit->GetText()), QString::fromUtf8(row.expectedText));
        EXPECT_EQ(Manager().GetFocus() == edit, row.expectedEditFocus);
        EXPECT_EQ(Selected(), row.expectedSelected);
        EXPECT_EQ(window->volumeSlider->GetValue(), row.expectedVolume);
        EXPECT_EQ(QuitPosted(), row.expectedQuit);
    }
}

TEST_F(EditInMainWindow, EscapeFromTypingToQuittingTakesThreePresses)
{
    // Clear, give the focus back, and only then quit: a user dismissing a
    // candidate list never loses the program.
    Manager().SetFocus(edit);
    edittest::TypeText(Hwnd(), QStringLiteral("abc"));
    edittest::SendInputMethod(Hwnd(), QStringLiteral("ni"));
    edittest::SendKey(Hwnd(), Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    EXPECT_EQ(edittest::Utf8(edit->GetText()), QStringLiteral("abc"));
    EXPECT_FALSE(QuitPosted());
    edittest::SendKey(Hwnd(), Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    EXPECT_TRUE(edit->GetText().IsEmpty());
    EXPECT_FALSE(QuitPosted());
    edittest::SendKey(Hwnd(), Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    EXPECT_EQ(Manager().GetFocus(), nullptr);
    EXPECT_FALSE(QuitPosted());
    edittest::SendKey(Hwnd(), Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    EXPECT_TRUE(QuitPosted());
}

TEST_F(EditInMainWindow, EnterPassesTheWindowsFilterAndReachesTheEditAsReturn)
{
    CNotifyRecorder recorder(Manager());
    Manager().SetFocus(edit);
    edittest::TypeText(Hwnd(), QStringLiteral("ab"));
    edittest::SendKey(Hwnd(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(recorder.Count("textchanged", edit), 2);
    EXPECT_EQ(recorder.Count("return", edit), 1);
    EXPECT_EQ(edittest::Utf8(edit->GetText()), QStringLiteral("ab"));
    EXPECT_FALSE(QuitPosted());
}
