// The exported dialog requests: they forward to the one PrinterDevice.
#include "device/PrinterDevice.h"
#include "device/ui/SetupDialogs.h"

#include <tarvel/pdc.h>

using tarvel::device::Device;

extern "C" {

int PDC_PrintDlg(PRINTDLGW* request)
{
    auto* device = Device();
    return device ? tarvel::device::PrintDialog(*device, request) : 0;
}

int PDC_PageSetupDlg(PAGESETUPDLGW* request)
{
    auto* device = Device();
    return device ? tarvel::device::PageSetupDialog(*device, request) : 0;
}

}  // extern "C"
