// One line of text laid out: glyphs from the selected face or its fallback
// faces, complex scripts shaped by HarfBuzz, right-to-left text put in
// visual order by the bidirectional algorithm (FriBidi). Simple scripts keep
// one glyph per character at its own whole-pixel advance, without kerning
// or ligatures, so that the extents of a text are the sums of its parts.
#include "platform/gdi/TextRun.h"

#include <fribidi.h>

#include <algorithm>
#include <memory>

namespace tarvel::gdi {
namespace {

// Text longer than this is laid out character by character in logical
// order: no line of a page is that long, and shaping and reordering it
// would take memory in proportion for nothing that can be read.
constexpr int kMaxShapedUnits = 1 << 20;

// A run is shaped in pieces of at most this many characters. HarfBuzz
// keeps the distance from a mark to its base in 16 bits: thousands of
// marks on one letter must not reach it, and no word is this long.
constexpr int kMaxRunCharacters = 4096;

// Units that can only belong to left-to-right text in scripts drawn one
// glyph per character: such a text takes the short way.
inline bool PlainUnit(char16_t c)
{
    return c < 0x0590 || (c >= 0x1E00 && c < 0x2000) || (c >= 0x2E80 && c < 0xA000) || (c >= 0xAC00 && c < 0xD7A4) || (c >= 0xF900 && c < 0xFB00) || (c >= 0xFF00 && c < 0xFFF0);
}

int Held(long long v)
{
    return int(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// Adds a glyph to the layout, opening a new run when its face changes.
void Append(TextLayout& layout, FontFace& face, unsigned long index, long long x, long long y)
{
    layout.glyphs.push_back(cairo_glyph_t{index, double(x), double(y)});
    if (layout.runs.empty() || layout.runs.back().face != &face) {
        layout.runs.push_back(GlyphRun{&face, int(layout.glyphs.size()) - 1, 0});
    }
    ++layout.runs.back().count;
}

// Today's rule for plain text, also the rule of texts too long to shape.
TextLayout LayoutPlain(FontFace& face, const char16_t* text, int count, const INT* dx)
{
    TextLayout layout;
    layout.extents.resize(std::size_t(std::max(count, 0)));
    layout.glyphs.reserve(std::size_t(std::max(count, 0)));
    long long pen = 0;
    for (int i = 0; i < count; ++i) {
        char32_t c = text[i];
        bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
        FontFace::Glyph glyph = face.GlyphFor(c);
        Append(layout, face.Source(glyph.source), glyph.index, pen, 0);
        // A surrogate pair advances once, on its first unit, unless the
        // caller's spacing array says otherwise.
        pen += dx ? dx[i] : glyph.advance;
        layout.extents[std::size_t(i)] = Held(pen);
        if (pair) {
            ++i;
            if (dx) pen += dx[i];
            layout.extents[std::size_t(i)] = Held(pen);
        }
    }
    layout.width = Held(pen);
    return layout;
}

bool SimpleScript(hb_script_t script)
{
    switch (script) {
    case HB_SCRIPT_COMMON:
    case HB_SCRIPT_INHERITED:
    case HB_SCRIPT_UNKNOWN:
    case HB_SCRIPT_LATIN:
    case HB_SCRIPT_GREEK:
    case HB_SCRIPT_CYRILLIC:
    case HB_SCRIPT_ARMENIAN:
    case HB_SCRIPT_GEORGIAN:
    case HB_SCRIPT_HAN:
    case HB_SCRIPT_HIRAGANA:
    case HB_SCRIPT_KATAKANA:
    case HB_SCRIPT_HANGUL:
    case HB_SCRIPT_BOPOMOFO:
    case HB_SCRIPT_YI: return true;
    default: return false;
    }
}

bool Neutral(hb_script_t script)
{
    return script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED || script == HB_SCRIPT_UNKNOWN;
}

// The characters of a text with what the layout decides for each.
struct Characters {
    std::vector<char32_t> codepoints;
    std::vector<int> unit;  // first UTF-16 unit of each character; one more at the end
    std::vector<FriBidiLevel> levels;
    std::vector<hb_script_t> scripts;
    std::vector<std::uint8_t> sources;
};

void Decode(const char16_t* text, int count, Characters& out)
{
    out.codepoints.reserve(std::size_t(count));
    out.unit.reserve(std::size_t(count) + 1);
    for (int i = 0; i < count; ++i) {
        char32_t c = text[i];
        out.unit.push_back(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        out.codepoints.push_back(c);
    }
    out.unit.push_back(count);
}

// Embedding levels by the bidirectional algorithm; all 0 (left to right)
// when nothing in the text goes the other way.
void ResolveLevels(Characters& chars, TextDirection direction)
{
    const int n = int(chars.codepoints.size());
    chars.levels.assign(std::size_t(n), direction == TextDirection::RightToLeft ? 1 : 0);
    std::vector<FriBidiCharType> types(static_cast<std::size_t>(n));
    const auto* str = reinterpret_cast<const FriBidiChar*>(chars.codepoints.data());
    fribidi_get_bidi_types(str, n, types.data());
    bool rtl = direction == TextDirection::RightToLeft;
    for (int i = 0; i < n && !rtl; ++i) {
        FriBidiCharType t = types[std::size_t(i)];
        rtl = FRIBIDI_IS_RTL(t) || FRIBIDI_IS_ARABIC(t) || FRIBIDI_IS_EXPLICIT(t) || FRIBIDI_IS_ISOLATE(t);
    }
    if (!rtl) return;
    std::vector<FriBidiBracketType> brackets(static_cast<std::size_t>(n));
    fribidi_get_bracket_types(str, n, types.data(), brackets.data());
    FriBidiParType base = direction == TextDirection::Auto ? FRIBIDI_PAR_ON
        : direction == TextDirection::RightToLeft          ? FRIBIDI_PAR_RTL
                                                           : FRIBIDI_PAR_LTR;
    if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &base, chars.levels.data())) {
        std::fill(chars.levels.begin(), chars.levels.end(), FriBidiLevel(0));
    }
}

// Scripts, with the neutral characters (spaces, punctuation, marks) taking
// that of the text around them, and the face each character comes from: a
// neutral character stays with the face of the one before it where that
// face has it, so that marks sit on their bases and words keep their face.
void ResolveScriptsAndFaces(FontFace& face, Characters& chars)
{
    const std::size_t n = chars.codepoints.size();
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    chars.scripts.resize(n);
    chars.sources.resize(n);
    hb_script_t last = HB_SCRIPT_COMMON;
    std::size_t firstReal = n;
    for (std::size_t i = 0; i < n; ++i) {
        hb_script_t script = hb_unicode_script(unicode, chars.codepoints[i]);
        if (Neutral(script)) {
            script = last;
        } else if (firstReal == n) {
            firstReal = i;
        }
        chars.scripts[i] = last = script;
    }
    for (std::size_t i = 0; i < firstReal && firstReal < n; ++i) chars.scripts[i] = chars.scripts[firstReal];
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t c = chars.codepoints[i];
        std::uint8_t source = face.GlyphFor(c).source;
        if (i > 0 && source != chars.sources[i - 1]) {
            hb_script_t own = hb_unicode_script(unicode, c);
            std::uint8_t before = chars.sources[i - 1];
            if (Neutral(own) && face.Source(before).GlyphFor(c).index != 0 && (before == 0 ? face.Has(c) : true)) {
                source = before;
            }
        }
        chars.sources[i] = source;
    }
}

struct Cluster {
    int unitFirst, unitEnd;  // the logical units it stands for
    long long advance;
    int glyphFirst, glyphEnd;
};

struct Glyph {
    unsigned long index;
    FontFace* face;
    long long x, y;  // from the cluster's left end
};

// A stretch of characters with one level, laid out into clusters in
// visual order.
struct Run {
    int first, end;  // characters
    FriBidiLevel level;
    std::vector<Cluster> clusters;
};

class LineLayouter {
public:
    LineLayouter(FontFace& face, const char16_t* text, int count, const INT* dx)
        : face_(face)
        , text_(text)
        , count_(count)
        , dx_(dx)
    {
    }

