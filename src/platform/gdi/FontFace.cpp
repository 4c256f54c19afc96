#include "platform/gdi/FontFace.h"

#include "platform/gdi/CoverageMask.h"
#include "platform/gdi/GdiObjects.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace tarvel::gdi {
namespace {

// Larger em sizes would make single glyph images of many megabytes; no
// printed page needs more.
constexpr double kMaxEm = 4000;
constexpr double kDefaultEm = 12;

std::string Utf8FaceName(const WCHAR* face)
{
    std::string out;
    for (int i = 0; i < LF_FACESIZE && face[i]; ++i) {
        char32_t c = face[i];
        if (c >= 0xD800 && c < 0xE000) continue;  // a face name is plain text
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string CacheKey(const LOGFONTW& log)
{
    LOGFONTW key = log;
    for (int i = 0; i < LF_FACESIZE; ++i) {
        WCHAR c = key.lfFaceName[i];
        if (c >= u'A' && c <= u'Z') key.lfFaceName[i] = WCHAR(c - u'A' + u'a');
        if (!c) {
            std::fill(key.lfFaceName + i, key.lfFaceName + LF_FACESIZE, WCHAR(0));
            break;
        }
    }
    // Fields that change nothing in the rendering stay out of the key.
    key.lfCharSet = key.lfOutPrecision = key.lfClipPrecision = key.lfQuality = 0;
    key.lfOrientation = 0;
    return std::string(reinterpret_cast<const char*>(&key), sizeof(key));
}

// What fontconfig is asked for: the face name, then the generic family
// its pitch and family bits ask for, the weight and the slant.
FcPattern* RequestPattern(const LOGFONTW& log)
{
    std::string family = Utf8FaceName(log.lfFaceName);
    int pitch = log.lfPitchAndFamily & 3;
    int familyBits = log.lfPitchAndFamily & 0xF0;
    const char* generic = "sans-serif";
    if (pitch == FIXED_PITCH || familyBits == FF_MODERN) {
        generic = "monospace";
    } else if (familyBits == FF_ROMAN) {
        generic = "serif";
    }
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    if (!family.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    }
    // A missing face falls back to the generic family its pitch and family
    // bits ask for, then to whatever fontconfig finds closest.
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic));
    int weight = log.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(log.lfWeight, 1000);
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, log.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

// Glyphs are drawn as bilevel images with the font's own hinting.
void MakeBilevel(FcPattern* match)
{
    FcPatternDel(match, FC_ANTIALIAS);
    FcPatternAddBool(match, FC_ANTIALIAS, FcFalse);
    FcPatternDel(match, FC_HINTING);
    FcPatternAddBool(match, FC_HINTING, FcTrue);
}

std::string FileOf(FcPattern* font, int& index)
{
    FcChar8* file = nullptr;
    index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return {};
    return reinterpret_cast<const char*>(file);
}

cairo_scaled_font_t* MakeScaled(cairo_font_face_t* face, double sx, double sy, double angle)
{
    cairo_matrix_t scale, rotate, font;
    cairo_matrix_init_scale(&scale, sx, sy);
    cairo_matrix_init_rotate(&rotate, -angle);
    cairo_matrix_multiply(&font, &scale, &rotate);
    cairo_matrix_t ctm;
    cairo_matrix_init_identity(&ctm);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &font, &ctm, options);
    cairo_font_options_destroy(options);
    if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
        cairo_scaled_font_destroy(scaled);
        return nullptr;
    }
    return scaled;
}

// What the face's tables say, in font units.
struct DesignMetrics {
    double upem = 0;
    double winAscent = 0, winDescent = 0;
    double hheaAscent = 0, hheaDescent = 0, lineGap = 0;
    double avgWidth = 0, maxAdvance = 0;
    double strikePos = 0, strikeSize = 0;
    double underlinePos = 0, underlineSize = 0;
    bool fixedPitch = false;
};

