// The four tables that give the printer settings their meaning: printer
// models, ports, colour modes and papers.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tarvel::device {

inline constexpr int kModelCount = 7;
inline constexpr int kPortCount = 12;
inline constexpr int kColorModeCount = 3;
inline constexpr int kPaperCount = 7;
inline constexpr int kCustomPaper = 6;

// The names of the printer models as the print dialog lists them; the
// resolutions and colour abilities are the drivers' model table's.
inline constexpr std::array<std::u16string_view, kModelCount> kPrinterModelNames = {
    u"HP PCL",
    u"Epson ESC/P 2",
    u"Epson Stylus COLOR",
    u"PocketJet II",
    u"PocketJet 200",
    u"Canon BJ (300 dpi)",
    u"Canon BJ (360 dpi)",
};

// Port 0 is the infrared printer, 1 to 8 the serial ports COM1 to COM8,
// 9 a file; after them come the printers people have today: 10 a network
// printer's raw TCP socket, 11 a printer device node (USB or parallel).
inline constexpr std::array<std::u16string_view, kPortCount> kPortNames = {u"Infrared", u"COM1", u"COM2", u"COM3",
                                                                           u"COM4", u"COM5", u"COM6", u"COM7", u"COM8", u"File", u"Network", u"USB/parallel printer"};
inline constexpr int kInfraredPort = 0;
inline constexpr int kFilePort = 9;
inline constexpr int kNetworkPort = 10;
inline constexpr int kDevicePort = 11;

struct ColorMode {
    std::u16string_view name;
    std::uint32_t planeCount;  // colour planes the driver is given
};

inline constexpr std::array<ColorMode, kColorModeCount> kColorModes = {{
    {u"Monochrome (B&W)", 1},
    {u"4 Color CMYK", 4},
    {u"3 Color CMY", 3},
}};

// Paper sizes in hundredths of a millimetre, portrait.
struct PaperSize {
    std::u16string_view name;
    std::int32_t width;
    std::int32_t height;
};

using PaperTable = std::array<PaperSize, kPaperCount>;

// Lengths a user can give, in hundredths of a millimetre. A custom paper
// side is held to what a roll of paper can be (5 m); a margin to 0 up to
// the longest paper there can be, since a negative margin or one wider than
// any paper means nothing. The dialogs hold what they store to these
// bounds and the settings load keeps every value inside them, so whatever
// a dialog stores comes back at the next load.
inline constexpr std::int32_t kLongestCustomSide = 500000;
inline constexpr std::int32_t kLongestMargin = kLongestCustomSide;

// The one paper table of the library. Its "Custom" row is writable: the
// settings load fills it, and the print dialog changes it as soon as the user
// leaves one of its size fields; every size computation reads it here.
PaperTable& Papers();

// Resolution in dots per inch of a model for the draft setting; 0 for an
// index outside the table.
std::int32_t ModelResolution(std::int32_t printer, std::int32_t draft);

// Whether confirming a dialog with this model selected forces monochrome.
bool MonochromeOnly(std::int32_t printer);

}  // namespace tarvel::device
