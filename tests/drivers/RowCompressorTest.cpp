#include "drivers/RowCompressor.h"
#include "drivers/DriverTestSupport.h"
#include "preview/RasterCodecs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

using tarvel::drivers::RowCompressor;
using tarvel::testing::Bytes;
using tarvel::testing::Concat;

namespace {

// The printer's side of each method, as the preview decoders read it:
// rebuilds `length` bytes, the delta row against seed, or fails when the
// data is malformed or decodes to more than a row.
std::optional<Bytes> Decode(int method, const Bytes& in, const Bytes& seed, std::size_t length)
{
    Bytes row;
    bool ok = true;
    if (method == 0) {
        row = in;
    } else if (method == 1) {
        ok = tarvel::preview::DecodeRunLength(in.data(), in.size(), length, row);
    } else if (method == 2) {
        ok = tarvel::preview::UnpackBits(in.data(), in.size(), length, row);
        // 0x80 is a no-op to a printer, never something an encoder should spend a byte on.
        for (std::size_t i = 0; ok && i < in.size(); i += static_cast<std::int8_t>(in[i]) >= 0 ? in[i] + 2u : 2u) ok = in[i] != 0x80;
    } else {
        row.assign(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(length));
        ok = tarvel::preview::ApplyDeltaRow(in.data(), in.size(), length, row);
    }
    if (ok && row.size() <= length) {
        row.resize(length, 0);
        return row;
    }
    ADD_FAILURE() << "method " << method << ": malformed output, or more than a row of " << length << " bytes";
    return std::nullopt;
}

// Compresses with exactly one method enabled, after an optional seed row.
Bytes EncodeWith(int method, const Bytes& data, const Bytes& seed = {})
{
    RowCompressor compressor;
    compressor.EnableMethods(method == 0, method == 1, method == 2, method == 3);
    EXPECT_TRUE(compressor.Allocate(std::max<int>(1, static_cast<int>(data.size())), 1));
    compressor.Compress(seed.data(), static_cast<int>(seed.size()), 0, nullptr, nullptr);
    const std::uint8_t* out = nullptr;
    const int size = compressor.Compress(data.data(), static_cast<int>(data.size()), 0, &out, nullptr);
    return Bytes(out, out + size);
}

Bytes Repeat(std::size_t count, std::uint8_t b)
{
    return Bytes(count, b);
}

// 0x10, 0x11, ...: no two neighbours equal.
Bytes Distinct(std::size_t count)
{
    Bytes b(count);
    for (std::size_t i = 0; i < count; ++i) b[i] = static_cast<std::uint8_t>(0x10 + i);
    return b;
}

}  // namespace

