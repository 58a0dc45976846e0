// CEditUI, in this order: the private state (model, pre-edit, look) and its
// one-line layout; the input method's queries and events; attributes and
// accessors; events (keys, mouse, focus, caret timer); painting.
// GUI thread only.

#include "uilib/controls/EditUI.h"

#include "platform/win/KeyMapping.h"
#include "uilib/controls/BadAttributeValue.h"
#include "uilib/core/LineEditModel.h"
#include "uilib/core/StringQt.h"
#include "uilib/core/ValueParsers.h"
#include "uilib/render/RenderEngine.h"
#include "uilib/render/RenderEngineQt.h"
#include "uilib/window/InputMethodBridge.h"
#include "uilib/window/PaintManagerUI.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QStyleHints>
#include <QTextCharFormat>
#include <QTextLayout>

#include <algorithm>
#include <cstring>
#include <memory>

namespace
{
// Timer id of the caret's blinking, among the edit's own timers.
constexpr UINT kCaretTimerId = 1;
// Colours when the layout gives none (0xAARRGGBB).
constexpr DWORD kDefaultSelectedBkColor = 0xFF3875D7;
constexpr DWORD kDefaultSelectedTextColor = 0xFFFFFFFF;
constexpr DWORD kDefaultPlaceholderColor = 0xFF9A9A9A;
// Width of the caret in pixels.
constexpr int kCaretWidth = 1;

using ESelect = CLineEditModel::ESelect;

QString FromUtf8(const char* text)
{
    return text != nullptr ? QString::fromUtf8(text) : QString();
}

CStdString ToUtf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return CStdString(bytes.constData(), static_cast<int>(bytes.size()));
}
} // namespace

struct CEditUI::TPrivate : public IInputMethodClientUI
{
    explicit TPrivate(CEditUI& edit)
        : edit(edit)
    {
    }

    CEditUI& edit;
    CLineEditModel model;

    // The input method's composition, beside the model: its text, the caret
    // inside it, whether the caret shows, and its formats (relative starts).
    QString preedit;
    int preeditCursor = 0;
    bool preeditCaretVisible = true;
    QList<QTextLayout::FormatRange> preeditFormats;

    CStdString placeholder;
    DWORD placeholderColor = 0;
    DWORD selectedBkColor = 0;
    DWORD selectedTextColor = 0;
    DWORD caretColor = 0;
    bool readOnly = false;

    CStdString normalImage;
    TImageInfo normalImageInfo;
    CStdString hotImage;
    TImageInfo hotImageInfo;
    CStdString focusedImage;
    TImageInfo focusedImageInfo;
    CStdString disabledImage;
    TImageInfo disabledImageInfo;

    bool hot = false;
    bool dragging = false;
    // The caret's blink phase, and whether the window has the keyboard focus.
    bool caretOn = false;
    bool windowActive = true;
    // Pixels of the line scrolled out at the left.
    qreal scroll = 0;
    // When the last double click came (GetTickCount), for a third click.
    DWORD doubleClickTime = 0;
    bool doubleClicked = false;

    // ------------------------------------------------------------ layout
    QFont Font() const
    {
        const TFontInfo* font = edit.manager != nullptr ? edit.manager->GetFont(edit.fontIndex) : nullptr;
        return CRenderEngineQt::ToQFont(font);
    }

    QRect Box() const { return CRenderEngineQt::ToQRect(edit.GetTextRect()); }

    // The text on one line, with the pre-edit at the caret when asked for.
    std::unique_ptr<QTextLayout> MakeLayout(bool withPreedit) const
    {
        auto layout = std::make_unique<QTextLayout>(model.Text(), Font());
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout->setTextOption(option);
        layout->setCacheEnabled(true);
        if (withPreedit && !preedit.isEmpty()) {
            layout->setPreeditArea(model.Cursor(), preedit);
            QList<QTextLayout::FormatRange> formats;
            // The whole composition is underlined; the input method's own
            // formats (the converted part, its highlight) go over it.
            QTextLayout::FormatRange underline;
            underline.start = model.Cursor();
            underline.length = static_cast<int>(preedit.size());
            underline.format.setFontUnderline(true);
            formats.append(underline);
            for (QTextLayout::FormatRange range : preeditFormats) {
                range.start += model.Cursor();
                range.format.setFontUnderline(true);
                formats.append(range);
            }
            layout->setFormats(formats);
        }
        layout->beginLayout();
        QTextLine line = layout->createLine();
        if (line.isValid()) {
            line.setLineWidth(1e6);
        }
        layout->endLayout();
        return layout;
    }

