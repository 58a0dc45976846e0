// CControlUI, in this order: names, texts and the manager; position and
// sizes; visibility, enabling, focus and mouse flags; colours and images;
// tree search and invalidation; events; painting; attributes.

#include "uilib/controls/ControlUI.h"

#include "uilib/core/AttributeList.h"
#include "uilib/core/ValueParsers.h"
#include "uilib/layout/LayoutDiagnostics.h"
#include "uilib/render/RenderEngine.h"
#include "uilib/window/PaintManagerUI.h"

#include <cstring>
#include <vector>

namespace
{
void ReportBadValue(const char* className, const char* name, const char* value)
{
    CLayoutDiagnostics::Report("%s: bad value \"%s\" for attribute \"%s\"", className, value, name);
}

// Sizes from a layout are never negative; a negative one is a typo.
bool ParseSizeValue(const char* value, LONG* result)
{
    LONG parsed = 0;
    if (!ParseInt(value, &parsed) || parsed < 0) {
        return false;
    }
    *result = parsed;
    return true;
}
}  // namespace

CControlUI::CControlUI() = default;

CControlUI::~CControlUI()
{
    // A control deleted while still attached leaves nothing behind in its
    // manager (focus, capture, queued notifications, option groups).
    if (manager != nullptr) {
        manager->ReapObjects(this);
    }
}

CStdString CControlUI::GetName() const
{
    return name;
}

void CControlUI::SetName(const char* value)
{
    name = value;
}

const char* CControlUI::GetClass() const
{
    return "ControlUI";
}

void* CControlUI::GetInterface(const char* interfaceName)
{
    if (interfaceName != nullptr && std::strcmp(interfaceName, "Control") == 0) {
        return this;
    }
    return nullptr;
}

CStdString CControlUI::GetText() const
{
    return text;
}

void CControlUI::SetText(const char* value)
{
    if (text == CStdString(value)) {
        return;
    }
    text = value;
    Invalidate();
    if (manager != nullptr) {
        manager->NotifyControlChanged(this, EControlChange::Name);
    }
}

CStdString CControlUI::GetUserData() const
{
    return userData;
}

void CControlUI::SetUserData(const char* data)
{
    userData = data;
}

CStdString CControlUI::GetToolTip() const
{
    return toolTip;
}

void CControlUI::SetToolTip(const char* tip)
{
    if (toolTip == CStdString(tip)) {
        return;
    }
    toolTip = tip;
    if (manager != nullptr) {
        manager->NotifyControlChanged(this, EControlChange::Name);
    }
}

CPaintManagerUI* CControlUI::GetManager() const
{
    return manager;
}

void CControlUI::SetManager(CPaintManagerUI* newManager, CControlUI* newParent, bool init)
{
    if (manager != nullptr && manager != newManager) {
        manager->ReapObjects(this);
    }
    manager = newManager;
    parent = newParent;
    if (manager != nullptr && init && !initialised) {
        initialised = true;
        DoInit();
    }
}

CControlUI* CControlUI::GetParent() const
{
    return parent;
}

RECT CControlUI::GetPos() const
{
    return pos;
}

void CControlUI::SetPos(RECT value)
{
    if (value.right < value.left) {
        value.right = value.left;
    }
    if (value.bottom < value.top) {
        value.bottom = value.top;
    }
    const RECT old = pos;
    pos = value;
    updateNeeded = false;
    if (manager != nullptr && (old.left != pos.left || old.top != pos.top || old.right != pos.right ||
                               old.bottom != pos.bottom)) {
        // Both the place it left and the place it took need repainting.
        if (!UIIsRectEmpty(old)) {
            manager->Invalidate(old);
        }
        Invalidate();
    }
}

bool CControlUI::IsPointInside(POINT point) const
{
    return UIPointInRect(pos, point);
}

int CControlUI::GetFixedWidth() const
{
    return fixedSize.cx;
}

