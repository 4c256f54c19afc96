#include "device/ProgramSettings.h"

#include "device/DeviceCaps.h"
#include "device/PrinterTables.h"
#include "drivers/PrinterDriver.h"
#include "platform/system/Utf16.h"
#include "platform/ui/LastMessage.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace tarvel::device {
namespace {

using tarvel::ui::MessageKind;

constexpr const char16_t* kSettingsCaption = u"Settings";

// The printer languages by model, as a program names them.
constexpr const char* kLanguages[kModelCount] = {"pcl", "escp2", "stylus", "pocketjet", "pocketjet", "canonbj",
                                                 "canonbj"};

void Refuse(const std::string& reason)
{
    tarvel::ui::RecordLastMessage(MessageKind::Error, tarvel::platform::Utf8ToUtf16Replacing(reason), kSettingsCaption);
}

// A number field and the range the dialogs keep it in.
struct NumberField {
    const char* name;
    std::int32_t value;
    std::int32_t lowest;
    std::int32_t highest;
};

// The UTF-8 text of a fixed buffer: nullopt when it has no terminator or is
// not valid UTF-8, so that a buffer never filled in cannot become a name.
std::optional<std::string> BufferText(const char* buffer, std::size_t size)
{
    const void* end = std::memchr(buffer, 0, size);
    if (!end)
        return std::nullopt;
    std::string text(buffer, static_cast<const char*>(end));
    if (!tarvel::platform::Utf8ToUtf16(text))
        return std::nullopt;
    return text;
}

// Whether the text could name a host: no spaces or control characters.
bool HostLike(const std::string& host)
{
    return std::none_of(host.begin(), host.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7F;
    });
}

}  // namespace

void ReadProgramSettings(const PrinterDevice& device, TarvelSettings& out)
{
    const PrinterSettings& s = device.settings;
    out = TarvelSettings{};
    out.printer = s.printer;
    out.port = s.port;
    out.paperSize = s.paperSize;
    out.colorMode = s.colorMode;
    out.portrait = s.portrait;
    out.margins = s.margins;
    out.draftMode = s.draftMode;
    out.compression = s.compression;
    out.customWidth = Papers()[kCustomPaper].width;
    out.customHeight = Papers()[kCustomPaper].height;
    // The stored texts are bounded below the buffers; the copy is bounded
    // again so that a longer one could only be cut, never overrun.
    s.networkHost.copy(out.networkHost, sizeof out.networkHost - 1);
    out.networkPort = s.networkPort;
    s.devicePath.copy(out.devicePath, sizeof out.devicePath - 1);
}