    // Position of the caret in the laid-out text (inside the pre-edit while
    // composing).
    int LayoutCaret() const { return model.Cursor() + (preedit.isEmpty() ? 0 : preeditCursor); }

    qreal LineTop(const QTextLine& line) const
    {
        const QRect box = Box();
        return box.top() + (box.height() - line.height()) / 2.0;
    }

    // Keeps the caret inside the visible part of the line.
    void UpdateScroll()
    {
        // Measuring needs fonts, and so the application a window brings: an
        // edit not yet in a window has nothing to scroll.
        if (edit.manager == nullptr) {
            scroll = 0;
            return;
        }
        const QRect box = Box();
        const auto layout = MakeLayout(true);
        const QTextLine line = layout->lineAt(0);
        if (!line.isValid() || box.width() <= 0) {
            scroll = 0;
            return;
        }
        const qreal width = box.width() - kCaretWidth;
        const qreal textWidth = line.naturalTextWidth();
        const qreal caretX = line.cursorToX(LayoutCaret());
        if (textWidth <= width) {
            scroll = 0;
            return;
        }
        if (caretX - scroll > width) {
            scroll = caretX - width;
        } else if (caretX - scroll < 0) {
            scroll = caretX;
        }
        // No empty room at the right while text is scrolled out at the left.
        scroll = std::clamp(scroll, 0.0, textWidth - width);
    }

    // The text position under a client x coordinate.
    int PositionAt(int x) const
    {
        const auto layout = MakeLayout(false);
        const QTextLine line = layout->lineAt(0);
        if (!line.isValid()) {
            return 0;
        }
        return line.xToCursor(x - Box().left() + scroll, QTextLine::CursorBetweenCharacters);
    }

    QRect CaretRect(int layoutPosition) const
    {
        const auto layout = MakeLayout(true);
        const QTextLine line = layout->lineAt(0);
        if (!line.isValid()) {
            return Box();
        }
        const qreal x = Box().left() + line.cursorToX(layoutPosition) - scroll;
        return QRectF(x, LineTop(line), kCaretWidth, line.height()).toAlignedRect();
    }

    // ------------------------------------------------------------ state changes
    bool HasFocus() const { return edit.IsFocused() && windowActive; }

    void SyncText()
    {
        edit.text = ToUtf8(model.Text());
        if (edit.manager != nullptr) {
            edit.manager->NotifyControlChanged(&edit, EControlChange::Text);
        }
    }

    void RestartBlink()
    {
        if (edit.manager == nullptr) {
            return;
        }
        if (!HasFocus() || readOnly) {
            caretOn = false;
            edit.manager->KillTimer(&edit, kCaretTimerId);
            return;
        }
        caretOn = true;
        // The flash time is a whole period; below 2 ms the caret does not blink.
        const int flashTime = QGuiApplication::styleHints()->cursorFlashTime();
        if (flashTime >= 2) {
            edit.manager->SetTimer(&edit, kCaretTimerId, static_cast<UINT>(flashTime / 2));
        } else {
            edit.manager->KillTimer(&edit, kCaretTimerId);
        }
    }

    // After every change of text, caret or selection.
    void Refresh(Qt::InputMethodQueries queries = Qt::ImQueryInput)
    {
        UpdateScroll();
        RestartBlink();
        edit.Invalidate();
        CInputMethodBridge::Update(&edit, queries);
        if (edit.manager != nullptr) {
            edit.manager->NotifyControlChanged(&edit, EControlChange::Caret);
        }
    }

    void DropPreedit()
    {
        if (preedit.isEmpty()) {
            return;
        }
        preedit.clear();
        preeditFormats.clear();
        preeditCursor = 0;
        preeditCaretVisible = true;
        Refresh();
    }

