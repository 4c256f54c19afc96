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

#include <array>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tarvel::device;
using tarvel::ui::DialogUser;

// Left, top, right, bottom: compared as an array, a failure prints all four.
std::array<LONG, 4> Sides(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

constexpr DWORD kMm = PSD_INHUNDREDTHSOFMILLIMETERS;
constexpr DWORD kInch = PSD_INTHOUSANDTHSOFINCHES;
const RECT kDefaultMargins{6400, 3200, 6400, 10000};
const RECT kDefaultMarginsInInches{2520, 1260, 2520, 3937};

// What a user does or reads in a dialog, one step at a time; the
// expectations name the control so that a failure says where it was.
struct Step {
    enum Kind { Click,
                Type,
                Pick,
                Shows,
                Locked,
                Open };
    Kind kind;
    int id;
    const char16_t* text = nullptr;
};

using enum Step::Kind;

std::function<void(DialogUser&)> Play(std::vector<Step> script)
{
    return [script](DialogUser& user) {
        for (const Step& step : script) {
            switch (step.kind) {
            case Click: user.Click(step.id); break;
            case Type: user.Type(step.id, step.text); break;
            case Pick: user.SelectListEntry(step.id, step.text); break;
            case Shows: EXPECT_EQ(user.Text(step.id), step.text) << "control " << step.id; break;
            case Locked: EXPECT_TRUE(user.ReadOnly(step.id)) << "control " << step.id << " can be typed into"; break;
            case Open: EXPECT_FALSE(user.ReadOnly(step.id)) << "control " << step.id << " is read-only"; break;
            }
        }
    };
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
        Papers()[kCustomPaper].width = Papers()[kCustomPaper].height = 0;
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
            action ? action(user) : void(user.Click(IDOK));
        });
    }

    // Opens the options dialog from the print dialog, lets onOptions work
    // in it, then confirms the print dialog.
    void ThroughOptions(std::function<void(DialogUser&)> onOptions)
    {
        Respond(Play({{Click, kMoreButton}, {Click, IDOK}}), std::move(onOptions));
    }

    PrinterDevice device;
    PRINTDLGW print{};
    PAGESETUPDLGW pageSetup{};
    std::vector<int> seen;
};

TEST_F(SetupDialog, RequestsAreRefusedWithoutADialog)
{
    Respond({});
    const auto both = [this] { return std::vector<int>{PrintDialog(device, &print), PageSetupDialog(device, &pageSetup)}; };
    EXPECT_EQ((std::vector<int>{PrintDialog(device, nullptr), PageSetupDialog(device, nullptr)}), (std::vector<int>{0, 0}));
    print.lStructSize = sizeof print - 1;
    pageSetup.lStructSize = 20;
    EXPECT_EQ(both(), (std::vector<int>{0, 0}));
    print.lStructSize = sizeof print;
    pageSetup.lStructSize = sizeof pageSetup;
    print.Flags = PD_RETURNDEFAULT;
    pageSetup.Flags = PSD_RETURNDEFAULT;
    EXPECT_EQ(both(), (std::vector<int>{0, 0}));
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_RETURNDEFAULT)) << "a refused request is not written";
    // The print request's "return default" is a margin lock to a page-setup
    // request, and the other way round: refused only while a document runs.
    print.Flags = PD_LOCKMARGINS;
    pageSetup.Flags = 0x2000;
    device.docStarted = 1;
    EXPECT_EQ(both(), (std::vector<int>{0, 0}));
    EXPECT_TRUE(seen.empty()) << "no dialog was shown";
    EXPECT_EQ(tarvel::render::PrinterDc(device.recording), nullptr);
    device.docStarted = 0;
    EXPECT_EQ(both(), (std::vector<int>{1, 1}));
    EXPECT_EQ(seen, (std::vector<int>{kPrintDialogId, kPrintDialogId})) << "page setup shows the print dialog";
}

