#include "Commands.h"

#include "device/DeviceCaps.h"
#include "device/PrinterTables.h"
#include "platform/store/Registry.h"
#include "platform/store/StoreFile.h"

#include <cstdio>
#include <string>

namespace tarvel::tool {
namespace {

using namespace tarvel::device;

std::string Text(std::u16string_view text)
{
    return tarvel::platform::Utf16ToUtf8(text).value_or("?");
}

void PrintSettings(const PrinterDevice& device)
{
    const PrinterSettings& s = device.settings;
    const PaperSize& custom = Papers()[kCustomPaper];
    std::printf("Settings (%s)\n",
        tarvel::platform::KeyFilePath(tarvel::platform::HKEY_CURRENT_USER, kSettingsKey).c_str());
    std::printf("  Printer       %d  %s\n", s.printer, Text(kPrinterModelNames[s.printer]).c_str());
    std::printf("  Port          %d  %s\n", s.port, Text(kPortNames[s.port]).c_str());
    std::printf("  PaperSize     %d  %s\n", s.paperSize, Text(Papers()[s.paperSize].name).c_str());
    std::printf("  ColorMode     %d  %s\n", s.colorMode, Text(kColorModes[s.colorMode].name).c_str());
    std::printf("  Portrait      %d  %s\n", s.portrait, s.portrait ? "portrait" : "landscape");
    std::printf("  Margins       left %d, top %d, right %d, bottom %d (1/100 mm)\n", s.margins.left,
        s.margins.top, s.margins.right, s.margins.bottom);
    std::printf("  DraftMode     %d\n", s.draftMode);
    std::printf("  Compression   %d\n", s.compression);
    std::printf("  CustomSize    %d x %d (1/100 mm)\n", custom.width, custom.height);
}

// The page of every paper as the current model prints it, in both
// orientations, at the resolution a confirmed dialog would give it.
void PrintCapabilities(PrinterDevice& device)
{
    const PrinterSettings saved = device.settings;
    device.xResolution = device.yResolution = ModelResolution(saved.printer, saved.draftMode);
    std::printf("\nPage of each paper on \"%s\" at %d dpi%s (dots)\n",
        Text(kPrinterModelNames[saved.printer]).c_str(), device.xResolution, saved.draftMode ? ", draft" : "");
    std::printf("  %-10s %-11s %14s %14s %8s %8s %9s\n", "paper", "orientation", "PHYSICALWIDTH",
        "PHYSICALHEIGHT", "HORZRES", "VERTRES", "OFFSET");
    for (int paper = 0; paper < kPaperCount; ++paper) {
        for (int portrait : {1, 0}) {
            device.settings.paperSize = paper;
            device.settings.portrait = portrait;
            std::printf("  %-10s %-11s %14d %14d %8d %8d %4d,%-4d\n", Text(Papers()[paper].name).c_str(),
                portrait ? "portrait" : "landscape", DeviceCapability(device, PHYSICALWIDTH),
                DeviceCapability(device, PHYSICALHEIGHT), DeviceCapability(device, HORZRES),
                DeviceCapability(device, VERTRES), DeviceCapability(device, PHYSICALOFFSETX),
                DeviceCapability(device, PHYSICALOFFSETY));
        }
    }
    std::printf("  LOGPIXELSX %d, LOGPIXELSY %d, BITSPIXEL %d, NUMCOLORS %d\n",
        DeviceCapability(device, LOGPIXELSX), DeviceCapability(device, LOGPIXELSY),
        DeviceCapability(device, BITSPIXEL), DeviceCapability(device, NUMCOLORS));
    device.settings = saved;
}

}  // namespace

int SettingsCommand(int, char**)
{
    PrinterDevice device;
    device.saveOnUnload = false;
    PrintSettings(device);
    PrintCapabilities(device);
    return 0;
}

}  // namespace tarvel::tool
