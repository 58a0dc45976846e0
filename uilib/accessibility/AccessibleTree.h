#pragma once

// What a screen reader sees of a window's control tree, without Qt: which
// controls are shown to it, their kind, name and focusability, and the
// shape of the tree once the controls that are layout only are left out.
//
// A control is exposed when it is something to read or to use: buttons,
// options, sliders, progress bars and edits always; labels with a text, a
// tooltip or a name (a named label carries changing text, such as the status
// line); containers with a name (the pages and panels of a layout). Unnamed
// containers are rows and columns of the layout: their exposed children take
// their place in the nearest exposed ancestor. Unnamed spacers and pictures
// without text are left out.
//
// GUI thread only.

#include "uilib/core/StdString.h"

#include <vector>

class CControlUI;
class CPaintManagerUI;

enum class EAccessibleKind
{
    Button,
    RadioButton,   // an option of a group
    CheckBox,      // an option without a group
    Slider,
    ProgressBar,
    Edit,
    Label,
    Group,         // a named container
    Other,
};

EAccessibleKind AccessibleKindOf(CControlUI* control);
bool IsExposed(CControlUI* control);
// The exposed controls that a reader finds directly below `control` (the
// window's root when null is given, which answers the root itself when it is
// exposed), in the order of the tree.
std::vector<CControlUI*> ExposedChildren(CPaintManagerUI& manager, CControlUI* control);
// The nearest exposed ancestor; null when it is the window itself.
CControlUI* ExposedParent(CControlUI* control);
// Whether the control belongs to the manager's tree now: attached to it, and
// its chain of parents ends at the manager's root.
bool IsInTree(const CPaintManagerUI& manager, CControlUI* control);
// The text, else the tooltip, else the control's name in words (a table of
// the skins' names), else the name itself; UTF-8. An entry's text is its
// value: it is named by its tooltip, its name in words or its placeholder.
CStdString AccessibleName(CControlUI* control);
// The tooltip when the name is the text and the tooltip says more.
CStdString AccessibleDescription(CControlUI* control);
// Whether the keyboard focus can go to the control now: it takes the focus
// (CControlUI::IsFocusable) and is shown and enabled.
bool IsAccessibleFocusable(CControlUI* control);
// Hidden itself or below a hidden container.
bool IsShownInTree(CControlUI* control);
// Whether any part of the control is inside all of its ancestors' rectangles
// (a scrolled-out station of a page is not).
bool IsOnScreen(CControlUI* control);