    // What the input method is composing is taken as typed, and the input
    // method forgets it. The input method's own commit would travel through
    // the message queue and land after the caret moved.
    bool CommitPreedit()
    {
        if (preedit.isEmpty()) {
            return false;
        }
        const QString composed = preedit;
        preedit.clear();
        preeditFormats.clear();
        preeditCursor = 0;
        preeditCaretVisible = true;
        const bool changed = !readOnly && model.ReplaceAroundCursor(0, 0, composed);
        SyncText();
        CInputMethodBridge::Reset(&edit);
        Refresh();
        return changed;
    }

    void OfferPrimarySelection()
    {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (model.HasSelection() && clipboard->supportsSelection()) {
            clipboard->setText(model.SelectedText(), QClipboard::Selection);
        }
    }

    // ------------------------------------------------------------ input method
    QVariant InputMethodQuery(Qt::InputMethodQuery query) const override
    {
        switch (query) {
        case Qt::ImEnabled: return edit.IsEnabled() && edit.IsVisible() && !readOnly;
        case Qt::ImHints: return static_cast<int>(Qt::ImhNone);
        case Qt::ImCursorRectangle: return CaretRect(LayoutCaret());
        case Qt::ImAnchorRectangle: return CaretRect(model.Anchor());
        case Qt::ImFont: return Font();
        case Qt::ImCursorPosition:
        case Qt::ImAbsolutePosition: return model.Cursor();
        case Qt::ImAnchorPosition: return model.Anchor();
        case Qt::ImSurroundingText: return model.Text();
        case Qt::ImCurrentSelection: return model.SelectedText();
        case Qt::ImTextBeforeCursor: return model.Text().left(model.Cursor());
        case Qt::ImTextAfterCursor: return model.Text().mid(model.Cursor());
        case Qt::ImMaximumTextLength: return model.MaxLength() > 0 ? QVariant(model.MaxLength()) : QVariant();
        case Qt::ImReadOnly: return readOnly;
        default: return {};
        }
    }

    void InputMethodEvent(const QInputMethodEvent& event) override
    {
        if (readOnly || !edit.IsEnabled()) {
            return;
        }
        const QString textBefore = model.Text();
        const bool commits = !event.commitString().isEmpty() || event.replacementLength() > 0;
        if (commits) {
            model.ReplaceAroundCursor(event.replacementStart(), event.replacementLength(), event.commitString());
        } else if (!event.preeditString().isEmpty() && model.HasSelection()) {
            // A composition starting over a selection replaces it.
            model.RemoveSelection();
        }
        preedit = event.preeditString();
        preeditCursor = static_cast<int>(preedit.size());
        preeditCaretVisible = true;
        preeditFormats.clear();
        for (const QInputMethodEvent::Attribute& attribute : event.attributes()) {
            switch (attribute.type) {
            case QInputMethodEvent::Cursor:
                preeditCursor = std::clamp(attribute.start, 0, static_cast<int>(preedit.size()));
                preeditCaretVisible = attribute.length != 0;
                break;
            case QInputMethodEvent::TextFormat: {
                const QTextCharFormat format = qvariant_cast<QTextFormat>(attribute.value).toCharFormat();
                if (format.isValid() && attribute.length > 0) {
                    QTextLayout::FormatRange range;
                    range.start = attribute.start;
                    range.length = attribute.length;
                    range.format = format;
                    preeditFormats.append(range);
                }
                break;
            }
            case QInputMethodEvent::Selection:
                // Absolute positions in the committed text.
                model.SetSelection(attribute.start, attribute.start + attribute.length);
                break;
            default:
                break;
            }
        }
        SyncText();
        Refresh(Qt::ImQueryAll);
        if (model.Text() != textBefore && edit.manager != nullptr) {
            // Last: the receiver may remove the edit.
            edit.manager->SendNotify(&edit, "textchanged");
        }
    }

