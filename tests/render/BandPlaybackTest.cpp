#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

using namespace tarvel::render;
using tarvel::render::testing::BandBitmap;
using tarvel::render::testing::FirstDifference;
using tarvel::render::testing::RenderInBands;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

class Playback : public tarvel::render::testing::PageFixture {
protected:
    void TearDown() override
    {
        ClearPage(state);
        for (HDC dc : state.dcs.handles)
            if (dc) SelectObject(dc, GetStockObject(BLACK_PEN));
    }
};

// Which bands a record reaches and where it lands in them is proven by the
// random pages below; here, what a playback leaves behind and asks.
TEST_F(Playback, APlaybackHandsTheTargetBackAsItCameAndAsksWhetherToGoOn)
{
    for (int i = 0; i < 200; ++i) RecordRectangle(state, printer, i, 0, i + 2, 10);
    BandBitmap band(210, 10);
    int asked = 0;
    EXPECT_TRUE(PlayBand(state, band.dc, RECT{0, 0, 210, 10}, RECT{0, 5, 210, 10}, [&] { return ++asked > 0; }));
    EXPECT_GT(asked, 2);
    POINT origin{1, 1};
    GetViewportOrgEx(band.dc, &origin);
    EXPECT_EQ(std::make_pair(origin.x, origin.y), (std::pair<LONG, LONG>(0, 0)));
    EXPECT_EQ(PrinterDc(state), printer);
    BandBitmap stopped(210, 10);
    EXPECT_FALSE(PlayBand(state, stopped.dc, RECT{0, 0, 210, 10}, RECT{0, 0, 210, 10}, [] { return false; }));
    EXPECT_EQ(stopped.Color(1, 0), kWhite);

    // Without a printer DC nothing is drawn.
    state.dcs.deletePending[0] = 1;
    ClearPage(state);
    state.list.push_back({RecordKind::Rectangle, 0, ShapeParams{0, 0, 10, 10, 0, 0}, {0, 0, 10, 10}});
    BandBitmap blank(10, 10);
    PlayBand(state, blank.dc, 0, 0, 10, 10, -1);
    EXPECT_EQ(blank.Color(0, 0), kWhite);
    state.list.clear();
}

// The calls of a page, made either through the recording device context
// (to be played back in bands) or straight on one bitmap of the whole page
// and real memory device contexts: the reference every banding must equal.
class Painter {
public:
    static constexpr int kMemories = 2;
    static constexpr int kBitmaps = 2;  // per memory DC, selected only there

    Painter(RecordingState* recording, int width, int height)
        : state(recording)
    {
        if (!state) whole = std::make_unique<BandBitmap>(width, height);
        page = state ? PrinterDc(*state) : whole->dc;
        for (int m = 0; m < kMemories; ++m) {
            memories[m] = state ? RecordCreateCompatibleDC(*state, page) : CreateCompatibleDC(page);
            for (int k = 0; k < kBitmaps; ++k) bitmaps[m][k] = CreateDib24(memories[m], 20 + 7 * k, 15 + 3 * k);
        }
    }
    ~Painter()
    {
        for (HDC memory : memories) state ? RecordDeleteDC(*state, memory) : DeleteDC(memory);
        if (state) ClearPage(*state);
        for (auto& owned : bitmaps)
            for (HBITMAP bitmap : owned) DeleteObject(bitmap);
    }

    // 0: the page; 1 and 2: the memory device contexts.
    HDC Dc(int which) const { return which == 0 ? page : memories[which - 1]; }

