// What a display backend does for the window layer. The window table, the
// message queue and the dialog logic are shared; a backend only shows
// windows, turns the user's actions into messages and runs modal waits.
#pragma once

#include "platform/ui/Window.h"

#include <memory>
#include <string>

namespace tarvel::ui {

class DisplayBackend {
public:
    virtual ~DisplayBackend() = default;

    virtual Backend Kind() const = 0;
    // Dialog base units (pixels per 4 horizontal and 8 vertical dialog
    // units) for a template's font.
    virtual void BaseUnits(const DLGTEMPLATEDEF& dialogTemplate, int& unitX, int& unitY) = 0;
    virtual SIZE ScreenSize() = 0;
    // Whether a full-screen request from the shell should resize the
    // dialog; on a desktop it would only cover everything else.
    virtual bool HonoursFullScreen() const = 0;

    // A dialog and its controls exist (hidden); make the real widgets.
    virtual void DialogCreated(Window& dialog) = 0;
    // Some state of a window changed (text, check, enabled, read-only,
    // entries, selection, visibility, geometry).
    virtual void WindowChanged(Window& window) = 0;
    // The keyboard focus moved to this window (null: to no window).
    virtual void FocusChanged(HWND window) = 0;
    // The window leaves the table; drop what was made for it.
    virtual void WindowDestroyed(Window& window) = 0;

    // Runs a shown modal dialog until its procedure ends it.
    virtual void RunModal(const WindowRef& dialog) = 0;
    // Shows a message box and blocks until it is dismissed.
    virtual int ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption,
                               UINT type)
        = 0;
    // Lets the display process pending input (which may post messages).
    virtual void Poll() = 0;
    // Waits at most the given milliseconds for input.
    virtual void WaitForInput(DWORD milliseconds) = 0;
};

// The backend in use, chosen on first use.
DisplayBackend& CurrentBackend();

std::unique_ptr<DisplayBackend> MakeHeadlessBackend();
#if defined(TARVEL_HAVE_FLTK)
// Null when no display can be opened.
std::unique_ptr<DisplayBackend> MakeFltkBackend();
// The widgets' private messages to their controls, and what they do.
bool IsFltkUserAction(UINT message);
LRESULT FltkUserAction(const WindowRef& control, UINT message, WPARAM wParam);
#endif

// Runs the installed responder (or the default) on a headless modal dialog.
void RespondToDialog(const WindowRef& dialog);

// Adds to the record of message boxes.
void RecordMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type);

}  // namespace tarvel::ui
