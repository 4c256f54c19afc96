// The print and options dialogs and the two requests on the headless
// backend: scripted users press what a person would press, and the tests
// read the request, the settings and the printer DC afterwards.
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "device/ui/DialogTemplates.h"
#include "device/ui/SetupDialogs.h"
#include "render/DcTable.h"

#include <tarvel/pdc.h>
#include <tarvel/ui.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tarvel::device;
using tarvel::ui::DialogUser;

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::vector<std::u16string> MarginTexts(DialogUser& user)
{
    return {user.Text(kLeftMarginField), user.Text(kTopMarginField), user.Text(kRightMarginField),
            user.Text(kBottomMarginField)};
}

class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless));
        // The shell's extra controls are ready once the library is loaded.
        SHInitExtraControls();
        // Devices of earlier tests saved their settings; start from the
        // defaults every time.
        device.settings = PrinterSettings{};
        Papers()[kCustomPaper].width = 0;
        Papers()[kCustomPaper].height = 0;
        print.lStructSize = sizeof print;
        pageSetup.lStructSize = sizeof pageSetup;
    }

    void TearDown() override { tarvel::ui::SetResponder({}); }

    // Installs a responder that hands the print dialog and the options
    // dialog to the two functions given (an empty one presses OK).
    void Respond(std::function<void(DialogUser&)> onPrint, std::function<void(DialogUser&)> onOptions = {})
    {
        tarvel::ui::SetResponder([this, onPrint, onOptions](DialogUser& user) {
            seen.push_back(user.TemplateId());
            const auto& action = user.TemplateId() == kOptionsDialogId ? onOptions : onPrint;
            if (action)
                action(user);
            else
                user.Click(IDOK);
        });
    }

    // Opens the options dialog from the print dialog, lets onOptions work
    // in it, then confirms the print dialog.
    void ThroughOptions(std::function<void(DialogUser&)> onOptions)
    {
        Respond(
            [](DialogUser& user) {
                user.Click(kMoreButton);
                user.Click(IDOK);
            },
            std::move(onOptions));
    }

    PrinterDevice device;
    PRINTDLGW print{};
    PAGESETUPDLGW pageSetup{};
    std::vector<int> seen;
};

TEST_F(SetupDialog, RequestsAreRefusedWithoutADialog)
{
    Respond([](DialogUser& user) { user.Click(IDOK); });
    EXPECT_EQ(PrintDialog(device, nullptr), 0);
    EXPECT_EQ(PageSetupDialog(device, nullptr), 0);

    print.lStructSize = sizeof print - 1;
    EXPECT_EQ(PrintDialog(device, &print), 0);
    pageSetup.lStructSize = 20;
    EXPECT_EQ(PageSetupDialog(device, &pageSetup), 0);
    print.lStructSize = sizeof print;
    pageSetup.lStructSize = sizeof pageSetup;

    print.Flags = PD_RETURNDEFAULT;
    EXPECT_EQ(PrintDialog(device, &print), 0);
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_RETURNDEFAULT)) << "a refused request is not written";
    pageSetup.Flags = PSD_RETURNDEFAULT;
    EXPECT_EQ(PageSetupDialog(device, &pageSetup), 0);
    // The print request's "return default" is a margin lock to a page-setup
    // request, and the other way round.
    print.Flags = PD_LOCKMARGINS;
    pageSetup.Flags = 0x2000;
    device.docStarted = 1;
    EXPECT_EQ(PrintDialog(device, &print), 0);
    EXPECT_EQ(PageSetupDialog(device, &pageSetup), 0);
    EXPECT_TRUE(seen.empty()) << "no dialog was shown";
    EXPECT_EQ(tarvel::render::PrinterDc(device.recording), nullptr);

    device.docStarted = 0;
    EXPECT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(seen, (std::vector<int>{kPrintDialogId, kPrintDialogId})) << "page setup shows the print dialog";
}

