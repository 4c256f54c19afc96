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

DecodeResult DecodeStream(Language language, const std::uint8_t* data, std::size_t size) {
    switch (language) {
        case Language::Pcl: return DecodePcl(data, size);
        case Language::EscP2: return DecodeEscP2(data, size);
        case Language::StylusColor: return DecodeStylusColor(data, size);
        case Language::PocketJet: return DecodePocketJet(data, size);
        case Language::CanonBj: return DecodeCanonBj(data, size);
    }
    DecodeResult unknown;
    unknown.error = "unknown language";
    return unknown;
}

}  // namespace tarvel::preview
