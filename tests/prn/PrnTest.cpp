// The prn interface on the one device: unit conversions, margins and page
// size, the setup dialog, the page defaults, text, shapes and pictures as
// the device calls they become, and a page printed through prn calls read
// back from the port.
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "ports/FilePort.h"
#include "preview/StreamDecoder.h"
#include "platform/system/Utf16.h"
#include "prn/PrnState.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>
#include <tarvel/prn.h>
#include <tarvel/ui.h>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <tuple>
#include <utility>

namespace {

using namespace tarvel::device;
using tarvel::render::RecordKind;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

class Prn : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = std::filesystem::path(std::getenv("TARVEL_TEST_SCRATCH")) / "root";
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        tarvel::ports::SetDeviceRootFolder(root);
        tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless);
        tarvel::prn::ResetPrnState();
        device.settings.port = kFilePort;
        // The dialog hands its margins to the prn layer; positions here count
        // from the paper's corner unless a test sets margins.
        device.settings.margins = {0, 0, 0, 0};
        // A small page keeps every printed page fast: 50 x 40 mm.
        Papers()[kCustomPaper].width = 5000;
        Papers()[kCustomPaper].height = 4000;
    }

    void TearDown() override
    {
        prnEndDoc();
        tarvel::prn::ResetPrnState();
        tarvel::ui::SetResponder({});
        tarvel::ports::SetDeviceRootFolder({});
    }

    // Confirms the print dialog through prnSetupDlg with this printer and paper.
    void Confirm(int printer = 0, int paper = kCustomPaper, int draft = 0)
    {
        device.settings.printer = printer;
        device.settings.paperSize = paper;
        device.settings.draftMode = draft;
        ASSERT_EQ(prnSetupDlg(nullptr), 1);
    }

    void StartPage()
    {
        ASSERT_NE(prnStartDoc(), 0);
        ASSERT_EQ(prnStartPage(), 1);
    }

    std::size_t Recorded() const { return device.recording.list.size(); }

    // The parameters of the last record, which must be of this kind.
    template <typename Params>
    Params Last(RecordKind kind) const
    {
        const auto& list = device.recording.list;
        if (list.empty() || list.back().kind != kind) {
            ADD_FAILURE() << "the last record is not of the expected kind";
            return {};
        }
        return std::get<Params>(list.back().params);
    }

    // The corners of the last shape, which must be of this kind.
    std::array<std::int32_t, 4> Box(RecordKind kind) const
    {
        const auto shape = Last<tarvel::render::ShapeParams>(kind);
        return {shape.left, shape.top, shape.right, shape.bottom};
    }

    // A picture of this size in the root folder: a gradient, so that every
    // pixel tells where it came from.
    std::u16string WritePicture(const char* name, int width, int height)
    {
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, width, height);
        guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
        const int stride = gdk_pixbuf_get_rowstride(pixbuf);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                guchar* p = pixels + y * stride + x * 3;
                p[0] = guchar(x * 255 / width), p[1] = guchar(y * 255 / height), p[2] = guchar((x + y) * 7);
            }
        }
        EXPECT_TRUE(gdk_pixbuf_save(pixbuf, (root / name).c_str(), "png", nullptr, nullptr));
        g_object_unref(pixbuf);
        return u"\\" + std::u16string(name, name + std::strlen(name));
    }

    std::filesystem::path root;
    PrinterDevice device;
};

TEST_F(Prn, EveryUnitConvertsToEveryOtherAsOneInchDoesInDoublePrecision)
{
    // No document: printer dots have no size yet. (That units outside the
    // five convert nothing is the fuzz replay's property.)
    EXPECT_EQ(prnConvertValue(1, Inches, Pixels), 0.0f);
    EXPECT_EQ(prnConvertValue(300, Pixels, Inches), 0.0f);
    EXPECT_TRUE(std::isnan(prnConvertValue(kNaN, Inches, Millimeters)));
    // Widened to double before the constant: single precision would give
    // 33.019997 here.
    EXPECT_EQ(prnConvertValue(1.3f, Inches, Millimeters), static_cast<float>(double(1.3f) * 25.4));

    Confirm();
    ASSERT_NE(prnStartDoc(), 0);
    const float inch[] = {300, 1, 25.4f, 2.54f, 72};  // in the units' order, dots at 300 dpi
    for (int from = Pixels; from <= Points; ++from)
        for (int to = Pixels; to <= Points; ++to)
            EXPECT_NEAR(prnConvertValue(inch[from], MeasureUnit(from), MeasureUnit(to)), inch[to], inch[to] * 1e-5)
                << from << " to " << to;
    prnEndDoc();

    // The dots are multiplied in single precision and then widened: 38.1 mm
    // at 180 dpi stays just below 270 dots.
    Confirm(1, kCustomPaper, 1);
    ASSERT_NE(prnStartDoc(), 0);
    EXPECT_EQ(tarvel::prn::Truncate(prnConvertValue(38.1f, Millimeters, Pixels)), 269);
}