    TextLayout Layout(TextDirection direction)
    {
        Decode(text_, count_, chars_);
        ResolveLevels(chars_, direction);
        ResolveScriptsAndFaces(face_, chars_);
        advances_.assign(std::size_t(count_), 0);
        const int n = int(chars_.codepoints.size());
        for (int i = 0; i < n;) {
            int end = i + 1;
            while (end < n && !Breaks(end) && end - i < kMaxRunCharacters) ++end;
            if (end < n && end - i == kMaxRunCharacters && !Breaks(end)) {
                // Cut after a space where there is one not far back.
                int space = end;
                while (space > i + kMaxRunCharacters / 2 && chars_.codepoints[std::size_t(space) - 1] != U' ') --space;
                if (space > i + kMaxRunCharacters / 2) end = space;
            }
            runs_.push_back(Run{i, end, chars_.levels[std::size_t(i)], {}});
            if (SimpleScript(chars_.scripts[std::size_t(i)]) || !Shape(runs_.back())) LayOutSimple(runs_.back());
            i = end;
        }
        return Place();
    }

private:
    bool Breaks(int i) const
    {
        auto k = std::size_t(i);
        if (chars_.levels[k] != chars_.levels[k - 1]) return true;
        bool simple = SimpleScript(chars_.scripts[k]);
        if (simple != SimpleScript(chars_.scripts[k - 1])) return true;
        return !simple && (chars_.scripts[k] != chars_.scripts[k - 1] || chars_.sources[k] != chars_.sources[k - 1]);
    }

