// rastertotarvel as CUPS runs it: a separate program with the PPD in its
// environment, raster in, printer stream out. Its stream must equal, byte
// for byte, what the library sends when the same pixels are printed through
// the PDC_ interface; the real CUPS filter chain must put ink where a PDF
// has it; damaged rasters must end in an "ERROR:" line, never a crash; a
// page reaches the printer when it ends, and a cancel ends the page.
#include "cups/PpdWriter.h"
#include "cups/RasterFilter.h"
#include "device/DeviceCaps.h"
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "ports/FilePort.h"
#include "preview/StreamDecoder.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>
#include <tarvel/ui.h>

#include <cairo-pdf.h>
#include <cairo.h>
#include <cups/raster.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tarvel::device;
using tarvel::preview::Ink;

namespace {

std::vector<std::uint8_t> ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const fs::path& file)
{
    const auto bytes = ReadBytes(file);
    return {bytes.begin(), bytes.end()};
}

std::string PpdOf(int printer)
{
    return std::string(TARVEL_PPD_DIR) + "/" + tarvel::cups::PpdFileName(printer);
}

// Where a filter run leaves its standard output and error.
const fs::path kScratch = std::getenv("TARVEL_TEST_SCRATCH"), kOut = kScratch / "filter-out.prn", kLog = kScratch / "filter-log.txt";

// The shell line that starts a program as CUPS starts a filter: the PPD in
// its environment, standard output and error on the scratch files, and
// standard input from `input` (none: left to the caller).
std::string CommandLine(const std::vector<std::string>& args, const std::string& ppd, const std::string& input,
                        const std::string& launcher = "exec")
{
    const auto quoted = [](const std::string& text) { return "'" + text + "' "; };
    std::string line = launcher + " env PPD=" + quoted(ppd);
    for (const auto& arg : args) line += quoted(arg);
    if (!input.empty()) line += "< " + quoted(input);
    return line + "> " + quoted(kOut) + "2> " + quoted(kLog);
}

// The exit status; 1000 and the signal when a signal ended the program.
int Status(int raw)
{
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000 + WTERMSIG(raw);
}

int RunProgram(const std::vector<std::string>& args, const std::string& ppd, const std::string& input = "/dev/null")
{
    // A filter that hangs fails its test in two minutes (status 124), not
    // at ctest's timeout.
    return Status(std::system(CommandLine(args, ppd, input, "exec timeout 120").c_str()));
}

const std::vector<std::string> kFilterArgs = {TARVEL_FILTER, "1", "tester", "test job", "1", ""};

struct FilterResult {
    int status;
    std::vector<std::uint8_t> stream;
    std::string log;
};

FilterResult RunFilter(const std::string& ppd, const fs::path& raster, bool asFileArgument = true)
{
    std::vector<std::string> args = kFilterArgs;
    if (asFileArgument) args.push_back(raster.string());
    const int status = RunProgram(args, ppd, asFileArgument ? "/dev/null" : raster.string());
    return {status, ReadBytes(kOut), ReadText(kLog)};
}

// The test page: pure-colour rectangles (one touching the right edge, one
// the bottom), a gradient band, white rows between them and one black dot
// in the last row. Stored red, green, blue; a gray picture has three equal
// bytes.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

Picture MakePicture(int width, int height, bool gray)
{
    Picture picture{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 255)};
    const auto set = [&](int x, int y, int r, int g, int b) {
        std::uint8_t* p = &picture.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        p[0] = static_cast<std::uint8_t>(gray ? (r + g + b) / 3 : r);
        p[1] = static_cast<std::uint8_t>(gray ? p[0] : g);
        p[2] = static_cast<std::uint8_t>(gray ? p[0] : b);
    };
    const auto fill = [&](int x0, int y0, int x1, int y1, int r, int g, int b) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) set(x, y, r, g, b);
    };
    fill(width / 10, height / 8, width / 3, height / 4, 255, 0, 0);
    fill(width / 2, height / 8, width * 2 / 3, height / 4, 0, 0, 0);
    fill(width * 3 / 4, height * 3 / 10, width, height * 2 / 5, 0, 255, 255);
    for (int y = height / 2; y < height * 3 / 4; ++y)
        for (int x = 0, v = 0; x < width; v = ++x * 255 / (width - 1)) set(x, y, v, gray ? v : 255 - v, gray ? v : (x + y) * 3 % 256);
    fill(0, height * 7 / 8, width / 10, height, 0, 0, 0);
    fill(width - 1, height - 1, width, height, 0, 0, 0);
    return picture;
}

