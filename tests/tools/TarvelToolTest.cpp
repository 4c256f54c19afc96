// The tarvel tool as a user runs it: documents made here with cairo are
// printed to the file port, and each stream is read back by the preview
// decoders; bad input ends with the documented exit status and leaves no
// stream behind.
#include "preview/StreamDecoder.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <sys/wait.h>

using tarvel::preview::Ink;
using tarvel::preview::Language;
namespace fs = std::filesystem;

namespace {

class TarvelTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(std::getenv("XDG_CONFIG_HOME"));
        folder = fs::path(std::getenv("TARVEL_TEST_SCRATCH")) / "tool";
        fs::remove_all(folder);
        fs::create_directories(folder);
    }

    // Runs the tool with its standard error kept in a file; the exit status.
    int Run(const std::string& arguments)
    {
        const std::string command = std::string(TARVEL_TOOL) + " " + arguments + " >" + (folder / "stdout").string()
            + " 2>" + (folder / "stderr").string() + " </dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Output(const char* name) const
    {
        std::ifstream in(folder / name);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    tarvel::preview::DecodeResult Decode(Language language, const fs::path& stream) const
    {
        std::vector<std::uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(tarvel::preview::ReadStreamFile(stream.c_str(), bytes, error)) << error;
        auto decoded = tarvel::preview::DecodeStream(language, bytes.data(), bytes.size());
        EXPECT_TRUE(decoded.ok) << decoded.error << " at byte " << decoded.errorOffset;
        return decoded;
    }

    // Whether any dot of the ink lies in the box (fractions of the page).
    static bool InkIn(const tarvel::preview::PreviewPage& page, Ink ink, double left, double top, double right,
                      double bottom)
    {
        for (auto y = static_cast<std::uint32_t>(top * page.height()); y < bottom * page.height(); ++y)
            for (auto x = static_cast<std::uint32_t>(left * page.width()); x < right * page.width(); ++x)
                if (page.Dot(ink, x, y))
                    return true;
        return false;
    }

    // An A4 page with a black square in its middle, a fifth of the width.
    fs::path MakePdf(int pages = 1)
    {
        const fs::path path = folder / "square.pdf";
        cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 595.28, 841.89);
        cairo_t* cr = cairo_create(surface);
        for (int i = 0; i < pages; ++i) {
            cairo_rectangle(cr, 238, 361, 119, 119);
            cairo_fill(cr);
            cairo_show_page(cr);
        }
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return path;
    }

    fs::path folder;
};