// GDI sizes a font by its Windows ascent and descent (the OS/2 table),
// falling back to the horizontal header where a face has none.
bool ReadDesignMetrics(cairo_font_face_t* face, DesignMetrics& out)
{
    cairo_scaled_font_t* probe = MakeScaled(face, 64, 64, 0);
    if (!probe) return false;
    FT_Face ft = cairo_ft_scaled_font_lock_face(probe);
    bool ok = ft && ft->units_per_EM;
    if (ok) {
        out.upem = ft->units_per_EM;
        out.winAscent = out.hheaAscent = ft->ascender;
        out.winDescent = out.hheaDescent = -ft->descender;
        if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA))) {
            out.lineGap = hhea->Line_Gap;
            out.hheaAscent = hhea->Ascender;
            out.hheaDescent = -hhea->Descender;
        }
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF) {
            if (os2->usWinAscent + os2->usWinDescent > 0) {
                out.winAscent = os2->usWinAscent;
                out.winDescent = os2->usWinDescent;
            }
            out.avgWidth = os2->xAvgCharWidth;
            out.strikePos = os2->yStrikeoutPosition;
            out.strikeSize = os2->yStrikeoutSize;
        }
        out.maxAdvance = ft->max_advance_width;
        out.underlinePos = -ft->underline_position;
        out.underlineSize = ft->underline_thickness;
        out.fixedPitch = FT_IS_FIXED_WIDTH(ft);
    }
    if (ft) cairo_ft_scaled_font_unlock_face(probe);
    cairo_scaled_font_destroy(probe);
    return ok;
}

// Applications make a font per page and delete it after; the faces used
// last are kept alive a little longer, so that the next page finds its face
// with its glyphs and their images already made.
constexpr std::size_t kKeptFaces = 4;

struct FaceCache {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<FontFace>> faces;
    std::vector<std::shared_ptr<FontFace>> recent;  // most recent first

    void Touch(const std::shared_ptr<FontFace>& face)
    {
        auto it = std::find(recent.begin(), recent.end(), face);
        if (it != recent.end()) {
            std::rotate(recent.begin(), it, it + 1);
            return;
        }
        recent.insert(recent.begin(), face);
        if (recent.size() > kKeptFaces) recent.pop_back();
    }
};

FaceCache& Cache()
{
    static FaceCache* cache = new FaceCache;
    return *cache;
}

}  // namespace

std::shared_ptr<FontFace> FontFace::Realise(const LOGFONTW& log)
{
    FaceCache& cache = Cache();
    std::lock_guard<std::mutex> guard(cache.lock);
    std::string key = CacheKey(log);
    auto it = cache.faces.find(key);
    if (it != cache.faces.end()) {
        if (auto face = it->second.lock()) {
            cache.Touch(face);
            return face;
        }
    }
    std::shared_ptr<FontFace> face(new FontFace);
    if (!face->Load(log)) return nullptr;
    cache.faces[key] = face;
    cache.Touch(face);
    return face;
}

FontFace::~FontFace()
{
    if (shaper_) hb_font_destroy(shaper_);
    if (candidates_) FcFontSetDestroy(candidates_);
    if (drawing_ && drawing_ != upright_) cairo_scaled_font_destroy(drawing_);
    if (upright_) cairo_scaled_font_destroy(upright_);
    if (face_) cairo_font_face_destroy(face_);
}

