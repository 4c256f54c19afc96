#include "platform/gdi/GdiTestSupport.h"

#include <gtest/gtest.h>

using gditest::Canvas;
using gditest::MakeFont;

namespace {

// Selects a font for the life of a test.
struct WithFont {
    HDC dc;
    HFONT font;
    WithFont(HDC d, HFONT f) : dc(d), font(f) { SelectObject(dc, font); }
    ~WithFont() {
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }
};

SIZE Extent(HDC dc, const char16_t* text) {
    SIZE size{-1, -1};
    int n = 0;
    while (text[n]) ++n;
    EXPECT_TRUE(GetTextExtentExPointW(dc, text, n, 0, nullptr, nullptr, &size));
    return size;
}

TEST(GdiText, HeightsMeanEmOrCellAsTheirSignSays) {
    HDC dc = CreateCompatibleDC(nullptr);
    TEXTMETRICW tm{};
    {
        WithFont f(dc, MakeFont(u"Arial", -40));
        ASSERT_TRUE(GetTextMetricsW(dc, &tm));
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 40);
        EXPECT_GT(tm.tmAveCharWidth, 10);
        EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
        EXPECT_EQ(tm.tmWeight, FW_NORMAL);
    }
    {
        WithFont f(dc, MakeFont(u"Arial", 40));
        ASSERT_TRUE(GetTextMetricsW(dc, &tm));
        EXPECT_EQ(tm.tmHeight, 40);
        EXPECT_GT(tm.tmInternalLeading, 0);
        EXPECT_LT(tm.tmHeight - tm.tmInternalLeading, 40);
    }
    DeleteDC(dc);
}

TEST(GdiText, FacesWeightsAndSlantsAreMatched) {
    HDC dc = CreateCompatibleDC(nullptr);
    auto extent = [dc](HFONT font, const char16_t* text) {
        WithFont f(dc, font);
        return Extent(dc, text).cx;
    };
    const LONG regular = extent(MakeFont(u"Arial", -30), u"Wide words");
    EXPECT_GT(extent(MakeFont(u"Arial", -30, FW_BOLD), u"Wide words"), regular);
    EXPECT_EQ(extent(MakeFont(u"Courier New", -30), u"iiii"), extent(MakeFont(u"Courier New", -30), u"WWWW"));
    {
        // A face nobody installed falls back to an installed one.
        WithFont f(dc, MakeFont(u"No Such Face At All", -30));
        EXPECT_GT(Extent(dc, u"Wide words").cx, 0);
        TEXTMETRICW tm{};
        EXPECT_TRUE(GetTextMetricsW(dc, &tm));
        EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 30);
    }
    DeleteDC(dc);
}

TEST(GdiText, ExtentsArePartialSumsAndFitCountsFollowTheMaximum) {
    HDC dc = CreateCompatibleDC(nullptr);
    WithFont f(dc, MakeFont(u"Times New Roman", -25));
    const char16_t* text = u"Quick fox";
    INT partial[9] = {};
    INT fit = -1;
    SIZE size{};
    ASSERT_TRUE(GetTextExtentExPointW(dc, text, 9, 100000, &fit, partial, &size));
    EXPECT_EQ(fit, 9);
    EXPECT_EQ(partial[8], size.cx);
    for (int i = 1; i < 9; ++i) {
        EXPECT_GT(partial[i], partial[i - 1]);
        SIZE prefix{};
        GetTextExtentExPointW(dc, text, i + 1, 0, nullptr, nullptr, &prefix);
        EXPECT_EQ(prefix.cx, partial[i]);  // whole-pixel advances add up exactly
    }
    ASSERT_TRUE(GetTextExtentExPointW(dc, text, 9, partial[3], &fit, nullptr, &size));
    EXPECT_EQ(fit, 4);
    ASSERT_TRUE(GetTextExtentExPointW(dc, text, 9, partial[3] - 1, &fit, nullptr, &size));
    EXPECT_EQ(fit, 3);
    ASSERT_TRUE(GetTextExtentExPointW(dc, text, 9, 0, &fit, nullptr, &size));
    EXPECT_EQ(fit, 0);
    // The empty text has no width and the font's height.
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    ASSERT_TRUE(GetTextExtentExPointW(dc, text, 0, 10, &fit, nullptr, &size));
    EXPECT_EQ(size.cx, 0);
    EXPECT_EQ(size.cy, tm.tmHeight);
    DeleteDC(dc);
}

