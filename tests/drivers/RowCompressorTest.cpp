#include "drivers/RowCompressor.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

using tarvel::drivers::RowCompressor;

namespace {

using Bytes = std::vector<std::uint8_t>;

// What a printer does with each method: these decoders are the receiving
// side, written from the command formats rather than from the encoder.
Bytes DecodeUnencoded(const Bytes& in, int rowBytes)
{
    Bytes row(in);
    EXPECT_LE(row.size(), static_cast<std::size_t>(rowBytes));
    row.resize(static_cast<std::size_t>(rowBytes), 0);
    return row;
}

Bytes DecodeRunLength(const Bytes& in, int rowBytes)
{
    Bytes row;
    for (std::size_t i = 0; i + 1 < in.size(); i += 2) {
        row.insert(row.end(), in[i] + 1u, in[i + 1]);
    }
    EXPECT_EQ(in.size() % 2, 0u) << "a run-length row is made of pairs";
    EXPECT_LE(row.size(), static_cast<std::size_t>(rowBytes));
    row.resize(static_cast<std::size_t>(rowBytes), 0);
    return row;
}

Bytes DecodePackBits(const Bytes& in, int rowBytes)
{
    Bytes row;
    std::size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<std::int8_t>(in[i++]);
        if (c >= 0) {
            EXPECT_LE(i + c + 1, in.size()) << "literal runs past the end";
            for (int k = 0; k <= c && i < in.size(); ++k) {
                row.push_back(in[i++]);
            }
        } else {
            EXPECT_NE(c, -128) << "-128 is a no-op our encoder never writes";
            EXPECT_LT(i, in.size());
            if (i < in.size()) {
                row.insert(row.end(), static_cast<std::size_t>(1 - c), in[i++]);
            }
        }
    }
    EXPECT_LE(row.size(), static_cast<std::size_t>(rowBytes));
    row.resize(static_cast<std::size_t>(rowBytes), 0);
    return row;
}

Bytes DecodeDeltaRow(const Bytes& in, const Bytes& seed)
{
    Bytes row(seed);
    std::size_t pos = 0;
    std::size_t i = 0;
    while (i < in.size()) {
        const int command = in[i++];
        const int count = (command >> 5) + 1;
        std::size_t offset = command & 31;
        if (offset == 31) {
            int extra;
            do {
                extra = i < in.size() ? in[i++] : 0;
                offset += static_cast<std::size_t>(extra);
            } while (extra == 255);
        }
        pos += offset;
        for (int k = 0; k < count && i < in.size(); ++k) {
            EXPECT_LT(pos, row.size());
            if (pos < row.size()) {
                row[pos] = in[i];
            }
            ++pos;
            ++i;
        }
    }
    return row;
}

// Compresses with exactly one method enabled and returns the output bytes.
Bytes EncodeWith(int method, const Bytes& data, const Bytes& seed = {})
{
    RowCompressor compressor;
    compressor.EnableMethods(method == 0, method == 1, method == 2, method == 3);
    const int rowBytes = std::max<int>(1, static_cast<int>(data.size()));
    EXPECT_TRUE(compressor.Allocate(rowBytes, 1));
    if (!seed.empty()) {
        compressor.Compress(seed.data(), static_cast<int>(seed.size()), 0, nullptr, nullptr);
    }
    const std::uint8_t* out = nullptr;
    const int size = compressor.Compress(data.data(), static_cast<int>(data.size()), 0, &out, nullptr);
    EXPECT_EQ(compressor.currentMethod(), static_cast<std::uint32_t>(method));
    return Bytes(out, out + size);
}

Bytes Repeat(std::size_t count, std::uint8_t b)
{
    return Bytes(count, b);
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// 0x10, 0x11, ...: no two neighbours equal.
Bytes Distinct(std::size_t count)
{
    Bytes b(count);
    for (std::size_t i = 0; i < count; ++i) {
        b[i] = static_cast<std::uint8_t>(0x10 + i);
    }
    return b;
}

}  // namespace

TEST(Unencoded, DropsTrailingZerosButKeepsInnerOnes)
{
    EXPECT_EQ(EncodeWith(0, {0, 0, 0, 0}), Bytes{});
    EXPECT_EQ(EncodeWith(0, {0, 7, 0, 9, 0, 0}), (Bytes{0, 7, 0, 9}));
    EXPECT_EQ(EncodeWith(0, Concat({Repeat(20, 0), {1}, Repeat(19, 0)})),
              Concat({Repeat(20, 0), {1}}));
}