TEST(Encoding, EachMethodGivesTheShortestFormAtItsLimits)
{
    auto changedAt = [](std::size_t offset) {
        Bytes row(offset + 1, 0);
        row[offset] = 0x77;
        return row;
    };
    struct Case {
        int method;
        Bytes row, seed, expected;
    };
    const Case cases[] = {
        // Unencoded and run-length leave out trailing zeros.
        {0, {0, 7, 0, 9, 0, 0}, {}, {0, 7, 0, 9}},
        {1, {0, 0, 5, 5, 5, 0, 0}, {}, {0x01, 0x00, 0x02, 0x05}},
        // Run-length splits runs at 256 copies.
        {1, Repeat(257, 0xAB), {}, {0xFF, 0xAB, 0x00, 0xAB}},
        // PackBits runs split at 128 and leave a single copy to a literal.
        {2, Concat({Repeat(129, 0xAA), {0x55}}), {}, {0x81, 0xAA, 0x01, 0xAA, 0x55}},
        // PackBits keeps pairs in literals but not at the start of a step.
        {2, {0xA, 0xA, 0xB}, {}, {0xFF, 0xA, 0x00, 0xB}},
        {2, {0xB, 0xA, 0xA, 0xC}, {}, {0x03, 0xB, 0xA, 0xA, 0xC}},
        {2, {0xB, 0xA, 0xA}, {}, {0x02, 0xB, 0xA, 0xA}},
        {2, {0xB, 0xA, 0xA, 0xA, 0xC}, {}, {0x00, 0xB, 0xFE, 0xA, 0x00, 0xC}},
        // PackBits literals hold at most 128 bytes.
        {2, Concat({Distinct(20), Repeat(3, 0x01), {0x02}}), {}, Concat({{0x13}, Distinct(20), {0xFE, 0x01, 0x00, 0x02}})},
        {2, Distinct(130), {}, Concat({{0x7F}, Distinct(128), {0x01, 0x90, 0x91}})},
        // A full literal gives its last byte to a run of three starting there...
        {2, Concat({Distinct(127), Repeat(3, 0x01)}), {}, Concat({{0x7E}, Distinct(127), {0xFE, 0x01}})},
        // ...but not to a pair, and the 0x01 left over opens a literal.
        {2, Concat({Distinct(127), {0x01, 0x01, 0x02}}), {}, Concat({{0x7F}, Distinct(127), {0x01, 0x01, 0x01, 0x02}})},
        // Delta row: offsets of 31 and more continue in extra bytes.
        {3, changedAt(31), {}, {0x1F, 0x00, 0x77}},
        {3, changedAt(286), {}, {0x1F, 0xFF, 0x00, 0x77}},
        // Delta row replaces at most eight bytes after each offset; one
        // unchanged byte, two replaced; four unchanged, one replaced.
        {3, Distinct(9), {}, Concat({{0xE0}, Distinct(8), {0x00, 0x18}})},
        {3, {1, 9, 9, 4, 5, 6, 7, 0}, {1, 2, 3, 4, 5, 6, 7, 8}, {0x21, 9, 9, 0x04, 0}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(EncodeWith(c.method, c.row, c.seed), c.expected) << "case " << i << " method " << c.method;
    }
}

TEST(Lifecycle, BadSizesAndArgumentsAreRefusedWithoutChangingState)
{
    RowCompressor c;
    const Bytes row{1, 2, 3, 4, 5};
    const std::uint8_t* out = row.data();
    int change = 7;
    EXPECT_EQ(c.Compress(row.data(), 5, 0, &out, &change), 0) << "nothing allocated";
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(change, RowCompressor::kNoChange);

    c.EnableMethods(false, true, false, false);
    ASSERT_TRUE(c.Allocate(8, 1));
    c.Compress(Repeat(8, 3).data(), 8, 0, nullptr, &change);
    EXPECT_EQ(change, 1);
    for (auto [rowBytes, planes] : {std::pair{0, 1}, {-5, 1}, {10, 0}, {10, 9}, {10, -1}, {INT_MAX, 1}, {INT_MAX / 2 + 1, 4}}) {
        EXPECT_FALSE(c.Allocate(rowBytes, planes)) << rowBytes << " x " << planes;
        EXPECT_EQ(c.seedRow(0), nullptr);
    }
    EXPECT_TRUE(c.enabled(1) && !c.enabled(0) && !c.enabled(4));
    ASSERT_TRUE(c.Allocate(4, 2));
    c.Compress(Repeat(4, 3).data(), 4, 0, nullptr, &change);
    EXPECT_EQ(change, 1) << "each page announces its first method again";
    EXPECT_EQ(c.seedRow(2), nullptr);
    for (auto [data, length, plane] : {std::tuple{(const std::uint8_t*)nullptr, 4, 0},
                                       {row.data(), 5, 0},
                                       {row.data(), -1, 0},
                                       {row.data(), 4, 2},
                                       {row.data(), 4, -1}}) {
        out = row.data();
        EXPECT_EQ(c.Compress(data, length, plane, &out, &change), 0);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(Bytes(c.seedRow(0), c.seedRow(0) + 4), Repeat(4, 3));
    // An empty row is valid and costs nothing.
    EXPECT_EQ(c.Compress(row.data(), 0, 1, &out, &change), 0);
    EXPECT_NE(out, nullptr);
    // Nothing enabled: the row still goes out, unencoded.
    c.EnableMethods(false, false, false, false);
    EXPECT_EQ(c.Compress(Bytes{5, 6, 0}.data(), 3, 0, &out, &change), 2);
    EXPECT_EQ(change, RowCompressor::kUnencoded);
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{5, 6}));
}

