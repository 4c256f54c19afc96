#include "RenderTestSupport.h"

#include <gtest/gtest.h>

using namespace tarvel::render;

namespace {

class Recording : public tarvel::render::testing::PageFixture {
protected:
    const DisplayRecord& Last() const { return state.list.back(); }

    // The bounds of the last record, left, top, right, bottom.
    std::vector<std::int64_t> LastBounds() const
    {
        const RECT& r = Last().bounds;
        return {r.left, r.top, r.right, r.bottom};
    }
};

TEST_F(Recording, PensBrushesAndFontsAreSharedByDescription)
{
    HPEN a = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
    HPEN b = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
    ASSERT_NE(RecordSelectObject(state, printer, a), nullptr);
    RecordSelectObject(state, printer, b);
    EXPECT_EQ(state.tables.pens.count, 1);
    EXPECT_EQ(std::get<SelectParams>(state.list[0].params).index, 0);
    EXPECT_EQ(std::get<SelectParams>(state.list[1].params).index, 0);
    EXPECT_EQ(std::get<SelectParams>(state.list[1].params).objectKind, std::uint32_t(OBJ_PEN));

    LOGFONTW font{};
    font.lfHeight = -20;
    std::u16string face = u"DejaVu Sans";
    std::copy(face.begin(), face.end(), font.lfFaceName);
    HFONT first = CreateFontIndirectW(&font);
    face = u"DEJAVU sans";
    std::copy(face.begin(), face.end(), font.lfFaceName);
    HFONT second = CreateFontIndirectW(&font);
    font.lfItalic = 1;
    HFONT third = CreateFontIndirectW(&font);
    RecordSelectObject(state, printer, first);
    RecordSelectObject(state, printer, second);
    RecordSelectObject(state, printer, third);
    EXPECT_EQ(state.tables.fonts.count, 2);

    for (HGDIOBJ object : {HGDIOBJ(a), HGDIOBJ(b), HGDIOBJ(first), HGDIOBJ(second), HGDIOBJ(third)}) {
        SelectObject(printer, GetStockObject(object == a || object == b ? BLACK_PEN : SYSTEM_FONT));
        DeleteObject(object);
    }
}

TEST_F(Recording, TheEleventhBrushGrowsTheTableAndKeepsEarlierIndexes)
{
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 11; ++i) {
        brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
        RecordSelectObject(state, printer, brushes.back());
    }
    EXPECT_EQ(state.tables.brushes.count, 11);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(std::get<SelectParams>(state.list[i].params).index, i);
        EXPECT_EQ(state.tables.brushes.descriptions[i].lbColor, RGB(i, 0, 0));
    }
    EXPECT_EQ(GetHandle(state.tables.brushes, 11), nullptr);
    EXPECT_EQ(GetHandle(state.tables.brushes, -1), nullptr);
    SelectObject(printer, GetStockObject(WHITE_BRUSH));
    for (HBRUSH brush : brushes)
        DeleteObject(brush);
}

TEST_F(Recording, RefusedSelectionsRecordNothing)
{
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 8, 8);
    EXPECT_EQ(RecordSelectObject(state, printer, bitmap), nullptr);  // a bitmap into the page
    EXPECT_EQ(RecordSelectObject(state, printer, nullptr), nullptr);
    EXPECT_EQ(RecordSelectObject(state, printer, reinterpret_cast<HGDIOBJ>(0x1234)), nullptr);
    EXPECT_EQ(RecordSelectObject(state, nullptr, GetStockObject(BLACK_PEN)), nullptr);
    EXPECT_TRUE(state.list.empty());
    EXPECT_EQ(state.tables.bitmaps.count, 0);
    DeleteObject(bitmap);

    // A null brush is kept as the stock null brush; the page clear deleting
    // it does no harm.
    EXPECT_NE(RecordSelectObject(state, printer, GetStockObject(NULL_BRUSH)), nullptr);
    EXPECT_EQ(GetHandle(state.tables.brushes, 0), GetStockObject(NULL_BRUSH));
    ClearPage(state);
    EXPECT_EQ(GetObjectType(GetStockObject(NULL_BRUSH)), DWORD(OBJ_BRUSH));
}

