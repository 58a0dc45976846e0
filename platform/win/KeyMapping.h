#pragma once

// Qt keys as Win32 virtual keys, and the texts of key presses kept until
// TranslateMessage turns them into WM_CHAR.

#include "platform/win/Win.h"

#include <QString>

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
