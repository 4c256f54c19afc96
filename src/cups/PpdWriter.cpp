#include "cups/PpdWriter.h"

#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "drivers/PrinterDriver.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace tarvel::cups {
namespace {

using tarvel::device::kColorModes;
using tarvel::device::Papers;

// PPD keywords for our papers. Our B5 is the ISO size (176 x 250 mm),
// which PPDs call ISOB5; plain "B5" would be the Japanese one.
constexpr const char* kPaperKeywords[] = {"A4", "A5", "ISOB5", "Letter", "Legal", "Executive"};
constexpr const char* kColorKeywords[] = {"Gray", "CMYK", "CMY"};

std::string Ascii(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// Hundredths of a millimetre as PostScript points.
std::string Points(std::int32_t length)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", length * 72.0 / 2540.0);
    return text;
}

void Line(std::string& ppd, std::string_view text)
{
    ppd.append(text);
    ppd += '\n';
}

void PaperOption(std::string& ppd, const char* keyword)
{
    const std::string key = std::string("*") + keyword;
    ppd += "\n*OpenUI " + key + "/Media Size: PickOne\n";
    ppd += "*OrderDependency: 10 AnySetup " + key + "\n";
    ppd += std::string("*Default") + keyword + ": A4\n";
    for (int p = 0; p < device::kCustomPaper; ++p) {
        const auto& paper = Papers()[static_cast<std::size_t>(p)];
        ppd += key + " " + kPaperKeywords[p] + "/" + Ascii(paper.name) + ": \"<</PageSize[" + Points(paper.width)
            + " " + Points(paper.height) + "]/ImagingBBox null>>setpagedevice\"\n";
    }
    ppd += "*CloseUI: " + key + "\n";
}

void PaperAreas(std::string& ppd)
{
    // The printable area is the paper less the hard margins the printers
    // cannot reach. The RIPs render only that area; the filter puts it
    // back in its place on the paper, whose corner is where a page printed
    // through the library starts.
    const RECT& hard = device::kHardMargins;
    ppd += "\n*DefaultImageableArea: A4\n";
    for (int p = 0; p < device::kCustomPaper; ++p) {
        const auto& paper = Papers()[static_cast<std::size_t>(p)];
        ppd += std::string("*ImageableArea ") + kPaperKeywords[p] + "/" + Ascii(paper.name) + ": \""
            + Points(hard.left) + " " + Points(hard.bottom) + " " + Points(paper.width - hard.right) + " "
            + Points(paper.height - hard.top) + "\"\n";
    }
    ppd += "\n*DefaultPaperDimension: A4\n";
    for (int p = 0; p < device::kCustomPaper; ++p) {
        const auto& paper = Papers()[static_cast<std::size_t>(p)];
        ppd += std::string("*PaperDimension ") + kPaperKeywords[p] + "/" + Ascii(paper.name) + ": \""
            + Points(paper.width) + " " + Points(paper.height) + "\"\n";
    }
}

void ColorOption(std::string& ppd, const drivers::PrinterModel& model)
{
    ppd += "\n*OpenUI *ColorModel/Color Mode: PickOne\n*OrderDependency: 10 AnySetup *ColorModel\n";
    // The library starts in four-colour mode; monochrome printers have
    // only the one mode.
    ppd += std::string("*DefaultColorModel: ") + (model.monochromeOnly ? "Gray" : "CMYK") + "\n";
    for (int mode = 0; mode < device::kColorModeCount; ++mode) {
        if (model.monochromeOnly && mode > 0)
            break;
        const auto& colorMode = kColorModes[static_cast<std::size_t>(mode)];
        // Gray is luminance, 255 white; colour modes take RGB and dither it
        // themselves.
        ppd += std::string("*ColorModel ") + kColorKeywords[mode] + "/" + Ascii(colorMode.name)
            + ": \"<</cupsColorOrder 0/cupsColorSpace " + (mode == 0 ? "0" : "1") + "/cupsBitsPerColor 8/cupsInteger"
            + std::to_string(kPlaneCountInteger) + " " + std::to_string(colorMode.planeCount) + ">>setpagedevice\"\n";
    }
    ppd += "*CloseUI: *ColorModel\n";
}

void ResolutionOption(std::string& ppd, const drivers::PrinterModel& model)
{
    const std::string normal = std::to_string(model.resolution);
    const std::string draft = std::to_string(model.draftResolution);
    ppd += "\n*OpenUI *Resolution/Resolution: PickOne\n*OrderDependency: 10 AnySetup *Resolution\n";
    ppd += "*DefaultResolution: " + normal + "dpi\n";
    ppd += "*Resolution " + normal + "dpi/" + normal + " dpi: \"<</HWResolution[" + normal + " " + normal
        + "]>>setpagedevice\"\n";
    if (model.draftResolution != model.resolution)
        ppd += "*Resolution " + draft + "dpi/" + draft + " dpi Draft: \"<</HWResolution[" + draft + " " + draft
            + "]>>setpagedevice\"\n";
    ppd += "*CloseUI: *Resolution\n";
}

// Compression is a choice only where the driver honours it: the Stylus
// COLOR always compresses and the PocketJets never do.
bool HasCompressionChoice(int printer)
{
    return printer == 0 || printer == 1 || printer == 5 || printer == 6;
}

void CompressionOption(std::string& ppd)
{
    ppd += "\n*OpenUI *Compression/Compression: Boolean\n*OrderDependency: 10 AnySetup *Compression\n";
    ppd += "*DefaultCompression: True\n";
    ppd += "*Compression True/On: \"<</cupsCompression 1>>setpagedevice\"\n";
    ppd += "*Compression False/Off: \"<</cupsCompression 0>>setpagedevice\"\n";
    ppd += "*CloseUI: *Compression\n";
}

}  // namespace