TEST_F(Recording, AtMostNinetyNineMemoryDcsAndDeletionWaitsForThePageClear)
{
    std::vector<HDC> memory;
    for (int i = 0; i < 99; ++i) {
        memory.push_back(RecordCreateCompatibleDC(state, printer));
        ASSERT_NE(memory.back(), nullptr) << i;
    }
    EXPECT_EQ(RecordCreateCompatibleDC(state, printer), nullptr);
    EXPECT_EQ(RecordCreateCompatibleDC(state, nullptr), nullptr);

    EXPECT_EQ(RecordDeleteDC(state, printer), FALSE);
    EXPECT_EQ(state.dcs.deletePending[0], 0u);
    EXPECT_EQ(RecordDeleteDC(state, memory[5]), TRUE);
    EXPECT_EQ(LookupDc(state.dcs, memory[5]), 6);
    EXPECT_TRUE(RecordRectangle(state, memory[5], 0, 0, 1, 1));  // still drawable until the clear
    EXPECT_EQ(RecordDeleteDC(state, reinterpret_cast<HDC>(0x999)), FALSE);

    ClearPage(state);
    EXPECT_EQ(LookupDc(state.dcs, memory[5]), -1);
    EXPECT_EQ(LookupDc(state.dcs, memory[6]), 7);  // not deleted: survives the page
    EXPECT_EQ(LookupDc(state.dcs, printer), 0);
    HDC again = RecordCreateCompatibleDC(state, memory[0]);
    EXPECT_EQ(LookupDc(state.dcs, again), 6);
}

TEST_F(Recording, UnknownDeviceContextsGetTheFailureValueAndNoRecord)
{
    HDC stranger = CreateCompatibleDC(nullptr);
    POINT points[2] = {{0, 0}, {5, 5}};
    RECT rect = {0, 0, 10, 10};
    TEXTMETRICW metrics;
    SIZE size;
    EXPECT_EQ(RecordSetTextColor(state, stranger, 0), CLR_INVALID);
    EXPECT_EQ(RecordSetBkColor(state, nullptr, 0), CLR_INVALID);
    EXPECT_EQ(RecordSetBkMode(state, stranger, OPAQUE), 0);
    EXPECT_EQ(RecordSetROP2(state, stranger, R2_NOT), 0);
    EXPECT_EQ(RecordEllipse(state, stranger, 0, 0, 5, 5), FALSE);
    EXPECT_EQ(RecordRectangle(state, stranger, 0, 0, 5, 5), FALSE);
    EXPECT_EQ(RecordRoundRect(state, stranger, 0, 0, 5, 5, 2, 2), FALSE);
    EXPECT_EQ(RecordPolyline(state, stranger, points, 2), FALSE);
    EXPECT_EQ(RecordDrawText(state, stranger, u"x", 1, &rect, 0), 0);
    EXPECT_EQ(RecordExtTextOut(state, stranger, 0, 0, 0, nullptr, u"x", 1, nullptr), FALSE);
    EXPECT_EQ(RecordBitBlt(state, printer, 0, 0, 5, 5, stranger, 0, 0, SRCCOPY), FALSE);
    EXPECT_EQ(MeasureTextMetrics(state, stranger, &metrics), FALSE);
    EXPECT_EQ(MeasureTextExtent(state, stranger, u"x", 1, &size), FALSE);
    EXPECT_EQ(MeasureTextExtentEx(state, stranger, u"x", 1, 0, nullptr, nullptr, &size), FALSE);
    EXPECT_TRUE(state.list.empty());
    DeleteDC(stranger);
}