TEST_F(SetupDialog, ConfirmedPrintRequestReportsTheSettingsInItsFlags)
{
    print.Flags = PD_INHUNDREDTHSOFMILLIMETERS | PD_LOCKRANGE;
    print.rcMargin = RECT{1, 2, 3, 4};  // not read without PD_MARGINS
    EXPECT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_ALLPAGES_SELECTED | PD_PAPER_A4 | PD_PORT_INFRARED | PD_INHUNDREDTHSOFMILLIMETERS | PD_PORTRAIT | PD_MARGINS));
    EXPECT_EQ(Sides(print.rcMargin), Sides(kDefaultMargins));
    EXPECT_EQ(device.pageRangeFirst, -1);
    EXPECT_NE(tarvel::render::PrinterDc(device.recording), nullptr);

    // Letter, a serial port, landscape and draft, in inches.
    Respond(Play({{Pick, kPaperList, u"Letter"}, {Pick, kPortList, u"COM3"}, {Pick, kColorList, u"3 Color CMY"}, {Click, kLandscapeButton}, {Click, kMoreButton}, {Click, IDOK}}),
            Play({{Click, kDraftBox}, {Click, IDOK}}));
    print.Flags = PD_INTHOUSANDTHSOFINCHES;
    EXPECT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_ALLPAGES_SELECTED | PD_DRAFTMODE | PD_PAPER_LETTER | PD_INTHOUSANDTHSOFINCHES | PD_LANDSCAPE | PD_MARGINS));
    EXPECT_EQ(Sides(print.rcMargin), Sides(kDefaultMarginsInInches));
    EXPECT_EQ(std::vector<int>({device.settings.paperSize, device.settings.port, device.settings.colorMode, device.settings.portrait, device.settings.draftMode}),
              (std::vector<int>{3, 3, 2, 0, 1}))
        << "paper, port, colour (only the PocketJets are forced to monochrome), portrait, draft";
    EXPECT_EQ(std::make_pair(device.xResolution, device.yResolution), std::make_pair(150, 150)) << "HP PCL in draft";

    // Metric wins when both units are asked for; the request's orientation
    // and margins are taken.
    Respond({});
    print.Flags = PD_INTHOUSANDTHSOFINCHES | PD_INHUNDREDTHSOFMILLIMETERS | PD_PORTRAIT | PD_LANDSCAPE | PD_MARGINS;
    print.rcMargin = RECT{1000, 2000, 3000, 4000};
    EXPECT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(device.settings.portrait, 0) << "landscape wins over portrait";
    EXPECT_EQ(Sides(device.settings.margins), Sides(RECT{1000, 2000, 3000, 4000}));
    EXPECT_EQ(Sides(print.rcMargin), Sides(RECT{1000, 2000, 3000, 4000}));
    EXPECT_EQ(print.Flags & (PD_INTHOUSANDTHSOFINCHES | PD_INHUNDREDTHSOFMILLIMETERS), static_cast<DWORD>(PD_INHUNDREDTHSOFMILLIMETERS));

    // A PocketJet takes its model's resolution and is forced to monochrome.
    Respond(Play({{Pick, kPrinterList, u"PocketJet 200"}, {Pick, kColorList, u"4 Color CMYK"}, {Click, IDOK}}));
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ((std::vector<int>{device.settings.printer, device.settings.colorMode, device.xResolution, device.yResolution}), (std::vector<int>{4, 0, 200, 200}));
}

