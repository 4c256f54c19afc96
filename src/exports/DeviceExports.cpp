// The exported device functions: they forward to the one PrinterDevice.
#include "device/DeviceCaps.h"

#include <tarvel/pdc.h>

extern "C" {

int PDC_GetVersion(void)
{
    return tarvel::device::kVersion;
}

}  // extern "C"
