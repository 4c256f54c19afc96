#include <gtest/gtest.h>

#include "drivers/PlaneSplit.h"
#include "drivers/DriverTestSupport.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

TEST(PlaneSplit, NothingIsWrittenForEmptyOrNegativeCounts)
{
    Row row = WhiteRow(9);
    Paint(row, 0, 9, kBlack);
    std::uint8_t planes[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    auto& [c, m, y, k] = planes;
    SplitBlack(row.data(), &k, 0);
    SplitCmy(row.data(), &c, &m, &y, -3);
    SplitCmyk(row.data(), &c, &m, &y, &k, -1);
    SplitBlack(nullptr, &k, 8);
    for (std::uint8_t plane : planes) EXPECT_EQ(plane, 0x5A);
}

TEST(PlaneSplit, EveryPlaneAgreesWithThePixelRulesOnMixedRows)
{
    // Rows built from runs of paper, solid ink, pure colours and any bytes
    // (near black too: components of 1 and 2), at every offset and width,
    // against the rules read literally pixel by pixel. One byte past each
    // plane must stay untouched.
    std::mt19937 rng(7);
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 90);
        Row row(static_cast<std::size_t>(n) * 3);
        for (int x = 0; x < n;) {
            const int kind = static_cast<int>(rng() % 4);
            const int run = 1 + static_cast<int>(rng() % 12);
            for (int i = 0; i < run && x < n; ++i, ++x) {
                std::uint8_t* p = &row[static_cast<std::size_t>(x) * 3];
                for (int c = 0; c < 3; ++c) {
                    p[c] = kind == 0 ? 255 : kind == 1 ? 0
                        : kind == 2                    ? (rng() % 2 ? 255 : 0)
                                                       : static_cast<std::uint8_t>(rng() % 3);
                }
            }
        }
        const std::size_t bytes = static_cast<std::size_t>(n + 7) / 8;
        std::vector<std::uint8_t> want[7];  // k; c, m, y of three planes; c, m, y of four
        for (auto& plane : want) plane.assign(bytes, 0), plane.push_back(0xA5);
        for (int x = 0; x < n; ++x) {
            const std::uint8_t* p = &row[static_cast<std::size_t>(x) * 3];
            const auto bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
            const std::size_t at = static_cast<std::size_t>(x / 8);
            const bool black = (p[0] | p[1] | p[2]) == 0;
            const bool ink[3] = {p[2] == 0, p[1] == 0, p[0] == 0};  // cyan, magenta, yellow
            if (black) want[0][at] |= bit;
            for (int c = 0; c < 3; ++c) {
                if (ink[c]) want[1 + c][at] |= bit;
                if (ink[c] && !black) want[4 + c][at] |= bit;
            }
        }
        std::vector<std::uint8_t> got[7];
        for (auto& plane : got) plane.assign(bytes + 1, 0xA5);
        SplitBlack(row.data(), got[0].data(), n);
        ASSERT_EQ(got[0], want[0]) << "black, trial " << trial << " width " << n;
        SplitCmy(row.data(), got[1].data(), got[2].data(), got[3].data(), n);
        for (int c = 1; c <= 3; ++c) ASSERT_EQ(got[c], want[c]) << "three planes, trial " << trial;
        got[0].assign(bytes + 1, 0xA5);
        SplitCmyk(row.data(), got[4].data(), got[5].data(), got[6].data(), got[0].data(), n);
        ASSERT_EQ(got[0], want[0]) << "four planes, black, trial " << trial;
        for (int c = 4; c <= 6; ++c) ASSERT_EQ(got[c], want[c]) << "four planes, trial " << trial;
    }
}