struct RasterPage {
    int resolution = 300;
    cups_cspace_t space = CUPS_CSPACE_RGB;
    unsigned planes = 4;
    unsigned compression = 1;
    unsigned bits = 8;                     // 1: one bit a pixel, gray spaces only
    double pageWidth = 0, pageHeight = 0;  // points
    double left = 0, top = 0;              // where the raster starts, points from the left and top edges
};

cups_page_header2_t HeaderFor(const RasterPage& page, const Picture& picture)
{
    cups_page_header2_t header{};
    header.HWResolution[0] = header.HWResolution[1] = static_cast<unsigned>(page.resolution);
    header.cupsWidth = static_cast<unsigned>(picture.width);
    header.cupsHeight = static_cast<unsigned>(picture.height);
    header.cupsBitsPerColor = page.bits;
    header.cupsBitsPerPixel = page.space == CUPS_CSPACE_RGB ? 24 : page.bits;
    header.cupsBytesPerLine = (header.cupsWidth * header.cupsBitsPerPixel + 7) / 8;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = page.space;
    header.cupsCompression = page.compression;
    header.cupsInteger[tarvel::cups::kPlaneCountInteger] = page.planes;
    header.NumCopies = 1;
    header.PageSize[0] = static_cast<unsigned>(header.cupsPageSize[0] = static_cast<float>(page.pageWidth));
    header.PageSize[1] = static_cast<unsigned>(header.cupsPageSize[1] = static_cast<float>(page.pageHeight));
    if (page.left > 0 || page.top > 0)
        std::memcpy(header.cupsImagingBBox, std::array<float, 4>{float(page.left), 0, float(page.pageWidth), float(page.pageHeight - page.top)}.data(), 16);
    return header;
}

// Writes the picture as raster pages through libcups, compressed as the
// RIPs write it; the middle one of three pages is blank.
void WriteRaster(const fs::path& file, const RasterPage& page, const Picture& picture, int pages)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
    ASSERT_NE(raster, nullptr);
    cups_page_header2_t header = HeaderFor(page, picture);
    std::vector<std::uint8_t> line(header.cupsBytesPerLine);
    for (int p = 0; p < pages; ++p) {
        ASSERT_TRUE(cupsRasterWriteHeader2(raster, &header));
        const bool blank = pages == 3 && p == 1;
        // K counts ink where W counts light; one bit is white or black.
        const std::uint8_t flip = page.space == CUPS_CSPACE_K ? 255 : 0;
        for (int y = 0; y < picture.height; ++y) {
            const std::uint8_t* pixel = &picture.rgb[static_cast<std::size_t>(y) * picture.width * 3];
            std::fill(line.begin(), line.end(), static_cast<std::uint8_t>(blank ? 255 ^ flip : 0));
            if (!blank && page.space == CUPS_CSPACE_RGB)
                std::memcpy(line.data(), pixel, line.size());
            else if (!blank && page.bits == 1)
                for (int x = 0; x < picture.width; ++x) line[static_cast<std::size_t>(x / 8)] |= ((pixel[x * 3] ^ flip) & 0x80) >> (x % 8);
            else if (!blank)
                for (int x = 0; x < picture.width; ++x) line[static_cast<std::size_t>(x)] = pixel[x * 3] ^ flip;
            ASSERT_EQ(cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine), header.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
}

double Points(std::int32_t hundredths)
{
    return hundredths * 72.0 / 2540.0;
}

struct EqualityCase {
    int printer, colorMode, draft = 0, compression = 1;
    int paper = kCustomPaper;  // Custom: a 40 x 25 mm page the raster covers whole
    cups_cspace_t space = CUPS_CSPACE_RGB;
    unsigned bits = 8;
    bool oversize = false;  // a raster wider and taller than the paper it names
};

class RasterFilter : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(std::getenv("XDG_CONFIG_HOME"));
        tarvel::ports::SetDeviceRootFolder(kScratch);
        tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless);
        tarvel::ui::ClearMessageBoxRecord();
    }

    // A new device starts the custom paper at 0 x 0.
    static void CustomPaper40x25() { Papers()[kCustomPaper].width = 4000, Papers()[kCustomPaper].height = 2500; }

    // The same picture printed through the PDC_ interface: a copy of a
    // bitmap onto the page at (x, y) on three pages, the middle one blank.
    std::vector<std::uint8_t> PrintThroughPdc(const EqualityCase& c, const Picture& picture, int x, int y)
    {
        PrinterDevice device;
        CustomPaper40x25();
        auto& settings = device.settings;
        std::tie(settings.printer, settings.colorMode, settings.draftMode, settings.compression, settings.paperSize, settings.port) = std::tuple(c.printer, c.colorMode, c.draft, c.compression, c.paper, kFilePort);
        device.xResolution = device.yResolution = ModelResolution(c.printer, c.draft);
        EXPECT_TRUE(tarvel::render::ReplacePrinterDc(device.recording));
        HDC dc = PDC_GetPrinterDC();
        DOCINFOW info{sizeof(DOCINFOW), u"cups", u"pdc.prn", nullptr, 0};
        EXPECT_EQ(PDC_StartDoc(dc, &info), 1);

        BITMAPINFO bitmapInfo{};
        bitmapInfo.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.width, -picture.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &bitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
        // Rows of blue, green, red, each padded to four bytes.
        const int stride = (picture.width * 3 + 3) & ~3;
        for (std::size_t i = 0; i < picture.rgb.size(); ++i)
            static_cast<std::uint8_t*>(bits)[i / 3 / picture.width * stride + i / 3 % picture.width * 3 + 2 - i % 3] = picture.rgb[i];
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(PDC_StartPage(dc), 1);
            if (p != 1) {
                HDC memory = PDC_CreateCompatibleDC(dc);
                HGDIOBJ kept = PDC_SelectObject(memory, bitmap);
                EXPECT_TRUE(PDC_BitBlt(dc, x, y, picture.width, picture.height, memory, 0, 0, SRCCOPY));
                PDC_SelectObject(memory, kept);
                PDC_DeleteDC(memory);
            }
            EXPECT_EQ(PDC_EndPage(dc), 1);
        }
        EXPECT_EQ(PDC_EndDoc(dc), 1);
        DeleteObject(bitmap);
        return ReadBytes(kScratch / "pdc.prn");
    }
};

