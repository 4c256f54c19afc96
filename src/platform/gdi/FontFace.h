// A LOGFONTW realised as a real face: matched through fontconfig, drawn
// aliased through cairo-ft, with GDI-style metrics and whole-pixel advances.
#ifndef TARVEL_PLATFORM_GDI_FONTFACE_H
#define TARVEL_PLATFORM_GDI_FONTFACE_H

#include <tarvel/gdi.h>

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <hb.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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
        int advance;          // whole pixels along the baseline
        std::uint8_t source;  // the face it comes from: see Source
    };
    // The glyph of a character: from this face, or where this face has none,
    // from the best installed face that has one (the fallback faces, same em
    // height). A character no face has is this face's missing-glyph box.
    Glyph GlyphFor(char32_t codepoint);
    // Whether this face itself has a glyph for the character.
    bool Has(char32_t codepoint);
    // 0 is this face, 1 and up its fallback faces in the order first needed.
    FontFace& Source(std::uint8_t source) { return source ? *fallbacks_[source - 1u] : *this; }
    // HarfBuzz's view of this face at its size (26.6 units, scaled as the
    // drawing font); null if the font file cannot be read.
    hb_font_t* Shaper();

    // The pixels an upright glyph sets when drawn aliased with its origin on
    // a whole pixel: a box relative to the origin, one byte per pixel (0 or
    // 1). Kept per glyph index, so text on a page rasterises each glyph
    // once rather than at every call.
    struct GlyphImage {
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<std::uint8_t> ink;  // a byte per pixel, 1 for ink
        // The same eight pixels a byte, first in the high bit, rows of
        // BitStride() bytes (whole words, the padding clear); packed when
        // one-bit drawing first asks.
        const std::uint8_t* Bits() const;
        int BitStride() const { return (width + 63) / 64 * 8; }

    private:
        mutable std::vector<std::uint8_t> bits_;
    };
    // Null when the face is turned, the glyph draws with partial coverage
    // (then only the mask reproduces how it blends), its image would be
    // huge, or the cache is full; the caller then draws through cairo.
    const GlyphImage* Image(unsigned long index);
    // Empties the image cache once it has grown past its budget. Pointers
    // from Image stay valid until the next call.
    void TrimImages();

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
    // Loads a matched font at an em height and a horizontal stretch.
    bool LoadMatch(FcPattern* match, double em, double widthScale, double escapement);
    std::uint8_t FallbackFor(char32_t codepoint);
    Glyph OwnGlyph(char32_t codepoint);

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
    std::string file_;
    int fileIndex_ = 0;
    double em_ = 0, widthScale_ = 1;
    std::unordered_map<char32_t, Glyph> glyphs_;
    // The description, for the fallback search: the faces that could stand
    // in are sorted by it (family preferences, weight, slant) on first need.
    LOGFONTW log_{};
    FcFontSet* candidates_ = nullptr;
    bool isFallback_ = false;
    std::vector<std::shared_ptr<FontFace>> fallbacks_;
    hb_font_t* shaper_ = nullptr;
    bool shaperTried_ = false;
    // Null entries: glyphs known to need cairo.
    std::unordered_map<unsigned long, std::unique_ptr<GlyphImage>> images_;
    std::size_t imageBytes_ = 0;
};

// The realised face of a font object, made on first use.
struct Font;
std::shared_ptr<FontFace> FaceOf(Font& font);

}  // namespace tarvel::gdi

#endif
