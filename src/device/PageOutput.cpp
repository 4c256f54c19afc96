// The page output pipeline: the recorded page is rendered in bands, every
// printer row is taken out (turned for landscape), white rows are only
// counted, and the others are dithered and handed to the printer driver.
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

constexpr const char16_t* kOutOfMemoryText = u"Not enough memory. Close some running programs and repeat printing.";

// Longest time the progress window goes unpainted while a band is drawn.
constexpr DWORD kPumpPeriodMs = 50;

enum class PageResult { Printed = 1, SendFailed = -1, OutOfMemory = -2 };

// A top-down 24-bit band bitmap selected into a memory device context;
// everything it made is released when it goes.
class BandTarget {
public:
    BandTarget(HDC printer, std::int32_t width, std::int32_t height)
    {
        BITMAPINFO info {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* pixels = nullptr;
        bitmap = CreateDIBSection(printer, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = static_cast<std::uint8_t*>(pixels);
        stride = ((static_cast<std::int64_t>(width) + 1) * 3) & ~std::int64_t(3);
    }
    ~BandTarget()
    {
        if (kept)
            SelectObject(dc, kept);
        if (dc)
            DeleteDC(dc);
        if (bitmap)
            DeleteObject(bitmap);
    }
    BandTarget(const BandTarget&) = delete;
    BandTarget& operator=(const BandTarget&) = delete;

    bool Created() const { return bitmap && bits; }
    bool Select()
    {
        dc = CreateCompatibleDC(nullptr);
        kept = dc ? SelectObject(dc, bitmap) : nullptr;
        return kept != nullptr;
    }

    HBITMAP bitmap = nullptr;
    std::uint8_t* bits = nullptr;
    std::int64_t stride = 0;
    HDC dc = nullptr;
    HGDIOBJ kept = nullptr;
};

struct PageGeometry {
    std::int32_t rowWidth;
    std::int32_t rowCount;
    bool portrait;
    std::uint32_t planeCount;
};

class PageOutput {
public:
    PageOutput(PrinterDevice& device, const PageGeometry& page) : device(device), page(page) {}

    PageResult Run();

private:
    PageResult RenderBands(BandTarget& band, std::int32_t bandLines);
    void CopyRow(const BandTarget& band, std::int32_t index);

    PrinterDevice& device;
    PageGeometry page;
    std::unique_ptr<std::uint8_t[]> row;
    // Per band row: may hold something other than white (portrait only).
    std::unique_ptr<std::uint8_t[]> dirty;
};

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
    const std::size_t rowBytes = static_cast<std::size_t>(page.rowWidth) * 3;
    row.reset(new (std::nothrow) std::uint8_t[rowBytes]);
    if (!row)
        return PageResult::OutOfMemory;
    if (!device.ditherer.Prepare(page.rowWidth, 0.5))
        return PageResult::OutOfMemory;

    std::int32_t bandLines = BandLinesFor(tarvel::platform::FreePhysicalMemory(), page.rowWidth, page.rowCount,
        page.portrait);
    // With the row buffer, before the band: a page that cannot have it
    // fails before anything is drawn.
    dirty.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bandLines)]);
    if (!dirty)
        return PageResult::OutOfMemory;
    HDC printer = tarvel::render::PrinterDc(device.recording);
    // When the platform cannot give a bitmap of that height, try with half.
    std::unique_ptr<BandTarget> band;
    while (bandLines > 0) {
        if (bandLineLimit && bandLines > *bandLineLimit) {
            bandLines /= 2;
            continue;
        }
        band = page.portrait ? std::make_unique<BandTarget>(printer, page.rowWidth, bandLines)
                             : std::make_unique<BandTarget>(printer, bandLines, page.rowWidth);
        if (band->Created())
            break;
        band.reset();
        bandLines /= 2;
    }
    if (!band || !band->Select())
        return PageResult::OutOfMemory;
    return RenderBands(*band, bandLines);
}