std::string PpdFileName(int printer)
{
    const drivers::PrinterModel* model = drivers::GetPrinterModel(printer);
    if (!model)
        return {};
    std::string name = "tarvel";
    bool gap = true;
    for (const char* c = model->name; *c; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) {
            if (gap)
                name += '-';
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
            gap = false;
        } else {
            gap = true;
        }
    }
    return name + ".ppd";
}

std::string MakePpd(int printer)
{
    const drivers::PrinterModel* model = drivers::GetPrinterModel(printer);
    if (!model)
        return {};
    // PPD model names allow no parentheses: "Canon BJ (300 dpi)" becomes
    // "Canon BJ 300 dpi".
    std::string name;
    for (const char* c = model->name; *c; ++c) {
        if (*c != '(' && *c != ')')
            name += *c;
    }
    const std::string maker = name.substr(0, name.find(' '));
    const std::string number = std::to_string(printer);
    std::string ppd;
    Line(ppd, "*PPD-Adobe: \"4.3\"");
    Line(ppd, "*% Made by the Tarvel build from its printer model table.");
    Line(ppd, "*FormatVersion: \"4.3\"");
    Line(ppd, "*FileVersion: \"1.0\"");
    Line(ppd, "*LanguageVersion: English");
    Line(ppd, "*LanguageEncoding: ISOLatin1");
    Line(ppd, "*PCFileName: \"TARVEL" + number + ".PPD\"");
    Line(ppd, "*Manufacturer: \"" + maker + "\"");
    Line(ppd, "*Product: \"(" + name + ")\"");
    Line(ppd, "*ModelName: \"Tarvel " + name + "\"");
    Line(ppd, "*ShortNickName: \"Tarvel " + name + "\"");
    Line(ppd, "*NickName: \"Tarvel " + name + ", 1.0\"");
    Line(ppd, "*PSVersion: \"(3010.000) 0\"");
    Line(ppd, "*LanguageLevel: \"3\"");
    Line(ppd, std::string("*ColorDevice: ") + (model->monochromeOnly ? "False" : "True"));
    Line(ppd, std::string("*DefaultColorSpace: ") + (model->monochromeOnly ? "Gray" : "RGB"));
    Line(ppd, "*FileSystem: False");
    Line(ppd, "*Throughput: \"1\"");
    Line(ppd, "*LandscapeOrientation: Plus90");
    Line(ppd, "*TTRasterizer: Type42");
    Line(ppd, "*cupsVersion: 2.4");
    Line(ppd, "*cupsModelNumber: " + number);
    // Every page is a whole job for these printers; copies are made by
    // sending the pages again.
    Line(ppd, "*cupsManualCopies: True");
    Line(ppd, "*cupsFilter: \"application/vnd.cups-raster 100 rastertotarvel\"");
    Line(ppd, "*cupsLanguages: \"en\"");
    PaperOption(ppd, "PageSize");
    PaperOption(ppd, "PageRegion");
    PaperAreas(ppd);
    ColorOption(ppd, *model);
    ResolutionOption(ppd, *model);
    if (HasCompressionChoice(printer))
        CompressionOption(ppd);
    Line(ppd, "\n*DefaultFont: Courier");
    Line(ppd, "*Font Courier: Standard \"(002.004S)\" Standard ROM");
    Line(ppd, "*% End of " + PpdFileName(printer));
    return ppd;
}

int ModelOfPpd(const char* path)
{
    if (!path)
        return -1;
    std::ifstream in(path);
    constexpr std::string_view kKey = "*cupsModelNumber:";
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, kKey.size(), kKey) != 0)
            continue;
        char* end = nullptr;
        const long number = std::strtol(line.c_str() + kKey.size(), &end, 10);
        if (end == line.c_str() + kKey.size() || number < 0 || number >= drivers::kPrinterModelCount)
            return -1;
        return static_cast<int>(number);
    }
    return -1;
}

}  // namespace tarvel::cups
