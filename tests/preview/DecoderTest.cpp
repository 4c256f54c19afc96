#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "drivers/DriverTestSupport.h"
#include "drivers/PrinterDriver.h"
#include "preview/PreviewPage.h"
#include "preview/RasterCodecs.h"
#include "preview/StreamDecoder.h"

using namespace tarvel;
using namespace tarvel::preview;
using namespace tarvel::testing;

namespace {

DecodeResult Decode(Language language, const Bytes& bytes)
{
    return DecodeStream(language, bytes.data(), bytes.size());
}

const Bytes kPclStart = Concat({Esc("%-12345X"), Esc("E"), Esc("*r1U"), Esc("*t300R"), Esc("*r1A")});
const Bytes kPclEnd = Concat({Esc("*rC"), Hex("0C"), Esc("E")});

}  // namespace

// That each method decodes what our compressor writes, long offsets and
// runs included, is the compressor's round trip; here the commands it
// never writes, and the bytes that are missing or too many.
TEST(RasterCodecs, EachMethodDecodesItsCommandsAndRefusesMissingOrExcessBytes)
{
    enum Codec { PackBits,
                 RunLength,
                 Delta };
    struct Case {
        Codec codec;
        const char* input;
        std::size_t limit;
        Bytes seed;      // the delta row's seed row
        Bytes expected;  // empty: refused
    };
    const Bytes run128 = Concat({Bytes(128, 0xAA), Hex("01 02 03 07 07")});
    const Case cases[] = {
        // A run of 128, the no-op control, a literal of 3, a run of 2.
        {PackBits, "81 AA 80 02 01 02 03 FF 07", 1000, {}, run128},
        {PackBits, "03 01 02", 1000, {}, {}},  // literal of 4, 2 present
        {PackBits, "FE", 1000, {}, {}},        // run without its byte
        {PackBits, "81 00", 127, {}, {}},      // more than allowed
        {RunLength, "01", 1000, {}, {}},
        // Replacements past the seed extend the row; missing bytes are refused.
        {Delta, "24 09 08", 1000, Bytes(2, 0), Hex("00 00 00 00 09 08")},
        {Delta, "E0 01 02", 1000, Bytes(2, 0), {}},
        {Delta, "1F FF", 1000, Bytes(2, 0), {}},
    };
    for (const Case& c : cases) {
        const Bytes input = Hex(c.input);
        Bytes out = c.seed;
        const bool ok = c.codec == PackBits ? UnpackBits(input.data(), input.size(), c.limit, out)
            : c.codec == RunLength          ? DecodeRunLength(input.data(), input.size(), c.limit, out)
                                            : ApplyDeltaRow(input.data(), input.size(), c.limit, out);
        EXPECT_EQ(ok, !c.expected.empty()) << c.input;
        EXPECT_EQ(ok ? ToHex(out) : "", ToHex(c.expected)) << c.input;
    }
}

TEST(PreviewPage, BitsLandAtAnyColumnOnlyAddInkAndMixIntoAPicture)
{
    PreviewPage page;
    const Bytes bits = Hex("A5 C0"), full = Hex("FF"), none = Hex("00"), one = Hex("80");
    // A5 C0 over ten dots from column 3 (1010 0101 11); zeros put over
    // them take no ink away, and bits past the count are not ink.
    ASSERT_TRUE(page.PutBits(Ink::Cyan, 3, 2, bits.data(), 10) && page.PutBits(Ink::Cyan, 3, 2, none.data(), 8) && page.PutBits(Ink::Black, 16, 0, full.data(), 3));
    EXPECT_EQ(ToHex(page.PlaneRow(Ink::Cyan, 2)), ToHex(Hex("14 B8")));
    EXPECT_EQ(ToHex(page.PlaneRow(Ink::Black, 0)), ToHex(Hex("00 00 E0")));
    EXPECT_EQ(std::pair(page.width(), page.height()), std::pair(19u, 3u));
    EXPECT_FALSE(page.PutBits(Ink::Black, kMaxPageDots - 4, 0, full.data(), 8));
    EXPECT_FALSE(page.PutBits(Ink::Black, 0, kMaxPageDots, full.data(), 8));
    EXPECT_FALSE(page.PutBits(Ink::Black, 0, 0, nullptr, 8));

    // Column 0 cyan+magenta+yellow, 1 magenta+yellow, 2 black, 3 yellow, 4 white.
    PreviewPage mix;
    const struct {
        Ink ink;
        std::uint32_t x, y;
    } dots[] = {{Ink::Cyan, 0, 0}, {Ink::Magenta, 0, 0}, {Ink::Yellow, 0, 0}, {Ink::Magenta, 1, 0}, {Ink::Yellow, 1, 0}, {Ink::Black, 2, 0}, {Ink::Yellow, 3, 1}};
    for (const auto& d : dots) mix.PutBits(d.ink, d.x, d.y, one.data(), 1);
    ASSERT_TRUE(mix.Extend(5, 2));
    EXPECT_EQ(ToHex(RenderRgb(mix)), ToHex(Hex("000000 FF0000 000000 FFFFFF FFFFFF FFFFFF FFFFFF FFFFFF FFFF00 FFFFFF")));
    const std::string png = std::string(std::getenv("TARVEL_TEST_SCRATCH")) + "/preview-mix.png";
    ASSERT_TRUE(WritePng(mix, png.c_str()));
    // The file holds the same picture as RenderRgb.
    cairo_surface_t* read = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(std::pair(cairo_image_surface_get_width(read), cairo_image_surface_get_height(read)), std::pair(5, 2));
    Bytes fromPng;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(read) + y * cairo_image_surface_get_stride(read))[x];
            fromPng.insert(fromPng.end(), {std::uint8_t(pixel >> 16), std::uint8_t(pixel >> 8), std::uint8_t(pixel)});
        }
    EXPECT_EQ(ToHex(fromPng), ToHex(RenderRgb(mix)));
    cairo_surface_destroy(read);
    for (const char* path : {static_cast<const char*>(nullptr), "", "/nonexistent-dir/x.png"})
        EXPECT_FALSE(WritePng(mix, path)) << (path ? path : "null");
    EXPECT_FALSE(WritePng(PreviewPage{}, png.c_str()));
}

