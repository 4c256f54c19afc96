// Text drawn from the cached glyph images against the same text drawn
// through a cairo mask: every byte of the target must agree, whatever the
// font, depth, clipping, alignment, spacing or position.
#include "platform/gdi/GdiTestSupport.h"
#include "platform/gdi/TextRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using gditest::Canvas;

namespace {

struct Case {
    std::u16string face, chars;
    LONG height = -20, weight = FW_NORMAL, escapement = 0;
    bool italic = false, underline = false, strike = false, topDown = true;
    int depth = 24, bkMode = OPAQUE, x = 0, y = 0;
    COLORREF text = RGB(0, 0, 0), back = RGB(255, 255, 255);
    UINT align = TA_LEFT | TA_TOP, options = 0;
    POINT viewport{0, 0};
    RECT clip{};
    std::vector<INT> spacing;  // empty: the font's own advances
};

// The target's bytes after drawing the case, starting from a non-white
// pattern so that pixels the text must not touch are checked too.
std::vector<std::uint8_t> Draw(const Case& c, bool images)
{
    tarvel::gdi::UseGlyphImages(images);
    Canvas canvas(97, 61, c.depth, c.topDown);
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x)
            canvas.Set(x, y, ((x / 5 + y / 3) & 1) ? RGB(255, 255, 255) : RGB(90, 160, 30));
    gditest::Selected font(canvas.dc, gditest::MakeFont(c.face.c_str(), c.height, c.weight, c.italic, c.underline, c.strike, c.escapement));
    SetBkMode(canvas.dc, c.bkMode);
    SetTextColor(canvas.dc, c.text);
    SetBkColor(canvas.dc, c.back);
    SetTextAlign(canvas.dc, c.align);
    SetViewportOrgEx(canvas.dc, c.viewport.x, c.viewport.y, nullptr);
    // DrawTextW draws each of its lines as a text run, as this does.
    ExtTextOutW(canvas.dc, c.x, c.y, c.options, c.options ? &c.clip : nullptr, c.chars.c_str(), UINT(c.chars.size()), c.spacing.empty() ? nullptr : c.spacing.data());
    tarvel::gdi::UseGlyphImages(true);
    return std::vector<std::uint8_t>(canvas.bits, canvas.bits + std::size_t(canvas.stride) * std::size_t(canvas.height));
}

void ExpectSame(const Case& c, const std::string& what)
{
    const std::vector<std::uint8_t> fast = Draw(c, true), slow = Draw(c, false);
    const auto first = std::mismatch(fast.begin(), fast.end(), slow.begin()).first - fast.begin();
    EXPECT_EQ(std::size_t(first), fast.size()) << what << ": first differing byte " << first;
}

Case RandomCase(std::mt19937& rng)
{
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    static const char16_t* faces[] = {u"Liberation Serif", u"Liberation Sans", u"Liberation Mono", u"DejaVu Sans", u"Times New Roman", u"NoSuchFace"};
    static const char16_t pool[] = u"AaBbWwMmgjpqy,.;:!?@#%&*()[]{}/\\|_-+=0123456789 \u00e9\u00c5\u00df\u00f1\u20ac\u2014\u4e2d\ufb01"
                                   u"\u0633\u0644\u0627\u0645\u064e\u05e9\u05dd\u0928\u092e\u094d";
    Case c;
    c.face = faces[pick(6)];
    c.height = pick(4) ? -(4 + pick(100)) : 4 + pick(45);
    c.weight = pick(3) ? FW_NORMAL : FW_BOLD;
    c.italic = pick(4) == 0, c.underline = pick(3) == 0, c.strike = pick(4) == 0;
    c.escapement = pick(10) == 0 ? 450 * (1 + pick(7)) : 0;
    static const int depths[] = {1, 8, 24, 32};
    c.depth = depths[pick(4)], c.topDown = pick(2), c.bkMode = pick(2) ? OPAQUE : TRANSPARENT;
    c.text = RGB(pick(256), pick(256), pick(256)), c.back = RGB(pick(256), pick(256), pick(256));
    static const UINT aligns[] = {TA_LEFT | TA_TOP, TA_CENTER | TA_BASELINE, TA_RIGHT | TA_BOTTOM, TA_LEFT | TA_BASELINE};
    c.align = aligns[pick(4)];
    c.viewport = {pick(3) ? 0 : -pick(40), pick(3) ? 0 : -pick(60)};
    c.x = pick(140) - 30, c.y = pick(100) - 20;
    for (int i = 0, n = pick(14); i < n; ++i) c.chars += pool[pick(int(sizeof pool / sizeof pool[0]) - 1)];
    if (pick(6) == 0) c.chars += u"\U0001F600";  // a surrogate pair
    if (pick(4) == 0)
        for (std::size_t i = 0; i < c.chars.size(); ++i) c.spacing.push_back(pick(30) - 6);
    c.clip = {pick(60) - 10, pick(40) - 10, 40 + pick(80), 30 + pick(50)};
    if (pick(3) == 0) c.options = pick(2) ? ETO_CLIPPED : ETO_CLIPPED | ETO_OPAQUE;
    return c;
}

TEST(GdiGlyphImages, DrawExactlyWhatTheMaskDraws)
{
    std::mt19937 rng(20261205);
    for (int i = 0; i < 400; ++i) {
        Case c = RandomCase(rng);
        ExpectSame(c, "case " + std::to_string(i));
        if (HasFailure()) return;
    }
}

}  // namespace
