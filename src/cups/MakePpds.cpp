// Build step: writes the PPD of every printer model into the folder named
// on the command line.
#include "cups/PpdWriter.h"
#include "drivers/PrinterDriver.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s output-folder\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (int printer = 0; printer < tarvel::drivers::kPrinterModelCount; ++printer) {
        const std::filesystem::path file = folder / tarvel::cups::PpdFileName(printer);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << tarvel::cups::MakePpd(printer);
        if (!out.flush()) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], file.c_str());
            return 1;
        }
    }
    return 0;
}
