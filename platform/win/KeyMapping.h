#pragma once

// Qt keys as Win32 virtual keys, and the texts of key presses kept until
// TranslateMessage turns them into WM_CHAR.

#include "platform/win/Win.h"

#include <QString>

#include <memory>

class QInputMethodEvent;

// 0 for a key that has no virtual key of its own.
WPARAM VirtualKeyFromQtKey(int key);

// A key message carries a token in the scan-code bits (16 to 23) of its
// lParam; the token finds the text of its key press. Tokens run from 1 to
// 255 and are reused round-robin, so the text of a key that was never
// translated is forgotten after 255 more presses. Token 0 means "no text".
int StoreKeyText(const QString& text);
QString KeyTextForToken(int token);
// The character a virtual key produces when no text was recorded (messages
// made by code rather than by a key press); 0 for none.
char32_t CharacterForVirtualKey(WPARAM key);

// An input method's event travels through the queue as WM_IME_COMPOSITION
// with a token in wParam; the copy stays until it is taken (once). Tokens
// are never 0; the oldest of more than 255 untaken events is forgotten.
WPARAM StoreInputMethodEvent(const QInputMethodEvent& event);
std::unique_ptr<QInputMethodEvent> TakeInputMethodEvent(WPARAM token);

// Modifier bits that key messages carry in lParam (bits 25 and 26, which
// Win32 reserves): whether Ctrl or Shift was held when the key was pressed.
bool KeyMessageHasControl(LPARAM lParam);
bool KeyMessageHasShift(LPARAM lParam);
