// A port that takes only N bytes, for every N short of a whole page: the
// operation that meets the short write returns false at once and writes
// nothing after it.
#include <gtest/gtest.h>

#include <random>

#include "drivers/DriverTestSupport.h"
#include "drivers/PrinterDriver.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

namespace {

std::vector<Row> SmallPage(std::uint32_t width, bool monochrome)
{
    std::mt19937 rng(99);
    std::vector<Row> rows;
    rows.push_back(WhiteRow(width));
    for (int y = 0; y < 4; ++y) rows.push_back(RandomRow(rng, width, monochrome));
    rows.push_back(WhiteRow(width));
    Row gaps = WhiteRow(width);
    Paint(gaps, 2, 5, kBlack);
    Paint(gaps, 70, 75, kBlack);  // a second PocketJet segment
    rows.push_back(gaps);
    return rows;
}

}  // namespace

TEST(ShortWrite, EveryDriverStopsAtTheFirstShortWriteOfAPage)
{
    const std::uint32_t width = 90;
    for (int model = 0; model < kPrinterModelCount; ++model) {
        for (std::uint32_t planes : {1u, 3u, 4u}) {
            if ((model == 3 || model == 4) && planes != 1) continue;
            for (std::uint32_t compression : {0u, 1u}) {
                const PageSetup setup{planes, width, 0, compression, 0};
                const auto rows = SmallPage(width, planes == 1);
                CollectingWriter whole;
                {
                    auto driver = CreateDriver(model);
                    ASSERT_TRUE(PrintPage(*driver, whole, setup, rows));
                }
                for (std::size_t limit = 0; limit < whole.data.size(); ++limit) {
                    auto driver = CreateDriver(model);
                    LimitedWriter port(limit);
                    EXPECT_FALSE(PrintPage(*driver, port, setup, rows))
                        << model << " planes " << planes << " limit " << limit;
                    ASSERT_EQ(port.writesAfterFailure, 0)
                        << model << " planes " << planes << " compression " << compression
                        << " limit " << limit;
                    ASSERT_TRUE(port.failed);
                    ASSERT_EQ(port.data.size(), limit);
                    ASSERT_TRUE(std::equal(port.data.begin(), port.data.end(), whole.data.begin()));
                }
            }
        }
    }
}

TEST(ShortWrite, PclSkipClearsSeedsEvenWhenTheWriteFails)
{
    // The printer never saw the skip, but our seeds must still be zero:
    // the page is abandoned, and a reused driver must not encode against
    // stale rows.
    auto driver = CreateDriver(0);
    ASSERT_TRUE(driver->Open(1, 16, 0, 1, 0));
    Row row = WhiteRow(16);
    Paint(row, 0, 4, kBlack);
    Paint(row, 12, 16, kBlack);
    CollectingWriter first;
    ASSERT_TRUE(driver->SendRow(&first, row.data()));
    LimitedWriter refusing(0);
    EXPECT_FALSE(driver->SkipRows(&refusing, 1));
    CollectingWriter second;
    ASSERT_TRUE(driver->SendRow(&second, row.data()));
    // Against a zero seed the row is not empty.
    EXPECT_EQ(second.data, first.data);
}
