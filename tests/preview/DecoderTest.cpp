#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "drivers/DriverTestSupport.h"
#include "preview/PreviewPage.h"
#include "preview/RasterCodecs.h"
#include "preview/StreamDecoder.h"

using namespace tarvel::preview;
using namespace tarvel::testing;

namespace {

DecodeResult Decode(Language language, const Bytes& bytes)
{
    return DecodeStream(language, bytes.data(), bytes.size());
}

Bytes ReadFileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Bytes kPclStart = Concat({Esc("%-12345X"), Esc("E"), Esc("*r1U"), Esc("*t300R"), Esc("*r1A")});
const Bytes kPclEnd = Concat({Esc("*rC"), Hex("0C"), Esc("E")});

}  // namespace

TEST(RasterCodecs, PackBitsRunsLiteralsAndTheNoOpControl)
{
    Bytes out;
    ASSERT_TRUE(UnpackBits(Hex("81 AA 80 02 01 02 03 FF 07").data(), 9, 1000, out));
    Bytes expected(128, 0xAA);
    expected.insert(expected.end(), {1, 2, 3, 7, 7});
    EXPECT_EQ(out, expected);

    Bytes cut;
    EXPECT_FALSE(UnpackBits(Hex("03 01 02").data(), 3, 1000, cut));  // literal of 4, 2 present
    EXPECT_FALSE(UnpackBits(Hex("FE").data(), 1, 1000, cut));        // run without its byte
    EXPECT_FALSE(UnpackBits(Hex("81 00").data(), 2, 127, cut));      // more than allowed

    Bytes exact;
    std::size_t used = 0;
    const Bytes stream = Hex("FE 11 00 22 33");
    ASSERT_TRUE(UnpackBitsExactly(stream.data(), stream.size(), 4, exact, &used));
    EXPECT_EQ(exact, Hex("11 11 11 22"));
    EXPECT_EQ(used, 4u);
    Bytes over;
    EXPECT_FALSE(UnpackBitsExactly(stream.data(), stream.size(), 2, over, &used));  // run spills
}

TEST(RasterCodecs, RunLengthPairsAndDeltaRowOffsets)
{
    Bytes out;
    ASSERT_TRUE(DecodeRunLength(Hex("FF 05 00 05 02 09").data(), 6, 1000, out));
    EXPECT_EQ(out.size(), 257u + 3u);
    EXPECT_EQ(out[256], 0x05);
    EXPECT_EQ(out[257], 0x09);
    EXPECT_FALSE(DecodeRunLength(Hex("01").data(), 1, 1000, out));

    // Offset 31 needs a following 0; 286 is 31 + 255 + 0.
    Bytes row(300, 0xEE);
    ASSERT_TRUE(ApplyDeltaRow(Hex("1F 00 AB").data(), 3, 1000, row));
    EXPECT_EQ(row[31], 0xAB);
    EXPECT_EQ(row[30], 0xEE);
    ASSERT_TRUE(ApplyDeltaRow(Hex("3F FF 00 01 02").data(), 5, 1000, row));
    EXPECT_EQ(row[286], 0x01);
    EXPECT_EQ(row[287], 0x02);
    EXPECT_EQ(row[285], 0xEE);
    // Offsets count from the end of the previous replacement.
    Bytes seed(20, 0);
    ASSERT_TRUE(ApplyDeltaRow(Hex("02 01  21 02 03").data(), 5, 1000, seed));
    EXPECT_EQ(Hex("00 00 01 00 02 03"), Bytes(seed.begin(), seed.begin() + 6));
    // Replacements past the seed extend the row; missing bytes are refused.
    Bytes shortSeed(2, 0);
    ASSERT_TRUE(ApplyDeltaRow(Hex("24 09 08").data(), 3, 1000, shortSeed));
    EXPECT_EQ(shortSeed, Hex("00 00 00 00 09 08"));
    EXPECT_FALSE(ApplyDeltaRow(Hex("E0 01 02").data(), 3, 1000, shortSeed));
    EXPECT_FALSE(ApplyDeltaRow(Hex("1F FF").data(), 2, 1000, shortSeed));
}

