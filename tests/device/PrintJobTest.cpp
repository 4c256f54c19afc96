// Documents printed end to end on the headless backend: pages drawn through
// the recording device context, printed to the file port, read back by the
// preview decoders and compared with the dithered rendering of the page.
#include "device/DeviceCaps.h"
#include "device/PrintJob.h"
#include "device/PrinterTables.h"
#include "device/RowOutput.h"
#include "platform/serial/PtyPrinter.h"
#include "platform/system/System.h"
#include "ports/FilePort.h"
#include "preview/StreamDecoder.h"
#include "render/BandPlayer.h"

#include <tarvel/gdi.h>
#include <tarvel/ui.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace tarvel::device;
using tarvel::preview::Ink;

namespace {

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// When the progress window's Cancel button was pressed by PressCancelAfter.
std::atomic<std::chrono::steady_clock::time_point> cancelPressed;

// Presses the progress window's Cancel button after the given time, from
// inside whatever wait of the job pumps the window's messages, as the user
// would.
void PressCancelAfter(HWND progress, UINT milliseconds)
{
    ASSERT_NE(progress, nullptr);
    cancelPressed.store({});
    SetTimer(progress, 77, milliseconds, [](HWND window, UINT, UINT_PTR id, DWORD) {
        KillTimer(window, id);
        cancelPressed.store(std::chrono::steady_clock::now());
        SendMessageW(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    });
}

class PrintJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"));
        root = std::filesystem::path(std::getenv("TARVEL_TEST_SCRATCH")) / "root";
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        tarvel::ports::SetDeviceRootFolder(root);
        tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless);
        tarvel::ui::ClearMessageBoxRecord();
        tarvel::platform::PretendFreeMemory(std::nullopt);
        hooks::LimitBandBitmapLines(std::nullopt);
        // A small custom paper keeps every page fast: 30 x 20 mm.
        device.settings.port = kFilePort;
        device.settings.paperSize = kCustomPaper;
        Papers()[kCustomPaper].width = 3000;
        Papers()[kCustomPaper].height = 2000;
    }

    void TearDown() override
    {
        tarvel::platform::PretendFreeMemory(std::nullopt);
        hooks::LimitBandBitmapLines(std::nullopt);
    }

    // What a confirmed dialog does to the device.
    void Confirm(int printer, int colorMode, bool portrait)
    {
        device.settings.printer = printer;
        device.settings.colorMode = MonochromeOnly(printer) ? 0 : colorMode;
        device.settings.portrait = portrait;
        device.xResolution = device.yResolution = ModelResolution(printer, 0);
        ASSERT_TRUE(tarvel::render::ReplacePrinterDc(device.recording));
        printer_ = tarvel::render::PrinterDc(device.recording);
    }

    int Start(const char16_t* output = u"job.prn")
    {
        DOCINFOW info{};
        info.cbSize = sizeof info;
        info.lpszDocName = u"test document";
        info.lpszOutput = output;
        return StartDoc(device, printer_, &info);
    }

    // Starts a document and a page, and draws the page.
    void StartDrawnPage(const char16_t* output = u"job.prn")
    {
        ASSERT_EQ(Start(output), 1);
        ASSERT_EQ(StartPage(device, printer_), 1);
        DrawPage(1);
    }

    std::int32_t Caps(int index) { return DeviceCapability(device, index); }

    // A page with shapes in several colours, a memory-DC copy and text.
    void DrawPage(int seed)
    {
        const int width = Caps(PHYSICALWIDTH), height = Caps(PHYSICALHEIGHT);
        HBRUSH brush = CreateSolidBrush(RGB(40 * seed % 256, 200, 90));
        HPEN pen = CreatePen(PS_SOLID, 2, RGB(0, 0, 160));
        tarvel::render::RecordSelectObject(device.recording, printer_, brush);
        tarvel::render::RecordSelectObject(device.recording, printer_, pen);
        tarvel::render::RecordEllipse(device.recording, printer_, 5 + seed, 5, width / 2, height / 2);
        tarvel::render::RecordRectangle(device.recording, printer_, width / 3, height / 3, width - 4, height - 6);
        tarvel::render::RecordSetTextColor(device.recording, printer_, RGB(200, 0, 0));
        tarvel::render::RecordExtTextOut(device.recording, printer_, 10, height / 2, 0, nullptr, u"Tarvel", 6, nullptr);
        const POINT line[3] = {{0, height - 1}, {width / 2, seed}, {width - 1, height - 2}};
        tarvel::render::RecordPolyline(device.recording, printer_, line, 3);
        tarvel::render::RecordSelectObject(device.recording, printer_, GetStockObject(BLACK_PEN));
        tarvel::render::RecordSelectObject(device.recording, printer_, GetStockObject(WHITE_BRUSH));
        DeleteObject(brush);
        DeleteObject(pen);
    }

    // The page as the pipeline should print it: rendered in one band, each
    // printer row taken out (turned for landscape) and dithered. A white row
    // resets the ditherer's errors, as skipping it must.
    std::vector<std::vector<std::uint8_t>> DitheredRows()
    {
        const bool portrait = device.settings.portrait != 0;
        const int width = Caps(PHYSICALWIDTH), height = Caps(PHYSICALHEIGHT);
        const int rowWidth = portrait ? width : height, rowCount = portrait ? height : width;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ kept = SelectObject(dc, bitmap);
        const int stride = (width * 3 + 3) & ~3;
        std::memset(bits, 255, static_cast<std::size_t>(stride) * height);
        tarvel::render::PlayBand(device.recording, dc, 0, 0, width, height, -1);

        tarvel::render::Ditherer ditherer;
        EXPECT_TRUE(ditherer.Prepare(rowWidth, 0.5));
        std::vector<std::vector<std::uint8_t>> rows(rowCount, std::vector<std::uint8_t>(std::size_t(rowWidth) * 3));
        for (int r = 0; r < rowCount; ++r) {
            for (int k = 0; k < rowWidth; ++k) {
                const int x = portrait ? k : r, y = portrait ? r : rowWidth - 1 - k;
                std::memcpy(&rows[r][k * 3], static_cast<std::uint8_t*>(bits) + y * stride + x * 3, 3);
            }
            ditherer.DitherRow(rows[r].data(), device.settings.colorMode == 0);
        }
        ditherer.Release();
        SelectObject(dc, kept);
        DeleteDC(dc);
        DeleteObject(bitmap);
        return rows;
    }

    // The page drawn from its decoded planes is the dithered page (whose
    // pixels are blue, green, red) and white beyond it: a printer may declare
    // a longer paper (PocketJet formats), but no dot may land there.
    void ExpectPrinted(const tarvel::preview::PreviewPage& page, const std::vector<std::vector<std::uint8_t>>& rows)
    {
        const auto rgb = tarvel::preview::RenderRgb(page);
        const std::size_t width = std::max<std::size_t>(page.width(), rows[0].size() / 3);
        const std::size_t height = std::max<std::size_t>(page.height(), rows.size());
        static const std::uint8_t white[3] = {255, 255, 255};
        std::size_t wrong = 0, inked = 0;
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) {
                const bool onPage = y < page.height() && x < page.width();
                const std::uint8_t* got = onPage ? &rgb[(y * page.width() + x) * 3] : white;
                const std::uint8_t* bgr = y < rows.size() && x < rows[y].size() / 3 ? &rows[y][x * 3] : white;
                inked += bgr[0] + bgr[1] + bgr[2] < 765;
                wrong += got[0] != bgr[2] || got[1] != bgr[1] || got[2] != bgr[0];
            }
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_GT(inked, 200u);  // the page really has ink on it
    }

    // Prints pages drawn with the given seeds as one document to job.prn
    // and returns its bytes.
    std::vector<std::uint8_t> PrintDocument(std::initializer_list<int> seeds)
    {
        EXPECT_EQ(Start(), 1);
        for (int seed : seeds) {
            EXPECT_EQ(StartPage(device, printer_), 1);
            DrawPage(seed);
            EXPECT_EQ(EndPage(device, printer_), 1);
        }
        EndDoc(device, printer_);
        return ReadFile(root / "job.prn");
    }

    static void ExpectOneMessageBox(const std::u16string& text, const std::u16string& caption, UINT type)
    {
        const auto boxes = tarvel::ui::MessageBoxRecord();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].caption, caption);
        EXPECT_EQ(boxes[0].type, type);
    }

    tarvel::preview::DecodeResult Decode(const std::filesystem::path& file)
    {
        tarvel::preview::Language language{};
        EXPECT_TRUE(tarvel::preview::LanguageOfModel(device.settings.printer, &language));
        const auto bytes = ReadFile(file);
        return tarvel::preview::DecodeStream(language, bytes.data(), bytes.size());
    }

    PrinterDevice device;
    HDC printer_ = nullptr;
    std::filesystem::path root;
};