TEST(Decoders, RejectStreamsTheyDoNotUnderstandAtTheOffendingCommand)
{
    struct Case {
        const char* what;
        Language language;
        Bytes stream;
        std::size_t offset;
    };
    const Bytes pclColour = Concat({Esc("E"), Esc("*r-3U"), Esc("*r1A")});
    const Bytes epson = Hex("1B 40 1B 28 47 01 00 01 1B 28 55 01 00 0A");
    const Bytes stylus = Concat({epson, Hex("1B 2E 02 0A 0A 01 00 00")});
    const Bytes canon = Hex("1B 5B 4B 02 00 00 0F 1B 28 64 02 00 01 68 1B 28 62 01 00 01");
    const Bytes canonTwoPages = Concat({canon, Hex("1B 28 41 03 00 4B 00 80 0C 1B 28 41 03 00 4B 00 80")});
    const Case cases[] = {
        {"PCL unknown command", Language::Pcl, Concat({kPclStart, Esc("*v5S"), kPclEnd}), kPclStart.size()},
        {"PCL stray byte", Language::Pcl, Concat({kPclStart, Hex("41"), kPclEnd}), kPclStart.size()},
        {"PCL row closed early", Language::Pcl, Concat({pclColour, Esc("*b0V"), Esc("*b0W"), kPclEnd}), pclColour.size() + 5},
        {"PCL too many planes", Language::Pcl, Concat({pclColour, Esc("*b0V"), Esc("*b0V"), Esc("*b0V")}), pclColour.size() + 10},
        {"PCL PackBits literal without its byte", Language::Pcl, Concat({kPclStart, Esc("*b2m3W"), Hex("FE F0 00"), kPclEnd}), kPclStart.size()},
        {"PCL method 5", Language::Pcl, Concat({kPclStart, Esc("*b5M"), kPclEnd}), kPclStart.size()},
        {"PCL landscape", Language::Pcl, Concat({Esc("E"), Esc("&l1O")}), 2},
        {"ESC/P 2 bad colour", Language::EscP2, Concat({epson, Hex("1B 72 03")}), epson.size()},
        {"ESC/P 2 density", Language::EscP2, Concat({epson, Hex("1B 2E 00 14 14 01 08 00 FF 0D 0C")}), epson.size()},
        {"ESC/P 2 run past the row", Language::EscP2, Concat({epson, Hex("1B 2E 01 0A 0A 01 08 00 FE FF 0D 0C")}), epson.size()},
        {"ESC/P 2 has no compressed mode", Language::EscP2, stylus, epson.size()},
        {"Stylus unknown byte", Language::StylusColor, Concat({stylus, Hex("80 22 00 F0 E2 99")}), stylus.size() + 5},
        {"PocketJet unknown", Language::PocketJet, Hex("1B 40 1B 7E 5A 00"), 2},
        {"Canon bad letter", Language::CanonBj, Concat({canon, Hex("1B 28 41 02 00 51 FF")}), canon.size()},
        {"Canon bad PackBits", Language::CanonBj, Concat({canon, Hex("1B 28 41 02 00 4B 05 0D 0C")}), canon.size()},
        {"Canon nothing printed", Language::CanonBj, canon, canon.size()},
        {"Canon second page without form feed", Language::CanonBj, canonTwoPages, canonTwoPages.size()},
    };
    // That a refusal gives a reason and no pages is the fuzz replay's
    // property for every input, and that a stream cut short is refused is
    // the round trip's; here the offset must be the command's.
    for (const Case& c : cases) {
        const auto result = Decode(c.language, c.stream);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_EQ(result.errorOffset, c.offset) << c.what << ": " << result.error;
    }
    const auto nullStream = DecodeStream(Language::CanonBj, nullptr, 10);
    EXPECT_FALSE(nullStream.ok);
    Language language;
    EXPECT_FALSE(LanguageOfModel(7, &language));
}