TEST(PreviewPage, BitsLandAtAnyColumnAndOnlyAddInk)
{
    PreviewPage page;
    const Bytes bits = Hex("A5 C0");
    ASSERT_TRUE(page.PutBits(Ink::Cyan, 3, 2, bits.data(), 10));
    // A5 C0 over ten dots: 1010 0101 11 from column 3.
    const bool expected[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(page.Dot(Ink::Cyan, 3 + i, 2), expected[i]) << i;
    EXPECT_FALSE(page.Dot(Ink::Cyan, 2, 2));
    EXPECT_FALSE(page.Dot(Ink::Cyan, 13, 2));
    EXPECT_FALSE(page.Dot(Ink::Black, 3, 2));
    EXPECT_EQ(page.width(), 13u);
    EXPECT_EQ(page.height(), 3u);
    // Bits beyond the count are not ink.
    const Bytes full = Hex("FF");
    ASSERT_TRUE(page.PutBits(Ink::Black, 16, 0, full.data(), 3));
    EXPECT_TRUE(page.Dot(Ink::Black, 18, 0));
    EXPECT_FALSE(page.Dot(Ink::Black, 19, 0));
    const Bytes none = Hex("00");
    ASSERT_TRUE(page.PutBits(Ink::Cyan, 3, 2, none.data(), 8));
    EXPECT_TRUE(page.Dot(Ink::Cyan, 3, 2));
    EXPECT_FALSE(page.PutBits(Ink::Black, kMaxPageDots - 4, 0, full.data(), 8));
    EXPECT_FALSE(page.PutBits(Ink::Black, 0, kMaxPageDots, full.data(), 8));
    EXPECT_FALSE(page.PutBits(Ink::Black, 0, 0, nullptr, 8));
}

TEST(PreviewPage, PictureMixesInksAndWritesAPng)
{
    PreviewPage page;
    const Bytes one = Hex("80");
    // Column 0 cyan+magenta+yellow, 1 magenta+yellow, 2 black, 3 yellow, 4 white.
    for (Ink ink : {Ink::Cyan, Ink::Magenta, Ink::Yellow}) page.PutBits(ink, 0, 0, one.data(), 1);
    page.PutBits(Ink::Magenta, 1, 0, one.data(), 1);
    page.PutBits(Ink::Yellow, 1, 0, one.data(), 1);
    page.PutBits(Ink::Black, 2, 0, one.data(), 1);
    page.PutBits(Ink::Yellow, 3, 1, one.data(), 1);
    ASSERT_TRUE(page.Extend(5, 2));
    const Bytes rgb = RenderRgb(page);
    ASSERT_EQ(rgb.size(), 5u * 2u * 3u);
    EXPECT_EQ(Bytes(rgb.begin(), rgb.begin() + 15), Hex("000000 FF0000 000000 FFFFFF FFFFFF"));
    EXPECT_EQ(Bytes(rgb.begin() + 15, rgb.end()), Hex("FFFFFF FFFFFF FFFFFF FFFF00 FFFFFF"));

    const char* scratch = std::getenv("TARVEL_TEST_SCRATCH");
    const std::filesystem::path dir = scratch ? scratch : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "preview-mix.png").string();
    ASSERT_TRUE(WritePng(page, path.c_str()));
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 5);
    EXPECT_EQ(cairo_image_surface_get_height(png), 2);
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(png));
    const int stride = cairo_image_surface_get_stride(png) / 4;
    EXPECT_EQ(pixels[1] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(pixels[stride + 3] & 0xFFFFFF, 0xFFFF00u);
    cairo_surface_destroy(png);

    EXPECT_FALSE(WritePng(PreviewPage{}, path.c_str()));
    EXPECT_FALSE(WritePng(page, nullptr));
    EXPECT_FALSE(WritePng(page, ""));
    EXPECT_FALSE(WritePng(page, "/nonexistent-dir/x.png"));
}