    // ------------------------------------------------------------ keys
    // Answers whether the text changed; the caller notifies.
    bool HandleKey(const TEventUI& event, bool* returnPressed)
    {
        const bool control = KeyMessageHasControl(event.lParam);
        const bool shift = KeyMessageHasShift(event.lParam);
        const ESelect select = shift ? ESelect::Extend : ESelect::Move;
        const QString before = model.Text();
        const int cursorBefore = model.Cursor();
        const int anchorBefore = model.Anchor();
        bool edited = false;
        switch (event.wParam) {
        case VK_LEFT:
            CommitPreedit();
            control ? model.CursorWordBackward(select) : model.CursorBackward(select);
            break;
        case VK_RIGHT:
            CommitPreedit();
            control ? model.CursorWordForward(select) : model.CursorForward(select);
            break;
        case VK_HOME:
            CommitPreedit();
            model.Home(select);
            break;
        case VK_END:
            CommitPreedit();
            model.End(select);
            break;
        case VK_BACK:
            if (!readOnly) {
                CommitPreedit();
                if (control && !model.HasSelection()) {
                    model.CursorWordBackward(ESelect::Extend);
                }
                edited = model.Backspace();
            }
            break;
        case VK_DELETE:
            if (!readOnly) {
                CommitPreedit();
                if (control && !model.HasSelection()) {
                    model.CursorWordForward(ESelect::Extend);
                }
                edited = model.Delete();
            }
            break;
        case VK_RETURN:
            CommitPreedit();
            *returnPressed = true;
            break;
        case VK_ESCAPE:
            if (!preedit.isEmpty()) {
                // The composition is the input method's to cancel.
                CInputMethodBridge::Reset(&edit);
                DropPreedit();
            } else if (!model.Text().isEmpty() && !readOnly) {
                model.Clear();
            } else if (edit.manager != nullptr) {
                edit.manager->SetFocus(nullptr);
                return false;
            }
            break;
        default:
            if (control) {
                edited = HandleShortcut(event.wParam, shift);
            }
            break;
        }
        SyncText();
        if (model.Cursor() != cursorBefore || model.Anchor() != anchorBefore || model.Text() != before) {
            if (model.HasSelection() && model.Text() == before) {
                OfferPrimarySelection();
            }
            Refresh();
        }
        return edited || model.Text() != before;
    }

    bool HandleShortcut(WPARAM key, bool shift)
    {
        QClipboard* clipboard = QGuiApplication::clipboard();
        switch (key) {
        case 'A':
            CommitPreedit();
            model.SelectAll();
            OfferPrimarySelection();
            return false;
        case 'C':
            if (model.HasSelection()) {
                clipboard->setText(model.SelectedText(), QClipboard::Clipboard);
            }
            return false;
        case 'X':
            if (model.HasSelection() && !readOnly) {
                clipboard->setText(model.SelectedText(), QClipboard::Clipboard);
                return model.RemoveSelection();
            }
            return false;
        case 'V':
            if (readOnly) {
                return false;
            }
            CommitPreedit();
            return model.Paste(clipboard->text(QClipboard::Clipboard));
        case 'Z':
            if (readOnly) {
                return false;
            }
            CommitPreedit();
            return shift ? model.Redo() : model.Undo();
        case 'Y':
            if (readOnly) {
                return false;
            }
            CommitPreedit();
            return model.Redo();
        default:
            return false;
        }
    }

    bool HandleCharacter(char32_t character)
    {
        // Control characters come with their keys (Backspace, Enter, Escape)
        // and Tab moves the focus: none of them is text.
        if (readOnly || character < 0x20 || character == 0x7F) {
            return false;
        }
        const char32_t one[1] = {character};
        const bool changed = model.Type(QString::fromUcs4(one, 1));
        SyncText();
        Refresh();
        return changed;
    }
};

// ===================================================================== construction

CEditUI::CEditUI()
    : d(std::make_unique<TPrivate>(*this))
{
    textStyle = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
}

CEditUI::~CEditUI() = default;

const char* CEditUI::GetClass() const
{
    return "EditUI";
}

void* CEditUI::GetInterface(const char* name)
{
    if (name != nullptr && std::strcmp(name, "Edit") == 0) {
        return this;
    }
    if (name != nullptr && std::strcmp(name, kInputMethodClientUI) == 0) {
        return static_cast<IInputMethodClientUI*>(d.get());
    }
    return CLabelUI::GetInterface(name);
}

// ===================================================================== attributes

CStdString CEditUI::GetText() const
{
    return text;
}

void CEditUI::SetText(const char* newText)
{
    d->preedit.clear();
    d->preeditFormats.clear();
    d->model.SetText(FromUtf8(newText));
    d->SyncText();
    // The input method's idea of the text is stale now.
    CInputMethodBridge::Reset(this);
    d->Refresh(Qt::ImQueryAll);
}

CStdString CEditUI::GetPlaceholder() const
{
    return d->placeholder;
}

