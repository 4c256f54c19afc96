// tarvel-demo: prints a two-page document and a landscape page on each of
// the seven printer models into files through the PDC_ interface, and one
// more page through the prn interface alone, using the public interface only.
//
// Without a display the print dialog is answered by a responder that picks
// the model, the port "File", the colour mode, the paper and the
// orientation, as a user would. With a display the demo afterwards shows
// the real print dialog once and prints the document with what the user
// chose, with the progress window up.
#include "DemoDocument.h"
#include "PrnPage.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>
#include <tarvel/prn.h>
#include <tarvel/ui.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kPrintDialog = 102;
constexpr int kPrinterList = 1000, kPortList = 1001, kPaperList = 1003, kColorList = 1009;
constexpr int kPortrait = 1004, kLandscape = 1005;

struct Model {
    const char16_t* name;
    const char* slug;
    const char* language;
    bool colour;
};

const Model kModels[] = {
    {u"HP PCL", "hp-pcl", "pcl", true},
    {u"Epson ESC/P 2", "epson-escp2", "escp2", true},
    {u"Epson Stylus COLOR", "epson-stylus-color", "stylus", true},
    {u"PocketJet II", "pocketjet-2", "pocketjet", false},
    {u"PocketJet 200", "pocketjet-200", "pocketjet", false},
    {u"Canon BJ (300 dpi)", "canon-bj-300", "canon", true},
    {u"Canon BJ (360 dpi)", "canon-bj-360", "canon", true},
};

std::u16string Wide(const std::string& text)
{
    return std::u16string(text.begin(), text.end());  // the paths here are ASCII
}

// Answers the next print dialogs with the given choices, as a user would.
void AnswerDialogWith(const Model& model, bool portrait)
{
    tarvel::ui::SetResponder([&model, portrait](tarvel::ui::DialogUser& user) {
        if (user.TemplateId() == kPrintDialog) {
            user.SelectListEntry(kPrinterList, model.name);
            user.SelectListEntry(kPortList, u"File");
            user.SelectListEntry(kColorList, model.colour ? u"4 Color CMYK" : u"Monochrome (B&W)");
            user.SelectListEntry(kPaperList, u"A4");
            user.Click(portrait ? kPortrait : kLandscape);
        }
        user.Click(IDOK);
    });
}

bool ChooseInDialog(const Model& model, bool portrait)
{
    AnswerDialogWith(model, portrait);
    PRINTDLGW request{};
    request.lStructSize = sizeof request;
    const bool confirmed = PDC_PrintDlg(&request) == 1;
    tarvel::ui::SetResponder({});
    return confirmed;
}

// Prints the pages into the file; false when the library refused or failed.
template <typename... Draw>
bool PrintDocument(const std::string& path, const char16_t* name, Draw... pages)
{
    HDC printer = PDC_GetPrinterDC();
    const std::u16string output = Wide(path);
    DOCINFOW info{};
    info.cbSize = sizeof info;
    info.lpszDocName = name;
    info.lpszOutput = output.c_str();
    if (PDC_StartDoc(printer, &info) != 1)
        return false;
    bool ok = true;
    for (auto draw : {pages...}) {
        if (PDC_StartPage(printer) != 1) {
            ok = false;
            break;
        }
        draw(printer);
        ok = PDC_EndPage(printer) == 1 && ok;
    }
    PDC_EndDoc(printer);
    return ok;
}

// The picture of the prn page, written beside the streams; a device path
// without a folder is in the device's root folder, the current one.
constexpr const char16_t* kPicture = u"\\demo-picture.png";

// Prints the prn page on the model into the file. The prn document goes to
// the job's default output, "\out.prn" in the current folder, which is then
// renamed.
bool PrintPrnPage(const Model& model, const std::filesystem::path& file)
{
    AnswerDialogWith(model, true);
    const bool confirmed = prnSetupDlg(nullptr) == 1;
    tarvel::ui::SetResponder({});
    if (!confirmed)
        return false;
    std::error_code error;
    std::filesystem::remove("out.prn", error);
    const bool started = prnStartDoc() != 0 && prnStartPage() == 1;
    if (started)
        demo::DrawPrnPage(kPicture);
    prnEndDoc();
    if (!started || !std::filesystem::exists("out.prn", error) || std::filesystem::file_size("out.prn", error) == 0)
        return false;
    std::filesystem::rename("out.prn", file, error);
    return !error;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path out = argc > 1 ? argv[1] : "demo-out";
    std::error_code error;
    std::filesystem::create_directories(out, error);
    const std::filesystem::path folder = std::filesystem::absolute(out, error);
    std::ofstream manifest(folder / "manifest.txt");
    if (!manifest) {
        std::fprintf(stderr, "tarvel-demo: cannot write into %s\n", folder.c_str());
        return 1;
    }

    std::error_code moved;
    std::filesystem::current_path(folder, moved);
    const bool havePicture = !moved && demo::WriteDemoPicture(folder / "demo-picture.png");

    const bool interactive = tarvel::ui::FltkAvailable() && std::getenv("DISPLAY") && std::getenv("DISPLAY")[0];
    tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless);
    int failures = 0;
    for (const Model& model : kModels) {
        for (bool portrait : {true, false}) {
            const std::string file = (folder / (std::string(model.slug) + (portrait ? ".prn" : "-landscape.prn")));
            const bool printed = ChooseInDialog(model, portrait)
                && (portrait ? PrintDocument(file, u"Tarvel demo", demo::DrawTextAndShapesPage, demo::DrawGradientPage)
                             : PrintDocument(file, u"Tarvel demo, landscape", demo::DrawLandscapePage));
            std::printf("%-24s %-9s %s %s\n", model.slug, portrait ? "portrait" : "landscape",
                        printed ? "->" : "FAILED", file.c_str());
            if (printed)
                manifest << file << ' ' << model.language << '\n';
            else
                ++failures;
        }
        const std::string file = folder / (std::string(model.slug) + "-prn.prn");
        const bool printed = havePicture && PrintPrnPage(model, file);
        std::printf("%-24s %-9s %s %s\n", model.slug, "prn page", printed ? "->" : "FAILED", file.c_str());
        if (printed)
            manifest << file << ' ' << model.language << '\n';
        else
            ++failures;
    }

    if (interactive && tarvel::ui::SelectBackend(tarvel::ui::Backend::Fltk)) {
        std::printf("A display is present: choose a printer in the print dialog (the port \"File\" writes "
                    "into the current folder).\n");
        PRINTDLGW request{};
        request.lStructSize = sizeof request;
        if (PDC_PrintDlg(&request) == 1) {
            const std::string file = (folder / "interactive.prn");
            if (PrintDocument(file, u"Tarvel demo", demo::DrawTextAndShapesPage, demo::DrawGradientPage))
                std::printf("interactive document -> %s (or the port you chose)\n", file.c_str());
        }
    }
    return failures == 0 ? 0 : 1;
}
