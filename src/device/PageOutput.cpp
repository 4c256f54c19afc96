// The page output pipeline: the recorded page is rendered in bands, every
// printer row is taken out (turned for landscape), white rows are only
// counted, and the others are dithered and handed to the printer driver.
// Two band bitmaps take turns: this thread plays one while a BandRowWorker
// does the row work of the other on a second core.
#include "device/DeviceCaps.h"
#include "device/PrintJob.h"
#include "device/RowOutput.h"
#include "platform/system/System.h"
#include "render/BandPlayer.h"

#include <tarvel/gdi.h>
#include <tarvel/ui.h>

#include <cstring>
#include <algorithm>
#include <new>

namespace tarvel::device {
namespace {

std::optional<std::int32_t> bandLineLimit;
std::optional<std::uint64_t> bandBudgetOverride;
bool bilevelBands = true;

// A band is also kept within this many bytes, so that a band played on
// one core is still in that core's cache when the other core takes its rows
// out, dithers and encodes them; two bands are in flight at once. Chosen
// with bench_pages (BM_BandBudget: process CPU time per page, all threads)
// on the text and mixed A4 pages at 300 dpi, on a 2-core machine with 1 MiB
// of L2 per core:
//   KiB per band     256   512  1024  2048  4096  8192  32768
//   text page, ms   12.3  12.2  11.4  12.0  11.5  62.5   13.3
//   mixed page, ms  50.0  51.0  43.2  43.9  51.2   106   48.8
// One band of 1 MiB (about 140 rows of A4) is the lowest on both; smaller
// bands replay more records, larger ones leave the cache, and beyond a few
// MB every page maps and faults in fresh memory for its bands.
constexpr std::uint64_t kBandBudgetBytes = std::uint64_t(1) << 20;
constexpr std::uint64_t kBilevelBandBudgetBytes = std::uint64_t(256) << 10;

constexpr const char16_t* kOutOfMemoryText = u"Not enough memory. Close some running programs and repeat printing.";

// Longest time the progress window goes unpainted while a band is drawn.
constexpr DWORD kPumpPeriodMs = 50;

enum class PageResult { Printed = 1,
                        SendFailed = -1,
                        OutOfMemory = -2 };

struct PageGeometry {
    std::int32_t rowWidth;
    std::int32_t rowCount;
    bool portrait;
    std::uint32_t planeCount;
};

class PageOutput {
public:
    PageOutput(PrinterDevice& device, const PageGeometry& page)
        : device(device)
        , page(page)
    {
    }

    PageResult Run();

private:
    std::unique_ptr<BandTarget> MakeBand(HDC printer, std::int32_t bandLines, bool bilevel) const;
    PageResult RenderBands(BandTarget* const (&bands)[BandRowWorker::kSlots], std::int32_t bandLines);

