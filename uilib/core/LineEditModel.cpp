#include "uilib/core/LineEditModel.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace
{
// Punctuation that ends a word on its own, as the desktop's line edits treat
// it: "hello,world" has three stops for Ctrl+Right.
bool IsWordSeparator(QChar character)
{
    switch (character.unicode()) {
    case '.': case ',': case '?': case '!': case '@': case '#': case '$': case ':': case ';': case '-':
    case '<': case '>': case '[': case ']': case '(': case ')': case '{': case '}': case '=': case '/':
    case '+': case '%': case '&': case '^': case '*': case '\'': case '"': case '`': case '~': case '|':
    case '\\':
    // The ideographic full stop and comma, and full-width punctuation.
    case 0x3001: case 0x3002: case 0xFF0C: case 0xFF0E: case 0xFF1A: case 0xFF1B: case 0xFF1F: case 0xFF01:
        return true;
    default:
        return false;
    }
}

bool IsBlank(QChar character)
{
    return character.isSpace();
}

// Kinds of run a double click selects whole.
enum class ERun
{
    Word,
    Blank,
    Separator,
};

ERun RunOf(QChar character)
{
    if (IsBlank(character)) {
        return ERun::Blank;
    }
    return IsWordSeparator(character) ? ERun::Separator : ERun::Word;
}

// A single line: line breaks read as blanks, other control characters
// (and the replacement of a lone surrogate pair half) go.
QString SingleLine(const QString& input)
{
    QString result;
    result.reserve(input.size());
    for (qsizetype index = 0; index < input.size(); ++index) {
        const QChar character = input.at(index);
        const char16_t unit = character.unicode();
        if (unit == '\r' || unit == '\n' || unit == '\t' || unit == 0x2028 || unit == 0x2029) {
            // "\r\n" is one line break, one blank.
            if (unit == '\r' && index + 1 < input.size() && input.at(index + 1) == QLatin1Char('\n')) {
                ++index;
            }
            result.append(QLatin1Char(' '));
        } else if (unit < 0x20 || unit == 0x7F) {
            continue;
        } else if (character.isHighSurrogate()) {
            if (index + 1 < input.size() && input.at(index + 1).isLowSurrogate()) {
                result.append(character);
                result.append(input.at(++index));
            }
        } else if (character.isLowSurrogate()) {
            continue;
        } else {
            result.append(character);
        }
    }
    return result;
}
} // namespace

void CLineEditModel::SetText(const QString& newText)
{
    text = SingleLine(newText);
    if (maxLength > 0 && text.size() > maxLength) {
        text.truncate(SnapToCharacter(maxLength));
    }
    cursor = anchor = static_cast<int>(text.size());
    history.clear();
    undoDone = 0;
    mergeOpen = false;
}

void CLineEditModel::SetMaxLength(int length)
{
    maxLength = std::max(0, length);
    if (maxLength > 0 && text.size() > maxLength) {
        const TState before = Current();
        text.truncate(SnapToCharacter(maxLength));
        cursor = std::min(cursor, static_cast<int>(text.size()));
        anchor = std::min(anchor, static_cast<int>(text.size()));
        Record(before, EStep::Other);
    }
}

QString CLineEditModel::SelectedText() const
{
    return text.mid(SelectionStart(), SelectionEnd() - SelectionStart());
}