TEST(GdiText, MeasuresTheSameOnEveryDeviceContext) {
    HDC fresh = CreateCompatibleDC(nullptr);
    Canvas canvas(10, 10);
    HFONT font = MakeFont(u"Tahoma", -33);
    SelectObject(fresh, font);
    SelectObject(canvas.dc, font);
    // A second font object with the same description measures the same too.
    HFONT twin = MakeFont(u"TAHOMA", -33);
    HDC other = CreateCompatibleDC(nullptr);
    SelectObject(other, twin);
    SIZE a = Extent(fresh, u"Recorded then played");
    SIZE b = Extent(canvas.dc, u"Recorded then played");
    SIZE c = Extent(other, u"Recorded then played");
    EXPECT_EQ(a.cx, b.cx);
    EXPECT_EQ(a.cx, c.cx);
    EXPECT_EQ(a.cy, c.cy);
    SelectObject(canvas.dc, GetStockObject(SYSTEM_FONT));
    DeleteDC(fresh);
    DeleteDC(other);
    DeleteObject(font);
    DeleteObject(twin);
}

TEST(GdiText, OpaqueTextFillsExactlyItsMeasuredCell) {
    Canvas c(200, 60);
    WithFont f(c.dc, MakeFont(u"Arial", -24));
    SetBkColor(c.dc, RGB(255, 0, 0));
    SIZE size = Extent(c.dc, u"Measured");
    ASSERT_TRUE(ExtTextOutW(c.dc, 10, 7, 0, nullptr, u"Measured", 8, nullptr));
    RECT ink = c.Ink();
    EXPECT_EQ(ink.left, 10);
    EXPECT_EQ(ink.top, 7);
    EXPECT_EQ(ink.right, 10 + size.cx);
    EXPECT_EQ(ink.bottom, 7 + size.cy);
    // Aliased: only text and background colours, and nothing outside.
    int black = c.Count(RGB(0, 0, 0)), red = c.Count(RGB(255, 0, 0));
    EXPECT_GT(black, 50);
    EXPECT_EQ(black + red, size.cx * size.cy);
}

TEST(GdiText, AlignmentMovesTheCellAroundTheReferencePoint) {
    HFONT font = MakeFont(u"Arial", -20);
    auto cell = [&](UINT align) {
        Canvas c(300, 80);
        SelectObject(c.dc, font);
        SetBkColor(c.dc, RGB(255, 0, 0));
        SetTextAlign(c.dc, align);
        ExtTextOutW(c.dc, 150, 40, 0, nullptr, u"Aligned", 7, nullptr);
        SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
        return c.Ink();
    };
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    SIZE size = Extent(dc, u"Aligned");
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    DeleteDC(dc);
    RECT r = cell(TA_RIGHT | TA_TOP);
    EXPECT_EQ(r.right, 150);
    EXPECT_EQ(r.top, 40);
    r = cell(TA_CENTER | TA_BOTTOM);
    EXPECT_EQ(r.left, 150 - size.cx / 2);
    EXPECT_EQ(r.bottom, 40);
    r = cell(TA_LEFT | TA_BASELINE);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 40 - tm.tmAscent);
    DeleteObject(font);
}

TEST(GdiText, SpacingArrayOpaqueRectangleAndClipping) {
    Canvas c(200, 60);
    WithFont f(c.dc, MakeFont(u"Arial", -20));
    SetBkColor(c.dc, RGB(0, 0, 255));
    INT dx[4] = {30, 30, 30, 30};
    ExtTextOutW(c.dc, 5, 5, 0, nullptr, u"abcd", 4, dx);
    EXPECT_EQ(c.Ink().right, 5 + 120);
    c.Fill(RGB(255, 255, 255));
    // ETO_OPAQUE paints the rectangle; ETO_CLIPPED keeps the text inside it.
    RECT box{50, 10, 70, 30};
    SetBkMode(c.dc, TRANSPARENT);
    ExtTextOutW(c.dc, 40, 12, ETO_OPAQUE | ETO_CLIPPED, &box, u"MMMM", 4, nullptr);
    RECT ink = c.Ink();
    EXPECT_EQ(ink.left, 50);
    EXPECT_EQ(ink.top, 10);
    EXPECT_EQ(ink.right, 70);
    EXPECT_EQ(ink.bottom, 30);
    EXPECT_GT(c.Count(RGB(0, 0, 0)), 0);
    // Far-flung origins and spacing are cut, not overflowed: the last glyph
    // of this text lands in view.
    c.Fill(RGB(255, 255, 255));
    INT far[3] = {2000000000, 147483000, 0};
    EXPECT_TRUE(ExtTextOutW(c.dc, -2147483000, 5, 0, nullptr, u"MMM", 3, far));
    RECT farInk = c.Ink();
    EXPECT_GE(farInk.left, 0);
    EXPECT_GT(farInk.right, 5);
    EXPECT_LT(farInk.right, 40);
    EXPECT_TRUE(ExtTextOutW(c.dc, 2147483000, -2147483000, 0, nullptr, u"MMM", 3, nullptr));
    RECT huge{-2147483647, -2147483647, 2147483647, 2147483647};
    EXPECT_GT(DrawTextW(c.dc, u"edge", -1, &huge, DT_CENTER | DT_VCENTER | DT_SINGLELINE), 0);
    // Without text, ETO_OPAQUE only paints.
    c.Fill(RGB(255, 255, 255));
    EXPECT_TRUE(ExtTextOutW(c.dc, 0, 0, ETO_OPAQUE, &box, nullptr, 0, nullptr));
    EXPECT_EQ(c.Count(RGB(0, 0, 255)), 400);
}