TEST(RunLength, AllZeroRowIsEmpty)
{
    EXPECT_EQ(EncodeWith(1, Repeat(300, 0)), Bytes{});
}

TEST(RunLength, SplitsRunsAt256Copies)
{
    EXPECT_EQ(EncodeWith(1, Repeat(257, 0xAB)), (Bytes{0xFF, 0xAB, 0x00, 0xAB}));
    EXPECT_EQ(EncodeWith(1, Repeat(256, 0xAB)), (Bytes{0xFF, 0xAB}));
    EXPECT_EQ(EncodeWith(1, Repeat(513, 0x01)), (Bytes{0xFF, 0x01, 0xFF, 0x01, 0x00, 0x01}));
}

TEST(RunLength, OnlyTheFinalRunOfZerosIsLeftOut)
{
    EXPECT_EQ(EncodeWith(1, {0, 0, 5, 5, 5, 0, 0}), (Bytes{0x01, 0x00, 0x02, 0x05}));
    EXPECT_EQ(EncodeWith(1, {9, 0, 0, 0}), (Bytes{0x00, 0x09}));
}

TEST(PackBits, AllZeroRowIsSentAsRuns)
{
    EXPECT_EQ(EncodeWith(2, Repeat(10, 0)), (Bytes{0xF7, 0x00}));
    EXPECT_EQ(EncodeWith(2, Repeat(200, 0)), (Bytes{0x81, 0x00, 0xB9, 0x00}));
}

TEST(PackBits, RunOf129ThenOtherByteLeavesOneCopyForALiteral)
{
    const Bytes data = Concat({Repeat(129, 0xAA), {0x55}});
    EXPECT_EQ(EncodeWith(2, data), (Bytes{0x81, 0xAA, 0x01, 0xAA, 0x55}));
}

TEST(PackBits, RunOf130SplitsAt128)
{
    EXPECT_EQ(EncodeWith(2, Repeat(130, 0xAA)), (Bytes{0x81, 0xAA, 0xFF, 0xAA}));
    EXPECT_EQ(EncodeWith(2, Repeat(128, 0xAA)), (Bytes{0x81, 0xAA}));
    EXPECT_EQ(EncodeWith(2, Repeat(129, 0xAA)), (Bytes{0x81, 0xAA, 0x00, 0xAA}));
}

TEST(PackBits, TwoEqualBytesOpenARunOnlyAtTheStartOfAStep)
{
    EXPECT_EQ(EncodeWith(2, {0xA, 0xA, 0xB}), (Bytes{0xFF, 0xA, 0x00, 0xB}));
    EXPECT_EQ(EncodeWith(2, {0xB, 0xA, 0xA, 0xC}), (Bytes{0x03, 0xB, 0xA, 0xA, 0xC}));
    EXPECT_EQ(EncodeWith(2, {0xB, 0xA, 0xA, 0xA, 0xC}),
              (Bytes{0x00, 0xB, 0xFE, 0xA, 0x00, 0xC}));
    // A pair at the very end stays in the literal too.
    EXPECT_EQ(EncodeWith(2, {0xB, 0xA, 0xA}), (Bytes{0x02, 0xB, 0xA, 0xA}));
}

TEST(PackBits, LiteralsHoldAtMost128Bytes)
{
    const Bytes data = Distinct(130);
    const Bytes expected = Concat({{0x7F}, Distinct(128), {0x01, 0x90, 0x91}});
    EXPECT_EQ(EncodeWith(2, data), expected);
}

TEST(PackBits, FullLiteralGivesItsLastByteToAFollowingRun)
{
    // 127 different bytes, then three equal ones: the 128th literal byte is
    // the start of a run of three.
    const Bytes data = Concat({Distinct(127), Repeat(3, 0x01)});
    const Bytes expected = Concat({{0x7E}, Distinct(127), {0xFE, 0x01}});
    EXPECT_EQ(EncodeWith(2, data), expected);

    // Only two equal bytes follow the full literal: nothing is taken back,
    // and the single 0x01 left over starts a literal of its own.
    const Bytes pair = Concat({Distinct(127), {0x01, 0x01, 0x02}});
    const Bytes pairExpected =
        Concat({{0x7F}, Distinct(127), {0x01, 0x01, 0x01, 0x02}});
    EXPECT_EQ(EncodeWith(2, pair), pairExpected);
}

