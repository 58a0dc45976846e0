// CPaintManagerUI, in this order:
//   process-wide state (instance, paths, live managers), message loop and
//     pre-message filters;
//   construction, window, notifiers and filters, the root;
//   MessageHandler: painting, layout, mouse (hot tracking, press, capture),
//     keyboard, timers, the asynchronous notification queue;
//   control bookkeeping: find, reap, delayed delete, focus, capture, timers;
//   notifications;
//   window look, fonts, colours, option groups;
//   the observers of the controls' changes (the accessibility tree).
//
// Safety rule of this file: a control, notifier or filter may remove itself
// or another (or destroy the window) from inside any callback. Lists are
// copied before they are walked and every entry is checked again before it
// is called; controls removed while a message is handled are deleted once
// the outermost handler returns.

#include "uilib/window/PaintManagerUI.h"

#include "uilib/accessibility/AccessibleRegistry.h"
#include "uilib/controls/ControlUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/core/ResourceStore.h"
#include "uilib/window/FocusManager.h"
#include "uilib/window/InputMethodBridge.h"
#include "uilib/window/KeyClaims.h"

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace
{
// Window timer ids from here on carry control timers; the windows of the
// system use small ids of their own (500, 505).
constexpr UINT_PTR FIRST_CONTROL_TIMER_ID = 0x4000;

// Point of a cancelled press (capture taken away): outside every control.
constexpr POINT NOWHERE = {-32768, -32768};

HINSTANCE processInstance = nullptr;
CStdString instancePathOverride;
CStdString resourcePath;
CStdString resourceZip;
std::vector<CPaintManagerUI*> liveManagers;

bool IsLive(const CPaintManagerUI* manager)
{
    return std::find(liveManagers.begin(), liveManagers.end(), manager) != liveManagers.end();
}

bool IsSelfOrAncestor(HWND candidate, HWND window)
{
    for (HWND current = window; current != nullptr; current = ::GetParent(current)) {
        if (current == candidate) {
            return true;
        }
    }
    return false;
}

CStdString WithTrailingSlash(const char* path)
{
    CStdString result(path);
    if (!result.IsEmpty() && result.GetAt(result.GetLength() - 1) != '/') {
        result += '/';
    }
    return result;
}

POINT PointOf(LPARAM lParam)
{
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

CControlUI* CollectControl(CControlUI* control, void* data)
{
    static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
    return nullptr;
}

CControlUI* MatchName(CControlUI* control, void* data)
{
    return control->GetName() == static_cast<const char*>(data) ? control : nullptr;
}

CControlUI* FirstHit(CControlUI* control, void* /*data*/)
{
    return control;
}

// Counts a handler or a notification in progress; when the outermost one
// ends, the controls removed meanwhile are deleted. The manager itself may
// be deleted by a callback; the guard then leaves it alone.
class CDispatchGuard
{
public:
    explicit CDispatchGuard(CPaintManagerUI* manager, int& depth)
        : manager(manager)
        , depth(depth)
    {
        ++depth;
    }
    ~CDispatchGuard()
    {
        if (!IsLive(manager)) {
            return;
        }
        if (--depth == 0) {
            manager->DelayedDelete(nullptr);
        }
    }
    CDispatchGuard(const CDispatchGuard&) = delete;
    CDispatchGuard& operator=(const CDispatchGuard&) = delete;

private:
    CPaintManagerUI* manager;
    int& depth;
};
}  // namespace

struct CPaintManagerUI::TPrivate
{
    struct TTimer
    {
        CControlUI* control;
        UINT id;
        UINT_PTR windowTimerId;
    };
    struct TQueuedNotify
    {
        TNotifyUI msg;
    };
    struct TOptionGroup
    {
        CStdString name;
        std::unique_ptr<CStdPtrArray> options;
    };
    // A notification being delivered right now; reaping its sender stops
    // the delivery to the remaining notifiers.
    struct TInFlight
    {
        CControlUI* sender;
        bool reaped;
    };

    HWND window = nullptr;
    CControlUI* root = nullptr;
    std::vector<IMessageFilterUI*> preFilters;
    std::vector<INotifyUI*> notifiers;

    CControlUI* focus = nullptr;
    CControlUI* hot = nullptr;
    CControlUI* pressed = nullptr;
    CControlUI* rightPressed = nullptr;
    bool captured = false;
    bool layoutNeeded = true;
    SIZE laidOutSize = {-1, -1};

    std::vector<TTimer> timers;
    UINT_PTR nextTimerId = FIRST_CONTROL_TIMER_ID;

    std::deque<TQueuedNotify> asyncQueue;
    bool asyncPosted = false;
    std::vector<TInFlight*> inFlight;

    int dispatchDepth = 0;
    std::vector<CControlUI*> delayedDeletes;
    bool destroying = false;

    RECT captionRect = {0, 0, 0, 0};
    SIZE roundCorner = {0, 0};
    SIZE initSize = {0, 0};
    SIZE minInfo = {0, 0};
    SIZE maxInfo = {0, 0};

    std::vector<std::unique_ptr<TFontInfo>> fonts;
    TFontInfo defaultFont;
    DWORD defaultFontColor = 0xFF000000;
    DWORD defaultDisabledColor = 0xFFA7A6AA;

    std::vector<TOptionGroup> optionGroups;

    std::unique_ptr<CInputMethodBridge> inputMethod;
    std::unique_ptr<CFocusManager> focusKeys;

    std::vector<IControlObserverUI*> controlObservers;
    std::unique_ptr<CAccessibleRegistry> accessibility;
};

// ===================================================================== process

void CPaintManagerUI::SetInstance(HINSTANCE instance)
{
    processInstance = instance;
}

HINSTANCE CPaintManagerUI::GetInstance()
{
    return processInstance;
}

CStdString CPaintManagerUI::GetInstancePath()
{
    if (!instancePathOverride.IsEmpty()) {
        return instancePathOverride;
    }
    // Paths of the executable are bounded by the platform's PATH_MAX (bytes).
    char buffer[4096] = {};
    const DWORD length = ::GetModuleFileName(processInstance, buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer)) {
        return CStdString();
    }
    CStdString path(buffer, static_cast<int>(length));
    const int slash = path.ReverseFind('/');
    return slash < 0 ? CStdString() : path.Left(slash + 1);
}

