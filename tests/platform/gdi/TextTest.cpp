#include "platform/gdi/GdiTestSupport.h"
#include "platform/gdi/TextRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using gditest::Canvas;
using gditest::MakeFont;

namespace {

// Selects a font for the life of a test.
struct WithFont {
    HDC dc;
    HFONT font;
    WithFont(HDC d, HFONT f)
        : dc(d)
        , font(f)
    {
        SelectObject(dc, font);
    }
    ~WithFont()
    {
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }
};

SIZE Extent(HDC dc, const char16_t* text)
{
    SIZE size{-1, -1};
    int n = 0;
    while (text[n]) ++n;
    EXPECT_TRUE(GetTextExtentExPointW(dc, text, n, 0, nullptr, nullptr, &size));
    return size;
}

TEST(GdiText, HeightsMeanEmOrCellAsTheirSignSays)
{
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

TEST(GdiText, FacesWeightsAndSlantsAreMatched)
{
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

TEST(GdiText, ExtentsArePartialSumsAndFitCountsFollowTheMaximum)
{
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

TEST(GdiText, MeasuresTheSameOnEveryDeviceContext)
{
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

TEST(GdiText, OpaqueTextFillsExactlyItsMeasuredCell)
{
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

TEST(GdiText, AlignmentMovesTheCellAroundTheReferencePoint)
{
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

TEST(GdiText, SpacingArrayOpaqueRectangleAndClipping)
{
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

TEST(GdiText, UnderlineStrikeOutAndEscapement)
{
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

class GdiDrawText : public ::testing::Test {
protected:
    void SetUp() override
    {
        font_ = MakeFont(u"Arial", -20);
        SelectObject(c_.dc, font_);
        SetBkColor(c_.dc, RGB(255, 0, 0));
        GetTextMetricsW(c_.dc, &tm_);
    }
    void TearDown() override
    {
        SelectObject(c_.dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font_);
    }
    Canvas c_{300, 200};
    HFONT font_ = nullptr;
    TEXTMETRICW tm_{};
};

TEST_F(GdiDrawText, CalcRectMeasuresWithoutDrawing)
{
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

TEST_F(GdiDrawText, LineBreaksAndWordWrapping)
{
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

TEST_F(GdiDrawText, HorizontalAndVerticalPlacement)
{
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

TEST_F(GdiDrawText, ClipsToTheBoxUnlessToldNot)
{
    RECT box{10, 10, 40, 40};
    DrawTextW(c_.dc, u"Overflowing text", -1, &box, DT_SINGLELINE);
    EXPECT_EQ(c_.Ink().right, 40);
    c_.Fill(RGB(255, 255, 255));
    DrawTextW(c_.dc, u"Overflowing text", -1, &box, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_EQ(c_.Ink().right, 10 + Extent(c_.dc, u"Overflowing text").cx);
}

TEST_F(GdiDrawText, PrefixesTabsAndTheirOptOuts)
{
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

// Text beyond the selected face: characters from fallback faces, shaped
// scripts, right-to-left order. The glyph order is read from the layout
// itself; everything else from pixels and the measuring calls.
namespace {

using tarvel::gdi::FontFace;
using tarvel::gdi::LayoutText;
using tarvel::gdi::TextLayout;

std::shared_ptr<FontFace> Face(const char16_t* name, LONG height)
{
    LOGFONTW lf{};
    lf.lfHeight = height;
    for (int i = 0; name[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = name[i];
    return FontFace::Realise(lf);
}

TextLayout Layout(FontFace& face, const std::u16string& text)
{
    return LayoutText(face, text.data(), int(text.size()), nullptr);
}

// The x of the glyph with this index (from the face that owns it), or -1.
double XOf(const TextLayout& layout, FontFace& face, char32_t c)
{
    FontFace::Glyph g = face.GlyphFor(c);
    FontFace* from = &face.Source(g.source);
    for (const auto& run : layout.runs) {
        if (run.face != from) continue;
        for (int i = run.first; i < run.first + run.count; ++i) {
            if (layout.glyphs[std::size_t(i)].index == g.index) return layout.glyphs[std::size_t(i)].x;
        }
    }
    return -1;
}

// Draws the text opaque in red on white and checks that the cell it fills
// is exactly what the measuring calls said, on ExtTextOutW and DrawTextW.
void ExpectMeasuredAsDrawn(const char16_t* face, const std::u16string& text)
{
    SCOPED_TRACE(text.size());
    Canvas c(400, 80);
    WithFont f(c.dc, MakeFont(face, -24));
    SetBkColor(c.dc, RGB(255, 0, 0));
    SIZE size{};
    INT fit = 0;
    std::vector<INT> partial(text.size());
    ASSERT_TRUE(GetTextExtentExPointW(c.dc, text.data(), int(text.size()), 100000, &fit, partial.data(), &size));
    EXPECT_EQ(partial.back(), size.cx);
    for (std::size_t i = 1; i < partial.size(); ++i) EXPECT_GE(partial[i], partial[i - 1]);
    ASSERT_TRUE(ExtTextOutW(c.dc, 10, 7, 0, nullptr, text.data(), UINT(text.size()), nullptr));
    // Glyphs may overhang the cell; its bottom row is the background's.
    const int bottom = 7 + int(size.cy) - 1;
    EXPECT_EQ(c.At(9, bottom), RGB(255, 255, 255));
    EXPECT_EQ(c.At(10, bottom), RGB(255, 0, 0));
    EXPECT_EQ(c.At(10 + int(size.cx) - 1, bottom), RGB(255, 0, 0));
    EXPECT_EQ(c.At(10 + int(size.cx), bottom), RGB(255, 255, 255));
    EXPECT_GT(c.Count(RGB(0, 0, 0)), 30);
    RECT r{0, 0, 1000, 0};
    DrawTextW(c.dc, text.data(), int(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(r.right, size.cx);
    // Right alignment puts the visual line's right end on the box's.
    c.Fill(RGB(255, 255, 255));
    RECT box{0, 0, 390, 60};
    DrawTextW(c.dc, text.data(), int(text.size()), &box, DT_RIGHT | DT_SINGLELINE);
    EXPECT_EQ(c.At(389, int(size.cy) - 1), RGB(255, 0, 0));
    EXPECT_EQ(c.At(390 - int(size.cx), int(size.cy) - 1), RGB(255, 0, 0));
    EXPECT_EQ(c.At(389 - int(size.cx), int(size.cy) - 1), RGB(255, 255, 255));
    // A spacing array applies per cluster: twenty pixels a unit.
    c.Fill(RGB(255, 255, 255));
    std::vector<INT> dx(text.size(), 20);
    ExtTextOutW(c.dc, 10, 7, 0, nullptr, text.data(), UINT(text.size()), dx.data());
    EXPECT_EQ(c.At(10 + 20 * int(text.size()) - 1, bottom), RGB(255, 0, 0));
    EXPECT_EQ(c.At(10 + 20 * int(text.size()), bottom), RGB(255, 255, 255));
}

TEST(GdiTextScripts, MissingCharactersComeFromAFaceThatHasThem)
{
    // Liberation Sans has no ideographs: the ideograph is drawn, not the
    // box of the missing glyph.
    auto box = [](const char16_t* text) {
        Canvas c(80, 60);
        WithFont f(c.dc, MakeFont(u"Arial", -40));
        SetBkMode(c.dc, TRANSPARENT);
        ExtTextOutW(c.dc, 10, 5, 0, nullptr, text, 1, nullptr);
        return std::make_pair(c.Picture(), c.Ink());
    };
    auto missing = box(u"\ue000");  // private use: nobody's letter
    auto ideograph = box(u"\u4e2d");
    EXPECT_NE(ideograph.first, missing.first);
    // Sized to the same em: a full-height ideograph of about 40 pixels.
    EXPECT_GT(ideograph.second.bottom - ideograph.second.top, 28);
    EXPECT_LT(ideograph.second.bottom - ideograph.second.top, 46);
    auto face = Face(u"Arial", -40);
    ASSERT_TRUE(face);
    EXPECT_NE(face->GlyphFor(U'\u4e2d').source, 0);
    EXPECT_EQ(face->GlyphFor(U'a').source, 0);
    EXPECT_EQ(face->GlyphFor(U'\ue000').index, 0u);
    ExpectMeasuredAsDrawn(u"Arial", u"Price \u4e2d\u6587 \u0928\u092e\u0938\u094d\u0924\u0947");
}

TEST(GdiTextScripts, ArabicIsJoinedAndRunsRightToLeft)
{
    auto face = Face(u"DejaVu Sans", -30);
    ASSERT_TRUE(face);
    const std::u16string salam = u"\u0633\u0644\u0627\u0645";
    TextLayout word = Layout(*face, salam);
    EXPECT_LT(word.glyphs.size(), salam.size());  // lam and alef make one glyph
    // The first letter, drawn rightmost, in its initial form: the same
    // glyph as starts another word, not the letter standing alone.
    TextLayout other = Layout(*face, u"\u0633\u0633");
    auto rightmost = [](const TextLayout& l) {
        return std::max_element(l.glyphs.begin(), l.glyphs.end(),
                                [](const cairo_glyph_t& a, const cairo_glyph_t& b) { return a.x < b.x; })
            ->index;
    };
    EXPECT_EQ(rightmost(word), rightmost(other));
    EXPECT_NE(rightmost(word), face->GlyphFor(U'\u0633').index);
    // Logical extents: the first letter's extent is its own cluster's.
    EXPECT_EQ(word.extents.back(), word.width);
    EXPECT_LT(word.extents[0], word.width);
    ExpectMeasuredAsDrawn(u"DejaVu Sans", salam);
    // From a face without Arabic, the word comes joined from a fallback.
    ExpectMeasuredAsDrawn(u"Arial", u"Say " + salam + u" twice");
}

TEST(GdiTextScripts, MixedLatinAndHebrewFollowTheBidiAlgorithm)
{
    auto face = Face(u"Arial", -30);
    ASSERT_TRUE(face);
    // A left-to-right paragraph: the Hebrew word is turned round in place.
    TextLayout ltr = Layout(*face, u"ab \u05e9\u05dc\u05d5\u05dd cd");
    double a = XOf(ltr, *face, U'a'), shin = XOf(ltr, *face, U'\u05e9'), mem = XOf(ltr, *face, U'\u05dd'),
           c = XOf(ltr, *face, U'c');
    EXPECT_LT(a, mem);
    EXPECT_LT(mem, shin);
    EXPECT_LT(shin, c);
    // A paragraph that starts with Hebrew is right to left: the Latin word
    // comes last logically, so leftmost.
    TextLayout rtl = Layout(*face, u"\u05e9\u05dc\u05d5\u05dd ab!");
    EXPECT_LT(XOf(rtl, *face, U'b'), XOf(rtl, *face, U'\u05dd'));
    EXPECT_LT(XOf(rtl, *face, U'\u05dd'), XOf(rtl, *face, U'\u05e9'));
    EXPECT_LT(XOf(rtl, *face, U'!'), XOf(rtl, *face, U'a'));  // the neutral end takes the paragraph's side
    ExpectMeasuredAsDrawn(u"Arial", u"ab \u05e9\u05dc\u05d5\u05dd cd");
    // DrawTextW wraps in logical order: the first logical word of a
    // right-to-left paragraph ends its first line on the right.
    Canvas canvas(200, 100);
    WithFont f(canvas.dc, MakeFont(u"Arial", -20));
    RECT calc{0, 0, 1000, 0};
    const std::u16string para = u"\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd \u05e9\u05dc\u05d5\u05dd";
    DrawTextW(canvas.dc, para.data(), int(para.size()), &calc, DT_CALCRECT);
    RECT narrow{0, 0, calc.right * 2 / 3, 0};
    TEXTMETRICW tm{};
    GetTextMetricsW(canvas.dc, &tm);
    EXPECT_EQ(DrawTextW(canvas.dc, para.data(), int(para.size()), &narrow, DT_CALCRECT | DT_WORDBREAK),
              2 * tm.tmHeight);
}

TEST(GdiTextScripts, BadTextNeitherCrashesNorHangs)
{
    Canvas c(300, 60);
    WithFont f(c.dc, MakeFont(u"Arial", -20));
    SIZE size{};
    TEXTMETRICW tm{};
    GetTextMetricsW(c.dc, &tm);
    const std::u16string lone[] = {u"a\xd800"
                                   u"b\xdc00",
                                   u"\u0633\xdc00\u0644\xd800", u"\xd800"};
    for (const auto& text : lone) {
        ASSERT_TRUE(GetTextExtentPoint32W(c.dc, text.data(), int(text.size()), &size));
        EXPECT_GT(size.cx, 0);
        EXPECT_LT(size.cx, 30 * LONG(text.size()));
        EXPECT_TRUE(ExtTextOutW(c.dc, 5, 5, 0, nullptr, text.data(), UINT(text.size()), nullptr));
    }
    // 100,000 marks on one base, Latin and Arabic.
    for (char16_t base : {u'a', u'\u0628'}) {
        std::u16string marks(100001, base == u'a' ? u'\u0301' : u'\u064e');
        marks[0] = base;
        ASSERT_TRUE(GetTextExtentPoint32W(c.dc, marks.data(), int(marks.size()), &size));
        EXPECT_GE(size.cx, 0);
        EXPECT_TRUE(ExtTextOutW(c.dc, 5, 5, 0, nullptr, marks.data(), UINT(marks.size()), nullptr));
        RECT r{0, 0, 100, 0};
        EXPECT_EQ(DrawTextW(c.dc, marks.data(), int(marks.size()), &r, DT_CALCRECT | DT_WORDBREAK), tm.tmHeight);
    }
    // Only control characters: a box each at most, one line per break.
    const std::u16string controls = u"\x01\x02\x1b\x7f\u200f\u202e";
    ASSERT_TRUE(GetTextExtentPoint32W(c.dc, controls.data(), int(controls.size()), &size));
    EXPECT_GE(size.cx, 0);
    EXPECT_LE(size.cx, tm.tmMaxCharWidth * LONG(controls.size()));
    RECT r{0, 0, 100, 0};
    EXPECT_EQ(DrawTextW(c.dc, u"\x01\r\n\x02", -1, &r, DT_CALCRECT), 2 * tm.tmHeight);
    // A face name that fills all 32 units, with no terminator.
    LOGFONTW lf{};
    lf.lfHeight = -20;
    for (int i = 0; i < LF_FACESIZE; ++i) lf.lfFaceName[i] = u"\u0645Arial"[i % 6];
    HFONT full = CreateFontIndirectW(&lf);
    ASSERT_TRUE(full);
    HGDIOBJ old = SelectObject(c.dc, full);
    ASSERT_TRUE(GetTextExtentPoint32W(c.dc, u"\u0633\u0644\u0627\u0645", 4, &size));
    EXPECT_GT(size.cx, 0);
    SelectObject(c.dc, old);
    DeleteObject(full);
}

}  // namespace