int CLineEditModel::SnapToCharacter(int pos) const
{
    pos = std::clamp(pos, 0, static_cast<int>(text.size()));
    if (pos == 0 || pos == text.size()) {
        return pos;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(pos);
    if (finder.isAtBoundary()) {
        return pos;
    }
    const qsizetype previous = finder.toPreviousBoundary();
    return previous < 0 ? 0 : static_cast<int>(previous);
}

int CLineEditModel::NextCharacter(int pos) const
{
    if (pos >= text.size()) {
        return static_cast<int>(text.size());
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(std::max(pos, 0));
    const qsizetype next = finder.toNextBoundary();
    return next < 0 ? static_cast<int>(text.size()) : static_cast<int>(next);
}

int CLineEditModel::PreviousCharacter(int pos) const
{
    if (pos <= 0) {
        return 0;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(std::min(pos, static_cast<int>(text.size())));
    const qsizetype previous = finder.toPreviousBoundary();
    return previous < 0 ? 0 : static_cast<int>(previous);
}

int CLineEditModel::NextWord(int pos) const
{
    const int length = static_cast<int>(text.size());
    pos = std::clamp(pos, 0, length);
    // A run of punctuation is a word of its own; otherwise up to the next
    // blank or punctuation; then over the blanks that follow.
    if (pos < length && IsWordSeparator(text.at(pos))) {
        while (pos < length && IsWordSeparator(text.at(pos))) {
            ++pos;
        }
    } else {
        while (pos < length && !IsBlank(text.at(pos)) && !IsWordSeparator(text.at(pos))) {
            ++pos;
        }
    }
    while (pos < length && IsBlank(text.at(pos))) {
        ++pos;
    }
    // A blank carrying a combining mark ends inside a character: go past it.
    return SnapToCharacter(pos) == pos ? pos : NextCharacter(pos);
}

int CLineEditModel::PreviousWord(int pos) const
{
    pos = std::clamp(pos, 0, static_cast<int>(text.size()));
    while (pos > 0 && IsBlank(text.at(pos - 1))) {
        --pos;
    }
    if (pos > 0 && IsWordSeparator(text.at(pos - 1))) {
        while (pos > 0 && IsWordSeparator(text.at(pos - 1))) {
            --pos;
        }
    } else {
        while (pos > 0 && !IsBlank(text.at(pos - 1)) && !IsWordSeparator(text.at(pos - 1))) {
            --pos;
        }
    }
    return SnapToCharacter(pos);
}

void CLineEditModel::SetCursor(int pos, ESelect select)
{
    cursor = SnapToCharacter(pos);
    if (select == ESelect::Move) {
        anchor = cursor;
    }
    mergeOpen = false;
}

void CLineEditModel::SetSelection(int anchorPos, int cursorPos)
{
    anchor = SnapToCharacter(anchorPos);
    cursor = SnapToCharacter(cursorPos);
    mergeOpen = false;
}

void CLineEditModel::SelectAll()
{
    SetSelection(0, static_cast<int>(text.size()));
}

void CLineEditModel::SelectWordAt(int pos)
{
    const int length = static_cast<int>(text.size());
    if (length == 0) {
        SetCursor(0);
        return;
    }
    pos = std::clamp(pos, 0, length);
    // A position at the end of the text belongs to the run before it.
    const int probe = pos == length ? length - 1 : pos;
    const ERun run = RunOf(text.at(probe));
    int start = probe;
    int end = probe;
    while (start > 0 && RunOf(text.at(start - 1)) == run) {
        --start;
    }
    while (end < length && RunOf(text.at(end)) == run) {
        ++end;
    }
    SetSelection(SnapToCharacter(start), end == length ? end : NextCharacter(SnapToCharacter(end - 1)));
}

void CLineEditModel::CursorBackward(ESelect select)
{
    // Without Shift, a selection collapses to its start.
    if (select == ESelect::Move && HasSelection()) {
        SetCursor(SelectionStart());
        return;
    }
    SetCursor(PreviousCharacter(cursor), select);
}

void CLineEditModel::CursorForward(ESelect select)
{
    if (select == ESelect::Move && HasSelection()) {
        SetCursor(SelectionEnd());
        return;
    }
    SetCursor(NextCharacter(cursor), select);
}

void CLineEditModel::CursorWordBackward(ESelect select)
{
    SetCursor(PreviousWord(cursor), select);
}

void CLineEditModel::CursorWordForward(ESelect select)
{
    SetCursor(NextWord(cursor), select);
}

void CLineEditModel::Home(ESelect select)
{
    SetCursor(0, select);
}

void CLineEditModel::End(ESelect select)
{
    SetCursor(static_cast<int>(text.size()), select);
}

void CLineEditModel::Restore(const TState& state)
{
    text = state.text;
    cursor = state.cursor;
    anchor = state.anchor;
}

void CLineEditModel::Record(const TState& before, EStep kind)
{
    if (before.text == text) {
        return;
    }
    history.resize(static_cast<size_t>(undoDone));
    if (kind == EStep::Typing && mergeOpen && !history.empty()) {
        history.back().after = Current();
    } else {
        history.push_back(TStep{before, Current()});
        if (history.size() > static_cast<size_t>(kUndoDepth)) {
            history.erase(history.begin());
        }
    }
    undoDone = static_cast<int>(history.size());
    mergeOpen = kind == EStep::Typing;
}

int CLineEditModel::InsertClipped(const QString& insert)
{
    QString fitting = insert;
    if (maxLength > 0) {
        const int room = maxLength - static_cast<int>(text.size());
        if (room <= 0) {
            return 0;
        }
        if (fitting.size() > room) {
            // Cut at a whole character: never half of "é" or of an emoji.
            QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, fitting);
            finder.setPosition(room);
            if (!finder.isAtBoundary()) {
                finder.toPreviousBoundary();
            }
            fitting.truncate(std::max<qsizetype>(finder.position(), 0));
        }
    }
    if (fitting.isEmpty()) {
        return 0;
    }
    text.insert(cursor, fitting);
    cursor += static_cast<int>(fitting.size());
    anchor = cursor;
    return static_cast<int>(fitting.size());
}

bool CLineEditModel::Type(const QString& typed)
{
    const QString clean = SingleLine(typed);
    if (clean.isEmpty()) {
        return false;
    }
    const TState before = Current();
    const bool replacing = HasSelection();
    if (replacing) {
        // Typing over a selection starts a step of its own.
        mergeOpen = false;
        text.remove(SelectionStart(), SelectionEnd() - SelectionStart());
        cursor = anchor = SelectionStart();
    }
    InsertClipped(clean);
    if (text == before.text) {
        Restore(before);
        return false;
    }
    Record(before, EStep::Typing);
    return true;
}

bool CLineEditModel::Paste(const QString& pasted)
{
    const QString clean = SingleLine(pasted);
    if (clean.isEmpty() && !HasSelection()) {
        return false;
    }
    mergeOpen = false;
    const TState before = Current();
    if (HasSelection()) {
        const int start = SelectionStart();
        text.remove(start, SelectionEnd() - start);
        cursor = anchor = start;
    }
    InsertClipped(clean);
    Record(before, EStep::Other);
    mergeOpen = false;
    return text != before.text;
}

bool CLineEditModel::ReplaceAroundCursor(int replaceStart, int replaceLength, const QString& committed)
{
    const QString clean = SingleLine(committed);
    if (clean.isEmpty() && replaceLength <= 0) {
        return false;
    }
    const TState before = Current();
    if (HasSelection()) {
        const int start = SelectionStart();
        text.remove(start, SelectionEnd() - start);
        cursor = anchor = start;
    }
    // Where the caret ends when nothing is inserted: it keeps its place in
    // the text that remains.
    int kept = cursor;
    if (replaceStart <= 0) {
        kept -= std::min(-replaceStart, std::max(replaceLength, 0));
    }
    const int length = static_cast<int>(text.size());
    int from = SnapToCharacter(std::clamp(cursor + replaceStart, 0, length));
    if (replaceLength > 0) {
        int to = std::clamp(cursor + replaceStart + replaceLength, from, length);
        if (SnapToCharacter(to) != to) {
            to = NextCharacter(to);
        }
        text.remove(from, to - from);
    }
    // The commit goes where the replaced text was.
    cursor = anchor = clean.isEmpty() ? SnapToCharacter(kept) : from;
    InsertClipped(clean);
    // A commit is typing: a sentence composed word by word undoes at once.
    Record(before, EStep::Typing);
    return text != before.text;
}

bool CLineEditModel::RemoveSelection()
{
    if (!HasSelection()) {
        return false;
    }
    mergeOpen = false;
    const TState before = Current();
    const int start = SelectionStart();
    text.remove(start, SelectionEnd() - start);
    cursor = anchor = start;
    Record(before, EStep::Other);
    return true;
}

bool CLineEditModel::Backspace()
{
    if (HasSelection()) {
        return RemoveSelection();
    }
    if (cursor == 0) {
        return false;
    }
    mergeOpen = false;
    const TState before = Current();
    const int from = PreviousCharacter(cursor);
    text.remove(from, cursor - from);
    cursor = anchor = from;
    Record(before, EStep::Other);
    return true;
}

bool CLineEditModel::Delete()
{
    if (HasSelection()) {
        return RemoveSelection();
    }
    if (cursor >= text.size()) {
        return false;
    }
    mergeOpen = false;
    const TState before = Current();
    text.remove(cursor, NextCharacter(cursor) - cursor);
    Record(before, EStep::Other);
    return true;
}

bool CLineEditModel::Clear()
{
    if (text.isEmpty()) {
        return false;
    }
    mergeOpen = false;
    const TState before = Current();
    text.clear();
    cursor = anchor = 0;
    Record(before, EStep::Other);
    return true;
}

bool CLineEditModel::Undo()
{
    if (!CanUndo()) {
        return false;
    }
    --undoDone;
    Restore(history[static_cast<size_t>(undoDone)].before);
    mergeOpen = false;
    return true;
}

bool CLineEditModel::Redo()
{
    if (!CanRedo()) {
        return false;
    }
    Restore(history[static_cast<size_t>(undoDone)].after);
    ++undoDone;
    mergeOpen = false;
    return true;
}
