#include "uilib/controls/OptionUI.h"

#include "uilib/controls/BadAttributeValue.h"
#include "uilib/core/StdPtrArray.h"
#include "uilib/core/ValueParsers.h"
#include "uilib/window/PaintManagerUI.h"

#include <cstring>
#include <vector>

const char* COptionUI::GetClass() const
{
    return "OptionUI";
}

void* COptionUI::GetInterface(const char* name)
{
    if (name != nullptr && std::strcmp(name, "Option") == 0) {
        return this;
    }
    return CButtonUI::GetInterface(name);
}

CStdString COptionUI::GetGroup() const
{
    return group;
}

void COptionUI::SetGroup(const char* newGroup)
{
    const CStdString name(newGroup);
    if (name == group) {
        return;
    }
    if (manager != nullptr && !group.IsEmpty()) {
        manager->RemoveOptionGroup(group, this);
    }
    group = name;
    if (manager != nullptr && !group.IsEmpty()) {
        manager->AddOptionGroup(group, this);
        if (selected) {
            DeselectOthers();
        }
    }
}

bool COptionUI::IsSelected() const
{
    return selected;
}

void COptionUI::Selected(bool select)
{
    ChangeSelection(select, ENotify::Send);
}

void COptionUI::ChangeSelection(bool select, ENotify notify)
{
    if (selected == select) {
        return;
    }
    selected = select;
    if (selected) {
        DeselectOthers();
    }
    Invalidate();
    if (manager != nullptr) {
        manager->NotifyControlChanged(this, EControlChange::Selection);
    }
    if (notify == ENotify::Send && manager != nullptr) {
        manager->SendNotify(this, "selectchanged");
    }
}

void COptionUI::DeselectOthers()
{
    if (manager == nullptr || group.IsEmpty()) {
        return;
    }
    CStdPtrArray* options = manager->GetOptionGroup(group);
    if (options == nullptr) {
        return;
    }
    // Walk a copy: the group is the manager's and must not change under us.
    std::vector<CControlUI*> members;
    members.reserve(static_cast<size_t>(options->GetSize()));
    for (int i = 0; i < options->GetSize(); ++i) {
        members.push_back(static_cast<CControlUI*>(options->GetAt(i)));
    }
    for (CControlUI* member : members) {
        if (member == this || member == nullptr) {
            continue;
        }
        auto* option = static_cast<COptionUI*>(member->GetInterface("Option"));
        if (option != nullptr) {
            option->ChangeSelection(false, ENotify::Silent);
        }
    }
}

CStdString COptionUI::GetSelectedImage() const
{
    return selectedImage;
}

void COptionUI::SetSelectedImage(const char* attributeList)
{
    SetImage(selectedImage, selectedImageInfo, attributeList);
}

CStdString COptionUI::GetSelectedHotImage() const
{
    return selectedHotImage;
}

void COptionUI::SetSelectedHotImage(const char* attributeList)
{
    SetImage(selectedHotImage, selectedHotImageInfo, attributeList);
}

DWORD COptionUI::GetSelectedTextColor() const
{
    return selectedTextColor;
}

void COptionUI::SetSelectedTextColor(DWORD argb)
{
    selectedTextColor = argb;
    Invalidate();
}

void COptionUI::SetManager(CPaintManagerUI* newManager, CControlUI* newParent, bool init)
{
    // Leaving a manager (detached, or destroyed while attached) drops the
    // option from its groups in the base, through the manager's reaping.
    const bool joins = newManager != nullptr && newManager != manager;
    CButtonUI::SetManager(newManager, newParent, init);
    if (joins && !group.IsEmpty()) {
        manager->AddOptionGroup(group, this);
        // An option selected before it had a window keeps its selection and
        // takes it from the others of its group.
        if (selected) {
            DeselectOthers();
        }
    }
}

bool COptionUI::Activate()
{
    // The label's check only (visible and enabled): the button's "click"
    // must come after the selection has changed.
    if (!CLabelUI::Activate()) {
        return false;
    }
    if (!group.IsEmpty()) {
        Selected(true);
    } else {
        Selected(!selected);
    }
    // The receivers of "selectchanged" may have removed this option; a
    // removed option has no manager and sends nothing more.
    if (manager != nullptr) {
        manager->SendNotify(this, "click");
    }
    return true;
}

void COptionUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_KEYDOWN && event.wParam == VK_RETURN) {
        // A held Enter chooses once, not a station per repeat.
        if (IsKeyRepeat(event.lParam)) {
            return;
        }
        if (Activate() && manager != nullptr) {
            manager->SendNotify(this, "dbclick");
        }
        return;
    }
    CButtonUI::DoEvent(event);
}

void COptionUI::SetAttribute(const char* name, const char* value)
{
    if (std::strcmp(name, "group") == 0) {
        SetGroup(value);
    } else if (std::strcmp(name, "selected") == 0) {
        bool on = false;
        if (ParseBool(value, &on)) {
            Selected(on);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "selectedimage") == 0) {
        SetSelectedImage(value);
    } else if (std::strcmp(name, "selectedhotimage") == 0) {
        SetSelectedHotImage(value);
    } else if (std::strcmp(name, "selectedtextcolor") == 0) {
        DWORD argb = 0;
        if (ParseColor(value, &argb)) {
            SetSelectedTextColor(argb);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else {
        CButtonUI::SetAttribute(name, value);
    }
}

void COptionUI::PaintStatusImage(HDC painter)
{
    const bool disabledLook = !IsEnabled() && !disabledImageInfo.IsEmpty();
    if (selected && !disabledLook) {
        if (hot && !selectedHotImageInfo.IsEmpty()) {
            DrawImage(painter, selectedHotImageInfo);
            return;
        }
        if (!selectedImageInfo.IsEmpty()) {
            DrawImage(painter, selectedImageInfo);
            return;
        }
    }
    CButtonUI::PaintStatusImage(painter);
}

DWORD COptionUI::GetCurrentTextColor() const
{
    if (selected && IsEnabled() && (selectedTextColor >> 24) != 0) {
        return selectedTextColor;
    }
    return CButtonUI::GetCurrentTextColor();
}
