// Recording a long page and playing it back in bands.
//
// BM_Record: 100,000 mixed records (state changes, selections, shapes,
// polylines, text) onto the printer DC; items per second are records per
// second, and bytes_per_record is the heap the list and its copies hold.
// BM_PlayPage: the same page played into an A4 300 dpi page in 8 bands.
// BM_PlayBand/empty vs BM_PlayBand/full: one band that no drawing record
// touches against one band that all of them touch; the walk itself should
// cost a small fraction of the drawing.
// BM_NestedPageCopies/n: an ellipse and n copies of a 1200 x 900 area of
// the page onto itself, each overlapping the ones before, played into an A4
// page in 8 bands; the time should grow with n, not double with it.
#include "render/BandPlayer.h"

#include <tarvel/gdi.h>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstring>
#include <random>
#include <vector>

using namespace tarvel::render;

namespace {

constexpr int kPageWidth = 2480, kPageHeight = 3507, kBands = 8;
constexpr int kRecords = 100000;

struct Objects {
    std::vector<HGDIOBJ> pens, brushes, fonts;
    Objects()
    {
        for (int i = 0; i < 8; ++i) {
            pens.push_back(CreatePen(PS_SOLID, i % 4, RGB(i * 30, 0, 0)));
            brushes.push_back(CreateSolidBrush(RGB(0, i * 30, 200)));
            LOGFONTW font{};
            font.lfHeight = -(20 + i * 6);
            const char16_t face[] = u"DejaVu Sans";
            std::memcpy(font.lfFaceName, face, sizeof face);
            fonts.push_back(CreateFontIndirectW(&font));
        }
    }
};

// Records `count` mixed records whose drawing lies in rows [top, top + height).
void RecordPage(RecordingState& state, const Objects& objects, int count, int top, int height)
{
    HDC dc = PrinterDc(state);
    std::mt19937 random(7);
    auto x = [&] { return static_cast<int>(random() % (kPageWidth - 200)); };
    auto y = [&] { return top + static_cast<int>(random() % std::max(1, height - 60)); };
    for (int i = 0; i < count; ++i) {
        switch (i % 10) {
        case 0:
            RecordSelectObject(state, dc, objects.pens[random() % objects.pens.size()]);
            break;
        case 1:
            RecordSelectObject(state, dc, objects.brushes[random() % objects.brushes.size()]);
            break;
        case 2:
            RecordSetTextColor(state, dc, RGB(random() % 256, 0, 0));
            break;
        case 3:
        case 4: {
            const int left = x(), t = y();
            RecordRectangle(state, dc, left, t, left + 40, t + 30);
            break;
        }
        case 5: {
            const int left = x(), t = y();
            RecordEllipse(state, dc, left, t, left + 50, t + 40);
            break;
        }
        case 6: {
            const POINT points[3] = {{x(), y()}, {x() % 200 + 100, y()}, {x(), y()}};
            RecordPolyline(state, dc, points, 3);
            break;
        }
        case 7:
            RecordSelectObject(state, dc, objects.fonts[random() % objects.fonts.size()]);
            break;
        default:
            RecordExtTextOut(state, dc, x(), y(), 0, nullptr, u"Tarvel", 6, nullptr);
            break;
        }
    }
}

class Band {
public:
    Band(int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        kept = SelectObject(dc, bitmap);
        bytes = static_cast<std::size_t>((width * 3 + 3) & ~3) * height;
    }
    ~Band()
    {
        SelectObject(dc, kept);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Clear() { std::memset(bits, 255, bytes); }

    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ kept;
    void* bits = nullptr;
    std::size_t bytes;
};

void BM_Record(benchmark::State& bench)
{
    Objects objects;
    double bytesPerRecord = 0;
    for (auto _ : bench) {
        RecordingState state;
        ReplacePrinterDc(state);
        const std::size_t before = mallinfo2().uordblks;
        RecordPage(state, objects, kRecords, 0, kPageHeight);
        bytesPerRecord = double(mallinfo2().uordblks - before) / kRecords;
        bench.PauseTiming();
        ClearPage(state);
        bench.ResumeTiming();
    }
    bench.SetItemsProcessed(bench.iterations() * kRecords);
    bench.counters["bytes_per_record"] = bytesPerRecord;
}
BENCHMARK(BM_Record)->Unit(benchmark::kMillisecond);

void BM_PlayPage(benchmark::State& bench)
{
    Objects objects;
    RecordingState state;
    ReplacePrinterDc(state);
    RecordPage(state, objects, kRecords, 0, kPageHeight);
    const int bandLines = (kPageHeight + kBands - 1) / kBands;
    Band band(kPageWidth, bandLines);
    for (auto _ : bench) {
        for (int top = 0; top < kPageHeight; top += bandLines) {
            band.Clear();
            PlayBand(state, band.dc, 0, top, kPageWidth, std::min(bandLines, kPageHeight - top), -1);
        }
    }
    bench.SetItemsProcessed(bench.iterations() * kRecords);
}
BENCHMARK(BM_PlayPage)->Unit(benchmark::kMillisecond);

// Every drawing record lies in the first band; argument 0 plays the last
// band (touched by none), argument 1 the first (touched by all).
void BM_PlayBand(benchmark::State& bench)
{
    Objects objects;
    RecordingState state;
    ReplacePrinterDc(state);
    const int bandLines = (kPageHeight + kBands - 1) / kBands;
    RecordPage(state, objects, kRecords / 10, 0, bandLines - 100);
    Band band(kPageWidth, bandLines);
    const int top = bench.range(0) ? 0 : kPageHeight - bandLines;
    for (auto _ : bench) {
        band.Clear();
        PlayBand(state, band.dc, 0, top, kPageWidth, bandLines, -1);
    }
}
BENCHMARK(BM_PlayBand)->Arg(0)->Arg(1)->ArgName("full")->Unit(benchmark::kMillisecond);

void BM_NestedPageCopies(benchmark::State& bench)
{
    RecordingState state;
    ReplacePrinterDc(state);
    HDC dc = PrinterDc(state);
    RecordEllipse(state, dc, 0, 0, 1200, 900);
    for (int i = 1; i <= bench.range(0); ++i)
        RecordBitBlt(state, dc, 3 * i, 2 * i, 1200, 900, dc, 0, 0, SRCINVERT);
    const int bandLines = (kPageHeight + kBands - 1) / kBands;
    Band band(kPageWidth, bandLines);
    for (auto _ : bench) {
        for (int top = 0; top < kPageHeight; top += bandLines) {
            band.Clear();
            PlayBand(state, band.dc, 0, top, kPageWidth, std::min(bandLines, kPageHeight - top), -1);
        }
    }
}
BENCHMARK(BM_NestedPageCopies)->DenseRange(4, 12, 4)->Arg(16)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