TEST_F(Recording, CopiesGoOntoThePageOnly)
{
    HDC memory = RecordCreateCompatibleDC(state, printer);
    EXPECT_EQ(RecordBitBlt(state, memory, 0, 0, 5, 5, printer, 0, 0, SRCCOPY), FALSE);
    EXPECT_EQ(RecordStretchBlt(state, memory, 0, 0, 5, 5, printer, 0, 0, 2, 2, SRCCOPY), FALSE);
    EXPECT_TRUE(state.list.empty());

    RecordBitBlt(state, printer, 10, 20, 30, 40, memory, 1, 2, SRCCOPY);
    ASSERT_EQ(state.list.size(), 1u);
    EXPECT_EQ(Last().kind, RecordKind::BitBlt);
    EXPECT_EQ(Last().slot, 0u);
    EXPECT_EQ(std::get<BlitParams>(Last().params).sourceSlot, 1u);
    EXPECT_EQ(LastBounds(), (std::vector<std::int64_t>{10, 20, 40, 60}));
}

TEST_F(Recording, ShapeBoundsReachAsFarAsThePen)
{
    HPEN thick = CreatePen(PS_SOLID, 3, 0);
    RecordSelectObject(state, printer, thick);
    RecordEllipse(state, printer, 100, 100, 200, 150);
    EXPECT_EQ(LastBounds(), (std::vector<std::int64_t>{97, 97, 203, 153}));
    RecordRoundRect(state, printer, 0, 0, 10, 10, 4, 4);
    EXPECT_EQ(LastBounds(), (std::vector<std::int64_t>{-3, -3, 13, 13}));

    SelectObject(printer, GetStockObject(BLACK_PEN));
    HPEN thin = CreatePen(PS_SOLID, 0, 0);
    RecordSelectObject(state, printer, thin);
    const POINT line[2] = {{10, 20}, {30, 5}};
    RecordPolyline(state, printer, line, 2);
    EXPECT_EQ(Last().kind, RecordKind::Polyline);
    EXPECT_EQ(LastBounds(), (std::vector<std::int64_t>{9, 4, 31, 21}));
    EXPECT_EQ(std::get<PolylineParams>(Last().params).points.size(), 2u);
    SelectObject(printer, GetStockObject(BLACK_PEN));
    DeleteObject(thick);
    DeleteObject(thin);
}

TEST_F(Recording, DegeneratePolylinesAreRecordedWithEmptyBounds)
{
    const POINT one[1] = {{50, 50}};
    RecordPolyline(state, printer, one, 1);
    EXPECT_EQ(LastBounds(), (std::vector<std::int64_t>{0, 0, 0, 0}));
    RecordPolyline(state, printer, nullptr, 0);
    EXPECT_TRUE(std::get<PolylineParams>(Last().params).points.empty());
    RecordPolyline(state, printer, one, -5);
    EXPECT_TRUE(std::get<PolylineParams>(Last().params).points.empty());
    EXPECT_EQ(state.list.size(), 3u);
    // Points that cannot be read are refused outright.
    EXPECT_EQ(RecordPolyline(state, printer, nullptr, 3), FALSE);
    EXPECT_EQ(state.list.size(), 3u);
}

// Bounds only decide which bands draw a record, so they may be generous but
// must hold everything the call can touch: at least the measured box, and
// no more than the clipping rectangle allows.
TEST_F(Recording, TextBoundsHoldTheMeasuredExtentAndTheRectangle)
{
    SIZE size{};
    ASSERT_TRUE(MeasureTextExtent(state, printer, u"Hello, page", 11, &size));
    ASSERT_GT(size.cx, 20);
    auto contains = [](const RECT& outer, const RECT& inner) {
        return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right
            && outer.bottom >= inner.bottom;
    };
    RECT clip = {0, 0, 20, 15};
    RecordExtTextOut(state, printer, 10, 10, ETO_CLIPPED, &clip, u"Hello, page", 11, nullptr);
    EXPECT_LE(Last().bounds.right, 20);  // clipped: ends at the rectangle's right edge
    EXPECT_LE(Last().bounds.bottom, 15);
    RECT opaque = {0, 0, 500, 400};
    RecordExtTextOut(state, printer, 10, 10, ETO_OPAQUE, &opaque, u"Hello, page", 11, nullptr);
    EXPECT_EQ(LastBounds(), (std::vector<std::int64_t>{0, 0, 500, 400}));  // the whole opaque box, also left of and above the point
    RecordExtTextOut(state, printer, 10, 10, 0, nullptr, u"Hello, page", 11, nullptr);
    EXPECT_TRUE(contains(Last().bounds, RECT{10, 10, 10 + size.cx, 10 + size.cy}));
    EXPECT_FALSE(std::get<ExtTextOutParams>(Last().params).clip.has_value());

    RECT box = {5, 5, 400, 400};
    const int height = RecordDrawText(state, printer, u"one line", -1, &box, DT_LEFT | DT_TOP);
    EXPECT_GT(height, 0);
    EXPECT_TRUE(contains(Last().bounds, RECT{5, 5, 6, 5 + height}));
    EXPECT_LT(Last().bounds.right, 400);  // measured, not the caller's rectangle
    EXPECT_EQ(std::get<DrawTextParams>(Last().params).rect.right, 400);
}

