#include "cups/RasterFilter.h"

#include "cups/RasterPage.h"
#include "device/RowOutput.h"
#include "drivers/PrinterDriver.h"
#include "render/Ditherer.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <unistd.h>

namespace tarvel::cups {
namespace {

// Reads the raster stream for libcups and remembers how it ended, so that
// the end of the job can be told from a damaged page header: libcups
// answers both with a failed header read.
struct RasterInput {
    int fd;
    const std::atomic<int>* cancel;
    std::uint64_t bytesRead = 0;
    bool ended = false;

    static ssize_t Read(void* context, unsigned char* buffer, size_t length)
    {
        auto& input = *static_cast<RasterInput*>(context);
        for (;;) {
            const ssize_t count = ::read(input.fd, buffer, length);
            if (count > 0) {
                input.bytesRead += static_cast<std::uint64_t>(count);
                return count;
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
        , input{job.inputFd, job.cancel}
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