TEST_F(SetupDialog, MarginsShowInTheRequestsUnitOrTheUsersAndReturnInIt)
{
    std::vector<std::u16string> shown;
    ThroughOptions([&](DialogUser& user) {
        shown = {user.Text(kLeftMarginField), user.Text(kTopMarginField), user.Text(kRightMarginField), user.Text(kBottomMarginField)};
        user.Click(IDOK);
    });
    const std::vector<std::u16string> inCm{u"6.4cm", u"3.2cm", u"6.4cm", u"10cm"};
    const std::vector<std::u16string> inInches{u"2.52\"", u"1.26\"", u"2.52\"", u"3.937\""};
    const RECT readBackFromInches{6400, 3200, 6400, 9999};  // 3.937 inches truncate to 9999
    const struct {
        DWORD unit;
        const char* measurement;  // the user's locale decides without a unit flag
        const std::vector<std::u16string>& shown;
        DWORD flags;
        RECT returned, kept;
    } rows[] = {
        {kMm, "en_US.UTF-8", inCm, 0xA, kDefaultMargins, kDefaultMargins},
        {kInch, "de_DE.UTF-8", inInches, 0x6, kDefaultMarginsInInches, readBackFromInches},
        {0, "en_US.UTF-8", inInches, 0x6, kDefaultMarginsInInches, readBackFromInches},
        {0, "de_DE.UTF-8", inCm, 0xA, kDefaultMargins, kDefaultMargins},
    };
    const char* saved = std::getenv("LC_ALL");
    const std::string restore = saved ? saved : "";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.measurement);
        setenv("LC_ALL", row.measurement, 1);
        device.settings = PrinterSettings{};
        pageSetup.Flags = row.unit;
        ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(pageSetup.Flags, row.flags);
        EXPECT_EQ(Sides(pageSetup.rtMargin), Sides(row.returned));
        EXPECT_EQ(Sides(device.settings.margins), Sides(row.kept));
    }
    saved ? setenv("LC_ALL", restore.c_str(), 1) : unsetenv("LC_ALL");

    // Inch margins the print request brings show as given and go back
    // unchanged, not through a round trip in millimetres.
    print.Flags = PD_MARGINS | PD_INTHOUSANDTHSOFINCHES;
    print.rcMargin = RECT{1000, 1000, 1000, 1000};
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(shown, (std::vector<std::u16string>(4, u"1\"")));
    EXPECT_EQ(Sides(device.settings.margins), Sides(RECT{2540, 2540, 2540, 2540}));
    EXPECT_EQ(Sides(print.rcMargin), Sides(RECT{1000, 1000, 1000, 1000}));
    EXPECT_EQ(print.Flags & (PD_INTHOUSANDTHSOFINCHES | PD_MARGINS), static_cast<DWORD>(PD_INTHOUSANDTHSOFINCHES | PD_MARGINS));
}

TEST_F(SetupDialog, TypedMarginsAreNormalisedWhenTheFieldIsLeftAndHeldToWhatTheNextLoadKeeps)
{
    const struct {
        DWORD unit;
        int field;
        LONG RECT::*side;
        const char16_t *typed, *shown;  // shown once the field is left
        LONG kept, returned;            // hundredths of a millimetre; in the request's unit
    } rows[] = {
        {kMm, kLeftMarginField, &RECT::left, u"1.5cm", u"1.5cm", 1500, 1500},
        {kMm, kTopMarginField, &RECT::top, u" 2.50 mm", u"2.5cm", 2500, 2500},
        {kMm, kRightMarginField, &RECT::right, u"wide", u"0cm", 0, 0},
        {kMm, kLeftMarginField, &RECT::left, u"-1cm", u"0cm", 0, 0},
        // No paper is longer.
        {kMm, kRightMarginField, &RECT::right, u"600cm", u"500cm", kLongestMargin, kLongestMargin},
        {kMm, kBottomMarginField, &RECT::bottom, u"0.01", u"0.01cm", 10, 10},
        // The unit typed is ignored.
        {kInch, kLeftMarginField, &RECT::left, u"1.5cm", u"1.5\"", 3810, 1500},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.typed, row.typed + std::char_traits<char16_t>::length(row.typed)));
        device.settings = PrinterSettings{};
        ThroughOptions(Play({{Type, row.field, row.typed}, {Shows, row.field, row.shown}, {Click, IDOK}}));
        pageSetup.Flags = row.unit;
        ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
        EXPECT_EQ(device.settings.margins.*row.side, row.kept);
        EXPECT_EQ(pageSetup.rtMargin.*row.side, row.returned);
    }

    // Margins a locked request brings are held to the same bounds, and
    // every margin the dialog keeps comes back from the next load.
    Respond({});
    pageSetup.Flags = PSD_MARGINS | PSD_DISABLEMARGINS | kMm;
    pageSetup.rtMargin = RECT{-5, INT32_MAX, 7, INT32_MIN};
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    const RECT held{0, kLongestMargin, 7, 0};
    EXPECT_EQ(Sides(device.settings.margins), Sides(held));
    ASSERT_EQ(device.SaveSettings(), ERROR_SUCCESS);
    device.settings = PrinterSettings{};
    ASSERT_EQ(device.LoadSettings(), ERROR_SUCCESS);
    EXPECT_EQ(Sides(device.settings.margins), Sides(held));
}

