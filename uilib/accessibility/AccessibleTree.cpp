#include "uilib/accessibility/AccessibleTree.h"

#include "uilib/controls/ContainerUI.h"
#include "uilib/controls/EditUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/window/PaintManagerUI.h"

#include <cstring>

namespace
{
// The names of the skins' controls that carry neither text nor tooltip, as
// a reader says them.
struct TNameInWords
{
    const char* name;
    const char* words;
};
constexpr TNameInWords kNamesInWords[] = {
    {"closebtn", "关闭"},
    {"minbtn", "最小化"},
    {"maxbtn", "最大化"},
    {"skinbtn", "换肤"},
    {"play", "播放"},
    {"pause", "暂停"},
    {"prev", "上一个电台"},
    {"next", "下一个电台"},
    {"VolumeSlider", "音量"},
    {"favbtn", "收藏"},
    {"adbtn", "广告"},
    {"fmName", "电台名称"},
    {"fmTitle", "节目名称"},
    {"status", "状态"},
    {"mainframe", "主窗口"},
    {"menuframe", "菜单"},
    {"sortspanel", "电台分类"},
    {"radiospanel", "电台列表"},
    {"radioscontent", "电台"},
    {"mainpage", "返回分类"},
    {"healrow", "新的电台地址"},
    {"stationname", "电台名称"},
    {"stationurl", "电台地址"},
    {"whynot", "提示"},
    {"minLove", "暖色"},
    {"minBlue", "蓝色"},
    {"minDefine", "自己的图片"},
};

const char* WordsForName(const CStdString& name)
{
    for (const TNameInWords& entry : kNamesInWords) {
        if (name == entry.name) {
            return entry.words;
        }
    }
    return nullptr;
}

void CollectExposed(CControlUI* control, std::vector<CControlUI*>& out)
{
    auto* container = static_cast<CContainerUI*>(control->GetInterface("Container"));
    if (container == nullptr) {
        return;
    }
    for (int index = 0; index < container->GetCount(); ++index) {
        CControlUI* child = container->GetItemAt(index);
        if (IsExposed(child)) {
            out.push_back(child);
        } else {
            CollectExposed(child, out);
        }
    }
}
} // namespace

EAccessibleKind AccessibleKindOf(CControlUI* control)
{
    if (control == nullptr) {
        return EAccessibleKind::Other;
    }
    if (control->GetInterface("Edit") != nullptr) {
        return EAccessibleKind::Edit;
    }
    if (auto* option = static_cast<COptionUI*>(control->GetInterface("Option"))) {
        return option->GetGroup().IsEmpty() ? EAccessibleKind::CheckBox : EAccessibleKind::RadioButton;
    }
    if (auto* progress = static_cast<CProgressUI*>(control->GetInterface("Progress"))) {
        return progress->IsSlider() ? EAccessibleKind::Slider : EAccessibleKind::ProgressBar;
    }
    if (control->GetInterface("Button") != nullptr) {
        return EAccessibleKind::Button;
    }
    if (control->GetInterface("Label") != nullptr) {
        return EAccessibleKind::Label;
    }
    if (control->GetInterface("Container") != nullptr) {
        return EAccessibleKind::Group;
    }
    return EAccessibleKind::Other;
}

bool IsExposed(CControlUI* control)
{
    switch (AccessibleKindOf(control)) {
    case EAccessibleKind::Label:
        return !control->GetText().IsEmpty() || !control->GetToolTip().IsEmpty() || !control->GetName().IsEmpty();
    case EAccessibleKind::Group:
        return !control->GetName().IsEmpty();
    case EAccessibleKind::Other:
        return false;
    default:
        return true;
    }
}

std::vector<CControlUI*> ExposedChildren(CPaintManagerUI& manager, CControlUI* control)
{
    std::vector<CControlUI*> children;
    if (control == nullptr) {
        CControlUI* root = manager.GetRoot();
        if (root == nullptr) {
            return children;
        }
        if (IsExposed(root)) {
            children.push_back(root);
            return children;
        }
        control = root;
    }
    CollectExposed(control, children);
    return children;
}

CControlUI* ExposedParent(CControlUI* control)
{
    for (CControlUI* up = control != nullptr ? control->GetParent() : nullptr; up != nullptr; up = up->GetParent()) {
        if (IsExposed(up)) {
            return up;
        }
    }
    return nullptr;
}

bool IsInTree(const CPaintManagerUI& manager, CControlUI* control)
{
    if (control == nullptr || control->GetManager() != &manager) {
        return false;
    }
    CControlUI* top = control;
    while (top->GetParent() != nullptr) {
        top = top->GetParent();
    }
    return top == manager.GetRoot();
}

CStdString AccessibleName(CControlUI* control)
{
    if (control == nullptr) {
        return CStdString();
    }
    // An entry's text is its value, not its name.
    const bool entry = AccessibleKindOf(control) == EAccessibleKind::Edit;
    const CStdString text = entry ? CStdString() : control->GetText();
    if (!text.IsEmpty()) {
        return text;
    }
    const CStdString tip = control->GetToolTip();
    if (!tip.IsEmpty()) {
        return tip;
    }
    if (const char* words = WordsForName(control->GetName())) {
        return CStdString(words);
    }
    if (entry) {
        auto* edit = static_cast<CEditUI*>(control->GetInterface("Edit"));
        if (!edit->GetPlaceholder().IsEmpty()) {
            return edit->GetPlaceholder();
        }
    }
    return control->GetName();
}

CStdString AccessibleDescription(CControlUI* control)
{
    if (control == nullptr || AccessibleKindOf(control) == EAccessibleKind::Edit || control->GetText().IsEmpty() ||
        control->GetToolTip() == control->GetText()) {
        return CStdString();
    }
    return control->GetToolTip();
}

bool IsAccessibleFocusable(CControlUI* control)
{
    return control != nullptr && control->IsFocusable() && control->IsEnabled() && IsShownInTree(control);
}

bool IsShownInTree(CControlUI* control)
{
    for (CControlUI* up = control; up != nullptr; up = up->GetParent()) {
        if (!up->IsVisible()) {
            return false;
        }
    }
    return control != nullptr;
}

bool IsOnScreen(CControlUI* control)
{
    if (control == nullptr) {
        return false;
    }
    RECT shown = control->GetPos();
    for (CControlUI* up = control->GetParent(); up != nullptr; up = up->GetParent()) {
        const RECT outer = up->GetPos();
        RECT both = {};
        if (!UIIntersectRect(both, shown, outer)) {
            return false;
        }
        shown = both;
    }
    return shown.right > shown.left && shown.bottom > shown.top;
}