TEST_F(SetupDialog, ConfirmedPrintRequestReportsTheSettingsInItsFlags)
{
    print.Flags = PD_INHUNDREDTHSOFMILLIMETERS | PD_LOCKRANGE;
    print.rcMargin = RECT{1, 2, 3, 4};  // not read without PD_MARGINS
    EXPECT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_ALLPAGES_SELECTED | PD_PAPER_A4 | PD_PORT_INFRARED | PD_INHUNDREDTHSOFMILLIMETERS | PD_PORTRAIT | PD_MARGINS));
    EXPECT_TRUE(SameRect(print.rcMargin, RECT{6400, 3200, 6400, 10000}));
    EXPECT_EQ(device.pageRangeFirst, -1);
    EXPECT_NE(tarvel::render::PrinterDc(device.recording), nullptr);

    // Letter, a serial port, landscape and draft, in inches.
    Respond([](DialogUser& user) {
        user.SelectListEntry(kPaperList, u"Letter");
        user.SelectListEntry(kPortList, u"COM3");
        user.Click(kLandscapeButton);
        user.Click(kMoreButton);
        user.Click(IDOK); }, [](DialogUser& user) {
        user.Click(kDraftBox);
        user.Click(IDOK); });
    print.Flags = PD_INTHOUSANDTHSOFINCHES;
    EXPECT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_ALLPAGES_SELECTED | PD_DRAFTMODE | PD_PAPER_LETTER | PD_INTHOUSANDTHSOFINCHES | PD_LANDSCAPE | PD_MARGINS));
    EXPECT_TRUE(SameRect(print.rcMargin, RECT{2520, 1260, 2520, 3937}));
    EXPECT_EQ(device.settings.paperSize, 3);
    EXPECT_EQ(device.settings.port, 3);
    EXPECT_EQ(device.settings.portrait, 0);
    EXPECT_EQ(device.settings.draftMode, 1);
    EXPECT_EQ(device.xResolution, 150) << "HP PCL in draft";
    EXPECT_EQ(device.yResolution, 150);

    // Metric wins when both units are asked for; the request's orientation
    // and margins (thousandths of an inch are not involved) are taken.
    Respond({});
    print.Flags = PD_INTHOUSANDTHSOFINCHES | PD_INHUNDREDTHSOFMILLIMETERS | PD_PORTRAIT | PD_LANDSCAPE | PD_MARGINS;
    print.rcMargin = RECT{1000, 2000, 3000, 4000};
    EXPECT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(device.settings.portrait, 0) << "landscape wins over portrait";
    EXPECT_TRUE(SameRect(device.settings.margins, RECT{1000, 2000, 3000, 4000}));
    EXPECT_TRUE(SameRect(print.rcMargin, RECT{1000, 2000, 3000, 4000}));
    EXPECT_EQ(print.Flags & (PD_INTHOUSANDTHSOFINCHES | PD_INHUNDREDTHSOFMILLIMETERS),
              static_cast<DWORD>(PD_INHUNDREDTHSOFMILLIMETERS));
}

TEST_F(SetupDialog, MarginsShowInTheRequestsUnitAndReturnInIt)
{
    std::vector<std::u16string> shown;
    ThroughOptions([&](DialogUser& user) {
        shown = MarginTexts(user);
        user.Click(IDOK);
    });
    pageSetup.Flags = PSD_INHUNDREDTHSOFMILLIMETERS;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(shown, (std::vector<std::u16string>{u"6.4cm", u"3.2cm", u"6.4cm", u"10cm"}));
    EXPECT_EQ(pageSetup.Flags, 0xAu);
    EXPECT_TRUE(SameRect(pageSetup.rtMargin, RECT{6400, 3200, 6400, 10000}));

    device.settings = PrinterSettings{};
    pageSetup.Flags = PSD_INTHOUSANDTHSOFINCHES;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(shown, (std::vector<std::u16string>{u"2.52\"", u"1.26\"", u"2.52\"", u"3.937\""}));
    EXPECT_EQ(pageSetup.Flags, 0x6u);
    EXPECT_TRUE(SameRect(pageSetup.rtMargin, RECT{2520, 1260, 2520, 3937}));
    EXPECT_TRUE(SameRect(device.settings.margins, RECT{6400, 3200, 6400, 9999}))
        << "3.937 inches read back truncate to 9999";

    // Inch margins the print request brings show as given and go back
    // unchanged, not through a round trip in millimetres.
    print.Flags = PD_MARGINS | PD_INTHOUSANDTHSOFINCHES;
    print.rcMargin = RECT{1000, 1000, 1000, 1000};
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(shown, (std::vector<std::u16string>(4, u"1\"")));
    EXPECT_TRUE(SameRect(device.settings.margins, RECT{2540, 2540, 2540, 2540}));
    EXPECT_TRUE(SameRect(print.rcMargin, RECT{1000, 1000, 1000, 1000}));
    EXPECT_EQ(print.Flags & (PD_INTHOUSANDTHSOFINCHES | PD_MARGINS),
              static_cast<DWORD>(PD_INTHOUSANDTHSOFINCHES | PD_MARGINS));
}