PageResult PageOutput::RenderBands(BandTarget& band, std::int32_t bandLines)
{
    tarvel::drivers::PrinterDriver& driver = *device.driver;
    tarvel::ports::OutputPort* port = device.port.get();
    if (!driver.BeginPage(port))
        return PageResult::SendFailed;
    RowOutput rows(device.ditherer, driver, port, page.rowWidth, device.settings.colorMode == 0);
    std::int32_t remaining = page.rowCount;
    std::int32_t origin = 0;  // first page row (portrait) or column (landscape) of the band
    // Rows of the band that may hold something other than white. A new band
    // bitmap holds zeroes; after that only the rows a band left non-white
    // (and dithered in place) need painting again.
    std::fill_n(dirty.get(), bandLines, std::uint8_t(1));
    // The page as one bitmap would hold it: copies of the page onto itself
    // see nothing beyond it. In landscape the page's x runs down the paper.
    const RECT pageArea = page.portrait ? RECT {0, 0, page.rowWidth, page.rowCount}
                                        : RECT {0, 0, page.rowCount, page.rowWidth};
    // A band can take long (thousands of records, copies of the page onto
    // itself): the progress window stays painted and Cancel is looked at
    // between records, as while the port is waited for.
    DWORD lastPump = ::GetTickCount();
    const tarvel::render::KeepPlaying keepPlaying = [&]() {
        if (!port)
            return true;
        const DWORD now = ::GetTickCount();
        if (now - lastPump >= kPumpPeriodMs) {
            port->PumpMessages();
            lastPump = now;
        }
        return port->CheckCancel() == 0;
    };
    while (remaining > 0) {
        const std::int32_t n = std::min(remaining, bandLines);
        bool played;
        if (page.portrait) {
            // Each run of dirty rows is painted with one call.
            for (std::int32_t i = 0; i < n;) {
                std::int32_t end = i;
                while (end < n && dirty[static_cast<std::size_t>(end)])
                    ++end;
                if (end > i)
                    std::memset(band.bits + i * band.stride, 255, static_cast<std::size_t>((end - i) * band.stride));
                i = end + 1;
            }
            played = tarvel::render::PlayBand(device.recording, band.dc, pageArea,
                RECT {0, origin, page.rowWidth, origin + n}, keepPlaying);
        } else {
            std::memset(band.bits, 255, static_cast<std::size_t>(page.rowWidth * band.stride));
            played = tarvel::render::PlayBand(device.recording, band.dc, pageArea,
                RECT {origin, 0, origin + n, page.rowWidth}, keepPlaying);
        }
        if (!played)
            return PageResult::SendFailed;
        for (std::int32_t i = 0; i < n; ++i) {
            // A portrait band row is a printer row as it stands: it is
            // checked, dithered and sent where it lies.
            std::uint8_t* line = page.portrait ? band.bits + i * band.stride : row.get();
            if (!page.portrait)
                CopyRow(band, i);
            const RowStep step = rows.Put(line);
            if (page.portrait)
                dirty[static_cast<std::size_t>(i)] = step != RowStep::Blank;
            if (step == RowStep::Failed)
                return PageResult::SendFailed;
        }
        remaining -= n;
        origin += n;
    }
    // White rows at the foot of the page are never announced.
    if (!driver.EjectPage(port) || port->Flush() == 0)
        return PageResult::SendFailed;
    return PageResult::Printed;
}

void PageOutput::CopyRow(const BandTarget& band, std::int32_t index)
{
    std::uint8_t* out = row.get();
    if (page.portrait) {
        std::memcpy(out, band.bits + index * band.stride, static_cast<std::size_t>(page.rowWidth) * 3);
        return;
    }
    // The page lies turned on the paper: printer row r is page column r, and
    // its pixel k is page row rowWidth - 1 - k.
    const std::uint8_t* column = band.bits + static_cast<std::int64_t>(index) * 3;
    for (std::int32_t k = 0; k < page.rowWidth; ++k) {
        const std::uint8_t* pixel = column + static_cast<std::int64_t>(page.rowWidth - 1 - k) * band.stride;
        out[k * 3] = pixel[0];
        out[k * 3 + 1] = pixel[1];
        out[k * 3 + 2] = pixel[2];
    }
}

// Closes the page whatever happened: the driver, the row buffer and the band
// are gone, the recording is cleared, and a failure marks the job.
int FinishPage(PrinterDevice& device, int result)
{
    device.ditherer.Release();
    device.driver.reset();
    tarvel::render::ClearPage(device.recording);
    device.pageStarted = 0;
    if (result <= 0)
        device.jobFailed = 1;
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
    PageGeometry page {};
    page.portrait = portrait;
    page.rowWidth = DeviceCapability(device, portrait ? PHYSICALWIDTH : PHYSICALHEIGHT);
    page.rowCount = DeviceCapability(device, portrait ? PHYSICALHEIGHT : PHYSICALWIDTH);
    page.planeCount = device.settings.colorMode == 0 ? 1 : device.settings.colorMode == 2 ? 3 : 4;
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
