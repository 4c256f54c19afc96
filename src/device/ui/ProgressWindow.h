// The small modeless window that shows what the job's port is doing and
// offers Cancel while a document prints.
#pragma once

#include <tarvel/win32.h>

namespace tarvel::device {

class PrinterDevice;

// Timer period of the window's polls of the port.
inline constexpr UINT kProgressTimerMs = 300;

// Creates the progress window, hidden, owned by owner (may be null). It
// polls device.port every 300 ms and sets cancelRequested when Cancel is
// pressed. Null when the window cannot be made. Destroy it with
// DestroyWindow.
HWND CreateProgressWindow(PrinterDevice& device, HWND owner);

}  // namespace tarvel::device
