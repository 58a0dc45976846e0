// The text model of the single-line entry, without a window: moves by whole
// characters and words, editing, the maximum length and undo bursts.

#include "uilib/controls/EditUI.h"
#include "uilib/core/LineEditModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using ESelect = CLineEditModel::ESelect;

// e + combining acute accent: one character, two units.
const QString kCombined = QStringLiteral("e\u0301");
// Man, woman, girl joined by zero-width joiners: one character, eight units.
const QString kFamily = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");

CLineEditModel ModelWith(const QString& text, int cursor, int anchor)
{
    CLineEditModel model;
    model.SetText(text);
    model.SetSelection(anchor, cursor);
    return model;
}

struct TMoveRow
{
    const char* name;
    QString text;
    int from;
    std::function<int(const CLineEditModel&, int)> step;
    std::vector<int> stops;
};

const auto next = [](const CLineEditModel& model, int pos) { return model.NextCharacter(pos); };
const auto previous = [](const CLineEditModel& model, int pos) { return model.PreviousCharacter(pos); };
const auto nextWord = [](const CLineEditModel& model, int pos) { return model.NextWord(pos); };
const auto previousWord = [](const CLineEditModel& model, int pos) { return model.PreviousWord(pos); };

} // namespace

TEST(LineEditModel, MovesStopOnlyAtWholeCharactersAndWords)
{
    const QString sentence = QStringLiteral("hello world, \u4f60\u597d\u4e16\u754c foo");
    const std::vector<TMoveRow> rows = {
        {"combining mark", QStringLiteral("a") + kCombined + QStringLiteral("b"), 0, next, {1, 3, 4, 4}},
        {"combining mark backwards", QStringLiteral("a") + kCombined + QStringLiteral("b"), 4, previous, {3, 1, 0, 0}},
        {"ZWJ family", kFamily + QStringLiteral("x"), 0, next, {8, 9}},
        {"ZWJ family backwards", QStringLiteral("x") + kFamily, 9, previous, {1, 0}},
        {"Chinese", QStringLiteral("\u4e2d\u6587"), 0, next, {1, 2}},
        {"surrogate pair", QString::fromUtf8("\xF0\x9F\x8E\xB5z"), 0, next, {2, 3}},
        {"words forward", sentence, 0, nextWord, {6, 11, 13, 18, 21, 21}},
        {"words backward", sentence, 21, previousWord, {18, 13, 11, 6, 0, 0}},
        {"punctuation run", QStringLiteral("a...b"), 0, nextWord, {1, 4, 5}},
        {"word over combining marks", QStringLiteral("ab") + kCombined + QStringLiteral(" c"), 0, nextWord, {5, 6}},
    };
    for (const TMoveRow& row : rows) {
        SCOPED_TRACE(row.name);
        CLineEditModel model;
        model.SetText(row.text);
        int pos = row.from;
        std::vector<int> stops;
        for (size_t i = 0; i < row.stops.size(); ++i) {
            pos = row.step(model, pos);
            stops.push_back(pos);
        }
        EXPECT_EQ(stops, row.stops);
    }
}

TEST(LineEditModel, EditsRemoveWholeCharactersAndReplaceTheSelection)
{
    struct TRow
    {
        const char* name;
        QString text;
        int cursor;
        int anchor;
        std::function<bool(CLineEditModel&)> edit;
        QString expectedText;
        int expectedCursor;
        bool changed;
    };
    const std::vector<TRow> rows = {
        {"backspace a combined character", QStringLiteral("a") + kCombined, 3, 3,
         [](CLineEditModel& m) { return m.Backspace(); }, QStringLiteral("a"), 1, true},
        {"delete a ZWJ family", kFamily + QStringLiteral("b"), 0, 0, [](CLineEditModel& m) { return m.Delete(); },
         QStringLiteral("b"), 0, true},
        {"backspace a Chinese character", QStringLiteral("\u4e2d\u6587"), 2, 2,
         [](CLineEditModel& m) { return m.Backspace(); }, QStringLiteral("\u4e2d"), 1, true},
        {"backspace at the start", QStringLiteral("ab"), 0, 0, [](CLineEditModel& m) { return m.Backspace(); },
         QStringLiteral("ab"), 0, false},
        {"delete at the end", QStringLiteral("ab"), 2, 2, [](CLineEditModel& m) { return m.Delete(); },
         QStringLiteral("ab"), 2, false},
        {"backspace removes the selection", QStringLiteral("radio"), 1, 4,
         [](CLineEditModel& m) { return m.Backspace(); }, QStringLiteral("ro"), 1, true},
        {"typing replaces the selection", QStringLiteral("radio"), 5, 0,
         [](CLineEditModel& m) { return m.Type(QStringLiteral("\u7535\u53f0")); }, QStringLiteral("\u7535\u53f0"), 2,
         true},
        {"paste makes line breaks blanks and drops control characters", QStringLiteral("[]"), 1, 1,
         [](CLineEditModel& m) { return m.Paste(QStringLiteral("a\r\nb\tc\x01\x7f")); }, QStringLiteral("[a b c]"), 6,
         true},
        {"commit replaces text before the cursor", QStringLiteral("hello"), 5, 5,
         [](CLineEditModel& m) { return m.ReplaceAroundCursor(-2, 2, QStringLiteral("LO")); },
         QStringLiteral("helLO"), 5, true},
        {"surrounding text deleted without a commit", QStringLiteral("hello"), 3, 3,
         [](CLineEditModel& m) { return m.ReplaceAroundCursor(-3, 1, QString()); }, QStringLiteral("ello"), 2, true},
        {"replacement after the cursor keeps it", QStringLiteral("hello"), 1, 1,
         [](CLineEditModel& m) { return m.ReplaceAroundCursor(1, 2, QStringLiteral("X")); },
         QStringLiteral("heXo"), 3, true},
        {"replacement out of range is clamped", QStringLiteral("ab"), 1, 1,
         [](CLineEditModel& m) { return m.ReplaceAroundCursor(-10, 100, QStringLiteral("z")); }, QStringLiteral("z"),
         1, true},
        {"clear", QStringLiteral("abc"), 1, 1, [](CLineEditModel& m) { return m.Clear(); }, QString(), 0, true},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.name);
        CLineEditModel model = ModelWith(row.text, row.cursor, row.anchor);
        EXPECT_EQ(row.edit(model), row.changed);
        EXPECT_EQ(model.Text(), row.expectedText);
        EXPECT_EQ(model.Cursor(), row.expectedCursor);
        EXPECT_EQ(model.Anchor(), model.Cursor());
    }
}