TEST_F(SetupDialog, PageRangeChosenInTheOptionsReachesTheDeviceAndTheFlags)
{
    // With "All" the page fields are read-only; they take digits only.
    ThroughOptions(Play({{Locked, kFirstPageField}, {Locked, kLastPageField}, {Click, kPageRangeButton}, {Open, kFirstPageField}, {Type, kFirstPageField, u"2"}, {Type, kLastPageField, u"3x"}, {Shows, kLastPageField, u"3"}, {Click, IDOK}}));
    pageSetup.Flags = kMm;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(pageSetup.Flags & PSD_PAGERANGE, static_cast<DWORD>(PSD_PAGERANGE));
    EXPECT_EQ(std::make_pair(device.pageRangeFirst, device.pageRangeLast), std::make_pair(2, 3));

    // A request that starts with a range shows it; "All" locks the fields
    // again and clears the range.
    ThroughOptions([](DialogUser& user) {
        EXPECT_TRUE(user.Checked(kPageRangeButton));
        Play({{Open, kLastPageField}, {Shows, kFirstPageField, u"1"}, {Click, kAllPagesButton}, {Locked, kFirstPageField}, {Click, IDOK}})(user);
    });
    pageSetup.Flags = PSD_PAGERANGE;
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(pageSetup.Flags & PSD_PAGERANGE, 0u);
    EXPECT_EQ(device.pageRangeFirst, -1);
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
            const bool marginsOpen = !user.ReadOnly(kLeftMarginField) || !user.ReadOnly(kRightMarginField) || !user.ReadOnly(kTopMarginField) || !user.ReadOnly(kBottomMarginField);
            open.insert(open.end(), {marginsOpen, user.Enabled(kAllPagesButton), user.Enabled(kPageRangeButton), !user.ReadOnly(kFirstPageField) || !user.ReadOnly(kLastPageField)});
            user.Click(IDOK);
        });
    // 3.937 inches would read back as 9999: locked margins must not be
    // read back from their fields at all.
    device.settings.paperSize = kCustomPaper;
    pageSetup.Flags = PSD_DISABLEPRINTER | PSD_DISABLEPAPER | PSD_DISABLEORIENTATION | PSD_DISABLEMARGINS
        | PSD_DISABLEPAGERANGE | PSD_PAGERANGE | PSD_MARGINS | kInch;
    pageSetup.rtMargin = RECT{3937, 3937, 3937, 3937};
    ASSERT_EQ(PageSetupDialog(device, &pageSetup), 1);
    EXPECT_EQ(open, std::vector<bool>(9, false)) << "a locked range cannot be typed even when one is chosen";
    EXPECT_EQ(Sides(device.settings.margins), Sides(RECT{10000, 10000, 10000, 10000}));
    EXPECT_EQ(std::make_pair(device.pageRangeFirst, device.pageRangeLast), std::make_pair(1, 1))
        << "the locked range keeps its starting pages";
}

TEST_F(SetupDialog, CustomPaperSizeIsWrittenWhenItsFieldIsLeftEvenIfCancelled)
{
    // A4 portrait, locked; landscape trades the two fields; "Custom" opens
    // them; sizes typed are normalised when the field is left.
    Respond(Play({{Shows, kWidthField, u"21cm"}, {Shows, kHeightField, u"29.7cm"}, {Locked, kWidthField}, {Click, kLandscapeButton}, {Shows, kWidthField, u"29.7cm"}, {Shows, kHeightField, u"21cm"}, {Pick, kPaperList, u"Custom"}, {Open, kWidthField}, {Shows, kWidthField, u"0cm"}, {Type, kWidthField, u"10"}, {Type, kHeightField, u"15.25 cm"}, {Shows, kWidthField, u"10cm"}, {Shows, kHeightField, u"15.25cm"}, {Click, kPortraitButton}, {Shows, kWidthField, u"15.25cm"}, {Shows, kHeightField, u"10cm"}, {Click, IDCANCEL}}));
    print.Flags = PD_INHUNDREDTHSOFMILLIMETERS;
    EXPECT_EQ(PrintDialog(device, &print), 0);
    EXPECT_EQ(std::make_pair(Papers()[kCustomPaper].width, Papers()[kCustomPaper].height), std::make_pair(15250, 10000))
        << "the width field of a landscape page is the paper's height";
    EXPECT_EQ(std::make_pair(device.settings.paperSize, device.settings.portrait), std::make_pair(0, 1))
        << "cancelled: only the typed size stays";
    EXPECT_EQ(print.Flags, static_cast<DWORD>(PD_INHUNDREDTHSOFMILLIMETERS));
    EXPECT_EQ(tarvel::render::PrinterDc(device.recording), nullptr);

    // In inches; negative sizes stay within what the settings store accepts.
    Respond(Play({{Shows, kWidthField, u"6.004\""}, {Type, kWidthField, u"8.5"}, {Type, kHeightField, u"-3"}, {Shows, kWidthField, u"8.5\""}, {Shows, kHeightField, u"0\""}, {Click, IDOK}}));
    device.settings.paperSize = kCustomPaper;
    print.Flags = PD_INTHOUSANDTHSOFINCHES;
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(std::make_pair(Papers()[kCustomPaper].width, Papers()[kCustomPaper].height), std::make_pair(21590, 0));
    EXPECT_EQ(print.Flags & (PD_PAPER_A4 | PD_PAPER_LETTER), 0u);
}

