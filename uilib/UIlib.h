#pragma once

// The DirectUI library as the system's code sees it: windows, the paint
// manager, the controls, the layout builder and the string and container
// types. Includes no Qt header.

#include "platform/win/Win.h"

#include "uilib/core/ImageInfo.h"
#include "uilib/core/StdPtrArray.h"
#include "uilib/core/StdString.h"
#include "uilib/core/StdStringPtrMap.h"

#include "uilib/window/FocusManager.h"
#include "uilib/window/PaintManagerUI.h"
#include "uilib/window/UIDefines.h"
#include "uilib/window/UIInterfaces.h"
#include "uilib/window/WindowWnd.h"

#include "uilib/controls/ButtonUI.h"
#include "uilib/controls/ContainerUI.h"
#include "uilib/controls/ControlUI.h"
#include "uilib/controls/HorizontalLayoutUI.h"
#include "uilib/controls/LabelUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/controls/VerticalLayoutUI.h"

#include "uilib/layout/ControlFactory.h"
#include "uilib/layout/DialogBuilder.h"
