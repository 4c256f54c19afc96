// Fuzz target `preview`: a printer command stream into its decoder.
//
// Input: byte 0 picks the language (its value modulo 5, in the order of
// preview::Language: Pcl, EscP2, StylusColor, PocketJet, CanonBj); the
// rest is the stream. Every decoded page is also rendered to RGB, as the
// preview command does.
//
// Properties: a stream that decodes holds at least one page, and each page
// renders to width x height pixels (or to nothing, when it is too large to
// picture); a stream that does not decode says why and names an offset
// inside the stream (its length when it ends too early).
#include "FuzzSupport.h"

#include "preview/StreamDecoder.h"

namespace tarvel::fuzz {

int FuzzPreview(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto language = static_cast<preview::Language>(data[0] % 5);
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;
    const preview::DecodeResult result = preview::DecodeStream(language, stream, length);
    if (!result.ok) {
        if (result.errorOffset > length)
            Broken("error offset " + std::to_string(result.errorOffset) + " beyond a stream of "
                   + std::to_string(length) + " bytes");
        if (result.error.empty())
            Broken("a refused stream without a reason");
        if (!result.pages.empty())
            Broken("a refused stream still returns pages");
        return 0;
    }
    if (result.pages.empty())
        Broken("a stream decoded without a page");
    for (const preview::PreviewPage& page : result.pages) {
        const std::vector<std::uint8_t> rgb = preview::RenderRgb(page);
        const std::uint64_t pixels = std::uint64_t(page.width()) * page.height();
        if (!rgb.empty() && rgb.size() != pixels * 3)
            Broken("a page of " + std::to_string(page.width()) + " x " + std::to_string(page.height())
                   + " renders to " + std::to_string(rgb.size()) + " bytes");
    }
    return 0;
}

}  // namespace tarvel::fuzz