TEST_F(SetupDialog, TypedMarginsAreNormalisedWhenTheFieldIsLeft)
{
    ThroughOptions([](DialogUser& user) {
        user.Type(kLeftMarginField, u"1.5cm");
        EXPECT_EQ(user.Text(kLeftMarginField), u"1.5cm");
        user.Type(kTopMarginField, u" 2.50 mm");
        user.Type(kRightMarginField, u"wide");
        user.Click(IDOK);
    });
    pageSetup.Flags = PSD_INHUNDREDTHSOFMILLIMETERS;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_TRUE(SameRect(device.settings.margins, RECT{1500, 2500, 0, 10000}));

    ThroughOptions([](DialogUser& user) {
        user.Type(kLeftMarginField, u"1.5cm");
        EXPECT_EQ(user.Text(kLeftMarginField), u"1.5\"") << "the unit typed is ignored";
        user.Click(IDOK);
    });
    pageSetup.Flags = PSD_INTHOUSANDTHSOFINCHES;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(device.settings.margins.left, 3810);
    EXPECT_EQ(pageSetup.rtMargin.left, 1500);
}

TEST_F(SetupDialog, MarginsAreHeldToWhatTheNextLoadKeeps)
{
    ThroughOptions([](DialogUser& user) {
        user.Type(kLeftMarginField, u"-1cm");
        EXPECT_EQ(user.Text(kLeftMarginField), u"0cm");
        user.Type(kRightMarginField, u"600cm");
        EXPECT_EQ(user.Text(kRightMarginField), u"500cm") << "no paper is longer";
        user.Type(kTopMarginField, u"150cm");
        user.Type(kBottomMarginField, u"0.01");
        user.Click(IDOK);
    });
    pageSetup.Flags = PSD_INHUNDREDTHSOFMILLIMETERS;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    const RECT typed{0, 150000, kLongestMargin, 10};
    EXPECT_TRUE(SameRect(device.settings.margins, typed));

    // Margins a locked request brings are held to the same bounds.
    Respond({});
    pageSetup.Flags = PSD_MARGINS | PSD_DISABLEMARGINS | PSD_INHUNDREDTHSOFMILLIMETERS;
    pageSetup.rtMargin = RECT{-5, INT32_MAX, 7, INT32_MIN};
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_TRUE(SameRect(device.settings.margins, RECT{0, kLongestMargin, 7, 0}));

    device.settings.margins = typed;
    ASSERT_EQ(device.SaveSettings(), ERROR_SUCCESS);
    device.settings = PrinterSettings{};
    ASSERT_EQ(device.LoadSettings(), ERROR_SUCCESS);
    EXPECT_TRUE(SameRect(device.settings.margins, typed)) << "every margin the dialog keeps comes back";
}

TEST_F(SetupDialog, PageRangeChosenInTheOptionsReachesTheDeviceAndTheFlags)
{
    ThroughOptions([](DialogUser& user) {
        EXPECT_TRUE(user.ReadOnly(kFirstPageField) && user.ReadOnly(kLastPageField))
            << "with \"All\" the page fields are read-only";
        user.Click(kPageRangeButton);
        EXPECT_FALSE(user.ReadOnly(kFirstPageField));
        user.Type(kFirstPageField, u"2");
        user.Type(kLastPageField, u"3x");
        EXPECT_EQ(user.Text(kLastPageField), u"3") << "digits only";
        user.Click(IDOK);
    });
    pageSetup.Flags = PSD_INHUNDREDTHSOFMILLIMETERS;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(pageSetup.Flags & PSD_PAGERANGE, static_cast<DWORD>(PSD_PAGERANGE));
    EXPECT_EQ(device.pageRangeFirst, 2);
    EXPECT_EQ(device.pageRangeLast, 3);

    // A request that starts with a range shows it; "All" locks the fields
    // again and clears the range.
    ThroughOptions([](DialogUser& user) {
        EXPECT_TRUE(user.Checked(kPageRangeButton) && !user.ReadOnly(kLastPageField));
        EXPECT_EQ(user.Text(kFirstPageField), u"1");
        user.Click(kAllPagesButton);
        EXPECT_TRUE(user.ReadOnly(kFirstPageField));
        user.Click(IDOK);
    });
    pageSetup.Flags = PSD_PAGERANGE;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(pageSetup.Flags & PSD_PAGERANGE, 0u);
    EXPECT_EQ(device.pageRangeFirst, -1);

    // A range the document cannot satisfy is taken as typed.
    ThroughOptions([](DialogUser& user) {
        user.Click(kPageRangeButton);
        user.Type(kFirstPageField, u"3");
        user.Type(kLastPageField, u"2");
        user.Click(IDOK);
    });
    print.Flags = 0;
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(print.Flags & PD_ALLPAGES_SELECTED, 0u);
    EXPECT_EQ(device.pageRangeFirst, 3);
    EXPECT_EQ(device.pageRangeLast, 2);
}

