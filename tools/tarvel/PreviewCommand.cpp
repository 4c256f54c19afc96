// tarvel preview: a printer stream back into pictures of its pages, each
// the size of the paper it was printed for, with the paper's edge and the
// area the printer reaches marked.
#include "Commands.h"
#include "Names.h"

#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "preview/StreamDecoder.h"

#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvel::tool {
namespace {

using tarvel::preview::Language;

struct LanguageName {
    const char* name;
    Language language;
    int resolution;  // of the language's usual model, when the stream does not say
};
constexpr LanguageName kLanguages[] = {{"pcl", Language::Pcl, 300}, {"escp2", Language::EscP2, 360}, {"stylus", Language::StylusColor, 360}, {"pocketjet", Language::PocketJet, 300}, {"canon", Language::CanonBj, 360}};

bool ParseLanguage(const std::string& text, Language& language)
{
    for (const LanguageName& n : kLanguages)
        if (EqualNoCase(text, n.name)) {
            language = n.language;
            return true;
        }
    // A printer model, by name, alias or index, stands for its language.
    const int model = ParseModel(text);
    return model >= 0 && tarvel::preview::LanguageOfModel(model, &language);
}

const LanguageName& Describe(Language language)
{
    for (const LanguageName& n : kLanguages)
        if (n.language == language)
            return n;
    return kLanguages[0];
}

// The stream's language: the first decoder that reads the stream whole.
// The languages share few commands and a decoder stops at the first
// command it does not know, so a stream fails the other languages early.
bool DetectLanguage(const std::vector<std::uint8_t>& stream, Language& language,
                    tarvel::preview::DecodeResult& decoded)
{
    for (const LanguageName& n : kLanguages) {
        auto attempt = tarvel::preview::DecodeStream(n.language, stream.data(), stream.size());
        if (attempt.ok) {
            language = n.language;
            decoded = std::move(attempt);
            return true;
        }
    }
    return false;
}

struct Paper {
    int width = 0;  // dots, as the page lies
    int height = 0;
    RECT printable{};
};

int Dots(int length, int resolution)
{
    return static_cast<int>(static_cast<double>(length) * resolution * (1.0 / 2540));
}

// The paper the page was printed on: the stored paper and orientation
// when the page fits on it (a stream says where its ink is, not how large
// its sheet was), else the smallest paper of the table that holds it,
// turned as the page is.
Paper PaperOf(const tarvel::preview::PreviewPage& page, int resolution)
{
    const auto& papers = tarvel::device::Papers();
    const tarvel::device::PrinterDevice* device = tarvel::device::Device();
    const int stored = device ? device->settings.paperSize : 0;
    const bool storedPortrait = !device || device->settings.portrait;
    auto fits = [&](int w, int h) {
        return w > 0 && h > 0 && static_cast<std::uint32_t>(w) + 1 >= page.width()
            && static_cast<std::uint32_t>(h) + 1 >= page.height();
    };
    Paper best;
    long long bestArea = -1;
    auto consider = [&](int index, bool portrait, bool preferred) {
        int w = Dots(papers[static_cast<std::size_t>(index)].width, resolution);
        int h = Dots(papers[static_cast<std::size_t>(index)].height, resolution);
        if (!portrait)
            std::swap(w, h);
        const long long area = preferred ? 0 : static_cast<long long>(w) * h;
        if (fits(w, h) && (bestArea < 0 || area < bestArea)) {
            best.width = w;
            best.height = h;
            bestArea = area;
        }
    };
    consider(stored, storedPortrait, true);
    if (bestArea < 0)
        for (int i = 0; i < tarvel::device::kCustomPaper; ++i)
            consider(i, page.width() <= page.height(), false);
    if (bestArea < 0) {  // larger than any paper: the page is its own paper
        best.width = static_cast<int>(page.width());
        best.height = static_cast<int>(page.height());
    }
    const RECT& hard = tarvel::device::kHardMargins;
    best.printable = {Dots(hard.left, resolution), Dots(hard.top, resolution),
                      best.width - Dots(hard.right, resolution), best.height - Dots(hard.bottom, resolution)};
    return best;
}

bool WritePaperPng(const tarvel::preview::PreviewPage& page, int resolution, const std::string& path)
{
    const Paper paper = PaperOf(page, resolution);
    const int width = std::max<int>(paper.width, static_cast<int>(page.width()));
    const int height = std::max<int>(paper.height, static_cast<int>(page.height()));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 1), std::max(height, 1));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    // The marks go under the ink: the paper's edge in grey, the printable
    // area as a thin blue dashed line.
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    const double line = std::max(1.0, resolution / 150.0);
    cairo_set_line_width(cr, line);
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_rectangle(cr, line / 2, line / 2, paper.width - line, paper.height - line);
    cairo_stroke(cr);
    const double dash = resolution / 10.0;
    cairo_set_dash(cr, &dash, 1, 0);
    cairo_set_source_rgb(cr, 0.55, 0.7, 1.0);
    cairo_rectangle(cr, paper.printable.left + line / 2, paper.printable.top + line / 2,
                    paper.printable.right - paper.printable.left - line, paper.printable.bottom - paper.printable.top - line);
    cairo_stroke(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);

    const std::vector<std::uint8_t> rgb = tarvel::preview::RenderRgb(page);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    const std::size_t pageWidth = page.width();
    for (std::size_t y = 0; !rgb.empty() && y < page.height(); ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(data + y * stride);
        const std::uint8_t* in = rgb.data() + y * pageWidth * 3;
        for (std::size_t x = 0; x < pageWidth; ++x, in += 3)
            if (in[0] != 255 || in[1] != 255 || in[2] != 255)
                out[x] = (static_cast<std::uint32_t>(in[0]) << 16) | (in[1] << 8) | in[2];
    }
    cairo_surface_mark_dirty(surface);
    const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

}  // namespace

