// Units, margins and page size, and the job: the prn document runs on the
// printer DC of the one device, through the PDC_ functions.
#include "prn/PrnState.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

namespace tarvel::prn {
namespace {

// 1/25.4, 1/2.54, 72/25.4, 72/2.54, 1/72, 25.4/72 and 2.54/72 as the
// nearest doubles.
constexpr double kInchPerMillimetre = 0.03937007874015748;
constexpr double kInchPerCentimetre = 0.39370078740157477;
constexpr double kPointsPerMillimetre = 2.8346456692913384;
constexpr double kPointsPerCentimetre = 28.346456692913385;
constexpr double kInchPerPoint = 0.013888888888888888;
constexpr double kMillimetresPerPoint = 0.35277777777777775;
constexpr double kCentimetresPerPoint = 0.035277777777777776;
constexpr double kInchPerThousandth = 0.001;
constexpr double kInchPerHundredthMillimetre = 0.0003937007874015748;

float Widened(float value, double factor)
{
    return static_cast<float>(static_cast<double>(value) * factor);
}

// Without a document the resolution is 0: dots then convert to 0 rather
// than to a division by zero.
float PerDot(float value, int resolution)
{
    return resolution == 0 ? 0.0f : value / static_cast<float>(resolution);
}

float FromPixels(float value, MeasureUnit to, int dx, int dy)
{
    switch (to) {
    case Inches:
        return PerDot(value, dx);
    case Millimeters:
        return Widened(PerDot(value, dx), 25.4);
    case Centimeters:
        return Widened(PerDot(value, dx), 2.54);
    case Points:
        return Widened(PerDot(value, dy), 72.0);
    default:
        return value;
    }
}

float ToPixels(float value, MeasureUnit from, int dx, int dy)
{
    switch (from) {
    case Inches:
        return static_cast<float>(dx) * value;
    case Millimeters:
        return Widened(static_cast<float>(dx) * value, kInchPerMillimetre);
    case Centimeters:
        return Widened(static_cast<float>(dx) * value, kInchPerCentimetre);
    case Points:
        return Widened(static_cast<float>(dy) * value, kInchPerPoint);
    default:
        return value;
    }
}

// Conversions between the four lengths, a constant each, in double.
double LengthFactor(MeasureUnit from, MeasureUnit to)
{
    switch (from) {
    case Inches:
        return to == Millimeters ? 25.4 : to == Centimeters ? 2.54
                                                            : 72.0;
    case Millimeters:
        return to == Inches ? kInchPerMillimetre : to == Centimeters ? 0.1
                                                                     : kPointsPerMillimetre;
    case Centimeters:
        return to == Inches ? kInchPerCentimetre : to == Millimeters ? 10.0
                                                                     : kPointsPerCentimetre;
    default:  // Points
        return to == Inches ? kInchPerPoint : to == Millimeters ? kMillimetresPerPoint
                                                                : kCentimetresPerPoint;
    }
}

bool KnownUnit(std::int32_t unit)
{
    return unit >= Pixels && unit <= Points;
}

float ToUnit(float inches)
{
    return prnConvertValue(inches, Inches, MeasureUnit(State().measureUnit));
}

float ToInches(float value)
{
    return prnConvertValue(value, MeasureUnit(State().measureUnit), Inches);
}

}  // namespace
}  // namespace tarvel::prn

using namespace tarvel::prn;

float prnConvertValue(float value, MeasureUnit from, MeasureUnit to)
{
    if (from == to || !KnownUnit(from) || !KnownUnit(to))
        return value;
    if (from == Pixels || to == Pixels) {
        HDC dc = State().jobDc;
        const int dx = PDC_GetDeviceCaps(dc, LOGPIXELSX);
        const int dy = PDC_GetDeviceCaps(dc, LOGPIXELSY);
        return from == Pixels ? FromPixels(value, to, dx, dy) : ToPixels(value, from, dx, dy);
    }
    return Widened(value, LengthFactor(from, to));
}

void prnSetMeasureUnit(int unit)
{
    State().measureUnit = unit;
}

int prnGetMeasureUnit()
{
    return State().measureUnit;
}

float prnGetLeftMargin()
{
    return ToUnit(State().leftMargin);
}

float prnGetRightMargin()
{
    return ToUnit(State().rightMargin);
}

float prnGetTopMargin()
{
    return ToUnit(State().topMargin);
}

float prnGetBottomMargin()
{
    return ToUnit(State().bottomMargin);
}

void prnSetLeftMargin(float margin)
{
    State().leftMargin = ToInches(margin);
}

void prnSetRightMargin(float margin)
{
    State().rightMargin = ToInches(margin);
}

void prnSetTopMargin(float margin)
{
    State().topMargin = ToInches(margin);
}

void prnSetBottomMargin(float margin)
{
    State().bottomMargin = ToInches(margin);
}

float prnGetPageWidth()
{
    const PrnState& s = State();
    return ToUnit(s.pageWidth - s.leftMargin - s.rightMargin);
}

float prnGetPageHeight()
{
    const PrnState& s = State();
    return ToUnit(s.pageHeight - s.topMargin - s.bottomMargin);
}

int prnSetupDlg(HWND owner)
{
    PrnState& s = State();
    const bool metric = s.measureUnit == Millimeters || s.measureUnit == Centimeters;
    PRINTDLGW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.Flags = metric ? PD_INHUNDREDTHSOFMILLIMETERS : PD_INTHOUSANDTHSOFINCHES;
    if (PDC_PrintDlg(&request) == 0)
        return 0;

    HDC printer = PDC_GetPrinterDC();
    const int dpi = PDC_GetDeviceCaps(printer, LOGPIXELSX);
    if (dpi != 0) {
        // Both sides over the horizontal resolution, as the page has always
        // been measured.
        s.pageWidth = static_cast<float>(double(PDC_GetDeviceCaps(printer, PHYSICALWIDTH)) / dpi);
        s.pageHeight = static_cast<float>(double(PDC_GetDeviceCaps(printer, PHYSICALHEIGHT)) / dpi);
    }
    // The margins come back in the unit that was asked for.
    const double perUnit = metric ? kInchPerHundredthMillimetre : kInchPerThousandth;
    s.leftMargin = static_cast<float>(request.rcMargin.left * perUnit);
    s.rightMargin = static_cast<float>(request.rcMargin.right * perUnit);
    s.topMargin = static_cast<float>(request.rcMargin.top * perUnit);
    s.bottomMargin = static_cast<float>(request.rcMargin.bottom * perUnit);
    return 1;
}

int prnStartDoc()
{
    PrnState& s = State();
    // No document name and no output name: the job's defaults, which put a
    // file port's output into "\out.prn".
    DOCINFOW info{};
    info.cbSize = sizeof info;
    s.jobDc = PDC_GetPrinterDC();
    // The objects of the previous document's last page were printed with it;
    // the new document starts without any, and its first page makes them.
    ReleaseObjects();
    return PDC_StartDoc(s.jobDc, &info);
}

int prnStartPage()
{
    PrnState& s = State();
    if (!s.jobDc)
        return 0;
    // The page in progress goes out first; there is no other end of a page.
    PDC_EndPage(s.jobDc);
    ResetDrawingState();
    const int started = PDC_StartPage(s.jobDc);
    SelectPageObjects();
    return started;
}

void prnEndDoc()
{
    PrnState& s = State();
    PDC_EndDoc(s.jobDc);
    s.jobDc = nullptr;
}
