#pragma once

// CControlUI: the base of every control of the DirectUI library. A control is
// a rectangle of its window's client area that paints itself through
// CRenderEngine, receives events from its window's paint manager (DoEvent)
// and reports what the user did as notifications (CPaintManagerUI::SendNotify).
//
// Life cycle: a control is created by the layout builder or by code, gets its
// attributes (SetAttribute / ApplyAttributeList), is added to a container,
// which owns it from then on, and is attached to a paint manager (SetManager),
// after which DoInit runs once. Layout happens in SetPos, painting in DoPaint.
//
// Painting order in DoPaint: background colour, background image, status
// image (the state pictures of buttons and options), fore image, text,
// border. A derived control overrides the steps, not DoPaint.
//
// Mouse handling: the paint manager sends UIEVENT_BUTTONDOWN to the topmost
// enabled control under the mouse, captures the mouse for it and sends it
// UIEVENT_BUTTONUP when the button is released, wherever that happens. A
// release counts as a click only when it is over the control that took the
// press: test it with IsPointInside(event.ptMouse).
//
// Base attributes: name, pos ("left,top,right,bottom", used when the control
// is not placed by a layout), padding (outer margin "l,t,r,b"), width, height,
// minwidth, minheight, maxwidth, maxheight, bkcolor / bordercolor (#AARRGGBB
// or #RRGGBB), bordersize, bkimage, foreimage (image attribute lists), text,
// tooltip, userdata, visible, enabled, mouse, keyboard ("false": neither a
// click nor Tab gives the control the keyboard focus).

#include "platform/win/Win.h"
#include "uilib/core/ImageInfo.h"
#include "uilib/core/StdString.h"
#include "uilib/window/UIDefines.h"

class CPaintManagerUI;

class CControlUI
{
public:
    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    virtual CStdString GetName() const;
    virtual void SetName(const char* name);
    // "ControlUI" here; each derived class answers its own.
    virtual const char* GetClass() const;
    // `this` for "Control" (and, in derived classes, their own and their
    // bases' interface names), null otherwise.
    virtual void* GetInterface(const char* name);

    virtual CStdString GetText() const;
    virtual void SetText(const char* text);
    // Free text the application attaches to the control (a station's URL).
    CStdString GetUserData() const;
    void SetUserData(const char* data);
    CStdString GetToolTip() const;
    void SetToolTip(const char* tip);