TEST_F(PrintJob, EveryModelColourModeAndOrientationPrintsTheDitheredPage)
{
    for (int printer = 0; printer < kModelCount; ++printer) {
        for (int colorMode = 0; colorMode < kColorModeCount; ++colorMode) {
            if (MonochromeOnly(printer) && colorMode > 0)
                continue;
            for (bool portrait : {true, false}) {
                SCOPED_TRACE(::testing::Message() << "printer " << printer << " colour " << colorMode
                                                  << (portrait ? " portrait" : " landscape"));
                Confirm(printer, colorMode, portrait);
                ASSERT_EQ(Start(), 1);
                ASSERT_EQ(StartPage(device, printer_), 1);
                DrawPage(printer);
                const auto rows = DitheredRows();
                ASSERT_EQ(EndPage(device, printer_), 1);
                ASSERT_EQ(EndDoc(device, printer_), 1);
                const auto decoded = Decode(root / "job.prn");
                ASSERT_TRUE(decoded.ok) << decoded.error << " at " << decoded.errorOffset;
                ASSERT_EQ(decoded.pages.size(), 1u);
                ExpectPrinted(decoded.pages[0], rows);
            }
        }
    }
    EXPECT_TRUE(tarvel::ui::MessageBoxRecord().empty());
}

// A page of black and white only goes through one-bit bands without
// dithering; every model and colour mode must still get the bytes the
// 24-bit bands give, on every page of a document (the bands are kept).
TEST_F(PrintJob, ABlackAndWhitePagePrintsOnOneBitBandsAsOn24BitBands)
{
    const auto drawBilevel = [this](int seed) {
        auto& r = device.recording;
        const int width = Caps(PHYSICALWIDTH), height = Caps(PHYSICALHEIGHT);
        HPEN dashed = CreatePen(PS_DASH, 1, RGB(0, 0, 0));
        tarvel::render::RecordSelectObject(r, printer_, GetStockObject(NULL_BRUSH));
        tarvel::render::RecordEllipse(r, printer_, seed, 7, width / 2, height / 3);
        tarvel::render::RecordSelectObject(r, printer_, GetStockObject(BLACK_BRUSH));
        tarvel::render::RecordSelectObject(r, printer_, dashed);
        tarvel::render::RecordRoundRect(r, printer_, width / 3, height / 4, width - 9, height - 5, 40, 30);
        tarvel::render::RecordSetROP2(r, printer_, R2_XORPEN);
        tarvel::render::RecordSelectObject(r, printer_, GetStockObject(WHITE_PEN));
        const POINT line[3] = {{0, height - 1}, {width / 2, seed}, {width - 1, height / 2}};
        tarvel::render::RecordPolyline(r, printer_, line, 3);
        tarvel::render::RecordSetROP2(r, printer_, R2_COPYPEN);
        tarvel::render::RecordSetTextColor(r, printer_, RGB(255, 255, 255));
        tarvel::render::RecordSetBkColor(r, printer_, RGB(0, 0, 0));
        tarvel::render::RecordExtTextOut(r, printer_, width / 3 + seed, height / 2, 0, nullptr, u"Tarvel", 6, nullptr);
        tarvel::render::RecordSetTextColor(r, printer_, RGB(0, 0, 0));
        tarvel::render::RecordSetBkMode(r, printer_, TRANSPARENT);
        // Glyphs wider than a word of bits as well as narrow ones.
        LOGFONTW large{};
        large.lfHeight = -150;
        HFONT font = CreateFontIndirectW(&large);
        tarvel::render::RecordSelectObject(r, printer_, font);
        RECT box{3, height / 2, width - 3, height - 2};
        tarvel::render::RecordDrawText(r, printer_, u"Black and white on every printer", -1, &box, DT_WORDBREAK);
        DeleteObject(dashed);
        DeleteObject(font);
    };
    const auto print = [&](bool bilevel) {
        hooks::UseBilevelBands(bilevel);
        EXPECT_EQ(Start(), 1);
        for (int seed : {1, 30}) {
            EXPECT_EQ(StartPage(device, printer_), 1);
            drawBilevel(seed);
            EXPECT_TRUE(tarvel::render::PageIsBilevel(device.recording));
            EXPECT_EQ(EndPage(device, printer_), 1);
        }
        EndDoc(device, printer_);
        hooks::UseBilevelBands(true);
        return ReadFile(root / "job.prn");
    };
    for (int printer = 0; printer < kModelCount; ++printer) {
        for (int colorMode = 0; colorMode < kColorModeCount; ++colorMode) {
            if (MonochromeOnly(printer) && colorMode > 0)
                continue;
            SCOPED_TRACE(::testing::Message() << "printer " << printer << " colour " << colorMode);
            Confirm(printer, colorMode, true);
            EXPECT_EQ(print(true), print(false));
        }
    }
    // A grey pen, or a copy, keeps a page on 24-bit bands.
    ASSERT_EQ(StartPage(device, printer_), 0);
    for (auto draw : {+[](tarvel::render::RecordingState&r, HDC dc) {
                          tarvel::render::RecordSelectObject(r, dc, GetStockObject(GRAY_BRUSH));
                      },
                      +[](tarvel::render::RecordingState&r, HDC dc) {
                          tarvel::render::RecordBitBlt(r, dc, 0, 0, 5, 5, dc, 9, 9, SRCCOPY);
                      }}) {
        tarvel::render::ClearPage(device.recording);
        draw(device.recording, printer_);
        EXPECT_FALSE(tarvel::render::PageIsBilevel(device.recording));
    }
}