TEST(LineEditModel, MaximumLengthClipsTypingPasteAndCommitsAtWholeCharacters)
{
    struct TRow
    {
        const char* name;
        int maxLength;
        QString start;
        std::function<bool(CLineEditModel&)> edit;
        QString expected;
    };
    const std::vector<TRow> rows = {
        {"paste cut to the room left", 5, QStringLiteral("abc"),
         [](CLineEditModel& m) { return m.Paste(QStringLiteral("defgh")); }, QStringLiteral("abcde")},
        {"typing into a full entry", 3, QStringLiteral("abc"),
         [](CLineEditModel& m) { return m.Type(QStringLiteral("x")); }, QStringLiteral("abc")},
        {"a combined character is not halved", 4, QStringLiteral("a"),
         [](CLineEditModel& m) { return m.Paste(kCombined + kCombined); }, QStringLiteral("a") + kCombined},
        {"an emoji that does not fit stays out", 6, QStringLiteral("ab"),
         [](CLineEditModel& m) { return m.Paste(kFamily); }, QStringLiteral("ab")},
        {"a commit is clipped too", 4, QStringLiteral("ab"),
         [](CLineEditModel& m) { return m.ReplaceAroundCursor(0, 0, QStringLiteral("\u4f60\u597d\u4e16\u754c")); },
         QStringLiteral("ab\u4f60\u597d")},
        {"typing over a selection has the selection's room", 3, QStringLiteral("abc"),
         [](CLineEditModel& m) {
             m.SetSelection(1, 3);
             return m.Type(QStringLiteral("xyz"));
         },
         QStringLiteral("axy")},
        {"a lower limit cuts the text", 0, QStringLiteral("abcdef"),
         [](CLineEditModel& m) {
             m.SetMaxLength(2);
             return true;
         },
         QStringLiteral("ab")},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.name);
        CLineEditModel model;
        model.SetMaxLength(row.maxLength);
        model.SetText(row.start);
        row.edit(model);
        EXPECT_EQ(model.Text(), row.expected);
        EXPECT_LE(model.Cursor(), model.Text().size());
    }
    CLineEditModel model;
    model.SetMaxLength(3);
    model.SetText(QStringLiteral("abcdef"));
    EXPECT_EQ(model.Text(), QStringLiteral("abc"));
}