TEST_F(SetupDialog, LocksDisableWhatTheyNameAndKeepItsValue)
{
    std::vector<bool> open;  // printer, paper, portrait, landscape, size, margins, "All", range, pages
    Respond(
        [&](DialogUser& user) {
            open = {user.Enabled(kPrinterList), user.Enabled(kPaperList), user.Enabled(kPortraitButton),
                    user.Enabled(kLandscapeButton), !user.ReadOnly(kWidthField) || !user.ReadOnly(kHeightField)};
            user.Click(kMoreButton);
            user.Click(IDOK);
        },
        [&](DialogUser& user) {
            open.push_back(!user.ReadOnly(kLeftMarginField) || !user.ReadOnly(kRightMarginField)
                           || !user.ReadOnly(kTopMarginField) || !user.ReadOnly(kBottomMarginField));
            open.push_back(user.Enabled(kAllPagesButton));
            open.push_back(user.Enabled(kPageRangeButton));
            open.push_back(!user.ReadOnly(kFirstPageField) || !user.ReadOnly(kLastPageField));
            user.Click(IDOK);
        });
    // 3.937 inches would read back as 9999: locked margins must not be
    // read back from their fields at all.
    device.settings.paperSize = kCustomPaper;
    pageSetup.Flags = PSD_DISABLEPRINTER | PSD_DISABLEPAPER | PSD_DISABLEORIENTATION | PSD_DISABLEMARGINS
        | PSD_DISABLEPAGERANGE | PSD_PAGERANGE | PSD_MARGINS | PSD_INTHOUSANDTHSOFINCHES;
    pageSetup.rtMargin = RECT{3937, 3937, 3937, 3937};
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(open, std::vector<bool>(9, false)) << "a locked range cannot be typed even when one is chosen";
    EXPECT_TRUE(SameRect(device.settings.margins, RECT{10000, 10000, 10000, 10000}));
    EXPECT_EQ(device.pageRangeFirst, 1) << "the locked range keeps its starting pages";
    EXPECT_EQ(device.pageRangeLast, 1);

    // Without locks all is open but the page fields ("All") and the size of
    // a paper other than "Custom".
    device.settings.paperSize = 0;
    pageSetup.Flags = 0;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(open, (std::vector<bool>{true, true, true, true, false, true, true, true, false}));
}

