#include "RenderTestSupport.h"

#include <gtest/gtest.h>

using namespace tarvel::render;
using tarvel::render::testing::BandBitmap;
using tarvel::render::testing::FirstDifference;
using tarvel::render::testing::RenderInBands;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class Playback : public tarvel::render::testing::PageFixture {
protected:
    // A memory DC of the page holding a w x h bitmap filled with colour.
    HDC FilledMemoryDc(int w, int h, COLORREF color)
    {
        HDC memory = RecordCreateCompatibleDC(state, printer);
        HBITMAP bitmap = CreateDib24(memory, w, h);
        HDC painter = CreateCompatibleDC(nullptr);
        HGDIOBJ kept = SelectObject(painter, bitmap);
        HBRUSH brush = CreateSolidBrush(color);
        HGDIOBJ keptBrush = SelectObject(painter, brush);
        PatBlt(painter, 0, 0, w, h, PATCOPY);
        SelectObject(painter, keptBrush);
        SelectObject(painter, kept);
        DeleteDC(painter);
        DeleteObject(brush);
        RecordSelectObject(state, memory, bitmap);
        owned.push_back(bitmap);
        return memory;
    }

    void TearDown() override
    {
        ClearPage(state);
        for (int slot = 1; slot < kDcSlots; ++slot) {
            if (state.dcs.handles[slot])
                SelectObject(state.dcs.handles[slot], GetStockObject(BLACK_PEN));
        }
    }

    std::vector<HBITMAP> owned;
};

