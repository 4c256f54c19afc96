// The window calls applications and dialog procedures make: texts, states,
// geometry, activation and the windows made by class name.
#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

#include <algorithm>

using namespace tarvel::ui;

namespace {

bool g_extraControlsReady = false;

bool SameClass(LPCWSTR className, std::u16string_view wanted)
{
    if (className == nullptr) {
        return false;
    }
    std::u16string_view name(className);
    if (name.size() != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t a = name[i] >= u'a' && name[i] <= u'z' ? static_cast<char16_t>(name[i] - 32) : name[i];
        if (a != wanted[i]) {
            return false;
        }
    }
    return true;
}

LONG ClampCoordinate(long long value)
{
    return static_cast<LONG>(std::clamp<long long>(value, -0x8000000LL, 0x8000000LL));
}

void MoveTree(Window& window, LONG dx, LONG dy)
{
    window.rect.left += dx;
    window.rect.right += dx;
    window.rect.top += dy;
    window.rect.bottom += dy;
    for (HWND child : window.children) {
        if (WindowRef c = FindWindowRef(child)) {
            MoveTree(*c, dx, dy);
        }
    }
}

}  // namespace

namespace tarvel::ui {

void MarkExtraControlsReady()
{
    g_extraControlsReady = true;
}

}  // namespace tarvel::ui

extern "C" {

TARVEL_API HWND GetDlgItem(HWND dialog, int id)
{
    WindowRef window = FindWindowRef(dialog);
    if (!window) {
        return nullptr;
    }
    WindowRef control = FindControl(*window, id);
    return control ? control->handle : nullptr;
}

TARVEL_API int GetDlgCtrlID(HWND control)
{
    WindowRef window = FindWindowRef(control);
    return window && window->parent != nullptr ? window->id : 0;
}

TARVEL_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindow(FindWindowRef(window), message, wParam, lParam);
}

TARVEL_API LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(GetDlgItem(dialog, id), message, wParam, lParam);
}

TARVEL_API BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) == TRUE;
}

TARVEL_API UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        if (buffer != nullptr && size > 0) {
            buffer[0] = u'\0';
        }
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(control, buffer, size));
}

TARVEL_API BOOL SetWindowTextW(HWND window, LPCWSTR text)
{
    WindowRef w = FindWindowRef(window);
    return w && CallWindow(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) == TRUE;
}

TARVEL_API int GetWindowTextW(HWND window, LPWSTR buffer, int size)
{
    WindowRef w = FindWindowRef(window);
    if (!w || buffer == nullptr || size <= 0) {
        return 0;
    }
    LRESULT copied = CallWindow(w, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer));
    return copied < 0 ? 0 : static_cast<int>(copied);
}