TEST_F(SetupDialog, CustomPaperSizeIsWrittenWhenItsFieldIsLeftEvenIfCancelled)
{
    Respond([](DialogUser& user) {
        EXPECT_EQ(user.Text(kWidthField), u"21cm");
        EXPECT_EQ(user.Text(kHeightField), u"29.7cm");
        EXPECT_TRUE(user.ReadOnly(kWidthField));
        user.Click(kLandscapeButton);
        EXPECT_EQ(user.Text(kWidthField), u"29.7cm") << "landscape trades the two";
        EXPECT_EQ(user.Text(kHeightField), u"21cm");
        user.SelectListEntry(kPaperList, u"Custom");
        EXPECT_FALSE(user.ReadOnly(kWidthField));
        EXPECT_EQ(user.Text(kWidthField), u"0cm");
        user.Type(kWidthField, u"10");
        user.Type(kHeightField, u"15.25 cm");
        EXPECT_EQ(user.Text(kWidthField), u"10cm");
        EXPECT_EQ(user.Text(kHeightField), u"15.25cm");
        user.Click(kPortraitButton);
        EXPECT_EQ(user.Text(kWidthField), u"15.25cm");
        EXPECT_EQ(user.Text(kHeightField), u"10cm");
        user.Click(IDCANCEL);
    });
    print.Flags = PD_INHUNDREDTHSOFMILLIMETERS;
    EXPECT_EQ(PrintDialog(device, &print), 0);
    EXPECT_EQ(Papers()[kCustomPaper].height, 10000) << "the width field of a landscape page is the paper's height";
    EXPECT_EQ(Papers()[kCustomPaper].width, 15250);
    EXPECT_EQ(device.settings.paperSize, 0) << "cancelled: only the typed size stays";
    EXPECT_EQ(device.settings.portrait, 1);
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_INHUNDREDTHSOFMILLIMETERS));
    EXPECT_EQ(tarvel::render::PrinterDc(device.recording), nullptr);

    // In inches; absurd or negative sizes stay within what the settings
    // store accepts.
    Respond([](DialogUser& user) {
        EXPECT_EQ(user.Text(kWidthField), u"6.004\"");
        user.Type(kWidthField, u"8.5");
        EXPECT_EQ(user.Text(kWidthField), u"8.5\"");
        user.Type(kHeightField, u"-3");
        EXPECT_EQ(user.Text(kHeightField), u"0\"");
        user.Click(IDOK);
    });
    device.settings.paperSize = kCustomPaper;
    print.Flags = PD_INTHOUSANDTHSOFINCHES;
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(Papers()[kCustomPaper].width, 21590);
    EXPECT_EQ(Papers()[kCustomPaper].height, 0);
    EXPECT_EQ(print.Flags & (PD_PAPER_A4 | PD_PAPER_LETTER), 0u);
}

TEST_F(SetupDialog, ConfirmationTakesTheModelsResolutionAndForcesMonochromeOnPocketJets)
{
    device.settings.colorMode = 1;
    Respond([](DialogUser& user) {
        user.SelectListEntry(kPrinterList, u"PocketJet 200");
        user.SelectListEntry(kColorList, u"4 Color CMYK");
        user.Click(IDOK);
    });
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(device.settings.printer, 4);
    EXPECT_EQ(device.settings.colorMode, 0);
    EXPECT_EQ(device.xResolution, 200);
    EXPECT_EQ(device.yResolution, 200);

    ThroughOptions([](DialogUser& user) {
        user.Click(kDraftBox);
        user.Click(IDOK);
    });
    device.settings.printer = 1;  // shown as "Epson ESC/P 2"
    device.settings.colorMode = 2;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(device.settings.draftMode, 1);
    EXPECT_EQ(device.xResolution, 180);
    EXPECT_EQ(device.yResolution, 180);
    EXPECT_EQ(device.settings.colorMode, 2) << "only the PocketJets are forced";
}

TEST_F(SetupDialog, EachExportedConfirmationMakesANewPrinterDcAndDropsTheOld)
{
    EXPECT_EQ(PDC_PrintDlg(nullptr), 0);
    EXPECT_EQ(PDC_PageSetupDlg(nullptr), 0);
    ASSERT_EQ(PDC_PrintDlg(&print), 1);
    HDC first = PDC_GetPrinterDC();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, tarvel::render::PrinterDc(device.recording));
    EXPECT_EQ(tarvel::render::LookupDc(device.recording.dcs, first), 0);

    ASSERT_EQ(PDC_PageSetupDlg(&pageSetup), 1);
    HDC second = PDC_GetPrinterDC();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second, tarvel::render::PrinterDc(device.recording));
    EXPECT_LT(tarvel::render::LookupDc(device.recording.dcs, first), 0) << "the old DC is gone";

    Respond([](DialogUser& user) { user.Click(IDCANCEL); });
    EXPECT_EQ(PDC_PrintDlg(&print), 0);
    EXPECT_EQ(PDC_GetPrinterDC(), second) << "a cancelled dialog keeps the DC";
}