void CControlUI::SetFixedWidth(int width)
{
    fixedSize.cx = width < 0 ? 0 : width;
    NeedParentUpdate();
}

int CControlUI::GetFixedHeight() const
{
    return fixedSize.cy;
}

void CControlUI::SetFixedHeight(int height)
{
    fixedSize.cy = height < 0 ? 0 : height;
    NeedParentUpdate();
}

int CControlUI::GetMinWidth() const
{
    return minSize.cx;
}

void CControlUI::SetMinWidth(int width)
{
    minSize.cx = width < 0 ? 0 : width;
    NeedParentUpdate();
}

int CControlUI::GetMaxWidth() const
{
    return maxSize.cx;
}

void CControlUI::SetMaxWidth(int width)
{
    maxSize.cx = width < 0 ? 0 : width;
    NeedParentUpdate();
}

int CControlUI::GetMinHeight() const
{
    return minSize.cy;
}

void CControlUI::SetMinHeight(int height)
{
    minSize.cy = height < 0 ? 0 : height;
    NeedParentUpdate();
}

int CControlUI::GetMaxHeight() const
{
    return maxSize.cy;
}

void CControlUI::SetMaxHeight(int height)
{
    maxSize.cy = height < 0 ? 0 : height;
    NeedParentUpdate();
}

RECT CControlUI::GetPadding() const
{
    return padding;
}

void CControlUI::SetPadding(RECT value)
{
    padding = value;
    NeedParentUpdate();
}

RECT CControlUI::GetFixedPos() const
{
    return fixedPos;
}

bool CControlUI::HasFixedPos() const
{
    return hasFixedPos;
}

SIZE CControlUI::EstimateSize(SIZE /*available*/)
{
    return fixedSize;
}

bool CControlUI::IsVisible() const
{
    return visible;
}

void CControlUI::SetVisible(bool value)
{
    if (visible == value) {
        return;
    }
    // Repaint the place it leaves before the layout gives it away, and the
    // place it shows in.
    Invalidate();
    visible = value;
    Invalidate();
    if (!visible && manager != nullptr && manager->GetFocus() == this) {
        manager->SetFocus(nullptr);
    }
    // The control's space is given to (or taken from) its siblings.
    NeedParentUpdate();
    if (manager != nullptr) {
        manager->NotifyControlChanged(this, EControlChange::Visibility);
    }
}

bool CControlUI::IsEnabled() const
{
    return enabled;
}

void CControlUI::SetEnabled(bool value)
{
    if (enabled == value) {
        return;
    }
    enabled = value;
    Invalidate();
    if (manager != nullptr) {
        manager->NotifyControlChanged(this, EControlChange::Enabled);
    }
}

bool CControlUI::IsFocused() const
{
    return manager != nullptr && manager->GetFocus() == this;
}

void CControlUI::SetFocus()
{
    if (manager != nullptr) {
        manager->SetFocus(this);
    }
}

bool CControlUI::IsMouseEnabled() const
{
    return mouseEnabled;
}

void CControlUI::SetMouseEnabled(bool value)
{
    mouseEnabled = value;
}

bool CControlUI::IsKeyboardEnabled() const
{
    return keyboardEnabled;
}

void CControlUI::SetKeyboardEnabled(bool value)
{
    keyboardEnabled = value;
}

bool CControlUI::IsFocusable() const
{
    return false;
}

DWORD CControlUI::GetBkColor() const
{
    return bkColor;
}

void CControlUI::SetBkColor(DWORD argb)
{
    bkColor = argb;
    Invalidate();
}

DWORD CControlUI::GetBorderColor() const
{
    return borderColor;
}

void CControlUI::SetBorderColor(DWORD argb)
{
    borderColor = argb;
    Invalidate();
}

int CControlUI::GetBorderSize() const
{
    return borderSize;
}

void CControlUI::SetBorderSize(int size)
{
    borderSize = size < 0 ? 0 : size;
    Invalidate();
}

CStdString CControlUI::GetBkImage() const
{
    return bkImage;
}

