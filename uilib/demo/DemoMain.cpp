// uilib-demo: one window of the DirectUI library on its own, built from
// skin/demo.xml beside the executable. The caption band drags it, the
// options of one group exclude each other, the button and the options write
// to the status label, and Escape or the close button ends it.
//
//   uilib-demo                      runs until closed
//   uilib-demo --screenshot a.png   paints the window into a.png and ends

#include "uilib/UIlib.h"

#include <QImage>
#include <QPainter>

#include <cstring>

namespace
{
class CDemoWnd : public CWindowWnd, public INotifyUI, public IMessageFilterUI
{
public:
    CPaintManagerUI& Manager() { return paintManager; }

protected:
    const char* GetWindowClassName() const override { return "UIDemoFrame"; }
    // CS_SAVEBITS | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, as the system's windows.
    UINT GetClassStyle() const override { return 0x80B; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_CREATE: {
            paintManager.Init(GetHWND());
            paintManager.AddPreMessageFilter(this);
            CDialogBuilder builder;
            paintManager.AttachDialog(builder.Create("demo.xml", nullptr, nullptr, &paintManager));
            paintManager.AddNotifier(this);
            return 0;
        }
        case WM_NCHITTEST:
            return CaptionTest(lParam);
        case WM_SIZE: {
            const SIZE corner = paintManager.GetRoundCorner();
            if (!::IsIconic(GetHWND()) && (corner.cx != 0 || corner.cy != 0)) {
                RECT window = {};
                ::GetWindowRect(GetHWND(), &window);
                ::SetWindowRgn(GetHWND(),
                               ::CreateRoundRectRgn(0, 0, window.right - window.left + 1,
                                                    window.bottom - window.top + 1, corner.cx, corner.cy),
                               TRUE);
            }
            break;
        }
        case WM_DESTROY:
            ::PostQuitMessage(0);
            break;
        default:
            break;
        }
        LRESULT result = 0;
        if (paintManager.MessageHandler(message, wParam, lParam, result)) {
            return result;
        }
        return CWindowWnd::HandleMessage(message, wParam, lParam);
    }

    void OnFinalMessage(HWND /*window*/) override { paintManager.RemovePreMessageFilter(this); }

    void Notify(TNotifyUI& msg) override
    {
        CControlUI* status = paintManager.FindControl("status");
        if (msg.sType == "click" && msg.pSender->GetName() == "closebtn") {
            Close(IDOK);
        } else if (msg.sType == "click" && msg.pSender->GetName() == "play" && status != nullptr) {
            const int selected = paintManager.GetGroupSelectedIndex("demo");
            status->SetText(selected == 0 ? "正在播放：爱心" : selected == 1 ? "正在播放：蓝天" : "先选一个频道");
        } else if (msg.sType == "selectchanged" && status != nullptr) {
            status->SetText(CStdString("选中了 ") + msg.pSender->GetText());
        }
    }

    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM /*lParam*/, bool& /*handled*/) override
    {
        if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
            ::PostQuitMessage(0);
            return 1;
        }
        return 0;
    }

private:
    // A press in the caption band drags the window, except over a button.
    LRESULT CaptionTest(LPARAM lParam)
    {
        POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ::ScreenToClient(GetHWND(), &point);
        RECT client = {};
        ::GetClientRect(GetHWND(), &client);
        const RECT caption = paintManager.GetCaptionRect();
        if (point.x < client.left + caption.left || point.x >= client.right - caption.right || point.y < caption.top ||
            point.y >= caption.bottom) {
            return HTCLIENT;
        }
        CControlUI* control = paintManager.FindControl(point);
        return control != nullptr && std::strcmp(control->GetClass(), "ButtonUI") != 0 ? HTCAPTION : HTCLIENT;
    }

    CPaintManagerUI paintManager;
};
}  // namespace

int main(int argc, char** argv)
{
    CPaintManagerUI::SetInstance(::GetModuleHandle(nullptr));
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + "skin/");

    CDemoWnd window;
    if (window.Create(nullptr, "界面库演示", WS_POPUP, 0, 0, 0, 0, 0) == nullptr) {
        return 1;
    }
    window.CenterWindow();
    window.ShowWindow();

    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) {
        RECT client = {};
        ::GetClientRect(window.GetHWND(), &client);
        QImage picture(client.right, client.bottom, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        ::PrintWindow(window.GetHWND(), &painter, 0);
        painter.end();
        const bool saved = picture.save(QString::fromLocal8Bit(argv[2]));
        ::DestroyWindow(window.GetHWND());
        return saved ? 0 : 1;
    }
    const int code = CPaintManagerUI::MessageLoop();
    if (::IsWindow(window.GetHWND())) {
        ::DestroyWindow(window.GetHWND());
    }
    return code;
}