TEST(GdiText, UnderlineStrikeOutAndEscapement) {
    auto inkOf = [](HFONT font, const char16_t* text) {
        Canvas c(160, 160);
        SelectObject(c.dc, font);
        SetBkMode(c.dc, TRANSPARENT);
        SetTextAlign(c.dc, TA_BASELINE);
        int n = 0;
        while (text[n]) ++n;
        ExtTextOutW(c.dc, 60, 100, 0, nullptr, text, UINT(n), nullptr);
        SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
        return std::make_pair(c.Ink(), c.Count(RGB(0, 0, 0)));
    };
    auto plain = inkOf(MakeFont(u"Arial", -30), u"xxx");
    auto under = inkOf(MakeFont(u"Arial", -30, FW_NORMAL, false, true), u"xxx");
    auto strike = inkOf(MakeFont(u"Arial", -30, FW_NORMAL, false, false, true), u"xxx");
    EXPECT_LE(plain.first.bottom, 100);
    EXPECT_GT(under.first.bottom, 100);  // below the baseline
    EXPECT_GT(strike.second, plain.second);
    EXPECT_EQ(strike.first.bottom, plain.first.bottom);
    // Rotated a quarter turn counter-clockwise, a line of text runs upwards.
    auto flat = inkOf(MakeFont(u"Arial", -20), u"WWWW");
    auto rotated = inkOf(MakeFont(u"Arial", -20, FW_NORMAL, false, false, false, 900), u"WWWW");
    EXPECT_GT(flat.first.right - flat.first.left, flat.first.bottom - flat.first.top);
    EXPECT_GT(rotated.first.bottom - rotated.first.top, rotated.first.right - rotated.first.left);
    EXPECT_LE(rotated.first.bottom, 101);
}

TEST(GdiText, TextDrawnInBandsEqualsTextDrawnWhole) {
    auto draw = [](HDC dc) {
        HFONT font = MakeFont(u"Times New Roman", -17, FW_BOLD, true, true);
        HGDIOBJ old = SelectObject(dc, font);
        SetBkColor(dc, RGB(200, 200, 0));
        ExtTextOutW(dc, 3, 2, 0, nullptr, u"Banded text, agreed", 19, nullptr);
        RECT r{0, 20, 120, 60};
        DrawTextW(dc, u"Wrapped words in a box", -1, &r, DT_WORDBREAK | DT_CENTER);
        SelectObject(dc, old);
        DeleteObject(font);
    };
    for (int bandHeight : {3, 11}) EXPECT_EQ(gditest::BandDifference(120, 60, 120, bandHeight, draw), "");
}

class GdiDrawText : public ::testing::Test {
protected:
    void SetUp() override {
        font_ = MakeFont(u"Arial", -20);
        SelectObject(c_.dc, font_);
        SetBkColor(c_.dc, RGB(255, 0, 0));
        GetTextMetricsW(c_.dc, &tm_);
    }
    void TearDown() override {
        SelectObject(c_.dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font_);
    }
    Canvas c_{300, 200};
    HFONT font_ = nullptr;
    TEXTMETRICW tm_{};
};

TEST_F(GdiDrawText, CalcRectMeasuresWithoutDrawing) {
    RECT r{10, 20, 1000, 1000};
    SIZE size = Extent(c_.dc, u"One line");
    EXPECT_EQ(DrawTextW(c_.dc, u"One line", -1, &r, DT_CALCRECT | DT_SINGLELINE), tm_.tmHeight);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 10 + size.cx);
    EXPECT_EQ(r.bottom, 20 + tm_.tmHeight);
    EXPECT_EQ(c_.Count(RGB(255, 255, 255)), 300 * 200);
    // Empty text: an empty rectangle and a zero result.
    r = RECT{10, 20, 100, 100};
    EXPECT_EQ(DrawTextW(c_.dc, u"", -1, &r, DT_CALCRECT), 0);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 20);
}