void CEditUI::SetPlaceholder(const char* placeholderText)
{
    d->placeholder = placeholderText != nullptr ? placeholderText : "";
    Invalidate();
}

DWORD CEditUI::GetPlaceholderColor() const
{
    return d->placeholderColor;
}

void CEditUI::SetPlaceholderColor(DWORD argb)
{
    d->placeholderColor = argb;
    Invalidate();
}

int CEditUI::GetMaxChar() const
{
    return d->model.MaxLength();
}

void CEditUI::SetMaxChar(int length)
{
    d->model.SetMaxLength(length);
    d->SyncText();
    d->Refresh(Qt::ImQueryAll);
}

bool CEditUI::IsReadOnly() const
{
    return d->readOnly;
}

void CEditUI::SetReadOnly(bool readOnly)
{
    if (readOnly && !d->preedit.isEmpty()) {
        CInputMethodBridge::Reset(this);
        d->DropPreedit();
    }
    d->readOnly = readOnly;
    d->Refresh(Qt::ImQueryAll);
}

int CEditUI::GetCaretPosition() const
{
    return d->model.Cursor();
}

int CEditUI::GetAnchorPosition() const
{
    return d->model.Anchor();
}

void CEditUI::SetSelection(int anchor, int caret)
{
    d->CommitPreedit();
    d->model.SetSelection(anchor, caret);
    d->Refresh();
}

CStdString CEditUI::GetSelectedText() const
{
    return ToUtf8(d->model.SelectedText());
}

void CEditUI::SelectAll()
{
    SetSelection(0, static_cast<int>(d->model.Text().size()));
}

DWORD CEditUI::GetSelectedBkColor() const
{
    return d->selectedBkColor;
}

void CEditUI::SetSelectedBkColor(DWORD argb)
{
    d->selectedBkColor = argb;
    Invalidate();
}

DWORD CEditUI::GetSelectedTextColor() const
{
    return d->selectedTextColor;
}

void CEditUI::SetSelectedTextColor(DWORD argb)
{
    d->selectedTextColor = argb;
    Invalidate();
}

namespace
{
void SetImage(const char* className, CStdString& text, TImageInfo& info, const char* attributeList)
{
    text = attributeList != nullptr ? attributeList : "";
    if (!ParseImageInfo(text, &info)) {
        ReportBadAttributeValue(className, "image", text.GetData());
    }
}
} // namespace

CStdString CEditUI::GetNormalImage() const
{
    return d->normalImage;
}

void CEditUI::SetNormalImage(const char* attributeList)
{
    SetImage(GetClass(), d->normalImage, d->normalImageInfo, attributeList);
    Invalidate();
}

CStdString CEditUI::GetHotImage() const
{
    return d->hotImage;
}

void CEditUI::SetHotImage(const char* attributeList)
{
    SetImage(GetClass(), d->hotImage, d->hotImageInfo, attributeList);
    Invalidate();
}

CStdString CEditUI::GetFocusedImage() const
{
    return d->focusedImage;
}

void CEditUI::SetFocusedImage(const char* attributeList)
{
    SetImage(GetClass(), d->focusedImage, d->focusedImageInfo, attributeList);
    Invalidate();
}

CStdString CEditUI::GetDisabledImage() const
{
    return d->disabledImage;
}

void CEditUI::SetDisabledImage(const char* attributeList)
{
    SetImage(GetClass(), d->disabledImage, d->disabledImageInfo, attributeList);
    Invalidate();
}

CStdString CEditUI::GetPreeditText() const
{
    return ToUtf8(d->preedit);
}