TEST_F(Prn, MarginsComeFromTheDialogInItsUnitSystemAndThePageIsLessTheMargins)
{
    prnSetMeasureUnit(Millimeters);
    prnSetLeftMargin(25.4f);
    EXPECT_FLOAT_EQ(prnGetPageWidth(), -25.4f);  // no paper before the dialog
    prnSetMeasureUnit(9);                        // kept as given, and converts nothing
    EXPECT_EQ(prnGetMeasureUnit(), 9);
    EXPECT_FLOAT_EQ(prnGetLeftMargin(), 1.0f);

    // A left margin of 64 mm: in thousandths of an inch the dialog rounds it
    // to 2520, in hundredths of a millimetre it stays 6400.
    device.settings.margins = {6400, 0, 0, 0};
    prnSetMeasureUnit(Inches);
    Confirm();
    EXPECT_FLOAT_EQ(prnGetLeftMargin(), 2.52f);
    prnSetMeasureUnit(Centimeters);
    Confirm();
    EXPECT_FLOAT_EQ(prnGetLeftMargin(), 6.4f);
    device.settings.margins = {1000, 1000, 1000, 1000};
    Confirm(0, 3);  // Letter at 300 dpi, 1 cm all round
    EXPECT_NEAR(prnGetPageWidth(), 19.59f, 1e-3);
    EXPECT_NEAR(prnGetPageHeight(), 25.94f, 1e-3);
    EXPECT_FLOAT_EQ(prnGetRightMargin() + prnGetBottomMargin(), 2.0f);

    // Cancelled: nothing changes.
    tarvel::ui::SetResponder([](tarvel::ui::DialogUser& user) { user.Click(IDCANCEL); });
    device.settings.margins = {5000, 5000, 5000, 5000};
    EXPECT_EQ(prnSetupDlg(nullptr), 0);
    EXPECT_FLOAT_EQ(prnGetTopMargin(), 1.0f);
}

TEST_F(Prn, WithoutADocumentNothingIsDrawnAndSettersOnlyStore)
{
    EXPECT_EQ(prnStartPage(), 0);
    prnSetLineWidth(0.1f);
    prnSetFillColor(RGB(1, 2, 3));
    prnDrawRect(0, 0, 1, 1);
    prnDrawText(u"A\nB", 0, 0);
    prnDrawAlignedText(u"AB", 1, 1, TextHorAlign::Center, TextVertAlign::Center);
    EXPECT_EQ(prnDrawPicture(u"\\missing.png", 0, 0, 0, 0, 0), 0);
    prnEndDoc();
    EXPECT_EQ(Recorded(), 0u);
    EXPECT_EQ(prnGetFillColor(), RGB(1, 2, 3));
    prnSetMeasureUnit(Pixels);
    EXPECT_EQ(prnGetTextHeight(u"AB"), 0.0f);
    EXPECT_EQ(prnGetTextWidth(u"A\nB"), 0.0f);
}

