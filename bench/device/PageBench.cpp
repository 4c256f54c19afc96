// Whole pages through the PDC_ interface to the file port, per page once the
// library is loaded: (a) 60 lines of 11-point text, monochrome, PCL; (b) a
// title, 12 lines of text, 20 coloured shapes and a 1500 x 1000 colour
// picture, CMYK, PCL. Each runs with the band height the free memory gives
// and with bands of 64 rows. Counters: output bytes per page and the peak
// resident memory of the process (run one benchmark per process, with
// --benchmark_filter, for a peak that belongs to it alone).
#include "JobPages.h"
#include "device/PrintJob.h"
#include "device/PrinterTables.h"
#include "platform/system/System.h"
#include "ports/FilePort.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <string>

using namespace tarvel::device;

namespace {

HFONT MakeFont(int points, int weight = FW_NORMAL)
{
    LOGFONTW font {};
    font.lfHeight = -points * jobpages::kDpi / 72;
    font.lfWeight = weight;
    const std::u16string face = jobpages::kFace;
    std::copy(face.begin(), face.end(), font.lfFaceName);
    return CreateFontIndirectW(&font);
}

void PutText(HDC dc, POINT at, const std::u16string& text)
{
    PDC_ExtTextOut(dc, at.x, at.y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}

void TextPage(HDC dc)
{
    HFONT font = MakeFont(jobpages::kTextPoints);
    PDC_SelectObject(dc, font);
    for (int line = 0; line < jobpages::kTextLines; ++line)
        PutText(dc, jobpages::TextLineAt(line), jobpages::TextLine(line));
    PDC_SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

HBITMAP Picture()
{
    BITMAPINFO info {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), jobpages::kPictureWidth, -jobpages::kPictureHeight, 1, 24, BI_RGB, 0,
        0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    jobpages::FillPicture(static_cast<std::uint8_t*>(bits), (jobpages::kPictureWidth * 3 + 3) & ~3);
    return bitmap;
}

void MixedPage(HDC dc, HBITMAP picture)
{
    HFONT title = MakeFont(jobpages::kTitlePoints, FW_BOLD);
    PDC_SelectObject(dc, title);
    PutText(dc, jobpages::kTitleAt, jobpages::kTitle);
    HFONT body = MakeFont(jobpages::kTextPoints);
    PDC_SelectObject(dc, body);
    for (int line = 0; line < jobpages::kBodyLines; ++line)
        PutText(dc, jobpages::BodyLineAt(line), jobpages::kBodyLine);
    for (int i = 0; i < jobpages::kShapes; ++i) {
        const jobpages::Shape shape = jobpages::ShapeAt(i);
        HBRUSH brush = CreateSolidBrush(shape.fill);
        PDC_SelectObject(dc, brush);
        const RECT& b = shape.box;
        if (shape.ellipse)
            PDC_Ellipse(dc, b.left, b.top, b.right, b.bottom);
        else
            PDC_Rectangle(dc, b.left, b.top, b.right, b.bottom);
        PDC_SelectObject(dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(brush);
    }
    HDC memory = PDC_CreateCompatibleDC(dc);
    HGDIOBJ kept = PDC_SelectObject(memory, picture);
    PDC_BitBlt(dc, jobpages::kPictureAt.x, jobpages::kPictureAt.y, jobpages::kPictureWidth, jobpages::kPictureHeight,
        memory, 0, 0, SRCCOPY);
    PDC_SelectObject(memory, kept);
    PDC_DeleteDC(memory);
    PDC_SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(title);
    DeleteObject(body);
}

long PeakResidentKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// range(0): 0 text page, 1 mixed page; range(1): 0 free-memory bands, 1 bands of 64 rows.
void BM_Page(benchmark::State& state)
{
    const bool mixed = state.range(0) == 1;
    const bool smallBands = state.range(1) == 1;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarvel-bench";
    std::filesystem::create_directories(folder);
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    tarvel::ports::SetDeviceRootFolder(folder);
    PrinterDevice device;
    device.settings.printer = 0;
    device.settings.port = kFilePort;
    device.settings.paperSize = 0;
    device.settings.colorMode = mixed ? 1 : 0;
    tarvel::render::ReplacePrinterDc(device.recording);  // what confirming the print dialog does
    HDC dc = PDC_GetPrinterDC();
    // One A4 row at 300 dpi costs 7444 bytes of band; two thirds of the
    // pretended memory is 64 of them.
    tarvel::platform::PretendFreeMemory(smallBands ? std::optional<std::uint64_t>(7444u * 96u) : std::nullopt);
    HBITMAP picture = Picture();
    DOCINFOW info {};
    info.cbSize = sizeof info;
    info.lpszOutput = u"bench.prn";
    PDC_StartDoc(dc, &info);
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        PDC_StartPage(dc);
        if (mixed)
            MixedPage(dc, picture);
        else
            TextPage(dc);
        if (PDC_EndPage(dc) != 1)
            state.SkipWithError("the page failed");
    }
    PDC_EndDoc(dc);
    bytes = std::filesystem::file_size(folder / "bench.prn");
    state.counters["bytes_per_page"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
    state.counters["peak_rss_MB"] = static_cast<double>(PeakResidentKilobytes()) / 1024.0;
    tarvel::platform::PretendFreeMemory(std::nullopt);
    DeleteObject(picture);
}
BENCHMARK(BM_Page)
    ->ArgNames({"mixed", "bands64"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace
