// The window table: every window, dialog and control of the thread, found
// by handle. Handles are numbers that are never reused, so a stale handle
// simply finds nothing.
#pragma once

#include <tarvel/ui.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvel::ui {

enum class WindowKind { Plain,
                        Dialog,
                        Control,
                        SipPref };

struct Window {
    HWND handle = nullptr;
    WindowKind kind = WindowKind::Plain;
    UINT controlKind = 0;  // DLGC_* for controls
    int id = 0;
    DWORD style = 0;
    std::u16string text;
    RECT rect{};            // screen pixels, the whole window
    HWND parent = nullptr;  // a child's container
    HWND owner = nullptr;   // a top-level window's owner
    std::vector<HWND> children;
    bool enabled = true;
    bool visible = false;
    bool readOnly = false;
    bool destroying = false;
    UINT check = BST_UNCHECKED;
    std::vector<std::u16string> entries;
    int selection = -1;
    int radioGroup = 0;  // radio buttons of one group share a number

    // Dialogs only.
    DLGPROC procedure = nullptr;
    const DLGTEMPLATEDEF* dialogTemplate = nullptr;
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    DWORD shellFlags = 0;
    int baseUnitX = 0;
    int baseUnitY = 0;

    // Owned by the backend that shows the window (FLTK widgets).
    void* backendData = nullptr;
};

using WindowRef = std::shared_ptr<Window>;

// Finds a live window; null for null, stale or foreign handles.
WindowRef FindWindowRef(HWND handle);
// Adds a window and gives it its handle.
WindowRef AddWindow(std::shared_ptr<Window> window);
// Destroys a window and its children (children first), sending WM_DESTROY
// to dialogs and telling the backend. False for a stale handle.
bool RemoveWindow(HWND handle);
// Number of live windows (the backend may only change while this is 0).
std::size_t LiveWindowCount();
// A control of a dialog by its id; null when there is none.
WindowRef FindControl(const Window& dialog, int id);
// Whether window is descendant (or the same window) of ancestor.
bool IsSelfOrChild(HWND ancestor, HWND window);

// The window procedure: what SendMessageW and DispatchMessageW reach. The
// window is taken by value: the caller's reference may be a table entry that
// a procedure destroying the window erases, and the window must outlive it.
LRESULT CallWindow(WindowRef window, UINT message, WPARAM wParam, LPARAM lParam);
// The control side of CallWindow (control messages, clicks).
LRESULT ControlMessage(const WindowRef& control, UINT message, WPARAM wParam, LPARAM lParam);
// Sends WM_COMMAND with the control's id and notification to its dialog.
void NotifyParent(const Window& control, WORD code);
// Presses a button as the user would: radio buttons check themselves and
// clear their group, check boxes toggle, then BN_CLICKED goes to the
// dialog. False when the control is disabled or is not a button.
bool ClickControl(const WindowRef& control);

// Focus and activation.
HWND FocusWindow();
HWND MoveFocus(HWND window);  // sends EN_KILLFOCUS / EN_SETFOCUS
HWND ActiveWindowHandle();
void Activate(HWND window);

// The shell's extra controls ("SIPPREF") may be created from now on.
void MarkExtraControlsReady();

// Texts.
std::u16string TextFrom(LPCWSTR text);  // null reads as empty
int CopyText(const std::u16string& text, LPWSTR buffer, int size);
// The answer to WM_GETTEXT: wParam is the buffer's size in characters,
// lParam the buffer.
LRESULT AnswerGetText(const std::u16string& text, WPARAM wParam, LPARAM lParam);

// Message queue helpers used by modal loops.
// Takes and dispatches every message waiting now.
void PumpThreadMessages();
// Milliseconds until the next timer is due (0 when one is due now), or
// the given ceiling when no timer is due sooner.
DWORD MillisecondsToNextTimer(DWORD ceiling);
// Drops the timers of a window that is going away.
void KillWindowTimers(HWND window);
// Drops posted messages of a window that is going away.
void DropWindowMessages(HWND window);

}  // namespace tarvel::ui