TEST_F(RasterFilter, StreamEqualsThePdcPageForEveryModelAndColourMode)
{
    std::vector<EqualityCase> cases;
    for (int printer = 0; printer < kModelCount; ++printer)
        for (int mode = 0; mode < kColorModeCount; ++mode)
            if (mode == 0 || !MonochromeOnly(printer))
                cases.push_back({printer, mode, 0, 1, kCustomPaper, mode == 0 ? CUPS_CSPACE_W : CUPS_CSPACE_RGB});
    // Draft, compression off, our papers (the raster then covers only part
    // of the page, as a RIP renders the printable area), and colour pixels
    // printed in monochrome.
    cases.push_back({0, 1, 1, 1, 1, CUPS_CSPACE_RGB, 8, true});
    cases.push_back({0, 0, 0, 1, kCustomPaper, CUPS_CSPACE_RGB});
    cases.push_back({3, 0, 0, 1, kCustomPaper, CUPS_CSPACE_K});
    cases.push_back({6, 0, 0, 1, 0, CUPS_CSPACE_W, 1});
    cases.push_back({1, 2, 0, 0});
    cases.push_back({2, 1, 1, 0, 3});
    cases.push_back({4, 0, 0, 1, 3, CUPS_CSPACE_W});

    const fs::path raster = kScratch / "page.ras";
    for (const EqualityCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "printer " << c.printer << " colour " << c.colorMode << " draft "
                                          << c.draft << " compression " << c.compression << " paper " << c.paper);
        const int resolution = ModelResolution(c.printer, c.draft);
        RasterPage page{resolution, c.space, kColorModes[static_cast<std::size_t>(c.colorMode)].planeCount,
                        static_cast<unsigned>(c.compression), c.bits};
        CustomPaper40x25();
        const auto& paper = Papers()[static_cast<std::size_t>(c.paper)];
        page.pageWidth = Points(paper.width);
        page.pageHeight = Points(paper.height);
        // On our papers an inch in from the left and the top, so the offset
        // is whole dots at every resolution.
        int x = 0, y = 0;
        if (c.paper != kCustomPaper) page.left = page.top = 72, x = y = resolution;
        const bool whole = c.paper == kCustomPaper || c.oversize;
        Picture picture = MakePicture(whole ? Dots(paper.width, resolution) : resolution * 2, whole ? Dots(paper.height, resolution) : resolution, c.space != CUPS_CSPACE_RGB);
        if (c.bits == 1)
            for (std::uint8_t& byte : picture.rgb) byte = byte & 0x80 ? 255 : 0;
        WriteRaster(raster, page, picture, 3);
        const FilterResult result = RunFilter(PpdOf(c.printer), raster);
        ASSERT_EQ(result.status, 0) << result.log;
        EXPECT_NE(result.log.find("PAGE: 3 1"), std::string::npos) << result.log;
        // What the library's stream puts on paper, blank middle page
        // included, the end-to-end print tests read back with the decoders.
        const auto pdc = PrintThroughPdc(c, picture, x, y);
        EXPECT_TRUE(result.stream == pdc) << "streams of " << result.stream.size() << " and " << pdc.size() << " bytes differ";
    }
    EXPECT_TRUE(tarvel::ui::MessageBoxRecord().empty());
}