bool FontFace::Load(const LOGFONTW& log)
{
    log_ = log;
    FcPattern* request = RequestPattern(log);
    if (!request) return false;
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, request, &result);
    FcPatternDestroy(request);
    if (!match) return false;
    MakeBilevel(match);
    FcChar8* familyName = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &familyName) == FcResultMatch && familyName) {
        family_ = reinterpret_cast<const char*>(familyName);
    }
    file_ = FileOf(match, fileIndex_);
    face_ = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
    if (cairo_font_face_status(face_) != CAIRO_STATUS_SUCCESS) return false;

    DesignMetrics design;
    if (!ReadDesignMetrics(face_, design)) return false;
    double upem = design.upem;
    double winAscent = design.winAscent, winDescent = design.winDescent;
    double lineGap = design.lineGap, avgWidth = design.avgWidth;
    double strikePos = design.strikePos, strikeSize = design.strikeSize;
    double hheaAscent = design.hheaAscent, hheaDescent = design.hheaDescent;
    double maxAdvance = design.maxAdvance;
    double underlinePos = design.underlinePos, underlineSize = design.underlineSize;
    bool fixedPitch = design.fixedPitch;

    double cell = std::max(1.0, winAscent + winDescent);
    double em;
    long long height = log.lfHeight;
    if (height < 0) {
        em = double(-height);
    } else if (height > 0) {
        em = double(height) * upem / cell;
    } else {
        em = kDefaultEm;
    }
    em = std::clamp(em, 1.0, kMaxEm);
    double scale = em / upem;
    double widthScale = 1;
    if (log.lfWidth > 0 && avgWidth > 0) {
        widthScale = std::clamp(double(log.lfWidth) / (avgWidth * scale), 0.01, 100.0);
    }
    // Glyphs are held to the same size across as down: cairo refuses a
    // wider font, and leaks the font it refuses.
    widthScale = std::min(widthScale, kMaxEm / em);
    escapement_ = double(log.lfEscapement % 3600) * M_PI / 1800.0;
    em_ = em;
    widthScale_ = widthScale;
    upright_ = MakeScaled(face_, em * widthScale, em, 0);
    if (!upright_) return false;
    drawing_ = escapement_ == 0 ? upright_ : MakeScaled(face_, em * widthScale, em, escapement_);
    if (!drawing_) return false;

    TEXTMETRICW& tm = metrics_;
    tm.tmAscent = LONG(std::lround(winAscent * scale));
    tm.tmDescent = LONG(std::lround(winDescent * scale));
    if (height > 0 && height <= LONG(kMaxEm * 2)) tm.tmDescent = LONG(height) - tm.tmAscent;
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - LONG(std::lround(em)));
    double externalGap = lineGap - ((winAscent + winDescent) - (hheaAscent + hheaDescent));
    tm.tmExternalLeading = std::max<LONG>(0, LONG(std::lround(externalGap * scale)));
    tm.tmMaxCharWidth = LONG(std::lround(maxAdvance * scale * widthScale));
    tm.tmWeight = log.lfWeight <= 0 ? FW_NORMAL : log.lfWeight;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFFFC;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = log.lfItalic ? 1 : 0;
    tm.tmUnderlined = log.lfUnderline ? 1 : 0;
    tm.tmStruckOut = log.lfStrikeOut ? 1 : 0;
    // TMPF_FIXED_PITCH set means a variable pitch; vector and TrueType bits.
    tm.tmPitchAndFamily = BYTE((fixedPitch ? 0 : 0x01) | 0x02 | 0x04 | (fixedPitch ? FF_MODERN : (log.lfPitchAndFamily & 0xF0)));
    tm.tmCharSet = log.lfCharSet;
    tm.tmAveCharWidth = avgWidth > 0 ? LONG(std::lround(avgWidth * scale * widthScale))
                                     : OwnGlyph(U'x').advance;

    underline_ = log.lfUnderline != 0;
    strikeOut_ = log.lfStrikeOut != 0;
    underlineThickness_ = std::max(1, int(std::lround(underlineSize * scale)));
    underlinePosition_ = std::max(1, int(std::lround(underlinePos * scale)));
    underlinePosition_ = std::min(underlinePosition_, std::max<int>(1, tm.tmDescent - 1));
    strikeOutThickness_ = std::max(1, int(std::lround((strikeSize > 0 ? strikeSize : underlineSize) * scale)));
    strikeOutPosition_ = strikePos > 0 ? int(std::lround(strikePos * scale)) : tm.tmAscent / 3;
    return true;
}

FontFace::Glyph FontFace::OwnGlyph(char32_t codepoint)
{
    Glyph glyph{0, 0, 0};
    FT_Face ft = cairo_ft_scaled_font_lock_face(upright_);
    if (ft) {
        glyph.index = FT_Get_Char_Index(ft, FT_ULong(codepoint));
        cairo_ft_scaled_font_unlock_face(upright_);
    }
    cairo_glyph_t g{glyph.index, 0, 0};
    cairo_text_extents_t extents;
    cairo_scaled_font_glyph_extents(upright_, &g, 1, &extents);
    glyph.advance = int(std::lround(extents.x_advance));
    return glyph;
}