TEST_F(SetupDialog, EachExportedConfirmationMakesANewPrinterDcAndDropsTheOld)
{
    EXPECT_EQ(PDC_PrintDlg(nullptr), 0);
    EXPECT_EQ(PDC_PageSetupDlg(nullptr), 0);
    ASSERT_EQ(PDC_PrintDlg(&print), 1);
    HDC first = PDC_GetPrinterDC();
    EXPECT_EQ(first, tarvel::render::PrinterDc(device.recording));
    EXPECT_EQ(tarvel::render::LookupDc(device.recording.dcs, first), 0);

    ASSERT_EQ(PDC_PageSetupDlg(&pageSetup), 1);
    HDC second = PDC_GetPrinterDC();
    EXPECT_NE(second, first);
    EXPECT_EQ(second, tarvel::render::PrinterDc(device.recording));
    EXPECT_LT(tarvel::render::LookupDc(device.recording.dcs, first), 0) << "the old DC is gone";

    Respond(Play({{Click, IDCANCEL}}));
    EXPECT_EQ(PDC_PrintDlg(&print), 0);
    EXPECT_EQ(PDC_GetPrinterDC(), second) << "a cancelled dialog keeps the DC";
}

TEST_F(SetupDialog, CancellingEitherDialogDiscardsItsChanges)
{
    // The options are cancelled: the dialog state keeps what it had, so the
    // confirmed print dialog writes the old margins and draft setting.
    Respond(Play({{Click, kMoreButton}, {Click, IDOK}}),
            Play({{Type, kLeftMarginField, u"1"}, {Click, kDraftBox}, {Click, kCompressionBox}, {Click, IDCANCEL}}));
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(std::vector<int>({device.settings.margins.left, device.settings.draftMode, device.settings.compression}), (std::vector<int>{6400, 0, 1}));

    // The options are confirmed but the print dialog is cancelled.
    Respond(Play({{Pick, kPrinterList, u"Canon BJ (360 dpi)"}, {Click, kMoreButton}, {Click, IDCANCEL}}),
            Play({{Click, kCompressionBox}, {Click, kPageRangeButton}, {Click, IDOK}}));
    device.pageRangeFirst = 7;
    EXPECT_EQ(PrintDialog(device, &print), 0);
    EXPECT_EQ(std::vector<int>({device.settings.printer, device.settings.compression, device.pageRangeFirst, device.xResolution}), (std::vector<int>{0, 1, 7, 300}))
        << "printer, compression, page range, resolution";
}

TEST_F(SetupDialog, DialogsCarryTheOwnersTitleAndHoldTheOwnerDisabled)
{
    HWND owner = CreateWindowExW(0, u"NotesWindow", u"Field notes", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    Respond(
        [owner](DialogUser& user) {
            EXPECT_EQ(user.Caption(), u"Field notes");
            EXPECT_FALSE(IsWindowEnabled(owner)) << "the owner is disabled under its modal dialog";
            user.Click(kMoreButton);
            user.Click(IDOK);
        },
        [](DialogUser& user) {
            EXPECT_EQ(user.Caption(), u"Field notes");
            user.Click(IDOK);
        });
    print.hwndOwner = owner;
    ASSERT_EQ(PrintDialog(device, &print), 1);
    EXPECT_EQ(seen, (std::vector<int>{kPrintDialogId, kOptionsDialogId}));
    EXPECT_EQ(device.setup.caption, std::u16string(u"Field notes"));
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";

    // A window closed under the request: no dialog can be owned by it.
    DestroyWindow(owner);
    EXPECT_EQ(PrintDialog(device, &print), 0);
}

}  // namespace
