#include "render/Ditherer.h"

#include "platform/system/Words.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

namespace tarvel::render {

using tarvel::platform::Load64;

namespace {

// The palette holds every corner of the colour cube, so the squared distance
// to it is a sum of independent per-component terms and the nearest colour
// takes, component by component, the nearer of 0 and 255: 255 from 128 up.
// A component is never equally far from both, so colour ties cannot occur.
// Between white and black, white is nearer exactly when the three targets
// sum to more than 3 x 127.5, that is to 383 or more; again no tie exists.
// The test suite checks both rules against the full table search for every
// clamped target.
constexpr int kWhiteSum = 383;

constexpr int Clamp(int t)
{
    return std::min(std::max(t, 0), 255);
}

// 255 for a component at or above the middle, else 0.
constexpr int ColourInk(int t)
{
    return -(t >> 7) & 255;
}

// Spreads the error of one component: about 3/8 goes right (the carry),
// 3/16 straight down and 3/16 down-left (the returned share); the last
// quarter is dropped so that errors fade instead of piling up.
constexpr int Diffuse(int e, int& carry)
{
    const int kept = e - (e >> 2);
    carry = kept >> 1;
    return kept >> 2;
}

// What a colour component's target decides, looked up by the unclamped sum
// of its gamma value, the error from above and the carry: the ink, the
// share kept down and the carry to the right. The carry is serial along a
// row, and one load after one addition is the shortest path from one
// pixel's carry to the next (the arithmetic takes about twice as long).
// The sums stay well inside the table: gamma values are 0..255; a colour
// row carries at most 48 either way, and error from above is at most 96
// either way (a monochrome row's error, as rows may switch modes). The
// three answers lie in three sections of one byte table, so that one
// register reaches them all: the loop has barely enough registers for its
// carries and pointers, and a carry kept on the stack lengthens the chain.
constexpr int kLowestSum = -256;
constexpr int kSums = 768;
// Section offsets in the table, each indexed by sum - kLowestSum.
constexpr int kCarryAt = 0;
constexpr int kDownAt = kSums;
constexpr int kInkAt = 2 * kSums;

constexpr std::array<std::int8_t, 3 * kSums> MakeSteps()
{
    std::array<std::int8_t, 3 * kSums> steps{};
    for (int i = 0; i < kSums; ++i) {
        const int t = Clamp(kLowestSum + i);
        const int ink = ColourInk(t);
        int carry = 0;
        const int down = Diffuse(t - ink, carry);
        steps[static_cast<std::size_t>(kCarryAt + i)] = static_cast<std::int8_t>(carry);
        steps[static_cast<std::size_t>(kDownAt + i)] = static_cast<std::int8_t>(down);
        // 0 or 255, kept as its byte.
        steps[static_cast<std::size_t>(kInkAt + i)] = static_cast<std::int8_t>(static_cast<std::uint8_t>(ink));
    }
    return steps;
}
constexpr std::array<std::int8_t, 3 * kSums> kSteps = MakeSteps();

bool ColourRowIsPure(const std::uint8_t* row, std::size_t bytes)
{
    // Chunked so that the inner loop has no early exit and vectorises; a
    // photo row fails in its first chunk, a text row is read once.
    constexpr std::size_t kChunk = 64;
    std::size_t i = 0;
    for (; i + kChunk <= bytes; i += kChunk) {
        unsigned impure = 0;
        for (std::size_t k = 0; k < kChunk; ++k) {
            impure |= static_cast<std::uint8_t>(row[i + k] + 1) > 1;
        }
        if (impure) {
            return false;
        }
    }
    for (; i < bytes; ++i) {
        if (row[i] != 0 && row[i] != 255) {
            return false;
        }
    }
    return true;
}

bool MonochromePixelIsPure(const std::uint8_t* p)
{
    return (p[0] == 0 || p[0] == 255) && p[1] == p[0] && p[2] == p[0];
}

// Within a pixel, each byte must equal the next one; across the border of
// two pixels they may differ. The pattern repeats every 48 bytes (sixteen
// pixels), which the loop below takes whole, so that it vectorises.
constexpr std::size_t kBlock = 48;
struct PairMask {
    std::uint8_t byte[kBlock];
    constexpr PairMask()
        : byte()
    {
        for (std::size_t j = 0; j < kBlock; ++j)
            byte[j] = j % 3 != 2 ? 0xFF : 0x00;
    }
};
constexpr PairMask kPairs;

bool MonochromeRowIsPure(const std::uint8_t* row, int width)
{
    const std::size_t bytes = static_cast<std::size_t>(width) * 3;
    std::size_t i = 0;
    // A block reads one byte past its sixteen pixels, so the last pixel is
    // always left to the plain loop. Four blocks go between the checks.
    while (i + kBlock + 1 <= bytes) {
        const std::size_t blocks = std::min<std::size_t>(4, (bytes - 1 - i) / kBlock);
        std::uint8_t bad = 0;
        for (std::size_t k = 0; k < blocks; ++k, i += kBlock) {
            const std::uint8_t* p = row + i;
            for (std::size_t j = 0; j < kBlock; ++j) {
                bad |= static_cast<std::uint8_t>((p[j] ^ p[j + 1]) & kPairs.byte[j]);
                bad |= static_cast<std::uint8_t>(static_cast<std::uint8_t>(p[j] + 1) > 1);
            }
        }
        if (bad)
            return false;
    }
    for (std::size_t x = i / 3; x < static_cast<std::size_t>(width); ++x) {
        if (!MonochromePixelIsPure(row + 3 * x))
            return false;
    }
    return true;
}

// The errors one row leaves for the next. The down-left share of the pixel
// to the right is added to a pixel's own share before it is stored, so each
// entry of the next error row is written once.
class ErrorRowWriter {
public:
    explicit ErrorRowWriter(std::int32_t* next)
        : next_(next)
    {
    }

