#include "platform/gdi/GdiTestSupport.h"
#include "platform/gdi/TextRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

using gditest::Canvas;
using gditest::kWhite;
using gditest::MakeFont;
using gditest::Selected;

namespace {

SIZE Extent(HDC dc, const char16_t* text)
{
    SIZE size{-1, -1};
    EXPECT_TRUE(GetTextExtentExPointW(dc, text, int(std::char_traits<char16_t>::length(text)), 0, nullptr, nullptr, &size));
    return size;
}

// Font heights of either sign are drawn on the reference page; that text
// measures alike on the printer DC that records it and on the bands that
// draw it is the band playback's property test.

// A canvas with Arial at a 20-pixel em selected, drawing opaque on red.
class GdiText : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetBkColor(c_.dc, RGB(255, 0, 0));
        GetTextMetricsW(c_.dc, &tm_);
    }
    // DrawTextW measuring in a box `width` wide: the height it gives and
    // the right edge of the rectangle it leaves.
    std::pair<int, LONG> Calc(const char16_t* text, UINT format, LONG width = 1000)
    {
        RECT r{0, 0, width, 0};
        const int height = DrawTextW(c_.dc, text, -1, &r, format | DT_CALCRECT);
        return {height, r.right};
    }
    Canvas c_{300, 200};
    Selected font_{c_.dc, MakeFont(u"Arial", -20)};
    TEXTMETRICW tm_{};
};

// That partial extents never fall is the text fuzz target's property.
TEST_F(GdiText, FitCountsFollowTheMaximum)
{
    const char16_t* text = u"Quick fox";
    INT partial[9] = {};
    INT fit = -1;
    SIZE size{};
    ASSERT_TRUE(GetTextExtentExPointW(c_.dc, text, 9, 100000, &fit, partial, &size));
    EXPECT_EQ(partial[8], size.cx);
    for (auto [maximum, expected] : {std::pair{100000, 9}, {partial[3], 4}, {partial[3] - 1, 3}, {0, 0}}) {
        ASSERT_TRUE(GetTextExtentExPointW(c_.dc, text, 9, maximum, &fit, nullptr, &size));
        EXPECT_EQ(fit, expected) << maximum;
    }
    // The empty text has no width and the font's height.
    ASSERT_TRUE(GetTextExtentExPointW(c_.dc, text, 0, 10, &fit, nullptr, &size));
    EXPECT_EQ(std::pair(size.cx, size.cy), std::pair(LONG(0), tm_.tmHeight));
}

// That opaque text fills exactly its measured cell is checked for every
// script below; where SetTextAlign puts the cell (the printing path never
// sets it: the prn calls place their text themselves) is left unchecked.

TEST_F(GdiText, SpacingArraysFarFlungOriginsAndAnOpaqueRectangleWithoutText)
{
    INT dx[4] = {30, 30, 30, 30};
    ExtTextOutW(c_.dc, 5, 5, 0, nullptr, u"abcd", 4, dx);
    EXPECT_EQ(c_.Ink().right, 5 + 120);
    // ETO_OPAQUE with ETO_CLIPPED is drawn on the reference page.
    // Far-flung origins and spacing are cut, not overflowed: the last glyph
    // of this text lands in view.
    c_.Fill(kWhite);
    INT far[3] = {2000000000, 147483000, 0};
    EXPECT_TRUE(ExtTextOutW(c_.dc, -2147483000, 5, 0, nullptr, u"MMM", 3, far));
    EXPECT_GT(c_.Ink().right, 5);
    EXPECT_LT(c_.Ink().right, 40);
    EXPECT_TRUE(ExtTextOutW(c_.dc, 2147483000, -2147483000, 0, nullptr, u"MMM", 3, nullptr));
    RECT huge{-2147483647, -2147483647, 2147483647, 2147483647};
    EXPECT_GT(DrawTextW(c_.dc, u"edge", -1, &huge, DT_CENTER | DT_VCENTER | DT_SINGLELINE), 0);
    // Without text, ETO_OPAQUE only paints.
    c_.Fill(kWhite);
    RECT box{50, 10, 70, 30};
    EXPECT_TRUE(ExtTextOutW(c_.dc, 0, 0, ETO_OPAQUE, &box, nullptr, 0, nullptr));
    EXPECT_EQ(c_.Count(RGB(255, 0, 0)), 400);
}