TEST(Decoders, PocketJetPageTakesItsSizeFromTheAnnouncedFormat)
{
    // The PocketJet II page with ink in columns 0 to 99 of row 5.
    const auto pj = Decode(Language::PocketJet,
                           Hex("1B 40 1B 7E 71 01 1B 7E 64 AF 00 1B 7E 66 01 1B 7E 77 2C 01 1B 7E 68 E4 0C"
                               "1B 7E 4A 05  1B 7E 2A 0D 00 FF FF FF FF FF FF FF FF FF FF FF FF F0"
                               "1B 7E 4A 01  1B 7E 2A 00 00 1B 7E 0C 1B 40"));
    ASSERT_TRUE(pj.ok) << pj.error;
    ASSERT_EQ(pj.pages.size(), 1u);
    const PreviewPage& page = pj.pages[0];
    EXPECT_EQ(page.resolutionX, 300);
    EXPECT_EQ(page.width(), 2400u);
    EXPECT_EQ(page.height(), 3300u);
    for (std::uint32_t x = 0; x < 110; ++x) {
        EXPECT_EQ(page.Dot(Ink::Black, x, 5), x < 100) << x;
        EXPECT_FALSE(page.Dot(Ink::Black, x, 4));
        EXPECT_FALSE(page.Dot(Ink::Black, x, 6));
    }
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
        {"PCL row closed early", Language::Pcl, Concat({pclColour, Esc("*b0V"), Esc("*b0W"), kPclEnd}),
         pclColour.size() + 5},
        {"PCL too many planes", Language::Pcl, Concat({pclColour, Esc("*b0V"), Esc("*b0V"), Esc("*b0V")}),
         pclColour.size() + 10},
        {"PCL data cut short", Language::Pcl, Concat({kPclStart, Esc("*b9W"), Hex("01 02")}), kPclStart.size()},
        {"PCL PackBits literal without its byte", Language::Pcl,
         Concat({kPclStart, Esc("*b2m3W"), Hex("FE F0 00"), kPclEnd}), kPclStart.size()},
        {"PCL method 5", Language::Pcl, Concat({kPclStart, Esc("*b5M"), kPclEnd}), kPclStart.size()},
        {"PCL landscape", Language::Pcl, Concat({Esc("E"), Esc("&l1O")}), 2},
        {"PCL no form feed", Language::Pcl, kPclStart, kPclStart.size()},
        {"ESC/P 2 bad colour", Language::EscP2, Concat({epson, Hex("1B 72 03")}), epson.size()},
        {"ESC/P 2 density", Language::EscP2, Concat({epson, Hex("1B 2E 00 14 14 01 08 00 FF 0D 0C")}),
         epson.size()},
        {"ESC/P 2 run past the row", Language::EscP2,
         Concat({epson, Hex("1B 2E 01 0A 0A 01 08 00 FE FF 0D 0C")}), epson.size()},
        {"ESC/P 2 has no compressed mode", Language::EscP2, stylus, epson.size()},
        {"Stylus unknown byte", Language::StylusColor, Concat({stylus, Hex("80 22 00 F0 E2 99")}),
         stylus.size() + 5},
        {"Stylus left in compressed mode", Language::StylusColor, Concat({stylus, Hex("61")}),
         stylus.size() + 1},
        {"PocketJet unknown", Language::PocketJet, Hex("1B 40 1B 7E 5A 00"), 2},
        {"PocketJet data cut short", Language::PocketJet, Hex("1B 40 1B 7E 2A 05 00 FF"), 2},
        {"Canon bad letter", Language::CanonBj, Concat({canon, Hex("1B 28 41 02 00 51 FF")}), canon.size()},
        {"Canon bad PackBits", Language::CanonBj, Concat({canon, Hex("1B 28 41 02 00 4B 05 0D 0C")}),
         canon.size()},
        {"Canon nothing printed", Language::CanonBj, canon, canon.size()},
        {"Canon second page without form feed", Language::CanonBj, canonTwoPages, canonTwoPages.size()},
        {"empty stream", Language::Pcl, Bytes{}, 0},
    };
    for (const Case& c : cases) {
        const auto result = Decode(c.language, c.stream);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_EQ(result.errorOffset, c.offset) << c.what << ": " << result.error;
        EXPECT_FALSE(result.error.empty()) << c.what;
        EXPECT_TRUE(result.pages.empty()) << c.what;
    }
    const auto nullStream = DecodeStream(Language::CanonBj, nullptr, 10);
    EXPECT_FALSE(nullStream.ok);
    Language language;
    EXPECT_FALSE(LanguageOfModel(7, &language));
    EXPECT_FALSE(LanguageOfModel(-1, &language));
}