FontFace::Glyph FontFace::GlyphFor(char32_t codepoint)
{
    auto it = glyphs_.find(codepoint);
    if (it != glyphs_.end()) return it->second;
    Glyph glyph = OwnGlyph(codepoint);
    if (glyph.index == 0 && !isFallback_) {
        if (std::uint8_t source = FallbackFor(codepoint)) {
            glyph = fallbacks_[source - 1u]->GlyphFor(codepoint);
            glyph.source = source;
        }
    }
    glyphs_.emplace(codepoint, glyph);
    return glyph;
}

bool FontFace::Has(char32_t codepoint)
{
    Glyph glyph = GlyphFor(codepoint);
    return glyph.source == 0 && glyph.index != 0;
}

namespace {

// Controls, surrogates and noncharacters are nobody's letters: searching
// every installed face for them would only find a different box.
bool Searchable(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
    if (c >= 0xD800 && c < 0xE000) return false;
    if ((c & 0xFFFE) == 0xFFFE || (c >= 0xFDD0 && c < 0xFDF0)) return false;
    return c <= 0x10FFFF;
}

// Fallback faces are shared by every face that needs them at the same size.
std::string FallbackKey(const std::string& file, int index, FcPattern* prepared, double em,
                        double widthScale, double escapement)
{
    FcBool embolden = FcFalse;
    FcPatternGetBool(prepared, FC_EMBOLDEN, 0, &embolden);
    FcMatrix* matrix = nullptr;
    FcMatrix m{1, 0, 0, 1};
    if (FcPatternGetMatrix(prepared, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix) m = *matrix;
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "|%d|%.6g|%.6g|%.6g|%d|%.4g,%.4g,%.4g,%.4g", index, em,
                  widthScale, escapement, int(embolden), m.xx, m.xy, m.yx, m.yy);
    return "fallback|" + file + numbers;
}

}  // namespace

std::uint8_t FontFace::FallbackFor(char32_t codepoint)
{
    if (!Searchable(codepoint) || isFallback_) return 0;
    // The request is made again when needed rather than kept: fontconfig's
    // patterns hide their pointers from the leak checker.
    struct Request {
        FcPattern* pattern;
        ~Request()
        {
            if (pattern) FcPatternDestroy(pattern);
        }
    } request{nullptr};
    if (!candidates_) {
        request.pattern = RequestPattern(log_);
        if (!request.pattern) return 0;
        FcResult result = FcResultNoMatch;
        // Trimmed: a face that adds no character to those before it can
        // never be the first to have one.
        candidates_ = FcFontSort(nullptr, request.pattern, FcTrue, nullptr, &result);
        if (!candidates_) return 0;
    }
    for (int i = 0; i < candidates_->nfont; ++i) {
        FcPattern* font = candidates_->fonts[i];
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch || !charset || !FcCharSetHasChar(charset, FcChar32(codepoint))) {
            continue;
        }
        int index = 0;
        std::string file = FileOf(font, index);
        if (file.empty() || (file == file_ && index == fileIndex_)) continue;
        for (std::size_t k = 0; k < fallbacks_.size(); ++k) {
            if (fallbacks_[k]->file_ == file && fallbacks_[k]->fileIndex_ == index) {
                return fallbacks_[k]->OwnGlyph(codepoint).index ? std::uint8_t(k + 1) : 0;
            }
        }
        if (fallbacks_.size() >= 255) return 0;
        if (!request.pattern) request.pattern = RequestPattern(log_);
        if (!request.pattern) return 0;
        FcPattern* prepared = FcFontRenderPrepare(nullptr, request.pattern, font);
        if (!prepared) return 0;
        MakeBilevel(prepared);
        std::string key = FallbackKey(file, index, prepared, em_, widthScale_, escapement_);
        std::shared_ptr<FontFace> face;
        {
            FaceCache& cache = Cache();
            std::lock_guard<std::mutex> guard(cache.lock);
            auto it = cache.faces.find(key);
            if (it != cache.faces.end()) face = it->second.lock();
            if (!face) {
                face.reset(new FontFace);
                if (face->LoadMatch(prepared, em_, widthScale_, escapement_)) {
                    cache.faces[key] = face;
                } else {
                    face.reset();
                }
            }
        }
        FcPatternDestroy(prepared);
        if (!face) continue;
        fallbacks_.push_back(face);
        // The character set is fontconfig's word; the face's own map decides.
        if (face->OwnGlyph(codepoint).index) return std::uint8_t(fallbacks_.size());
    }
    return 0;
}