TEST_F(GdiText, CalcRectMeasuresLinesAndWrapsWordsWithoutDrawing)
{
    const LONG h = tm_.tmHeight;
    RECT r{10, 20, 1000, 1000};
    EXPECT_EQ(DrawTextW(c_.dc, u"One line", -1, &r, DT_CALCRECT | DT_SINGLELINE), h);
    EXPECT_EQ(r, (RECT{10, 20, 10 + Extent(c_.dc, u"One line").cx, 20 + h}));
    EXPECT_EQ(c_.Count(kWhite), 300 * 200);
    EXPECT_EQ(Calc(u"a\r\nbb\nccc\rd", 0), std::pair(int(4 * h), Extent(c_.dc, u"ccc").cx));
    // Without word breaks a long line stays one line; with them the spaces
    // at the break are dropped and the wider line sets the width.
    const LONG wider = std::max(Extent(c_.dc, u"alpha beta").cx, Extent(c_.dc, u"gamma delta").cx);
    EXPECT_EQ(Calc(u"alpha beta gamma delta", 0, wider + 2).first, h);
    EXPECT_EQ(Calc(u"alpha beta gamma delta", DT_WORDBREAK, wider + 2), std::pair(int(2 * h), wider));
    // A word wider than the box keeps its own line and widens the result.
    EXPECT_EQ(Calc(u"a extraordinarily b", DT_WORDBREAK, 20), std::pair(int(3 * h), Extent(c_.dc, u"extraordinarily").cx));
}

// Where DrawTextW puts a line in its box (centred, right, bottom, clipped or
// not) the recorder works out on its own for the record's bounds; the band
// playback's random pages draw every such format and would differ from the
// whole page if the two disagreed.

// The underline under a prefixed letter is drawn on the reference page.
TEST_F(GdiText, PrefixesAndTheirOptOut)
{
    EXPECT_EQ(Calc(u"&File && more", 0).second, Extent(c_.dc, u"File & more").cx);
    EXPECT_EQ(Calc(u"&File", DT_NOPREFIX).second, Extent(c_.dc, u"&File").cx);
}

// Text beyond the selected face: characters from fallback faces, shaped
// scripts, right-to-left order. The glyph order is read from the layout
// itself; everything else from pixels and the measuring calls.

using tarvel::gdi::FontFace;
using tarvel::gdi::TextLayout;

std::shared_ptr<FontFace> Face(const char16_t* name, LONG height)
{
    return FontFace::Realise(gditest::Describe(name, height));
}

TextLayout Layout(FontFace& face, const std::u16string& text)
{
    return tarvel::gdi::LayoutText(face, text.data(), int(text.size()), nullptr);
}

// The x of the glyph with this index (from the face that owns it), or -1.
double XOf(const TextLayout& layout, FontFace& face, char32_t c)
{
    FontFace::Glyph g = face.GlyphFor(c);
    FontFace* from = &face.Source(g.source);
    for (const auto& run : layout.runs) {
        if (run.face != from) continue;
        for (int i = run.first; i < run.first + run.count; ++i)
            if (layout.glyphs[std::size_t(i)].index == g.index) return layout.glyphs[std::size_t(i)].x;
    }
    return -1;
}

// Draws the text opaque in red on white and checks that the cell it fills
// is exactly what the measuring calls said.
void ExpectMeasuredAsDrawn(const char16_t* face, const std::u16string& text)
{
    SCOPED_TRACE(text.size());
    Canvas c(400, 80);
    Selected f(c.dc, MakeFont(face, -24));
    SetBkColor(c.dc, RGB(255, 0, 0));
    const COLORREF red = RGB(255, 0, 0);
    const int n = int(text.size());
    SIZE size{};
    INT fit = 0;
    std::vector<INT> partial(text.size());
    ASSERT_TRUE(GetTextExtentExPointW(c.dc, text.data(), n, 100000, &fit, partial.data(), &size));
    EXPECT_EQ(partial.back(), size.cx);
    ASSERT_TRUE(ExtTextOutW(c.dc, 10, 7, 0, nullptr, text.data(), UINT(n), nullptr));
    // Glyphs may overhang the cell; its bottom row is the background's.
    const int bottom = 7 + int(size.cy) - 1, cx = int(size.cx);
    // The pixels either side of column x: 'r' background, '.' paper.
    auto edge = [&c, red](int x, int y) {
        std::string out;
        for (int i : {x - 1, x}) out += c.At(i, y) == red ? 'r' : "?."[c.At(i, y) == kWhite];
        return out;
    };
    EXPECT_EQ(edge(10, bottom) + edge(10 + cx, bottom), ".rr.");
    EXPECT_GT(c.Count(RGB(0, 0, 0)), 30);
    // Right alignment of such lines is the band playback's: its random
    // pages right-align them, placed by the recorder on its own.
    // A spacing array applies per cluster: twenty pixels a unit.
    c.Fill(kWhite);
    std::vector<INT> dx(text.size(), 20);
    ExtTextOutW(c.dc, 10, 7, 0, nullptr, text.data(), UINT(n), dx.data());
    EXPECT_EQ(edge(10 + 20 * n, bottom), "r.");
}