// A raster stream written by hand, so that its header can say anything.
std::vector<std::uint8_t> RawRaster(const cups_page_header2_t& header, std::size_t pixelBytes)
{
    std::vector<std::uint8_t> bytes(4 + sizeof header + pixelBytes, 0x80);
    const std::uint32_t sync = CUPS_RASTER_SYNC;
    std::memcpy(bytes.data(), &sync, 4);
    std::memcpy(bytes.data() + 4, &header, sizeof header);
    return bytes;
}

TEST_F(RasterFilter, DamagedInputEndsWithAnErrorLineAndAFailingExit)
{
    const Picture picture = MakePicture(120, 80, false);
    const cups_page_header2_t good = HeaderFor({300, CUPS_CSPACE_RGB, 4, 1, 8, 100, 100}, picture);
    const std::size_t pageBytes = std::size_t(good.cupsBytesPerLine) * good.cupsHeight;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* error;
    };
    // The good header with one change, and pixel bytes after it.
    const auto changed = [&](auto change, std::size_t pixelBytes) {
        cups_page_header2_t header = good;
        change(header);
        return RawRaster(header, pixelBytes);
    };
    const std::vector<Case> cases = {
        {"truncated inside the page", RawRaster(good, pageBytes / 2), "ended inside page 1"},
        {"empty", {}, "no raster data"},
        {"not a raster", {'%', '!', 'P', 'S', '\n', 0, 1, 2, 3, 4, 5}, "not a CUPS raster"},
        {"absurd width", changed([](auto& h) { h.cupsWidth = 0x40000000, h.cupsBytesPerLine = 0xC0000000; }, 4096), "ERROR:"},
        {"CMYK raster", changed([](auto& h) { h.cupsColorSpace = CUPS_CSPACE_CMYK, h.cupsBitsPerPixel = 32, h.cupsBytesPerLine = h.cupsWidth * 4; }, pageBytes * 2), "Unsupported raster colour space"},
        {"600 dpi", changed([](auto& h) { h.HWResolution[0] = h.HWResolution[1] = 600; }, pageBytes), "600x600 dpi"},
    };

    const fs::path file = kScratch / "bad.ras";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
        const FilterResult result = RunFilter(PpdOf(0), file, false);
        EXPECT_EQ(result.status, 1) << result.log;
        EXPECT_NE(("\n" + result.log).find("\nERROR: "), std::string::npos) << result.log;
        EXPECT_NE(result.log.find(c.error), std::string::npos) << result.log;
        EXPECT_EQ(result.log.find("Sanitizer"), std::string::npos) << result.log;
        EXPECT_EQ(result.log.find("runtime error"), std::string::npos) << result.log;
        if (&c == &cases[0]) {
            // A page cut short still leaves the printer between pages.
            const auto decoded = tarvel::preview::DecodePcl(result.stream.data(), result.stream.size());
            EXPECT_TRUE(decoded.ok) << decoded.error;
            EXPECT_EQ(decoded.pages.size(), 1u);
        }
    }

    // Without one of our PPDs the filter cannot know the printer.
    const FilterResult noPpd = RunFilter(kScratch / "none.ppd", file);
    EXPECT_EQ(noPpd.status, 1);
    EXPECT_NE(noPpd.log.find("ERROR: The PPD file"), std::string::npos) << noPpd.log;
}

