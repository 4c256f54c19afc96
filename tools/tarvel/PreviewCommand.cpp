#include "Commands.h"

#include "preview/StreamDecoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tarvel::tool {
namespace {

using tarvel::preview::Language;

bool ParseLanguage(const char* text, Language& language)
{
    struct Name {
        const char* name;
        Language language;
    };
    static const Name names[] = {{"pcl", Language::Pcl}, {"escp2", Language::EscP2},
        {"stylus", Language::StylusColor}, {"pocketjet", Language::PocketJet}, {"canon", Language::CanonBj}};
    for (const Name& n : names) {
        if (std::strcmp(text, n.name) == 0) {
            language = n.language;
            return true;
        }
    }
    // A printer model index stands for the language of that model.
    char* end = nullptr;
    long model = std::strtol(text, &end, 10);
    return end != text && *end == 0 && model >= 0 && model < 7
        && tarvel::preview::LanguageOfModel(static_cast<int>(model), &language);
}

}  // namespace

int PreviewCommand(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr,
            "usage: tarvel preview <stream> <language> <png-prefix>\n"
            "  language: pcl, escp2, stylus, pocketjet, canon, or a printer model 0 to 6\n"
            "  writes <png-prefix>-1.png, <png-prefix>-2.png, ... one per page\n");
        return 2;
    }
    Language language {};
    if (!ParseLanguage(argv[2], language)) {
        std::fprintf(stderr, "tarvel preview: unknown language '%s'\n", argv[2]);
        return 2;
    }
    // A folder or an unreadable file is the user's mistake, told as such.
    std::vector<std::uint8_t> stream;
    std::string error;
    if (!tarvel::preview::ReadStreamFile(argv[1], stream, error)) {
        std::fprintf(stderr, "tarvel preview: cannot read %s\n", error.c_str());
        return 1;
    }
    const auto decoded = tarvel::preview::DecodeStream(language, stream.data(), stream.size());
    if (!decoded.ok) {
        std::fprintf(stderr, "tarvel preview: %s: %s at byte %zu\n", argv[1], decoded.error.c_str(),
            decoded.errorOffset);
        return 1;
    }
    for (std::size_t i = 0; i < decoded.pages.size(); ++i) {
        const std::string png = std::string(argv[3]) + "-" + std::to_string(i + 1) + ".png";
        const auto& page = decoded.pages[i];
        if (!tarvel::preview::WritePng(page, png.c_str())) {
            std::fprintf(stderr, "tarvel preview: cannot write %s\n", png.c_str());
            return 1;
        }
        std::printf("%s: page %zu, %u x %u dots -> %s\n", argv[1], i + 1, page.width(), page.height(), png.c_str());
    }
    return 0;
}

}  // namespace tarvel::tool