TARVEL_API int GetWindowTextLengthW(HWND window)
{
    WindowRef w = FindWindowRef(window);
    return w ? static_cast<int>(CallWindow(w, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

TARVEL_API BOOL EnableWindow(HWND window, BOOL enable)
{
    WindowRef w = FindWindowRef(window);
    if (!w) {
        return FALSE;
    }
    BOOL wasDisabled = w->enabled ? FALSE : TRUE;
    bool now = enable != FALSE;
    if (w->enabled != now) {
        w->enabled = now;
        if (!now && FocusWindow() == window) {
            MoveFocus(nullptr);
        }
        CurrentBackend().WindowChanged(*w);
    }
    return wasDisabled;
}

TARVEL_API BOOL IsWindowEnabled(HWND window)
{
    WindowRef w = FindWindowRef(window);
    return w && w->enabled ? TRUE : FALSE;
}

TARVEL_API BOOL IsWindow(HWND window)
{
    return FindWindowRef(window) ? TRUE : FALSE;
}

TARVEL_API BOOL IsWindowVisible(HWND window)
{
    // Visible means the window and every container up to the top.
    WindowRef w = FindWindowRef(window);
    if (!w) {
        return FALSE;
    }
    for (; w; w = FindWindowRef(w->parent)) {
        if (!w->visible) {
            return FALSE;
        }
    }
    return TRUE;
}

TARVEL_API BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    SendMessageW(control, BM_SETCHECK, check, 0);
    return TRUE;
}

TARVEL_API UINT IsDlgButtonChecked(HWND dialog, int id)
{
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

TARVEL_API HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                                int y, int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance,
                                LPVOID param)
{
    (void)exStyle;
    (void)instance;
    (void)param;
    if (className == nullptr || width < 0 || height < 0) {
        return nullptr;
    }
    WindowRef parentWindow = FindWindowRef(parent);
    if (parent != nullptr && !parentWindow) {
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    if (child && !parentWindow) {
        return nullptr;  // a child needs a container
    }
    auto window = std::make_shared<Window>();
    if (SameClass(className, u"SIPPREF")) {
        // The shell registers this class; it does not exist before.
        if (!g_extraControlsReady || !child) {
            return nullptr;
        }
        window->kind = WindowKind::SipPref;
    } else {
        window->kind = WindowKind::Plain;
    }
    window->style = style;
    window->text = TextFrom(windowName);
    window->enabled = (style & WS_DISABLED) == 0;
    window->visible = (style & WS_VISIBLE) != 0;
    LONG originX = 0;
    LONG originY = 0;
    if (child) {
        window->parent = parent;
        window->id = static_cast<int>(reinterpret_cast<INT_PTR>(menuOrId));
        originX = parentWindow->rect.left;
        originY = parentWindow->rect.top;
    } else {
        window->owner = parent;
    }
    LONG left = ClampCoordinate(static_cast<long long>(originX) + x);
    LONG top = ClampCoordinate(static_cast<long long>(originY) + y);
    window->rect = RECT{left, top, ClampCoordinate(static_cast<long long>(left) + width),
                        ClampCoordinate(static_cast<long long>(top) + height)};
    AddWindow(window);
    if (!child && window->visible) {
        Activate(window->handle);
    }
    return window->handle;
}

TARVEL_API HWND GetParent(HWND window)
{
    WindowRef w = FindWindowRef(window);
    if (!w) {
        return nullptr;
    }
    // A child answers its container; an owned pop-up answers its owner.
    if (w->parent != nullptr) {
        return w->parent;
    }
    return (w->style & WS_POPUP) != 0 || w->kind == WindowKind::Dialog ? w->owner : nullptr;
}

TARVEL_API BOOL SetForegroundWindow(HWND window)
{
    WindowRef w = FindWindowRef(window);
    if (!w) {
        return FALSE;
    }
    Activate(window);
    return TRUE;
}

TARVEL_API HWND GetActiveWindow(void)
{
    return ActiveWindowHandle();
}

TARVEL_API HWND GetFocus(void)
{
    return FindWindowRef(FocusWindow()) ? FocusWindow() : nullptr;
}

TARVEL_API HWND SetFocus(HWND window)
{
    if (window != nullptr) {
        WindowRef w = FindWindowRef(window);
        if (!w || !w->enabled) {
            return nullptr;
        }
    }
    HWND previous = MoveFocus(window);
    return FindWindowRef(previous) ? previous : nullptr;
}

TARVEL_API BOOL GetWindowRect(HWND window, RECT* rect)
{
    WindowRef w = FindWindowRef(window);
    if (!w || rect == nullptr) {
        return FALSE;
    }
    *rect = w->rect;
    return TRUE;
}

TARVEL_API int GetSystemMetrics(int index)
{
    SIZE screen = CurrentBackend().ScreenSize();
    switch (index) {
    case SM_CXSCREEN:
        return screen.cx;
    case SM_CYSCREEN:
        return screen.cy;
    default:
        return 0;
    }
}

TARVEL_API BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    (void)insertAfter;
    WindowRef w = FindWindowRef(window);
    if (!w) {
        return FALSE;
    }
    if ((flags & SWP_NOMOVE) == 0) {
        LONG originX = 0;
        LONG originY = 0;
        if (WindowRef parent = FindWindowRef(w->parent)) {
            originX = parent->rect.left;
            originY = parent->rect.top;
        }
        LONG dx = ClampCoordinate(static_cast<long long>(originX) + x) - w->rect.left;
        LONG dy = ClampCoordinate(static_cast<long long>(originY) + y) - w->rect.top;
        MoveTree(*w, dx, dy);
    }
    if ((flags & SWP_NOSIZE) == 0) {
        w->rect.right = ClampCoordinate(static_cast<long long>(w->rect.left) + std::max(cx, 0));
        w->rect.bottom = ClampCoordinate(static_cast<long long>(w->rect.top) + std::max(cy, 0));
    }
    if ((flags & SWP_SHOWWINDOW) != 0) {
        w->visible = true;
    } else if ((flags & SWP_HIDEWINDOW) != 0) {
        w->visible = false;
    }
    CurrentBackend().WindowChanged(*w);
    return TRUE;
}

TARVEL_API BOOL ShowWindow(HWND window, int command)
{
    WindowRef w = FindWindowRef(window);
    if (!w) {
        return FALSE;
    }
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    w->visible = command != SW_HIDE;
    if (w->visible && w->parent == nullptr && (command == SW_SHOW || command == SW_SHOWNORMAL)) {
        Activate(window);
    }
    CurrentBackend().WindowChanged(*w);
    return wasVisible;
}

TARVEL_API BOOL DestroyWindow(HWND window)
{
    return RemoveWindow(window) ? TRUE : FALSE;
}

}  // extern "C"