TEST(DeltaRow, RowEqualToItsSeedIsEmpty)
{
    EXPECT_EQ(EncodeWith(3, Repeat(40, 0)), Bytes{});
    const Bytes row = Distinct(40);
    EXPECT_EQ(EncodeWith(3, row, row), Bytes{});
}

TEST(DeltaRow, OffsetsOf31AndMoreContinueInExtraBytes)
{
    auto changedAt = [](std::size_t offset) {
        Bytes row(offset + 1, 0);
        row[offset] = 0x77;
        return EncodeWith(3, row);
    };
    EXPECT_EQ(changedAt(30), (Bytes{0x1E, 0x77}));
    EXPECT_EQ(changedAt(31), (Bytes{0x1F, 0x00, 0x77}));
    EXPECT_EQ(changedAt(285), (Bytes{0x1F, 0xFE, 0x77}));
    EXPECT_EQ(changedAt(286), (Bytes{0x1F, 0xFF, 0x00, 0x77}));
    EXPECT_EQ(changedAt(541), (Bytes{0x1F, 0xFF, 0xFF, 0x00, 0x77}));
}

TEST(DeltaRow, ReplacesAtMostEightBytesPerCommand)
{
    const Bytes row = Distinct(9);
    const Bytes expected = Concat({{0xE0}, Distinct(8), {0x00, 0x18}});
    EXPECT_EQ(EncodeWith(3, row), expected);
}

TEST(DeltaRow, OffsetCountsFromTheEndOfThePreviousReplacement)
{
    const Bytes seed{1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes row{1, 9, 9, 4, 5, 6, 7, 0};
    // One unchanged byte, two replaced; four unchanged, one replaced.
    EXPECT_EQ(EncodeWith(3, row, seed), (Bytes{0x21, 9, 9, 0x04, 0}));
}

TEST(Choice, EqualSizesPreferTheHigherMethod)
{
    RowCompressor c;
    ASSERT_TRUE(c.Allocate(16, 1));
    int change = 0;
    const std::uint8_t* out = nullptr;

    // Sizes 2 (unencoded), 2 (run-length), 2 (PackBits), 3 (delta): PackBits
    // would win the tie against the lower methods, but the compressor starts
    // at method 0, which ties too and therefore stays.
    EXPECT_EQ(c.Compress(Bytes{0x30, 0x30}.data(), 2, 0, &out, &change), 2);
    EXPECT_EQ(change, RowCompressor::kNoChange);
    EXPECT_EQ(c.currentMethod(), 0u);

    // Delta row and PackBits tie at 3 bytes and beat the others: delta wins.
    ASSERT_TRUE(c.Allocate(16, 1));
    c.EnableMethods(false, true, true, true);
    EXPECT_EQ(c.Compress(Bytes{0x41, 0x42}.data(), 2, 0, &out, &change), 3);
    EXPECT_EQ(change, RowCompressor::kDeltaRow);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x20, 0x41, 0x42}));

    // Run-length and PackBits tie at 2 bytes, delta needs 5: PackBits.
    c.EnableMethods(true, true, true, true);
    c.ClearSeeds();
    EXPECT_EQ(c.Compress(Bytes{0x43, 0x43, 0x43, 0x43}.data(), 4, 0, &out, &change), 2);
    EXPECT_EQ(change, RowCompressor::kPackBits);
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{0xFD, 0x43}));
}

TEST(Choice, ATieWithTheMethodInForceKeepsIt)
{
    RowCompressor c;
    ASSERT_TRUE(c.Allocate(256, 1));
    int change = 0;
    const std::uint8_t* out = nullptr;

    // 200 equal bytes: run-length (2) beats PackBits (4).
    EXPECT_EQ(c.Compress(Repeat(200, 0x11).data(), 200, 0, &out, &change), 2);
    EXPECT_EQ(change, RowCompressor::kRunLength);

    // Four equal bytes that differ from the seed: run-length and PackBits
    // tie at 2; run-length is in force and stays, with no change reported.
    EXPECT_EQ(c.Compress(Repeat(4, 0x22).data(), 4, 0, &out, &change), 2);
    EXPECT_EQ(change, RowCompressor::kNoChange);
    EXPECT_EQ(c.currentMethod(), 1u);
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{0x03, 0x22}));

    // A strictly smaller method does replace the one in force.
    EXPECT_EQ(c.Compress(Repeat(4, 0x22).data(), 4, 0, &out, &change), 0);
    EXPECT_EQ(change, RowCompressor::kDeltaRow);
    EXPECT_EQ(c.currentMethod(), 3u);
}