TEST_F(SetupDialog, CancellingEitherDialogDiscardsItsChanges)
{
    // The options are cancelled: the dialog state keeps what it had, so the
    // confirmed print dialog writes the old margins and draft setting.
    Respond(
        [](DialogUser& user) {
            user.Click(kMoreButton);
            user.Click(IDOK);
        },
        [](DialogUser& user) {
            user.Type(kLeftMarginField, u"1");
            user.Click(kDraftBox);
            user.Click(kCompressionBox);
            user.Click(IDCANCEL);
        });
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(device.settings.margins.left, 6400);
    EXPECT_EQ(device.settings.draftMode, 0);
    EXPECT_EQ(device.settings.compression, 1);

    // The options are confirmed but the print dialog is cancelled.
    Respond(
        [](DialogUser& user) {
            user.SelectListEntry(kPrinterList, u"Canon BJ (360 dpi)");
            user.Click(kMoreButton);
            user.Click(IDCANCEL);
        },
        [](DialogUser& user) {
            user.Click(kCompressionBox);
            user.Click(kPageRangeButton);
            user.Click(IDOK);
        });
    device.pageRangeFirst = 7;
    EXPECT_EQ(PrintDialog(device, &print), 0);
    EXPECT_EQ(device.settings.printer, 0);
    EXPECT_EQ(device.settings.compression, 1);
    EXPECT_EQ(device.pageRangeFirst, 7);
    EXPECT_EQ(device.xResolution, 300);
}

TEST_F(SetupDialog, DialogsCarryTheOwnersTitleAndTheShellsPreparation)
{
    HWND owner = CreateWindowExW(0, u"NotesWindow", u"Field notes", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    Respond(
        [](DialogUser& user) {
            EXPECT_EQ(user.Caption(), u"Field notes");
            EXPECT_EQ(user.ListEntries(kPrinterList),
                      (std::vector<std::u16string>{u"HP PCL", u"Epson ESC/P 2", u"Epson Stylus COLOR", u"PocketJet II",
                                                   u"PocketJet 200", u"Canon BJ (300 dpi)", u"Canon BJ (360 dpi)"}));
            const auto ports = user.ListEntries(kPortList);
            ASSERT_EQ(ports.size(), 12u);
            EXPECT_EQ(ports.front(), u"Infrared");
            EXPECT_EQ(ports[9], u"File");
            EXPECT_EQ(ports[10], u"Network") << "the ports people have today come after File";
            EXPECT_EQ(ports[11], u"USB/parallel printer");
            EXPECT_EQ(user.ListEntries(kColorList),
                      (std::vector<std::u16string>{u"Monochrome (B&W)", u"4 Color CMYK", u"3 Color CMY"}));
            EXPECT_EQ(user.ListEntries(kPaperList),
                      (std::vector<std::u16string>{u"A4", u"A5", u"B5", u"Letter", u"Legal", u"Executive", u"Custom"}));
            HWND sip = GetDlgItem(user.Dialog(), kSipPrefId);
            EXPECT_TRUE(sip != nullptr && !IsWindowVisible(sip));
            user.Click(kMoreButton);
            user.Click(IDOK);
        },
        [](DialogUser& user) {
            EXPECT_EQ(user.Caption(), u"Field notes");
            EXPECT_NE(GetDlgItem(user.Dialog(), kSipPrefId), nullptr);
            user.Click(IDOK);
        });
    print.hwndOwner = owner;
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(seen, (std::vector<int>{kPrintDialogId, kOptionsDialogId}));
    EXPECT_EQ(device.setup.caption, std::u16string(u"Field notes"));

    // A window closed under the request: no dialog can be owned by it.
    DestroyWindow(owner);
    EXPECT_EQ(PrintDialog(device, &print), 0);
}

TEST_F(SetupDialog, TheUsersMeasurementSystemDecidesTheUnitWithoutAFlag)
{
    const char* saved = std::getenv("LC_ALL");
    std::string restore = saved ? saved : "";
    std::u16string shown;
    Respond([&](DialogUser& user) {
        shown = user.Text(kWidthField);
        user.Click(IDOK);
    });
    setenv("LC_ALL", "en_US.UTF-8", 1);
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(shown, u"8.268\"");
    EXPECT_TRUE(SameRect(print.rcMargin, RECT{2520, 1260, 2520, 3937}));
    EXPECT_EQ(print.Flags & PD_INTHOUSANDTHSOFINCHES, static_cast<DWORD>(PD_INTHOUSANDTHSOFINCHES));

    device.settings = PrinterSettings{};
    print.Flags = 0;
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(shown, u"21cm");
    EXPECT_TRUE(SameRect(print.rcMargin, RECT{6400, 3200, 6400, 10000}));
    if (saved != nullptr)
        setenv("LC_ALL", restore.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

}  // namespace