TEST_F(Prn, EveryPageStartsFromTheDefaultDrawingState)
{
    Confirm();
    StartPage();
    auto& state = tarvel::prn::State();
    HDC dc = PDC_GetPrinterDC();
    const auto selected = [&] {
        LOGPEN pen{};
        LOGBRUSH brush{};
        LOGFONTW font{};
        GetObjectW(GetCurrentObject(dc, OBJ_PEN), sizeof pen, &pen);
        GetObjectW(GetCurrentObject(dc, OBJ_BRUSH), sizeof brush, &brush);
        GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof font, &font);
        const int flags = prnGetFontBold() | prnGetFontItalic() | prnGetFontStrike() | prnGetFontUnderline();
        return std::tuple(pen.lopnWidth.x, pen.lopnColor, brush.lbColor, font.lfHeight, font.lfWeight,
                          int(font.lfItalic), std::u16string(font.lfFaceName), prnGetTextColor(), flags);
    };
    // A black pen of 0.01 inch, a white brush, Tahoma of 12 points in black.
    const auto defaults = selected();
    EXPECT_EQ(defaults, std::tuple(3, RGB(0, 0, 0), RGB(255, 255, 255), -50, FW_NORMAL, 0, std::u16string(u"Tahoma"), RGB(0, 0, 0), 0));

    HPEN first = state.pen;
    prnSetLineWidth(0.02f);
    EXPECT_EQ(GetObjectType(first), 0u);  // the displaced pen was deleted
    prnSetFontBold(1);
    const std::u16string longName = u"An extraordinarily long face name beyond the limit";
    prnSetFontName(longName.c_str());
    EXPECT_EQ(std::u16string(prnGetFontName()), longName);
    EXPECT_EQ(std::get<6>(selected()), longName.substr(0, 31));
    prnSetFontSize(0.5f, Inches);
    EXPECT_FLOAT_EQ(prnGetFontSize(Millimeters), 12.7f);

    // A solid rectangle borrows a brush for itself alone.
    prnSetFillColor(RGB(0, 255, 0));
    HBRUSH green = state.brush;
    prnDrawSolidRect(0, 0, 1, 1, RGB(255, 0, 0));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), green);

    prnSetTextColor(RGB(1, 2, 3));
    prnSetFontItalic(1);
    prnSetFontStrike(1);
    prnSetFontUnderline(1);
    prnSetLineColor(RGB(9, 9, 9));
    ASSERT_EQ(prnStartPage(), 1);
    EXPECT_EQ(GetObjectType(green), 0u);
    EXPECT_EQ(selected(), defaults);
}

TEST_F(Prn, ShapesAreDrawnFromTheTopLeftMarginCorner)
{
    Confirm();
    StartPage();
    prnSetLeftMargin(0.1f);
    EXPECT_EQ(tarvel::prn::DeviceX(0.999f), 329);  // 299 dots, then the margin's 30: truncated, not rounded
    prnSetLeftMargin(0.5f);
    prnSetTopMargin(1.0f);

    prnDrawEllipse(1, 1, 0, 0);  // corners as given, not sorted
    EXPECT_EQ(Box(RecordKind::Ellipse), (std::array<std::int32_t, 4>{450, 600, 150, 300}));
    prnDrawRoundRect(0, 0, 1, 1, 0.1f, 0.1f);
    const auto round = Last<tarvel::render::ShapeParams>(RecordKind::RoundRect);
    EXPECT_EQ(std::pair(round.cornerWidth, round.cornerHeight), std::pair(30, 30));  // a size: no margin
    prnDrawLine(1, 1, -1, 1);
    const auto line = Last<tarvel::render::PolylineParams>(RecordKind::Polyline);
    ASSERT_EQ(line.points.size(), 2u);
    EXPECT_EQ(std::pair(line.points[1].x, line.points[1].y), std::pair(-150, 600));

    // Beyond any page: held at the end of the range, never undefined. The
    // margin is added to -2^31 in single precision, whose steps are 256 there.
    prnDrawRect(1e30f, -1e30f, 0, 0);
    EXPECT_EQ(Box(RecordKind::Rectangle), (std::array<std::int32_t, 4>{INT_MAX, INT_MIN + 256, 150, 300}));
    // NaN, infinities and no text are drawn nowhere.
    const std::size_t before = Recorded();
    prnDrawRect(kNaN, 0, 1, 1);
    prnDrawEllipse(0, kInfinity, 1, 1);
    prnDrawCircle(1, 1, kNaN);
    prnDrawLine(0, 0, -kInfinity, 0);
    prnDrawRoundRect(0, 0, 1, 1, kNaN, 0);
    prnDrawSolidRect(0, 0, kNaN, 1, 0);
    prnDrawText(nullptr, 0, 0);
    prnDrawText(u"AB", kNaN, 0);
    prnDrawAlignedText(nullptr, 0, 0, TextHorAlign::Left, TextVertAlign::Top);
    prnDrawAlignedText(u"AB", 0, kInfinity, TextHorAlign::Left, TextVertAlign::Top);
    EXPECT_EQ(Recorded(), before);
    // Absurd sizes are stored and held: the pen and font are still made.
    prnSetLineWidth(kInfinity);
    prnSetFontSize(-1e38f);
    prnSetFontSize(kNaN, Millimeters);
    EXPECT_NE(tarvel::prn::State().pen, nullptr);
    EXPECT_NE(tarvel::prn::State().font, nullptr);
}

