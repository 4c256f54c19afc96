// The CUPS raster filter's job loop: every page of a raster stream goes row
// by row through the same white-row skipping, Ditherer, plane split,
// RowCompressor and printer driver as a page printed through the library,
// and the printer's bytes go to the output.
//
// Progress and trouble are reported to CUPS on the log as "DEBUG:",
// "INFO:", "ERROR:" and "PAGE:" lines.
#pragma once

#include "ports/PortWriter.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace tarvel::cups {

// A PortWriter on a file descriptor (the printer stream of a filter is its
// standard output), with a buffer so that small commands do not each cost
// a system call.
class DescriptorWriter final : public tarvel::ports::PortWriter {
public:
    explicit DescriptorWriter(int fd)
        : fd(fd)
    {
    }
    ~DescriptorWriter() override;
    DescriptorWriter(const DescriptorWriter&) = delete;
    DescriptorWriter& operator=(const DescriptorWriter&) = delete;

    // Takes every byte, or none once the descriptor has failed.
    int Write(const std::uint8_t* bytes, int length) override;
    // Hands everything buffered to the descriptor; false when it failed.
    bool Flush();

private:
    bool Drain(const std::uint8_t* bytes, std::size_t count);

    static constexpr std::size_t kBufferSize = 64 * 1024;
    int fd;
    bool failed = false;
    std::size_t used = 0;
    std::uint8_t buffer[kBufferSize];
};

struct FilterJob {
    int inputFd = 0;  // the raster stream
    int printer = 0;  // the model, from the PPD
    tarvel::ports::PortWriter* output = nullptr;
    // Flushes the output at the end of every page; may be null.
    DescriptorWriter* flushable = nullptr;
    // Set from the SIGTERM handler: the page in progress is ended cleanly
    // and no further page is read.
    const std::atomic<int>* cancel = nullptr;
    std::FILE* log = stderr;  // null: standard error
};

// Runs the job; the filter's exit status: 0 when every page was printed
// (or the job was cancelled), 1 after an "ERROR:" line.
int RunFilterJob(const FilterJob& job);

}  // namespace tarvel::cups