    long long SpacingOf(int unitFirst, int unitEnd) const
    {
        long long sum = 0;
        for (int u = unitFirst; u < unitEnd; ++u) sum += dx_[u];
        return sum;
    }

    // One glyph per character, mirrored where the level turns it round.
    void LayOutSimple(Run& run)
    {
        for (int i = run.first; i < run.end; ++i) {
            char32_t c = chars_.codepoints[std::size_t(i)];
            FriBidiChar mirrored = 0;
            if ((run.level & 1) && fribidi_get_mirror_char(c, &mirrored)) c = mirrored;
            FontFace& from = face_.Source(chars_.sources[std::size_t(i)]);
            FontFace::Glyph glyph = from.GlyphFor(c);
            const int u0 = chars_.unit[std::size_t(i)], u1 = chars_.unit[std::size_t(i) + 1];
            long long advance = dx_ ? SpacingOf(u0, u1) : glyph.advance;
            int g = int(glyphs_.size());
            glyphs_.push_back(Glyph{glyph.index, &from.Source(glyph.source), 0, 0});
            run.clusters.push_back(Cluster{u0, u1, advance, g, g + 1});
            advances_[std::size_t(u0)] = advance;
        }
        if (run.level & 1) std::reverse(run.clusters.begin(), run.clusters.end());
    }

    bool Shape(Run& run)
    {
        const auto s = std::size_t(run.first);
        FontFace& from = face_.Source(chars_.sources[s]);
        hb_font_t* font = from.Shaper();
        if (!font) return false;
        struct BufferDeleter {
            void operator()(hb_buffer_t* b) const { hb_buffer_destroy(b); }
        };
        thread_local std::unique_ptr<hb_buffer_t, BufferDeleter> held(hb_buffer_create());
        hb_buffer_t* buffer = held.get();
        hb_buffer_clear_contents(buffer);
        const int u0 = chars_.unit[s], u1 = chars_.unit[std::size_t(run.end)];
        hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text_), count_, unsigned(u0), u1 - u0);
        hb_buffer_set_direction(buffer, (run.level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_set_script(buffer, chars_.scripts[s]);
        hb_buffer_set_language(buffer, hb_language_get_default());
        hb_buffer_set_cluster_level(buffer, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_GRAPHEMES);
        hb_buffer_set_flags(buffer, hb_buffer_flags_t((u0 == 0 ? HB_BUFFER_FLAG_BOT : 0) | (u1 == count_ ? HB_BUFFER_FLAG_EOT : 0)));
        hb_shape(font, buffer, nullptr, 0);
        unsigned n = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &n);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
        if (n == 0) return false;
        const bool rtl = run.level & 1;
        // Glyphs come in visual order; those of one cluster are together.
        for (unsigned g = 0; g < n;) {
            unsigned end = g + 1;
            while (end < n && info[end].cluster == info[g].cluster) ++end;
            Cluster cluster{int(info[g].cluster), u1, 0, int(glyphs_.size()), 0};
            // The cluster reaches to the next one in logical order.
            if (!rtl && end < n) cluster.unitEnd = int(info[end].cluster);
            if (rtl && g > 0) cluster.unitEnd = int(info[g - 1].cluster);
            long long pen = 0;  // 26.6
            for (unsigned k = g; k < end; ++k) {
                glyphs_.push_back(Glyph{info[k].codepoint, &from, (pen + pos[k].x_offset + 32) >> 6,
                                        -((pos[k].y_offset + 32) >> 6)});
                pen += pos[k].x_advance;
            }
            cluster.glyphEnd = int(glyphs_.size());
            cluster.advance = dx_ ? SpacingOf(cluster.unitFirst, cluster.unitEnd) : (pen + 32) >> 6;
            if (cluster.unitFirst >= u0 && cluster.unitFirst < count_) {
                advances_[std::size_t(cluster.unitFirst)] = cluster.advance;
            }
            run.clusters.push_back(cluster);
            g = end;
        }
        return true;
    }

