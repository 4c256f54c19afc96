// Plain UTF-8 text, set in a monospace font inside the page's margins: long
// lines wrap, tabs stop every eight columns and a form feed starts a page.
#include "Document.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <algorithm>
#include <string_view>

namespace tarvel::tool {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr int kTabColumns = 8;
constexpr int kPointSize = 10;
constexpr char16_t kFace[] = u"DejaVu Sans Mono";

// Decodes UTF-8; every byte that does not start a valid sequence (bad lead,
// missing continuation, overlong form, surrogate, beyond U+10FFFF) becomes
// one U+FFFD, so damaged text still prints with its neighbours intact.
std::u32string DecodeUtf8(const std::vector<std::uint8_t>& bytes)
{
    std::u32string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        i = 3;  // a byte order mark is no text
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2
            : (lead >> 4) == 0xE                          ? 3
            : (lead >> 3) == 0x1E                         ? 4
                                                          : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F
            : length == 3                             ? lead & 0x0F
                                                      : lead & 0x07;
        bool valid = length > 0 && i + length <= bytes.size();
        for (int k = 1; valid && k < length; ++k) {
            valid = (bytes[i + k] & 0xC0) == 0x80;
            c = (c << 6) | (bytes[i + k] & 0x3F);
        }
        static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && c >= kLeast[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        text.push_back(valid ? c : kReplacement);
        i += valid ? length : 1;
    }
    return text;
}

struct Line {
    std::u16string text;
    int columns = 0;
};
using Page = std::vector<Line>;

class TextDocument final : public Document {
public:
    TextDocument(std::vector<Page> pages, int cellWidth, int cellHeight, int emHeight)
        : pages_(std::move(pages))
        , cellWidth_(cellWidth)
        , cellHeight_(cellHeight)
        , emHeight_(emHeight)
    {
    }

    int PageCount() const override { return static_cast<int>(pages_.size()); }

    bool DrawPage(HDC printer, const PageGeometry& page, int index, std::string& error) override
    {
        HFONT font = MakeFont(emHeight_);
        if (!font || !PDC_SelectObject(printer, font)) {
            if (font)
                DeleteObject(font);
            error = "the library has no monospace font";
            return false;
        }
        PDC_SetBkMode(printer, TRANSPARENT);
        PDC_SetTextColor(printer, RGB(0, 0, 0));
        bool drawn = true;
        int y = page.text.top;
        std::vector<int> spacing;
        for (const Line& line : pages_[static_cast<std::size_t>(index)]) {
            // Every character takes one cell, whichever font its glyph comes
            // from, so columns stay aligned; a surrogate pair is one cell.
            spacing.assign(line.text.size(), cellWidth_);
            for (std::size_t i = 0; i < line.text.size(); ++i)
                if (line.text[i] >= 0xDC00 && line.text[i] <= 0xDFFF)
                    spacing[i] = 0;
            if (!line.text.empty())
                drawn = PDC_ExtTextOut(printer, page.text.left, y, 0, nullptr, line.text.c_str(),
                                       static_cast<UINT>(line.text.size()), spacing.data())
                    && drawn;
            y += cellHeight_;
        }
        PDC_SelectObject(printer, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
        if (!drawn)
            error = "the library refused a line of text";
        return drawn;
    }

    static HFONT MakeFont(int emHeight)
    {
        LOGFONTW description{};
        description.lfHeight = -emHeight;
        description.lfWeight = FW_NORMAL;
        description.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        std::copy(std::begin(kFace), std::end(kFace), description.lfFaceName);
        return CreateFontIndirectW(&description);
    }

private:
    std::vector<Page> pages_;
    int cellWidth_;
    int cellHeight_;
    int emHeight_;
};

void Append(Line& line, char32_t c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        line.text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        line.text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        line.text.push_back(static_cast<char16_t>(c));
    }
    ++line.columns;
}

// Lays the text out in pages of `rows` lines of `columns` cells.
std::vector<Page> Paginate(const std::u32string& text, int columns, int rows)
{
    std::vector<Page> pages(1);
    Line line;
    bool pageEndsWithFeed = false;
    auto endLine = [&] {
        if (static_cast<int>(pages.back().size()) == rows)
            pages.emplace_back();
        pages.back().push_back(std::move(line));
        line = Line{};
        pageEndsWithFeed = false;
    };
    auto endPage = [&] {
        pages.emplace_back();
        pageEndsWithFeed = true;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c == U'\n') {
            endLine();
        } else if (c == U'\r') {
            if (i + 1 < text.size() && text[i + 1] == U'\n')
                continue;
            endLine();  // a lone carriage return ends a line, as old Macs wrote them
        } else if (c == U'\f') {
            if (!line.text.empty())
                endLine();
            endPage();
        } else if (c == U'\t') {
            const int stop = std::min(columns, (line.columns / kTabColumns + 1) * kTabColumns);
            while (line.columns < stop)
                Append(line, U' ');
            if (line.columns == columns)
                endLine();
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            continue;  // other control characters have no picture on paper
        } else {
            if (line.columns == columns)
                endLine();
            Append(line, c);
        }
    }
    if (!line.text.empty())
        endLine();
    // A feed at the very end closes the last page; it does not open a blank one.
    if (pages.size() > 1 && pages.back().empty() && pageEndsWithFeed)
        pages.pop_back();
    if (pages.size() == 1 && pages.back().empty() && text.empty())
        pages.clear();
    return pages;
}

}  // namespace

std::unique_ptr<Document> OpenText(const std::vector<std::uint8_t>& bytes, const PageGeometry& page, const std::string& name,
                                   std::string& error)
{
    const int emHeight = std::max(1, kPointSize * page.dpi / 72);
    HDC measure = CreateCompatibleDC(nullptr);
    HFONT font = TextDocument::MakeFont(emHeight);
    TEXTMETRICW metrics{};
    SIZE cell{};
    HGDIOBJ kept = measure && font ? SelectObject(measure, font) : nullptr;
    const bool measured = kept && GetTextMetricsW(measure, &metrics) && GetTextExtentPoint32W(measure, u"M", 1, &cell);
    if (kept)
        SelectObject(measure, kept);
    if (font)
        DeleteObject(font);
    if (measure)
        DeleteDC(measure);
    if (!measured || cell.cx <= 0 || metrics.tmHeight <= 0) {
        error = name + ": the library has no monospace font to print text with";
        return nullptr;
    }
    const int lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    const int columns = (page.text.right - page.text.left) / cell.cx;
    const int rows = (page.text.bottom - page.text.top) / lineHeight;
    if (columns < 1 || rows < 1) {
        error = name + ": the margins leave no room for text";
        return nullptr;
    }
    std::vector<Page> pages = Paginate(DecodeUtf8(bytes), columns, rows);
    if (pages.empty()) {
        error = name + ": nothing to print";
        return nullptr;
    }
    return std::make_unique<TextDocument>(std::move(pages), cell.cx, lineHeight, emHeight);
}

}  // namespace tarvel::tool
