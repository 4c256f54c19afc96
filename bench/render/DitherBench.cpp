// DitherRow over a whole A4 300 dpi photo page, colour and monochrome.
#include "PhotoPage.h"

#include "render/Ditherer.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

using tarvel::bench::kPageHeight;
using tarvel::bench::kPageWidth;

void DitherPage(benchmark::State& state, bool monochrome)
{
    const std::vector<std::uint8_t> photo = tarvel::bench::MakePhotoPage();
    std::vector<std::uint8_t> page(photo.size());
    tarvel::render::Ditherer ditherer;
    const std::size_t rowBytes = static_cast<std::size_t>(kPageWidth) * 3;
    for (auto _ : state) {
        // Dithered rows are pure and would be skipped the next time round,
        // so every page starts from a fresh copy of the photo.
        state.PauseTiming();
        std::memcpy(page.data(), photo.data(), photo.size());
        state.ResumeTiming();
        if (!ditherer.Prepare(kPageWidth, tarvel::render::Ditherer::kDefaultGamma)) {
            state.SkipWithError("Prepare failed");
            break;
        }
        for (int y = 0; y < kPageHeight; ++y) {
            ditherer.DitherRow(page.data() + y * rowBytes, monochrome);
        }
        ditherer.Release();
        benchmark::DoNotOptimize(page.data());
        benchmark::ClobberMemory();
    }
    const double pixels = static_cast<double>(kPageWidth) * kPageHeight;
    // Shown as "Mpixel=<millions of pixels>/s".
    state.counters["Mpixel"] =
        benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DitherRowColour(benchmark::State& state)
{
    DitherPage(state, false);
}

void BM_DitherRowMonochrome(benchmark::State& state)
{
    DitherPage(state, true);
}

}  // namespace

BENCHMARK(BM_DitherRowColour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherRowMonochrome)->Unit(benchmark::kMillisecond);
