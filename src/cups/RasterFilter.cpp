#include "cups/RasterFilter.h"

#include "cups/RasterPage.h"
#include "device/RowOutput.h"
#include "drivers/PrinterDriver.h"
#include "render/Ditherer.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <unistd.h>

namespace tarvel::cups {
namespace {

// libcups allocates a page's line buffer from the page header as soon as
// it has read it, before the filter sees the header, and a damaged header
// may ask for gigabytes. So the headers are checked here, as their bytes
// pass on their way to libcups, against the limits SetUpPage applies, and
// the stream ends before a page beyond them reaches libcups. Finding the
// headers means following the stream as libcups reads it: the sync word,
// then each header and the rows of its page, which the filter reads to the
// last one (a page it refuses ends the job, so what follows never matters).
class HeaderCheck {
public:
    // How many of these next bytes of the stream may go on to libcups: all
    // of them, or those before the last byte of a header we refuse, and
    // then `refusal` says why.
    std::size_t Pass(const std::uint8_t* bytes, std::size_t count);

    std::string refusal;

private:
    enum class Stage { Sync,
                       Header,
                       LineRepeat,
                       Line,
                       Done };

    void StartStream();
    bool TakeHeader();
    void TakeLineByte(std::uint8_t byte);
    std::uint32_t Field(std::size_t offset) const;

    Stage stage = Stage::Sync;
    bool bigEndian = false;
    bool compressed = false;
    bool apple = false;
    std::size_t headerSize = 0;
    std::size_t have = 0;  // bytes of the sync word or header so far
    std::uint8_t header[sizeof(cups_page_header2_t)] = {};
    // Bytes to pass over before the stage goes on: pixels, or the rest of
    // the file header of an Apple raster.
    std::uint64_t skip = 0;
    // Of a compressed page: rows still to come, bytes still to come of the
    // line being decoded, and the bytes of a line and of one pixel.
    std::uint32_t rowsLeft = 0;
    std::uint32_t lineLeft = 0;
    std::uint32_t lineBytes = 0;
    std::uint32_t pixelBytes = 1;
};

std::size_t HeaderCheck::Pass(const std::uint8_t* bytes, std::size_t count)
{
    std::size_t at = 0;
    while (at < count && stage != Stage::Done) {
        if (skip > 0) {
            const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(skip, count - at));
            at += step;
            skip -= step;
            continue;
        }
        const std::uint8_t byte = bytes[at++];
        switch (stage) {
        case Stage::Sync:
            header[have++] = byte;
            if (have == 4)
                StartStream();
            break;
        case Stage::Header:
            header[have++] = byte;
            if (have == headerSize && !TakeHeader())
                return at - 1;
            break;
        case Stage::LineRepeat:
            // The line stands for this many rows, as many as are left.
            rowsLeft -= std::min<std::uint32_t>(rowsLeft, byte + 1u);
            lineLeft = lineBytes;
            stage = Stage::Line;
            break;
        case Stage::Line:
            TakeLineByte(byte);
            break;
        case Stage::Done:
            break;
        }
    }
    return count;
}

void HeaderCheck::StartStream()
{
    // The sync word in the byte order of the header fields after it: "RaSt"
    // (version 1), "RaS2" (compressed, PWG's too) and "RaS3" big-endian,
    // reversed little-endian; Apple's "UNIRAST" is always big-endian.
    const std::string sync(reinterpret_cast<const char*>(header), 4);
    have = 0;
    stage = Stage::Header;
    if (sync == "RaSt" || sync == "tSaR" || sync == "RaS3" || sync == "3SaR") {
        headerSize = sync == "RaSt" || sync == "tSaR" ? sizeof(cups_page_header_t) : sizeof(cups_page_header2_t);
    } else if (sync == "RaS2" || sync == "2SaR") {
        headerSize = sizeof(cups_page_header2_t);
        compressed = true;
    } else if (sync == "UNIR" || sync == "RINU") {
        // The rest of the file header ("AST", a zero and a page count),
        // then pages of 32-byte headers.
        headerSize = 32;
        compressed = apple = true;
        skip = 8;
    } else {
        stage = Stage::Done;  // libcups does not open it
        return;
    }
    bigEndian = header[0] == 'R' || apple;
}

std::uint32_t HeaderCheck::Field(std::size_t offset) const
{
    const std::uint8_t* b = header + offset;
    return bigEndian ? std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3]
                     : std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0];
}

