// The settings, models and messages a program reads and writes without a
// dialog: a valid set is stored and comes back; any refused field leaves
// the settings and the store exactly as they were and says why.
#include "device/PrinterDevice.h"
#include "platform/store/Registry.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>
#include <tarvel/settings.h>
#include <tarvel/ui.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>
#include <utility>
#include <optional>
#include <sstream>

namespace {

using tarvel::device::PrinterDevice;

std::string StoreText()
{
    std::ifstream in(tarvel::platform::KeyFilePath(tarvel::platform::HKEY_CURRENT_USER, tarvel::device::kSettingsKey));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Message(int* kind = nullptr)
{
    char text[512] = "untouched";
    char caption[64] = "untouched";
    const int k = TarvelLastMessage(text, sizeof text, caption, sizeof caption);
    if (kind)
        *kind = k;
    return std::string(caption) + ": " + text;
}

// Every field away from its default: the Stylus in draft on the network
// port, CMY on a landscape custom paper of 100 x 200 mm.
TarvelSettings Example()
{
    return {2, TARVEL_PORT_NETWORK, 6, 2, 0, {100, 200, 300, 400}, 1, 0, 10000, 20000, "192.0.2.7", 9101, "/dev/lp0"};
}

bool Same(const TarvelSettings& a, const TarvelSettings& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class SettingsExports : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME")); }
    void SetUp() override { TarvelClearLastMessage(); }
    std::optional<PrinterDevice> device{std::in_place};
};

TEST_F(SettingsExports, ASetIsStoredAndComesBackAfterTheNextLoadAndARefusedOneChangesNothing)
{
    const TarvelSettings wanted = Example();
    ASSERT_EQ(TarvelSetSettings(&wanted), 1) << Message();
    HDC printer = PDC_GetPrinterDC();
    EXPECT_EQ(PDC_GetDeviceCaps(printer, LOGPIXELSX), 180) << "draft on the Stylus";
    EXPECT_EQ(PDC_GetDeviceCaps(printer, PHYSICALWIDTH), 1417) << "landscape custom 100 x 200 mm";

    device.reset();
    device.emplace();
    TarvelSettings loaded{};
    ASSERT_EQ(TarvelGetSettings(&loaded), 1);
    EXPECT_TRUE(Same(loaded, wanted));
    EXPECT_EQ(TarvelGetSettings(nullptr), 0);
    EXPECT_EQ(TarvelSetSettings(nullptr), 0);

    // A refused field changes nothing and names the field and range; the
    // ranges are one table, so one field at each end of one stands for all.
    const TarvelSettings& valid = wanted;
    const std::string stored = StoreText();
    struct Case {
        std::function<void(TarvelSettings&)> change;
        const char* says;
    };
    const Case cases[] = {
        {[](auto& s) { s.printer = 7; }, "printer 7 is refused: it must be 0 to 6"},
        {[](auto& s) { s.port = 12; }, "port 12 is refused: it must be 0 to 11"},
        {[](auto& s) { s.margins.bottom = -1; }, "margins.bottom -1 is refused: it must be 0 to 500000"},
        {[](auto& s) { s.networkPort = 0; }, "networkPort 0 is refused: it must be 1 to 65535"},
        {[](auto& s) { std::memset(s.networkHost, 'a', sizeof s.networkHost); }, "networkHost is refused"},
        {[](auto& s) { std::strcpy(s.networkHost, "two words"); }, "networkHost is refused"},
        {[](auto& s) { std::strcpy(s.networkHost, "bad\xC3"); }, "networkHost is refused"},
        {[](auto& s) { s.networkHost[0] = 0; }, "the Network port needs a host"},
        {[](auto& s) { s.devicePath[0] = 0; }, "devicePath is refused"},
    };
    for (const Case& c : cases) {
        TarvelSettings wrong = valid;
        c.change(wrong);
        TarvelClearLastMessage();
        EXPECT_EQ(TarvelSetSettings(&wrong), 0) << c.says;
        int kind = 0;
        const std::string message = Message(&kind);
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_EQ(kind, TARVEL_MESSAGE_ERROR);
        TarvelSettings now{};
        TarvelGetSettings(&now);
        EXPECT_TRUE(Same(now, valid)) << c.says;
        EXPECT_EQ(StoreText(), stored) << c.says;
    }
    // An empty host is fine for the other ports.
    TarvelSettings file = valid;
    file.port = 9;
    file.networkHost[0] = 0;
    EXPECT_EQ(TarvelSetSettings(&file), 1) << Message();
}

TEST_F(SettingsExports, SettingsFollowTheDialogsRules)
{
    TarvelSettings pocketJet = Example();
    pocketJet.printer = 3;
    pocketJet.colorMode = 1;
    ASSERT_EQ(TarvelSetSettings(&pocketJet), 1);
    TarvelSettings now{};
    TarvelGetSettings(&now);
    EXPECT_EQ(now.colorMode, 0) << "a model without colour prints monochrome, as the dialog makes it";

    DOCINFOW info{sizeof(DOCINFOW), u"job", u"/dev/null", nullptr, 0};
    TarvelSettings file = Example();
    file.port = 9;
    ASSERT_EQ(TarvelSetSettings(&file), 1);
    ASSERT_EQ(PDC_StartDoc(PDC_GetPrinterDC(), &info), 1);
    file.printer = 0;
    EXPECT_EQ(TarvelSetSettings(&file), 0);
    EXPECT_NE(Message().find("while a document"), std::string::npos);
    EXPECT_EQ(PDC_EndDoc(PDC_GetPrinterDC()), 1);
}

TEST_F(SettingsExports, ModelsAndPagesMatchTheDeviceCapabilities)
{
    TarvelModel model{};
    EXPECT_EQ(TarvelGetModel(-1, &model), 0);
    EXPECT_EQ(TarvelGetModel(0, nullptr), 0);

    // The A4 page of the default PCL printer, as the printer DC reports it.
    const TarvelSettings pcl{0, 9, 0, 1, 1, {}, 0, 1, 0, 0, "", 9100, "/dev/lp0"};
    ASSERT_EQ(TarvelSetSettings(&pcl), 1);
    HDC printer = PDC_GetPrinterDC();
    TarvelPageSize page{};
    ASSERT_EQ(TarvelGetPageSize(0, 0, 0, &page), 1);
    EXPECT_STREQ(page.name, "A4");
    EXPECT_EQ(page.widthDots, PDC_GetDeviceCaps(printer, PHYSICALWIDTH));
    EXPECT_EQ(page.heightDots, PDC_GetDeviceCaps(printer, PHYSICALHEIGHT));
    EXPECT_EQ(page.printableDots.left, PDC_GetDeviceCaps(printer, PHYSICALOFFSETX));
    EXPECT_EQ(page.printableDots.top, PDC_GetDeviceCaps(printer, PHYSICALOFFSETY));
    EXPECT_EQ(page.printableDots.right - page.printableDots.left, PDC_GetDeviceCaps(printer, HORZRES));
    EXPECT_EQ(page.printableDots.bottom - page.printableDots.top, PDC_GetDeviceCaps(printer, VERTRES));
    ASSERT_EQ(TarvelGetPageSize(0, 3, 1, &page), 1);
    EXPECT_EQ(page.widthDots, 1275) << "Letter, 8.5 in at 150 dpi";
    EXPECT_EQ(TarvelGetPageSize(7, 0, 0, &page), 0);
    EXPECT_EQ(TarvelGetPageSize(0, -1, 0, &page), 0);
    EXPECT_EQ(TarvelGetPageSize(0, 0, 0, nullptr), 0);
}

TEST_F(SettingsExports, TheLastMessageBoxIsReadableInBothEncodingsAndCutWhole)
{
    EXPECT_EQ(TarvelLastMessage(nullptr, 0, nullptr, 0), TARVEL_MESSAGE_NONE);
    MessageBoxW(nullptr, u"Caf\u00e9 \U0001F5A8 out of paper", u"Printing", MB_ICONEXCLAMATION | MB_OK);
    char text[64];
    char caption[64];
    EXPECT_EQ(TarvelLastMessage(text, sizeof text, caption, sizeof caption), TARVEL_MESSAGE_WARNING);
    EXPECT_STREQ(text, "Caf\xC3\xA9 \xF0\x9F\x96\xA8 out of paper");
    EXPECT_STREQ(caption, "Printing");
    // Cut inside the printer symbol: the whole sequence goes.
    char shortText[9];
    EXPECT_EQ(TarvelLastMessage(shortText, sizeof shortText, nullptr, 5), TARVEL_MESSAGE_WARNING);
    EXPECT_STREQ(shortText, "Caf\xC3\xA9 ");
    WCHAR wideShort[7];
    TarvelLastMessageW(wideShort, 7, nullptr, -3);
    EXPECT_EQ(std::u16string(wideShort), u"Caf\u00e9 ") << "a surrogate pair is never split";

    MessageBoxW(nullptr, u"Done", u"Printing", MB_OK);
    EXPECT_EQ(TarvelLastMessage(nullptr, 0, nullptr, 0), TARVEL_MESSAGE_INFO);
    TarvelClearLastMessage();
    EXPECT_EQ(TarvelLastMessage(text, sizeof text, caption, sizeof caption), TARVEL_MESSAGE_NONE);
    EXPECT_STREQ(text, "");
}

// A printer that cannot be reached: the program reads the failed pages of
// the last job. (The message the user sees, and a connection lost in the
// middle of a page, are the print job tests' to prove; the exports only
// forward the device's record of it.)
TEST_F(SettingsExports, PagesOfAJobThatCannotConnectCountAsFailed)
{
    TarvelSettings settings = Example();
    settings.port = 0;  // infrared, which this machine has not
    ASSERT_EQ(TarvelSetSettings(&settings), 1);
    HDC printer = PDC_GetPrinterDC();
    DOCINFOW info{sizeof(DOCINFOW), u"job", nullptr, nullptr, 0};
    ASSERT_EQ(PDC_StartDoc(printer, &info), 1);
    EXPECT_EQ(TarvelFailedPages(), 0);
    EXPECT_EQ(PDC_StartPage(printer), 0);
    EXPECT_EQ(PDC_EndPage(printer), 0);
    EXPECT_EQ(PDC_StartPage(printer), 0);
    EXPECT_EQ(TarvelFailedPages(), 2);
    EXPECT_EQ(PDC_EndDoc(printer), 1);
    EXPECT_EQ(TarvelFailedPages(), 2) << "kept for the last job";
}

// The exported PDC_ functions on the one device: each forwards to it and
// answers for unknown device contexts with its failure value.
using PdcExports = SettingsExports;

TEST_F(PdcExports, CapabilitiesAnswerForThePrinterDcAndItsMemoryDcsOnly)
{
    // There is no printer DC before a dialog is confirmed.
    EXPECT_EQ(PDC_GetPrinterDC(), nullptr);
    EXPECT_EQ(PDC_GetDeviceCaps(nullptr, LOGPIXELSX), 0);
    ASSERT_TRUE(tarvel::render::ReplacePrinterDc(device->recording));
    HDC printer = PDC_GetPrinterDC();
    EXPECT_EQ(PDC_GetDeviceCaps(printer, PHYSICALWIDTH), 2480);
    EXPECT_EQ(PDC_GetDeviceCaps(PDC_CreateCompatibleDC(printer), VERTRES), 3469);
}

TEST_F(PdcExports, DrawingCallsRecordOnKnownDcsAndFailOnOthers)
{
    ASSERT_TRUE(tarvel::render::ReplacePrinterDc(device->recording));
    HDC printer = PDC_GetPrinterDC();
    const auto& list = device->recording.list;

    EXPECT_EQ(PDC_SetTextColor(printer, RGB(1, 2, 3)), RGB(0, 0, 0));  // the previous colour
    EXPECT_EQ(PDC_SetTextColor(nullptr, 0), CLR_INVALID);
    EXPECT_EQ(PDC_SetBkMode(printer, TRANSPARENT), OPAQUE);
    EXPECT_EQ(PDC_SetROP2(printer, R2_NOT), R2_COPYPEN);
    EXPECT_EQ(PDC_SetBkColor(printer, 0), RGB(255, 255, 255));
    EXPECT_EQ(list.size(), 4u);

    EXPECT_TRUE(PDC_DrawLine(printer, 10, 20, 30, 5));
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list.back().kind, tarvel::render::RecordKind::Polyline);
    EXPECT_EQ(std::pair(list.back().bounds.left, list.back().bounds.bottom), std::pair(9, 21));
    EXPECT_FALSE(PDC_DrawLine(nullptr, 0, 0, 1, 1));
    EXPECT_TRUE(PDC_Rectangle(printer, 0, 0, 10, 10) && PDC_Ellipse(printer, 0, 0, 10, 10)
                && PDC_RoundRect(printer, 0, 0, 10, 10, 3, 3));
    EXPECT_EQ(list.size(), 8u);

    TEXTMETRICW metrics{};
    EXPECT_TRUE(PDC_GetTextMetrics(printer, &metrics));
    EXPECT_GT(metrics.tmHeight, 0);
    SIZE size{}, exSize{};
    int fit = -1, extents[3] = {};
    EXPECT_TRUE(PDC_GetTextExtentPoint(printer, u"abc", 3, &size));
    EXPECT_TRUE(PDC_GetTextExtentExPoint(printer, u"abc", 3, 1000, &fit, extents, &exSize));
    EXPECT_EQ(std::tuple(fit, extents[2], exSize.cx), std::tuple(3, size.cx, size.cx));
    EXPECT_FALSE(PDC_GetTextExtentPoint(nullptr, u"abc", 3, &size));
    EXPECT_EQ(list.size(), 8u);  // measuring is not recorded

    HDC memory = PDC_CreateCompatibleDC(printer);
    EXPECT_TRUE(PDC_BitBlt(printer, 0, 0, 1, 1, memory, 0, 0, SRCCOPY));
    EXPECT_TRUE(PDC_StretchBlt(printer, 0, 0, 2, 2, memory, 0, 0, 1, 1, SRCCOPY));
    EXPECT_FALSE(PDC_BitBlt(memory, 0, 0, 1, 1, printer, 0, 0, SRCCOPY));
    EXPECT_EQ(PDC_SelectObject(printer, nullptr), nullptr);
    EXPECT_NE(PDC_SelectObject(printer, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_TRUE(PDC_DeleteDC(memory));
    EXPECT_FALSE(PDC_DeleteDC(printer));
    EXPECT_EQ(list.size(), 11u);
}

}  // namespace
