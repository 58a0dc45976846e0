#pragma once

// COptionUI: a button that stays selected. Options that share a group name
// within one window are exclusive: selecting one deselects the others. The
// paint manager keeps each group's options in the order in which they joined
// it (CPaintManagerUI::GetOptionGroup); an option joins when it is attached
// to a manager and leaves when it is detached, regrouped or destroyed.
//
// Notifications: a change made through Selected() notifies "selectchanged"
// from the option whose state was changed; the options of its group that
// lose the selection because of it change silently (their change is implied
// by the one notification). A click, or Space on the focused option, selects
// an option of a group (an already selected one stays selected; an option
// without a group toggles) and then notifies "click", so a receiver of
// "click" already sees the new selection. Enter on the focused option does
// the same and then notifies "dbclick", the notification that a double click
// sends: Enter chooses, as a double click does.
//
// Attributes (beside CButtonUI's): group, selected (true/false),
// selectedimage, selectedhotimage (image attribute lists), selectedtextcolor.
// A selected option shows selectedimage (selectedhotimage under the mouse
// when given), drawn where the state pictures go, so foreimage (a station's
// dot) is drawn over it.

#include "uilib/controls/ButtonUI.h"

class COptionUI : public CButtonUI
{
public:
    COptionUI() = default;

    const char* GetClass() const override;
    void* GetInterface(const char* name) override;

    CStdString GetGroup() const;
    // Leaves the old group and joins the new one (an empty name: none).
    void SetGroup(const char* group);

    bool IsSelected() const;
    // Selects or deselects the option; selecting deselects the rest of its
    // group. Notifies "selectchanged" when the state changes.
    void Selected(bool selected);

    CStdString GetSelectedImage() const;
    void SetSelectedImage(const char* attributeList);
    CStdString GetSelectedHotImage() const;
    void SetSelectedHotImage(const char* attributeList);
    DWORD GetSelectedTextColor() const;
    void SetSelectedTextColor(DWORD argb);

    void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const char* name, const char* value) override;
    void PaintStatusImage(HDC painter) override;

protected:
    DWORD GetCurrentTextColor() const override;

private:
    enum class ENotify
    {
        Send,
        Silent,
    };
    void ChangeSelection(bool selected, ENotify notify);
    // Deselects, without notifying, every other option of the group.
    void DeselectOthers();

    CStdString group;
    bool selected = false;
    CStdString selectedImage;
    TImageInfo selectedImageInfo;
    CStdString selectedHotImage;
    TImageInfo selectedHotImageInfo;
    DWORD selectedTextColor = 0;
};
