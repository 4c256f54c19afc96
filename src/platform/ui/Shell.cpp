// The handheld shell's two initialisations, as far as they mean anything
// on a Linux desktop.
#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

using namespace tarvel::ui;

extern "C" {

TARVEL_API BOOL SHInitDialog(SHINITDLGINFO* info)
{
    if (info == nullptr) {
        return FALSE;
    }
    WindowRef dialog = FindWindowRef(info->hDlg);
    if (!dialog || dialog->kind != WindowKind::Dialog) {
        return FALSE;
    }
    if ((info->dwMask & SHIDIM_FLAGS) == 0) {
        return TRUE;
    }
    // The Done button makes closing the window confirm it; the input panel
    // does not exist here, so lowering it changes nothing.
    dialog->shellFlags = info->dwFlags;
    if ((info->dwFlags & (SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) != 0 && CurrentBackend().HonoursFullScreen()) {
        SIZE screen = CurrentBackend().ScreenSize();
        SetWindowPos(dialog->handle, nullptr, 0, 0, screen.cx, screen.cy, SWP_NOZORDER);
    }
    CurrentBackend().WindowChanged(*dialog);
    return TRUE;
}

TARVEL_API BOOL SHInitExtraControls(void)
{
    MarkExtraControlsReady();
    return TRUE;
}

}  // extern "C"