    // Runs in visual order (reversing every stretch at or above each odd
    // level, highest first), then the pen from left to right.
    TextLayout Place()
    {
        int highest = 0, lowestOdd = 1000;
        for (const Run& run : runs_) {
            highest = std::max(highest, int(run.level));
            if (run.level & 1) lowestOdd = std::min(lowestOdd, int(run.level));
        }
        std::vector<std::size_t> order(runs_.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        for (int level = highest; level >= lowestOdd && level > 0; --level) {
            for (std::size_t i = 0; i < order.size();) {
                if (runs_[order[i]].level < level) {
                    ++i;
                    continue;
                }
                std::size_t end = i;
                while (end < order.size() && runs_[order[end]].level >= level) ++end;
                std::reverse(order.begin() + std::ptrdiff_t(i), order.begin() + std::ptrdiff_t(end));
                i = end;
            }
        }
        TextLayout layout;
        layout.glyphs.reserve(glyphs_.size());
        long long pen = 0;
        for (std::size_t r : order) {
            for (const Cluster& cluster : runs_[r].clusters) {
                for (int g = cluster.glyphFirst; g < cluster.glyphEnd; ++g) {
                    const Glyph& glyph = glyphs_[std::size_t(g)];
                    Append(layout, *glyph.face, glyph.index, pen + glyph.x, glyph.y);
                }
                pen += cluster.advance;
            }
        }
        layout.extents.resize(std::size_t(count_));
        long long logical = 0;
        for (int u = 0; u < count_; ++u) {
            logical += dx_ ? dx_[u] : advances_[std::size_t(u)];
            layout.extents[std::size_t(u)] = Held(logical);
        }
        layout.width = Held(pen);
        return layout;
    }

    FontFace& face_;
    const char16_t* text_;
    int count_;
    const INT* dx_;
    Characters chars_;
    std::vector<Run> runs_;
    std::vector<Glyph> glyphs_;
    std::vector<long long> advances_;  // per unit, logical
};

}  // namespace

TextLayout LayoutText(FontFace& face, const char16_t* text, int count, const INT* dx, TextDirection direction)
{
    bool plain = direction != TextDirection::RightToLeft;
    for (int i = 0; i < count && plain; ++i) plain = PlainUnit(text[i]);
    if (plain || count > kMaxShapedUnits) return LayoutPlain(face, text, count, dx);
    return LineLayouter(face, text, count, dx).Layout(direction);
}

TextDirection ParagraphDirection(const char16_t* text, int count)
{
    for (int i = 0; i < count; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        FriBidiCharType type = fribidi_get_bidi_type(c);
        if (FRIBIDI_IS_LETTER(type)) {
            return FRIBIDI_IS_RTL(type) ? TextDirection::RightToLeft : TextDirection::LeftToRight;
        }
    }
    return TextDirection::LeftToRight;
}

std::vector<INT> UnitAdvances(FontFace& face, const char16_t* text, int count, TextDirection direction)
{
    bool plain = direction != TextDirection::RightToLeft;
    for (int i = 0; i < count && plain; ++i) plain = PlainUnit(text[i]);
    if (plain || count > kMaxShapedUnits) return {};
    TextLayout layout = LayoutText(face, text, count, nullptr, direction);
    std::vector<INT> advances(std::size_t(std::max(count, 0)));
    int before = 0;
    for (int u = 0; u < count; ++u) {
        advances[std::size_t(u)] = layout.extents[std::size_t(u)] - before;
        before = layout.extents[std::size_t(u)];
    }
    return advances;
}

}  // namespace tarvel::gdi