void CEditUI::SetAttribute(const char* name, const char* value)
{
    const auto is = [name](const char* candidate) { return std::strcmp(name, candidate) == 0; };
    DWORD argb = 0;
    LONG number = 0;
    bool flag = false;
    if (is("placeholder")) {
        SetPlaceholder(value);
    } else if (is("maxchar")) {
        if (ParseInt(value, &number) && number >= 0) {
            SetMaxChar(number);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (is("readonly")) {
        if (ParseBool(value, &flag)) {
            SetReadOnly(flag);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (is("placeholdercolor") || is("selectedbkcolor") || is("selectedtextcolor") || is("caretcolor")) {
        if (!ParseColor(value, &argb)) {
            ReportBadAttributeValue(GetClass(), name, value);
        } else if (is("placeholdercolor")) {
            SetPlaceholderColor(argb);
        } else if (is("selectedbkcolor")) {
            SetSelectedBkColor(argb);
        } else if (is("selectedtextcolor")) {
            SetSelectedTextColor(argb);
        } else {
            d->caretColor = argb;
        }
    } else if (is("normalimage")) {
        SetNormalImage(value);
    } else if (is("hotimage")) {
        SetHotImage(value);
    } else if (is("focusedimage")) {
        SetFocusedImage(value);
    } else if (is("disabledimage")) {
        SetDisabledImage(value);
    } else if (is("align") || is("multiline")) {
        // One line from the left: the caret and the scrolling rely on it.
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

// ===================================================================== events

UINT CEditUI::GetKeyClaims() const
{
    if (!IsEnabled()) {
        return 0;
    }
    // Read-only text can still be selected and copied, but Space stays the
    // window's.
    return d->readOnly ? (DLGC_WANTARROWS | DLGC_WANTALLKEYS) : (DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTCHARS);
}

bool CEditUI::IsFocusable() const
{
    return IsKeyboardEnabled();
}

void CEditUI::SetEnabled(bool enabled)
{
    if (!enabled) {
        d->hot = false;
        d->dragging = false;
    }
    CLabelUI::SetEnabled(enabled);
    // A disabled entry takes no keys: it gives the focus back.
    if (!enabled && IsFocused() && manager != nullptr) {
        manager->SetFocus(nullptr);
    }
}

void CEditUI::SetVisible(bool visible)
{
    if (!visible) {
        d->hot = false;
        d->dragging = false;
    }
    CLabelUI::SetVisible(visible);
}

bool CEditUI::Activate()
{
    if (!CLabelUI::Activate()) {
        return false;
    }
    SetFocus();
    return true;
}

void CEditUI::DoEvent(TEventUI& event)
{
    bool changed = false;
    bool returnPressed = false;
    switch (event.Type) {
    case UIEVENT_KEYDOWN:
        if (!IsEnabled()) {
            return;
        }
        changed = d->HandleKey(event, &returnPressed);
        break;
    case UIEVENT_KEYUP:
        return;
    case UIEVENT_CHAR:
        if (!IsEnabled()) {
            return;
        }
        changed = d->HandleCharacter(event.character != 0 ? event.character : static_cast<char32_t>(event.wParam));
        break;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled() && !d->hot) {
            d->hot = true;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSELEAVE:
        if (d->hot) {
            d->hot = false;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONDOWN: {
        if (!IsEnabled()) {
            return;
        }
        changed = d->CommitPreedit();
        const int position = d->PositionAt(event.ptMouse.x);
        const DWORD sinceDoubleClick = event.dwTimestamp - d->doubleClickTime;
        if (d->doubleClicked &&
            sinceDoubleClick <= static_cast<DWORD>(QGuiApplication::styleHints()->mouseDoubleClickInterval())) {
            // The third click of a quick series selects everything.
            d->doubleClicked = false;
            d->model.SelectAll();
            d->dragging = false;
        } else {
            d->doubleClicked = false;
            d->model.SetCursor(position, (event.wKeyState & MK_SHIFT) != 0 ? ESelect::Extend : ESelect::Move);
            d->dragging = true;
        }
        d->Refresh();
        break;
    }
    case UIEVENT_DBLCLICK:
        if (!IsEnabled()) {
            return;
        }
        changed = d->CommitPreedit();
        d->model.SelectWordAt(d->PositionAt(event.ptMouse.x));
        d->doubleClicked = true;
        d->doubleClickTime = event.dwTimestamp;
        d->dragging = false;
        d->Refresh();
        d->OfferPrimarySelection();
        break;
    case UIEVENT_MOUSEMOVE:
        if (d->dragging) {
            const int cursor = d->model.Cursor();
            d->model.SetCursor(d->PositionAt(event.ptMouse.x), ESelect::Extend);
            if (d->model.Cursor() != cursor) {
                d->Refresh();
            }
        }
        return;
    case UIEVENT_BUTTONUP:
        if (d->dragging) {
            d->dragging = false;
            d->OfferPrimarySelection();
        }
        return;
    case UIEVENT_MBUTTONUP: {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (!IsEnabled() || d->readOnly || !clipboard->supportsSelection()) {
            return;
        }
        changed = d->CommitPreedit();
        d->model.SetCursor(d->PositionAt(event.ptMouse.x));
        changed = d->model.Paste(clipboard->text(QClipboard::Selection)) || changed;
        d->SyncText();
        d->Refresh();
        break;
    }
    case UIEVENT_SETFOCUS:
        d->windowActive = true;
        d->RestartBlink();
        Invalidate();
        return;
    case UIEVENT_KILLFOCUS:
        // The window losing the keyboard focus keeps the entry the focus of
        // its window; the input method ended the composition either way.
        d->windowActive = event.wParam != UIFOCUS_WINDOW;
        d->dragging = false;
        d->DropPreedit();
        d->caretOn = false;
        if (manager != nullptr) {
            manager->KillTimer(this, kCaretTimerId);
        }
        Invalidate();
        return;
    case UIEVENT_TIMER:
        if (event.wParam == kCaretTimerId) {
            d->caretOn = !d->caretOn;
            Invalidate();
        }
        return;
    default:
        CLabelUI::DoEvent(event);
        return;
    }
    // Last: a receiver of the notifications may remove this edit.
    if (manager == nullptr) {
        return;
    }
    CPaintManagerUI* notifyManager = manager;
    if (changed) {
        notifyManager->SendNotify(this, "textchanged");
    }
    if (returnPressed && !changed) {
        notifyManager->SendNotify(this, "return");
    }
}

// ===================================================================== painting

void CEditUI::PaintStatusImage(HDC painter)
{
    const TImageInfo* image = &d->normalImageInfo;
    if (!IsEnabled()) {
        if (!d->disabledImageInfo.IsEmpty()) {
            image = &d->disabledImageInfo;
        }
    } else if (IsFocused() && !d->focusedImageInfo.IsEmpty()) {
        image = &d->focusedImageInfo;
    } else if (d->hot && !d->hotImageInfo.IsEmpty()) {
        image = &d->hotImageInfo;
    }
    if (!image->IsEmpty()) {
        DrawImage(painter, *image);
    }
}

void CEditUI::PaintText(HDC painter)
{
    const RECT textRect = GetTextRect();
    if (UIIsRectEmpty(textRect)) {
        return;
    }
    const bool showCaret = d->HasFocus() && d->caretOn && !d->readOnly && IsEnabled() &&
                           (d->preedit.isEmpty() || d->preeditCaretVisible);
    if (d->model.Text().isEmpty() && d->preedit.isEmpty() && !d->placeholder.IsEmpty()) {
        const DWORD colour = (d->placeholderColor >> 24) != 0 ? d->placeholderColor : kDefaultPlaceholderColor;
        CRenderEngine::DrawText(painter, manager, textRect, d->placeholder, colour, fontIndex,
                                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    d->UpdateScroll();
    const auto layout = d->MakeLayout(true);
    const QTextLine line = layout->lineAt(0);
    if (!line.isValid()) {
        return;
    }
    TEditLinePaint paint;
    paint.layout = layout.get();
    paint.box = d->Box();
    paint.origin = QPointF(paint.box.left() - d->scroll, d->LineTop(line));
    paint.textColor = CRenderEngineQt::ToQColor(GetCurrentTextColor());
    if (d->model.HasSelection() && d->preedit.isEmpty()) {
        QTextLayout::FormatRange selection;
        selection.start = d->model.SelectionStart();
        selection.length = d->model.SelectionEnd() - d->model.SelectionStart();
        const DWORD background = (d->selectedBkColor >> 24) != 0 ? d->selectedBkColor : kDefaultSelectedBkColor;
        const DWORD foreground =
            (d->selectedTextColor >> 24) != 0 ? d->selectedTextColor : kDefaultSelectedTextColor;
        selection.format.setBackground(CRenderEngineQt::ToQColor(background));
        selection.format.setForeground(CRenderEngineQt::ToQColor(foreground));
        paint.selections.append(selection);
    }
    if (showCaret) {
        paint.caretPosition = d->LayoutCaret();
        paint.caretColor = (d->caretColor >> 24) != 0 ? CRenderEngineQt::ToQColor(d->caretColor) : paint.textColor;
    }
    CRenderEngineQt::DrawEditLine(static_cast<QPainter*>(painter), paint);
}