int PreviewCommand(const PreviewOptions& options)
{
    const std::vector<std::string>& args = options.arguments;
    const std::string& streamPath = args[0];
    std::string languageName = options.language;
    std::string prefix;
    if (args.size() == 3) {
        if (!languageName.empty()) {
            Complain("preview: the language is given twice");
            return kExitUsage;
        }
        languageName = args[1];
        prefix = args[2];
    } else if (args.size() == 2) {
        prefix = args[1];
    } else {
        prefix = streamPath == "-" ? std::string("page")
                                   : std::filesystem::path(streamPath).replace_extension().string();
    }
    Language language{};
    if (!languageName.empty() && !ParseLanguage(languageName, language)) {
        Complain("preview: unknown language '" + languageName + "' (pcl, escp2, stylus, pocketjet, canon, or a model)");
        return kExitUsage;
    }

    // A folder or an unreadable file is the user's mistake, told as such.
    const std::string name = streamPath == "-" ? "standard input" : streamPath;
    std::vector<std::uint8_t> stream;
    std::string error;
    if (!tarvel::preview::ReadStreamFile(streamPath == "-" ? "/dev/stdin" : streamPath.c_str(), stream, error)) {
        Complain("preview: cannot read " + error);
        return kExitFailure;
    }
    tarvel::preview::DecodeResult decoded;
    if (languageName.empty()) {
        if (!DetectLanguage(stream, language, decoded)) {
            Complain("preview: " + name + ": not a stream of any of the five printer languages");
            return kExitFailure;
        }
    } else {
        decoded = tarvel::preview::DecodeStream(language, stream.data(), stream.size());
        if (!decoded.ok) {
            Complain("preview: " + name + ": " + decoded.error + " at byte " + std::to_string(decoded.errorOffset));
            return kExitFailure;
        }
    }
    const LanguageName& described = Describe(language);
    for (std::size_t i = 0; i < decoded.pages.size(); ++i) {
        const auto& page = decoded.pages[i];
        const int resolution = page.resolutionX > 0 ? page.resolutionX : described.resolution;
        const std::string png = prefix + "-" + std::to_string(i + 1) + ".png";
        if (!WritePaperPng(page, resolution, png)) {
            Complain("preview: cannot write " + png);
            return kExitFailure;
        }
        std::printf("%s: %s page %zu, %u x %u dots at %d dpi -> %s\n", name.c_str(), described.name, i + 1,
                    page.width(), page.height(), resolution, png.c_str());
    }
    return kExitOk;
}

}  // namespace tarvel::tool