// The bytes must not depend on how the page was cut into bands, in either
// orientation and colour mode.
TEST_F(PrintJob, ABandBitmapThatCannotBeHadIsHalvedUntilOneFitsOrTheMemoryIsOut)
{
    tarvel::platform::PretendFreeMemory(std::uint64_t(1) << 40);
    for (int colorMode : {0, 1})
        for (bool portrait : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "colour " << colorMode << (portrait ? " portrait" : " landscape"));
            Confirm(0, colorMode, portrait);
            hooks::LimitBandBitmapLines(5);
            const auto limited = PrintDocument({1});
            hooks::LimitBandBitmapLines(std::nullopt);
            EXPECT_EQ(PrintDocument({1}), limited);
        }

    hooks::LimitBandBitmapLines(0);
    StartDrawnPage();
    EXPECT_EQ(EndPage(device, printer_), -2);
    EXPECT_EQ(device.progressWindow, nullptr);
    EXPECT_EQ(StartPage(device, printer_), 0);
    EndDoc(device, printer_);
    ExpectOneMessageBox(u"Not enough memory. Close some running programs and repeat printing.", u"Error printing",
                        MB_OK);
}

TEST_F(PrintJob, OnlyPagesInTheRangeArePrintedAndPagesLeftOpenAreEnded)
{
    // Pages 2 and 3 of five, the odd ones left open for the next page or
    // EndDoc to end: the same stream as a document of those two pages alone.
    Confirm(0, 0, true);
    device.pageRangeFirst = 2;
    device.pageRangeLast = 3;
    ASSERT_EQ(Start(), 1);
    for (int page = 1; page <= 5; ++page) {
        ASSERT_EQ(StartPage(device, printer_), 1);
        DrawPage(page * 7);
        if (page % 2 == 0) {
            EXPECT_EQ(EndPage(device, printer_), 1);
        }
    }
    ASSERT_EQ(EndDoc(device, printer_), 1);
    EXPECT_EQ(device.pageCounter, 5);
    const auto ranged = ReadFile(root / "job.prn");
    device.pageRangeFirst = device.pageRangeLast = -1;
    EXPECT_EQ(ranged, PrintDocument({14, 21}));
}

