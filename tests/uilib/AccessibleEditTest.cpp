// A text entry through its accessibility interfaces, as a screen reader
// edits it: the editable text interface changes the text as typing does
// (the limit holds, offsets are clamped, "textchanged" is notified), the
// text interface reads caret and selection, and an entry removed from its
// window leaves no interface behind.

#include "uilib/EditTestWindow.h"
#include "uilib/NotifyRecorder.h"

#include <QAccessible>
#include <QAccessibleInterface>

#include <gtest/gtest.h>

#include <algorithm>

using namespace edittest;

namespace {

QAccessibleInterface* WindowInterface(TEditWindow& window)
{
    return QAccessible::queryAccessibleInterface(WidgetFromHwnd(window.Hwnd()));
}

struct TEditRow
{
    const char* attributes;
    const char* start;
    enum { Insert, Delete, Replace } operation;
    int from;
    int to;
    const char* text;
    const char* expected;
    int caret;
};

class AccessibleEdit : public ::testing::TestWithParam<TEditRow>
{
};

TEST_P(AccessibleEdit, ChangesTheTextAsTypingDoes)
{
    const TEditRow& row = GetParam();
    TEditWindow window(row.attributes);
    window.edit->SetText(row.start);
    CNotifyRecorder recorder(window.window.Manager());
    QAccessibleInterface* root = WindowInterface(window);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->childCount(), 2);
    QAccessibleInterface* edit = root->child(0);
    ASSERT_EQ(edit->role(), QAccessible::EditableText);
    QAccessibleEditableTextInterface* editable = edit->editableTextInterface();
    ASSERT_NE(editable, nullptr);

    const QString text = QString::fromUtf8(row.text);
    switch (row.operation) {
    case TEditRow::Insert:
        editable->insertText(row.from, text);
        break;
    case TEditRow::Delete:
        editable->deleteText(row.from, row.to);
        break;
    case TEditRow::Replace:
        editable->replaceText(row.from, row.to, text);
        break;
    }
    EXPECT_EQ(window.Text(), QString::fromUtf8(row.expected));
    EXPECT_EQ(edit->textInterface()->text(0, -1), QString::fromUtf8(row.expected));
    EXPECT_EQ(edit->textInterface()->cursorPosition(), row.caret);
    const bool changed = std::string(row.start) != row.expected;
    const auto types = recorder.Types();
    EXPECT_EQ(std::count(types.begin(), types.end(), "textchanged"), changed ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AccessibleEdit,
    ::testing::Values(TEditRow{"", "北京音乐", TEditRow::Insert, 2, 0, "新", "北京新音乐", 3},
                      TEditRow{"", "北京音乐", TEditRow::Delete, 0, 2, "", "音乐", 0},
                      TEditRow{"", "北京音乐", TEditRow::Replace, 1, 100, "XYZ", "北XYZ", 4},
                      TEditRow{"", "北京", TEditRow::Insert, -5, 0, "A", "A北京", 1},
                      TEditRow{"", "北京", TEditRow::Delete, 2, 1, "", "北京", 2},
                      TEditRow{"maxchar=\"6\"", "北京音乐", TEditRow::Insert, 4, 0, "abcdef", "北京音乐ab", 6},
                      TEditRow{"maxchar=\"4\"", "北京音乐", TEditRow::Replace, 0, 1, "上海", "上京音乐", 1},
                      TEditRow{"readonly=\"true\"", "北京", TEditRow::Insert, 0, 0, "X", "北京", 2}));

TEST(AccessibleEditTree, SelectionReadsBackAndARemovedEntryLeavesNoInterface)
{
    TEditWindow window;
    window.edit->SetPlaceholder("电台地址");
    EXPECT_EQ(WindowInterface(window)->child(0)->text(QAccessible::Name), QString::fromUtf8("电台地址"));
    window.edit->SetPlaceholder("");
    window.edit->SetText("hello 世界");
    QAccessibleInterface* root = WindowInterface(window);
    QAccessibleInterface* edit = root->child(0);
    QAccessibleTextInterface* text = edit->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->characterCount(), 8);
    text->setSelection(0, 6, 99);
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(6, 8));
    EXPECT_EQ(text->selectionCount(), 1);
    EXPECT_EQ(window.edit->GetSelectedText(), "世界");
    text->removeSelection(0);
    EXPECT_EQ(text->selectionCount(), 0);
    text->setCursorPosition(-3);
    EXPECT_EQ(text->cursorPosition(), 0);
    EXPECT_TRUE(edit->state().editable);
    EXPECT_EQ(edit->text(QAccessible::Name), QString()) << "an entry is not named by what was typed into it";
    EXPECT_TRUE(edit->state().focusable);

    // The entry leaves the window: its interface goes, the button moves up.
    const QAccessible::Id editId = QAccessible::uniqueId(edit);
    QAccessibleInterface* button = root->child(1);
    auto* column = static_cast<CContainerUI*>(window.window.Manager().GetRoot()->GetInterface("Container"));
    ASSERT_TRUE(column->Remove(window.edit));
    window.edit = nullptr;
    EXPECT_EQ(QAccessible::accessibleInterface(editId), nullptr);
    EXPECT_EQ(root->childCount(), 1);
    EXPECT_EQ(root->child(0), button);
    EXPECT_EQ(root->indexOfChild(button), 0);
    EXPECT_TRUE(button->isValid());
    EXPECT_EQ(button->parent(), root);
}

} // namespace
