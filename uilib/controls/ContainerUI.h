#pragma once

// CContainerUI: a control that owns an ordered list of children. A child
// belongs to the container from Add/AddAt on and is deleted by Remove,
// RemoveAt, RemoveAll or the container's destructor. While the paint manager
// is handling a message or a notification, a removed child is taken out of
// the tree (detached from the manager, which forgets it as focus, hot or
// pressed control, drops its queued notifications and its option-group
// membership) at once, and deleted when the handling is over, so a control
// can be removed from inside its own notification.
//
// A plain container gives every visible child its inner rectangle (its
// rectangle less `inset`), or, for a child with a `pos`, that rectangle
// offset from the inner top-left corner: children stack over each other.
// The layouts (CVerticalLayoutUI, CHorizontalLayoutUI) place them in a row.
//
// Attributes (beside CControlUI's): inset ("l,t,r,b", inner margin),
// childpadding (pixels between two children of a layout), mousechild
// ("false": the children never take the mouse, the container itself does).

#include "uilib/controls/ControlUI.h"

#include <vector>

class CContainerUI : public CControlUI
{
public:
    CContainerUI();
    ~CContainerUI() override;

    const char* GetClass() const override;
    void* GetInterface(const char* name) override;

    CControlUI* GetItemAt(int index) const;
    // -1 when the control is not a child of this container.
    int GetItemIndex(CControlUI* control) const;
    int GetCount() const;
    // Appends; false for null or a control that already has a parent.
    bool Add(CControlUI* control);
    // Inserts before `index` (GetCount() appends).
    bool AddAt(CControlUI* control, int index);
    bool Remove(CControlUI* control);
    bool RemoveAt(int index);
    void RemoveAll();

    RECT GetInset() const;
    void SetInset(RECT inset);
    int GetChildPadding() const;
    void SetChildPadding(int padding);
    bool IsMouseChildEnabled() const;
    void SetMouseChildEnabled(bool enabled);

    void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
    void SetPos(RECT pos) override;
    void SetVisible(bool visible) override;
    CControlUI* FindControl(FINDCONTROLPROC proc, void* data, UINT flags) override;
    void DoPaint(HDC painter, const RECT& paintRect) override;
    void SetAttribute(const char* name, const char* value) override;

protected:
    // The rectangle children are placed in: the control's rectangle less the
    // inset (and, in a scrolling layout, less the scroll bar).
    virtual RECT GetInnerRect() const;
    // Paints the children that meet `area`, clipped to `clip`.
    void PaintChildren(HDC painter, const RECT& area, const RECT& clip);
    // Detaches the child and deletes it (later, when the manager is busy).
    void ReleaseChild(CControlUI* control);
    // Tells the manager's observers that the list of children changed.
    void ChildrenChanged();
    // The part of `free` pixels that the `ordinal`-th of `count` sharing
    // children gets: equal parts, the remainder one pixel each to the first
    // ones, so the parts add up to `free` exactly. Nothing when free < 0.
    static int ShareOf(int free, int count, int ordinal);
    // A size kept within a child's minimum and maximum (0: no maximum).
    static int Clamp(int size, int minimum, int maximum);

    std::vector<CControlUI*> items;
    RECT inset = {0, 0, 0, 0};
    // Pixels between two neighbouring children of a layout.
    int childPadding = 0;
    bool mouseChildEnabled = true;
};
