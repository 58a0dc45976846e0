#pragma once

// CVerticalLayoutUI: places its visible children top to bottom inside its
// inner rectangle (the rectangle less `inset`), `childpadding` pixels apart.
// A child with a fixed height keeps it; the others share what is left in
// equal parts (a remainder of pixels goes one each to the first of them, so
// the column is filled exactly). A child without a fixed width is as wide as
// the column; one with a fixed width sits at the column's left. Each child's
// `padding` is kept free around it.
//
// Scrolling (attribute vscrollbar="true"): when the children need more
// height than the layout has, a thin scroll bar appears at the right edge of
// the inner rectangle and the children are shifted up by the scroll
// position. Sharing children then get only their minimum height. The wheel
// over the layout (or over any child that does not use it) scrolls, the
// thumb can be dragged, and a press on the track pages.

#include "uilib/controls/ContainerUI.h"

class CVerticalLayoutUI : public CContainerUI
{
public:
    const char* GetClass() const override;
    void* GetInterface(const char* name) override;

    void EnableScrollBar(bool enable);
    bool IsScrollBarEnabled() const;
    // Shown: enabled and the content is taller than the layout.
    bool IsScrollBarVisible() const;
    // Pixels the content is shifted up, 0 .. GetScrollRange().
    int GetScrollPos() const;
    void SetScrollPos(int position);
    // Scrolls so that the rectangle (client coordinates, of a child as it
    // is placed now) lies inside the layout; one taller than the layout
    // shows its top. Nothing happens while the bar is not shown.
    void EnsureVisible(const RECT& rect);
    int GetScrollRange() const;
    // The scroll bar's track and thumb in client coordinates (empty when the
    // bar is not shown).
    RECT GetScrollBarRect() const;
    RECT GetThumbRect() const;

    void SetPos(RECT pos) override;
    void DoEvent(TEventUI& event) override;
    CControlUI* FindControl(FINDCONTROLPROC proc, void* data, UINT flags) override;
    void DoPaint(HDC painter, const RECT& paintRect) override;
    void SetAttribute(const char* name, const char* value) override;

protected:
    RECT GetInnerRect() const override;

private:
    // Total height the visible children need at the given inner width.
    int ContentHeight(int innerWidth);
    void PlaceChildren();
    void PaintScrollBar(HDC painter);

    bool scrollBarEnabled = false;
    bool scrollBarVisible = false;
    int scrollPos = 0;
    int scrollRange = 0;
    bool draggingThumb = false;
    // Distance from the thumb's top to the mouse when the drag began.
    int dragOffset = 0;
    bool thumbHot = false;
};
