// Decoders that read a printer command stream back into the pages it would
// print: for each of our five printer languages, every page as dots per ink
// and, through PreviewPage, as a picture. A stream a decoder does not
// understand is rejected with the byte offset of the command at fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/PreviewPage.h"

namespace tarvel::preview {

enum class Language { Pcl,
                      EscP2,
                      StylusColor,
                      PocketJet,
                      CanonBj };

// The largest page a stream may describe, in dots: the largest paper our
// printers take (Legal, 8.5 x 14 inches) at the highest resolution our
// printers of that language print, the width rounded up to whole bytes of
// dots as rows are sent. A stream reaching beyond it is rejected ("page
// wider than the largest paper", "page longer than the largest paper").
struct PageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
PageSize LargestPage(Language language);

// What decoding one stream may cost at most, whatever its few bytes
// declare: every page it completes is kept in memory and may be rendered,
// so the pages' total area, their total stored ink and their number are
// bounded ("stream too large to preview", "too many pages").
struct DecodeLimits {
    std::uint64_t totalPageDots = std::uint64_t{1} << 31;  // about 170 A4 pages at 360 dpi
    std::size_t totalInkBytes = std::size_t{256} << 20;
    std::size_t pages = 10000;
};

struct DecodeResult {
    bool ok = false;
    // Where the decoder stopped understanding the stream: the first byte of
    // the command at fault, or the stream's length when it ends too early.
    std::size_t errorOffset = 0;
    std::string error;
    // Every page completed by a form feed, in order.
    std::vector<PreviewPage> pages;
};

// Reads a whole stream file (or pipe) into `stream`. False when it cannot
// be read, with `error` naming the file and the reason: "out.prn: Is a
// directory". Files beyond kMaxStreamFileBytes are refused unread.
inline constexpr std::uint64_t kMaxStreamFileBytes = std::uint64_t{1} << 30;
bool ReadStreamFile(const char* path, std::vector<std::uint8_t>& stream, std::string& error);

// The language of printer model `printer` (the Printer setting); false for
// an unknown model.
bool LanguageOfModel(int printer, Language* language);

// Decodes a whole stream of `size` bytes. A null stream with a non-zero
// size, a stream without a complete page, and a stream that ends inside a
// page are rejected too.
DecodeResult DecodeStream(Language language, const std::uint8_t* data, std::size_t size,
                          const DecodeLimits& limits = {});

DecodeResult DecodePcl(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits = {});
DecodeResult DecodeEscP2(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits = {});
DecodeResult DecodeStylusColor(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits = {});
DecodeResult DecodePocketJet(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits = {});
DecodeResult DecodeCanonBj(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits = {});

}  // namespace tarvel::preview
