// The exported job functions: documents and pages on the printer DC.
#include "device/PrintJob.h"

#include <tarvel/pdc.h>

namespace {

template <typename Operation>
int OnDevice(Operation operation)
{
    auto* device = tarvel::device::Device();
    return device ? operation(*device) : 0;
}

}  // namespace

extern "C" {

int PDC_StartDoc(HDC hdc, const DOCINFOW* info)
{
    return OnDevice([&](auto& device) { return tarvel::device::StartDoc(device, hdc, info); });
}

int PDC_StartPage(HDC hdc)
{
    return OnDevice([&](auto& device) { return tarvel::device::StartPage(device, hdc); });
}

int PDC_EndPage(HDC hdc)
{
    return OnDevice([&](auto& device) { return tarvel::device::EndJobPage(device, hdc); });
}

int PDC_EndDoc(HDC hdc)
{
    return OnDevice([&](auto& device) { return tarvel::device::EndDoc(device, hdc); });
}

}  // extern "C"