    // Stores the shares kept down from pixel x (qR, qG, qB), completing the
    // entry of pixel x - 1 with its down-left share (the first pixel pushed
    // writes only that share there).
    void Push(int x, int qR, int qG, int qB)
    {
        if (x > 0) {
            std::int32_t* left = next_ + 3 * (x - 1);
            left[0] = ownR_ + qR;
            left[1] = ownG_ + qG;
            left[2] = ownB_ + qB;
        }
        ownR_ = qR;
        ownG_ = qG;
        ownB_ = qB;
    }

    // The last pixel visited has no right neighbour that shares with it:
    // the row's last, or one followed by white without error.
    void Finish(int end)
    {
        std::int32_t* last = next_ + 3 * (end - 1);
        last[0] = ownR_;
        last[1] = ownG_;
        last[2] = ownB_;
    }

private:
    std::int32_t* next_;
    int ownR_ = 0, ownG_ = 0, ownB_ = 0;
};

// Dithers the columns from..to - 1 in a plain loop, then on while error is
// carried, completes the last entry of the next error row and returns the
// column it stopped at.
template <class Pixel, class Carried>
int WalkSpan(int from, int to, int width, ErrorRowWriter& errors, Pixel pixel, Carried carried)
{
    int x = from;
    for (; x < to; ++x)
        pixel(x);
    for (; x < width && carried(); ++x)
        pixel(x);
    if (x > from)
        errors.Finish(x);
    return x;
}

}  // namespace

int NearestPaletteIndex(int red, int green, int blue, bool monochrome)
{
    if (monochrome) {
        return red + green + blue >= kWhiteSum ? 0 : 1;
    }
    // Palette index by (red, green, blue) ink bits.
    static constexpr int kIndexOfCorner[8] = {1, 4, 3, 7, 2, 6, 5, 0};
    const int corner = (ColourInk(red) & 4) | (ColourInk(green) & 2) | (ColourInk(blue) & 1);
    return kIndexOfCorner[corner];
}

Ditherer::Ditherer()
{
    BuildGammaTable();
}

Ditherer::~Ditherer() = default;

void Ditherer::BuildGammaTable()
{
    gammaTable_[0] = 0;
    gammaTable_[255] = 255;
    for (int v = 1; v < 255; ++v) {
        const double corrected = std::pow(v * 0.00392156862745098, gamma_) * 255.0 + 0.5;
        gammaTable_[v] = corrected > 255.0 ? 255 : static_cast<std::int32_t>(corrected);
    }
    // Each product is rounded exactly as the luminance formula rounds it;
    // only the order of the additions matters, and DitherMonochrome keeps it.
    for (int v = 0; v < 256; ++v) {
        lumaBlue_[v] = gammaTable_[v] * 0.114;
        lumaRed_[v] = gammaTable_[v] * 0.299;
        lumaGreen_[v] = gammaTable_[v] * 0.587;
    }
}

bool Ditherer::Prepare(int width, double gamma)
{
    if (width < 1 || width > kMaxWidth || !std::isfinite(gamma)) {
        return false;
    }
    const auto values = static_cast<std::size_t>(width) * 3;
    Release();
    currentErrors_.reset(new (std::nothrow) std::int32_t[values]);
    nextErrors_.reset(new (std::nothrow) std::int32_t[values]);
    if (!currentErrors_ || !nextErrors_) {
        Release();
        return false;
    }
    width_ = width;
    std::memset(currentErrors_.get(), 0, values * sizeof(std::int32_t));
    std::memset(nextErrors_.get(), 0, values * sizeof(std::int32_t));
    currentSpan_ = nextSpan_ = {};
    errorsClear_ = true;
    if (gamma != gamma_) {
        gamma_ = gamma;
        BuildGammaTable();
    }
    return true;
}

void Ditherer::ResetErrors()
{
    if (errorsClear_ || !currentErrors_ || !nextErrors_) {
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(width_) * 3 * sizeof(std::int32_t);
    std::memset(currentErrors_.get(), 0, bytes);
    std::memset(nextErrors_.get(), 0, bytes);
    currentSpan_ = nextSpan_ = {};
    errorsClear_ = true;
}

void Ditherer::Release()
{
    currentErrors_.reset();
    nextErrors_.reset();
    width_ = 0;
}

bool Ditherer::RowIsPure(const std::uint8_t* row, bool monochrome) const
{
    return monochrome ? MonochromeRowIsPure(row, width_)
                      : ColourRowIsPure(row, static_cast<std::size_t>(width_) * 3);
}

void Ditherer::DitherRow(std::uint8_t* row, bool monochrome)
{
    if (!row || width_ == 0 || !currentErrors_ || !nextErrors_) {
        return;
    }
    if (RowIsPure(row, monochrome)) {
        ResetErrors();
        return;
    }
    errorsClear_ = false;
    const Span span = StartRow(row);
    // The row writes the next array from the column before its first on;
    // what the array held from two rows ago is cleared before that. Nothing
    // of it lies past the row's end: the row before visited all of it, and
    // this row visits all the row before wrote.
    const Span old = nextSpan_;
    const int written = std::max(span.from - 1, 0);
    ClearErrors(old.from, std::min(old.to, written));
    const int end = monochrome ? DitherMonochrome(row, span) : DitherColour(row, span);
    nextSpan_ = {written, end};
}

void Ditherer::ClearErrors(int from, int to)
{
    if (to > from) {
        std::memset(nextErrors_.get() + 3 * static_cast<std::size_t>(from), 0,
                    3 * static_cast<std::size_t>(to - from) * sizeof(std::int32_t));
    }
}

Ditherer::Span Ditherer::StartRow(const std::uint8_t* row)
{
    // The row reads the error its predecessor passed down and writes the
    // next array afresh (zero where it does not visit), so trading the two
    // arrays gives the same values as copying one into the other.
    std::swap(currentErrors_, nextErrors_);
    std::swap(currentSpan_, nextSpan_);
    // A pixel is white when its three bytes are: the first and the last
    // byte that is not 255 give the columns, and white margins are passed a
    // word at a time.
    const auto bytes = static_cast<std::size_t>(width_) * 3;
    constexpr std::uint64_t kWhite = ~std::uint64_t(0);
    std::size_t first = 0;
    while (first + 8 <= bytes && Load64(row + first) == kWhite)
        first += 8;
    while (first < bytes && row[first] == 255)
        ++first;
    std::size_t end = bytes;  // one past the last byte that is not 255
    while (end >= first + 8 && Load64(row + end - 8) == kWhite)
        end -= 8;
    while (end > first && row[end - 1] == 255)
        --end;
    Span span{static_cast<int>(first / 3), static_cast<int>((end + 2) / 3)};
    if (end == first)
        span = {width_, width_};
    if (currentSpan_.to > currentSpan_.from) {
        span.from = std::min(span.from, currentSpan_.from);
        span.to = std::max(span.to, currentSpan_.to);
    }
    return span;
}

// A pure pixel without pending error passes through unchanged in both loops
// below without a special case: its targets are exactly 0 or 255 (the gamma
// table keeps both ends and white's luminance is exactly 255), so it maps to
// itself with zero error, and it writes zero error down, as skipping it
// would.

int Ditherer::DitherColour(std::uint8_t* row, Span span)
{
    const std::int32_t* cur = currentErrors_.get();
    ErrorRowWriter errors(nextErrors_.get());
    const std::int32_t* g = gammaTable_.data();
    const std::int8_t* step = kSteps.data() - kLowestSum;
    int carryR = 0, carryG = 0, carryB = 0;
    const auto pixel = [&](int x) {
        std::uint8_t* p = row + 3 * x;
        const std::int32_t* c = cur + 3 * x;
        const int sR = g[p[2]] + c[0] + carryR;
        const int sG = g[p[1]] + c[1] + carryG;
        const int sB = g[p[0]] + c[2] + carryB;
        p[0] = static_cast<std::uint8_t>(step[kInkAt + sB]);
        p[1] = static_cast<std::uint8_t>(step[kInkAt + sG]);
        p[2] = static_cast<std::uint8_t>(step[kInkAt + sR]);
        carryR = step[kCarryAt + sR];
        carryG = step[kCarryAt + sG];
        carryB = step[kCarryAt + sB];
        errors.Push(x, step[kDownAt + sR], step[kDownAt + sG], step[kDownAt + sB]);
    };
    return WalkSpan(span.from, span.to, width_, errors, pixel, [&] { return (carryR | carryG | carryB) != 0; });
}

int Ditherer::DitherMonochrome(std::uint8_t* row, Span span)
{
    const std::int32_t* cur = currentErrors_.get();
    ErrorRowWriter errors(nextErrors_.get());
    const double* lumaB = lumaBlue_.data();
    const double* lumaR = lumaRed_.data();
    const double* lumaG = lumaGreen_.data();
    int carryR = 0, carryG = 0, carryB = 0;
    const auto pixel = [&](int x) {
        std::uint8_t* p = row + 3 * x;
        const std::int32_t* c = cur + 3 * x;
        // Blue, red, green: the order in which the weighted terms are summed
        // decides the rounding, and the truncated sum must match exactly.
        const int y = static_cast<int>(lumaB[p[0]] + lumaR[p[2]] + lumaG[p[1]]);
        const int tR = Clamp(y + c[0] + carryR);
        const int tG = Clamp(y + c[1] + carryG);
        const int tB = Clamp(y + c[2] + carryB);
        const int ink = -static_cast<int>(tR + tG + tB >= kWhiteSum) & 255;
        const auto byte = static_cast<std::uint8_t>(ink);
        p[0] = byte;
        p[1] = byte;
        p[2] = byte;
        const int qR = Diffuse(tR - ink, carryR);
        const int qG = Diffuse(tG - ink, carryG);
        const int qB = Diffuse(tB - ink, carryB);
        errors.Push(x, qR, qG, qB);
    };
    return WalkSpan(span.from, span.to, width_, errors, pixel, [&] { return (carryR | carryG | carryB) != 0; });
}

}  // namespace tarvel::render