TEST_F(Prn, TextIsOneLineUnlessItHoldsALineFeed)
{
    Confirm();
    StartPage();
    prnSetMeasureUnit(Pixels);
    HDC dc = PDC_GetPrinterDC();
    SIZE one{};
    ASSERT_TRUE(PDC_GetTextExtentPoint(dc, u"AB", 2, &one));
    EXPECT_EQ(prnGetTextWidth(u"AB"), float(one.cx));
    EXPECT_EQ(prnGetTextHeight(u"A\rB"), float(one.cy));  // a carriage return alone is one line
    EXPECT_NEAR(prnGetTextHeight(u"A\nB"), 2.0f * one.cy, 0.2f * one.cy);
    EXPECT_EQ(prnGetTextWidth(nullptr), 0.0f);

    prnDrawAlignedText(u"AB", 500, 400, TextHorAlign::Center, TextVertAlign::Bottom);
    auto single = Last<tarvel::render::ExtTextOutParams>(RecordKind::ExtTextOut);
    EXPECT_EQ(std::pair(single.x, single.y), std::pair(500 - one.cx / 2, 400 - one.cy));
    prnDrawAlignedText(u"AB", 500, 400, TextHorAlign(3), TextVertAlign::Center);  // unknown: as Left
    single = Last<tarvel::render::ExtTextOutParams>(RecordKind::ExtTextOut);
    EXPECT_EQ(std::pair(single.x, single.y), std::pair(500, 400 - one.cy / 2));

    const LONG w = LONG(prnGetTextWidth(u"AB\nC")), h = LONG(prnGetTextHeight(u"AB\nC"));
    prnDrawAlignedText(u"AB\nC", 500, 400, TextHorAlign::Right, TextVertAlign::Bottom);
    const auto block = Last<tarvel::render::DrawTextParams>(RecordKind::DrawText);
    EXPECT_EQ(block.format, 0x11Au);
    EXPECT_EQ((std::array{block.rect.left, block.rect.top, block.rect.right, block.rect.bottom}),
              (std::array<LONG, 4>{500 - w, 400 - h, 500, 400}));
    prnDrawText(u"AB\nC", 10, 20);
    const auto plain = Last<tarvel::render::DrawTextParams>(RecordKind::DrawText);
    EXPECT_EQ(plain.format, 0x110u);
    EXPECT_EQ(plain.rect.right, 10010);
}