bool HeaderCheck::TakeHeader()
{
    std::uint32_t width, height, bitsPerPixel, bytesPerLine, bitsPerItem;
    if (apple) {
        width = Field(12);
        height = Field(16);
        bitsPerPixel = bitsPerItem = header[0];
        bytesPerLine = width * bitsPerPixel / 8;  // in libcups' own unsigned arithmetic
    } else {
        width = Field(offsetof(cups_page_header2_t, cupsWidth));
        height = Field(offsetof(cups_page_header2_t, cupsHeight));
        bitsPerPixel = Field(offsetof(cups_page_header2_t, cupsBitsPerPixel));
        bytesPerLine = Field(offsetof(cups_page_header2_t, cupsBytesPerLine));
        // libcups packs runs of whole pixels, or of single colours when the
        // colours are not chunked together.
        bitsPerItem = Field(offsetof(cups_page_header2_t, cupsColorOrder)) == CUPS_ORDER_CHUNKED
            ? bitsPerPixel
            : Field(offsetof(cups_page_header2_t, cupsBitsPerColor));
    }
    if (!CheckRasterSize(width, height, bitsPerPixel, bytesPerLine, &refusal)) {
        stage = Stage::Done;
        return false;
    }
    have = 0;
    if (compressed) {
        rowsLeft = height;
        lineBytes = bytesPerLine;
        pixelBytes = std::max<std::uint32_t>(1, (bitsPerItem + 7) / 8);
        stage = Stage::LineRepeat;
    } else {
        skip = std::uint64_t(height) * bytesPerLine;
    }
    return true;
}

// One byte of a compressed line, as libcups decodes it: 128 leaves the rest
// of the line blank, 129..255 are followed by 257 - n pixels, 0..127 by one
// pixel repeated n + 1 times; either is cut at the end of the line.
void HeaderCheck::TakeLineByte(std::uint8_t byte)
{
    if (byte == 128) {
        lineLeft = 0;
    } else if (byte > 128) {
        const std::uint32_t literal = std::min<std::uint32_t>(lineLeft, (257u - byte) * pixelBytes);
        lineLeft -= literal;
        skip = literal;
    } else {
        const std::uint32_t repeat = std::min<std::uint32_t>(lineLeft, (byte + 1u) * pixelBytes);
        if (repeat < pixelBytes) {
            lineLeft = 0;  // no whole pixel fits: libcups ends the line here
        } else {
            lineLeft -= repeat;
            skip = pixelBytes;
        }
    }
    if (lineLeft == 0)
        stage = rowsLeft > 0 ? Stage::LineRepeat : Stage::Header;
}

// Reads the raster stream for libcups and remembers how it ended, so that
// the end of the job can be told from a damaged page header: libcups
// answers both with a failed header read.
struct RasterInput {
    int fd;
    const std::atomic<int>* cancel;
    std::uint64_t bytesRead = 0;
    bool ended = false;
    HeaderCheck headers;

    static ssize_t Read(void* context, unsigned char* buffer, size_t length)
    {
        auto& input = *static_cast<RasterInput*>(context);
        for (;;) {
            // Once a header was refused, libcups sees the stream end in it.
            const ssize_t count = input.headers.refusal.empty() ? ::read(input.fd, buffer, length) : 0;
            if (count > 0) {
                input.bytesRead += static_cast<std::uint64_t>(count);
                const std::size_t passing = input.headers.Pass(buffer, static_cast<std::size_t>(count));
                if (passing > 0)
                    return static_cast<ssize_t>(passing);
                input.ended = true;
                return 0;
            }
            if (count < 0 && errno == EINTR && !(input.cancel && input.cancel->load()))
                continue;
            // The end, an error, or a cancel that interrupted the read: the
            // stream is over either way.
            input.ended = true;
            return 0;
        }
    }
};

