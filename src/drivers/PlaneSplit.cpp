#include "drivers/PlaneSplit.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel::drivers {

namespace {

// All bits set when the condition holds. Dithered pixels are random enough
// that a branch per pixel and ink costs more than it saves.
inline std::uint8_t Mask(bool condition)
{
    return static_cast<std::uint8_t>(-static_cast<int>(condition));
}

// Pixels arrive as blue, green, red. Eight pixels make one plane byte; the
// last byte of a row takes the remaining pixels in its high bits.
// Eight pixels of paper (most of the margins and gaps) give no ink in any
// plane and are settled from three words.
inline bool WhiteGroup(const std::uint8_t* p)
{
    std::uint64_t w[3];
    std::memcpy(w, p, sizeof w);
    return (w[0] & w[1] & w[2]) == ~std::uint64_t(0);
}

template <typename PixelFn>
void SplitBytes(const std::uint8_t* row, int n, PixelFn&& pixelFn)
{
    int x = 0;
    while (x < n) {
        const int count = n - x < 8 ? n - x : 8;
        std::uint8_t bit = 0x80;
        pixelFn.Begin();
        if (count == 8 && WhiteGroup(row + 3 * static_cast<long>(x))) {
            pixelFn.Store(x >> 3);
            x += 8;
            continue;
        }
        for (int i = 0; i < count; ++i, bit >>= 1) {
            const std::uint8_t* p = row + 3 * static_cast<long>(x + i);
            pixelFn.Pixel(p[0], p[1], p[2], bit);
        }
        pixelFn.Store(x >> 3);
        x += count;
    }
}

struct BlackBits {
    std::uint8_t* black;
    std::uint8_t k = 0;
    void Begin() { k = 0; }
    void Pixel(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t bit)
    {
        k |= bit & Mask((b | g | r) == 0);
    }
    void Store(int i) { black[i] = k; }
};

struct CmyBits {
    std::uint8_t* cyan;
    std::uint8_t* magenta;
    std::uint8_t* yellow;
    std::uint8_t c = 0, m = 0, y = 0;
    void Begin() { c = m = y = 0; }
    void Pixel(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t bit)
    {
        c |= bit & Mask(r == 0);
        m |= bit & Mask(g == 0);
        y |= bit & Mask(b == 0);
    }
    void Store(int i)
    {
        cyan[i] = c;
        magenta[i] = m;
        yellow[i] = y;
    }
};

struct CmykBits {
    std::uint8_t* cyan;
    std::uint8_t* magenta;
    std::uint8_t* yellow;
    std::uint8_t* black;
    std::uint8_t c = 0, m = 0, y = 0, k = 0;
    void Begin() { c = m = y = k = 0; }
    void Pixel(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t bit)
    {
        // A black pixel is printed with black ink alone, never as a mix of
        // the three colours.
        const std::uint8_t black = Mask((b | g | r) == 0);
        k |= bit & black;
        const std::uint8_t colour = bit & static_cast<std::uint8_t>(~black);
        c |= colour & Mask(r == 0);
        m |= colour & Mask(g == 0);
        y |= colour & Mask(b == 0);
    }
    void Store(int i)
    {
        cyan[i] = c;
        magenta[i] = m;
        yellow[i] = y;
        black[i] = k;
    }
};

}  // namespace

void SplitBlack(const std::uint8_t* row, std::uint8_t* black, int n)
{
    if (n <= 0 || !row || !black) return;
    // Most of a printed text row is paper or solid ink: eight black pixels
    // are settled from three words as well.
    const int groups = n / 8;
    for (int g = 0; g < groups; ++g) {
        const std::uint8_t* p = row + 24 * static_cast<long>(g);
        std::uint64_t w[3];
        std::memcpy(w, p, sizeof w);
        if (WhiteGroup(p)) {
            black[g] = 0;
        } else if ((w[0] | w[1] | w[2]) == 0) {
            black[g] = 0xFF;
        } else {
            BlackBits bits{black};
            bits.Begin();
            std::uint8_t bit = 0x80;
            for (int i = 0; i < 8; ++i, bit >>= 1) bits.Pixel(p[3 * i], p[3 * i + 1], p[3 * i + 2], bit);
            bits.Store(g);
        }
    }
    if (n % 8) SplitBytes(row + 24 * static_cast<long>(groups), n % 8, BlackBits{black + groups});
}

