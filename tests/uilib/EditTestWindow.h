#pragma once

// A real (offscreen) window holding an edit above a button, driven the way
// the platform drives it: Qt key, mouse-free input method and query events
// go to the window's widget, which queues them as messages, and the
// message loop's steps (the library's key claims and filters, translation,
// dispatch) run until the queue is empty. Shared by the edit's tests and by
// the tests of windows that hold an edit.

#include "uilib/ControlsTestWindow.h"

#include "platform/win/WinQt.h"
#include "uilib/controls/ButtonUI.h"
#include "uilib/controls/EditUI.h"
#include "uilib/controls/VerticalLayoutUI.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QTextCharFormat>
#include <QWidget>

namespace edittest {

// Runs the steps of the message loop for every message waiting.
inline void Pump()
{
    MSG message{};
    while (::PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Kept for the test that looks for it.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!CPaintManagerUI::TranslateMessage(&message)) {
            ::TranslateMessage(&message);
            ::DispatchMessage(&message);
        }
    }
}

// Sends a key press and release with its text to a window's widget, then
// runs the loop.
inline void SendKey(HWND window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    const QString& text = QString())
{
    QWidget* widget = WidgetFromHwnd(window);
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &release);
    Pump();
}

// Types text as key presses that carry it (as xdotool does for Chinese).
inline void TypeText(HWND window, const QString& text)
{
    for (char32_t character : text.toUcs4()) {
        const char32_t one[1] = {character};
        const QString piece = QString::fromUcs4(one, 1);
        const int key = character < 0x80 ? QChar(static_cast<char16_t>(character)).toUpper().unicode()
                                         : static_cast<int>(character);
        SendKey(window, key == ' ' ? Qt::Key_Space : key, Qt::NoModifier, piece);
    }
}

// An input method's event: a pre-edit (underlined by a TextFormat, the
// caret at its end) and/or a commit replacing text around the caret.
inline void SendInputMethod(HWND window, const QString& preedit, const QString& commit = QString(),
                            int replaceStart = 0, int replaceLength = 0)
{
    QList<QInputMethodEvent::Attribute> attributes;
    if (!preedit.isEmpty()) {
        QTextCharFormat format;
        format.setFontUnderline(true);
        attributes.append(QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, 0,
                                                       static_cast<int>(preedit.size()), format));
        attributes.append(
            QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, static_cast<int>(preedit.size()), 1, QVariant()));
    }
    QInputMethodEvent event(preedit, attributes);
    if (!commit.isEmpty() || replaceLength > 0) {
        event.setCommitString(commit, replaceStart, replaceLength);
    }
    QCoreApplication::sendEvent(WidgetFromHwnd(window), &event);
    Pump();
}

inline QVariant Query(HWND window, Qt::InputMethodQuery query)
{
    QInputMethodQueryEvent event(query);
    QCoreApplication::sendEvent(WidgetFromHwnd(window), &event);
    return event.value(query);
}

inline QString Utf8(const CStdString& text)
{
    return QString::fromUtf8(text.GetData(), text.GetLength());
}

// A 300 x 60 window: the edit in the upper 30 px, a button below.
struct TEditWindow
{
    explicit TEditWindow(const char* editAttributes = "")
        : window(300, 60)
    {
        auto* column = new CVerticalLayoutUI();
        edit = new CEditUI();
        edit->ApplyAttributeList(editAttributes);
        edit->SetFixedHeight(30);
        button = new CButtonUI();
        column->Add(edit);
        column->Add(button);
        window.Attach(column);
    }

    HWND Hwnd() { return window.GetHWND(); }
    void Focus() { window.Manager().SetFocus(edit); }
    QString Text() const { return Utf8(edit->GetText()); }

    CControlsTestWindow window;
    CEditUI* edit = nullptr;
    CButtonUI* button = nullptr;
};

} // namespace edittest
