#pragma once

// CHorizontalLayoutUI: places its visible children left to right inside its
// inner rectangle (the rectangle less `inset`), `childpadding` pixels apart.
// A child with a fixed width keeps it; the others share what is left in
// equal parts (a remainder of pixels goes one each to the first of them, so
// the row is filled exactly). A child without a fixed height is as high as
// the row; one with a fixed height sits at the row's top. Each child's
// `padding` is kept free around it.

#include "uilib/controls/ContainerUI.h"

class CHorizontalLayoutUI : public CContainerUI
{
public:
    const char* GetClass() const override;
    void* GetInterface(const char* name) override;
    void SetPos(RECT pos) override;
};
