#pragma once

// CLineEditModel: the text of a single-line entry and everything done to it,
// apart from drawing and events: the caret (cursor) and the other end of the
// selection (anchor), moves by whole characters (grapheme clusters) and by
// words, insertion clipped to a maximum length, deletion, and undo/redo with
// a burst of typing undone in one step. Positions are UTF-16 offsets into
// Text() and always lie on a grapheme boundary.
//
// The input method's pre-edit text never enters the model: the control keeps
// it beside the model and draws it at the cursor; only committed text is
// inserted (ReplaceAroundCursor for a commit that also replaces text).
//
// Plain data, no window, no painter; GUI thread like every control.

#include <QString>

#include <vector>

class CLineEditModel
{
public:
    // Whether a move takes the anchor along (a plain move) or leaves it where
    // it is, so that the selection grows or shrinks (Shift held).
    enum class ESelect
    {
        Move,
        Extend,
    };

    CLineEditModel() = default;

    const QString& Text() const { return text; }
    // Replaces the whole text (clipped to the maximum length), puts the
    // cursor at its end and forgets the undo history.
    void SetText(const QString& newText);

    // UTF-16 units; 0 means no limit. A lower limit cuts the text.
    int MaxLength() const { return maxLength; }
    void SetMaxLength(int length);

    int Cursor() const { return cursor; }
    int Anchor() const { return anchor; }
    bool HasSelection() const { return cursor != anchor; }
    int SelectionStart() const { return cursor < anchor ? cursor : anchor; }
    int SelectionEnd() const { return cursor < anchor ? anchor : cursor; }
    QString SelectedText() const;

    // Moves the cursor to the nearest grapheme boundary at or before pos.
    void SetCursor(int pos, ESelect select = ESelect::Move);
    void SetSelection(int anchorPos, int cursorPos);
    void SelectAll();
    // Selects the word (or the run of blanks or punctuation) around pos.
    void SelectWordAt(int pos);
    void CursorBackward(ESelect select);
    void CursorForward(ESelect select);
    void CursorWordBackward(ESelect select);
    void CursorWordForward(ESelect select);
    void Home(ESelect select);
    void End(ESelect select);

    // Boundaries of whole user-perceived characters and of words. A Han run
    // counts as one word, as in the desktop's line edits.
    int NextCharacter(int pos) const;
    int PreviousCharacter(int pos) const;
    int NextWord(int pos) const;
    int PreviousWord(int pos) const;

    // Typed text: replaces the selection; consecutive typing at the cursor
    // merges into one undo step. Answers false when nothing fitted.
    bool Type(const QString& typed);
    // Pasted (or dropped) text: one undo step of its own. Line breaks become
    // blanks, other control characters are dropped.
    bool Paste(const QString& pasted);
    // An input method's commit: removes `replaceLength` units starting
    // `replaceStart` units from the cursor (negative: before it), then
    // inserts `committed` at the cursor. A selection is removed first when
    // there is anything to commit or replace.
    bool ReplaceAroundCursor(int replaceStart, int replaceLength, const QString& committed);
    // Deletes the selection, or the whole character before (Backspace) or
    // after (Delete) the cursor.
    bool Backspace();
    bool Delete();
    bool RemoveSelection();
    // Deletes everything, as one undo step.
    bool Clear();

    bool CanUndo() const { return undoDone > 0; }
    bool CanRedo() const { return undoDone < static_cast<int>(history.size()); }
    bool Undo();
    bool Redo();
    // Ends the current typing burst: the next typed text starts a new undo step.
    void Separate() { mergeOpen = false; }

    // Steps of undo kept; older ones are forgotten.
    static constexpr int kUndoDepth = 100;

private:
    enum class EStep
    {
        Typing,
        Other,
    };
    struct TState
    {
        QString text;
        int cursor = 0;
        int anchor = 0;
    };
    struct TStep
    {
        TState before;
        TState after;
    };

    TState Current() const { return TState{text, cursor, anchor}; }
    void Restore(const TState& state);
    // Inserts at the cursor what fits of `insert`, cut at a character
    // boundary; answers how many units went in.
    int InsertClipped(const QString& insert);
    void Record(const TState& before, EStep kind);
    int SnapToCharacter(int pos) const;

    QString text;
    int cursor = 0;
    int anchor = 0;
    int maxLength = 0;

    std::vector<TStep> history;
    // Steps of history that are done; the ones after it can be redone.
    int undoDone = 0;
    // The last step is typing that the next typed text may extend.
    bool mergeOpen = false;
};