TEST(LineEditModel, UndoTakesBackATypingBurstAtOnceAndOtherEditsOneByOne)
{
    struct TRow
    {
        const char* name;
        std::function<void(CLineEditModel&)> edits;
        // The text after each successive undo, then after each redo.
        std::vector<QString> afterUndos;
        std::vector<QString> afterRedos;
    };
    const auto type = [](CLineEditModel& m, const char* text) {
        for (const char* c = text; *c != '\0'; ++c) {
            m.Type(QString(QLatin1Char(*c)));
        }
    };
    const std::vector<TRow> rows = {
        {"one burst", [&](CLineEditModel& m) { type(m, "radio"); }, {QString()}, {QStringLiteral("radio")}},
        {"a cursor move ends the burst",
         [&](CLineEditModel& m) {
             type(m, "ab");
             m.Home(ESelect::Move);
             type(m, "c");
         },
         {QStringLiteral("ab"), QString()},
         {QStringLiteral("ab"), QStringLiteral("cab")}},
        {"paste is a step of its own",
         [&](CLineEditModel& m) {
             type(m, "a");
             m.Paste(QStringLiteral("bc"));
             type(m, "d");
         },
         {QStringLiteral("abc"), QStringLiteral("a"), QString()},
         {QStringLiteral("a"), QStringLiteral("abc"), QStringLiteral("abcd")}},
        {"backspace between bursts",
         [&](CLineEditModel& m) {
             type(m, "abc");
             m.Backspace();
             type(m, "x");
         },
         {QStringLiteral("ab"), QStringLiteral("abc"), QString()},
         {QStringLiteral("abc"), QStringLiteral("ab"), QStringLiteral("abx")}},
        {"input method commits merge like typing",
         [&](CLineEditModel& m) {
             m.ReplaceAroundCursor(0, 0, QStringLiteral("\u4f60\u597d"));
             m.ReplaceAroundCursor(0, 0, QStringLiteral("\u4e16\u754c"));
         },
         {QString()},
         {QStringLiteral("\u4f60\u597d\u4e16\u754c")}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.name);
        CLineEditModel model;
        row.edits(model);
        std::vector<QString> undos;
        while (model.Undo()) {
            undos.push_back(model.Text());
        }
        std::vector<QString> redos;
        while (model.Redo()) {
            redos.push_back(model.Text());
        }
        EXPECT_EQ(undos, row.afterUndos);
        EXPECT_EQ(redos, row.afterRedos);
    }
}

TEST(LineEditModel, NewEditAfterUndoDropsTheRedoStepsAndSetTextForgetsHistory)
{
    CLineEditModel model;
    model.Type(QStringLiteral("a"));
    model.Separate();
    model.Type(QStringLiteral("b"));
    ASSERT_TRUE(model.Undo());
    model.Type(QStringLiteral("c"));
    EXPECT_EQ(model.Text(), QStringLiteral("ac"));
    EXPECT_FALSE(model.CanRedo());
    model.SetText(QStringLiteral("new"));
    EXPECT_FALSE(model.CanUndo());
    EXPECT_EQ(model.Cursor(), 3);

    // The history is bounded.
    for (int i = 0; i < CLineEditModel::kUndoDepth + 20; ++i) {
        model.Paste(QStringLiteral("x"));
    }
    int undos = 0;
    while (model.Undo()) {
        ++undos;
    }
    EXPECT_EQ(undos, CLineEditModel::kUndoDepth);
}

TEST(LineEditModel, WordSelectionAndShiftMoves)
{
    struct TRow
    {
        QString text;
        int pos;
        int start;
        int end;
    };
    const std::vector<TRow> rows = {
        {QStringLiteral("hello world"), 2, 0, 5},
        {QStringLiteral("hello world"), 5, 5, 6},
        {QStringLiteral("hello world"), 11, 6, 11},
        {QStringLiteral("\u4f60\u597d foo"), 1, 0, 2},
        {QStringLiteral("http://a.b"), 5, 4, 7},
        {QStringLiteral("ab") + kCombined, 1, 0, 4},
        {QString(), 0, 0, 0},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.text.toStdString() + " at " + std::to_string(row.pos));
        CLineEditModel model;
        model.SetText(row.text);
        model.SelectWordAt(row.pos);
        EXPECT_EQ(model.SelectionStart(), row.start);
        EXPECT_EQ(model.SelectionEnd(), row.end);
    }

    CLineEditModel model;
    model.SetText(QStringLiteral("one two"));
    model.Home(ESelect::Move);
    model.CursorWordForward(ESelect::Extend);
    EXPECT_EQ(model.SelectedText(), QStringLiteral("one "));
    model.CursorForward(ESelect::Extend);
    EXPECT_EQ(model.SelectedText(), QStringLiteral("one t"));
    // Without Shift a selection collapses to its end (or start).
    model.CursorForward(ESelect::Move);
    EXPECT_EQ(model.Cursor(), 5);
    EXPECT_FALSE(model.HasSelection());
    model.End(ESelect::Extend);
    model.CursorBackward(ESelect::Move);
    EXPECT_EQ(model.Cursor(), 5);
    // A position inside a character snaps to its start.
    model.SetText(QStringLiteral("a") + kCombined);
    model.SetCursor(2);
    EXPECT_EQ(model.Cursor(), 1);
}

// Code builds controls before their window (and its GUI application) exists;
// this executable has no GUI application at all, so any measuring of text
// here would abort.
TEST(EditOutsideAWindow, TakesTextLimitsAndSelectionWithoutMeasuring)
{
    CEditUI edit;
    edit.ApplyAttributeList("text='hello' maxchar='4' readonly='true' placeholder='url'");
    EXPECT_STREQ(edit.GetText().GetData(), "hell");
    edit.SetSelection(1, 3);
    EXPECT_STREQ(edit.GetSelectedText().GetData(), "el");
    edit.SetReadOnly(false);
    edit.SetText("\xE4\xBD\xA0\xE5\xA5\xBD");
    EXPECT_EQ(edit.GetCaretPosition(), 2);
}