TEST_F(Playback, ARectangleIsDrawnInEveryBandItTouchesAtTheRightPlace)
{
    RecordRectangle(state, printer, 10, 100, 50, 200);

    BandBitmap upper(64, 150);
    PlayBand(state, upper.dc, 0, 0, 64, 150, -1);
    EXPECT_EQ(upper.Color(10, 100), kBlack);  // top-left corner of the outline
    EXPECT_EQ(upper.Color(30, 100), kBlack);
    EXPECT_EQ(upper.Color(30, 99), kWhite);
    EXPECT_EQ(upper.Color(10, 149), kBlack);  // left edge continues down

    BandBitmap lower(64, 150);
    PlayBand(state, lower.dc, 0, 150, 64, 150, -1);
    EXPECT_EQ(lower.Color(49, 0), kBlack);    // right edge
    EXPECT_EQ(lower.Color(30, 49), kBlack);   // bottom edge at page row 199
    EXPECT_EQ(lower.Color(30, 50), kWhite);
    EXPECT_EQ(lower.Color(30, 20), kWhite);   // inside: white brush

    BandBitmap missed(64, 100);
    PlayBand(state, missed.dc, 0, 300, 64, 100, -1);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(missed.Color(x, y), kWhite);

    // The target is handed back as it came.
    POINT origin {};
    GetViewportOrgEx(lower.dc, &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(PrinterDc(state), printer);
}

TEST_F(Playback, StateRecordsApplyInEveryBand)
{
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RecordSelectObject(state, printer, red);
    RecordSetROP2(state, printer, R2_COPYPEN);
    RecordRectangle(state, printer, 0, 50, 20, 60);
    BandBitmap band(20, 20);
    PlayBand(state, band.dc, 0, 45, 20, 20, -1);
    EXPECT_EQ(band.Color(10, 10), RGB(255, 0, 0));
    SelectObject(printer, GetStockObject(WHITE_BRUSH));
    DeleteObject(red);
}

TEST_F(Playback, ACopyFromAMemoryDcIsSplitAcrossBandsWithMatchingSourceOffsets)
{
    HDC memory = FilledMemoryDc(10, 10, RGB(0, 0, 255));
    // Mark the source's top-left pixel so offsets show.
    RecordSetROP2(state, memory, R2_BLACK);
    const POINT dot[2] = {{0, 0}, {1, 0}};
    RecordPolyline(state, memory, dot, 2);
    RecordBitBlt(state, printer, 5, 15, 10, 10, memory, 0, 0, SRCCOPY);

    const auto whole = RenderInBands(state, 30, 40, 40, false);
    const auto split = RenderInBands(state, 30, 40, 20, false);
    EXPECT_EQ(whole, split);
    BandBitmap band(30, 40);
    PlayBand(state, band.dc, 0, 0, 30, 40, -1);
    EXPECT_EQ(band.Color(5, 15), kBlack);
    EXPECT_EQ(band.Color(6, 24), RGB(0, 0, 255));
    EXPECT_EQ(band.Color(15, 15), kWhite);
}

TEST_F(Playback, ACopyOfThePageOntoItselfSeesOnlyWhatCameBefore)
{
    HBRUSH black = CreateSolidBrush(kBlack);
    RecordSelectObject(state, printer, black);
    RecordRectangle(state, printer, 0, 0, 10, 10);
    RecordBitBlt(state, printer, 20, 0, 10, 10, printer, 0, 0, SRCCOPY);  // black square copied
    RecordBitBlt(state, printer, 40, 0, 10, 10, printer, 60, 0, SRCCOPY); // nothing there yet
    RecordRectangle(state, printer, 60, 0, 70, 10);

    BandBitmap band(80, 10);
    PlayBand(state, band.dc, 0, 0, 80, 10, -1);
    EXPECT_EQ(band.Color(25, 5), kBlack);
    EXPECT_EQ(band.Color(65, 5), kBlack);
    EXPECT_NE(band.Color(45, 5), kBlack);
    EXPECT_EQ(RenderInBands(state, 80, 10, 3, false), RenderInBands(state, 80, 10, 10, false));
    SelectObject(printer, GetStockObject(WHITE_BRUSH));
    DeleteObject(black);
}

TEST_F(Playback, WithoutAPrinterDcNothingIsDrawn)
{
    RecordRectangle(state, printer, 0, 0, 10, 10);
    state.dcs.deletePending[0] = 1;
    ClearPage(state);
    state.list.push_back({RecordKind::Rectangle, 0, ShapeParams {0, 0, 10, 10, 0, 0}, {0, 0, 10, 10}});
    BandBitmap band(10, 10);
    PlayBand(state, band.dc, 0, 0, 10, 10, -1);
    EXPECT_EQ(band.Color(0, 0), kWhite);
    state.list.clear();
}

// A page with every kind of record, rendered as one band and in bands of
// many heights, portrait and turned: every band must show exactly its part.
TEST_F(Playback, APageOfEveryRecordKindIsTheSameInAnyBanding)
{
    constexpr int kWidth = 120, kHeight = 90;
    HDC memory = FilledMemoryDc(16, 12, RGB(0, 200, 0));
    HPEN pen = CreatePen(PS_DASH, 1, RGB(0, 0, 200));
    HPEN wide = CreatePen(PS_SOLID, 3, RGB(200, 0, 0));
    HBRUSH brush = CreateSolidBrush(RGB(250, 200, 0));
    LOGFONTW font {};
    font.lfHeight = -14;
    const std::u16string face = u"DejaVu Sans";
    std::copy(face.begin(), face.end(), font.lfFaceName);
    HFONT text = CreateFontIndirectW(&font);

    RecordSelectObject(state, printer, pen);
    RecordSelectObject(state, printer, brush);
    RecordRectangle(state, printer, 3, 3, 50, 40);
    RecordSelectObject(state, printer, wide);
    RecordEllipse(state, printer, 30, 20, 90, 70);
    RecordRoundRect(state, printer, 60, 5, 115, 35, 12, 12);
    const POINT zigzag[5] = {{2, 85}, {30, 50}, {60, 88}, {90, 45}, {118, 80}};
    RecordPolyline(state, printer, zigzag, 5);
    RecordSetROP2(state, printer, R2_NOTXORPEN);
    RecordRectangle(state, printer, 20, 30, 100, 60);
    RecordSetROP2(state, printer, R2_COPYPEN);
    RecordSelectObject(state, printer, text);
    RecordSetTextColor(state, printer, RGB(120, 0, 120));
    RecordSetBkMode(state, printer, TRANSPARENT);
    RecordExtTextOut(state, printer, 8, 42, 0, nullptr, u"Band", 4, nullptr);
    RecordSetBkMode(state, printer, OPAQUE);
    RecordSetBkColor(state, printer, RGB(180, 180, 255));
    RECT box = {40, 60, 118, 88};
    RecordDrawText(state, printer, u"in bands\nalike", -1, &box, DT_CENTER | DT_WORDBREAK);
    RecordBitBlt(state, printer, 95, 40, 16, 12, memory, 0, 0, SRCINVERT);
    RecordStretchBlt(state, printer, 0, 60, 40, 25, memory, 2, 2, 8, 6, SRCCOPY);
    RecordBitBlt(state, printer, 70, 66, 30, 20, printer, 0, 0, SRCCOPY);
    RecordStretchBlt(state, printer, 100, 0, 20, 30, printer, 30, 30, 10, 15, SRCAND);

    for (bool turned : {false, true}) {
        const auto reference = RenderInBands(state, kWidth, kHeight, turned ? kWidth : kHeight, turned);
        for (int bandSize : {1, 7, 64, 333}) {
            SCOPED_TRACE(::testing::Message() << (turned ? "turned" : "portrait") << " band " << bandSize);
            const auto banded = RenderInBands(state, kWidth, kHeight, bandSize, turned);
            EXPECT_TRUE(banded == reference) << FirstDifference(reference, banded, kWidth);
        }
    }
    // The page is not blank, or the comparison would prove nothing.
    const auto page = RenderInBands(state, kWidth, kHeight, kHeight, false);
    EXPECT_GT(std::count_if(page.begin(), page.end(), [](std::uint8_t b) { return b != 255; }), 3000);

    for (int slot = 0; slot < kDcSlots; ++slot) {
        if (state.dcs.handles[slot]) {
            SelectObject(state.dcs.handles[slot], GetStockObject(BLACK_PEN));
            SelectObject(state.dcs.handles[slot], GetStockObject(WHITE_BRUSH));
            SelectObject(state.dcs.handles[slot], GetStockObject(SYSTEM_FONT));
        }
    }
    for (HGDIOBJ object : {HGDIOBJ(pen), HGDIOBJ(wide), HGDIOBJ(brush), HGDIOBJ(text)})
        DeleteObject(object);
}

}  // namespace
