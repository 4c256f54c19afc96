#include <gtest/gtest.h>

#include "drivers/CanonBjDriver.h"
#include "drivers/DriverTestSupport.h"

using namespace tarvel::drivers;
using namespace tarvel::testing;

TEST(CanonBjDriver, ThreePlanePageWithOneInkedRowIsSentAsWorkedOut)
{
    // Row 2: eight red pixels, then eight blue: yellow FF 00, cyan 00 FF,
    // magenta FF FF.
    auto rows = BlankPage(64, 3);
    Paint(rows[2], 0, 8, kRed);
    Paint(rows[2], 8, 16, kBlue);
    EXPECT_EQ(PageHex(CanonBjDriver(CanonBjModel::Dpi360), {3, 64, 0, 1, 0}, rows),
              ToHex(Hex("1B 5B 4B 02 00 00 0F 1B 28 64 02 00 01 68 1B 28 62 01 00 01"
                        "1B 28 65 02 00 00 02"
                        "1B 28 41 04 00 59  01 FF 00  0D"
                        "1B 28 41 04 00 43  01 00 FF  0D"
                        "1B 28 41 03 00 4D  FF FF  0D"
                        "1B 28 65 02 00 00 01"
                        "0C 1B 5B 4B 02 00 00 0F")));
}
