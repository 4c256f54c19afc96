// rastertotarvel: the CUPS filter that prints CUPS raster on the seven
// printer models. CUPS runs it as
//
//   rastertotarvel job user title copies options [file]
//
// with the queue's PPD named by the PPD environment variable; the raster
// comes from the file or standard input, the printer's bytes go to
// standard output, messages to standard error.
#include "cups/PpdWriter.h"
#include "cups/RasterFilter.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> cancelled{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnTerminate(int)
{
    cancelled.store(1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return 1;
    }
    const char* ppd = std::getenv("PPD");
    const int printer = tarvel::cups::ModelOfPpd(ppd);
    if (printer < 0) {
        std::fprintf(stderr, "ERROR: The PPD file \"%s\" does not name a Tarvel printer model\n", ppd ? ppd : "");
        return 1;
    }
    int fd = 0;
    if (argc == 7) {
        fd = ::open(argv[6], O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "ERROR: Unable to open the raster file \"%s\": %s\n", argv[6], std::strerror(errno));
            return 1;
        }
    }

    // CUPS cancels a job with SIGTERM: the page in progress is ended so the
    // printer is left between pages. Without SA_RESTART a blocked read
    // returns at once. A printer that went away makes writes fail instead
    // of killing the filter.
    struct sigaction action { };
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    tarvel::cups::DescriptorWriter output(1);
    tarvel::cups::FilterJob job;
    job.inputFd = fd;
    job.printer = printer;
    job.output = &output;
    job.flushable = &output;
    job.cancel = &cancelled;
    job.log = stderr;
    const int status = tarvel::cups::RunFilterJob(job);
    if (fd != 0)
        ::close(fd);
    return status;
}
