// tarvel: the command-line face of the library. It prints PDF files,
// pictures and text, lists the printer models and their pages, shows and
// changes the stored settings, and turns printer streams back into pictures.
#include "Commands.h"

#include "device/PrinterDevice.h"

#include <tarvel/settings.h>
#include <tarvel/ui.h>

#include <CLI/CLI.hpp>

#include <cstdio>

namespace tarvel::tool {

void Complain(const std::string& message)
{
    std::fprintf(stderr, "tarvel: %s\n", message.c_str());
}

std::string LibraryMessage(const char* fallback)
{
    char text[1024] = {};
    if (TarvelLastMessage(text, sizeof text, nullptr, 0) == TARVEL_MESSAGE_NONE || !text[0])
        return fallback;
    return text;
}

namespace {

void AddPageOptions(CLI::App& command, PageOptions& page)
{
    command.add_option("--model", page.model,
                       "printer model: a name from 'tarvel models' (any case) or pcl, escp2, stylus, pocketjet2, "
                       "pocketjet200, bj300, bj360");
    command.add_option("--paper", page.paper, "A4, A5, B5, Letter, Legal, Executive or Custom");
    command.add_option("--color", page.color, "mono, cmyk or cmy");
    command.add_flag("--landscape", page.landscape, "print across the long side of the paper");
    command.add_flag("--draft", page.draft, "the model's draft resolution");
}

}  // namespace
}  // namespace tarvel::tool

int main(int argc, char** argv)
{
    using namespace tarvel::tool;
    CLI::App app("Prints PDF files, pictures and text on the printers of the Tarvel library, without a driver.",
                 "tarvel");
    app.set_version_flag("--version", "tarvel 1.0.0");
    app.require_subcommand(1);
    app.footer("Run 'tarvel COMMAND --help' for the options of a command.");

    PrintOptions print;
    CLI::App* printCommand = app.add_subcommand("print", "print PDF files, pictures and text files");
    printCommand->add_option("files", print.files, "the files to print; - reads standard input")->required();
    AddPageOptions(*printCommand, print.page);
    auto* output = printCommand->add_option("--output,-o", print.output, "write the printer's bytes into a file (- for standard output)");
    auto* host = printCommand->add_option("--host", print.host, "a printer on the network, HOST[:PORT] (port 9100 when not given)");
    auto* device = printCommand->add_option("--device", print.device, "a printer device node such as /dev/usb/lp0");
    auto* port = printCommand->add_option("--port", print.port, "a stored port: Infrared, COM1 to COM8, File, Network or Device");
    output->excludes(host, device, port);
    host->excludes(device, port);
    device->excludes(port);
    printCommand->add_option("--pages", print.pages, "the pages of each document to print: FIRST-LAST, N, N- or -N");
    printCommand->add_option("--copies", print.copies, "how many times to print the documents (collated)")
        ->check(CLI::Range(1, 999));

    PageOptions caps;
    CLI::App* capsCommand = app.add_subcommand("caps", "the page of every paper as the printer model prints it");
    AddPageOptions(*capsCommand, caps);

    CLI::App* modelsCommand = app.add_subcommand("models", "list the printer models");

    std::vector<std::string> assignments;
    CLI::App* settingsCommand = app.add_subcommand("settings", "show the stored settings (never changes them)");
    CLI::App* setCommand = settingsCommand->add_subcommand("set", "change stored settings: KEY=VALUE...");
    setCommand->add_option("assignments", assignments,
                           "Printer, Port, PaperSize, ColorMode, Portrait, MarginLeft, MarginTop, MarginRight, MarginBottom "
                           "(1/100 mm), DraftMode, Compression, CustomSizeX, CustomSizeY (1/100 mm), NetworkHost, NetworkPort, "
                           "DevicePath")
        ->required();

    PreviewOptions preview;
    CLI::App* previewCommand = app.add_subcommand("preview",
                                                  "turn a printer stream into PNG pictures of its pages: STREAM [LANGUAGE] [PREFIX]");
    previewCommand->add_option("arguments", preview.arguments,
                               "the stream (- for standard input), optionally its language, and the prefix of the pictures "
                               "(PREFIX-1.png, PREFIX-2.png, ...; the stream's name without its extension when not given)")
        ->required()
        ->expected(1, 3);
    previewCommand->add_option("--language", preview.language,
                               "pcl, escp2, stylus, pocketjet, canon or a model; detected from the stream when not given");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }

    // A command-line tool never opens windows: without a display the print
    // dialog confirms the stored settings, with one it would wait for a user.
    tarvel::ui::SelectBackend(tarvel::ui::Backend::Headless);
    // The tool's own device: nothing it shows is ever written back; the
    // store changes only through the settings calls of print and settings set.
    tarvel::device::PrinterDevice printerDevice;
    printerDevice.saveOnUnload = false;

    if (*printCommand)
        return PrintCommand(print);
    if (*capsCommand)
        return CapsCommand(caps);
    if (*modelsCommand)
        return ModelsCommand();
    if (*setCommand)
        return SettingsSetCommand(assignments);
    if (*settingsCommand)
        return SettingsCommand();
    if (*previewCommand)
        return PreviewCommand(preview);
    return kExitUsage;
}
