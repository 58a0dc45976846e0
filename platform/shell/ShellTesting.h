#pragma once

// Test access to the notification-area icon: an activation that goes through
// exactly the path a real click on the icon takes.

#include "platform/win/Win.h"

#include <string>

// Reasons as the notification area reports them.
enum class NotifyIconActivation { Trigger, Context, DoubleClick, MiddleClick };

// Delivers an activation of the icon (window, id); false when there is none.
bool SimulateNotifyIconActivation(HWND window, UINT id, NotifyIconActivation reason);

// Whether an icon (window, id) is registered, shown or not.
bool HasNotifyIcon(HWND window, UINT id);

// The open-file dialog's filter as the desktop dialog takes it, from the
// Win32 form: "图片文件(*.bmp,*.jpg,*.png)\0*.bmp;*.jpg;*.png\0\0" gives
// "图片文件(*.bmp,*.jpg,*.png) (*.bmp *.jpg *.png)"; entries joined by ";;".
std::string TranslateFileFilter(const char* filter);

// The form in which ShellExecute hands a link on: a space, '|', '"', '<',
// '>', '\\', '^', '`', '{', '}' and a '%' that starts no escape are
// percent-encoded; other bytes stay as they are. Empty for a link holding a
// control character.
std::string EncodeLink(const char* link);
