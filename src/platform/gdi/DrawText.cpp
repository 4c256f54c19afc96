// DrawTextW: text laid out in a rectangle by its format bits.
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/RecordingSupport.h"
#include "platform/gdi/TextRun.h"

#include <algorithm>
#include <climits>

namespace tarvel::gdi {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr int kMaxDrawTextUnits = 1 << 24;

struct Line {
    int start = 0;
    int end = 0;  // exclusive
    long long width = 0;
    TextDirection direction = TextDirection::Auto;  // its paragraph's
};

struct Prepared {
    std::u16string text;
    int mark = -1;  // index of the character a prefix underlines
};

// Removes prefix ampersands: "&x" underlines x, "&&" is one ampersand.
Prepared Prepare(const char16_t* text, int n, UINT format)
{
    Prepared out;
    out.text.reserve(std::size_t(n));
    bool prefixes = !(format & DT_NOPREFIX);
    for (int i = 0; i < n; ++i) {
        char16_t c = text[i];
        if ((format & DT_SINGLELINE) && (c == u'\r' || c == u'\n')) continue;
        if (prefixes && c == u'&' && i + 1 < n) {
            ++i;
            if (text[i] != u'&') out.mark = int(out.text.size());
            out.text += text[i];
            continue;
        }
        out.text += c;
    }
    return out;
}

class Layouter {
public:
    Layouter(FontFace& face, const Prepared& text, UINT format, int tabStop)
        : face_(face)
        , text_(text.text)
        , format_(format)
        , tabWidth_(tabStop)
    {
    }

    // Advance of unit i of a line that starts at `start` and ends before
    // `end`, with the pen `pen` pixels from the line's start (tabs reach to
    // the next stop from there).
    int Advance(int i, int start, int end, long long pen)
    {
        char32_t c = text_[std::size_t(i)];
        if (c == u'\t' && (format_ & DT_EXPANDTABS) && tabWidth_ > 0) {
            return int(tabWidth_ - pen % tabWidth_);
        }
        // Shaped text measures by clusters, as its paragraph shapes them.
        if (!shaped_.empty() && shaped_[std::size_t(i)] != kUnshaped) return shaped_[std::size_t(i)];
        if (c >= 0xDC00 && c < 0xE000 && i > start) return 0;  // measured with the first half
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < end) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text_[std::size_t(i) + 1]) - 0xDC00);
        }
        return face_.GlyphFor(c).advance;
    }

    // Advances of units start..end-1 of a line that starts at `start`.
    std::vector<INT> Advances(int start, int end)
    {
        std::vector<INT> dx(std::size_t(end - start));
        long long pen = 0;
        for (int i = start; i < end; ++i) {
            dx[std::size_t(i - start)] = Advance(i, start, end, pen);
            pen += dx[std::size_t(i - start)];
        }
        return dx;
    }

    long long Width(int start, int end)
    {
        long long w = 0;
        for (INT a : Advances(start, end)) w += a;
        return w;
    }

    std::vector<Line> Lines(long long maxWidth)
    {
        std::vector<Line> lines;
        int n = int(text_.size());
        int pos = 0;
        bool single = format_ & DT_SINGLELINE;
        while (true) {
            int end = pos;
            if (single) {
                end = n;
            } else {
                while (end < n && text_[std::size_t(end)] != u'\r' && text_[std::size_t(end)] != u'\n') ++end;
            }
            const std::size_t first = lines.size();
            Shape(pos, end);
            if ((format_ & DT_WORDBREAK) && !single) {
                Wrap(pos, end, maxWidth, lines);
            } else {
                lines.push_back(Line{pos, end, Width(pos, end)});
            }
            for (std::size_t k = first; k < lines.size(); ++k) lines[k].direction = direction_;
            if (end >= n) break;
            // CR LF is one break; a lone CR or LF is one too.
            pos = end + ((text_[std::size_t(end)] == u'\r' && end + 1 < n && text_[std::size_t(end) + 1] == u'\n') ? 2 : 1);
            if (pos >= n) break;
        }
        return lines;
    }

private:
    static constexpr INT kUnshaped = INT_MIN;

    // Breaks are found in logical order, with the advances the paragraph
    // has when shaped whole; each line is then put in visual order on its
    // own, with the paragraph's direction.
    void Shape(int pos, int end)
    {
        const char16_t* paragraph = text_.data() + pos;
        direction_ = ParagraphDirection(paragraph, end - pos);
        std::vector<INT> advances = UnitAdvances(face_, paragraph, end - pos, direction_);
        if (advances.empty()) return;
        if (shaped_.empty()) shaped_.assign(text_.size(), kUnshaped);
        std::copy(advances.begin(), advances.end(), shaped_.begin() + pos);
    }

    void Wrap(int pos, int end, long long maxWidth, std::vector<Line>& lines)
    {
        if (pos == end) {
            lines.push_back(Line{pos, end, 0});
            return;
        }
        // Each line measures only as far as its break: measuring the rest
        // of the paragraph for every line made long paragraphs in narrow
        // boxes take quadratic time.
        while (pos < end) {
            long long x = 0;
            int breakAt = -1;
            int i = pos;
            for (; i < end; ++i) {
                bool space = text_[std::size_t(i)] == u' ';
                if (space && i > pos && text_[std::size_t(i) - 1] != u' ') breakAt = i;
                const int advance = Advance(i, pos, end, x);
                if (!space && i > pos && x + advance > maxWidth) {
                    if (breakAt <= pos) {
                        // A word wider than the rectangle keeps its own line.
                        breakAt = i;
                        while (breakAt < end && text_[std::size_t(breakAt)] != u' ') ++breakAt;
                    }
                    break;
                }
                x += advance;
            }
            if (i == end || breakAt >= end) {
                lines.push_back(Line{pos, end, Width(pos, end)});
                return;
            }
            int lineEnd = breakAt;
            while (lineEnd > pos && text_[std::size_t(lineEnd) - 1] == u' ') --lineEnd;
            lines.push_back(Line{pos, lineEnd, Width(pos, lineEnd)});
            pos = breakAt;
            while (pos < end && text_[std::size_t(pos)] == u' ') ++pos;
        }
    }

    FontFace& face_;
    const std::u16string& text_;
    UINT format_;
    long long tabWidth_;
    std::vector<INT> shaped_;  // per unit; empty while all text is plain
    TextDirection direction_ = TextDirection::Auto;
};