void CControlUI::SetBkImage(const char* attributeList)
{
    bkImage = attributeList;
    if (!ParseImageInfo(bkImage, &bkImageInfo)) {
        ReportBadValue(GetClass(), "bkimage", bkImage);
    }
    Invalidate();
}

CStdString CControlUI::GetForeImage() const
{
    return foreImage;
}

void CControlUI::SetForeImage(const char* attributeList)
{
    foreImage = attributeList;
    if (!ParseImageInfo(foreImage, &foreImageInfo)) {
        ReportBadValue(GetClass(), "foreimage", foreImage);
    }
    Invalidate();
}

CControlUI* CControlUI::FindControl(FINDCONTROLPROC proc, void* data, UINT flags)
{
    if ((flags & UIFIND_VISIBLE) != 0 && !IsVisible()) {
        return nullptr;
    }
    if ((flags & UIFIND_ENABLED) != 0 && !IsEnabled()) {
        return nullptr;
    }
    if ((flags & UIFIND_HITTEST) != 0 &&
        (!IsMouseEnabled() || !IsPointInside(*static_cast<const POINT*>(data)))) {
        return nullptr;
    }
    return proc(this, data);
}

void CControlUI::Invalidate()
{
    if (manager != nullptr && visible && !UIIsRectEmpty(pos)) {
        manager->Invalidate(pos);
    }
}

void CControlUI::NeedUpdate()
{
    updateNeeded = true;
    if (manager != nullptr) {
        // What changes is inside this control until the layout moves
        // something; a button swap repaints the button's column, not the
        // window.
        manager->NeedUpdate(pos);
    }
}

void CControlUI::NeedParentUpdate()
{
    if (parent != nullptr) {
        parent->NeedUpdate();
    } else {
        NeedUpdate();
    }
}

bool CControlUI::IsUpdateNeeded() const
{
    return updateNeeded;
}

void CControlUI::DoEvent(TEventUI& event)
{
    switch (event.Type) {
    case UIEVENT_DBLCLICK:
        if (IsEnabled() && manager != nullptr) {
            manager->SendNotify(this, "dbclick");
        }
        break;
    case UIEVENT_CONTEXTMENU:
        if (IsEnabled() && manager != nullptr) {
            manager->SendNotify(this, "menu", static_cast<WPARAM>(event.ptMouse.x),
                                static_cast<LPARAM>(event.ptMouse.y));
        }
        break;
    case UIEVENT_KEYDOWN:
        // A held key repeats; the control acts once per press.
        if ((event.wParam == VK_RETURN || event.wParam == VK_SPACE) && !IsKeyRepeat(event.lParam)) {
            Activate();
        }
        break;
    case UIEVENT_SCROLLWHEEL:
        // Up the tree until a container that scrolls takes it.
        if (parent != nullptr) {
            parent->DoEvent(event);
        }
        break;
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
        Invalidate();
        break;
    default:
        break;
    }
}

void CControlUI::DoPaint(HDC painter, const RECT& area)
{
    if (!UIIntersectRect(paintRect, area, pos)) {
        return;
    }
    PaintBkColor(painter);
    PaintBkImage(painter);
    PaintStatusImage(painter);
    PaintForeImage(painter);
    PaintText(painter);
    PaintBorder(painter);
}

void CControlUI::PaintBkColor(HDC painter)
{
    if ((bkColor >> 24) != 0) {
        CRenderEngine::DrawColor(painter, paintRect, bkColor);
    }
}

void CControlUI::PaintBkImage(HDC painter)
{
    if (!bkImageInfo.IsEmpty()) {
        DrawImage(painter, bkImageInfo);
    }
}

void CControlUI::PaintStatusImage(HDC /*painter*/)
{
}

void CControlUI::PaintForeImage(HDC painter)
{
    if (!foreImageInfo.IsEmpty()) {
        DrawImage(painter, foreImageInfo);
    }
}

void CControlUI::PaintText(HDC /*painter*/)
{
}

