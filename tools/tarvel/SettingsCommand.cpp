// tarvel settings, settings set, models and caps.
#include "Commands.h"
#include "Names.h"

#include "device/DeviceCaps.h"
#include "device/PrinterTables.h"
#include "platform/store/Registry.h"
#include "platform/store/StoreFile.h"

#include <tarvel/settings.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace tarvel::tool {
namespace {

using namespace tarvel::device;

bool ParseNumber(std::string_view text, int& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool ParseSwitch(std::string_view text, int& value, std::string_view on = "on", std::string_view off = "off")
{
    for (std::string_view yes : {std::string_view("1"), std::string_view("yes"), std::string_view("true"), on})
        if (EqualNoCase(text, yes)) {
            value = 1;
            return true;
        }
    for (std::string_view no : {std::string_view("0"), std::string_view("no"), std::string_view("false"), off})
        if (EqualNoCase(text, no)) {
            value = 0;
            return true;
        }
    return false;
}

template <std::size_t N>
bool CopyText(char (&field)[N], std::string_view text)
{
    if (text.size() >= N)
        return false;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
    return true;
}

// One KEY=VALUE laid over the settings; false when the key is unknown or
// the value means nothing for it. Ranges are the library's to check.
bool Assign(TarvelSettings& s, std::string_view key, std::string_view value)
{
    auto is = [&](std::string_view name) { return EqualNoCase(key, name); };
    auto index = [](int found, int& field) {
        if (found < 0)
            return false;
        field = found;
        return true;
    };
    if (is("Printer") || is("Model"))
        return index(ParseModel(value), s.printer);
    if (is("Port"))
        return index(ParsePort(value), s.port);
    if (is("PaperSize") || is("Paper"))
        return index(ParsePaper(value), s.paperSize);
    if (is("ColorMode") || is("Color"))
        return index(ParseColorMode(value), s.colorMode);
    if (is("Portrait"))
        return ParseSwitch(value, s.portrait, "portrait", "landscape");
    if (is("MarginLeft"))
        return ParseNumber(value, s.margins.left);
    if (is("MarginTop"))
        return ParseNumber(value, s.margins.top);
    if (is("MarginRight"))
        return ParseNumber(value, s.margins.right);
    if (is("MarginBottom"))
        return ParseNumber(value, s.margins.bottom);
    if (is("DraftMode") || is("Draft"))
        return ParseSwitch(value, s.draftMode);
    if (is("Compression"))
        return ParseSwitch(value, s.compression);
    if (is("CustomSizeX"))
        return ParseNumber(value, s.customWidth);
    if (is("CustomSizeY"))
        return ParseNumber(value, s.customHeight);
    if (is("NetworkHost"))
        return !value.empty() && CopyText(s.networkHost, value);
    if (is("NetworkPort"))
        return ParseNumber(value, s.networkPort);
    if (is("DevicePath"))
        return !value.empty() && CopyText(s.devicePath, value);
    return false;
}

// The page of every paper as the current model prints it, in both
// orientations, at the resolution a confirmed dialog would give it.
void PrintCapabilities(PrinterDevice& device)
{
    const PrinterSettings saved = device.settings;
    device.xResolution = device.yResolution = ModelResolution(saved.printer, saved.draftMode);
    std::printf("Page of each paper on \"%s\" at %d dpi%s, %s (dots)\n", ModelName(saved.printer).c_str(),
                device.xResolution, saved.draftMode ? ", draft" : "", ColorModeName(saved.colorMode).c_str());
    std::printf("  %-10s %-11s %14s %14s %8s %8s %9s\n", "paper", "orientation", "PHYSICALWIDTH", "PHYSICALHEIGHT",
                "HORZRES", "VERTRES", "OFFSET");
    for (int paper = 0; paper < kPaperCount; ++paper) {
        for (int portrait : {1, 0}) {
            device.settings.paperSize = paper;
            device.settings.portrait = portrait;
            const bool chosen = paper == saved.paperSize && portrait == saved.portrait;
            std::printf("%c %-10s %-11s %14d %14d %8d %8d %4d,%-4d\n", chosen ? '*' : ' ', PaperName(paper).c_str(),
                        portrait ? "portrait" : "landscape", DeviceCapability(device, PHYSICALWIDTH),
                        DeviceCapability(device, PHYSICALHEIGHT), DeviceCapability(device, HORZRES),
                        DeviceCapability(device, VERTRES), DeviceCapability(device, PHYSICALOFFSETX),
                        DeviceCapability(device, PHYSICALOFFSETY));
        }
    }
    device.settings.paperSize = saved.paperSize;
    device.settings.portrait = saved.portrait;
    std::printf("  LOGPIXELSX %d, LOGPIXELSY %d, BITSPIXEL %d, NUMCOLORS %d\n", DeviceCapability(device, LOGPIXELSX),
                DeviceCapability(device, LOGPIXELSY), DeviceCapability(device, BITSPIXEL), DeviceCapability(device, NUMCOLORS));
    device.settings = saved;
}

}  // namespace

int SettingsCommand()
{
    TarvelSettings s{};
    TarvelGetSettings(&s);
    std::printf("Settings (%s)\n",
                tarvel::platform::KeyFilePath(tarvel::platform::HKEY_CURRENT_USER, kSettingsKey).c_str());
    std::printf("  Printer       %d  %s\n", s.printer, ModelName(s.printer).c_str());
    std::printf("  Port          %d  %s\n", s.port, PortName(s.port).c_str());
    std::printf("  PaperSize     %d  %s\n", s.paperSize, PaperName(s.paperSize).c_str());
    std::printf("  ColorMode     %d  %s\n", s.colorMode, ColorModeName(s.colorMode).c_str());
    std::printf("  Portrait      %d  %s\n", s.portrait, s.portrait ? "portrait" : "landscape");
    std::printf("  Margins       left %d, top %d, right %d, bottom %d (1/100 mm)\n", static_cast<int>(s.margins.left),
                static_cast<int>(s.margins.top), static_cast<int>(s.margins.right), static_cast<int>(s.margins.bottom));
    std::printf("  DraftMode     %d\n", s.draftMode);
    std::printf("  Compression   %d\n", s.compression);
    std::printf("  CustomSize    %d x %d (1/100 mm)\n", s.customWidth, s.customHeight);
    std::printf("  NetworkHost   %s\n", s.networkHost[0] ? s.networkHost : "(none)");
    std::printf("  NetworkPort   %d\n", s.networkPort);
    std::printf("  DevicePath    %s\n\n", s.devicePath);
    if (PrinterDevice* device = Device())
        PrintCapabilities(*device);
    return kExitOk;
}

int SettingsSetCommand(const std::vector<std::string>& assignments)
{
    TarvelSettings s{};
    TarvelGetSettings(&s);
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            Complain("'" + assignment + "' is not KEY=VALUE");
            return kExitUsage;
        }
        if (!Assign(s, std::string_view(assignment).substr(0, equals), std::string_view(assignment).substr(equals + 1))) {
            Complain("'" + assignment + "': unknown key or a value it cannot take (see tarvel settings set --help)");
            return kExitUsage;
        }
    }
    TarvelClearLastMessage();
    if (!TarvelSetSettings(&s)) {
        Complain(LibraryMessage("the settings were refused"));
        return kExitFailure;
    }
    return kExitOk;
}