namespace {

// Bit i set when byte i of the 24 at p is 0.
inline std::uint32_t ZeroBytes(const std::uint8_t* p)
{
#if defined(__SSE2__)
    // Where the processor compares sixteen bytes at once, it does.
    const __m128i none = _mm_setzero_si128();
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, none)))
        | (static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, none))) & 0xFF) << 16;
#else
    // Three words tested at once (a byte is not zero exactly when adding
    // 0x7F to its low seven bits, or its own top bit, sets its top bit),
    // their top bits gathered by one multiplication each.
    constexpr std::uint64_t kLow = 0x7F7F7F7F7F7F7F7Full, kTop = 0x8080808080808080ull;
    std::uint64_t w[3];
    std::memcpy(w, p, sizeof w);
    std::uint32_t bits = 0;
    for (int i = 0; i < 3; ++i) {
        const std::uint64_t zero = ~(((w[i] & kLow) + kLow) | w[i]) & kTop;
        bits |= static_cast<std::uint32_t>(((zero >> 7) * 0x0102040810204080ull) >> 56) << (8 * i);
    }
    return bits;
#endif
}

// For the zero bits of four pixels (blue, green, red each), the cyan,
// magenta and yellow nibbles, first pixel in the high bit.
struct InkNibbles {
    std::uint16_t entry[4096];
    constexpr InkNibbles()
        : entry()
    {
        for (int z = 0; z < 4096; ++z) {
            int c = 0, m = 0, y = 0;
            for (int k = 0; k < 4; ++k) {
                const int bit = 8 >> k;
                y |= (z >> (3 * k)) & 1 ? bit : 0;
                m |= (z >> (3 * k + 1)) & 1 ? bit : 0;
                c |= (z >> (3 * k + 2)) & 1 ? bit : 0;
            }
            entry[z] = static_cast<std::uint16_t>(c << 8 | m << 4 | y);
        }
    }
};
constexpr InkNibbles kInkNibbles;

// Cyan, magenta and yellow bytes of eight pixels.
inline void ColourBytes(const std::uint8_t* p, std::uint8_t& c, std::uint8_t& m, std::uint8_t& y)
{
    const std::uint32_t zero = ZeroBytes(p);
    const unsigned first = kInkNibbles.entry[zero & 0xFFF], second = kInkNibbles.entry[zero >> 12];
    c = static_cast<std::uint8_t>((first >> 8 & 0xF) << 4 | (second >> 8 & 0xF));
    m = static_cast<std::uint8_t>((first >> 4 & 0xF) << 4 | (second >> 4 & 0xF));
    y = static_cast<std::uint8_t>((first & 0xF) << 4 | (second & 0xF));
}

}  // namespace

void SplitCmy(const std::uint8_t* row, std::uint8_t* cyan, std::uint8_t* magenta,
              std::uint8_t* yellow, int n)
{
    if (n <= 0 || !row || !cyan || !magenta || !yellow) return;
    const int groups = n / 8;
    for (int g = 0; g < groups; ++g) ColourBytes(row + 24 * static_cast<long>(g), cyan[g], magenta[g], yellow[g]);
    if (n % 8)
        SplitBytes(row + 24 * static_cast<long>(groups), n % 8,
                   CmyBits{cyan + groups, magenta + groups, yellow + groups});
}

void SplitCmyk(const std::uint8_t* row, std::uint8_t* cyan, std::uint8_t* magenta,
               std::uint8_t* yellow, std::uint8_t* black, int n)
{
    if (n <= 0 || !row || !cyan || !magenta || !yellow || !black) return;
    const int groups = n / 8;
    for (int g = 0; g < groups; ++g) {
        std::uint8_t c, m, y;
        ColourBytes(row + 24 * static_cast<long>(g), c, m, y);
        // A black pixel is printed with black ink alone.
        const auto k = static_cast<std::uint8_t>(c & m & y);
        cyan[g] = static_cast<std::uint8_t>(c & ~k);
        magenta[g] = static_cast<std::uint8_t>(m & ~k);
        yellow[g] = static_cast<std::uint8_t>(y & ~k);
        black[g] = k;
    }
    if (n % 8)
        SplitBytes(row + 24 * static_cast<long>(groups), n % 8,
                   CmykBits{cyan + groups, magenta + groups, yellow + groups, black + groups});
}

}  // namespace tarvel::drivers
