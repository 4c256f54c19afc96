// The print dialog and its options dialog, and the two requests that show
// them. Confirming a dialog is the only way a printer DC comes to exist.
#pragma once

#include <tarvel/pdc.h>
#include <tarvel/win32.h>

namespace tarvel::device {

class PrinterDevice;

// Shows the print dialog for a print request. 1 when it was confirmed and
// the new printer DC exists; 0 for a null or short request, an open
// document, PD_RETURNDEFAULT, a cancelled dialog, or no printer DC.
int PrintDialog(PrinterDevice& device, PRINTDLGW* request);

// The same for a page-setup request (refused with PSD_RETURNDEFAULT).
int PageSetupDialog(PrinterDevice& device, PAGESETUPDLGW* request);

// The dialog state every request starts from: no locks, the settings'
// orientation, margins, draft and compression, all pages, the user's
// measurement system, and the owner's title as caption.
void ResetSetupDialogState(PrinterDevice& device, HWND owner);

// Shows the print dialog (template 102) modally over owner and returns
// what it ended with: 1 confirmed, 0 cancelled, -1 not shown.
INT_PTR ShowPrintDialog(PrinterDevice& device, HWND owner);

// Shows the options dialog (template 101) modally over owner; same results.
INT_PTR ShowOptionsDialog(PrinterDevice& device, HWND owner);

// After a confirmed dialog: the page range, the model's resolution (and
// monochrome for the PocketJets), and a new printer DC. 1 when it exists.
int ApplyConfirmedDialog(PrinterDevice& device);

}  // namespace tarvel::device