void CControlUI::PaintBorder(HDC painter)
{
    if (borderSize > 0 && (borderColor >> 24) != 0) {
        CRenderEngine::DrawBorder(painter, pos, borderSize, borderColor);
    }
}

bool CControlUI::DrawImage(HDC painter, const TImageInfo& image)
{
    return CRenderEngine::DrawImage(painter, manager, pos, paintRect, image);
}

void CControlUI::SetAttribute(const char* attributeName, const char* value)
{
    if (attributeName == nullptr) {
        return;
    }
    if (value == nullptr) {
        value = "";
    }
    const auto is = [attributeName](const char* candidate) { return std::strcmp(attributeName, candidate) == 0; };
    RECT rect = {};
    LONG number = 0;
    DWORD colour = 0;
    bool flag = false;
    if (is("name")) {
        SetName(value);
    } else if (is("text")) {
        SetText(value);
    } else if (is("tooltip")) {
        SetToolTip(value);
    } else if (is("userdata")) {
        SetUserData(value);
    } else if (is("bkimage")) {
        SetBkImage(value);
    } else if (is("foreimage")) {
        SetForeImage(value);
    } else if (is("pos") || is("padding")) {
        if (!ParseRect(value, &rect)) {
            ReportBadValue(GetClass(), attributeName, value);
        } else if (is("padding")) {
            SetPadding(rect);
        } else {
            fixedPos = rect;
            hasFixedPos = true;
            fixedSize = SIZE{rect.right - rect.left, rect.bottom - rect.top};
            NeedParentUpdate();
        }
    } else if (is("width") || is("height") || is("minwidth") || is("minheight") || is("maxwidth") ||
               is("maxheight") || is("bordersize")) {
        if (!ParseSizeValue(value, &number)) {
            ReportBadValue(GetClass(), attributeName, value);
        } else if (is("width")) {
            SetFixedWidth(number);
        } else if (is("height")) {
            SetFixedHeight(number);
        } else if (is("minwidth")) {
            SetMinWidth(number);
        } else if (is("minheight")) {
            SetMinHeight(number);
        } else if (is("maxwidth")) {
            SetMaxWidth(number);
        } else if (is("maxheight")) {
            SetMaxHeight(number);
        } else {
            SetBorderSize(number);
        }
    } else if (is("bkcolor") || is("bordercolor")) {
        if (!ParseColor(value, &colour)) {
            ReportBadValue(GetClass(), attributeName, value);
        } else if (is("bkcolor")) {
            SetBkColor(colour);
        } else {
            SetBorderColor(colour);
        }
    } else if (is("visible") || is("enabled") || is("mouse") || is("keyboard")) {
        if (!ParseBool(value, &flag)) {
            ReportBadValue(GetClass(), attributeName, value);
        } else if (is("visible")) {
            SetVisible(flag);
        } else if (is("enabled")) {
            SetEnabled(flag);
        } else if (is("mouse")) {
            SetMouseEnabled(flag);
        } else {
            SetKeyboardEnabled(flag);
        }
    } else {
        CLayoutDiagnostics::Report("%s: unknown attribute \"%s\"", GetClass(), attributeName);
    }
}

void CControlUI::ApplyAttributeList(const char* list)
{
    bool complete = true;
    int faultOffset = -1;
    const std::vector<TAttribute> attributes = ParseAttributeList(list, &complete, &faultOffset);
    for (const TAttribute& attribute : attributes) {
        SetAttribute(attribute.name.c_str(), attribute.value.c_str());
    }
    if (!complete) {
        CLayoutDiagnostics::Report("%s: attribute list malformed at byte %d, the rest is skipped: %s", GetClass(),
                                   faultOffset, list != nullptr ? list : "");
    }
}

void CControlUI::DoInit()
{
}

bool CControlUI::Activate()
{
    return IsVisible() && IsEnabled();
}

UINT CControlUI::GetKeyClaims() const
{
    return 0;
}
