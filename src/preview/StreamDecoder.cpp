#include "preview/StreamDecoder.h"

namespace tarvel::preview {

bool LanguageOfModel(int printer, Language* language) {
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

PageSize LargestPage(Language language) {
    // Our HP PCL and PocketJet printers print at most 300 dpi, the Epson
    // and Canon ones 360.
    const std::uint32_t dpi = (language == Language::Pcl || language == Language::PocketJet) ? 300 : 360;
    constexpr std::uint32_t kLegalWidthInch10 = 85, kLegalHeightInch10 = 140;
    const std::uint32_t width = kLegalWidthInch10 * dpi / 10;
    return PageSize{(width + 7) / 8 * 8, kLegalHeightInch10 * dpi / 10};
}

DecodeResult DecodeStream(Language language, const std::uint8_t* data, std::size_t size,
                          const DecodeLimits& limits) {
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