TEST_F(RasterFilter, TerminateEndsThePageInProgressAndExitsCleanly)
{
    const Picture picture = MakePicture(400, 600, false);
    const cups_page_header2_t header = HeaderFor({300, CUPS_CSPACE_RGB, 4, 1, 8, 100, 800}, picture);
    auto bytes = RawRaster(header, 0);
    bytes.insert(bytes.end(), picture.rgb.begin(), picture.rgb.begin() + 200 * 400 * 3);
    // A child that ends early must fail the test, not kill it. The shell
    // leaves its process id, which exec hands on to the filter.
    std::signal(SIGPIPE, SIG_IGN);
    const fs::path pidFile = kScratch / "filter.pid";
    std::FILE* feed = ::popen(("echo $$ > '" + pidFile.string() + "'; " + CommandLine(kFilterArgs, PpdOf(5), "")).c_str(), "w");
    ASSERT_NE(feed, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), feed), bytes.size());
    std::fflush(feed);
    // Once the page has begun, the filter waits for more rows.
    for (int i = 0; i < 2000 && ReadText(kLog).find("INFO: Printing page 1") == std::string::npos; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(std::stoi(ReadText(pidFile)), SIGTERM);
    EXPECT_EQ(Status(::pclose(feed)), 0) << ReadText(kLog);
    EXPECT_NE(ReadText(kLog).find("cancelled"), std::string::npos);
    const auto stream = ReadBytes(kOut);
    const auto decoded = tarvel::preview::DecodeCanonBj(stream.data(), stream.size());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.pages.size(), 1u);
    EXPECT_TRUE(decoded.pages[0].HasInk(Ink::Magenta));
}

// The job loop in this process: a page reaches the printer when it ends,
// not when the job does, and a job cancelled before a page's rows ends the
// page without printing them.
TEST_F(RasterFilter, PagesAreFlushedAsTheyEndAndACancelledPageGetsNoRows)
{
    const Picture picture = MakePicture(120, 80, false);
    const fs::path raster = kScratch / "job.ras", output = kScratch / "job.prn", log = kScratch / "job.log";
    WriteRaster(raster, {300, CUPS_CSPACE_RGB, 4, 1, 8, 100, 100}, picture, 1);
    for (const int cancel : {0, 1}) {
        SCOPED_TRACE(cancel ? "cancelled" : "printed");
        const std::atomic<int> cancelled{cancel};
        const int in = ::open(raster.c_str(), O_RDONLY), out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        auto writer = std::make_unique<tarvel::cups::DescriptorWriter>(out);
        tarvel::cups::FilterJob job;
        std::tie(job.inputFd, job.output, job.flushable, job.cancel, job.log) = std::tuple(in, writer.get(), writer.get(), &cancelled, std::fopen(log.c_str(), "w"));
        EXPECT_EQ(tarvel::cups::RunFilterJob(job), 0);
        std::fclose(job.log);
        // Read before the writer goes, as its destructor would flush what
        // the page left behind.
        const auto stream = ReadBytes(output);
        writer.reset();
        ::close(in), ::close(out);
        const auto decoded = tarvel::preview::DecodePcl(stream.data(), stream.size());
        ASSERT_TRUE(decoded.ok) << decoded.error;
        ASSERT_EQ(decoded.pages.size(), 1u);
        EXPECT_EQ(decoded.pages[0].HasInk(Ink::Black), cancel == 0);
        EXPECT_EQ(ReadText(log).find("cancelled during page 1") != std::string::npos, cancel == 1) << ReadText(log);
    }
}

// A one-page A4 PDF with a black and a red rectangle; positions in points
// from the top left corner.
constexpr double kBlack[4] = {100, 100, 250, 200};
constexpr double kRed[4] = {300, 400, 450, 500};
constexpr double kEmpty[4] = {350, 120, 550, 330};

