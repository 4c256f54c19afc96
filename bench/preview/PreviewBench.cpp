// Decoding a whole dithered A4 page back, per language: how long a preview
// of a page takes.
#include <benchmark/benchmark.h>

#include "drivers/BenchPage.h"
#include "drivers/PrinterDriver.h"
#include "preview/StreamDecoder.h"

using namespace tarvel;

namespace {

class CollectingWriter : public ports::PortWriter {
public:
    int Write(const std::uint8_t* bytes, int length) override
    {
        data.insert(data.end(), bytes, bytes + length);
        return length;
    }
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> PageStream(int model, std::uint32_t planes)
{
    const bench::DitheredPage page = bench::MakeA4Page(drivers::ModelResolution(model, 0), planes == 1);
    auto driver = drivers::CreateDriver(model);
    CollectingWriter port;
    driver->Open(planes, page.width, 0, 1, 0);
    driver->BeginPage(&port);
    std::uint32_t blank = 0;
    for (int y = 0; y < page.height; ++y) {
        if (page.RowIsWhite(y)) {
            ++blank;
            continue;
        }
        if (blank) driver->SkipRows(&port, blank);
        blank = 0;
        driver->SendRow(&port, page.Row(y));
    }
    driver->EjectPage(&port);
    return port.data;
}

void BM_Decode(benchmark::State& state)
{
    const int model = static_cast<int>(state.range(0));
    const auto planes = static_cast<std::uint32_t>(state.range(1));
    const std::vector<std::uint8_t> stream = PageStream(model, planes);
    preview::Language language;
    preview::LanguageOfModel(model, &language);
    for (auto _ : state) {
        auto result = preview::DecodeStream(language, stream.data(), stream.size());
        if (!result.ok) state.SkipWithError(result.error.c_str());
        benchmark::DoNotOptimize(result);
    }
    state.SetLabel(drivers::GetPrinterModel(model)->name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

}  // namespace

BENCHMARK(BM_Decode)->Args({0, 4})->Args({1, 4})->Args({2, 4})->Args({3, 1})->Args({5, 4})->Unit(benchmark::kMillisecond);