TEST_F(TarvelTool, PrintsAPictureFittedToThePrintableAreaInItsColours)
{
    // A red picture wider than tall fills the page across, in magenta and
    // yellow, centred down the page: white above and below it.
    const fs::path png = folder / "red.png";
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 40, 20);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    ASSERT_EQ(cairo_surface_write_to_png(surface, png.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(surface);

    const fs::path out = folder / "png.prn";
    ASSERT_EQ(Run("print --model escp2 --color cmyk --draft -o " + out.string() + " " + png.string()), 0)
        << Output("stderr");
    const auto decoded = Decode(Language::EscP2, out);
    ASSERT_EQ(decoded.pages.size(), 1u);
    const auto& page = decoded.pages[0];
    // A4 at 180 dpi is 1488 x 2104 dots; the picture is about 1440 x 720.
    EXPECT_TRUE(page.Dot(Ink::Yellow, 744, 1052));
    EXPECT_TRUE(page.Dot(Ink::Magenta, 40, 1052) && page.Dot(Ink::Magenta, 1440, 1052));
    EXPECT_FALSE(page.HasInk(Ink::Cyan) || page.HasInk(Ink::Black));
    EXPECT_FALSE(InkIn(page, Ink::Magenta, 0, 0, 1, 600.0 / page.height()));
    EXPECT_LT(page.height(), 1500u);
}

TEST_F(TarvelTool, ExitStatusesTellUsageFromFailureAndAPdfPagePrintsItsInkWhereThePageHasIt)
{
    const fs::path pdf = MakePdf(2);
    const fs::path out = folder / "never.prn";
    const std::string to = " --output " + out.string() + " ";
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(Output("stdout").find("print"), std::string::npos);
    EXPECT_EQ(Run(""), 2);

    EXPECT_EQ(Run("print --model laserjet9000" + to + pdf.string()), 2);
    EXPECT_NE(Output("stderr").find("laserjet9000"), std::string::npos);
    EXPECT_EQ(Run("print --pages 3-1" + to + pdf.string()), 2);
    EXPECT_EQ(Run("print --host localhost:70000 " + pdf.string()), 2);
    EXPECT_EQ(Run("print --port COM9 " + pdf.string()), 2);
    EXPECT_EQ(Run("print --copies 0" + to + pdf.string()), 2);

    EXPECT_EQ(Run("print" + to + (folder / "missing.pdf").string()), 1);
    EXPECT_NE(Output("stderr").find("missing.pdf"), std::string::npos);
    EXPECT_EQ(Run("print" + to + folder.string()), 1);
    EXPECT_EQ(Run("print --pages 2-3" + to + pdf.string()), 1);
    EXPECT_NE(Output("stderr").find("2 pages"), std::string::npos);
    std::ofstream(folder / "broken.pdf") << "%PDF-1.4\n1 0 obj << /Type /Catalog >> garbage";
    EXPECT_EQ(Run("print" + to + (folder / "broken.pdf").string()), 1);
    std::ofstream(folder / "broken.png") << "\x89PNG\r\n\x1a\nnot really";
    EXPECT_EQ(Run("print" + to + (folder / "broken.png").string()), 1);
    EXPECT_NE(Output("stderr").find("broken.png"), std::string::npos);
    EXPECT_EQ(Run("print --device " + (folder / "no-such-lp0").string() + " " + pdf.string()), 1);
    EXPECT_EQ(Run("print --output " + (folder / "no-such-folder" / "x.prn").string() + " " + pdf.string()), 1);
    // A job refused before it started leaves no stream that looks printed.
    EXPECT_FALSE(fs::exists(out));

    // The second page alone, from a range that stays inside, with its ink
    // where the page has it: the square is a fifth of the page across.
    ASSERT_EQ(Run("print --pages 2 --model pcl --color mono --paper A4" + to + pdf.string()), 0) << Output("stderr");
    const auto decoded = Decode(Language::Pcl, out);
    ASSERT_EQ(decoded.pages.size(), 1u);
    const auto& page = decoded.pages[0];
    EXPECT_TRUE(page.Dot(Ink::Black, 2480 / 2, 3507 / 2));
    EXPECT_FALSE(InkIn(page, Ink::Black, 0, 0, 1, 0.35) || page.Dot(Ink::Black, 2480 / 3, 3507 / 2));
}

TEST_F(TarvelTool, SettingsAreShownWithoutWritingAndSetThroughTheSettingsCalls)
{
    const fs::path config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_EQ(Run("settings"), 0);
    EXPECT_NE(Output("stdout").find("PHYSICALWIDTH"), std::string::npos);
    EXPECT_FALSE(fs::exists(config) && !fs::is_empty(config));

    ASSERT_EQ(Run("settings set Printer=bj360 paper=letter ColorMode=cmy NetworkHost=printer.local"), 0)
        << Output("stderr");
    ASSERT_EQ(Run("settings"), 0);
    const std::string shown = Output("stdout");
    EXPECT_NE(shown.find("Canon BJ (360 dpi)"), std::string::npos);
    EXPECT_EQ(Run("settings set Printer=7"), 2);
    EXPECT_EQ(Run("settings set NetworkPort=0"), 1);
    EXPECT_EQ(Run("settings set MarginLeft"), 2);

    // A job's options are the job's: the stored model stays.
    const fs::path out = folder / "job.prn";
    ASSERT_EQ(Run("print --model pcl --output " + out.string() + " " + MakePdf().string()), 0) << Output("stderr");
    ASSERT_EQ(Run("settings"), 0);
    EXPECT_NE(Output("stdout").find("Canon BJ (360 dpi)"), std::string::npos);
}

TEST_F(TarvelTool, PrintsTextInPagesReplacingWhatIsNotUtf8AndPreviewDrawsBlankPagesWhole)
{
    const fs::path text = folder / "notes.txt";
    std::ofstream(text, std::ios::binary) << "First page\n\xff\xfe broken bytes\n\f\f";
    const fs::path out = folder / "text.prn";
    ASSERT_EQ(Run("print --model stylus --output " + out.string() + " " + text.string()), 0) << Output("stderr");
    // The feed at the end closes the second, blank, page and opens no third.
    const auto decoded = Decode(Language::StylusColor, out);
    ASSERT_EQ(decoded.pages.size(), 2u);
    EXPECT_TRUE(decoded.pages[0].HasInk(Ink::Black));
    EXPECT_FALSE(decoded.pages[1].HasInk(Ink::Black));

    const std::string prefix = (folder / "shot").string();
    ASSERT_EQ(Run("preview " + out.string() + " " + prefix), 0) << Output("stderr");
    EXPECT_NE(Output("stdout").find("stylus"), std::string::npos);
    for (const char* name : {"shot-1.png", "shot-2.png"}) {
        cairo_surface_t* picture = cairo_image_surface_create_from_png((folder / name).c_str());
        // Every page is the size of the stored paper, A4 at 360 dpi.
        EXPECT_EQ(std::pair(cairo_image_surface_get_width(picture), cairo_image_surface_get_height(picture)),
                  std::pair(2976, 4209))
            << name;
        cairo_surface_destroy(picture);
    }
    EXPECT_FALSE(fs::exists(folder / "shot-3.png"));
    EXPECT_EQ(Run("preview " + out.string() + " PCL " + prefix), 1);
    EXPECT_EQ(Run("preview " + folder.string()), 1);
    EXPECT_NE(Output("stderr").find(folder.string() + ": Is a directory"), std::string::npos) << Output("stderr");
    EXPECT_EQ(Run("preview " + out.string() + " klingon " + prefix), 2);
}

}  // namespace
