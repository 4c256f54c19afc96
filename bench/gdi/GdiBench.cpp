// The cost of one A4 page at 300 dpi in 24 bits (2480 x 3507): a white
// fill, 1,000 mixed shapes and 60 lines of 12-point text; and the raw speed
// of a full-page solid fill; BM_MixedArabicLatinLine: lines of mixed
// Arabic and Latin per second. BM_WrappedDrawText/n: "ab " n times, word
// wrapped into a box five pixels wide (one word a line); linear in n.
#include <tarvel/gdi.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3507;

// Benchmarks use the same fixed fonts as the tests.
const bool kFontsChosen = [] {
    setenv("FONTCONFIG_FILE", TARVEL_BENCH_FONTS, 0);
    return true;
}();

struct Page {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    Page()
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bitmap);
    }
    ~Page()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

struct Tools {
    std::vector<HPEN> pens;
    std::vector<HBRUSH> brushes;
    HFONT font = nullptr;
    Tools()
    {
        std::mt19937 random(1);
        for (int i = 0; i < 8; ++i) {
            pens.push_back(CreatePen(i == 7 ? PS_DASH : PS_SOLID, i % 6, random() & 0xFFFFFF));
            brushes.push_back(CreateSolidBrush(random() & 0xFFFFFF));
        }
        LOGFONTW lf{};
        lf.lfHeight = -50;  // 12 points at 300 dpi
        const char16_t face[] = u"Arial";
        for (int i = 0; face[i]; ++i) lf.lfFaceName[i] = face[i];
        font = CreateFontIndirectW(&lf);
    }
    ~Tools()
    {
        for (HPEN p : pens) DeleteObject(p);
        for (HBRUSH b : brushes) DeleteObject(b);
        DeleteObject(font);
    }
};

void PaintWhite(HDC dc)
{
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    PatBlt(dc, 0, 0, kWidth, kHeight, PATCOPY);
}

void DrawShapes(HDC dc, const Tools& tools)
{
    std::mt19937 random(42);
    for (int i = 0; i < 1000; ++i) {
        int x = int(random() % (kWidth - 300)), y = int(random() % (kHeight - 300));
        int w = 20 + int(random() % 280), h = 20 + int(random() % 280);
        SelectObject(dc, tools.pens[random() % tools.pens.size()]);
        SelectObject(dc, tools.brushes[random() % tools.brushes.size()]);
        switch (i % 4) {
        case 0: Rectangle(dc, x, y, x + w, y + h); break;
        case 1: Ellipse(dc, x, y, x + w, y + h); break;
        case 2: RoundRect(dc, x, y, x + w, y + h, 40, 30); break;
        default: {
            POINT pts[4] = {{x, y}, {x + w, y + h / 3}, {x, y + h}, {x + w, y + h}};
            Polyline(dc, pts, 4);
            break;
        }
        }
    }
}

void DrawText(HDC dc, const Tools& tools)
{
    SelectObject(dc, tools.font);
    SetBkMode(dc, TRANSPARENT);
    const std::u16string line = u"Sixty lines of twelve-point text fill an A4 page from margin to margin.";
    for (int i = 0; i < 60; ++i) {
        ExtTextOutW(dc, 120, 100 + i * 55, 0, nullptr, line.c_str(), UINT(line.size()), nullptr);
    }
}

void BM_FullPageSolidFill(benchmark::State& state)
{
    Page page;
    HBRUSH brush = CreateSolidBrush(RGB(10, 200, 30));
    SelectObject(page.dc, brush);
    for (auto _ : state) {
        PatBlt(page.dc, 0, 0, kWidth, kHeight, PATCOPY);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kWidth * kHeight * 3);
    SelectObject(page.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
}
BENCHMARK(BM_FullPageSolidFill)->Unit(benchmark::kMillisecond);

void BM_Shapes(benchmark::State& state)
{
    Page page;
    Tools tools;
    for (auto _ : state) DrawShapes(page.dc, tools);
}
BENCHMARK(BM_Shapes)->Unit(benchmark::kMillisecond);

void BM_Text(benchmark::State& state)
{
    Page page;
    Tools tools;
    for (auto _ : state) DrawText(page.dc, tools);
}
BENCHMARK(BM_Text)->Unit(benchmark::kMillisecond);

// One line of mixed Arabic and Latin at 12 points, drawn a line at a time
// down the page: shaping, reordering and the fallback face's glyphs
// (Arial has no Arabic). Items per second are lines per second.
void BM_MixedArabicLatinLine(benchmark::State& state)
{
    Page page;
    Tools tools;
    SelectObject(page.dc, tools.font);
    SetBkMode(page.dc, TRANSPARENT);
    const std::u16string line = u"Invoice \u0641\u0627\u062a\u0648\u0631\u0629 2024: \u0627\u0644\u0645\u0628\u0644\u063a "
                                u"\u0627\u0644\u0625\u062c\u0645\u0627\u0644\u064a 1,250 EUR \u0634\u0643\u0631\u0627\u064b";
    int i = 0;
    for (auto _ : state) {
        ExtTextOutW(page.dc, 120, 100 + (i++ % 60) * 55, 0, nullptr, line.c_str(), UINT(line.size()), nullptr);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
}
BENCHMARK(BM_MixedArabicLatinLine)->Unit(benchmark::kMicrosecond);

void BM_WholePage(benchmark::State& state)
{
    Page page;
    Tools tools;
    for (auto _ : state) {
        PaintWhite(page.dc);
        DrawShapes(page.dc, tools);
        DrawText(page.dc, tools);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WholePage)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_WrappedDrawText(benchmark::State& state)
{
    Page page;
    Tools tools;
    SelectObject(page.dc, tools.font);
    std::u16string text;
    for (int i = 0; i < state.range(0); ++i) text += u"ab ";
    for (auto _ : state) {
        RECT box = {100, 100, 105, 3400};
        DrawTextW(page.dc, text.c_str(), int(text.size()), &box, DT_WORDBREAK);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WrappedDrawText)->RangeMultiplier(2)->Range(6000, 96000)->Unit(benchmark::kMillisecond);

}  // namespace
