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
    state.counters["Mpixel"] = benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DitherRowColour(benchmark::State& state)
{
    DitherPage(state, false);
}

void BM_DitherRowMonochrome(benchmark::State& state)
{
    DitherPage(state, true);
}

// A page of printed text comes to the ditherer already black and white:
// every row is only checked and passed over. Strokes of ink a few pixels
// wide, different on every row, over the whole width.
void BM_PureTextRowsMonochrome(benchmark::State& state)
{
    const std::size_t rowBytes = static_cast<std::size_t>(kPageWidth) * 3;
    std::vector<std::uint8_t> page(rowBytes * kPageHeight, 255);
    for (int y = 0; y < kPageHeight; ++y) {
        for (int x = (y * 7) % 13; x < kPageWidth; x += 13 + (x + y) % 5) {
            std::memset(page.data() + y * rowBytes + static_cast<std::size_t>(x) * 3, 0, 3 * 3);
        }
    }
    tarvel::render::Ditherer ditherer;
    if (!ditherer.Prepare(kPageWidth, tarvel::render::Ditherer::kDefaultGamma)) {
        state.SkipWithError("Prepare failed");
        return;
    }
    for (auto _ : state) {
        for (int y = 0; y < kPageHeight; ++y) {
            ditherer.DitherRow(page.data() + y * rowBytes, true);
        }
        benchmark::DoNotOptimize(page.data());
    }
    const double pixels = static_cast<double>(kPageWidth) * kPageHeight;
    state.counters["Mpixel"] = benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_DitherRowColour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherRowMonochrome)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PureTextRowsMonochrome)->Unit(benchmark::kMillisecond);