    // The application writes into its bitmap's pixels itself.
    void Paint(int memory, int k, COLORREF color)
    {
        DIBSECTION dib{};
        GetObjectW(bitmaps[memory][k], sizeof dib, &dib);
        auto* bits = static_cast<std::uint8_t*>(dib.dsBm.bmBits);
        for (int y = 0; y < dib.dsBm.bmHeight; ++y)
            for (int x = 0; x < dib.dsBm.bmWidth; ++x) {
                std::uint8_t* p = bits + static_cast<std::size_t>(y) * dib.dsBm.bmWidthBytes + x * 3;
                p[0] = GetBValue(color) ^ static_cast<std::uint8_t>(x * 9);
                p[1] = GetGValue(color);
                p[2] = GetRValue(color) ^ static_cast<std::uint8_t>(y * 13);
            }
    }
    HBITMAP Bitmap(int memory, int k) const { return bitmaps[memory][k]; }
    void SelectBitmap(int memory, int k) { Do(RecordSelectObject, SelectObject, memory + 1, HGDIOBJ(bitmaps[memory][k])); }

    // One call of the page on device context `dc`: recorded for playback in
    // bands, or drawn at once.
    template <class Recorded, class Direct, class... Args>
    void Do(Recorded recorded, Direct direct, int dc, Args... args)
    {
        if (state) return void(recorded(*state, Dc(dc), args...));
        direct(Dc(dc), args...);
    }

    // The direct page, in rows of BGR.
    std::vector<std::uint8_t> Pixels() const
    {
        std::vector<std::uint8_t> out;
        for (int y = 0; y < whole->height; ++y) out.insert(out.end(), whole->Pixel(0, y), whole->Pixel(0, y) + whole->width * 3);
        return out;
    }

private:
    RecordingState* state;
    std::unique_ptr<BandBitmap> whole;
    HDC page = nullptr;
    HDC memories[kMemories]{};
    HBITMAP bitmaps[kMemories][kBitmaps]{};
};

// The objects a random page draws with, shared by both ways of drawing.
struct Objects {
    Objects()
    {
        pens = {CreatePen(PS_SOLID, 1, RGB(0, 0, 200)), CreatePen(PS_DASH, 1, RGB(200, 0, 0)),
                CreatePen(PS_DOT, 1, RGB(0, 120, 0)), CreatePen(3, 1, RGB(90, 0, 90)), CreatePen(PS_SOLID, 3, RGB(250, 120, 0)),
                CreatePen(PS_SOLID, 6, RGB(0, 0, 0)), CreatePen(PS_NULL, 1, 0)};
        pattern = CreateDib24(nullptr, 5, 3);
        HDC painter = CreateCompatibleDC(nullptr);
        HGDIOBJ kept = SelectObject(painter, pattern);
        for (int i = 0; i < 15; ++i) PatBlt(painter, i % 5, i / 5, 1, 1, (i % 5 + i / 5) % 2 ? BLACKNESS : WHITENESS);
        SelectObject(painter, kept);
        DeleteDC(painter);
        brushes = {CreateSolidBrush(RGB(250, 200, 0)), CreateSolidBrush(RGB(40, 40, 160)), GetStockObject(NULL_BRUSH),
                   CreatePatternBrush(pattern)};
        const struct {
            int height, escapement, italic;
        } fonts[] = {{-14, 0, 0}, {-9, 0, 1}, {-4, 0, 0}, {-13, 900, 0}, {-12, 450, 1}, {-16, 2700, 0}};
        for (const auto& f : fonts) {
            LOGFONTW font{};
            font.lfHeight = f.height;
            font.lfEscapement = font.lfOrientation = f.escapement;
            font.lfItalic = static_cast<BYTE>(f.italic);
            std::u16string_view(f.italic ? u"DejaVu Serif" : u"DejaVu Sans").copy(font.lfFaceName, 31);
            this->fonts.push_back(CreateFontIndirectW(&font));
        }
    }
    ~Objects()
    {
        for (auto* list : {&pens, &brushes, &fonts})
            for (HGDIOBJ object : *list) DeleteObject(object);
        DeleteObject(pattern);
    }
    std::vector<HGDIOBJ> pens, brushes, fonts;
    HBITMAP pattern;
};

using Call = std::function<void(Painter&)>;