// Inputs that once took minutes and gigabytes are refused at the command
// that goes too far (the fuzz replay runs them for the generic properties).
TEST(Decoders, StreamsThatOnceCostGigabytesAreRefusedAtTheCommandThatGoesTooFar)
{
    const struct {
        const char* file;
        std::size_t offset;
    } known[] = {
        {"pocketjet-16384-square-page.bin", 0},
        {"pcl-delta-rows-copying-a-16k-row.bin", kPclStart.size()},
    };
    for (const auto& k : known) {
        std::ifstream in(std::string(TARVEL_FUZZ_CRASHERS "/preview/") + k.file, std::ios::binary);
        const Bytes input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(input.empty()) << k.file;
        const auto result = DecodeStream(static_cast<Language>(input[0] % 5), input.data() + 1, input.size() - 1);
        EXPECT_EQ(result.error, "page wider than the largest paper") << k.file;
        EXPECT_EQ(result.errorOffset, k.offset) << k.file;
    }
}

TEST(Decoders, AStreamsPagesInkAndAreaAreBounded)
{
    const std::uint32_t rows = LargestPage(Language::Pcl).height;
    // A full row at the widest, then empty delta rows that each copy it.
    const Bytes fullRow = Concat({Esc("*b319W"), Bytes(319, 0xFF)});
    Bytes page = Concat({kPclStart, fullRow, Esc("*b3M")});
    const std::size_t lastRowAt = page.size() + (rows - 1) * 5;
    for (std::uint32_t y = 1; y <= rows; ++y) page = Concat({page, Esc("*b0W")});
    auto tooLong = Decode(Language::Pcl, Concat({page, kPclEnd}));
    EXPECT_EQ(tooLong.error, "page longer than the largest paper");
    EXPECT_EQ(tooLong.errorOffset, lastRowAt);

    // Each page just fits; the ink of three is more than the limit allows.
    page.resize(lastRowAt);
    page = Concat({page, kPclEnd});
    const DecodeLimits limits{.totalInkBytes = 3 * rows * 319};
    const auto onePage = DecodeStream(Language::Pcl, page.data(), page.size(), limits);
    ASSERT_TRUE(onePage.ok) << onePage.error;
    EXPECT_EQ(onePage.pages[0].height(), rows);
    EXPECT_TRUE(onePage.pages[0].Dot(Ink::Black, 319 * 8 - 1, rows - 1));
    const Bytes threePages = Concat({page, page, page});
    const auto tooMuchInk = DecodeStream(Language::Pcl, threePages.data(), threePages.size(), limits);
    EXPECT_EQ(tooMuchInk.error, "stream too large to preview");
    EXPECT_GT(tooMuchInk.errorOffset, 2 * page.size());
    EXPECT_LT(tooMuchInk.errorOffset, 3 * page.size());

    // Blank PocketJet pages cost the area their format declares (308 bytes
    // by 4100 rows) when shown: the limit falls between two and three.
    const Bytes format = Hex("1B 7E 77 34 01 1B 7E 68 04 10");
    const Bytes blankPages = Concat({format, Hex("1B 7E 0C 1B 7E 0C 1B 7E 0C")});
    const struct {
        DecodeLimits limits;
        const char* error;
    } bounds[] = {{{.totalPageDots = 2 * 308 * 8 * 4100}, "stream too large to preview"}, {{.pages = 2}, "too many pages"}};
    for (const auto& b : bounds) {
        const auto result = DecodeStream(Language::PocketJet, blankPages.data(), blankPages.size(), b.limits);
        EXPECT_EQ(result.error, b.error);
        EXPECT_EQ(result.errorOffset, format.size() + 6) << b.error;
    }
}

// The round trip: for every driver, every plane count, compression and
// draft on and off, seeded random dithered rows go through the driver, the
// preview decoder reads the stream back, and the dots must be exactly the
// inks of the rows.
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