    CPaintManagerUI* GetManager() const;
    // Attaches the control (containers: and their children) to a manager.
    // With init, DoInit runs once the control is attached. A null manager
    // detaches: the manager forgets the control (focus, capture, hot control,
    // queued notifications) before it goes.
    virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true);
    CControlUI* GetParent() const;

    // The control's rectangle in client coordinates of its window.
    virtual RECT GetPos() const;
    virtual void SetPos(RECT pos);
    // Whether the point (client coordinates) lies inside GetPos().
    bool IsPointInside(POINT point) const;

    // Fixed sizes in pixels; 0 means "no fixed size: share the free space".
    int GetFixedWidth() const;
    void SetFixedWidth(int width);
    int GetFixedHeight() const;
    void SetFixedHeight(int height);
    int GetMinWidth() const;
    void SetMinWidth(int width);
    int GetMaxWidth() const;
    void SetMaxWidth(int width);
    int GetMinHeight() const;
    void SetMinHeight(int height);
    int GetMaxHeight() const;
    void SetMaxHeight(int height);
    // Outer margin: distances kept free around the control inside a layout.
    RECT GetPadding() const;
    void SetPadding(RECT padding);
    // Position used when the control is not placed by a layout ("pos").
    RECT GetFixedPos() const;
    bool HasFixedPos() const;

    // The size a layout should give the control: the fixed width/height, or 0
    // for a dimension that takes a share of the free space.
    virtual SIZE EstimateSize(SIZE available);

    bool IsVisible() const;
    virtual void SetVisible(bool visible);
    bool IsEnabled() const;
    virtual void SetEnabled(bool enabled);
    bool IsFocused() const;
    virtual void SetFocus();
    bool IsMouseEnabled() const;
    void SetMouseEnabled(bool enabled);
    bool IsKeyboardEnabled() const;
    void SetKeyboardEnabled(bool enabled);
    // Whether Tab stops at the control: it takes input from the keyboard
    // (buttons, options, sliders, edits; not labels or containers) and its
    // "keyboard" attribute is on. Visibility and enabling are the walk's
    // business (uilib/window/FocusNavigation.h).
    virtual bool IsFocusable() const;

    // Colours are 0xAARRGGBB; an alpha of 0 draws nothing.
    DWORD GetBkColor() const;
    void SetBkColor(DWORD argb);
    DWORD GetBorderColor() const;
    void SetBorderColor(DWORD argb);
    // Border width in pixels.
    int GetBorderSize() const;
    void SetBorderSize(int size);

    // Image attribute lists, answered as they were given; they are parsed
    // once, when set.
    CStdString GetBkImage() const;
    void SetBkImage(const char* attributeList);
    CStdString GetForeImage() const;
    void SetForeImage(const char* attributeList);

    // Tree search: answers the first control (this one, for a plain control)
    // that passes the flags and that `proc` answers non-null for.
    virtual CControlUI* FindControl(FINDCONTROLPROC proc, void* data, UINT flags);

    // Asks the window to repaint this control's rectangle.
    void Invalidate();
    // The control's own size-dependent state changed: relayout it.
    void NeedUpdate();
    // The control's size changed: its parent has to lay out again.
    void NeedParentUpdate();
    bool IsUpdateNeeded() const;

    // Events from the paint manager. The base sends "dbclick" for
    // UIEVENT_DBLCLICK and "menu" for UIEVENT_CONTEXTMENU (enabled controls
    // only), calls Activate for Enter and Space, and hands wheel events to its
    // parent; derived controls pass the events they do not use on to it.
    virtual void DoEvent(TEventUI& event);

    // Paints the part of the control inside paintRect.
    virtual void DoPaint(HDC painter, const RECT& paintRect);
    virtual void PaintBkColor(HDC painter);
    virtual void PaintBkImage(HDC painter);
    virtual void PaintStatusImage(HDC painter);
    virtual void PaintForeImage(HDC painter);
    virtual void PaintText(HDC painter);
    virtual void PaintBorder(HDC painter);
    // Draws an image into this control's rectangle, clipped to the rectangle
    // being painted; answers whether anything was drawn.
    bool DrawImage(HDC painter, const TImageInfo& image);

    // Applies one attribute; derived classes handle theirs and hand the rest
    // to their base. An unknown name is reported to stderr in debug builds.
    virtual void SetAttribute(const char* name, const char* value);
    // A space-separated list of name="value" (or name='value') pairs, applied
    // in order; a malformed tail is ignored after what could be parsed.
    void ApplyAttributeList(const char* list);

    // Runs once, after the control was attached to a manager.
    virtual void DoInit();

    // The control's action as if it had been clicked (buttons notify "click",
    // options select themselves). Answers false when the control cannot act
    // (hidden or disabled). The base DoEvent calls it for Enter and Space
    // while the control has the keyboard focus.
    virtual bool Activate();

    // The keys the control wants while it has the focus, before the windows'
    // key filters see them: DLGC_* bits of uilib/window/UIDefines.h. None
    // here; a text entry wants nearly all.
    virtual UINT GetKeyClaims() const;

protected:
    // The rectangle being painted, valid during DoPaint; DrawImage clips to it.
    RECT paintRect = {0, 0, 0, 0};

    CPaintManagerUI* manager = nullptr;
    CControlUI* parent = nullptr;
    CStdString name;
    CStdString text;
    CStdString toolTip;
    CStdString userData;
    RECT pos = {0, 0, 0, 0};
    RECT fixedPos = {0, 0, 0, 0};
    bool hasFixedPos = false;
    RECT padding = {0, 0, 0, 0};
    SIZE fixedSize = {0, 0};
    SIZE minSize = {0, 0};
    // Pixels; the largest size a layout may give (very large by default).
    SIZE maxSize = {9999, 9999};
    bool visible = true;
    bool enabled = true;
    bool mouseEnabled = true;
    bool keyboardEnabled = true;
    bool updateNeeded = true;
    bool initialised = false;
    DWORD bkColor = 0;
    DWORD borderColor = 0;
    int borderSize = 0;
    CStdString bkImage;
    TImageInfo bkImageInfo;
    CStdString foreImage;
    TImageInfo foreImageInfo;
};