TEST_F(PrintJob, PagesWithoutAreaOrInkSendWhatTheyMust)
{
    Confirm(0, 0, true);
    ASSERT_EQ(Start(u"\\empty.prn"), 1);  // no pages: nothing connects
    EXPECT_EQ(EndDoc(device, printer_), 1);
    EXPECT_FALSE(std::filesystem::exists(root / "empty.prn"));
    Papers()[kCustomPaper] = {u"Custom", 0, 0};
    EXPECT_TRUE(PrintDocument({2}).empty());

    // A blank page: the page start and end only.
    Papers()[kCustomPaper] = {u"Custom", 3000, 2000};
    ASSERT_EQ(Start(), 1);
    ASSERT_EQ(StartPage(device, printer_), 1);
    EXPECT_EQ(EndPage(device, printer_), 1);
    EndDoc(device, printer_);
    const auto decoded = Decode(root / "job.prn");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.pages.size(), 1u);
    for (Ink ink : {Ink::Black, Ink::Cyan, Ink::Magenta, Ink::Yellow})
        EXPECT_FALSE(decoded.pages[0].HasInk(ink));
}

TEST_F(PrintJob, JobCallsRefuseOtherDcsAndCallsOutOfOrder)
{
    HDC stranger = CreateCompatibleDC(nullptr);
    DOCINFOW info{};
    info.cbSize = sizeof info;
    EXPECT_EQ(StartDoc(device, nullptr, &info), 0);  // no printer DC yet
    Confirm(0, 0, true);
    EXPECT_EQ(StartDoc(device, stranger, &info), 0);
    EXPECT_EQ(StartDoc(device, printer_, nullptr), 0);
    info.cbSize = 4;
    EXPECT_EQ(StartDoc(device, printer_, &info), 0);
    EXPECT_EQ(StartPage(device, printer_), 0);
    EXPECT_EQ(EndPage(device, printer_), 0);
    EXPECT_EQ(EndDoc(device, printer_), 0);
    ASSERT_EQ(Start(), 1);
    EXPECT_EQ(EndPage(device, printer_), 0);  // no page open
    EXPECT_EQ(StartPage(device, stranger), 0);
    EXPECT_EQ(EndDoc(device, stranger), 0);
    EXPECT_EQ(EndDoc(device, printer_), 1);
    EXPECT_EQ(EndDoc(device, printer_), 0);
    DeleteDC(stranger);
}

