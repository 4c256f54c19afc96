#include "preview/StreamDecoder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::preview {

bool ReadStreamFile(const char* path, std::vector<std::uint8_t>& stream, std::string& error)
{
    stream.clear();
    if (!path || !*path) {
        error = "no file name";
        return false;
    }
    const auto fail = [&](const char* reason) {
        error = std::string(path) + ": " + reason;
        stream.clear();
        return false;
    };
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > kMaxStreamFileBytes) {
        ::close(fd);
        return fail("file too large to preview");
    }
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int reason = errno;
            ::close(fd);
            return fail(std::strerror(reason));
        }
        if (got == 0) break;
        if (stream.size() + static_cast<std::size_t>(got) > kMaxStreamFileBytes) {
            ::close(fd);
            return fail("file too large to preview");
        }
        stream.insert(stream.end(), buffer, buffer + got);
    }
    ::close(fd);
    return true;
}

bool LanguageOfModel(int printer, Language* language)
{
    Language found;
    switch (printer) {
    case 0: found = Language::Pcl; break;
    case 1: found = Language::EscP2; break;
    case 2: found = Language::StylusColor; break;
    case 3:
    case 4: found = Language::PocketJet; break;
    case 5:
    case 6: found = Language::CanonBj; break;
    default: return false;
    }
    if (language) *language = found;
    return true;
}

PageSize LargestPage(Language language)
{
    // Our HP PCL and PocketJet printers print at most 300 dpi, the Epson
    // and Canon ones 360.
    const std::uint32_t dpi = (language == Language::Pcl || language == Language::PocketJet) ? 300 : 360;
    constexpr std::uint32_t kLegalWidthInch10 = 85, kLegalHeightInch10 = 140;
    const std::uint32_t width = kLegalWidthInch10 * dpi / 10;
    return PageSize{(width + 7) / 8 * 8, kLegalHeightInch10 * dpi / 10};
}

DecodeResult DecodeStream(Language language, const std::uint8_t* data, std::size_t size,
                          const DecodeLimits& limits)
{
    switch (language) {
    case Language::Pcl: return DecodePcl(data, size, limits);
    case Language::EscP2: return DecodeEscP2(data, size, limits);
    case Language::StylusColor: return DecodeStylusColor(data, size, limits);
    case Language::PocketJet: return DecodePocketJet(data, size, limits);
    case Language::CanonBj: return DecodeCanonBj(data, size, limits);
    }
    DecodeResult unknown;
    unknown.error = "unknown language";
    return unknown;
}

}  // namespace tarvel::preview
