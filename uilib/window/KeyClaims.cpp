#include "uilib/window/KeyClaims.h"

#include "platform/win/KeyMapping.h"
#include "uilib/window/UIDefines.h"

namespace
{
// Virtual keys of the number pad, and the punctuation keys (VK_OEM_1 ..
// VK_OEM_3, VK_OEM_4 .. VK_OEM_7), as Win32 numbers them.
constexpr WPARAM VK_NUMPAD0 = 0x60;
constexpr WPARAM VK_DIVIDE = 0x6F;
constexpr WPARAM VK_OEM_1 = 0xBA;
constexpr WPARAM VK_OEM_3 = 0xC0;
constexpr WPARAM VK_OEM_4 = 0xDB;
constexpr WPARAM VK_OEM_7 = 0xDE;

bool TypesText(WPARAM key)
{
    return key == VK_SPACE || key == VK_PACKET || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z') ||
           (key >= VK_NUMPAD0 && key <= VK_DIVIDE) || (key >= VK_OEM_1 && key <= VK_OEM_3) ||
           (key >= VK_OEM_4 && key <= VK_OEM_7);
}

bool Navigates(WPARAM key)
{
    return key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_HOME ||
           key == VK_END || key == VK_PRIOR || key == VK_NEXT;
}
} // namespace

UINT KeyClaimClass(const MSG& message)
{
    switch (message.message) {
    case WM_CHAR:
        switch (message.wParam) {
        case U'\t': return DLGC_WANTTAB;
        case U'\r': return DLGC_WANTRETURN;
        case U'\b':
        case U'\x1b': return DLGC_WANTALLKEYS;
        default: return DLGC_WANTCHARS;
        }
    case WM_KEYDOWN:
    case WM_KEYUP:
        if (message.wParam == VK_TAB) {
            return DLGC_WANTTAB;
        }
        if (message.wParam == VK_RETURN) {
            return DLGC_WANTRETURN;
        }
        if (Navigates(message.wParam)) {
            return DLGC_WANTARROWS;
        }
        if (TypesText(message.wParam) && !KeyMessageHasControl(message.lParam)) {
            return DLGC_WANTCHARS;
        }
        return DLGC_WANTALLKEYS;
    default:
        return 0;
    }
}

bool ControlClaimsKey(UINT claims, const MSG& message)
{
    return (KeyClaimClass(message) & claims) != 0;
}
