// A 10-page job per printer model, once through the CUPS filter's job loop
// (raster in, printer stream out) and once through the PDC_ interface
// (recording, band playback, the same row work), on A4 at the model's
// resolution, CMYK where the model has colour and monochrome on the
// PocketJets. Each page is a 1500 x 1000 photo-like picture with
// pure-colour blocks, a quarter of the page, the rest white paper; both
// paths print the same pixels. The counter pages/s is the figure to
// compare; both write their stream to /dev/null, the filter as it writes
// to standard output, the library through its file port.
#include "cups/RasterFilter.h"
#include "device/DeviceCaps.h"
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "ports/FilePort.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>
#include <tarvel/ui.h>

#include <benchmark/benchmark.h>
#include <cups/raster.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace tarvel::device;

namespace {

constexpr int kPages = 10;
constexpr int kPictureWidth = 1500;
constexpr int kPictureHeight = 1000;
constexpr int kPictureX = 100;
constexpr int kPictureY = 200;

// Blue, green, red, as a DIB holds it.
std::vector<std::uint8_t> Picture()
{
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(kPictureWidth) * kPictureHeight * 3);
    std::uint8_t* p = bgr.data();
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x, p += 3) {
            const bool block = y < 200 && x % 500 < 200;
            p[0] = block ? 0 : static_cast<std::uint8_t>(x * 255 / (kPictureWidth - 1));
            p[1] = block ? static_cast<std::uint8_t>(x < 500 ? 0 : 255) : static_cast<std::uint8_t>(y * 255 / 999);
            p[2] = block ? 0 : static_cast<std::uint8_t>((x ^ y) & 255);
        }
    return bgr;
}

int ColorModeOf(int printer)
{
    return MonochromeOnly(printer) ? 0 : 1;
}

// The job as CUPS raster in memory: ten copies of the page at the model's
// resolution, compressed as the RIPs write it.
int RasterJob(int printer, const std::vector<std::uint8_t>& picture)
{
    const int resolution = ModelResolution(printer, 0);
    const int width = Dots(Papers()[0].width, resolution), height = Dots(Papers()[0].height, resolution);
    const int fd = memfd_create("raster", 0);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
    cups_page_header2_t header{};
    header.HWResolution[0] = header.HWResolution[1] = static_cast<unsigned>(resolution);
    header.cupsWidth = static_cast<unsigned>(width);
    header.cupsHeight = static_cast<unsigned>(height);
    // Monochrome pages go as RGB too, so both paths dither the same pixels.
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 24;
    header.cupsBytesPerLine = header.cupsWidth * 3;
    header.cupsColorSpace = CUPS_CSPACE_RGB;
    header.cupsCompression = 1;
    header.cupsInteger[0] = kColorModes[static_cast<std::size_t>(ColorModeOf(printer))].planeCount;
    header.cupsPageSize[0] = static_cast<float>(Papers()[0].width * 72.0 / 2540.0);
    header.cupsPageSize[1] = static_cast<float>(Papers()[0].height * 72.0 / 2540.0);
    std::vector<std::uint8_t> line(header.cupsBytesPerLine);
    for (int page = 0; page < kPages; ++page) {
        cupsRasterWriteHeader2(raster, &header);
        for (int y = 0; y < height; ++y) {
            std::memset(line.data(), 255, line.size());
            if (y >= kPictureY && y < kPictureY + kPictureHeight)
                for (int x = 0; x < kPictureWidth; ++x) {
                    const std::uint8_t* bgr = &picture[(static_cast<std::size_t>(y - kPictureY) * kPictureWidth + x) * 3];
                    std::uint8_t* rgb = &line[static_cast<std::size_t>(kPictureX + x) * 3];
                    rgb[0] = bgr[2];
                    rgb[1] = bgr[1];
                    rgb[2] = bgr[0];
                }
            cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    return fd;
}

void BM_Filter(benchmark::State& state)
{
    const int printer = static_cast<int>(state.range(0));
    const int fd = RasterJob(printer, Picture());
    std::FILE* log = std::fopen("/dev/null", "w");
    const int nowhere = open("/dev/null", O_WRONLY);
    tarvel::cups::DescriptorWriter output(nowhere);
    for (auto _ : state) {
        lseek(fd, 0, SEEK_SET);
        tarvel::cups::FilterJob job;
        job.inputFd = fd;
        job.printer = printer;
        job.output = &output;
        job.flushable = &output;
        job.log = log;
        if (tarvel::cups::RunFilterJob(job) != 0)
            state.SkipWithError("the filter failed");
    }
    state.counters["pages/s"] = benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
    std::fclose(log);
    close(nowhere);
    close(fd);
}

void BM_Pdc(benchmark::State& state)
{
    const int printer = static_cast<int>(state.range(0));
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarvel-bench";
    std::filesystem::create_directories(folder);
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    tarvel::ports::SetDeviceRootFolder(folder);
    tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless);
    const std::vector<std::uint8_t> picture = Picture();
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kPictureWidth, -kPictureHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    for (int y = 0; y < kPictureHeight; ++y)
        std::memcpy(static_cast<std::uint8_t*>(bits) + y * ((kPictureWidth * 3 + 3) & ~3),
                    &picture[static_cast<std::size_t>(y) * kPictureWidth * 3], kPictureWidth * 3);
    PrinterDevice device;
    device.settings.printer = printer;
    device.settings.colorMode = ColorModeOf(printer);
    device.settings.port = kFilePort;
    device.settings.paperSize = 0;
    device.xResolution = device.yResolution = ModelResolution(printer, 0);
    tarvel::render::ReplacePrinterDc(device.recording);  // what confirming the print dialog does
    HDC dc = PDC_GetPrinterDC();
    DOCINFOW doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = u"bench";
    doc.lpszOutput = u"/dev/null";
    for (auto _ : state) {
        PDC_StartDoc(dc, &doc);
        for (int page = 0; page < kPages; ++page) {
            PDC_StartPage(dc);
            HDC memory = PDC_CreateCompatibleDC(dc);
            HGDIOBJ kept = PDC_SelectObject(memory, bitmap);
            PDC_BitBlt(dc, kPictureX, kPictureY, kPictureWidth, kPictureHeight, memory, 0, 0, SRCCOPY);
            PDC_SelectObject(memory, kept);
            PDC_DeleteDC(memory);
            if (PDC_EndPage(dc) != 1)
                state.SkipWithError("the page failed");
        }
        PDC_EndDoc(dc);
    }
    state.counters["pages/s"] = benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
    DeleteObject(bitmap);
}

BENCHMARK(BM_Filter)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Pdc)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