TEST_F(PrintJob, AFullMediumLetsTheJobFinishAndTheJobKeepsWhatWasLost)
{
    Confirm(0, 1, true);
    StartDrawnPage(u"/dev/full");
    EXPECT_EQ(EndPage(device, printer_), 1);
    EXPECT_EQ(EndDoc(device, printer_), 1);
    const auto loss = JobDataLoss(device);
    EXPECT_GT(loss.bytes, 100u);
    EXPECT_EQ(loss.target, "/dev/full");
    EXPECT_TRUE(tarvel::ui::MessageBoxRecord().empty());

    ASSERT_EQ(Start(), 1);  // a new document starts with a clean record
    EXPECT_EQ(JobDataLoss(device).bytes, 0u);
    EndDoc(device, printer_);
}

TEST_F(PrintJob, APortThatCannotConnectLeavesTheDocumentOpenForAnotherTry)
{
    Confirm(0, 0, true);
    ASSERT_EQ(Start(u"\\missing\\folder\\job.prn"), 1);
    EXPECT_EQ(StartPage(device, printer_), 0);
    EXPECT_EQ(device.progressWindow, nullptr);
    ExpectOneMessageBox(u"Cannot establish connection", u"Error printing", MB_OK);

    std::filesystem::create_directories(root / "missing" / "folder");
    EXPECT_EQ(StartPage(device, printer_), 1);  // tries again, and now connects
    DrawPage(1);
    EXPECT_EQ(EndDoc(device, printer_), 1);
    EXPECT_GT(std::filesystem::file_size(root / "missing" / "folder" / "job.prn"), 0u);
}

// The pages go to a pseudo-terminal printer that hangs up, or stops
// reading until the user presses Cancel: either way the page fails, and so
// does every page after it until a new document starts.
TEST_F(PrintJob, ASerialPrinterThatHangsUpIsLostAndOneThatStallsCanBeCancelled)
{
    tarvel::test::ForgetSerialSettings();
    Papers()[kCustomPaper] = {u"Custom", 8000, 8000};  // far more data than the line holds
    for (bool hangUp : {true, false}) {
        SCOPED_TRACE(hangUp ? "hang-up" : "stall");
        tarvel::ui::ClearMessageBoxRecord();
        tarvel::test::PtyPrinter printer;
        ASSERT_TRUE(printer.Ready());
        tarvel::test::MapComPort(1, printer.Path());
        Confirm(0, 1, true);
        device.settings.port = 1;
        StartDrawnPage();
        if (hangUp)
            printer.CloseMaster();
        else
            PressCancelAfter(device.progressWindow, 300);
        EXPECT_EQ(EndPage(device, printer_), -1);
        if (hangUp) {
            ExpectOneMessageBox(u"Lost connection.", u"Error printing", MB_OK | MB_ICONEXCLAMATION);
        } else {
            // Without Cancel the line's timeouts would hold the page for minutes.
            EXPECT_LT(std::chrono::steady_clock::now() - cancelPressed.load(), std::chrono::seconds(1));
            ExpectOneMessageBox(u"Printing cancelled.", u"Printing", MB_OK | MB_ICONEXCLAMATION);
        }
        EXPECT_EQ(StartPage(device, printer_), 0);
        EXPECT_EQ(EndDoc(device, printer_), 1);

        device.settings.port = kFilePort;
        ASSERT_EQ(Start(), 1);  // clears the cancel flag and the failure
        EXPECT_EQ(cancelRequested.load(), 0);
        EXPECT_EQ(StartPage(device, printer_), 1);
        EndDoc(device, printer_);
    }
    tarvel::test::ForgetSerialSettings();
}

}  // namespace
