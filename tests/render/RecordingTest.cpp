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

TEST_F(Recording, TheEleventhBrushGrowsTheTableAndKeepsEarlierIndexes)
{
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 11; ++i) {
        brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
        RecordSelectObject(state, printer, brushes.back());
    }
    EXPECT_EQ(state.tables.brushes.count, 11);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(state.tables.brushes.descriptions[std::get<SelectParams>(state.list[i].params).index].lbColor, RGB(i, 0, 0));
    EXPECT_EQ(GetHandle(state.tables.brushes, 11), nullptr);
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

TEST_F(Recording, UnknownDeviceContextsAndCopiesOffThePageGetTheFailureValueAndNoRecord)
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
    // Copies go onto the page only.
    HDC memory = RecordCreateCompatibleDC(state, printer);
    EXPECT_EQ(RecordBitBlt(state, memory, 0, 0, 5, 5, printer, 0, 0, SRCCOPY), FALSE);
    EXPECT_EQ(RecordStretchBlt(state, memory, 0, 0, 5, 5, printer, 0, 0, 2, 2, SRCCOPY), FALSE);
    EXPECT_EQ(MeasureTextMetrics(state, stranger, &metrics), FALSE);
    EXPECT_EQ(MeasureTextExtent(state, stranger, u"x", 1, &size), FALSE);
    EXPECT_EQ(MeasureTextExtentEx(state, stranger, u"x", 1, 0, nullptr, nullptr, &size), FALSE);
    EXPECT_TRUE(state.list.empty());
    EXPECT_TRUE(MeasureTextExtent(state, printer, u"Hello", 5, &size));
    EXPECT_GT(size.cx, 10);
    DeleteDC(stranger);
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

TEST_F(Recording, TextsAreCopiedWithTheCharactersTheyHave)
{
    // A count beyond the terminator stops at it instead of reading on.
    const char16_t text[] = u"abc";
    RecordExtTextOut(state, printer, 0, 0, 0, nullptr, text, 1000, nullptr);
    EXPECT_EQ(std::get<ExtTextOutParams>(Last().params).text, u"abc");

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

}  // namespace
