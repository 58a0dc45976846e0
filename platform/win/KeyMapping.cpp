#include "platform/win/KeyMapping.h"

#include <QInputMethodEvent>

#include <array>

namespace
{
constexpr WPARAM VK_F1 = 0x70;
constexpr WPARAM VK_INSERT = 0x2D;
constexpr WPARAM VK_CAPITAL = 0x14;
constexpr WPARAM VK_PAUSE = 0x13;
constexpr WPARAM VK_LWIN = 0x5B;
constexpr WPARAM VK_APPS = 0x5D;
constexpr WPARAM VK_OEM_1 = 0xBA;
constexpr WPARAM VK_OEM_PLUS = 0xBB;
constexpr WPARAM VK_OEM_COMMA = 0xBC;
constexpr WPARAM VK_OEM_MINUS = 0xBD;
constexpr WPARAM VK_OEM_PERIOD = 0xBE;
constexpr WPARAM VK_OEM_2 = 0xBF;
constexpr WPARAM VK_OEM_3 = 0xC0;
constexpr WPARAM VK_OEM_4 = 0xDB;
constexpr WPARAM VK_OEM_5 = 0xDC;
constexpr WPARAM VK_OEM_6 = 0xDD;
constexpr WPARAM VK_OEM_7 = 0xDE;

// Number of key texts kept for TranslateMessage; token 0 is never handed out.
constexpr int keyTextSlots = 256;
std::array<QString, keyTextSlots> keyTexts;
int nextToken = 1;

std::array<std::unique_ptr<QInputMethodEvent>, keyTextSlots> inputMethodEvents;
int nextInputMethodToken = 1;

constexpr LPARAM keyControlDown = LPARAM{1} << 25;
constexpr LPARAM keyShiftDown = LPARAM{1} << 26;
}

WPARAM VirtualKeyFromQtKey(int key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<WPARAM>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<WPARAM>(key - Qt::Key_F1);
    switch (key)
    {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Meta: return VK_LWIN;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return VK_OEM_PLUS;
    case Qt::Key_Comma:
    case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return VK_OEM_MINUS;
    case Qt::Key_Period:
    case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Slash:
    case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return VK_OEM_7;
    default: return 0;
    }
}

int StoreKeyText(const QString& text)
{
    if (text.isEmpty())
        return 0;
    int token = nextToken;
    nextToken = nextToken + 1 < keyTextSlots ? nextToken + 1 : 1;
    keyTexts[static_cast<size_t>(token)] = text;
    return token;
}

QString KeyTextForToken(int token)
{
    if (token <= 0 || token >= keyTextSlots)
        return {};
    return keyTexts[static_cast<size_t>(token)];
}

char32_t CharacterForVirtualKey(WPARAM key)
{
    switch (key)
    {
    case VK_BACK: return U'\b';
    case VK_TAB: return U'\t';
    case VK_RETURN: return U'\r';
    case VK_ESCAPE: return U'\x1b';
    case VK_SPACE: return U' ';
    default: return 0;
    }
}

WPARAM StoreInputMethodEvent(const QInputMethodEvent& event)
{
    const int token = nextInputMethodToken;
    nextInputMethodToken = nextInputMethodToken + 1 < keyTextSlots ? nextInputMethodToken + 1 : 1;
    // The copy constructor is not public: the copy is made of the parts.
    auto copy = std::make_unique<QInputMethodEvent>(event.preeditString(), event.attributes());
    copy->setCommitString(event.commitString(), event.replacementStart(), event.replacementLength());
    inputMethodEvents[static_cast<size_t>(token)] = std::move(copy);
    return static_cast<WPARAM>(token);
}

std::unique_ptr<QInputMethodEvent> TakeInputMethodEvent(WPARAM token)
{
    if (token == 0 || token >= static_cast<WPARAM>(keyTextSlots))
        return nullptr;
    return std::move(inputMethodEvents[static_cast<size_t>(token)]);
}

bool KeyMessageHasControl(LPARAM lParam)
{
    return (lParam & keyControlDown) != 0;
}

bool KeyMessageHasShift(LPARAM lParam)
{
    return (lParam & keyShiftDown) != 0;
}