// A random page of width x height: every kind of record on the page and on
// memory device contexts, corners in any order, mirrored and nested copies
// of the page onto itself, turned and spaced text, dashed outlines that
// reach far beyond the page.
std::vector<Call> RandomPage(std::mt19937& random, const Objects& objects, int width, int height, int calls)
{
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto coord = [&](int extent) { return pick(extent + 40) - 20; };
    auto color = [&] { return RGB(pick(4) * 85, pick(4) * 85, pick(4) * 85); };
    std::vector<Call> page;
    for (int m = 0; m < Painter::kMemories; ++m) {
        const COLORREF tint = color();
        page.push_back([=](Painter& p) { p.Paint(m, 0, tint); p.Paint(m, 1, tint ^ 0xFFFFFF); p.SelectBitmap(m, 0); });
    }
    static const DWORD rops[] = {SRCCOPY, SRCINVERT, SRCAND, SRCPAINT, NOTSRCCOPY, MERGECOPY, DSTINVERT, PATINVERT};
    // Arabic is shaped and right to left; the ideograph comes from a fallback face.
    static const std::u16string texts[] = {u"Band", u"in bands\nalike", u"ab cd ef gh ij",
                                           u"Wy \u0633\u0644\u0627\u0645 \u4e2d", u"A"};
    for (int i = 0; i < calls; ++i) {
        // Mostly the page; memory DCs get drawn on too, and then copied.
        const int dc = pick(4) == 0 ? 1 + pick(Painter::kMemories) : 0;
        const int w = dc ? 27 : width, h = dc ? 18 : height;
        switch (pick(14)) {
        case 0: {
            static const int rop2s[] = {R2_COPYPEN, R2_COPYPEN, R2_XORPEN, R2_NOTXORPEN, R2_MASKPEN, R2_NOT};
            const int kind = pick(4);
            const std::uint32_t value = kind == 2 ? (pick(2) ? OPAQUE : TRANSPARENT) : kind == 3 ? rop2s[pick(6)]
                                                                                                 : color();
            page.push_back([=](Painter& p) {
                if (kind == 0) p.Do(RecordSetTextColor, SetTextColor, dc, COLORREF(value));
                if (kind == 1) p.Do(RecordSetBkColor, SetBkColor, dc, COLORREF(value));
                if (kind == 2) p.Do(RecordSetBkMode, SetBkMode, dc, int(value));
                if (kind == 3) p.Do(RecordSetROP2, SetROP2, dc, int(value));
            });
            break;
        }
        case 1: {
            const auto& list = pick(3) == 0 ? objects.fonts : pick(2) ? objects.pens
                                                                      : objects.brushes;
            HGDIOBJ object = list[static_cast<std::size_t>(pick(static_cast<int>(list.size())))];
            page.push_back([=](Painter& p) { p.Do(RecordSelectObject, SelectObject, dc, object); });
            break;
        }
        case 2:
        case 3:
        case 4: {
            const int kind = pick(3);  // rectangle, ellipse, rounded rectangle
            ShapeParams s{coord(w), coord(h), coord(w), coord(h), pick(30), pick(30)};
            if (pick(8) == 0) s.left = -pick(70000), s.right = w + pick(70000);  // far beyond the page on both sides
            page.push_back([=](Painter& p) {
                if (kind == 0) p.Do(RecordRectangle, Rectangle, dc, s.left, s.top, s.right, s.bottom);
                if (kind == 1) p.Do(RecordEllipse, Ellipse, dc, s.left, s.top, s.right, s.bottom);
                if (kind == 2) p.Do(RecordRoundRect, RoundRect, dc, s.left, s.top, s.right, s.bottom, s.cornerWidth, s.cornerHeight);
            });
            break;
        }
        case 5: {
            std::vector<POINT> points(static_cast<std::size_t>(1 + pick(5)));
            for (POINT& point : points) point = {coord(w), coord(h)};
            page.push_back([=](Painter& p) { p.Do(RecordPolyline, Polyline, dc, points.data(), int(points.size())); });
            break;
        }
        case 6:
        case 7: {
            const std::u16string text = texts[pick(4)];
            const int x = coord(w), y = coord(h);
            const UINT options = static_cast<UINT>(pick(4)) * ETO_OPAQUE;  // none, opaque, clipped, both
            const RECT rect = {coord(w), coord(h), coord(w), coord(h)};
            std::vector<int> spacing(text.size());
            for (int& advance : spacing) advance = pick(30) - 10;
            const bool spaced = pick(3) == 0;
            page.push_back([=](Painter& p) { p.Do(RecordExtTextOut, ExtTextOutW, dc, x, y, options, &rect, text.c_str(), UINT(text.size()), spaced ? spacing.data() : nullptr); });
            break;
        }
        case 8: {
            const std::u16string text = texts[pick(5)];
            const RECT rect = {coord(w), coord(h), coord(w), coord(h)};
            static const UINT formats[] = {DT_LEFT | DT_WORDBREAK, DT_CENTER | DT_WORDBREAK, DT_RIGHT | DT_SINGLELINE | DT_VCENTER,
                                           DT_CENTER | DT_BOTTOM | DT_SINGLELINE | DT_NOCLIP, DT_NOCLIP | DT_WORDBREAK};
            const UINT format = formats[pick(5)];
            page.push_back([=](Painter& p) { RECT box = rect; p.Do(RecordDrawText, DrawTextW, dc, text.c_str(), -1, &box, format); });
            break;
        }
        case 9: {  // the application changes a bitmap and selects it again
            const int m = pick(Painter::kMemories), k = pick(Painter::kBitmaps);
            const COLORREF tint = color();
            page.push_back([=](Painter& p) { p.Paint(m, k, tint); p.SelectBitmap(m, k); });
            break;
        }
        default: {  // copies from memory DCs and from the page itself, any way round
            const bool self = pick(2) == 0;
            const int source = self ? 0 : 1 + pick(Painter::kMemories);
            const int sw = self ? width : 27, sh = self ? height : 18;
            BlitParams b{coord(width), coord(height), pick(60) - 10, pick(50) - 10, static_cast<std::uint32_t>(source),
                         coord(sw), coord(sh), pick(40) - 10, pick(30) - 10, rops[pick(8)]};
            const bool plain = pick(2);
            page.push_back([=](Painter& p) {
                plain ? p.Do(RecordBitBlt, BitBlt, 0, b.x, b.y, b.width, b.height, p.Dc(source), b.sourceX, b.sourceY, b.rop)
                      : p.Do(RecordStretchBlt, StretchBlt, 0, b.x, b.y, b.width, b.height, p.Dc(source), b.sourceX, b.sourceY, b.sourceWidth, b.sourceHeight, b.rop);
            });
            break;
        }
        }
    }
    return page;
}

