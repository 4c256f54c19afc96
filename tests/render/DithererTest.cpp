#include "render/Ditherer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <climits>
#include <limits>
#include <random>
#include <vector>

using tarvel::render::Ditherer;
using tarvel::render::DitherPalette;
using tarvel::render::NearestPaletteIndex;

namespace {

using Row = std::vector<std::uint8_t>;

int Square(int v)
{
    return v * v;
}

// The full search of the palette by squared distance, the lower index
// winning ties.
int Nearest(int r, int g, int b, int n)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int p = 0; p < n; ++p) {
        const auto& ink = DitherPalette[p];
        const int d = Square(r - ink.red) + Square(g - ink.green) + Square(b - ink.blue);
        if (d < bestDistance) bestDistance = d, best = p;
    }
    return best;
}

// The slow, literal form of the error diffusion: the palette searched per
// pixel, luminance multiplied out per pixel, the error rows copied and pure
// pixels passed through. The Ditherer must match it bit for bit.
struct ReferenceDitherer {
    void Prepare(int w, double gamma)
    {
        width = w;
        current.assign(static_cast<std::size_t>(w) * 3, 0);
        next = current;
        for (int v = 0; v < 256; ++v) table[v] = std::min(255, static_cast<int>(std::pow(v * 0.00392156862745098, gamma) * 255.0 + 0.5));
    }

    void ResetErrors() { current.assign(current.size(), 0), next = current; }

    static bool Pure(const std::uint8_t* p, bool mono)
    {
        auto end = [](int v) { return v == 0 || v == 255; };
        return mono ? end(p[0]) && p[1] == p[0] && p[2] == p[0] : end(p[0]) && end(p[1]) && end(p[2]);
    }

    void DitherRow(std::uint8_t* row, bool mono)
    {
        bool pure = true;
        for (int x = 0; x < width; ++x) pure = pure && Pure(row + 3 * x, mono);
        if (pure) return ResetErrors();
        current = next;
        int carry[3] = {0, 0, 0};
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = row + 3 * x;
            const int* cur = &current[3 * x];
            int* nxt = &next[3 * x];
            if (Pure(px, mono) && !(cur[0] | cur[1] | cur[2] | carry[0] | carry[1] | carry[2])) {
                nxt[0] = nxt[1] = nxt[2] = 0;
                continue;
            }
            const int R = table[px[2]], G = table[px[1]], B = table[px[0]];
            const int y = static_cast<int>(B * 0.114 + R * 0.299 + G * 0.587);
            int t[3] = {mono ? y : R, mono ? y : G, mono ? y : B};
            for (int c = 0; c < 3; ++c) t[c] = std::clamp(t[c] + cur[c] + carry[c], 0, 255);
            const auto& ink = DitherPalette[Nearest(t[0], t[1], t[2], mono ? 2 : 8)];
            const int inks[3] = {ink.red, ink.green, ink.blue};
            px[0] = ink.blue;
            px[1] = ink.green;
            px[2] = ink.red;
            for (int c = 0; c < 3; ++c) {
                const int kept = (t[c] - inks[c]) - ((t[c] - inks[c]) >> 2);
                carry[c] = kept >> 1;
                nxt[c] = kept >> 2;
                if (x > 0) nxt[c - 3] += kept >> 2;
            }
        }
    }

    int table[256];
    int width = 0;
    std::vector<int> current;
    std::vector<int> next;
};

// Rows of the kinds a page holds: photo noise, gradients, text on white
// (mostly pure with some grey and black), pure colours, blank rows, a
// picture between white margins (the ditherer visits only the columns
// that need it), and black and white only, sometimes with one byte
// anywhere that breaks the purity: the check reads whole words and then
// single pixels, and a row it wrongly finds pure is passed through
// undithered.
Row RandomRow(std::mt19937& rng, int width, int y)
{
    Row row(static_cast<std::size_t>(width) * 3);
    const unsigned kind = rng() % 8;
    const int from = static_cast<int>(rng() % static_cast<unsigned>(width)), to = from + static_cast<int>(rng() % static_cast<unsigned>(width - from + 1));
    for (int x = 0; x < width; ++x) {
        std::uint8_t* p = &row[3 * x];
        const bool black = rng() % 2 == 0;
        for (int c = 0; c < 3; ++c) {
            const unsigned v = kind == 7 ? (x >= from && x < to ? rng() : 255)
                : kind == 0              ? rng()
                : kind == 1              ? x * (c + 1) + y * 3
                : kind == 2              ? (rng() % 8 == 0 ? rng() : 255)
                : kind == 3              ? (rng() % 2 ? 255 : 0)
                : kind == 4              ? 255
                                         : (black ? 0 : 255);
            p[c] = static_cast<std::uint8_t>(v);
        }
        if (kind == 2 && rng() % 10 == 0) {
            p[0] = p[1] = p[2] = 0;
        }
    }
    if (kind == 6) {  // a grey byte, a byte turned to the other pure value, or a grey pixel
        const std::size_t i = rng() % row.size();
        const unsigned how = rng() % 3;
        const auto grey = static_cast<std::uint8_t>(1 + rng() % 254);
        if (how == 2)
            std::fill_n(row.begin() + static_cast<std::ptrdiff_t>(i - i % 3), 3, grey);
        else
            row[i] = how ? grey : static_cast<std::uint8_t>(255 - row[i]);
    }
    return row;
}

}  // namespace