bool FontFace::LoadMatch(FcPattern* match, double em, double widthScale, double escapement)
{
    isFallback_ = true;
    FcChar8* familyName = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &familyName) == FcResultMatch && familyName) {
        family_ = reinterpret_cast<const char*>(familyName);
    }
    file_ = FileOf(match, fileIndex_);
    face_ = cairo_ft_font_face_create_for_pattern(match);
    if (cairo_font_face_status(face_) != CAIRO_STATUS_SUCCESS) return false;
    DesignMetrics design;
    if (!ReadDesignMetrics(face_, design)) return false;
    em_ = em;
    widthScale_ = widthScale;
    escapement_ = escapement;
    upright_ = MakeScaled(face_, em * widthScale, em, 0);
    if (!upright_) return false;
    drawing_ = escapement_ == 0 ? upright_ : MakeScaled(face_, em * widthScale, em, escapement_);
    if (!drawing_) return false;
    // Only the glyph images use a fallback face's cell: lines and the cell
    // of the text are the selected face's.
    double scale = em / design.upem;
    metrics_.tmAscent = LONG(std::lround(design.winAscent * scale));
    metrics_.tmDescent = LONG(std::lround(design.winDescent * scale));
    metrics_.tmHeight = metrics_.tmAscent + metrics_.tmDescent;
    return true;
}

hb_font_t* FontFace::Shaper()
{
    if (shaperTried_) return shaper_;
    shaperTried_ = true;
    if (file_.empty()) return nullptr;
    // One HarfBuzz face per font file, shared by every size and kept for
    // the life of the process, as fontconfig keeps its list of files.
    static std::mutex lock;
    static auto* faces = new std::map<std::pair<std::string, int>, hb_face_t*>;
    hb_face_t* face = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto key = std::make_pair(file_, fileIndex_);
        auto it = faces->find(key);
        if (it != faces->end()) {
            face = it->second;
        } else {
            hb_blob_t* blob = hb_blob_create_from_file_or_fail(file_.c_str());
            if (blob) {
                face = hb_face_create(blob, unsigned(std::max(fileIndex_, 0)));
                hb_blob_destroy(blob);
            }
            (*faces)[key] = face;
        }
    }
    if (!face || hb_face_get_glyph_count(face) == 0) return nullptr;
    shaper_ = hb_font_create(face);
    hb_font_set_scale(shaper_, int(std::lround(em_ * widthScale_ * 64)), int(std::lround(em_ * 64)));
    return shaper_;
}

namespace {

// A page of Latin text needs a few hundred kilobytes of images; a face
// that goes past this (thousands of large ideographs) starts afresh. With
// the faces kept alive, this bounds what stays behind after the fonts go.
constexpr std::size_t kImageBudget = std::size_t(4) << 20;
// Glyphs larger than this (in pixels) are drawn through cairo every time.
constexpr long long kMaxImagePixels = 1 << 20;

}  // namespace

void FontFace::TrimImages()
{
    if (imageBytes_ < kImageBudget) return;
    images_.clear();
    imageBytes_ = 0;
}