    PrinterDevice& device;
    PageGeometry page;
};

std::unique_ptr<BandTarget> PageOutput::MakeBand(HDC printer, std::int32_t bandLines, bool bilevel) const
{
    auto band = page.portrait ? std::make_unique<BandTarget>(printer, page.rowWidth, bandLines, bilevel)
                              : std::make_unique<BandTarget>(printer, bandLines, page.rowWidth, bilevel);
    if (!band->Created())
        return nullptr;
    // A new bitmap holds zeroes; from then on the row work hands every band
    // back white.
    const std::int32_t height = page.portrait ? bandLines : page.rowWidth;
    std::memset(band->bits, 255, static_cast<std::size_t>(height * band->stride));
    return band;
}

PageResult PageOutput::Run()
{
    using tarvel::drivers::CreateDriver;
    const PrinterSettings& s = device.settings;
    device.driver = CreateDriver(s.printer);
    if (!device.driver
        || !device.driver->Open(page.planeCount, static_cast<std::uint32_t>(page.rowWidth),
                                static_cast<std::uint32_t>(s.draftMode), static_cast<std::uint32_t>(s.compression),
                                static_cast<std::uint32_t>(s.paperSize)))
        return PageResult::OutOfMemory;
    if (!device.ditherer.Prepare(page.rowWidth, 0.5))
        return PageResult::OutOfMemory;

    // A page of black and white only is played on one-bit bands: a 24th of
    // the memory to paint, test and read, and rows that need no dithering.
    const bool bilevel = page.portrait && bilevelBands && tarvel::render::PageIsBilevel(device.recording);
    // Its rows cost what a 24-bit row a 24th as wide costs.
    const std::int32_t costWidth = bilevel ? (page.rowWidth + 23) / 24 : page.rowWidth;
    std::int32_t bandLines = BandLinesFor(tarvel::platform::FreePhysicalMemory(), costWidth, page.rowCount,
                                          page.portrait);
    // The free-memory rule hands a band two thirds of what it is given.
    const std::uint64_t budget = bandBudgetOverride.value_or(bilevel ? kBilevelBandBudgetBytes : kBandBudgetBytes);
    bandLines = std::min(bandLines, BandLinesFor(budget / 2 * 3, costWidth, page.rowCount, page.portrait));
    // Two bitmaps when the page has more than one band: one is played while
    // the other's rows are worked on. When the platform cannot give them at
    // that height, try with half.
    HDC printer = tarvel::render::PrinterDc(device.recording);
    std::unique_ptr<BandTarget>(&bands)[BandRowWorker::kSlots] = device.keptBands;
    const auto fits = [&](const std::unique_ptr<BandTarget>& band, std::int32_t lines) {
        return band && band->bilevel == bilevel && band->width == (page.portrait ? page.rowWidth : lines)
            && band->height == (page.portrait ? lines : page.rowWidth);
    };
    while (bandLines > 0) {
        if (bandLineLimit && bandLines > *bandLineLimit) {
            bandLines /= 2;
            continue;
        }
        const bool twoBands = bandLines < page.rowCount;
        if (fits(bands[0], bandLines) && (fits(bands[1], bandLines) || !twoBands))
            break;
        bands[0] = MakeBand(printer, bandLines, bilevel);
        bands[1] = bands[0] && twoBands ? MakeBand(printer, bandLines, bilevel) : nullptr;
        if (bands[0] && (bands[1] || !twoBands) && bands[0]->Select() && (!bands[1] || bands[1]->Select()))
            break;
        bands[0].reset();
        bands[1].reset();
        bandLines /= 2;
    }
    if (!bands[0])
        return PageResult::OutOfMemory;
    return RenderBands({bands[0].get(), bands[1].get()}, bandLines);
}

PageResult PageOutput::RenderBands(BandTarget* const (&bands)[BandRowWorker::kSlots], std::int32_t bandLines)
{
    tarvel::drivers::PrinterDriver& driver = *device.driver;
    tarvel::ports::OutputPort* port = device.port.get();
    // Declared after the bands it works on, so it is gone before they are.
    BandRowWorker worker(device.ditherer, driver, page.rowWidth, device.settings.colorMode == 0, page.portrait,
                         device.rowThread, port, &device.keptBandBytes);
    if (!worker.Start())
        return PageResult::OutOfMemory;
    if (!port || !driver.BeginPage(port))
        return PageResult::SendFailed;
    const auto pump = [port] { port->PumpMessages(); };
    std::int32_t remaining = page.rowCount;
    std::int32_t origin = 0;  // first page row (portrait) or column (landscape) of the band
    // The page as one bitmap would hold it: copies of the page onto itself
    // see nothing beyond it. In landscape the page's x runs down the paper.
    const RECT pageArea = page.portrait ? RECT{0, 0, page.rowWidth, page.rowCount}
                                        : RECT{0, 0, page.rowCount, page.rowWidth};
    // A band can take long (thousands of records, copies of the page onto
    // itself): the progress window stays painted and Cancel is looked at
    // between records, as while the port is waited for.
    DWORD lastPump = ::GetTickCount();
    const tarvel::render::KeepPlaying keepPlaying = [&]() {
        const DWORD now = ::GetTickCount();
        if (now - lastPump >= kPumpPeriodMs) {
            port->PumpMessages();
            lastPump = now;
        }
        return port->CheckCancel() == 0;
    };
    int slot = 0;
    while (remaining > 0) {
        const std::int32_t n = std::min(remaining, bandLines);
        // The band played two bands ago must have left before its bitmap
        // is played again; the band before it is still being worked on.
        if (!worker.Deliver(slot, pump))
            return PageResult::SendFailed;
        BandTarget& band = *bands[slot];
        const RECT area = page.portrait ? RECT{0, origin, page.rowWidth, origin + n}
                                        : RECT{origin, 0, origin + n, page.rowWidth};
        if (!tarvel::render::PlayBand(device.recording, band.dc, pageArea, area, keepPlaying))
            return PageResult::SendFailed;
        if (!worker.Submit(slot, {band.bits, band.stride, n, band.bilevel}))
            return PageResult::SendFailed;
        remaining -= n;
        origin += n;
        slot = bands[1] ? 1 - slot : 0;
    }
    // The older of the two bands in flight leaves first.
    if (!worker.Deliver(slot, pump) || !worker.Deliver(1 - slot, pump))
        return PageResult::SendFailed;
    // White rows at the foot of the page are never announced.
    if (!driver.EjectPage(port) || port->Flush() == 0)
        return PageResult::SendFailed;
    return PageResult::Printed;
}

// Closes the page whatever happened: the driver, the row buffer and the band
// are gone, the recording is cleared, and a failure marks the job.
int FinishPage(PrinterDevice& device, int result)
{
    device.ditherer.Release();
    device.driver.reset();
    tarvel::render::ClearPage(device.recording);
    device.pageStarted = 0;
    if (result <= 0) {
        device.jobFailed = 1;
        // A page that stopped part way left drawing in its bands.
        device.keptBands[0].reset();
        device.keptBands[1].reset();
    }
    return result;
}

}  // namespace

std::int32_t BandLinesFor(std::uint64_t available, std::int32_t rowWidth, std::int32_t rowCount, bool portrait)
{
    // In 64 bits: a machine with more than 4 GB free must not look like one
    // with almost nothing.
    const std::uint64_t budget = available / 3 * 2 + (available % 3) * 2 / 3;
    const std::uint64_t cost = portrait ? ((static_cast<std::uint64_t>(rowWidth) + 1) * 3) & ~std::uint64_t(3)
                                        : static_cast<std::uint64_t>(rowWidth) * 4;
    std::uint64_t lines = cost ? budget / cost : 1;
    if (lines < 1)
        lines = 1;
    if (lines > static_cast<std::uint64_t>(rowCount))
        lines = static_cast<std::uint64_t>(rowCount);
    return static_cast<std::int32_t>(lines);
}

namespace hooks {
void LimitBandBitmapLines(std::optional<std::int32_t> maxLines)
{
    bandLineLimit = maxLines;
}
void SetBandBudget(std::optional<std::uint64_t> bytes)
{
    bandBudgetOverride = bytes;
}
void UseBilevelBands(bool on)
{
    bilevelBands = on;
}
}  // namespace hooks

int EndPage(PrinterDevice& device, HDC dc)
{
    HDC printer = tarvel::render::PrinterDc(device.recording);
    if (!printer || dc != printer || !device.docStarted || !device.pageStarted)
        return 0;
    ++device.pageCounter;
    if (device.pageRangeFirst != -1
        && (device.pageCounter < device.pageRangeFirst || device.pageCounter > device.pageRangeLast))
        return FinishPage(device, 1);

    const bool portrait = device.settings.portrait != 0;
    PageGeometry page{};
    page.portrait = portrait;
    page.rowWidth = DeviceCapability(device, portrait ? PHYSICALWIDTH : PHYSICALHEIGHT);
    page.rowCount = DeviceCapability(device, portrait ? PHYSICALHEIGHT : PHYSICALWIDTH);
    page.planeCount = device.settings.colorMode == 0 ? 1 : device.settings.colorMode == 2 ? 3
                                                                                          : 4;
    if (page.rowWidth < 1 || page.rowCount < 1)
        return FinishPage(device, 1);

    const PageResult result = PageOutput(device, page).Run();
    if (result == PageResult::SendFailed) {
        DestroyProgressWindow(device);
        if (cancelRequested.load())
            MessageBoxW(GetActiveWindow(), u"Printing cancelled.", u"Printing", MB_ICONEXCLAMATION | MB_OK);
        else
            MessageBoxW(GetActiveWindow(), u"Lost connection.", u"Error printing", MB_ICONEXCLAMATION | MB_OK);
    } else if (result == PageResult::OutOfMemory) {
        DestroyProgressWindow(device);
        MessageBoxW(GetActiveWindow(), kOutOfMemoryText, u"Error printing", MB_OK);
    }
    return FinishPage(device, static_cast<int>(result));
}

}  // namespace tarvel::device
