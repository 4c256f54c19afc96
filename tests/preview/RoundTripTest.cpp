// Every driver, every plane count, compression and draft on and off: seeded
// random dithered rows go through the driver, the preview decoder reads the
// stream back, and the dots must be exactly the inks of the rows.
#include <gtest/gtest.h>

#include <random>

#include "drivers/DriverTestSupport.h"
#include "drivers/PrinterDriver.h"
#include "preview/StreamDecoder.h"

using namespace tarvel;
using namespace tarvel::testing;
using preview::Ink;

namespace {

Bytes Trimmed(Bytes bytes)
{
    while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
    return bytes;
}

// The plane row of one ink for a dithered row, written out independently
// of the drivers' separation code: one plane prints black only, four print
// pure black with the black ink and everything else with the colours.
Bytes ExpectedPlaneRow(const Row& row, int width, std::uint32_t planeCount, Ink ink)
{
    Bytes bits((width + 7) / 8, 0);
    for (int x = 0; x < width; ++x) {
        const std::uint8_t b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
        const bool black = b == 0 && g == 0 && r == 0;
        const bool inked = planeCount == 1 || (planeCount == 4 && black)
            ? ink == Ink::Black && black
            : (ink == Ink::Cyan && r == 0) || (ink == Ink::Magenta && g == 0) || (ink == Ink::Yellow && b == 0);
        if (inked) bits[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    return Trimmed(bits);
}

std::vector<Row> RandomPage(std::mt19937& rng, int width, int height, bool monochrome)
{
    std::vector<Row> rows;
    for (int y = 0; y < height; ++y) {
        const unsigned kind = rng() % 8;
        if (kind == 0)
            rows.push_back(WhiteRow(width));
        else if (kind == 1 && !rows.empty())
            rows.push_back(rows.back());  // delta row's best case
        else
            rows.push_back(RandomRow(rng, width, monochrome));
    }
    rows.push_back(WhiteRow(width));  // white at the bottom is never announced
    return rows;
}

// Plane counts the model can print: the PocketJets have only black.
std::uint32_t MostPlanes(int model, std::uint32_t colour)
{
    return model == 3 || model == 4 ? 1 : colour;
}

// The stream a fresh driver of the model writes for the rows.
Bytes Printed(int model, const PageSetup& setup, const std::vector<Row>& rows)
{
    auto driver = drivers::CreateDriver(model);
    CollectingWriter port;
    EXPECT_TRUE(PrintPage(*driver, port, setup, rows)) << "model " << model;
    return port.data;
}

preview::DecodeResult Decoded(int model, const Bytes& stream, std::size_t size)
{
    preview::Language language{};
    EXPECT_TRUE(preview::LanguageOfModel(model, &language));
    return preview::DecodeStream(language, stream.data(), size);
}

}  // namespace

// A two-page document of every configuration: each page has its own
// driver, as the pipeline makes one per page, and the second starts with
// more white rows than a one-byte move holds.
TEST(RoundTrip, EveryDriverDecodesBackToTheSameDotsPageByPage)
{
    std::mt19937 rng(20261205);
    for (int model = 0; model < drivers::kPrinterModelCount; ++model)
        for (std::uint32_t planes : {1u, 3u, 4u})
            for (std::uint32_t config = 0; config < 4 && MostPlanes(model, planes) == planes; ++config) {
                const std::uint32_t compression = config & 1, draft = config >> 1;
                const int width = 150 + static_cast<int>(rng() % 300);
                const std::string where = "model " + std::to_string(model) + " planes " + std::to_string(planes)
                    + " compression " + std::to_string(compression) + " draft " + std::to_string(draft);
                // One plane is fed black-and-white rows, as monochrome
                // dithering gives, and now and then colour rows too.
                std::vector<std::vector<Row>> pages;
                Bytes stream;
                for (int p = 0; p < 2; ++p) {
                    pages.push_back(RandomPage(rng, width, 60, planes == 1 && rng() % 3 != 0));
                    if (p == 1) pages.back().insert(pages.back().begin(), 700, WhiteRow(width));
                    const Bytes page = Printed(model, {planes, static_cast<std::uint32_t>(width), draft, compression, 0}, pages.back());
                    stream.insert(stream.end(), page.begin(), page.end());
                }
                const auto result = Decoded(model, stream, stream.size());
                ASSERT_TRUE(result.ok) << where << ": " << result.error << " at " << result.errorOffset;
                ASSERT_EQ(result.pages.size(), 2u) << where;
                const int dpi = drivers::ModelResolution(model, draft);
                for (int p = 0; p < 2; ++p) {
                    const auto& page = result.pages[p];
                    EXPECT_EQ(std::pair(page.resolutionX, page.resolutionY), std::pair(dpi, dpi)) << where;
                    for (std::uint32_t y = 0; y < std::max<std::size_t>(page.height(), pages[p].size()); ++y)
                        for (Ink ink : {Ink::Black, Ink::Cyan, Ink::Magenta, Ink::Yellow})
                            ASSERT_EQ(ToHex(Trimmed(page.PlaneRow(ink, y))), ToHex(y < pages[p].size() ? ExpectedPlaneRow(pages[p][y], width, planes, ink) : Bytes{}))
                                << where << " page " << p << " row " << y << " ink " << static_cast<int>(ink);
                }
                // The last page cut just before its form feed command is
                // refused, not dropped as if the document had one page.
                std::size_t cut = stream.size();
                while (stream[cut - 1] != 0x0C) --cut;
                cut -= stream[cut - 3] == 0x1B && stream[cut - 2] == 0x7E ? 3 : 1;
                EXPECT_FALSE(Decoded(model, stream, cut).ok) << where;
            }
}

TEST(RoundTrip, DecodingIsTheSameWholeOrAfterAnyCut)
{
    // A stream cut anywhere inside its page is refused, never misread as a
    // shorter page.
    std::mt19937 rng(11);
    for (int model = 0; model < drivers::kPrinterModelCount; ++model) {
        const std::uint32_t planes = MostPlanes(model, 3);
        const Bytes stream = Printed(model, {planes, 70, 0, 1, 0}, RandomPage(rng, 70, 6, planes == 1));
        // The bytes after the form feed only reset the printer.
        std::size_t formFeed = stream.size();
        while (formFeed > 0 && stream[formFeed - 1] != 0x0C) --formFeed;
        ASSERT_GT(formFeed, 0u);
        // The offset and the empty pages of a refusal are the fuzz replay's
        // properties; here every cut must be refused.
        for (std::size_t cut = 0; cut + 1 < formFeed; ++cut)
            EXPECT_FALSE(Decoded(model, stream, cut).ok) << "model " << model << " cut " << cut;
    }
}

// A black row at the foot of a page, after one skip of every row above it:
// legal paper decodes at every model's resolution, a dot wider or longer
// than the largest paper is refused at the command that goes too far.
TEST(RoundTrip, TheLargestPaperDecodesAtEveryModelsResolutionAndNothingBeyondIt)
{
    constexpr std::uint32_t kLegal = 4;
    for (int model = 0; model < drivers::kPrinterModelCount; ++model) {
        preview::Language language{};
        ASSERT_TRUE(preview::LanguageOfModel(model, &language));
        const auto largest = preview::LargestPage(language);
        const auto dpi = static_cast<std::uint32_t>(drivers::ModelResolution(model, 0));
        const std::uint32_t width = 85 * dpi / 10, height = 14 * dpi;
        const struct {
            std::uint32_t width, height;
            const char* error;
        } pages[] = {{width, height, ""}, {largest.width + 1, height, "page wider than the largest paper"}, {width, largest.height + 1, "page longer than the largest paper"}};
        for (const auto& p : pages) {
            auto driver = drivers::CreateDriver(model);
            CollectingWriter port;
            ASSERT_TRUE(driver->Open(MostPlanes(model, 4), p.width, 0, 1, kLegal) && driver->BeginPage(&port) && driver->SkipRows(&port, p.height - 1));
            const std::size_t lastRow = port.data.size();
            ASSERT_TRUE(driver->SendRow(&port, Row(p.width * 3, 0).data()));
            const std::size_t end = port.data.size();
            ASSERT_TRUE(driver->EjectPage(&port));
            const auto result = Decoded(model, port.data, port.data.size());
            const std::string where = "model " + std::to_string(model) + " " + std::to_string(p.width) + " x " + std::to_string(p.height);
            EXPECT_EQ(result.error, p.error) << where;
            if (result.ok) {
                ASSERT_EQ(result.pages.size(), 1u) << where;
                EXPECT_TRUE(result.pages[0].Dot(Ink::Black, p.width - 1, p.height - 1)) << where;
            } else {
                EXPECT_GE(result.errorOffset, lastRow) << where;
                EXPECT_LT(result.errorOffset, end) << where;
            }
        }
    }
}