TEST(Choice, DisabledMethodsAreNeverChosen)
{
    RowCompressor c;
    c.EnableMethods(false, false, true, false);
    ASSERT_TRUE(c.Allocate(64, 1));
    int change = 0;
    const std::uint8_t* out = nullptr;
    // All zeros: unencoded, run-length and delta would all give 0 bytes.
    EXPECT_EQ(c.Compress(Repeat(64, 0).data(), 64, 0, &out, &change), 2);
    EXPECT_EQ(change, RowCompressor::kPackBits);
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{0xC1, 0x00}));

    // Nothing enabled: the row still goes out, unencoded.
    c.EnableMethods(false, false, false, false);
    const Bytes row{5, 6, 0};
    EXPECT_EQ(c.Compress(row.data(), 3, 0, &out, &change), 2);
    EXPECT_EQ(change, RowCompressor::kUnencoded);
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{5, 6}));
}

TEST(SeedRows, EachPlaneKeepsItsLastRowWhateverMethodWon)
{
    RowCompressor c;
    ASSERT_TRUE(c.Allocate(4, 3));
    const Bytes a{1, 2, 3, 4};
    const Bytes b{0, 0, 0, 9};
    c.Compress(a.data(), 4, 0, nullptr, nullptr);
    c.Compress(b.data(), 4, 2, nullptr, nullptr);
    EXPECT_EQ(Bytes(c.seedRow(0), c.seedRow(0) + 4), a);
    EXPECT_EQ(Bytes(c.seedRow(1), c.seedRow(1) + 4), Bytes(4, 0));
    EXPECT_EQ(Bytes(c.seedRow(2), c.seedRow(2) + 4), b);
    EXPECT_EQ(c.seedRow(3), nullptr);

    // A shorter row replaces only the front of the seed.
    const Bytes shortRow{7, 7};
    c.Compress(shortRow.data(), 2, 0, nullptr, nullptr);
    EXPECT_EQ(Bytes(c.seedRow(0), c.seedRow(0) + 4), (Bytes{7, 7, 3, 4}));

    c.ClearSeeds();
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(Bytes(c.seedRow(k), c.seedRow(k) + 4), Bytes(4, 0)) << "plane " << k;
    }
}

TEST(SeedRows, DeltaRowComparesWithTheSeedBeforeTheCall)
{
    RowCompressor c;
    c.EnableMethods(false, false, false, true);
    ASSERT_TRUE(c.Allocate(4, 2));
    const Bytes row{1, 2, 3, 4};
    const std::uint8_t* out = nullptr;
    EXPECT_EQ(c.Compress(row.data(), 4, 0, &out, nullptr), 5);
    EXPECT_EQ(c.Compress(row.data(), 4, 0, &out, nullptr), 0);
    // Plane 1 has its own seed, still zero.
    EXPECT_EQ(c.Compress(row.data(), 4, 1, &out, nullptr), 5);
}

TEST(Lifecycle, AllocateRefusesBadSizesAndLeavesTheCompressorEmpty)
{
    RowCompressor c;
    ASSERT_TRUE(c.Allocate(10, 1));
    for (auto [rowBytes, planes] : {std::pair{0, 1}, {-5, 1}, {10, 0}, {10, 9}, {10, -1},
                                    {INT_MAX, 1}, {INT_MAX / 2 + 1, 4}}) {
        EXPECT_FALSE(c.Allocate(rowBytes, planes)) << rowBytes << " x " << planes;
        EXPECT_EQ(c.planes(), 0);
        EXPECT_EQ(c.rowBytes(), 0);
        EXPECT_EQ(c.seedRow(0), nullptr);
    }
    EXPECT_TRUE(c.Allocate(10, 8));
    EXPECT_EQ(c.planes(), 8);
    EXPECT_EQ(c.rowBytes(), 10);
}

TEST(Lifecycle, AllocateRestartsAtMethodZeroAndFreeKeepsTheSettings)
{
    RowCompressor c;
    c.EnableMethods(false, true, false, false);
    ASSERT_TRUE(c.Allocate(8, 1));
    int change = 0;
    c.Compress(Repeat(8, 3).data(), 8, 0, nullptr, &change);
    EXPECT_EQ(change, 1);
    c.Free();
    EXPECT_EQ(c.currentMethod(), 1u);
    EXPECT_FALSE(c.enabled(0));
    EXPECT_TRUE(c.enabled(1));
    EXPECT_FALSE(c.enabled(4));
    ASSERT_TRUE(c.Allocate(8, 1));
    EXPECT_EQ(c.currentMethod(), 0u);
    c.Compress(Repeat(8, 3).data(), 8, 0, nullptr, &change);
    EXPECT_EQ(change, 1) << "each page announces its first method again";
}

