#include "drivers/RowCompressor.h"

#include "platform/system/Words.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace tarvel::drivers {

using tarvel::platform::Load64;

namespace {

// Every encoder below writes at most two bytes per input byte (a one-byte
// literal or a lone run pair costs two; a delta command covers at least one
// replaced byte and its offset bytes never outgrow the offset), so the
// output buffers of 2 x rowBytes always suffice; they have eight bytes more
// for copies of a whole word where fewer bytes count.

// Index of the first byte in [from, end) that differs from b, or end.
// Photo rows are mostly short runs, dithered text rows mostly long ones; the
// word-wide scan keeps the long runs cheap without slowing the short ones.
int RunEnd(const std::uint8_t* d, int from, int end, std::uint8_t b)
{
    const std::uint64_t pattern = 0x0101010101010101ull * b;
    int i = from;
    while (end - i >= 8) {
        const std::uint64_t diff = Load64(d + i) ^ pattern;
        if (diff != 0) {
            return i + __builtin_ctzll(diff) / 8;
        }
        i += 8;
    }
    while (i < end && d[i] == b) {
        ++i;
    }
    return i;
}

// Index of the first byte in [from, end) that differs from its seed byte.
int SameEnd(const std::uint8_t* d, const std::uint8_t* seed, int from, int end)
{
    int i = from;
    while (end - i >= 8) {
        const std::uint64_t diff = Load64(d + i) ^ Load64(seed + i);
        if (diff != 0) {
            return i + __builtin_ctzll(diff) / 8;
        }
        i += 8;
    }
    while (i < end && d[i] == seed[i]) {
        ++i;
    }
    return i;
}

// Method 0: the receiver pads a short row with zeros, so trailing zeros are
// not sent. Only the size is computed here; the copy is made only when the
// method wins.
int UnencodedSize(const std::uint8_t* d, int n)
{
    while (n >= 8 && Load64(d + n - 8) == 0) {
        n -= 8;
    }
    while (n > 0 && d[n - 1] == 0) {
        --n;
    }
    return n;
}

// First m in [from, to) where three equal bytes begin (m + 2 < n), or to.
// Eight positions at a time: a zero byte in x marks a triple, and the lowest
// zero byte is found exactly by the usual has-zero-byte test.
int TripleStart(const std::uint8_t* d, int from, int to, int n)
{
    const int end = std::min(to, n - 2);
    int m = from;
    while (end - m >= 8) {
        const std::uint64_t a = Load64(d + m);
        const std::uint64_t b = Load64(d + m + 1);
        const std::uint64_t c = Load64(d + m + 2);
        const std::uint64_t x = (a ^ b) | (b ^ c);
        const std::uint64_t zero = (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
        if (zero != 0) {
            return m + __builtin_ctzll(zero) / 8;
        }
        m += 8;
    }
    for (; m < end; ++m) {
        if (d[m] == d[m + 1] && d[m + 1] == d[m + 2]) {
            return m;
        }
    }
    return to;
}

// Method 1: pairs of (repeat count, byte), each standing for count + 1
// copies. A run of zeros that reaches the end of the row is left out.
int EncodeRunLength(const std::uint8_t* d, int n, std::uint8_t* out)
{
    std::uint8_t* o = out;
    int i = 0;
    while (i < n) {
        const std::uint8_t b = d[i];
        const int j = (i + 1 < n && d[i + 1] == b) ? RunEnd(d, i + 2, n, b) : i + 1;
        if (j == n && b == 0) {
            break;
        }
        int copies = j - i;
        while (copies > 256) {
            *o++ = 255;
            *o++ = b;
            copies -= 256;
        }
        *o++ = static_cast<std::uint8_t>(copies - 1);
        *o++ = b;
        i = j;
    }
    return static_cast<int>(o - out);
}

// The number of runs of equal bytes in the row. Counting is cheap where
// encoding is not: method 1 needs a pair per run (the final run of zeros
// excepted) and method 2 a byte at least, so a row whose runs alone
// outweigh a smaller encoding is not encoded with them. Counted in bytes a
// stretch at a time, so the loop vectorises without widening every count.
int RunCount(const std::uint8_t* d, int n)
{
    int runs = n > 0 ? 1 : 0;
    for (int i = 1; i < n;) {
        const int end = std::min(n, i + 255);
        std::uint8_t stretch = 0;
        for (; i < end; ++i) {
            stretch = static_cast<std::uint8_t>(stretch + (d[i] != d[i - 1]));
        }
        runs += stretch;
    }
    return runs;
}

// Method 2: TIFF PackBits. Two or more equal bytes at the start of a step
// are a run. A literal keeps pairs of equal bytes and ends where three equal
// bytes begin, since those are cheaper as a run; a literal that fills all
// 128 bytes gives its last byte to a run of three that starts there. Both
// rules come down to: a literal from s ends at the first triple that begins
// in s + 1 .. s + 127, else after 128 bytes or at the end of the row.
int EncodePackBits(const std::uint8_t* d, int n, std::uint8_t* out)
{
    std::uint8_t* o = out;
    int i = 0;
    while (i < n) {
        const std::uint8_t b = d[i];
        if (i + 1 < n && d[i + 1] == b) {
            const int j = RunEnd(d, i + 2, n, b);
            int copies = j - i;
            while (copies > 128) {
                *o++ = 0x81;
                *o++ = b;
                copies -= 128;
            }
            if (copies >= 2) {
                *o++ = static_cast<std::uint8_t>(1 - copies);
                *o++ = b;
                i = j;
                continue;
            }
            // One copy left over: it opens a literal. The byte after it
            // differs, so the literal cannot end at once.
            i = j - 1;
        }
        const int start = i;
        const int triple = TripleStart(d, start + 1, start + 128, n);
        const int length = triple < start + 128 ? triple - start : std::min(128, n - start);
        *o++ = static_cast<std::uint8_t>(length - 1);
        // Short literals (most, on text) as one word, as delta commands.
        if (length <= 8 && n - start >= 8) {
            std::memcpy(o, d + start, 8);
        } else {
            std::memcpy(o, d + start, static_cast<std::size_t>(length));
        }
        o += length;
        i = start + length;
    }
    return static_cast<int>(o - out);
}

// Method 3: delta row against the plane's seed row. Each command replaces up
// to eight bytes after an offset of unchanged bytes; offsets of 31 and more
// continue in extra bytes.
int EncodeDeltaRow(const std::uint8_t* d, const std::uint8_t* seed, int n, std::uint8_t* out)
{
    std::uint8_t* o = out;
    int i = 0;
    while (true) {
        const int changed = SameEnd(d, seed, i, n);
        if (changed == n) {
            break;
        }
        const int offset = changed - i;
        int k = changed + 1;
        if (n - changed >= 8) {
            // The first equal byte among the next eight, exactly (the lowest
            // zero byte of the difference): a command takes up to eight.
            const std::uint64_t diff = Load64(d + changed) ^ Load64(seed + changed);
            const std::uint64_t equal = (diff - 0x0101010101010101ull) & ~diff & 0x8080808080808080ull;
            k = equal ? changed + __builtin_ctzll(equal) / 8 : changed + 8;
        } else {
            while (k < n && d[k] != seed[k]) {
                ++k;
            }
        }
        const int count = k - changed;
        *o++ = static_cast<std::uint8_t>(((count - 1) << 5) | std::min(offset, 31));
        if (offset >= 31) {
            int rest = offset - 31;
            while (rest >= 255) {
                *o++ = 255;
                rest -= 255;
            }
            *o++ = static_cast<std::uint8_t>(rest);
        }
        // Eight bytes copied whatever the count, when the row has them: the
        // outputs have room past their end for it.
        if (n - changed >= 8) {
            std::memcpy(o, d + changed, 8);
        } else {
            std::memcpy(o, d + changed, static_cast<std::size_t>(count));
        }
        o += count;
        i = k;
    }
    return static_cast<int>(o - out);
}

// The fewest bytes method 3 can need: every changed byte is sent, and each
// command carries at most eight of them.
int DeltaRowLowerBound(const std::uint8_t* d, const std::uint8_t* seed, int n)
{
    int changed = 0;
    for (int i = 0; i < n;) {
        const int end = std::min(n, i + 255);
        std::uint8_t stretch = 0;
        for (; i < end; ++i) {
            stretch = static_cast<std::uint8_t>(stretch + (d[i] != seed[i]));
        }
        changed += stretch;
    }
    return changed + (changed + 7) / 8;
}

// On equal sizes the higher method wins, and a method that ties with the one
// in force stays, so the driver does not announce a pointless change.
int ChooseMethod(const std::array<int, RowCompressor::kMethodCount>& size, int current)
{
    int choice = RowCompressor::kDeltaRow;
    for (int m = RowCompressor::kPackBits; m >= RowCompressor::kUnencoded; --m) {
        if (size[m] < size[choice]) {
            choice = m;
        }
    }
    return size[choice] == size[current] ? current : choice;
}

}  // namespace

RowCompressor::RowCompressor() = default;

RowCompressor::~RowCompressor() = default;

bool RowCompressor::Allocate(int rowBytes, int planes)
{
    Free();
    // The size 10 x rowBytes stands for a disabled method and the outputs
    // hold 2 x rowBytes, so both must stay well inside an int.
    if (rowBytes <= 0 || rowBytes > INT_MAX / 10 || planes < 1 || planes > kMaxPlanes) {
        return false;
    }
    planes_ = planes;
    rowBytes_ = rowBytes;
    currentMethod_ = 0;
    const auto seedSize = static_cast<std::size_t>(rowBytes);
    // Eight bytes of room past the longest output, for whole-word copies.
    const std::size_t outputSize = 2 * seedSize + 8;
    for (int k = 0; k < planes; ++k) {
        seedRows_[k].reset(new (std::nothrow) std::uint8_t[seedSize]);
        if (!seedRows_[k]) {
            Free();
            return false;
        }
    }
    for (auto& output : outputs_) {
        output.reset(new (std::nothrow) std::uint8_t[outputSize]);
        if (!output) {
            Free();
            return false;
        }
    }
    ClearSeeds();
    return true;
}

void RowCompressor::Free()
{
    for (auto& seed : seedRows_) {
        seed.reset();
    }
    for (auto& output : outputs_) {
        output.reset();
    }
    planes_ = 0;
    rowBytes_ = 0;
}

void RowCompressor::ClearSeeds()
{
    for (int k = 0; k < planes_; ++k) {
        if (seedRows_[k]) {
            std::memset(seedRows_[k].get(), 0, static_cast<std::size_t>(rowBytes_));
        }
    }
}

void RowCompressor::EnableMethods(bool unencoded, bool runLength, bool packBits, bool deltaRow)
{
    enabled_ = {unencoded, runLength, packBits, deltaRow};
}

bool RowCompressor::enabled(int method) const
{
    return method >= 0 && method < kMethodCount && enabled_[method];
}

const std::uint8_t* RowCompressor::seedRow(int plane) const
{
    if (plane < 0 || plane >= planes_) {
        return nullptr;
    }
    return seedRows_[plane].get();
}

int RowCompressor::Compress(const std::uint8_t* data, int length, int plane,
                            const std::uint8_t** buffer, int* change)
{
    if (buffer) {
        *buffer = nullptr;
    }
    if (change) {
        *change = kNoChange;
    }
    if (!data || length < 0 || length > rowBytes_ || plane < 0 || plane >= planes_ || !seedRows_[plane]) {
        return 0;
    }

    std::array<bool, kMethodCount> use = enabled_;
    if (!use[0] && !use[1] && !use[2] && !use[3]) {
        use[kUnencoded] = true;
    }

    std::uint8_t* seed = seedRows_[plane].get();
    const int absent = 10 * rowBytes_;
    std::array<int, kMethodCount> size{absent, absent, absent, absent};
    // The cheap methods go first; a method that provably cannot beat the
    // smallest size found so far is not encoded and keeps the size of an
    // absent method. It could neither be chosen nor tie with the winner, so
    // the choice below is the one a full encoding would give.
    int best = absent;
    if (use[kUnencoded]) {
        size[kUnencoded] = UnencodedSize(data, length);
        best = size[kUnencoded];
    }
    // Text rows mostly repeat the row above or change a few bytes of it:
    // when the delta row's lower bound is below PackBits' (a byte per run of
    // equal bytes), the delta row is made first (a repeated row gives an
    // empty one at once), and PackBits only if it can still win.
    // (PackBits alone needs no bound: nothing else competes.)
    const bool counted = use[kRunLength] || (use[kPackBits] && (use[kUnencoded] || use[kDeltaRow]));
    const int runs = counted ? RunCount(data, length) : 0;
    const int deltaBound = use[kDeltaRow] ? DeltaRowLowerBound(data, seed, length) : 0;
    const bool deltaFirst = use[kDeltaRow] && use[kPackBits] && deltaBound < runs;
    if (deltaFirst) {
        size[kDeltaRow] = EncodeDeltaRow(data, seed, length, outputs_[kDeltaRow].get());
        best = std::min(best, size[kDeltaRow]);
    }
    if (use[kPackBits] && runs <= best) {
        size[kPackBits] = EncodePackBits(data, length, outputs_[kPackBits].get());
        best = std::min(best, size[kPackBits]);
    }
    // Run length needs a pair per run, the final run of zeros excepted.
    const int finalZeros = length > 0 && data[length - 1] == 0 ? 1 : 0;
    if (use[kRunLength] && 2 * (runs - finalZeros) <= best) {
        size[kRunLength] = EncodeRunLength(data, length, outputs_[kRunLength].get());
        best = std::min(best, size[kRunLength]);
    }
    if (use[kDeltaRow] && !deltaFirst && deltaBound <= best) {
        size[kDeltaRow] = EncodeDeltaRow(data, seed, length, outputs_[kDeltaRow].get());
    }

    const int current = static_cast<int>(currentMethod_);
    const int choice = ChooseMethod(size, current);
    if (choice != current) {
        currentMethod_ = static_cast<std::uint32_t>(choice);
        if (change) {
            *change = choice;
        }
    }
    if (choice == kUnencoded) {
        std::memcpy(outputs_[kUnencoded].get(), data, static_cast<std::size_t>(length));
    }
    if (buffer) {
        *buffer = outputs_[choice].get();
    }
    std::memcpy(seed, data, static_cast<std::size_t>(length));
    return size[choice];
}

}  // namespace tarvel::drivers
