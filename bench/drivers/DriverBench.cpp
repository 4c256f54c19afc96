// Whole dithered A4 pages through each driver into a port that only counts:
// time per page and bytes per page.
#include <benchmark/benchmark.h>

#include <map>

#include "drivers/BenchPage.h"
#include "drivers/PrinterDriver.h"

using namespace tarvel;

namespace {

const bench::DitheredPage& Page(int dpi, bool monochrome)
{
    static std::map<std::pair<int, bool>, bench::DitheredPage> pages;
    auto key = std::make_pair(dpi, monochrome);
    auto it = pages.find(key);
    if (it == pages.end()) it = pages.emplace(key, bench::MakeA4Page(dpi, monochrome)).first;
    return it->second;
}

// The page pipeline's loop: white rows counted, announced before the next
// inked row, never at the bottom.
std::uint64_t PrintPage(int model, std::uint32_t planes, std::uint32_t compression,
                        const bench::DitheredPage& page)
{
    auto driver = drivers::CreateDriver(model);
    bench::CountingWriter port;
    if (!driver || !driver->Open(planes, page.width, 0, compression, 0) || !driver->BeginPage(&port))
        return 0;
    std::uint32_t blank = 0;
    for (int y = 0; y < page.height; ++y) {
        if (page.RowIsWhite(y)) {
            ++blank;
            continue;
        }
        if (blank) driver->SkipRows(&port, blank);
        blank = 0;
        if (!driver->SendRow(&port, page.Row(y))) return 0;
    }
    driver->EjectPage(&port);
    return port.bytes;
}

void BM_Page(benchmark::State& state)
{
    const int model = static_cast<int>(state.range(0));
    const auto planes = static_cast<std::uint32_t>(state.range(1));
    const auto compression = static_cast<std::uint32_t>(state.range(2));
    const int dpi = drivers::ModelResolution(model, 0);
    const bench::DitheredPage& page = Page(dpi, planes == 1);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        bytes = PrintPage(model, planes, compression, page);
        benchmark::DoNotOptimize(bytes);
    }
    if (bytes == 0) state.SkipWithError("the page did not print");
    state.SetLabel(std::string(drivers::GetPrinterModel(model)->name) + " " + std::to_string(dpi) + " dpi");
    state.counters["bytes_per_page"] = static_cast<double>(bytes);
    state.counters["plane_MB/s"] = benchmark::Counter(
        static_cast<double>(page.width + 7) / 8 * page.height * planes, benchmark::Counter::kIsIterationInvariantRate,
        benchmark::Counter::kIs1000);
}

}  // namespace

// Arguments: model, plane count, compression.
BENCHMARK(BM_Page)
    ->Args({0, 4, 1})
    ->Args({0, 4, 0})
    ->Args({0, 1, 1})
    ->Args({1, 4, 1})
    ->Args({1, 4, 0})
    ->Args({2, 4, 1})
    ->Args({3, 1, 1})
    ->Args({4, 1, 1})
    ->Args({5, 4, 1})
    ->Args({5, 4, 0})
    ->Args({6, 4, 1})
    ->Unit(benchmark::kMillisecond);