TEST(Lifecycle, CompressRefusesBadArgumentsWithoutChangingState)
{
    RowCompressor c;
    const Bytes row{1, 2, 3, 4, 5};
    const std::uint8_t* out = row.data();
    int change = 7;
    EXPECT_EQ(c.Compress(row.data(), 5, 0, &out, &change), 0) << "nothing allocated";
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(change, RowCompressor::kNoChange);

    ASSERT_TRUE(c.Allocate(4, 2));
    EXPECT_EQ(c.Compress(nullptr, 4, 0, &out, &change), 0);
    EXPECT_EQ(c.Compress(row.data(), 5, 0, &out, &change), 0) << "longer than a row";
    EXPECT_EQ(c.Compress(row.data(), -1, 0, &out, &change), 0);
    EXPECT_EQ(c.Compress(row.data(), 4, 2, &out, &change), 0);
    EXPECT_EQ(c.Compress(row.data(), 4, -1, &out, &change), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(c.currentMethod(), 0u);
    EXPECT_EQ(Bytes(c.seedRow(0), c.seedRow(0) + 4), Bytes(4, 0));
    EXPECT_EQ(Bytes(c.seedRow(1), c.seedRow(1) + 4), Bytes(4, 0));

    // An empty row is valid and costs nothing.
    EXPECT_EQ(c.Compress(row.data(), 0, 1, &out, &change), 0);
    EXPECT_NE(out, nullptr);
}

namespace {

// Rows that look like dithered planes: noise, runs, sparse dots, white
// space, and rows that repeat most of the previous one.
Bytes RandomRow(std::mt19937& rng, int length, const Bytes& previous)
{
    Bytes row(static_cast<std::size_t>(length));
    const int kind = static_cast<int>(rng() % 5);
    std::uint8_t run = 0;
    for (int i = 0; i < length; ++i) {
        switch (kind) {
        case 0:
            row[i] = static_cast<std::uint8_t>(rng());
            break;
        case 1:
            if (rng() % 40 == 0) {
                run = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng());
            }
            row[i] = run;
            break;
        case 2:
            row[i] = rng() % 10 == 0 ? static_cast<std::uint8_t>(1u << (rng() % 8)) : 0;
            break;
        case 3:
            row[i] = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() % 4 : 0);
            break;
        default:
            row[i] = (i < static_cast<int>(previous.size()) && rng() % 6 != 0)
                         ? previous[i]
                         : static_cast<std::uint8_t>(rng());
            break;
        }
    }
    return row;
}

Bytes Decode(int method, const Bytes& in, const Bytes& seed, int rowBytes)
{
    switch (method) {
    case 0:
        return DecodeUnencoded(in, rowBytes);
    case 1:
        return DecodeRunLength(in, rowBytes);
    case 2:
        return DecodePackBits(in, rowBytes);
    default:
        return DecodeDeltaRow(in, seed);
    }
}

// Feeds seeded random rows through a compressor and decodes every result as
// a printer would: tracking the announced method and a seed row per plane.
void RoundTrip(unsigned seed, std::array<bool, 4> methods)
{
    std::mt19937 rng(seed);
    const int rowBytes = 1 + static_cast<int>(rng() % 700);
    const int planes = 1 + static_cast<int>(rng() % 4);
    RowCompressor c;
    c.EnableMethods(methods[0], methods[1], methods[2], methods[3]);
    ASSERT_TRUE(c.Allocate(rowBytes, planes));
    int printerMethod = 0;
    std::vector<Bytes> printerSeeds(static_cast<std::size_t>(planes), Bytes(rowBytes, 0));
    for (int r = 0; r < 60; ++r) {
        for (int plane = 0; plane < planes; ++plane) {
            Bytes row = RandomRow(rng, rowBytes, printerSeeds[plane]);
            const std::uint8_t* out = nullptr;
            int change = 0;
            const int size = c.Compress(row.data(), rowBytes, plane, &out, &change);
            ASSERT_NE(out, nullptr);
            ASSERT_GE(size, 0);
            ASSERT_LE(size, 2 * rowBytes);
            if (change != RowCompressor::kNoChange) {
                ASSERT_NE(change, printerMethod) << "a change must be a change";
                printerMethod = change;
            }
            ASSERT_EQ(static_cast<std::uint32_t>(printerMethod), c.currentMethod());
            ASSERT_TRUE(methods[printerMethod]);
            const Bytes decoded =
                Decode(printerMethod, Bytes(out, out + size), printerSeeds[plane], rowBytes);
            ASSERT_EQ(decoded, row) << "seed " << seed << " row " << r << " plane " << plane
                                    << " method " << printerMethod;
            printerSeeds[plane] = decoded;
        }
    }
}

}  // namespace

