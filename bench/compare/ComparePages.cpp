// One whole process printing the job benchmark pages, for the side-by-side
// comparison in compare.sh: the settings are those confirming the print
// dialog would leave (PCL, A4, file port), then PDC_StartDoc, the pages
// through the PDC_ interface, PDC_EndDoc.
//
//   compare_pages text|mixed <pages> <output file> [printer model 0-6, PCL by default]
//
// The script times the process from outside, so loading, font set-up and
// the first page are in every figure; it takes the difference between a
// long and a short run to get the cost of one more page.
#include "../device/JobDrawing.h"
#include "device/PrintJob.h"
#include "device/PrinterTables.h"
#include "ports/FilePort.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

using namespace tarvel::device;

int main(int argc, char** argv)
{
    if ((argc != 4 && argc != 5) || (std::strcmp(argv[1], "text") != 0 && std::strcmp(argv[1], "mixed") != 0)) {
        std::fprintf(stderr, "usage: compare_pages text|mixed <pages> <output file> [model]\n");
        return 2;
    }
    const bool mixed = std::strcmp(argv[1], "mixed") == 0;
    const int pages = std::atoi(argv[2]);
    const std::filesystem::path output = std::filesystem::absolute(argv[3]);
    const int model = argc == 5 ? std::atoi(argv[4]) : 0;
    if (pages < 1 || model < 0 || model > 6) {
        std::fprintf(stderr, "compare_pages: the page count must be 1 or more and the model 0 to 6\n");
        return 2;
    }
    tarvel::ports::SetDeviceRootFolder(output.parent_path());
    PrinterDevice device;
    device.settings.printer = model;
    device.xResolution = device.yResolution = ModelResolution(model, 0);
    device.settings.port = kFilePort;
    device.settings.paperSize = 0;
    device.settings.colorMode = mixed ? 1 : 0;
    tarvel::render::ReplacePrinterDc(device.recording);  // what confirming the print dialog does
    HDC dc = PDC_GetPrinterDC();
    HBITMAP picture = mixed ? jobpages::Picture() : nullptr;
    const std::u16string name(output.filename().u16string());
    DOCINFOW info{};
    info.cbSize = sizeof info;
    info.lpszOutput = name.c_str();
    int status = 0;
    if (PDC_StartDoc(dc, &info) != 1)
        status = 1;
    for (int page = 0; page < pages && status == 0; ++page) {
        PDC_StartPage(dc);
        if (mixed)
            jobpages::MixedPage(dc, picture);
        else
            jobpages::TextPage(dc);
        if (PDC_EndPage(dc) != 1)
            status = 1;
    }
    PDC_EndDoc(dc);
    if (picture)
        DeleteObject(picture);
    if (status != 0)
        std::fprintf(stderr, "compare_pages: the job failed\n");
    return status;
}