const FontFace::GlyphImage* FontFace::Image(unsigned long index)
{
    if (drawing_ != upright_) return nullptr;
    auto it = images_.find(index);
    if (it != images_.end()) return it->second.get();
    if (imageBytes_ >= kImageBudget) return nullptr;
    // The glyph is drawn alone exactly as a text run draws it, through a
    // mask, into a box around its ink with room to spare: what falls
    // outside the measured ink still shows.
    cairo_glyph_t g{index, 0, 0};
    cairo_text_extents_t ink;
    cairo_scaled_font_glyph_extents(upright_, &g, 1, &ink);
    const long long pad = 8 + metrics_.tmHeight;
    DeviceRect box{(long long)std::floor(std::min(ink.x_bearing, 0.0)) - pad,
                   (long long)std::floor(std::min(ink.y_bearing, 0.0)) - pad,
                   (long long)std::ceil(std::max(ink.x_bearing + ink.width, 0.0)) + pad,
                   (long long)std::ceil(std::max(ink.y_bearing + ink.height, 0.0)) + pad};
    std::unique_ptr<GlyphImage> image;
    const long long boxWidth = box.right - box.left, boxHeight = box.bottom - box.top;
    if (boxWidth <= 0 || boxHeight <= 0 || boxWidth > 32767 || boxHeight > 32767 || boxWidth * boxHeight > 4 * kMaxImagePixels) {
        images_.emplace(index, nullptr);
        return nullptr;
    }
    CoverageMask mask(box);
    if (!mask.Ok()) return nullptr;  // not remembered: memory may come back
    cairo_t* cr = mask.Context();
    mask.SetLevel(Level::Pen);
    cairo_set_scaled_font(cr, upright_);
    cairo_show_glyphs(cr, &g, 1);
    int w = int(boxWidth), h = int(boxHeight);
    int minX = w, minY = h, maxX = -1, maxY = -1;
    bool bilevel = true;
    for (int y = 0; y < h && bilevel; ++y) {
        const unsigned char* row = mask.Row(y);
        for (int x = 0; x < w; ++x) {
            if (row[x] == 0) continue;
            if (row[x] != 255) {
                bilevel = false;
                break;
            }
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    }
    // Ink touching the edge of the box might have been cut off by it.
    bool touchesEdge = maxX >= 0 && (minX == 0 || minY == 0 || maxX == w - 1 || maxY == h - 1);
    if (bilevel && !touchesEdge && (maxX < 0 || (long long)(maxX - minX + 1) * (maxY - minY + 1) <= kMaxImagePixels)) {
        image = std::make_unique<GlyphImage>();
        if (maxX >= 0) {
            image->left = int(box.left) + minX;
            image->top = int(box.top) + minY;
            image->width = maxX - minX + 1;
            image->height = maxY - minY + 1;
            image->ink.resize(std::size_t(image->width) * std::size_t(image->height));
            for (int y = 0; y < image->height; ++y) {
                const unsigned char* row = mask.Row(minY + y) + minX;
                for (int x = 0; x < image->width; ++x) {
                    image->ink[std::size_t(y) * std::size_t(image->width) + std::size_t(x)] = row[x] ? 1 : 0;
                }
            }
        }
        // The packed bits, when asked for, add their rows of whole words.
        imageBytes_ += sizeof(GlyphImage) + image->ink.size()
            + std::size_t(image->BitStride()) * std::size_t(std::max(image->height, 0));
    }
    const GlyphImage* result = image.get();
    images_.emplace(index, std::move(image));
    return result;
}

const std::uint8_t* FontFace::GlyphImage::Bits() const
{
    if (bits_.empty() && width > 0) {
        bits_.assign(std::size_t(BitStride()) * std::size_t(height), 0);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* in = ink.data() + std::size_t(y) * std::size_t(width);
            std::uint8_t* out = bits_.data() + std::size_t(y) * std::size_t(BitStride());
            for (int x = 0; x < width; ++x) {
                if (in[x]) out[x >> 3] = std::uint8_t(out[x >> 3] | (0x80 >> (x & 7)));
            }
        }
    }
    return bits_.data();
}

std::shared_ptr<FontFace> FaceOf(Font& font)
{
    if (!font.face) font.face = FontFace::Realise(font.log);
    return font.face;
}

}  // namespace tarvel::gdi