TEST_F(Recording, TextsAreCopiedWithTheCharactersTheyHave)
{
    const char16_t text[] = u"abc";
    const int spacing[3] = {7, 8, 9};
    RecordExtTextOut(state, printer, 0, 0, 0, nullptr, text, 3, spacing);
    const auto& params = std::get<ExtTextOutParams>(Last().params);
    EXPECT_EQ(params.text, u"abc");
    ASSERT_TRUE(params.spacing.has_value());
    EXPECT_EQ(*params.spacing, (std::vector<int>{7, 8, 9}));

    // A count beyond the terminator stops at it instead of reading on.
    RecordExtTextOut(state, printer, 0, 0, 0, nullptr, text, 1000, nullptr);
    EXPECT_EQ(std::get<ExtTextOutParams>(Last().params).count, 3u);

    const std::size_t before = state.list.size();
    RECT box = {0, 0, 10, 10};
    EXPECT_EQ(RecordExtTextOut(state, printer, 0, 0, 0, nullptr, nullptr, 4, nullptr), FALSE);
    EXPECT_EQ(RecordExtTextOut(state, printer, 0, 0, 0, nullptr, text, 0xFFFFFFFFu, nullptr), FALSE);
    EXPECT_EQ(RecordDrawText(state, printer, nullptr, 3, &box, 0), 0);
    EXPECT_EQ(RecordDrawText(state, printer, text, 3, nullptr, 0), 0);
    EXPECT_EQ(state.list.size(), before);
    // An opaque box with no text at all is a fill, and is recorded.
    EXPECT_TRUE(RecordExtTextOut(state, printer, 0, 0, ETO_OPAQUE, &box, nullptr, 0, nullptr));
    EXPECT_EQ(state.list.size(), before + 1);
}

TEST_F(Recording, HugeCoordinatesSaturateInsteadOfOverflowing)
{
    HPEN thick = CreatePen(PS_SOLID, 50, 0);
    RecordSelectObject(state, printer, thick);
    RecordRectangle(state, printer, INT32_MIN + 1, INT32_MIN + 1, INT32_MAX - 1, INT32_MAX - 1);
    EXPECT_EQ(LastBounds(), (std::vector<std::int64_t>{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
    HDC memory = RecordCreateCompatibleDC(state, printer);
    RecordBitBlt(state, printer, INT32_MAX - 5, 0, 100, 100, memory, 0, 0, SRCCOPY);
    EXPECT_EQ(Last().bounds.right, INT32_MAX);
    SelectObject(printer, GetStockObject(BLACK_PEN));
    DeleteObject(thick);
}

TEST_F(Recording, ANewPrinterDcDropsThePageAndDeletesTheOldOne)
{
    RecordRectangle(state, printer, 0, 0, 5, 5);
    HDC memory = RecordCreateCompatibleDC(state, printer);
    ASSERT_TRUE(ReplacePrinterDc(state));
    EXPECT_TRUE(state.list.empty());
    EXPECT_NE(PrinterDc(state), nullptr);
    EXPECT_EQ(GetObjectType(printer), 0u);  // deleted
    EXPECT_EQ(LookupDc(state.dcs, memory), 1);
}

}  // namespace
