// A LOGFONTW realised as a real face: matched through fontconfig, drawn
// aliased through cairo-ft, with GDI-style metrics and whole-pixel advances.
#ifndef TARVEL_PLATFORM_GDI_FONTFACE_H
#define TARVEL_PLATFORM_GDI_FONTFACE_H

#include <tarvel/gdi.h>

#include <cairo.h>

#include <memory>
#include <string>
#include <unordered_map>

namespace tarvel::gdi {

class FontFace {
public:
    // The same description always yields the same face object, so a text
    // measures the same wherever it is measured. Null if no font is usable.
    static std::shared_ptr<FontFace> Realise(const LOGFONTW& log);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    struct Glyph {
        unsigned long index;
        int advance;  // whole pixels along the baseline
    };
    Glyph GlyphFor(char32_t codepoint);

    const TEXTMETRICW& Metrics() const { return metrics_; }
    // Drawing font: rotated by the escapement.
    cairo_scaled_font_t* DrawingFont() const { return drawing_; }
    double Escapement() const { return escapement_; }  // radians, counter-clockwise
    bool Underline() const { return underline_; }
    bool StrikeOut() const { return strikeOut_; }
    int UnderlinePosition() const { return underlinePosition_; }  // below the baseline
    int UnderlineThickness() const { return underlineThickness_; }
    int StrikeOutPosition() const { return strikeOutPosition_; }  // above the baseline
    int StrikeOutThickness() const { return strikeOutThickness_; }
    // The family name fontconfig chose.
    const std::string& Family() const { return family_; }

private:
    FontFace() = default;
    bool Load(const LOGFONTW& log);

    cairo_font_face_t* face_ = nullptr;
    cairo_scaled_font_t* upright_ = nullptr;
    cairo_scaled_font_t* drawing_ = nullptr;
    TEXTMETRICW metrics_{};
    double escapement_ = 0;
    bool underline_ = false;
    bool strikeOut_ = false;
    int underlinePosition_ = 1;
    int underlineThickness_ = 1;
    int strikeOutPosition_ = 1;
    int strikeOutThickness_ = 1;
    std::string family_;
    std::unordered_map<char32_t, Glyph> glyphs_;
};

// The realised face of a font object, made on first use.
struct Font;
std::shared_ptr<FontFace> FaceOf(Font& font);

}  // namespace tarvel::gdi

#endif