int WriteProgramSettings(PrinterDevice& device, const TarvelSettings& in)
{
    if (device.docStarted) {
        Refuse("Settings cannot change while a document is being printed.");
        return 0;
    }
    const NumberField numbers[] = {
        {"printer", in.printer, 0, kModelCount - 1},
        {"port", in.port, 0, kPortCount - 1},
        {"paperSize", in.paperSize, 0, kPaperCount - 1},
        {"colorMode", in.colorMode, 0, kColorModeCount - 1},
        {"portrait", in.portrait, 0, 1},
        {"margins.left", in.margins.left, 0, kLongestMargin},
        {"margins.top", in.margins.top, 0, kLongestMargin},
        {"margins.right", in.margins.right, 0, kLongestMargin},
        {"margins.bottom", in.margins.bottom, 0, kLongestMargin},
        {"draftMode", in.draftMode, 0, 1},
        {"compression", in.compression, 0, 1},
        {"customWidth", in.customWidth, 0, kLongestCustomSide},
        {"customHeight", in.customHeight, 0, kLongestCustomSide},
        {"networkPort", in.networkPort, 1, 65535},
    };
    for (const NumberField& field : numbers) {
        if (field.value < field.lowest || field.value > field.highest) {
            Refuse(std::string(field.name) + " " + std::to_string(field.value) + " is refused: it must be "
                   + std::to_string(field.lowest) + " to " + std::to_string(field.highest) + ".");
            return 0;
        }
    }
    const auto host = BufferText(in.networkHost, sizeof in.networkHost);
    if (!host || host->size() > kLongestHost || !HostLike(*host)) {
        Refuse("networkHost is refused: it must be a host name or address of at most 255 bytes of UTF-8, "
               "without spaces.");
        return 0;
    }
    if (host->empty() && in.port == kNetworkPort) {
        Refuse("networkHost is refused: the Network port needs a host name or address.");
        return 0;
    }
    const auto path = BufferText(in.devicePath, sizeof in.devicePath);
    if (!path || path->empty() || path->size() > kLongestDevicePath) {
        Refuse("devicePath is refused: it must be a path of 1 to 4095 bytes of UTF-8.");
        return 0;
    }

    const PrinterSettings before = device.settings;
    const PaperSize customBefore = Papers()[kCustomPaper];
    PrinterSettings& s = device.settings;
    s.printer = in.printer;
    s.port = in.port;
    s.paperSize = in.paperSize;
    // As a confirmed dialog does: a model without colour prints monochrome.
    s.colorMode = MonochromeOnly(in.printer) ? 0 : in.colorMode;
    s.portrait = in.portrait;
    s.margins = in.margins;
    s.draftMode = in.draftMode;
    s.compression = in.compression;
    s.networkHost = *host;
    s.networkPort = in.networkPort;
    s.devicePath = *path;
    Papers()[kCustomPaper].width = in.customWidth;
    Papers()[kCustomPaper].height = in.customHeight;

    const LSTATUS saved = device.SaveSettings();
    if (saved != ERROR_SUCCESS) {
        device.settings = before;
        Papers()[kCustomPaper] = customBefore;
        Refuse("The settings could not be saved (store error " + std::to_string(saved) + ").");
        return 0;
    }
    device.xResolution = ModelResolution(s.printer, s.draftMode);
    device.yResolution = device.xResolution;
    // A program that sets the settings gets a printer DC for them, as one
    // that confirms the print dialog does; what was recorded on the old
    // one goes with it.
    if (!tarvel::render::ReplacePrinterDc(device.recording)) {
        Refuse("The settings were stored, but no printer device context could be made for them.");
        return 0;
    }
    return 1;
}

int ReadModel(int index, TarvelModel& model)
{
    const auto* row = tarvel::drivers::GetPrinterModel(index);
    if (!row)
        return 0;
    model.name = row->name;
    model.resolution = ModelResolution(index, 0);
    model.draftResolution = ModelResolution(index, 1);
    model.colorModes = row->monochromeOnly ? 1 : (1 << kColorModeCount) - 1;
    model.language = kLanguages[index];
    return 1;
}

int ReadPageSize(int printer, int paper, int draft, TarvelPageSize& size)
{
    if (printer < 0 || printer >= kModelCount || paper < 0 || paper >= kPaperCount)
        return 0;
    // The names are ASCII, so each UTF-16 unit is one byte of UTF-8; the
    // table lives for the program, so the pointers stay valid.
    static const auto names = [] {
        std::array<std::string, kPaperCount> utf8;
        for (int i = 0; i < kPaperCount; ++i)
            utf8[i] = tarvel::platform::Utf16ToUtf8Replacing(Papers()[i].name);
        return utf8;
    }();
    const PaperSize& row = Papers()[static_cast<std::size_t>(paper)];
    const std::int32_t dpi = ModelResolution(printer, draft ? 1 : 0);
    const RECT& hard = kHardMargins;
    size.name = names[static_cast<std::size_t>(paper)].c_str();
    size.width = row.width;
    size.height = row.height;
    size.widthDots = Dots(row.width, dpi);
    size.heightDots = Dots(row.height, dpi);
    // The printable area as the device capabilities give it: the hard
    // margins' offset, then the paper less both hard margins (empty for a
    // paper smaller than the margins).
    size.printableDots.left = Dots(hard.left, dpi);
    size.printableDots.top = Dots(hard.top, dpi);
    size.printableDots.right = size.printableDots.left + std::max(0, Dots(row.width - hard.left - hard.right, dpi));
    size.printableDots.bottom = size.printableDots.top + std::max(0, Dots(row.height - hard.top - hard.bottom, dpi));
    return 1;
}

}  // namespace tarvel::device
