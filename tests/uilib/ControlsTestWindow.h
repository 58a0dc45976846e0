#pragma once

// A real (offscreen) window for the controls' tests: a CWindowWnd with its
// own paint manager, to which a test attaches a control tree and then sends
// the mouse and key messages a user would cause, or prints it into a picture.

#include "uilib/controls/ControlUI.h"
#include "uilib/window/PaintManagerUI.h"
#include "uilib/window/WindowWnd.h"

#include <QImage>
#include <QPainter>

class CControlsTestWindow : public CWindowWnd
{
public:
    // Client size in pixels.
    CControlsTestWindow(int width, int height)
    {
        Create(nullptr, "controls test", WS_POPUP, 0, 0, 0, width, height);
    }
    ~CControlsTestWindow() override
    {
        if (::IsWindow(GetHWND())) {
            ::DestroyWindow(GetHWND());
        }
    }

    CPaintManagerUI& Manager() { return manager; }

    void Attach(CControlUI* root) { manager.AttachDialog(root); }

    void MouseMove(int x, int y) { ::SendMessage(GetHWND(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void Press(int x, int y) { ::SendMessage(GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    void Release(int x, int y) { ::SendMessage(GetHWND(), WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
    void DoubleClick(int x, int y)
    {
        Press(x, y);
        Release(x, y);
        ::SendMessage(GetHWND(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
        Release(x, y);
    }
    void Click(int x, int y)
    {
        MouseMove(x, y);
        Press(x, y);
        Release(x, y);
    }
    void Key(WPARAM key) { ::SendMessage(GetHWND(), WM_KEYDOWN, key, 0); }
    // The wheel's position travels in screen coordinates, as in Win32.
    void Wheel(int x, int y, int delta)
    {
        POINT point = {x, y};
        ::ClientToScreen(GetHWND(), &point);
        ::SendMessage(GetHWND(), WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(delta)) << 16,
                      MAKELPARAM(point.x, point.y));
    }

    // The window's client area as the paint manager paints it, on white.
    QImage Print(int width, int height)
    {
        QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        ::PrintWindow(GetHWND(), &painter, 0);
        painter.end();
        return picture;
    }

protected:
    const char* GetWindowClassName() const override { return "UIControlsTest"; }
    UINT GetClassStyle() const override { return CS_DBLCLKS; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_CREATE) {
            manager.Init(GetHWND());
            return 0;
        }
        LRESULT result = 0;
        if (manager.MessageHandler(message, wParam, lParam, result)) {
            return result;
        }
        return CWindowWnd::HandleMessage(message, wParam, lParam);
    }

private:
    CPaintManagerUI manager;
};