TEST_F(GdiDrawText, LineBreaksAndWordWrapping) {
    RECT r{0, 0, 1000, 0};
    EXPECT_EQ(DrawTextW(c_.dc, u"a\r\nbb\nccc\rd", -1, &r, DT_CALCRECT), 4 * tm_.tmHeight);
    EXPECT_EQ(r.right, Extent(c_.dc, u"ccc").cx);
    // Without word breaks a long line stays one line.
    LONG wider = std::max(Extent(c_.dc, u"alpha beta").cx, Extent(c_.dc, u"gamma delta").cx);
    r = RECT{0, 0, wider + 2, 0};
    EXPECT_EQ(DrawTextW(c_.dc, u"alpha beta gamma delta", -1, &r, DT_CALCRECT), tm_.tmHeight);
    r = RECT{0, 0, wider + 2, 0};
    EXPECT_EQ(DrawTextW(c_.dc, u"alpha beta gamma delta", -1, &r, DT_CALCRECT | DT_WORDBREAK),
              2 * tm_.tmHeight);
    EXPECT_EQ(r.right, wider);  // the wider of the two lines, spaces at the break dropped
    // A word wider than the box keeps its own line and widens the result.
    SIZE longWord = Extent(c_.dc, u"extraordinarily");
    r = RECT{0, 0, 20, 0};
    EXPECT_EQ(DrawTextW(c_.dc, u"a extraordinarily b", -1, &r, DT_CALCRECT | DT_WORDBREAK),
              3 * tm_.tmHeight);
    EXPECT_EQ(r.right, longWord.cx);
}

TEST_F(GdiDrawText, HorizontalAndVerticalPlacement) {
    SIZE size = Extent(c_.dc, u"Placed");
    RECT box{20, 30, 220, 130};
    DrawTextW(c_.dc, u"Placed", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RECT ink = c_.Ink();
    EXPECT_EQ(ink.left, 20 + (200 - size.cx) / 2);
    EXPECT_EQ(ink.top, 30 + (100 - tm_.tmHeight) / 2);
    EXPECT_EQ(ink.bottom - ink.top, tm_.tmHeight);
    c_.Fill(RGB(255, 255, 255));
    int result = DrawTextW(c_.dc, u"Placed", -1, &box, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    ink = c_.Ink();
    EXPECT_EQ(ink.right, 220);
    EXPECT_EQ(ink.bottom, 130);
    EXPECT_EQ(result, 100);  // from the top of the box to the bottom of the text
    c_.Fill(RGB(255, 255, 255));
    // Vertical centring needs a single line; otherwise text starts at the top.
    DrawTextW(c_.dc, u"Placed", -1, &box, DT_VCENTER);
    EXPECT_EQ(c_.Ink().top, 30);
}

TEST_F(GdiDrawText, ClipsToTheBoxUnlessToldNot) {
    RECT box{10, 10, 40, 40};
    DrawTextW(c_.dc, u"Overflowing text", -1, &box, DT_SINGLELINE);
    EXPECT_EQ(c_.Ink().right, 40);
    c_.Fill(RGB(255, 255, 255));
    DrawTextW(c_.dc, u"Overflowing text", -1, &box, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_EQ(c_.Ink().right, 10 + Extent(c_.dc, u"Overflowing text").cx);
}

TEST_F(GdiDrawText, PrefixesTabsAndTheirOptOuts) {
    RECT r{0, 0, 1000, 0};
    DrawTextW(c_.dc, u"&File && more", -1, &r, DT_CALCRECT);
    EXPECT_EQ(r.right, Extent(c_.dc, u"File & more").cx);
    r = RECT{0, 0, 1000, 0};
    DrawTextW(c_.dc, u"&File", -1, &r, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(r.right, Extent(c_.dc, u"&File").cx);

    // The prefixed letter is underlined: more ink below the baseline.
    SetBkMode(c_.dc, TRANSPARENT);
    RECT box{0, 0, 300, 100};
    DrawTextW(c_.dc, u"&File", -1, &box, 0);
    int marked = c_.Count(RGB(0, 0, 0));
    c_.Fill(RGB(255, 255, 255));
    DrawTextW(c_.dc, u"File", -1, &box, 0);
    EXPECT_GT(marked, c_.Count(RGB(0, 0, 0)));

    // Tabs expand to stops of eight average character widths.
    r = RECT{0, 0, 1000, 0};
    DrawTextW(c_.dc, u"a\tb", -1, &r, DT_CALCRECT | DT_EXPANDTABS);
    EXPECT_EQ(r.right, 8 * tm_.tmAveCharWidth + Extent(c_.dc, u"b").cx);
}

}  // namespace
