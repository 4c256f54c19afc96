// The exported device functions: they forward to the one PrinterDevice.
#include "device/DeviceCaps.h"

#include <tarvel/pdc.h>

using tarvel::device::Device;

extern "C" {

int PDC_GetVersion(void)
{
    return tarvel::device::kVersion;
}

HDC PDC_GetPrinterDC(void)
{
    auto* device = Device();
    return device ? tarvel::render::PrinterDc(device->recording) : nullptr;
}

int PDC_GetDeviceCaps(HDC hdc, int index)
{
    auto* device = Device();
    if (!device || tarvel::render::LookupDc(device->recording.dcs, hdc) < 0)
        return 0;
    return tarvel::device::DeviceCapability(*device, index);
}

}  // extern "C"