struct RasterCloser {
    void operator()(cups_raster_t* raster) const { cupsRasterClose(raster); }
};

enum class PageEnd { Printed,
                     Cancelled,
                     Truncated,
                     WriteFailed,
                     OutOfMemory };

class FilterRun {
public:
    explicit FilterRun(const FilterJob& job)
        : job(job)
        , input{job.inputFd, job.cancel, 0, false, {}}
    {
    }
    int Run();

private:
    bool Cancelled() const { return job.cancel && job.cancel->load() != 0; }
    PageEnd PrintPage(cups_raster_t* raster, const cups_page_header2_t& header, const PageSetup& setup);
    PageEnd SendRows(cups_raster_t* raster, const cups_page_header2_t& header, const PageSetup& setup,
                     drivers::PrinterDriver& driver);
    int Fail(const std::string& message)
    {
        std::fprintf(job.log, "ERROR: %s\n", message.c_str());
        return 1;
    }

    const FilterJob& job;
    RasterInput input;
    render::Ditherer ditherer;
    std::unique_ptr<std::uint8_t[]> line;
    std::unique_ptr<std::uint8_t[]> row;
};

int FilterRun::Run()
{
    if (!job.output || !drivers::GetPrinterModel(job.printer))
        return Fail("The printer model is unknown");
    std::unique_ptr<cups_raster_t, RasterCloser> raster(cupsRasterOpenIO(&RasterInput::Read, &input, CUPS_RASTER_READ));
    if (!raster) {
        if (Cancelled())
            return 0;
        return Fail(input.bytesRead == 0 ? "The job holds no raster data" : "The job is not a CUPS raster stream");
    }
    int page = 0;
    for (;;) {
        cups_page_header2_t header;
        if (!cupsRasterReadHeader2(raster.get(), &header)) {
            if (Cancelled())
                return 0;
            if (!input.headers.refusal.empty())
                return Fail("Page " + std::to_string(page + 1) + ": " + input.headers.refusal);
            // A header that libcups turned down while the stream went on is
            // damaged, not the end of the job.
            if (!input.ended)
                return Fail("The raster header of page " + std::to_string(page + 1) + " is damaged");
            break;
        }
        ++page;
        PageSetup setup;
        std::string error;
        if (!SetUpPage(header, job.printer, &setup, &error))
            return Fail("Page " + std::to_string(page) + ": " + error);
        std::fprintf(job.log, "INFO: Printing page %d\n", page);
        std::fprintf(job.log,
                     "DEBUG: Page %d: %ux%u pixels at %d dpi from dot %d of row %d; paper %d of %dx%d dots, %u planes, "
                     "compression %s\n",
                     page, header.cupsWidth, header.cupsHeight, setup.resolution, setup.left, setup.top, setup.paper,
                     setup.rowWidth, setup.rowCount, setup.planeCount, setup.compression ? "on" : "off");
        switch (PrintPage(raster.get(), header, setup)) {
        case PageEnd::Printed:
            std::fprintf(job.log, "PAGE: %d 1\n", page);
            break;
        case PageEnd::Cancelled:
            std::fprintf(job.log, "DEBUG: Job cancelled during page %d; the page was ended\n", page);
            return 0;
        case PageEnd::Truncated:
            return Fail("The raster data ended inside page " + std::to_string(page));
        case PageEnd::WriteFailed:
            return Fail("Unable to send the print data to the printer");
        case PageEnd::OutOfMemory:
            return Fail("Not enough memory for page " + std::to_string(page));
        }
        std::fflush(job.log);
        if (Cancelled())
            return 0;
    }
    if (page == 0)
        return Fail("The raster stream holds no pages");
    return 0;
}