// Lays out and draws the text; with `area` given, only adds to it what
// each line would touch and draws nothing.
int Draw(Dc& dc, const char16_t* source, int count, RECT* rc, UINT format, DeviceRect* area = nullptr)
{
    auto face = FaceOf(*dc.font);
    if (!face) return 0;
    const TEXTMETRICW& tm = face->Metrics();
    int tabChars = 8;
    if (format & DT_TABSTOP) {
        tabChars = int((format >> 8) & 0xFF);
        format &= ~0xFF00u;
    }
    Prepared prepared = Prepare(source, count, format);
    if (prepared.text.empty()) {
        if (format & DT_CALCRECT) {
            rc->right = rc->left;
            rc->bottom = rc->top;
        }
        return 0;
    }
    Layouter layouter(*face, prepared, format, tabChars * std::max<LONG>(1, tm.tmAveCharWidth));
    long long boxWidth = (long long)rc->right - rc->left;
    std::vector<Line> lines = layouter.Lines(boxWidth);
    long long lineHeight = tm.tmHeight + ((format & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
    long long height = lineHeight * (long long)lines.size();
    long long widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);

    if (format & DT_CALCRECT) {
        rc->right = LONG(std::clamp<long long>(rc->left + widest, INT32_MIN, INT32_MAX));
        rc->bottom = LONG(std::clamp<long long>(rc->top + height, INT32_MIN, INT32_MAX));
        return int(std::min<long long>(height, INT32_MAX));
    }

    long long top = rc->top;
    bool single = format & DT_SINGLELINE;
    if (single && (format & DT_VCENTER)) {
        top = rc->top + ((long long)rc->bottom - rc->top - lineHeight) / 2;
    } else if (single && (format & DT_BOTTOM)) {
        top = (long long)rc->bottom - lineHeight;
    }
    long long vx = dc.viewportOrg.x, vy = dc.viewportOrg.y;
    DeviceRect clip{rc->left + vx, rc->top + vy, rc->right + vx, rc->bottom + vy};
    long long y = top;
    for (const Line& line : lines) {
        long long x = rc->left;
        if (format & DT_CENTER) {
            x = rc->left + (boxWidth - line.width) / 2;
        } else if (format & DT_RIGHT) {
            x = (long long)rc->right - line.width;
        }
        std::vector<INT> dx = layouter.Advances(line.start, line.end);
        TextLayout layout = LayoutText(*face, prepared.text.data() + line.start,
                                       line.end - line.start, dx.data(), line.direction);
        TextDrawing how;
        how.originX = x + vx;
        how.originY = y + vy + tm.tmAscent;
        how.clip = (format & DT_NOCLIP) ? nullptr : &clip;
        how.opaqueBox = dc.bkMode == OPAQUE;
        if (prepared.mark >= line.start && prepared.mark < line.end) {
            int i = prepared.mark - line.start;
            how.marks.emplace_back(i ? layout.extents[std::size_t(i) - 1] : 0,
                                   layout.extents[std::size_t(i)]);
        }
        if (area) {
            *area = Union(*area, TextRunArea(*face, layout, how));
        } else {
            DrawTextRun(dc, *face, layout, how);
        }
        y += lineHeight;
    }
    long long result = (single && (format & (DT_VCENTER | DT_BOTTOM))) ? (top - rc->top) + height
                                                                       : height;
    return int(std::clamp<long long>(result, INT32_MIN, INT32_MAX));
}

}  // namespace

RECT DrawTextArea(HDC hdc, LPCWSTR text, int count, const RECT& rect, UINT format)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !text) return RECT{};
    if (count < 0) count = TextLength(text, kMaxDrawTextUnits + 1);
    if (count > kMaxDrawTextUnits) return RECT{};
    RECT box = rect;
    DeviceRect area{0, 0, 0, 0};
    Draw(*dc, text, count, &box, format, &area);
    return LogicalRect(*dc, area);
}

}  // namespace tarvel::gdi

using namespace tarvel::gdi;

extern "C" {

int DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, RECT* lprc, UINT format)
{
    Guard guard(GdiLock());
    auto dc = LookupDc(hdc);
    if (!dc || !lpchText || !lprc) return 0;
    if (cchText < 0) cchText = TextLength(lpchText, kMaxDrawTextUnits + 1);
    if (cchText > kMaxDrawTextUnits) return 0;
    return Draw(*dc, lpchText, cchText, lprc, format);
}

}  // extern "C"
