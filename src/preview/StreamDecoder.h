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

enum class Language { Pcl, EscP2, StylusColor, PocketJet, CanonBj };

struct DecodeResult {
    bool ok = false;
    // Where the decoder stopped understanding the stream: the first byte of
    // the command at fault, or the stream's length when it ends too early.
    std::size_t errorOffset = 0;
    std::string error;
    // Every page completed by a form feed, in order.
    std::vector<PreviewPage> pages;
};

// The language of printer model `printer` (the Printer setting); false for
// an unknown model.
bool LanguageOfModel(int printer, Language* language);

// Decodes a whole stream of `size` bytes. A null stream with a non-zero
// size, a stream without a complete page, and a stream that ends inside a
// page are rejected too.
DecodeResult DecodeStream(Language language, const std::uint8_t* data, std::size_t size);

DecodeResult DecodePcl(const std::uint8_t* data, std::size_t size);
DecodeResult DecodeEscP2(const std::uint8_t* data, std::size_t size);
DecodeResult DecodeStylusColor(const std::uint8_t* data, std::size_t size);
DecodeResult DecodePocketJet(const std::uint8_t* data, std::size_t size);
DecodeResult DecodeCanonBj(const std::uint8_t* data, std::size_t size);

}  // namespace tarvel::preview