void CPaintManagerUI::SetInstancePath(const char* path)
{
    instancePathOverride = WithTrailingSlash(path);
}

void CPaintManagerUI::SetResourcePath(const char* path)
{
    resourcePath = WithTrailingSlash(path);
    CResourceStore::Shared().SetFolder(resourcePath);
}

CStdString CPaintManagerUI::GetResourcePath()
{
    return resourcePath;
}

void CPaintManagerUI::SetResourceZip(const char* name, bool cache)
{
    resourceZip = name;
    CResourceStore::Shared().SetZip(resourceZip, cache);
}

CStdString CPaintManagerUI::GetResourceZip()
{
    return resourceZip;
}

bool CPaintManagerUI::ReadResource(const char* name, CStdString& data)
{
    return name != nullptr && CResourceStore::Shared().Load(name, data);
}

int CPaintManagerUI::MessageLoop()
{
    MSG msg = {};
    while (::GetMessage(&msg, nullptr, 0, 0)) {
        if (!TranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessage(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

bool CPaintManagerUI::TranslateMessage(const MSG* message)
{
    if (message == nullptr || message->hwnd == nullptr) {
        return false;
    }
    // The focused control of the message's window may claim a key before
    // any filter: Space types a blank in an edit instead of pausing.
    if (CPaintManagerUI* target = FromWindow(message->hwnd)) {
        CControlUI* focus = target->d->focus;
        if (focus != nullptr && ControlClaimsKey(focus->GetKeyClaims(), *message)) {
            return false;
        }
    }
    // A filter may close windows, delete managers or unregister filters:
    // walk copies and check each entry again before calling it.
    const std::vector<CPaintManagerUI*> managers = liveManagers;
    for (CPaintManagerUI* manager : managers) {
        if (!IsLive(manager) || manager->d->window == nullptr ||
            !IsSelfOrAncestor(manager->d->window, message->hwnd)) {
            continue;
        }
        const std::vector<IMessageFilterUI*> filters = manager->d->preFilters;
        for (IMessageFilterUI* filter : filters) {
            if (!IsLive(manager)) {
                break;
            }
            const auto& current = manager->d->preFilters;
            if (std::find(current.begin(), current.end(), filter) == current.end()) {
                continue;
            }
            bool handled = false;
            filter->MessageHandler(message->message, message->wParam, message->lParam, handled);
            if (handled) {
                return true;
            }
        }
    }
    return false;
}

// ===================================================================== manager

CPaintManagerUI::CPaintManagerUI()
    : d(std::make_unique<TPrivate>())
{
    d->focusKeys = std::make_unique<CFocusManager>(*this);
    d->defaultFont.face = "Sans";
    // Pixels: a size that reads comfortably for Chinese text.
    d->defaultFont.size = 14;
    liveManagers.push_back(this);
}

CPaintManagerUI::~CPaintManagerUI()
{
    d->destroying = true;
    // The accessibility tree lets go of its interfaces while the controls live.
    d->accessibility.reset();
    if (d->window != nullptr && ::IsWindow(d->window)) {
        for (const TPrivate::TTimer& timer : d->timers) {
            ::KillTimer(d->window, timer.windowTimerId);
        }
    }
    d->timers.clear();
    d->asyncQueue.clear();
    // Controls still call back into the manager while they are deleted, so
    // it stays registered until they are gone.
    std::vector<CControlUI*> pending;
    pending.swap(d->delayedDeletes);
    for (CControlUI* control : pending) {
        delete control;
    }
    CControlUI* root = d->root;
    d->root = nullptr;
    delete root;
    liveManagers.erase(std::find(liveManagers.begin(), liveManagers.end(), this));
}

CPaintManagerUI* CPaintManagerUI::FromWindow(HWND window)
{
    if (window == nullptr) {
        return nullptr;
    }
    for (CPaintManagerUI* manager : liveManagers) {
        if (manager->d->window == window) {
            return manager;
        }
    }
    return nullptr;
}

void CPaintManagerUI::Init(HWND window)
{
    d->window = window;
    d->inputMethod = std::make_unique<CInputMethodBridge>(*this);
    d->accessibility = std::make_unique<CAccessibleRegistry>(*this);
}

HWND CPaintManagerUI::GetPaintWindow() const
{
    return d->window;
}

void CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter)
{
    if (filter != nullptr && std::find(d->preFilters.begin(), d->preFilters.end(), filter) == d->preFilters.end()) {
        d->preFilters.push_back(filter);
    }
}

void CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter)
{
    d->preFilters.erase(std::remove(d->preFilters.begin(), d->preFilters.end(), filter), d->preFilters.end());
}

void CPaintManagerUI::AddNotifier(INotifyUI* notifier)
{
    if (notifier != nullptr && std::find(d->notifiers.begin(), d->notifiers.end(), notifier) == d->notifiers.end()) {
        d->notifiers.push_back(notifier);
    }
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier)
{
    d->notifiers.erase(std::remove(d->notifiers.begin(), d->notifiers.end(), notifier), d->notifiers.end());
}

bool CPaintManagerUI::AttachDialog(CControlUI* root)
{
    if (root == nullptr) {
        return false;
    }
    if (d->root != nullptr && d->root != root) {
        CControlUI* old = d->root;
        d->root = nullptr;
        std::vector<CControlUI*> gone;
        old->FindControl(CollectControl, &gone, UIFIND_ALL);
        for (CControlUI* control : gone) {
            ReapObjects(control);
        }
        DelayedDelete(old);
    }
    d->root = root;
    root->SetManager(this, nullptr, true);

    if (d->window != nullptr && d->initSize.cx > 0 && d->initSize.cy > 0) {
        RECT client = {};
        ::GetClientRect(d->window, &client);
        if (UIIsRectEmpty(client)) {
            ::SetWindowPos(d->window, nullptr, 0, 0, d->initSize.cx, d->initSize.cy,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    NeedUpdate();
    UpdateLayout();
    return true;
}

CControlUI* CPaintManagerUI::GetRoot() const
{
    return d->root;
}

bool CPaintManagerUI::IsDispatching() const
{
    return d->dispatchDepth > 0;
}

// ===================================================================== messages

bool CPaintManagerUI::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    if (d->window == nullptr) {
        if (message != UIMSG_ASYNCNOTIFY) {
            return false;
        }
    }
    CDispatchGuard guard(this, d->dispatchDepth);

    switch (message) {
    case WM_ERASEBKGND:
        result = 1;
        return true;

    case WM_PAINT: {
        PAINTSTRUCT paint = {};
        HDC painter = ::BeginPaint(d->window, &paint);
        if (painter != nullptr && d->root != nullptr) {
            UpdateLayout();
            d->root->DoPaint(painter, paint.rcPaint);
            d->focusKeys->PaintRing(painter, paint.rcPaint);
        }
        ::EndPaint(d->window, &paint);
        return true;
    }

    case WM_PRINTCLIENT: {
        HDC painter = reinterpret_cast<HDC>(wParam);
        if (painter != nullptr && d->root != nullptr) {
            UpdateLayout();
            RECT client = {};
            ::GetClientRect(d->window, &client);
            d->root->DoPaint(painter, client);
            d->focusKeys->PaintRing(painter, client);
        }
        return true;
    }

    case WM_SIZE:
        if (d->root != nullptr && wParam != SIZE_MINIMIZED) {
            NeedUpdate();
            UpdateLayout();
        }
        return false;

    case WM_MOUSEMOVE: {
        UpdateLayout();
        const POINT point = PointOf(lParam);
        CControlUI* over = FindControl(point);
        if (over != d->hot) {
            CControlUI* left = d->hot;
            d->hot = over;
            if (left != nullptr) {
                SendEvent(left, UIEVENT_MOUSELEAVE, point, wParam, lParam);
            }
            if (!IsLive(this)) {
                return true;
            }
            if (over != nullptr && over == d->hot) {
                SendEvent(over, UIEVENT_MOUSEENTER, point, wParam, lParam);
            }
            if (!IsLive(this)) {
                return true;
            }
        }
        // While a press holds the capture, movement belongs to the pressed
        // control (a slider being dragged), wherever the mouse is.
        CControlUI* target = d->pressed != nullptr ? d->pressed : d->hot;
        if (target != nullptr) {
            SendEvent(target, UIEVENT_MOUSEMOVE, point, wParam, lParam);
        }
        return false;
    }

    case WM_MOUSELEAVE:
        if (d->hot != nullptr && d->pressed == nullptr) {
            CControlUI* left = d->hot;
            d->hot = nullptr;
            SendEvent(left, UIEVENT_MOUSELEAVE, NOWHERE, 0, 0);
        }
        return false;

    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        UpdateLayout();
        const POINT point = PointOf(lParam);
        CControlUI* control = FindControl(point);
        // The mouse took over: the focus ring waits for the keyboard again.
        d->focusKeys->HideRing();
        if (control == nullptr || !control->IsEnabled()) {
            return false;
        }
        d->pressed = control;
        SetCapture();
        if (control->IsKeyboardEnabled()) {
            SetFocus(control);
            if (!IsLive(this)) {
                return true;
            }
        }
        // Focus handlers may have removed the control.
        if (d->pressed == control) {
            SendEvent(control, message == WM_LBUTTONDOWN ? UIEVENT_BUTTONDOWN : UIEVENT_DBLCLICK, point, wParam,
                      lParam);
        }
        return false;
    }

    case WM_LBUTTONUP: {
        const POINT point = PointOf(lParam);
        CControlUI* control = d->pressed;
        d->pressed = nullptr;
        if (control != nullptr) {
            SendEvent(control, UIEVENT_BUTTONUP, point, wParam, lParam);
            if (!IsLive(this)) {
                return true;
            }
        }
        ReleaseCapture();
        // A release away from the pressed control leaves the hot control
        // behind: bring hot tracking up to where the mouse is now, in the
        // tree as the release's receivers may have rebuilt it.
        UpdateLayout();
        CControlUI* over = FindControl(point);
        if (over != d->hot) {
            CControlUI* left = d->hot;
            d->hot = over;
            if (left != nullptr) {
                SendEvent(left, UIEVENT_MOUSELEAVE, point, wParam, lParam);
            }
            if (IsLive(this) && over != nullptr && over == d->hot) {
                SendEvent(over, UIEVENT_MOUSEENTER, point, wParam, lParam);
            }
        }
        return false;
    }

    case WM_CAPTURECHANGED:
        // Someone else took the mouse: the press ends without a click.
        if (d->pressed != nullptr && reinterpret_cast<HWND>(lParam) != d->window) {
            CControlUI* control = d->pressed;
            d->pressed = nullptr;
            d->captured = false;
            SendEvent(control, UIEVENT_BUTTONUP, NOWHERE, 0, 0);
        }
        return false;

    case WM_RBUTTONDOWN: {
        UpdateLayout();
        const POINT point = PointOf(lParam);
        CControlUI* control = FindControl(point);
        d->rightPressed = control;
        if (control != nullptr && control->IsEnabled()) {
            SendEvent(control, UIEVENT_RBUTTONDOWN, point, wParam, lParam);
        }
        return false;
    }

    case WM_RBUTTONUP: {
        UpdateLayout();
        const POINT point = PointOf(lParam);
        CControlUI* control = FindControl(point);
        CControlUI* pressedBefore = d->rightPressed;
        d->rightPressed = nullptr;
        if (control != nullptr && control == pressedBefore && control->IsEnabled()) {
            SendEvent(control, UIEVENT_CONTEXTMENU, point, wParam, lParam);
        }
        return false;
    }

    case WM_MOUSEWHEEL: {
        UpdateLayout();
        // The wheel's position comes in screen coordinates.
        POINT point = PointOf(lParam);
        ::ScreenToClient(d->window, &point);
        CControlUI* control = FindControl(point);
        if (control == nullptr) {
            return false;
        }
        SendEvent(control, UIEVENT_SCROLLWHEEL, point, wParam, lParam);
        return true;
    }

    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR: {
        // Tab, and arrows and page keys among options, move the focus first.
        if (message == WM_KEYDOWN && d->focusKeys->HandleKeyDown(wParam, lParam)) {
            return true;
        }
        if (d->focus == nullptr) {
            return false;
        }
        const int type = message == WM_KEYDOWN ? UIEVENT_KEYDOWN : message == WM_KEYUP ? UIEVENT_KEYUP : UIEVENT_CHAR;
        TEventUI event;
        event.Type = type;
        event.pSender = d->focus;
        event.dwTimestamp = ::GetTickCount();
        event.chKey = static_cast<char>(wParam);
        event.character = message == WM_CHAR ? static_cast<char32_t>(wParam) : 0;
        event.wParam = wParam;
        event.lParam = lParam;
        d->focus->DoEvent(event);
        return false;
    }

    case WM_IME_COMPOSITION:
        if (d->inputMethod != nullptr) {
            d->inputMethod->Deliver(wParam);
        }
        return true;

    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        // The window gained or lost the keyboard focus; its focused control
        // keeps the window's focus and hears of it (an edit stops blinking).
        if (d->focus != nullptr) {
            SendEvent(d->focus, message == WM_SETFOCUS ? UIEVENT_SETFOCUS : UIEVENT_KILLFOCUS, NOWHERE,
                      UIFOCUS_WINDOW, 0);
        }
        return false;

    case WM_MBUTTONUP: {
        UpdateLayout();
        const POINT point = PointOf(lParam);
        CControlUI* control = FindControl(point);
        if (control != nullptr && control->IsEnabled()) {
            SendEvent(control, UIEVENT_MBUTTONUP, point, wParam, lParam);
        }
        return false;
    }

    case WM_TIMER: {
        for (const TPrivate::TTimer& timer : d->timers) {
            if (timer.windowTimerId == wParam) {
                CControlUI* control = timer.control;
                TEventUI event;
                event.Type = UIEVENT_TIMER;
                event.pSender = control;
                event.dwTimestamp = ::GetTickCount();
                event.wParam = timer.id;
                event.lParam = lParam;
                control->DoEvent(event);
                return true;
            }
        }
        return false;
    }

    case UIMSG_ASYNCNOTIFY: {
        d->asyncPosted = false;
        // Notifications queued while these are delivered wait for the next
        // round, so a control that keeps notifying cannot starve the loop.
        size_t count = d->asyncQueue.size();
        while (count-- > 0 && !d->asyncQueue.empty()) {
            TNotifyUI msg = d->asyncQueue.front().msg;
            d->asyncQueue.pop_front();
            SendNotify(msg, false);
            if (!IsLive(this)) {
                return true;
            }
        }
        if (!d->asyncQueue.empty() && d->window != nullptr && !d->asyncPosted) {
            d->asyncPosted = ::PostMessage(d->window, UIMSG_ASYNCNOTIFY, 0, 0) != FALSE;
        }
        return true;
    }

    default:
        return false;
    }
}

void CPaintManagerUI::SendEvent(CControlUI* control, int type, POINT point, WPARAM wParam, LPARAM lParam)
{
    TEventUI event;
    event.Type = type;
    event.pSender = control;
    event.dwTimestamp = ::GetTickCount();
    event.ptMouse = point;
    event.wKeyState = static_cast<WORD>(wParam);
    event.wParam = wParam;
    event.lParam = lParam;
    control->DoEvent(event);
}

// ===================================================================== controls

CControlUI* CPaintManagerUI::FindControl(const char* name) const
{
    if (d->root == nullptr || name == nullptr || *name == '\0') {
        return nullptr;
    }
    return d->root->FindControl(MatchName, const_cast<char*>(name), UIFIND_ALL | UIFIND_ME_FIRST);
}

CControlUI* CPaintManagerUI::FindControl(POINT point) const
{
    if (d->root == nullptr) {
        return nullptr;
    }
    return d->root->FindControl(FirstHit, &point, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

void CPaintManagerUI::ReapObjects(CControlUI* control)
{
    if (control == nullptr) {
        return;
    }
    for (IControlObserverUI* observer : std::vector<IControlObserverUI*>(d->controlObservers)) {
        observer->ControlReaped(control);
    }
    if (d->focus == control) {
        d->focus = nullptr;
    }
    if (d->hot == control) {
        d->hot = nullptr;
    }
    if (d->pressed == control) {
        d->pressed = nullptr;
        ReleaseCapture();
    }
    if (d->rightPressed == control) {
        d->rightPressed = nullptr;
    }
    if (d->root == control) {
        d->root = nullptr;
    }
    KillTimer(control);
    d->asyncQueue.erase(std::remove_if(d->asyncQueue.begin(), d->asyncQueue.end(),
                                       [control](const TPrivate::TQueuedNotify& queued) {
                                           return queued.msg.pSender == control;
                                       }),
                        d->asyncQueue.end());
    for (TPrivate::TInFlight* delivery : d->inFlight) {
        if (delivery->sender == control) {
            delivery->reaped = true;
        }
    }
    for (TPrivate::TOptionGroup& group : d->optionGroups) {
        const int index = group.options->Find(control);
        if (index >= 0) {
            group.options->Remove(index);
        }
    }
}

void CPaintManagerUI::DelayedDelete(CControlUI* control)
{
    if (control != nullptr) {
        if (d->dispatchDepth > 0 && !d->destroying) {
            d->delayedDeletes.push_back(control);
            return;
        }
        delete control;
        return;
    }
    // Null: the outermost handler ended; delete what waited. Deleting may
    // queue more (a container's children), so loop until none is left.
    while (!d->delayedDeletes.empty()) {
        std::vector<CControlUI*> pending;
        pending.swap(d->delayedDeletes);
        for (CControlUI* waiting : pending) {
            delete waiting;
        }
    }
}

void CPaintManagerUI::Invalidate(const RECT& rect)
{
    if (d->window != nullptr) {
        ::InvalidateRect(d->window, &rect, FALSE);
    }
}

void CPaintManagerUI::Invalidate()
{
    if (d->window != nullptr) {
        ::InvalidateRect(d->window, nullptr, FALSE);
    }
}

void CPaintManagerUI::NeedUpdate()
{
    d->layoutNeeded = true;
    Invalidate();
}

void CPaintManagerUI::NeedUpdate(const RECT& area)
{
    d->layoutNeeded = true;
    // The paint that this asks for lays the tree out first; a control that
    // the layout moves invalidates the place it left and the place it took.
    // An area out of the window would ask for no paint at all, and so for no
    // layout: then the whole window is repainted.
    RECT client = {};
    RECT shown = {};
    if (d->window != nullptr) {
        ::GetClientRect(d->window, &client);
    }
    if (UIIntersectRect(shown, area, client)) {
        Invalidate(shown);
    } else {
        Invalidate();
    }
}

void CPaintManagerUI::UpdateLayout()
{
    if (d->root == nullptr || d->window == nullptr) {
        return;
    }
    RECT client = {};
    ::GetClientRect(d->window, &client);
    const SIZE size = {client.right - client.left, client.bottom - client.top};
    if (!d->layoutNeeded && size.cx == d->laidOutSize.cx && size.cy == d->laidOutSize.cy) {
        return;
    }
    d->layoutNeeded = false;
    d->laidOutSize = size;
    d->root->SetPos(client);
}

CControlUI* CPaintManagerUI::GetFocus() const
{
    return d->focus;
}

void CPaintManagerUI::SetFocus(CControlUI* control)
{
    if (control == d->focus) {
        return;
    }
    if (control != nullptr && control->GetManager() != this) {
        return;
    }
    if (d->window != nullptr && ::GetFocus() != d->window) {
        ::SetFocus(d->window);
    }
    CControlUI* old = d->focus;
    // Asked now: the old control's focus handler may remove it.
    const bool oldTookText = CInputMethodBridge::ClientOf(old) != nullptr;
    d->focus = nullptr;
    if (old != nullptr) {
        SendEvent(old, UIEVENT_KILLFOCUS, NOWHERE, 0, 0);
        if (!IsLive(this)) {
            return;
        }
    }
    // The focus handlers of the old control may have moved the focus or
    // removed the new control; a removed control has no manager tree left.
    if (d->focus != nullptr) {
        return;
    }
    if (control != nullptr) {
        d->focus = control;
        SendEvent(control, UIEVENT_SETFOCUS, NOWHERE, 0, 0);
    }
    if (IsLive(this) && d->focus == control && d->inputMethod != nullptr) {
        d->inputMethod->FocusMoved(oldTookText);
    }
    if (IsLive(this) && d->focus == control && control != nullptr) {
        NotifyControlChanged(control, EControlChange::Focus);
    }
}

bool CPaintManagerUI::IsFocusVisible() const
{
    return d->focusKeys->IsFocusVisible();
}

CFocusManager& CPaintManagerUI::GetFocusManager()
{
    return *d->focusKeys;
}

void CPaintManagerUI::SetCapture()
{
    if (d->window != nullptr) {
        ::SetCapture(d->window);
    }
    d->captured = true;
}

void CPaintManagerUI::ReleaseCapture()
{
    const bool wasCaptured = d->captured;
    d->captured = false;
    if (wasCaptured && d->window != nullptr && ::GetCapture() == d->window) {
        ::ReleaseCapture();
    }
}

bool CPaintManagerUI::IsCaptured() const
{
    return d->captured;
}

CControlUI* CPaintManagerUI::GetHotControl() const
{
    return d->hot;
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT timerId, UINT elapse)
{
    if (control == nullptr || d->window == nullptr) {
        return false;
    }
    for (const TPrivate::TTimer& timer : d->timers) {
        if (timer.control == control && timer.id == timerId) {
            return ::SetTimer(d->window, timer.windowTimerId, elapse, nullptr) != 0;
        }
    }
    const UINT_PTR windowTimerId = d->nextTimerId++;
    if (::SetTimer(d->window, windowTimerId, elapse, nullptr) == 0) {
        return false;
    }
    d->timers.push_back({control, timerId, windowTimerId});
    return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT timerId)
{
    for (auto it = d->timers.begin(); it != d->timers.end(); ++it) {
        if (it->control == control && it->id == timerId) {
            if (d->window != nullptr && ::IsWindow(d->window)) {
                ::KillTimer(d->window, it->windowTimerId);
            }
            d->timers.erase(it);
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::KillTimer(CControlUI* control)
{
    for (auto it = d->timers.begin(); it != d->timers.end();) {
        if (it->control == control) {
            if (d->window != nullptr && ::IsWindow(d->window)) {
                ::KillTimer(d->window, it->windowTimerId);
            }
            it = d->timers.erase(it);
        } else {
            ++it;
        }
    }
}

// ===================================================================== notifications

bool CPaintManagerUI::PressControl(CControlUI* control)
{
    if (control == nullptr || control->GetManager() != this || !control->Activate()) {
        return false;
    }
    // Whoever received "click" may have removed the control or closed the
    // window; a removed control has no manager and is asked for nothing more.
    if (IsLive(this) && control->GetManager() == this) {
        SendNotify(control, "itemactivate");
    }
    return true;
}

void CPaintManagerUI::SendNotify(CControlUI* control, const char* type, WPARAM wParam, LPARAM lParam, bool async)
{
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = control;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg, async);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async)
{
    if (msg.dwTimestamp == 0) {
        msg.dwTimestamp = ::GetTickCount();
    }
    if (d->window != nullptr && msg.ptMouse.x == 0 && msg.ptMouse.y == 0) {
        POINT cursor = {};
        ::GetCursorPos(&cursor);
        ::ScreenToClient(d->window, &cursor);
        msg.ptMouse = cursor;
    }
    if (async) {
        d->asyncQueue.push_back({msg});
        if (d->window != nullptr && !d->asyncPosted) {
            d->asyncPosted = ::PostMessage(d->window, UIMSG_ASYNCNOTIFY, 0, 0) != FALSE;
        }
        return;
    }

    CDispatchGuard guard(this, d->dispatchDepth);
    TPrivate::TInFlight delivery{msg.pSender, false};
    d->inFlight.push_back(&delivery);
    const std::vector<INotifyUI*> notifiers = d->notifiers;
    for (INotifyUI* notifier : notifiers) {
        if (delivery.reaped) {
            break;
        }
        if (std::find(d->notifiers.begin(), d->notifiers.end(), notifier) == d->notifiers.end()) {
            continue;
        }
        notifier->Notify(msg);
        if (!IsLive(this)) {
            return;
        }
    }
    d->inFlight.erase(std::find(d->inFlight.begin(), d->inFlight.end(), &delivery));
}

// ===================================================================== window look

RECT CPaintManagerUI::GetCaptionRect() const
{
    return d->captionRect;
}

void CPaintManagerUI::SetCaptionRect(const RECT& rect)
{
    d->captionRect = rect;
}

SIZE CPaintManagerUI::GetRoundCorner() const
{
    return d->roundCorner;
}

void CPaintManagerUI::SetRoundCorner(int width, int height)
{
    d->roundCorner = SIZE{width, height};
}

SIZE CPaintManagerUI::GetInitSize() const
{
    return d->initSize;
}

void CPaintManagerUI::SetInitSize(int width, int height)
{
    d->initSize = SIZE{width, height};
}

SIZE CPaintManagerUI::GetMinInfo() const
{
    return d->minInfo;
}

void CPaintManagerUI::SetMinInfo(int width, int height)
{
    d->minInfo = SIZE{width, height};
}

SIZE CPaintManagerUI::GetMaxInfo() const
{
    return d->maxInfo;
}

void CPaintManagerUI::SetMaxInfo(int width, int height)
{
    d->maxInfo = SIZE{width, height};
}

// ===================================================================== fonts and colours

HFONT CPaintManagerUI::AddFont(const char* face, int size, bool bold, bool underline, bool italic)
{
    auto font = std::make_unique<TFontInfo>();
    font->face = face;
    font->size = size;
    font->bold = bold;
    font->underline = underline;
    font->italic = italic;
    d->fonts.push_back(std::move(font));
    return d->fonts.back().get();
}

int CPaintManagerUI::GetFontIndex(HFONT font) const
{
    for (size_t index = 0; index < d->fonts.size(); ++index) {
        if (d->fonts[index].get() == font) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

HFONT CPaintManagerUI::GetFont(int index) const
{
    if (index < 0 || index >= static_cast<int>(d->fonts.size())) {
        return &d->defaultFont;
    }
    return d->fonts[static_cast<size_t>(index)].get();
}

int CPaintManagerUI::GetFontCount() const
{
    return static_cast<int>(d->fonts.size());
}

HFONT CPaintManagerUI::GetDefaultFont() const
{
    return &d->defaultFont;
}

void CPaintManagerUI::SetDefaultFont(const char* face, int size, bool bold, bool underline, bool italic)
{
    d->defaultFont.face = face;
    d->defaultFont.size = size;
    d->defaultFont.bold = bold;
    d->defaultFont.underline = underline;
    d->defaultFont.italic = italic;
}

DWORD CPaintManagerUI::GetDefaultFontColor() const
{
    return d->defaultFontColor;
}

void CPaintManagerUI::SetDefaultFontColor(DWORD argb)
{
    d->defaultFontColor = argb;
}

DWORD CPaintManagerUI::GetDefaultDisabledColor() const
{
    return d->defaultDisabledColor;
}

void CPaintManagerUI::SetDefaultDisabledColor(DWORD argb)
{
    d->defaultDisabledColor = argb;
}

// ===================================================================== option groups

bool CPaintManagerUI::AddOptionGroup(const char* group, CControlUI* control)
{
    if (group == nullptr || *group == '\0' || control == nullptr) {
        return false;
    }
    for (TPrivate::TOptionGroup& existing : d->optionGroups) {
        if (existing.name == group) {
            if (existing.options->Find(control) < 0) {
                existing.options->Add(control);
            }
            return true;
        }
    }
    // The array of a group lives as long as the manager, so a pointer from
    // GetOptionGroup stays valid while options come and go.
    TPrivate::TOptionGroup created{CStdString(group), std::make_unique<CStdPtrArray>()};
    created.options->Add(control);
    d->optionGroups.push_back(std::move(created));
    return true;
}

void CPaintManagerUI::RemoveOptionGroup(const char* group, CControlUI* control)
{
    for (TPrivate::TOptionGroup& existing : d->optionGroups) {
        if (existing.name == group) {
            const int index = existing.options->Find(control);
            if (index >= 0) {
                existing.options->Remove(index);
            }
            return;
        }
    }
}

CStdPtrArray* CPaintManagerUI::GetOptionGroup(const char* group)
{
    for (TPrivate::TOptionGroup& existing : d->optionGroups) {
        if (existing.name == group) {
            return existing.options->IsEmpty() ? nullptr : existing.options.get();
        }
    }
    return nullptr;
}

int CPaintManagerUI::GetGroupSelectedIndex(const char* group)
{
    CStdPtrArray* options = GetOptionGroup(group);
    if (options == nullptr) {
        return -1;
    }
    for (int index = 0; index < options->GetSize(); ++index) {
        auto* control = static_cast<CControlUI*>(options->GetAt(index));
        auto* option = static_cast<COptionUI*>(control->GetInterface("Option"));
        if (option != nullptr && option->IsSelected()) {
            return index;
        }
    }
    return -1;
}

void CPaintManagerUI::RemoveAllOptionGroups()
{
    for (TPrivate::TOptionGroup& existing : d->optionGroups) {
        existing.options->Empty();
    }
}

// ===================================================================== control observers

void CPaintManagerUI::AddControlObserver(IControlObserverUI* observer)
{
    auto& list = d->controlObservers;
    if (observer != nullptr && std::find(list.begin(), list.end(), observer) == list.end()) {
        list.push_back(observer);
    }
}

void CPaintManagerUI::RemoveControlObserver(IControlObserverUI* observer)
{
    auto& list = d->controlObservers;
    list.erase(std::remove(list.begin(), list.end(), observer), list.end());
}

void CPaintManagerUI::NotifyControlChanged(CControlUI* control, EControlChange change)
{
    if (control == nullptr || control->GetManager() != this) {
        return;
    }
    for (IControlObserverUI* observer : std::vector<IControlObserverUI*>(d->controlObservers)) {
        observer->ControlChanged(control, change);
    }
}