namespace {

// Rows that look like dithered planes: noise, runs, sparse dots, white
// space, and rows that repeat most of the previous one.
Bytes RandomRow(std::mt19937& rng, int length, const Bytes& previous)
{
    Bytes row(static_cast<std::size_t>(length));
    const unsigned kind = rng() % 5;
    std::uint8_t run = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (kind == 1 && rng() % 40 == 0) {
            run = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng());
        }
        const bool keep = i < previous.size() && rng() % 6 != 0;
        row[i] = kind == 0 ? static_cast<std::uint8_t>(rng())
            : kind == 1    ? run
            : kind == 2    ? (rng() % 10 == 0 ? static_cast<std::uint8_t>(1u << (rng() % 8)) : 0)
            : kind == 3    ? static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() % 4 : 0)
            : keep         ? previous[i]
                           : static_cast<std::uint8_t>(rng());
    }
    return row;
}

}  // namespace

TEST(RoundTrip, EveryMethodDecodesBackAndTheChoiceIsTheSmallest)
{
    // Four compressors with one method each see the same seeded rows as one
    // with all four, fed whole; every output decodes back to its row as a
    // printer would read it, and the choice rules applied to the four full
    // sizes must give the combined compressor's size, changes and bytes,
    // whatever it skips on the way.
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 60; ++trial) {
        const int rowBytes = 1 + static_cast<int>(rng() % 500);
        const int planes = 1 + static_cast<int>(rng() % 4);
        RowCompressor all;
        ASSERT_TRUE(all.Allocate(rowBytes, planes));
        RowCompressor single[4];
        for (int m = 0; m < 4; ++m) {
            single[m].EnableMethods(m == 0, m == 1, m == 2, m == 3);
            ASSERT_TRUE(single[m].Allocate(rowBytes, planes));
        }
        std::vector<Bytes> seeds(static_cast<std::size_t>(planes), Repeat(rowBytes, 0));
        int current = 0;
        for (int r = 0; r < 80; ++r) {
            const int plane = static_cast<int>(rng() % planes);
            const int length = rng() % 4 == 0 ? static_cast<int>(rng() % (rowBytes + 1)) : rowBytes;
            const Bytes row = RandomRow(rng, length, seeds[plane]);
            Bytes outputs[4];
            int sizes[4];
            for (int m = 0; m < 4; ++m) {
                const std::uint8_t* out = nullptr;
                sizes[m] = single[m].Compress(row.data(), length, plane, &out, nullptr);
                ASSERT_LE(sizes[m], 2 * length) << "outgrows the output buffer";
                outputs[m] = Bytes(out, out + sizes[m]);
                ASSERT_EQ(Decode(m, outputs[m], seeds[plane], row.size()), row)
                    << "trial " << trial << " row " << r << " method " << m;
            }
            std::copy(row.begin(), row.end(), seeds[plane].begin());

            int choice = 3;
            for (int m = 2; m >= 0; --m) {
                choice = sizes[m] < sizes[choice] ? m : choice;
            }
            choice = sizes[choice] == sizes[current] ? current : choice;
            const int expectedChange = choice != current ? choice : RowCompressor::kNoChange;
            current = choice;

            const std::uint8_t* out = nullptr;
            int change = 0;
            const int size = all.Compress(row.data(), length, plane, &out, &change);
            ASSERT_EQ(size, sizes[choice]) << "trial " << trial << " row " << r;
            ASSERT_EQ(change, expectedChange) << "trial " << trial << " row " << r;
            ASSERT_EQ(Bytes(out, out + size), outputs[choice]);
        }
    }
}
