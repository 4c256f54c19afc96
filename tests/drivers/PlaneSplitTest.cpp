#include <gtest/gtest.h>

#include "drivers/DriverTestSupport.h"
#include "drivers/PlaneSplit.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

TEST(PlaneSplit, EveryPlaneAgreesWithThePixelRulesOnMixedRows)
{
    // Runs of paper, solid ink, pure colours and near black (components of
    // 1 and 2), at every offset and width, against the rules read pixel by
    // pixel: black is all three zero, an ink is its component at zero, and
    // four planes give black pixels black ink only. One byte past each
    // plane must stay untouched.
    std::mt19937 rng(7);
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 90);
        Row row(static_cast<std::size_t>(n) * 3);
        for (std::size_t i = 0; i < row.size();) {
            const unsigned kind = rng() % 4, run = 3 * (1 + rng() % 12);
            for (std::size_t end = std::min(row.size(), i + run); i < end; ++i)
                row[i] = kind == 0 ? 255 : kind == 1 ? 0
                    : kind == 2                      ? (rng() % 2 ? 255 : 0)
                                                     : rng() % 3;
        }
        const std::size_t bytes = static_cast<std::size_t>(n + 7) / 8;
        std::vector<std::uint8_t> want[7], got[7];  // k; c, m, y of three planes; c, m, y of four
        for (int p = 0; p < 7; ++p) want[p].assign(bytes, 0), want[p].push_back(0xA5), got[p].assign(bytes + 1, 0xA5);
        for (int x = 0; x < n; ++x) {
            const std::uint8_t* px = &row[static_cast<std::size_t>(x) * 3];
            const bool black = (px[0] | px[1] | px[2]) == 0;
            for (int p = 0; p < 7; ++p) {
                const bool ink = p == 0 ? black : px[2 - (p - 1) % 3] == 0 && (p < 4 || !black);
                if (ink) want[p][x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        SplitBlack(row.data(), got[0].data(), n);
        SplitCmy(row.data(), got[1].data(), got[2].data(), got[3].data(), n);
        for (int p = 0; p < 4; ++p) ASSERT_EQ(got[p], want[p]) << "plane " << p << ", trial " << trial << " width " << n;
        got[0].assign(bytes + 1, 0xA5);
        SplitCmyk(row.data(), got[4].data(), got[5].data(), got[6].data(), got[0].data(), n);
        for (int p : {0, 4, 5, 6}) ASSERT_EQ(got[p], want[p]) << "four planes, plane " << p << ", trial " << trial;
    }
}
