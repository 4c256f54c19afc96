// RowCompressor with all four methods on the ink planes of a dithered photo
// page, the way the PCL driver uses it: one compressor, every plane of every
// row.
#include "PhotoPage.h"

#include "drivers/RowCompressor.h"
#include "render/Ditherer.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using tarvel::bench::kPageHeight;
using tarvel::bench::kPageWidth;

constexpr int kPlaneBytes = (kPageWidth + 7) / 8;

// Four planes per row (cyan, magenta, yellow, black), bits from the left,
// with black printed as black ink alone.
std::vector<std::uint8_t> MakePlanes(bool monochrome, int& planes)
{
    std::vector<std::uint8_t> page = tarvel::bench::MakePhotoPage();
    tarvel::render::Ditherer ditherer;
    ditherer.Prepare(kPageWidth, tarvel::render::Ditherer::kDefaultGamma);
    const std::size_t rowBytes = static_cast<std::size_t>(kPageWidth) * 3;
    planes = monochrome ? 1 : 4;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kPageHeight) * planes * kPlaneBytes, 0);
    for (int y = 0; y < kPageHeight; ++y) {
        std::uint8_t* row = page.data() + y * rowBytes;
        ditherer.DitherRow(row, monochrome);
        std::uint8_t* planeRow = &out[static_cast<std::size_t>(y) * planes * kPlaneBytes];
        for (int x = 0; x < kPageWidth; ++x) {
            const std::uint8_t* p = row + 3 * x;
            const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0;
            const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
            if (monochrome) {
                planeRow[x / 8] |= black ? bit : 0;
                continue;
            }
            if (black) {
                planeRow[3 * kPlaneBytes + x / 8] |= bit;
                continue;
            }
            planeRow[x / 8] |= p[2] == 0 ? bit : 0;
            planeRow[kPlaneBytes + x / 8] |= p[1] == 0 ? bit : 0;
            planeRow[2 * kPlaneBytes + x / 8] |= p[0] == 0 ? bit : 0;
        }
    }
    return out;
}

// Four planes of a business page: lines of text in black (short runs, gaps
// between words, white between lines), coloured bars and a halftone-like
// logo block, so that every method gets real work.
std::vector<std::uint8_t> MakeTextPlanes()
{
    constexpr int kPlanes = 4;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kPageHeight) * kPlanes * kPlaneBytes, 0);
    static constexpr std::uint8_t kStrokes[] = {0x18, 0x3C, 0x66, 0xFF, 0x81, 0xC3, 0x7E, 0x10};
    std::uint32_t noise = 777;
    auto next = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return noise >> 16;
    };
    for (int y = 0; y < kPageHeight; ++y) {
        std::uint8_t* row = &out[static_cast<std::size_t>(y) * kPlanes * kPlaneBytes];
        std::uint8_t* black = row + 3 * kPlaneBytes;
        if (y % 50 < 30 && y > 300) {
            for (int x = 20; x < kPlaneBytes - 20; ++x) {
                black[x] = next() % 7 == 0 ? 0 : kStrokes[next() % 8];
            }
        }
        if (y < 300) {
            // Header bar in cyan and magenta, a logo of dots in yellow.
            for (int x = 10; x < kPlaneBytes - 10; ++x) {
                row[x] = 0xFF;
                row[kPlaneBytes + x] = x < kPlaneBytes / 2 ? 0xFF : 0x00;
                row[2 * kPlaneBytes + x] = x < 60 ? static_cast<std::uint8_t>(next()) : 0x00;
            }
        }
    }
    return out;
}

void CompressPlanes(benchmark::State& state, const std::vector<std::uint8_t>& data, int planes)
{
    tarvel::drivers::RowCompressor compressor;
    std::size_t compressed = 0;
    for (auto _ : state) {
        if (!compressor.Allocate(kPlaneBytes, planes)) {
            state.SkipWithError("Allocate failed");
            break;
        }
        compressed = 0;
        for (std::size_t offset = 0; offset < data.size(); offset += kPlaneBytes) {
            const int plane = static_cast<int>(offset / kPlaneBytes % planes);
            const std::uint8_t* out = nullptr;
            int change = 0;
            compressed += static_cast<std::size_t>(
                compressor.Compress(data.data() + offset, kPlaneBytes, plane, &out, &change));
            benchmark::DoNotOptimize(out);
        }
    }
    // Bytes of plane rows handed in, counted in MiB by the report.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(data.size());
}

void BM_CompressCmykPhotoPage(benchmark::State& state)
{
    int planes = 0;
    const std::vector<std::uint8_t> data = MakePlanes(false, planes);
    CompressPlanes(state, data, planes);
}

void BM_CompressMonochromePhotoPage(benchmark::State& state)
{
    int planes = 0;
    const std::vector<std::uint8_t> data = MakePlanes(true, planes);
    CompressPlanes(state, data, planes);
}

void BM_CompressCmykTextPage(benchmark::State& state)
{
    CompressPlanes(state, MakeTextPlanes(), 4);
}

}  // namespace

BENCHMARK(BM_CompressCmykPhotoPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressMonochromePhotoPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressCmykTextPage)->Unit(benchmark::kMillisecond);