// Inputs that once took minutes and gigabytes: each is refused at the
// command that goes too far, and whatever decodes renders.
TEST(Decoders, StreamsThatOnceCostGigabytesAreRefusedAtTheCommandThatGoesTooFar)
{
    struct Expected {
        const char* file;
        std::size_t offset;
        const char* error;
    };
    const std::size_t pclRow = kPclStart.size();
    const Expected known[] = {
        {"pocketjet-16384-square-page.bin", 0, "page wider than the largest paper"},
        {"pcl-delta-rows-copying-a-16k-row.bin", pclRow, "page wider than the largest paper"},
    };
    std::size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TARVEL_FUZZ_CRASHERS "/preview")) {
        const Bytes input = ReadFileBytes(entry.path());
        ASSERT_FALSE(input.empty()) << entry.path();
        const auto result = DecodeStream(static_cast<Language>(input[0] % 5), input.data() + 1, input.size() - 1);
        const std::string name = entry.path().filename().string();
        if (result.ok) {
            EXPECT_FALSE(result.pages.empty()) << name;
        } else {
            EXPECT_LT(result.errorOffset, input.size() - 1) << name << ": " << result.error;
        }
        for (const Expected& e : known) {
            if (name != e.file) continue;
            EXPECT_EQ(result.error, e.error) << name;
            EXPECT_EQ(result.errorOffset, e.offset) << name;
            ++replayed;
        }
        for (const auto& page : result.pages) EXPECT_FALSE(RenderRgb(page).empty()) << name;
    }
    EXPECT_EQ(replayed, std::size(known));
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
    DecodeLimits limits;
    limits.totalInkBytes = 3 * rows * 319;
    const auto onePage = DecodeStream(Language::Pcl, page.data(), page.size(), limits);
    ASSERT_TRUE(onePage.ok) << onePage.error;
    EXPECT_EQ(onePage.pages[0].height(), rows);
    EXPECT_TRUE(onePage.pages[0].Dot(Ink::Black, 319 * 8 - 1, rows - 1));
    const Bytes threePages = Concat({page, page, page});
    const auto tooMuchInk = DecodeStream(Language::Pcl, threePages.data(), threePages.size(), limits);
    EXPECT_EQ(tooMuchInk.error, "stream too large to preview");
    EXPECT_GT(tooMuchInk.errorOffset, 2 * page.size());
    EXPECT_LT(tooMuchInk.errorOffset, 3 * page.size());

    // Blank PocketJet pages of a declared size cost their area when shown.
    const Bytes format = Hex("1B 7E 77 34 01 1B 7E 68 04 10");
    const Bytes blankPages = Concat({format, Hex("1B 7E 0C 1B 7E 0C 1B 7E 0C")});
    limits = DecodeLimits{};
    limits.totalPageDots = 2 * 308 * 8 * 4100;
    const auto tooLarge = DecodeStream(Language::PocketJet, blankPages.data(), blankPages.size(), limits);
    EXPECT_EQ(tooLarge.error, "stream too large to preview");
    EXPECT_EQ(tooLarge.errorOffset, format.size() + 6);
    limits = DecodeLimits{};
    limits.pages = 2;
    const auto tooMany = DecodeStream(Language::PocketJet, blankPages.data(), blankPages.size(), limits);
    EXPECT_EQ(tooMany.error, "too many pages");
    EXPECT_EQ(tooMany.errorOffset, format.size() + 6);
}

TEST(Decoders, StreamFilesThatCannotBeReadAreToldByName)
{
    const std::filesystem::path folder = std::filesystem::path(std::getenv("TARVEL_TEST_SCRATCH")) / "streams";
    std::filesystem::create_directories(folder);
    std::vector<std::uint8_t> stream{1};
    std::string error;
    EXPECT_FALSE(ReadStreamFile(folder.c_str(), stream, error));
    EXPECT_EQ(error, folder.string() + ": Is a directory");
    EXPECT_TRUE(stream.empty());
    EXPECT_FALSE(ReadStreamFile((folder / "missing.prn").c_str(), stream, error));
    EXPECT_EQ(error, (folder / "missing.prn").string() + ": No such file or directory");
    EXPECT_FALSE(ReadStreamFile(nullptr, stream, error));

    const Bytes page = Hex("1B 40 00 FF 0C");
    std::ofstream(folder / "page.prn", std::ios::binary).write(reinterpret_cast<const char*>(page.data()), 5);
    ASSERT_TRUE(ReadStreamFile((folder / "page.prn").c_str(), stream, error)) << error;
    EXPECT_EQ(stream, page);
}
