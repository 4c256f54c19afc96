// Load and unload of the library.
//
// The runtime's static construction builds the one PrinterDevice (defaults,
// then the stored settings) when the library is loaded, before the entry
// hook runs; at unload the entry hook runs first and the device is then
// destroyed, which writes the settings back.
#include "device/PrinterDevice.h"

#include <dlfcn.h>

namespace tarvel::exports {
namespace {

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

// The entry hook keeps the module instance handle for every notification the
// platform sends and always answers success.
BOOL EntryHook(HINSTANCE instance, DWORD reason)
{
    if (reason <= 3)
        tarvel::device::moduleInstance = instance;
    return TRUE;
}

// On Linux the module instance is the base address of the loaded library,
// which is what dladdr reports for any address inside it.
HINSTANCE ThisModule()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&EntryHook), &info) == 0)
        return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

struct Library {
    tarvel::device::PrinterDevice device;

    Library() { EntryHook(ThisModule(), DLL_PROCESS_ATTACH); }
    ~Library() { EntryHook(ThisModule(), DLL_PROCESS_DETACH); }
};

Library library;

}  // namespace
}  // namespace tarvel::exports