PageEnd FilterRun::PrintPage(cups_raster_t* raster, const cups_page_header2_t& header, const PageSetup& setup)
{
    std::unique_ptr<drivers::PrinterDriver> driver = drivers::CreateDriver(job.printer);
    if (!driver
        || !driver->Open(setup.planeCount, static_cast<std::uint32_t>(setup.rowWidth), setup.draft, setup.compression,
                         static_cast<std::uint32_t>(setup.paper)))
        return PageEnd::OutOfMemory;
    line.reset(new (std::nothrow) std::uint8_t[header.cupsBytesPerLine]);
    row.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(setup.rowWidth) * 3]);
    if (!line || !row || !ditherer.Prepare(setup.rowWidth, render::Ditherer::kDefaultGamma))
        return PageEnd::OutOfMemory;
    PageEnd end = SendRows(raster, header, setup, *driver);
    ditherer.Release();
    line.reset();
    row.reset();
    return end;
}

PageEnd FilterRun::SendRows(cups_raster_t* raster, const cups_page_header2_t& header, const PageSetup& setup,
                            drivers::PrinterDriver& driver)
{
    if (!driver.BeginPage(job.output))
        return PageEnd::WriteFailed;
    device::RowOutput rows(ditherer, driver, job.output, setup.rowWidth, setup.planeCount == 1);
    PageEnd end = PageEnd::Printed;
    // Paper above the raster is white rows like any other.
    std::memset(row.get(), 255, static_cast<std::size_t>(setup.rowWidth) * 3);
    for (std::int32_t y = 0; y < setup.top; ++y)
        rows.Put(row.get());
    const auto below = static_cast<std::uint32_t>(setup.rowCount - setup.top);
    for (std::uint32_t y = 0; y < header.cupsHeight; ++y) {
        if (Cancelled()) {
            end = PageEnd::Cancelled;
            break;
        }
        if (cupsRasterReadPixels(raster, line.get(), header.cupsBytesPerLine) != header.cupsBytesPerLine) {
            end = Cancelled() ? PageEnd::Cancelled : PageEnd::Truncated;
            break;
        }
        // Rows below the paper are read past, so that the next page starts
        // where it should, but never printed.
        if (y >= below)
            continue;
        ConvertRow(header, line.get(), row.get(), setup);
        if (rows.Put(row.get()) == device::RowStep::Failed)
            return PageEnd::WriteFailed;
    }
    // A page that was cut short is still ended, so the printer is left
    // between pages rather than inside one.
    if (!driver.EjectPage(job.output) || (job.flushable && !job.flushable->Flush()))
        return PageEnd::WriteFailed;
    return end;
}

}  // namespace

DescriptorWriter::~DescriptorWriter()
{
    Flush();
}

int DescriptorWriter::Write(const std::uint8_t* bytes, int length)
{
    if (failed || !bytes || length < 0)
        return 0;
    const auto count = static_cast<std::size_t>(length);
    if (used + count > kBufferSize) {
        if (!Drain(buffer, used))
            return 0;
        used = 0;
        if (count > kBufferSize)
            return Drain(bytes, count) ? length : 0;
    }
    std::memcpy(buffer + used, bytes, count);
    used += count;
    return length;
}

bool DescriptorWriter::Flush()
{
    if (failed)
        return false;
    const bool sent = Drain(buffer, used);
    used = 0;
    return sent;
}

bool DescriptorWriter::Drain(const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0 && !failed) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failed = true;
            break;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return !failed;
}

int RunFilterJob(const FilterJob& job)
{
    FilterJob checked = job;
    if (!checked.log)
        checked.log = stderr;
    FilterRun run(checked);
    const int status = run.Run();
    std::fflush(checked.log);
    return status;
}

}  // namespace tarvel::cups