void WritePdf(const fs::path& file)
{
    cairo_surface_t* surface = cairo_pdf_surface_create(file.c_str(), 595.28, 841.89);
    cairo_t* cr = cairo_create(surface);
    for (const double* area : {kBlack, kRed}) {
        cairo_set_source_rgb(cr, area == kRed, 0, 0);
        cairo_rectangle(cr, area[0], area[1], area[2] - area[0], area[3] - area[1]);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
}

// The share of dots inside a rectangle (points, shrunk by two points so
// the RIP's edge rounding does not count) that carry every ink asked for.
double Coverage(const tarvel::preview::PreviewPage& page, const double (&area)[4], int resolution,
                std::initializer_list<Ink> inks)
{
    const auto dot = [&](double points) { return static_cast<std::uint32_t>(points * resolution / 72.0); };
    std::size_t all = 0, inked = 0;
    for (std::uint32_t y = dot(area[1] + 2); y < dot(area[3] - 2); ++y)
        for (std::uint32_t x = dot(area[0] + 2); x < dot(area[2] - 2); ++x) {
            ++all;
            inked += std::all_of(inks.begin(), inks.end(), [&](Ink ink) { return page.Dot(ink, x, y); });
        }
    return all ? double(inked) / double(all) : 0;
}

TEST_F(RasterFilter, CupsFilterPrintsAPdfWithInkWhereThePdfHasItInEveryLanguage)
{
    const std::string cupsfilter = TARVEL_CUPSFILTER;
    if (cupsfilter.empty())
        GTEST_SKIP() << "cupsfilter is not installed (scripts/setup installs it)";
    // cupsfilter looks for filters only in its server folder: a copy of it
    // that also holds ours.
    const fs::path serverBin = kScratch / "serverbin";
    fs::remove_all(serverBin);
    fs::create_directories(serverBin / "filter");
    for (const auto& entry : fs::directory_iterator(fs::path(TARVEL_CUPS_SERVERBIN) / "filter"))
        fs::create_symlink(entry.path(), serverBin / "filter" / entry.path().filename());
    fs::create_symlink(TARVEL_FILTER, serverBin / "filter" / "rastertotarvel");
    const fs::path conf = kScratch / "cups-files.conf";
    std::ofstream(conf) << "ServerBin " << serverBin.string() << "\n";
    const fs::path pdf = kScratch / "page.pdf";
    WritePdf(pdf);

    struct Case {
        int printer;
        const char* option;
        int resolution;
        std::initializer_list<Ink> blackInks;
        std::initializer_list<Ink> redInks;
    };
    const Case cases[] = {
        {0, "ColorModel=CMYK", 300, {Ink::Black}, {Ink::Magenta, Ink::Yellow}},
        {1, "Resolution=180dpi", 180, {Ink::Black}, {Ink::Magenta, Ink::Yellow}},
        {2, "ColorModel=CMY", 360, {Ink::Cyan, Ink::Magenta, Ink::Yellow}, {Ink::Magenta, Ink::Yellow}},
        {3, "PageSize=A4", 300, {Ink::Black}, {}},
        {6, "Compression=False", 360, {Ink::Black}, {Ink::Magenta, Ink::Yellow}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "printer " << c.printer << " " << c.option);
        ASSERT_EQ(RunProgram({cupsfilter, "-c", conf.string(), "-p", PpdOf(c.printer), "-m", "printer/foo", "-o", c.option, "-e", pdf.string()}, PpdOf(c.printer)), 0) << ReadText(kLog);
        const auto stream = ReadBytes(kOut);
        tarvel::preview::Language language{};
        ASSERT_TRUE(tarvel::preview::LanguageOfModel(c.printer, &language));
        const auto decoded = tarvel::preview::DecodeStream(language, stream.data(), stream.size());
        ASSERT_TRUE(decoded.ok) << decoded.error << " at " << decoded.errorOffset;
        ASSERT_EQ(decoded.pages.size(), 1u);
        const auto& page = decoded.pages[0];
        EXPECT_GT(Coverage(page, kBlack, c.resolution, c.blackInks), 0.99);
        if (c.redInks.size() > 0) {
            EXPECT_GT(Coverage(page, kRed, c.resolution, c.redInks), 0.99);
            EXPECT_EQ(Coverage(page, kRed, c.resolution, {Ink::Cyan}), 0.0);
        } else {
            // Red on a black-only printer is dithered to some black dots.
            const double share = Coverage(page, kRed, c.resolution, {Ink::Black});
            EXPECT_GT(share, 0.05);
            EXPECT_LT(share, 0.95);
        }
        for (Ink ink : {Ink::Black, Ink::Cyan, Ink::Magenta, Ink::Yellow})
            EXPECT_EQ(Coverage(page, kEmpty, c.resolution, {ink}), 0.0);
    }
}

}  // namespace