TEST(GdiTextScripts, MissingCharactersComeFromAFaceThatHasThem)
{
    // Liberation Sans has no ideographs: the ideograph comes from another
    // face, sized to the same em, not the box of the missing glyph.
    Canvas c(80, 60);
    Selected f(c.dc, MakeFont(u"Arial", -40));
    ExtTextOutW(c.dc, 10, 5, 0, nullptr, u"\u4e2d", 1, nullptr);
    EXPECT_GT(c.Ink().bottom - c.Ink().top, 28);
    EXPECT_LT(c.Ink().bottom - c.Ink().top, 46);
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
    auto rightmost = [](const TextLayout& l) {
        return std::max_element(l.glyphs.begin(), l.glyphs.end(), [](const cairo_glyph_t& a, const cairo_glyph_t& b) { return a.x < b.x; })->index;
    };
    EXPECT_EQ(rightmost(word), rightmost(Layout(*face, u"\u0633\u0633")));
    EXPECT_NE(rightmost(word), face->GlyphFor(U'\u0633').index);
    // Logical extents: the first letter's extent is its own cluster's.
    EXPECT_EQ(word.extents.back(), word.width);
    EXPECT_LT(word.extents[0], word.width);
    ExpectMeasuredAsDrawn(u"DejaVu Sans", salam);
    // From a face without Arabic, the word comes joined from a fallback.
    ExpectMeasuredAsDrawn(u"Arial", u"Say " + salam + u" twice");
}

TEST_F(GdiText, MixedLatinAndHebrewFollowTheBidiAlgorithm)
{
    auto face = Face(u"Arial", -30);
    ASSERT_TRUE(face);
    // A left-to-right paragraph: the Hebrew word is turned round in place.
    TextLayout ltr = Layout(*face, u"ab \u05e9\u05dc\u05d5\u05dd cd");
    EXPECT_LT(XOf(ltr, *face, U'a'), XOf(ltr, *face, U'\u05dd'));
    EXPECT_LT(XOf(ltr, *face, U'\u05dd'), XOf(ltr, *face, U'\u05e9'));
    EXPECT_LT(XOf(ltr, *face, U'\u05e9'), XOf(ltr, *face, U'c'));
    // A paragraph that starts with Hebrew is right to left: the Latin word
    // comes last logically, so leftmost.
    TextLayout rtl = Layout(*face, u"\u05e9\u05dc\u05d5\u05dd ab!");
    EXPECT_LT(XOf(rtl, *face, U'b'), XOf(rtl, *face, U'\u05dd'));
    EXPECT_LT(XOf(rtl, *face, U'\u05dd'), XOf(rtl, *face, U'\u05e9'));
    EXPECT_LT(XOf(rtl, *face, U'!'), XOf(rtl, *face, U'a'));  // the neutral end takes the paragraph's side
    ExpectMeasuredAsDrawn(u"Arial", u"ab \u05e9\u05dc\u05d5\u05dd cd");
    // DrawTextW wraps in logical order: a right-to-left paragraph two
    // thirds as wide as its one line takes two.
    const char16_t* para = u"\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd \u05e9\u05dc\u05d5\u05dd";
    const auto line = Calc(para, 0);
    EXPECT_EQ(Calc(para, DT_WORDBREAK, line.second * 2 / 3).first, 2 * line.first);
}

// That odd text neither crashes nor overruns is the text fuzz target's; it
// cannot hold texts this long.
TEST_F(GdiText, BadTextNeitherCrashesNorHangs)
{
    SIZE size{};
    // Lone surrogates and 100,000 marks on one base, Latin and Arabic: at
    // most a box a unit, all on one line.
    std::u16string latinMarks(100001, u'\u0301'), arabicMarks(100001, u'\u064e');
    latinMarks[0] = u'a', arabicMarks[0] = u'\u0628';
    for (const std::u16string& text : {std::u16string(u"\u0633\xdc00\u0644\xd800"), latinMarks, arabicMarks}) {
        ASSERT_TRUE(GetTextExtentPoint32W(c_.dc, text.data(), int(text.size()), &size));
        EXPECT_LE(size.cx, std::min<LONG>(30, tm_.tmMaxCharWidth) * LONG(text.size()));
        EXPECT_TRUE(ExtTextOutW(c_.dc, 5, 5, 0, nullptr, text.data(), UINT(text.size()), nullptr));
        RECT r{0, 0, 100, 0};
        EXPECT_EQ(DrawTextW(c_.dc, text.data(), int(text.size()), &r, DT_CALCRECT | DT_WORDBREAK), tm_.tmHeight);
    }
    // A face name that fills all 32 units, with no terminator.
    LOGFONTW lf{};
    lf.lfHeight = -20;
    for (int i = 0; i < LF_FACESIZE; ++i) lf.lfFaceName[i] = u"\u0645Arial"[i % 6];
    Selected full(c_.dc, CreateFontIndirectW(&lf));
    ASSERT_TRUE(full.object);
    ASSERT_TRUE(GetTextExtentPoint32W(c_.dc, u"\u0633\u0644\u0627\u0645", 4, &size));
    EXPECT_GT(size.cx, 0);
}

}  // namespace
