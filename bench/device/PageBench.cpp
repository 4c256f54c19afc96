// Whole pages through the PDC_ interface to the file port, per page once the
// library is loaded: (a) 60 lines of 11-point text, monochrome, PCL; (b) a
// title, 12 lines of text, 20 coloured shapes and a 1500 x 1000 colour
// picture, CMYK, PCL. Each runs with the band height the free memory gives
// and with bands of 64 rows. Counters: output bytes per page and the peak
// resident memory of the process (run one benchmark per process, with
// --benchmark_filter, for a peak that belongs to it alone).
#include "JobDrawing.h"
#include "device/PrintJob.h"
#include "device/PrinterTables.h"
#include "platform/system/System.h"
#include "ports/FilePort.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <string>

using namespace tarvel::device;

namespace {

long PeakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Prints pages until the state is done. smallBands: bands of 64 rows from
// the free-memory rule; budgetKiB: the cache-sized bound of a band (0: the
// library's own).
void PrintPages(benchmark::State& state, bool mixed, bool smallBands, std::int64_t budgetKiB)
{
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
    hooks::SetBandBudget(budgetKiB ? std::optional<std::uint64_t>(std::uint64_t(budgetKiB) << 10) : std::nullopt);
    HBITMAP picture = jobpages::Picture();
    DOCINFOW info{};
    info.cbSize = sizeof info;
    info.lpszOutput = u"bench.prn";
    PDC_StartDoc(dc, &info);
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        PDC_StartPage(dc);
        if (mixed)
            jobpages::MixedPage(dc, picture);
        else
            jobpages::TextPage(dc);
        if (PDC_EndPage(dc) != 1)
            state.SkipWithError("the page failed");
    }
    PDC_EndDoc(dc);
    bytes = std::filesystem::file_size(folder / "bench.prn");
    state.counters["bytes_per_page"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
    state.counters["peak_rss_MB"] = static_cast<double>(PeakResidentKilobytes()) / 1024.0;
    tarvel::platform::PretendFreeMemory(std::nullopt);
    hooks::SetBandBudget(std::nullopt);
    DeleteObject(picture);
}

// range(0): 0 text page, 1 mixed page; range(1): 0 the library's bands, 1 bands of 64 rows.
void BM_Page(benchmark::State& state)
{
    PrintPages(state, state.range(0) == 1, state.range(1) == 1, 0);
}
BENCHMARK(BM_Page)
    ->ArgNames({"mixed", "bands64"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The cache-sized band bound the library's constant was chosen from:
// range(0) the page as above, range(1) the bound in KiB.
void BM_BandBudget(benchmark::State& state)
{
    PrintPages(state, state.range(0) == 1, false, state.range(1));
}
BENCHMARK(BM_BandBudget)
    ->ArgNames({"mixed", "KiB"})
    ->ArgsProduct({{0, 1}, {256, 512, 1024, 2048, 4096, 8192, 32768}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace
