// tarvel print: PDF files, pictures and text through the PDC_ interface.
//
// The job's choices go in through the settings, as a program without a
// dialog makes them: the stored settings with the command line's options
// laid over them, stored for the job and put back as they were afterwards,
// so that the options of one job never become the next job's defaults. The
// print dialog is then confirmed headless, as the library does without a
// display, and every page is drawn on the printer DC.
#include "Commands.h"
#include "Document.h"
#include "Names.h"

#include "device/PrinterDevice.h"
#include "platform/system/Utf16.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>
#include <tarvel/settings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <netdb.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::tool {
namespace {

// The longest output path a job takes, terminator excluded.
constexpr std::size_t kLongestOutputPath = 255;

struct Destination {
    std::string description;  // for messages: the file, host or device
    std::u16string outputFile;
};

// Puts the stored settings back when the job is over, whatever happened.
class RestoreSettings {
public:
    explicit RestoreSettings(const TarvelSettings& stored)
        : stored_(stored)
    {
    }
    ~RestoreSettings()
    {
        if (!TarvelSetSettings(&stored_))
            Complain("cannot put the stored settings back: " + LibraryMessage("refused"));
    }

private:
    TarvelSettings stored_;
};

template <std::size_t N>
void CopyText(char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// Lays the command line over the stored settings. Returns kExitOk, or the
// exit status after saying what is wrong.
int ApplyOptions(const PrintOptions& options, TarvelSettings& s, Destination& destination)
{
    const PageOptions& page = options.page;
    if (!page.model.empty()) {
        s.printer = ParseModel(page.model);
        if (s.printer < 0) {
            Complain("unknown printer model '" + page.model + "' (see tarvel models)");
            return kExitUsage;
        }
    }
    if (!page.paper.empty()) {
        s.paperSize = ParsePaper(page.paper);
        if (s.paperSize < 0) {
            Complain("unknown paper '" + page.paper + "' (A4, A5, B5, Letter, Legal, Executive, Custom)");
            return kExitUsage;
        }
    }
    if (!page.color.empty()) {
        s.colorMode = ParseColorMode(page.color);
        if (s.colorMode < 0) {
            Complain("unknown colour mode '" + page.color + "' (mono, cmyk, cmy)");
            return kExitUsage;
        }
    }
    if (page.landscape)
        s.portrait = 0;
    if (page.draft)
        s.draftMode = 1;

    if (!options.output.empty()) {
        s.port = 9;
        std::error_code ignored;
        const std::string path = options.output == "-" ? std::string("/dev/stdout")
                                                       : std::filesystem::absolute(options.output, ignored).string();
        if (path.empty() || path.size() > kLongestOutputPath) {
            Complain(options.output + ": the output path is longer than " + std::to_string(kLongestOutputPath)
                     + " characters");
            return kExitUsage;
        }
        destination.description = options.output == "-" ? "standard output" : options.output;
        // A folder that is not there is told now, not as a lost connection
        // after every document has been read.
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (options.output != "-" && (!std::filesystem::is_directory(folder, ignored) || access(folder.c_str(), W_OK) != 0)) {
            Complain(options.output + ": cannot write into " + folder.string() + ": "
                     + std::strerror(std::filesystem::is_directory(folder, ignored) ? EACCES : ENOENT));
            return kExitFailure;
        }
        // The job names its file in UTF-16; bytes that are not UTF-8 have no
        // such name, and a changed name would write another file.
        const auto wide = tarvel::platform::Utf8ToUtf16(path);
        if (!wide) {
            Complain(options.output + ": the output path is not UTF-8");
            return kExitUsage;
        }
        destination.outputFile = *wide;
        return kExitOk;
    }
    if (!options.host.empty()) {
        std::string host;
        int port = 0;
        if (!ParseHostPort(options.host, host, port) || host.size() >= TARVEL_HOST_CHARS) {
            Complain("'" + options.host + "' is not HOST or HOST:PORT with a port from 1 to 65535");
            return kExitUsage;
        }
        s.port = TARVEL_PORT_NETWORK;
        CopyText(s.networkHost, host);
        s.networkPort = port;
    } else if (!options.device.empty()) {
        if (options.device.size() >= TARVEL_PATH_CHARS) {
            Complain(options.device + ": the device path is too long");
            return kExitUsage;
        }
        s.port = TARVEL_PORT_DEVICE;
        CopyText(s.devicePath, options.device);
    } else if (!options.port.empty()) {
        s.port = ParsePort(options.port);
        if (s.port < 0) {
            Complain("unknown port '" + options.port + "' (Infrared, COM1 to COM8, File, Network, Device)");
            return kExitUsage;
        }
    }
    if (s.port == TARVEL_PORT_NETWORK)
        destination.description = std::string(s.networkHost) + ":" + std::to_string(s.networkPort);
    else if (s.port == TARVEL_PORT_DEVICE)
        destination.description = s.devicePath;
    else if (s.port == 9)
        destination.description = "out.prn";
    else
        destination.description = PortName(s.port);
    return kExitOk;
}

// What can be told before the job starts is told before it starts: a host
// that does not resolve, a device node that is missing or no device.
bool CheckDestination(const TarvelSettings& s)
{
    if (s.port == TARVEL_PORT_NETWORK) {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int failure = getaddrinfo(s.networkHost, std::to_string(s.networkPort).c_str(), &hints, &found);
        if (failure != 0) {
            Complain(std::string(s.networkHost) + ": " + gai_strerror(failure));
            return false;
        }
        freeaddrinfo(found);
    } else if (s.port == TARVEL_PORT_DEVICE) {
        struct stat node { };
        if (stat(s.devicePath, &node) != 0) {
            Complain(std::string(s.devicePath) + ": " + std::strerror(errno));
            return false;
        }
        if (!S_ISCHR(node.st_mode) && !S_ISFIFO(node.st_mode)) {
            Complain(std::string(s.devicePath) + ": not a printer device (use --output for a file)");
            return false;
        }
    }
    return true;
}

struct Selection {
    std::unique_ptr<Document> document;
    std::string name;
    int first = 0;  // from 0
    int last = 0;   // inclusive
};

PageGeometry Measure(HDC printer, const RECT& margins)
{
    PageGeometry page;
    page.width = PDC_GetDeviceCaps(printer, PHYSICALWIDTH);
    page.height = PDC_GetDeviceCaps(printer, PHYSICALHEIGHT);
    page.dpi = PDC_GetDeviceCaps(printer, LOGPIXELSX);
    const int left = PDC_GetDeviceCaps(printer, PHYSICALOFFSETX);
    const int top = PDC_GetDeviceCaps(printer, PHYSICALOFFSETY);
    page.printable = {left, top, left + PDC_GetDeviceCaps(printer, HORZRES), top + PDC_GetDeviceCaps(printer, VERTRES)};
    // Margins come in hundredths of a millimetre; text keeps to them, and
    // never leaves the area the printer reaches.
    auto dots = [&](LONG length) { return static_cast<int>(static_cast<long long>(length) * page.dpi / 2540); };
    page.text = {std::max<int>(page.printable.left, dots(margins.left)),
                 std::max<int>(page.printable.top, dots(margins.top)),
                 std::min<int>(page.printable.right, page.width - dots(margins.right)),
                 std::min<int>(page.printable.bottom, page.height - dots(margins.bottom))};
    return page;
}

class Progress {
public:
    explicit Progress(int total)
        : total_(total)
        , shown_(isatty(STDERR_FILENO) != 0)
    {
    }
    ~Progress()
    {
        if (shown_ && drawn_)
            std::fputc('\n', stderr);
    }
    void Page(int done)
    {
        if (!shown_)
            return;
        auto* device = tarvel::device::Device();
        const unsigned long long sent = device && device->port ? device->port->GetBytesSent() : 0;
        std::fprintf(stderr, "\rtarvel: page %d of %d, %llu bytes sent ", done, total_, sent);
        std::fflush(stderr);
        drawn_ = true;
    }

private:
    int total_;
    bool shown_;
    bool drawn_ = false;
};

// Every document is read and every range checked before the first byte
// goes out. False after saying which file failed and why.
bool OpenSelections(const PrintOptions& options, const PageGeometry& page, int first, int last,
                    std::vector<Selection>& selections, int& total)
{
    total = 0;
    for (const std::string& file : options.files) {
        std::string error;
        Selection selection;
        selection.name = DisplayName(file);
        selection.document = OpenDocument(file, page, error);
        if (!selection.document) {
            Complain(error);
            return false;
        }
        const int count = selection.document->PageCount();
        selection.first = first - 1;
        selection.last = last == 0 ? count - 1 : last - 1;
        if (selection.first >= count || selection.last >= count) {
            Complain(selection.name + ": pages " + options.pages + " are outside the document, which has "
                     + std::to_string(count) + (count == 1 ? " page" : " pages"));
            return false;
        }
        total += selection.last - selection.first + 1;
        selections.push_back(std::move(selection));
    }
    total *= options.copies;
    return true;
}

// Sends every page of the open document, copies collated; stops at the
// first page that fails. Returns the pages sent.
int SendPages(HDC printer, const PageGeometry& page, std::vector<Selection>& selections, int copies, int total,
              const Destination& destination)
{
    Progress progress(total);
    int sent = 0;
    for (int copy = 0; copy < copies; ++copy) {
        for (Selection& selection : selections) {
            for (int index = selection.first; index <= selection.last; ++index) {
                const std::string where = selection.name + " page " + std::to_string(index + 1);
                if (PDC_StartPage(printer) != 1) {
                    Complain(destination.description + ": " + LibraryMessage("the page could not be started"));
                    return sent;
                }
                std::string error;
                const bool drawn = selection.document->DrawPage(printer, page, index, error);
                if (!drawn)
                    Complain(where + ": " + error);
                // The page is ended even when it could not be drawn whole: the
                // printer must not be left inside a page.
                const int result = PDC_EndPage(printer);
                if (result != 1) {
                    Complain(destination.description + ": " + where + ": "
                             + LibraryMessage(result == -2 ? "not enough memory" : "the page was not sent"));
                    return sent;
                }
                if (!drawn)
                    return sent;
                progress.Page(++sent);
            }
        }
    }
    return sent;
}

}  // namespace

int PrintCommand(const PrintOptions& options)
{
    int first = 1, last = 0;
    if (!options.pages.empty() && !ParsePageRange(options.pages, first, last)) {
        Complain("'" + options.pages + "' is not a page range such as 2-5, 3, 4- or -6");
        return kExitUsage;
    }
    if (std::count(options.files.begin(), options.files.end(), std::string("-")) > 1) {
        Complain("standard input can be printed only once");
        return kExitUsage;
    }

    TarvelSettings stored{};
    TarvelGetSettings(&stored);
    TarvelSettings job = stored;
    Destination destination;
    if (const int status = ApplyOptions(options, job, destination); status != kExitOk)
        return status;
    if (!CheckDestination(job))
        return kExitFailure;

    RestoreSettings restore(stored);
    TarvelClearLastMessage();
    if (!TarvelSetSettings(&job)) {
        Complain(LibraryMessage("the settings were refused"));
        return kExitFailure;
    }
    PRINTDLGW request{};
    request.lStructSize = sizeof request;
    // The dialog hands back the stored margins; asking for them in
    // hundredths of a millimetre keeps the units of the settings.
    request.Flags = PD_INHUNDREDTHSOFMILLIMETERS;
    if (PDC_PrintDlg(&request) != 1 || !PDC_GetPrinterDC()) {
        Complain(LibraryMessage("the print dialog was not confirmed"));
        return kExitFailure;
    }
    HDC printer = PDC_GetPrinterDC();
    const PageGeometry page = Measure(printer, request.rcMargin);
    std::vector<Selection> selections;
    int total = 0;
    if (!OpenSelections(options, page, first, last, selections, total))
        return kExitFailure;

    const std::u16string jobName = tarvel::platform::Utf8ToUtf16Replacing(selections.front().name);
    DOCINFOW info{};
    info.cbSize = sizeof info;
    info.lpszDocName = jobName.c_str();
    info.lpszOutput = destination.outputFile.empty() ? nullptr : destination.outputFile.c_str();
    if (PDC_StartDoc(printer, &info) != 1) {
        Complain(destination.description + ": " + LibraryMessage("the job could not be started"));
        return kExitFailure;
    }
    const int sent = SendPages(printer, page, selections, options.copies, total, destination);
    PDC_EndDoc(printer);
    if (sent == total && TarvelFailedPages() > 0) {
        Complain(destination.description + ": " + LibraryMessage("a page was not sent"));
        return kExitFailure;
    }
    return sent == total ? kExitOk : kExitFailure;
}

}  // namespace tarvel::tool