// Counts the pixels of a rendered page that are not white.
std::size_t InkOf(const std::vector<std::uint8_t>& page)
{
    std::size_t ink = 0;
    for (std::size_t i = 0; i < page.size(); i += 3) ink += page[i] != 255 || page[i + 1] != 255 || page[i + 2] != 255;
    return ink;
}

// The page recorded in `state` rendered in bands of each size equals the
// reference; a reference without ink would prove nothing.
void ExpectBandsEqual(RecordingState& state, const std::vector<std::uint8_t>& reference, int width, int height,
                      std::initializer_list<int> bandSizes, std::size_t leastInk, bool turned = false)
{
    EXPECT_GT(InkOf(reference), leastInk);
    for (int bandSize : bandSizes) {
        SCOPED_TRACE(::testing::Message() << (turned ? "turned" : "portrait") << " band " << bandSize);
        const auto banded = RenderInBands(state, width, height, bandSize, turned);
        ASSERT_TRUE(banded == reference) << FirstDifference(reference, banded, width);
    }
}

// Each copy of the page onto itself reads the copies before it; drawn the
// way the records nest, twenty of them would take hours.
TEST_F(Playback, NestedCopiesOfThePageOntoItselfAreDrawnOnceEach)
{
    constexpr int kWidth = 200, kHeight = 150, kCopies = 24;
    Painter direct(nullptr, kWidth, kHeight), recorded(&state, kWidth, kHeight);
    for (Painter* p : {&direct, &recorded}) {
        p->Do(RecordEllipse, Ellipse, 0, 0, 0, 30, 20);
        for (int i = 1; i <= kCopies; ++i) p->Do(RecordBitBlt, BitBlt, 0, 3 * i, 2 * i, 60, 40, p->Dc(0), 0, 0, SRCINVERT);
        // A shrinking copy from far beyond the page reads only the page.
        p->Do(RecordStretchBlt, StretchBlt, 0, 100, 0, 100, 150, p->Dc(0), 0, 0, 20000, 20000, SRCCOPY);
    }
    ExpectBandsEqual(state, direct.Pixels(), kWidth, kHeight, {kHeight, 7}, 500);
}