int ModelsCommand()
{
    std::printf("%-3s %-13s %-20s %-11s %-9s %s\n", "#", "alias", "model", "resolution", "language", "colour modes");
    for (int i = 0; i < TarvelModelCount(); ++i) {
        TarvelModel model{};
        if (!TarvelGetModel(i, &model))
            continue;
        std::string modes;
        for (int mode = 0; mode < 3; ++mode)
            if (model.colorModes & (1 << mode))
                modes += (modes.empty() ? "" : ", ") + ColorModeName(mode);
        const std::string resolution = model.draftResolution != model.resolution
            ? std::to_string(model.resolution) + "/" + std::to_string(model.draftResolution)
            : std::to_string(model.resolution);
        std::printf("%-3d %-13s %-20s %-11s %-9s %s\n", i, std::string(ModelAlias(i)).c_str(), model.name,
                    (resolution + " dpi").c_str(), model.language, modes.c_str());
    }
    return kExitOk;
}

int CapsCommand(const PageOptions& options)
{
    PrinterDevice* device = Device();
    if (!device)
        return kExitFailure;
    // The options change this look only; nothing is stored.
    PrinterSettings& s = device->settings;
    if (!options.model.empty() && (s.printer = ParseModel(options.model)) < 0) {
        Complain("unknown printer model '" + options.model + "' (see tarvel models)");
        return kExitUsage;
    }
    if (!options.paper.empty() && (s.paperSize = ParsePaper(options.paper)) < 0) {
        Complain("unknown paper '" + options.paper + "'");
        return kExitUsage;
    }
    if (!options.color.empty() && (s.colorMode = ParseColorMode(options.color)) < 0) {
        Complain("unknown colour mode '" + options.color + "' (mono, cmyk, cmy)");
        return kExitUsage;
    }
    if (MonochromeOnly(s.printer))
        s.colorMode = 0;
    if (options.landscape)
        s.portrait = 0;
    if (options.draft)
        s.draftMode = 1;
    PrintCapabilities(*device);
    return kExitOk;
}

}  // namespace tarvel::tool
