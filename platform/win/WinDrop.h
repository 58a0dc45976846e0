#pragma once

// Files and links dropped on a window, handed over as Win32 hands them: a
// window that accepts drops (DragAcceptFiles) receives one posted
// WM_DROPFILES per drop, with a drop handle in wParam whose items
// DragQueryFile reads and which DragFinish frees. Items are local file paths
// and http(s) links, UTF-8, in the order they were dragged. GUI thread only.

#include "platform/win/Win.h"

#include <string>
#include <vector>

struct HDROP__;
using HDROP = HDROP__*;

constexpr UINT WM_DROPFILES = 0x0233;

// Most items one drop hands over; the rest of a larger drop is left out.
constexpr std::size_t kMostDroppedItems = 1000;

// Whether the window takes drops from now on.
void DragAcceptFiles(HWND window, BOOL accept);
BOOL AcceptsDroppedFiles(HWND window);

// With index 0xFFFFFFFF: the number of items. Otherwise the length in bytes
// of item `index` (without the NUL), copied into `buffer` when one is given
// and it fits (cut to size - 1 bytes and NUL-ended when it does not); 0 for
// an unknown handle or index.
UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size);

// Frees the drop; the handle is invalid afterwards.
void DragFinish(HDROP drop);

// The items of a drop as one list (a convenience over DragQueryFile).
std::vector<std::string> DroppedItems(HDROP drop);

// The window widget's side: keeps the items under a new handle and posts
// WM_DROPFILES with it to the window. Null (and nothing posted) for an empty
// list or a window that does not take drops.
HDROP PostDroppedItems(HWND window, std::vector<std::string> items);
