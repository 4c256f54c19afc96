// Fuzz target `raster`: an arbitrary CUPS raster stream through the CUPS
// filter's job loop, in this process: libcups reads the stream from a
// memory file, every page goes through SetUpPage, ConvertRow, the
// Ditherer and the model's driver, and the printer's bytes are counted and
// dropped.
//
// Input: byte 0 picks the printer model (modulo 7), the rest is the raster
// stream as CUPS would hand it to rastertotarvel.
//
// Properties:
// - The job ends with status 0 or 1; 1 exactly when the log's last line is
//   its one "ERROR:" line, 0 with no "ERROR:" line at all.
// - A job that succeeds printed at least one page ("PAGE:" lines).
#include "FuzzSupport.h"

#include "cups/RasterFilter.h"

#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace tarvel::fuzz {
namespace {

constexpr int kModelCount = 7;

// The printer's bytes are only counted: the drivers' output is the preview
// target's business.
class Sink final : public ports::PortWriter {
public:
    int Write(const std::uint8_t* bytes, int length) override
    {
        if (!bytes || length < 0)
            return 0;
        written += std::size_t(length);
        return length;
    }
    std::size_t written = 0;
};

// The filter's log, kept in memory for the checks.
std::string& LogText()
{
    static std::string text;
    return text;
}

std::FILE* Log()
{
    static std::FILE* log = [] {
        cookie_io_functions_t io{};
        io.write = [](void*, const char* bytes, std::size_t size) -> ssize_t {
            LogText().append(bytes, size);
            return static_cast<ssize_t>(size);
        };
        std::FILE* file = ::fopencookie(nullptr, "w", io);
        if (!file)
            Broken("no log for the filter");
        return file;
    }();
    return log;
}

// One memory file for the stream, rewritten for every input.
int StreamFile()
{
    static const int fd = [] {
        const int made = ::memfd_create("tarvel-fuzz-raster", MFD_CLOEXEC);
        if (made < 0)
            Broken("no memory file for the raster stream");
        return made;
    }();
    return fd;
}

std::size_t CountLines(const std::string& log, const char* start)
{
    std::size_t count = 0;
    const std::string prefix = start;
    for (std::size_t at = 0; at < log.size();) {
        if (log.compare(at, prefix.size(), prefix) == 0)
            ++count;
        const std::size_t end = log.find('\n', at);
        at = end == std::string::npos ? log.size() : end + 1;
    }
    return count;
}

}  // namespace

int FuzzRaster(const std::uint8_t* data, std::size_t size)
{
    const int fd = StreamFile();
    std::size_t stream = size > 0 ? size - 1 : 0;
    if (::ftruncate(fd, 0) != 0 || (stream > 0 && ::pwrite(fd, data + 1, stream, 0) != ssize_t(stream))
        || ::lseek(fd, 0, SEEK_SET) != 0)
        Broken("the raster stream could not be written to its memory file");

    Sink sink;
    cups::FilterJob job;
    job.inputFd = fd;
    job.printer = size > 0 ? data[0] % kModelCount : 0;
    job.output = &sink;
    job.log = Log();
    LogText().clear();
    const int status = cups::RunFilterJob(job);
    std::fflush(job.log);
    const std::string& log = LogText();

    const std::size_t errors = CountLines(log, "ERROR: ");
    if (status == 0 && errors != 0)
        Broken("the job succeeded with an error line:\n" + log);
    if (status == 1) {
        const std::size_t last = log.rfind("ERROR: ");
        if (errors != 1 || (last != 0 && log[last - 1] != '\n') || log.find('\n', last) != log.size() - 1)
            Broken("a failed job's log does not end in its one error line:\n" + log);
    }
    if (status != 0 && status != 1)
        Broken("the job ended with status " + std::to_string(status));
    if (status == 0 && CountLines(log, "PAGE: ") == 0)
        Broken("the job succeeded without printing a page:\n" + log);
    return 0;
}

}  // namespace tarvel::fuzz
