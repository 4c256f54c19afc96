#include "platform/ui/Window.h"

#include "platform/ui/Backend.h"

#include <algorithm>
#include <map>

namespace tarvel::ui {

namespace {

// Handles count up in steps of 4 from a value no pointer of ours would
// have, and are never reused while the process lives.
constexpr std::uintptr_t kFirstHandle = 0x10010;

struct WindowState {
    std::map<std::uintptr_t, WindowRef> windows;
    std::uintptr_t nextHandle = kFirstHandle;
    HWND focus = nullptr;
    HWND active = nullptr;
};

WindowState& State()
{
    static WindowState state;
    return state;
}

std::uintptr_t Key(HWND handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

WindowRef FindWindowRef(HWND handle)
{
    if (handle == nullptr) {
        return nullptr;
    }
    auto& windows = State().windows;
    auto it = windows.find(Key(handle));
    return it == windows.end() ? nullptr : it->second;
}

WindowRef AddWindow(std::shared_ptr<Window> window)
{
    auto& state = State();
    window->handle = reinterpret_cast<HWND>(state.nextHandle);
    state.nextHandle += 4;
    state.windows[Key(window->handle)] = window;
    if (auto parent = FindWindowRef(window->parent)) {
        parent->children.push_back(window->handle);
    }
    return window;
}

std::size_t LiveWindowCount()
{
    return State().windows.size();
}

bool RemoveWindow(HWND handle)
{
    WindowRef window = FindWindowRef(handle);
    if (!window || window->destroying) {
        // A procedure that destroys its window again while hearing
        // WM_DESTROY must not start the teardown a second time.
        return window != nullptr;
    }
    window->destroying = true;
    auto& state = State();
    // A field that has the focus loses it before its dialog hears of the
    // end, so a value typed last is still taken.
    if (state.focus != nullptr && IsSelfOrChild(handle, state.focus)) {
        MoveFocus(nullptr);
    }
    // A dialog hears of its end before its controls go, as on the handheld,
    // so its procedure can still read them.
    if (window->kind == WindowKind::Dialog) {
        CallWindow(window, WM_DESTROY, 0, 0);
    }
    // Owned top-level windows go with their owner.
    std::vector<HWND> owned;
    for (const auto& [key, other] : state.windows) {
        if (other->owner == handle && other->parent == nullptr) {
            owned.push_back(other->handle);
        }
    }
    for (HWND child : std::vector<HWND>(window->children)) {
        RemoveWindow(child);
    }
    for (HWND other : owned) {
        RemoveWindow(other);
    }
    if (state.focus != nullptr && IsSelfOrChild(handle, state.focus)) {
        state.focus = nullptr;
    }
    KillWindowTimers(handle);
    DropWindowMessages(handle);
    if (auto parent = FindWindowRef(window->parent)) {
        auto& list = parent->children;
        list.erase(std::remove(list.begin(), list.end(), handle), list.end());
    }
    CurrentBackend().WindowDestroyed(*window);
    state.windows.erase(Key(handle));
    if (state.active == handle) {
        // Activation falls back to the owner, as when a dialog closes.
        state.active = FindWindowRef(window->owner) ? window->owner : nullptr;
    }
    return true;
}

WindowRef FindControl(const Window& dialog, int id)
{
    for (HWND child : dialog.children) {
        WindowRef control = FindWindowRef(child);
        if (control && control->id == id) {
            return control;
        }
    }
    return nullptr;
}

bool IsSelfOrChild(HWND ancestor, HWND window)
{
    // The depth is bounded by the table itself; a loop cannot form because
    // parents are fixed at creation.
    for (WindowRef w = FindWindowRef(window); w; w = FindWindowRef(w->parent)) {
        if (w->handle == ancestor) {
            return true;
        }
    }
    return false;
}

LRESULT CallWindow(WindowRef window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!window) {
        return 0;
    }
    switch (window->kind) {
    case WindowKind::Control:
        return ControlMessage(window, message, wParam, lParam);
    case WindowKind::Dialog: {
        INT_PTR answer = FALSE;
        if (window->procedure != nullptr) {
            answer = window->procedure(window->handle, message, wParam, lParam);
        }
        if (answer != FALSE) {
            return answer;
        }
        // What the default dialog procedure does for the messages the
        // procedure leaves alone.
        if (message == WM_CLOSE && FindWindowRef(window->handle)) {
            int id = (window->shellFlags & SHIDIF_DONEBUTTON) != 0 ? IDOK : IDCANCEL;
            WindowRef button = FindControl(*window, id);
            return CallWindow(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(button ? button->handle : nullptr));
        }
        if (message == WM_SETTEXT || message == WM_GETTEXT || message == WM_GETTEXTLENGTH) {
            break;
        }
        return answer;
    }
    case WindowKind::Plain:
    case WindowKind::SipPref:
        break;
    }
    switch (message) {
    case WM_SETTEXT:
        window->text = TextFrom(reinterpret_cast<LPCWSTR>(lParam));
        CurrentBackend().WindowChanged(*window);
        return TRUE;
    case WM_GETTEXT:
        return AnswerGetText(window->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(window->text.size());
    default:
        return 0;
    }
}

void NotifyParent(const Window& control, WORD code)
{
    WindowRef parent = FindWindowRef(control.parent);
    if (parent) {
        CallWindow(parent, WM_COMMAND, MAKEWPARAM(control.id, code),
                   reinterpret_cast<LPARAM>(control.handle));
    }
}

HWND FocusWindow()
{
    return State().focus;
}

HWND MoveFocus(HWND window)
{
    auto& state = State();
    HWND previous = state.focus;
    if (previous == window) {
        return previous;
    }
    state.focus = window;
    CurrentBackend().FocusChanged(window);
    if (WindowRef old = FindWindowRef(previous);
        old && old->kind == WindowKind::Control && old->controlKind == DLGC_EDIT) {
        NotifyParent(*old, EN_KILLFOCUS);
    }
    if (WindowRef now = FindWindowRef(window);
        now && now->kind == WindowKind::Control && now->controlKind == DLGC_EDIT) {
        NotifyParent(*now, EN_SETFOCUS);
    }
    return previous;
}

HWND ActiveWindowHandle()
{
    auto& state = State();
    if (!FindWindowRef(state.active)) {
        state.active = nullptr;
    }
    return state.active;
}

void Activate(HWND window)
{
    // Only top-level windows are active; a child activates its top.
    WindowRef w = FindWindowRef(window);
    while (w && w->parent != nullptr) {
        w = FindWindowRef(w->parent);
    }
    if (w) {
        State().active = w->handle;
    }
}

std::u16string TextFrom(LPCWSTR text)
{
    if (text == nullptr) {
        return {};
    }
    return std::u16string(text);
}

int CopyText(const std::u16string& text, LPWSTR buffer, int size)
{
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
    std::copy_n(text.data(), count, buffer);
    buffer[count] = u'\0';
    return static_cast<int>(count);
}

LRESULT AnswerGetText(const std::u16string& text, WPARAM wParam, LPARAM lParam)
{
    return CopyText(text, reinterpret_cast<LPWSTR>(lParam),
                    wParam > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wParam));
}

}  // namespace tarvel::ui