TEST(RoundTrip, EveryMethodAloneDecodesBackToTheRow)
{
    for (int method = 0; method < 4; ++method) {
        for (unsigned seed = 1; seed <= 15; ++seed) {
            std::array<bool, 4> methods{};
            methods[method] = true;
            RoundTrip(seed * 7919u + method, methods);
        }
    }
}

TEST(RoundTrip, AllMethodsTogetherDecodeBackToTheRow)
{
    for (unsigned seed = 100; seed < 160; ++seed) {
        RoundTrip(seed, {true, true, true, true});
    }
    for (unsigned seed = 200; seed < 220; ++seed) {
        RoundTrip(seed, {true, false, true, false});
    }
}

TEST(RoundTrip, ChosenSizeIsTheSmallestOfTheEnabledMethods)
{
    std::mt19937 rng(42);
    for (int r = 0; r < 300; ++r) {
        const int length = 1 + static_cast<int>(rng() % 300);
        const Bytes row = RandomRow(rng, length, {});
        std::vector<std::size_t> sizes;
        for (int m = 0; m < 4; ++m) {
            sizes.push_back(EncodeWith(m, row).size());
        }
        RowCompressor c;
        ASSERT_TRUE(c.Allocate(length, 1));
        const int size = c.Compress(row.data(), length, 0, nullptr, nullptr);
        EXPECT_EQ(static_cast<std::size_t>(size), *std::min_element(sizes.begin(), sizes.end()));
    }
}

TEST(RoundTrip, ChoiceMatchesFullEncodingWithEveryMethod)
{
    // Four compressors with one method each see the same rows, so their seed
    // rows stay identical to the combined one's; the choice rules applied to
    // their full sizes must give the combined compressor's size, method,
    // change reports and bytes, whatever it skips on the way.
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 40; ++trial) {
        const int rowBytes = 1 + static_cast<int>(rng() % 400);
        const int planes = 1 + static_cast<int>(rng() % 4);
        RowCompressor all;
        ASSERT_TRUE(all.Allocate(rowBytes, planes));
        RowCompressor single[4];
        for (int m = 0; m < 4; ++m) {
            single[m].EnableMethods(m == 0, m == 1, m == 2, m == 3);
            ASSERT_TRUE(single[m].Allocate(rowBytes, planes));
        }
        int current = 0;
        Bytes previous;
        for (int r = 0; r < 80; ++r) {
            const int plane = static_cast<int>(rng() % planes);
            const int length = rng() % 4 == 0 ? static_cast<int>(rng() % (rowBytes + 1)) : rowBytes;
            const Bytes row = RandomRow(rng, length, previous);
            previous = row;
            Bytes outputs[4];
            int sizes[4];
            for (int m = 0; m < 4; ++m) {
                const std::uint8_t* out = nullptr;
                sizes[m] = single[m].Compress(row.data(), length, plane, &out, nullptr);
                outputs[m] = Bytes(out, out + sizes[m]);
            }
            int choice = 3;
            for (int m = 2; m >= 0; --m) {
                if (sizes[m] < sizes[choice]) {
                    choice = m;
                }
            }
            if (sizes[choice] == sizes[current]) {
                choice = current;
            }
            const int expectedChange = choice != current ? choice : RowCompressor::kNoChange;
            current = choice;

            const std::uint8_t* out = nullptr;
            int change = 0;
            const int size = all.Compress(row.data(), length, plane, &out, &change);
            ASSERT_EQ(size, sizes[choice]) << "trial " << trial << " row " << r;
            ASSERT_EQ(change, expectedChange) << "trial " << trial << " row " << r;
            ASSERT_EQ(all.currentMethod(), static_cast<std::uint32_t>(choice));
            ASSERT_EQ(Bytes(out, out + size), outputs[choice]);
        }
    }
}