TEST(DitherRow, MatchesTheReferenceOnSeededPages)
{
    // Pages run the way the pipeline runs them: blank rows are skipped and
    // reset the errors before the next row that is not blank. Some pages
    // switch between colour and monochrome from row to row. One Ditherer
    // serves every page, so each page must start free of the last one's
    // error, as the fresh reference does.
    Ditherer fast;
    ReferenceDitherer slow;
    const double gammas[] = {0.5, 0.5, 1.0, 0.8, 2.2};
    for (unsigned seed = 1; seed <= 90; ++seed) {
        std::mt19937 rng(seed);
        const int width = 1 + static_cast<int>(rng() % 400);
        const int mode = seed % 3;  // colour, monochrome, mixed
        ASSERT_TRUE(fast.Prepare(width, gammas[seed % 5]));
        slow.Prepare(width, gammas[seed % 5]);
        bool blankPending = false;
        for (int y = 0; y < 40; ++y) {
            Row a = RandomRow(rng, width, y);
            if (std::all_of(a.begin(), a.end(), [](std::uint8_t v) { return v == 255; })) {
                blankPending = true;
                continue;
            }
            if (blankPending) {
                fast.ResetErrors();
                slow.ResetErrors();
                blankPending = false;
            }
            const bool mono = mode == 1 || (mode == 2 && rng() % 2 == 0);
            Row b = a;
            fast.DitherRow(a.data(), mono);
            slow.DitherRow(b.data(), mono);
            ASSERT_EQ(a, b) << "seed " << seed << " row " << y;
            ASSERT_EQ(std::vector<int>(fast.nextErrors(), fast.nextErrors() + 3 * width), slow.next) << "seed " << seed << " row " << y;
        }
        fast.Release();
    }
}

// NearestPaletteIndex is the table lookup the rest of the library uses; the
// dithering has its own, so this is its only check.
TEST(NearestColour, AgreesWithTheFullSearchForEveryTarget)
{
    long mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b)
                for (bool mono : {false, true}) mismatches += NearestPaletteIndex(r, g, b, mono) != Nearest(r, g, b, mono ? 2 : 8);
    EXPECT_EQ(mismatches, 0);
}

TEST(Lifecycle, BadArgumentsAreRefusedAndMissingArraysMeanNoWork)
{
    Ditherer d;
    const Row original{30, 20, 10};  // one pixel, blue first
    Row row = original;
    d.DitherRow(row.data(), false);
    d.ResetErrors();
    EXPECT_EQ(row, original);

    ASSERT_TRUE(d.Prepare(10, 0.5));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [width, gamma] : {std::pair{0, 0.5}, {-1, 0.5}, {Ditherer::kMaxWidth + 1, 0.5}, {std::numeric_limits<int>::max(), 0.5}, {10, nan}, {10, inf}}) {
        EXPECT_FALSE(d.Prepare(width, gamma)) << width << " " << gamma;
        EXPECT_EQ(d.width(), 10);
        EXPECT_EQ(d.gamma(), 0.5);
        EXPECT_NE(d.nextErrors(), nullptr);
    }
    d.DitherRow(nullptr, false);

    // Gammas below one are proven entry for entry by the reference; a
    // negative one lifts values above full scale, which are cut to 255.
    ASSERT_TRUE(d.Prepare(4, -3.0));
    EXPECT_EQ(d.gammaTable()[1], 255);
    EXPECT_EQ(d.gammaTable()[0], 0);

    d.Release();
    d.DitherRow(row.data(), true);
    d.ResetErrors();
    EXPECT_EQ(row, original);
}