// A memory DC whose bitmap was selected before the page (not through it):
// every band starts from the bitmap as the page found it, and drawing on it
// is not done again on top of what an earlier band drew.
TEST_F(Playback, AMemoryDcStartsEveryBandAsThePageFoundIt)
{
    constexpr int kWidth = 60, kHeight = 40;
    Painter direct(nullptr, kWidth, kHeight), recorded(&state, kWidth, kHeight);
    for (Painter* p : {&direct, &recorded}) {
        p->Paint(0, 1, RGB(30, 200, 90));
        SelectObject(p->Dc(1), p->Bitmap(0, 1));  // not through the page
        p->Do(RecordBitBlt, BitBlt, 0, 0, 0, 27, 18, p->Dc(1), 0, 0, SRCCOPY);
        p->Do(RecordSetROP2, SetROP2, 1, R2_NOT);
        p->Do(RecordRectangle, Rectangle, 1, 2, 2, 18, 15);
        p->Do(RecordBitBlt, BitBlt, 0, 30, 10, 27, 18, p->Dc(1), 0, 0, SRCCOPY);
    }
    ExpectBandsEqual(state, direct.Pixels(), kWidth, kHeight, {kHeight, 3}, 400);
    // The memory DC holds the application's bitmap again.
    EXPECT_EQ(GetCurrentObject(recorded.Dc(1), OBJ_BITMAP), recorded.Bitmap(0, 1));
}

// Random pages rendered in bands of every shape equal the same calls drawn
// on one bitmap of the whole page.
TEST_F(Playback, RandomPagesInAnyBandingEqualTheWholePageDrawnAtOnce)
{
    constexpr int kWidth = 96, kHeight = 72;
    const Objects objects;
    std::mt19937 random(20260612);
    struct BudgetBack {
        ~BudgetBack() { hooks::LimitPageStatePixels(std::nullopt); }
    } budgetBack;
    for (int round = 0; round < 16; ++round) {
        // Every other page keeps so little earlier page state that its bands
        // are drawn in parts.
        hooks::LimitPageStatePixels(round % 2 ? std::optional<std::int64_t>(40) : std::nullopt);
        const std::vector<Call> page = RandomPage(random, objects, kWidth, kHeight, 40);
        std::vector<std::uint8_t> reference;
        {
            Painter direct(nullptr, kWidth, kHeight);
            for (const Call& call : page) call(direct);
            reference = direct.Pixels();
        }
        Painter recorded(&state, kWidth, kHeight);
        for (const Call& call : page) call(recorded);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        ExpectBandsEqual(state, reference, kWidth, kHeight, {1, 7, 64, kHeight}, 100);
        ExpectBandsEqual(state, reference, kWidth, kHeight, {1, 7, 64, kWidth}, 100, true);
        if (::testing::Test::HasFatalFailure()) return;
        // Leave the printer DC as a new page finds it.
        for (int stock : {BLACK_PEN, WHITE_BRUSH, SYSTEM_FONT}) SelectObject(printer, GetStockObject(stock));
        ResetBandState(printer);
    }
}

}  // namespace
