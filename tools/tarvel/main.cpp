// tarvel: the command-line face of the library.
#include "Commands.h"

#include <cstdio>
#include <cstring>

namespace {

void Usage()
{
    std::fprintf(stderr,
        "usage: tarvel <command>\n"
        "  settings   show the stored printer settings and the page size of every paper\n"
        "  preview    turn a printer stream into PNG pictures of its pages\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        Usage();
        return 2;
    }
    if (std::strcmp(argv[1], "settings") == 0)
        return tarvel::tool::SettingsCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "preview") == 0)
        return tarvel::tool::PreviewCommand(argc - 1, argv + 1);
    Usage();
    return 2;
}