TEST_F(Prn, PicturesAreDrawnAtTheirOwnSizeOrStretched)
{
    const std::u16string picture = WritePicture("picture.png", 640, 480);
    const std::u16string wide = WritePicture("wide.png", 600, 300);
    const std::u16string band = WritePicture("band.png", 600, 150);
    float width = -1, height = -1;
    prnSetMeasureUnit(Millimeters);  // the size is in pixels whatever the unit
    const std::u16string absolute = tarvel::platform::Utf8ToUtf16((root / "picture.png").string()).value();
    ASSERT_EQ(prnGetPictureSize(absolute.c_str(), &width, &height), 1);
    EXPECT_EQ(std::pair(width, height), std::pair(640.0f, 480.0f));
    prnSetMeasureUnit(Inches);

    Confirm();
    StartPage();
    ASSERT_EQ(prnDrawPicture(picture.c_str(), 1, 1, 0, 0, 0), 1);
    EXPECT_EQ(Last<tarvel::render::BlitParams>(RecordKind::BitBlt).x, 300);
    struct Case {
        const std::u16string& file;
        float width, height;
        int proportional;
        RecordKind kind;
        int drawnWidth, drawnHeight;
    } const cases[] = {
        {picture, 0, 0, 0, RecordKind::BitBlt, 640, 480},
        {picture, 0.5f, 0.5f, 1, RecordKind::BitBlt, 640, 480},  // below one unit: no size
        {wide, 2, 0, 0, RecordKind::StretchBlt, 600, 300},
        {wide, 0, 2, 0, RecordKind::StretchBlt, 1200, 600},
        {band, 1, 1, 1, RecordKind::StretchBlt, 150, 150},
        {band, 4, 4, 1, RecordKind::StretchBlt, 1200, 1200},
        {band, -1, 1, 1, RecordKind::StretchBlt, -300, 300},  // a negative width is not "smaller"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " proportional " << c.proportional);
        ASSERT_EQ(prnDrawPicture(c.file.c_str(), 0, 0, c.width, c.height, c.proportional), 1);
        const auto blit = Last<tarvel::render::BlitParams>(c.kind);
        EXPECT_EQ(std::pair(blit.width, blit.height), std::pair(c.drawnWidth, c.drawnHeight));
    }

    // Nothing to read, nothing drawn. (That the size then reads 0 x 0, and
    // that no picture is drawn at any position or size that is not finite,
    // are the fuzz replay's properties.)
    std::filesystem::create_directories(root / "folder");
    std::ofstream(root / "empty.png").close();
    const std::size_t before = Recorded();
    for (const char16_t* bad : {u"\\missing.png", u"\\folder", u"\\empty.png", u"", static_cast<const char16_t*>(nullptr)}) {
        EXPECT_EQ(prnDrawPicture(bad, 0, 0, 0, 0, 0), 0);
        EXPECT_EQ(prnGetPictureSize(bad, &width, &height), 0);
    }
    EXPECT_EQ(prnDrawPicture(picture.c_str(), kNaN, 0, 0, 0, 0), 0);
    EXPECT_EQ(prnGetPictureSize(picture.c_str(), nullptr, &height), 0);
    EXPECT_EQ(Recorded(), before);
}

// The prn calls print: the page reaches the port when the document ends,
// with a picture whose file is gone by then, since the page keeps its own
// copy. (What each call records is proven above; that text in its own
// colour puts the colour back is the fuzz replay's property.)
TEST_F(Prn, APagePrintedThroughPrnCallsReachesThePortWithItsPicture)
{
    const std::u16string picture = WritePicture("logo.png", 40, 30);
    Confirm();
    StartPage();
    prnDrawSolidRect(0.1f, 0.1f, 0.3f, 0.2f, RGB(0, 0, 0));
    prnDrawText(u"Tarvel", 0.1f, 0.25f, RGB(200, 0, 0));
    ASSERT_EQ(prnDrawPicture(picture.c_str(), 0.5f, 0.5f, 0, 0, 0), 1);
    std::filesystem::remove(root / "logo.png");
    prnEndDoc();

    std::ifstream in(root / "out.prn", std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto decoded = tarvel::preview::DecodeStream(tarvel::preview::Language::Pcl, bytes.data(), bytes.size());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.pages.size(), 1u);
    // The ink, the text's within it, spans the rectangle's top left corner,
    // a tenth of an inch in, to the far corner of the picture's 40 x 30
    // dots half an inch in, at 300 dpi: wherever the printable area
    // starts, 160 x 150 dots.
    const auto& page = decoded.pages[0];
    const auto rgb = tarvel::preview::RenderRgb(page);
    std::uint32_t left = UINT32_MAX, top = UINT32_MAX, right = 0, bottom = 0;
    for (std::uint32_t y = 0; y < page.height(); ++y) {
        for (std::uint32_t x = 0; x < page.width(); ++x) {
            const std::uint8_t* pixel = &rgb[(std::size_t(y) * page.width() + x) * 3];
            if (pixel[0] + pixel[1] + pixel[2] == 765)
                continue;
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x + 1);
            bottom = std::max(bottom, y + 1);
        }
    }
    EXPECT_EQ(std::pair(right - left, bottom - top), std::pair(160u, 150u));
}

}  // namespace
