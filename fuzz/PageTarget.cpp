// Fuzz target `page`: a small page recorded from an opcode program, played
// back as one band, in bands of rows and in bands of columns.
//
// Input, little-endian, fields past the end read as zero:
//   0   u8   page width: 16 + value % 112 pixels
//   1   u8   page height: 16 + value % 112 pixels
//   2   u8   height of a row band: 1 + value % 24
//   3   u8   width of a column band: 1 + value % 24
//   4   ...  operations, each an opcode byte (modulo kOpCount) and its
//            operands, until the input ends or kMaxOps have run
//
// Operands: a device context is one byte choosing the page (0) or one of
// the memory DCs made so far (modulo their count + 1); a coordinate is one
// byte v, v - 32 for v < 0xF0, an i16 after 0xF0..0xF7 and an i32 after
// 0xF8..0xFF, so that most shapes land on the page and a few reach far
// beyond it; a colour is three bytes; a text is a length byte (modulo 24)
// and one byte per unit (printable ASCII, or a table of line breaks, tabs,
// prefixes, surrogates and wide characters, or an i16 after 0xFF).
//
// Operations (opcode: operands):
//   0  SetTextColor: dc, colour        1  SetBkColor: dc, colour
//   2  SetBkMode: dc, u8 (0 opaque, 1 transparent, else the raw value)
//   3  SetROP2: dc, u8 (modulo 18: 0 and 17 are refused modes)
//   4  pen: dc, style u8, width u8 (modulo 12), colour
//   5  brush: dc, kind u8 (solid, null, pattern from a bitmap), colour
//   6  font: dc, height i8, escapement u16, weight u8 (x4), flags u8, face u8
//   7  Rectangle: dc, 4 coordinates    8  Ellipse: dc, 4 coordinates
//   9  RoundRect: dc, 6 coordinates
//   10 Polyline: dc, count u8 (modulo 9), coordinate pairs
//   11 ExtTextOut: dc, x, y, options u8, clip rectangle (4 coordinates),
//      text, with spacing i8 per unit when options bit 7 is set
//   12 DrawText: dc, rectangle (4 coordinates), format u16, text
//   13 BitBlt onto the page: x, y, w, h, source dc, sx, sy, rop u8
//   14 StretchBlt onto the page: x, y, w, h, source dc, sx, sy, sw, sh, rop u8
//   15 new memory DC: depth u8 (1, 8, 24, 32), width u8, height u8, fill u8;
//      a bitmap of that size and fill is made and selected into it
//   16 DeleteDC of a memory DC: index u8
//   17 select a bitmap into a memory DC: dc index u8, bitmap index u8
//   18 the program changes a bitmap's pixels: bitmap index u8, fill u8
// Raster operations are the truth table byte of a ternary raster operation.
//
// Property: the page rendered in row bands and in column bands equals the
// page rendered as one band, pixel for pixel. The pages are small, so each
// input costs a few milliseconds rather than a whole sheet of paper.
#include "FuzzSupport.h"

#include "render/BandPlayer.h"
#include "render/ObjectTables.h"
#include "render/RecordingState.h"

#include <tarvel/gdi.h>

#include <algorithm>
#include <cstdarg>
#include <vector>

namespace tarvel::fuzz {
namespace {

using namespace tarvel::render;

constexpr int kOpCount = 19;
constexpr int kMaxOps = 96;
constexpr int kMaxMemoryDcs = 6;
constexpr int kMaxBitmaps = 8;
constexpr int kMaxObjects = 48;

const char16_t* const kFaces[] = {u"DejaVu Sans", u"DejaVu Serif", u"Liberation Mono", u""};
constexpr char16_t kSpecialUnits[] = {u'\n', u'\r', u'\t', u'&', u' ', 0xD800, 0xDC00, 0xDBFF, 0x00E9, 0x4E2D,
                                      0x0627, 0x200B, 0xFFFD, 0x0301, u'W', 0};

struct Bitmap {
    HBITMAP handle = nullptr;
    std::uint8_t* bits = nullptr;
    std::size_t bytes = 0;
};

class Program {
public:
    Program(const std::uint8_t* data, std::size_t size)
        : in_(data, size)
    {
    }
    ~Program() { Release(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Start()
    {
        if (!ReplacePrinterDc(state_))
            return false;
        printer_ = PrinterDc(state_);
        width = 16 + in_.U8() % 112;
        height = 16 + in_.U8() % 112;
        rowBand = 1 + in_.U8() % 24;
        columnBand = 1 + in_.U8() % 24;
        Trace("page %d x %d, bands of %d rows and of %d columns", width, height, rowBand, columnBand);
        return true;
    }

    void Run()
    {
        for (int n = 0; n < kMaxOps && !in_.AtEnd(); ++n)
            Step(in_.U8() % kOpCount);
    }

    // The page as rows of blue, green, red, rendered in bands of `band`
    // rows, or of `band` columns when turned; with bilevel, on one-bit
    // bands (black 0, white 1) as the page pipeline plays a bilevel page.
    std::vector<std::uint8_t> Render(int band, bool turned, bool bilevel = false)
    {
        std::vector<std::uint8_t> page(std::size_t(width) * height * 3, 0);
        const int extent = turned ? width : height;
        for (int start = 0; start < extent; start += band) {
            const int n = std::min(band, extent - start);
            const int w = turned ? n : width, h = turned ? height : n;
            struct {
                BITMAPINFOHEADER header;
                RGBQUAD colors[2];
            } info{};
            info.header.biSize = sizeof(BITMAPINFOHEADER);
            info.header.biWidth = w;
            info.header.biHeight = -h;
            info.header.biPlanes = 1;
            info.header.biBitCount = bilevel ? 1 : 24;
            info.header.biClrUsed = bilevel ? 2 : 0;
            info.colors[1] = RGBQUAD{255, 255, 255, 0};
            HDC dc = CreateCompatibleDC(nullptr);
            void* raw = nullptr;
            HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &raw, nullptr, 0);
            if (!dc || !bitmap)
                Broken("a band bitmap cannot be made");
            HGDIOBJ kept = SelectObject(dc, bitmap);
            const int stride = ((bilevel ? w : w * 24) + 31) / 32 * 4;
            auto* bits = static_cast<std::uint8_t*>(raw);
            std::memset(bits, 255, std::size_t(stride) * h);
            // The page's own edges, as the page pipeline gives them: copies
            // of the page onto itself read nothing beyond them.
            const RECT pageArea{0, 0, width, height};
            const RECT bandArea = turned ? RECT{start, 0, start + w, h} : RECT{0, start, w, start + h};
            PlayBand(state_, dc, pageArea, bandArea);
            for (int y = 0; y < h; ++y) {
                const int pageY = turned ? y : start + y;
                const int pageX = turned ? start : 0;
                std::uint8_t* out = &page[(std::size_t(pageY) * width + pageX) * 3];
                const std::uint8_t* in = bits + std::size_t(y) * stride;
                if (!bilevel) {
                    std::memcpy(out, in, std::size_t(w) * 3);
                    continue;
                }
                for (int x = 0; x < w; ++x)
                    std::memset(out + x * 3, (in[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0, 3);
            }
            SelectObject(dc, kept);
            DeleteObject(bitmap);
            DeleteDC(dc);
        }
        return page;
    }

    bool Bilevel() const { return PageIsBilevel(state_); }

    int width = 0, height = 0, rowBand = 1, columnBand = 1;

private:
    HDC Dc()
    {
        const std::size_t pick = in_.U8() % (memoryDcs_.size() + 1);
        return pick == 0 ? printer_ : memoryDcs_[pick - 1];
    }

    // TARVEL_FUZZ_TRACE set: each operation is written to stderr as the
    // call it makes, to read a finding as a program.
    void Trace(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (!trace_)
            return;
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::fputc('\n', stderr);
    }

    // Printable ASCII as it is, every other unit as \uXXXX.
    static std::string Shown(const std::u16string& text)
    {
        std::string shown;
        for (char16_t unit : text) {
            char escaped[8];
            if (unit >= 0x20 && unit < 0x7F && unit != u'\\' && unit != u'"') {
                shown += static_cast<char>(unit);
            } else {
                std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(unit));
                shown += escaped;
            }
        }
        return shown;
    }

    const char* Name(HDC dc)
    {
        static thread_local char name[32];
        if (dc == printer_)
            return "page";
        for (std::size_t i = 0; i < memoryDcs_.size(); ++i) {
            if (memoryDcs_[i] == dc) {
                std::snprintf(name, sizeof name, "memory%zu", i + 1);
                return name;
            }
        }
        return "?";
    }

    int Coord()
    {
        const std::uint8_t v = in_.U8();
        if (v < 0xF0)
            return v - 32;
        if (v < 0xF8)
            return in_.I16();
        return in_.I32();
    }

    COLORREF Colour()
    {
        const std::uint8_t r = in_.U8(), g = in_.U8(), b = in_.U8();
        return RGB(r, g, b);
    }

    std::u16string Text()
    {
        std::u16string text;
        const int length = in_.U8() % 24;
        for (int i = 0; i < length; ++i) {
            const std::uint8_t v = in_.U8();
            if (v < 0x5F)
                text += static_cast<char16_t>(0x20 + v);
            else if (v < 0xFF)
                text += kSpecialUnits[v % std::size(kSpecialUnits)];
            else
                text += static_cast<char16_t>(in_.U16());
        }
        return text;
    }

    // Keeps an object the program made until the page is done with it.
    void Select(HDC dc, HGDIOBJ object)
    {
        if (!object)
            return;
        objects_.push_back(object);
        RecordSelectObject(state_, dc, object);
    }

    Bitmap* BitmapAt(std::uint8_t index)
    {
        return bitmaps_.empty() ? nullptr : &bitmaps_[index % bitmaps_.size()];
    }

    void Fill(Bitmap& bitmap, std::uint8_t fill)
    {
        for (std::size_t i = 0; i < bitmap.bytes; ++i)
            bitmap.bits[i] = static_cast<std::uint8_t>(fill * (i / 3 + 1) + i % 3 * 85);
    }

    void NewBitmap(int depth, int w, int h, std::uint8_t fill)
    {
        if (bitmaps_.size() >= kMaxBitmaps)
            return;
        std::vector<std::uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
        auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biWidth = w;
        info->bmiHeader.biHeight = (fill & 1) ? -h : h;
        info->bmiHeader.biPlanes = 1;
        info->bmiHeader.biBitCount = static_cast<WORD>(depth);
        const int colours = depth <= 8 ? 1 << depth : 0;
        for (int i = 0; i < colours; ++i)
            info->bmiColors[i] = {BYTE(i * 37), BYTE(255 - i), BYTE(i * 11), 0};
        void* raw = nullptr;
        HBITMAP handle = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &raw, nullptr, 0);
        if (!handle)
            return;
        const std::size_t stride = ((std::size_t(w) * depth + 31) / 32) * 4;
        Bitmap bitmap{handle, static_cast<std::uint8_t*>(raw), stride * h};
        Fill(bitmap, fill);
        bitmaps_.push_back(bitmap);
    }

    void Step(int op)
    {
        switch (op) {
        case 0: {
            HDC dc = Dc();
            const COLORREF colour = Colour();
            Trace("SetTextColor(%s, %06x)", Name(dc), colour);
            RecordSetTextColor(state_, dc, colour);
            break;
        }
        case 1: {
            HDC dc = Dc();
            const COLORREF colour = Colour();
            Trace("SetBkColor(%s, %06x)", Name(dc), colour);
            RecordSetBkColor(state_, dc, colour);
            break;
        }
        case 2: {
            HDC dc = Dc();
            const std::uint8_t v = in_.U8();
            Trace("SetBkMode(%s, %d)", Name(dc), v == 0 ? OPAQUE : v == 1 ? TRANSPARENT
                                                                          : v);
            RecordSetBkMode(state_, dc, v == 0 ? OPAQUE : v == 1 ? TRANSPARENT
                                                                 : v);
            break;
        }
        case 3: {
            HDC dc = Dc();
            const int mode = in_.U8() % 18;
            Trace("SetROP2(%s, %d)", Name(dc), mode);
            RecordSetROP2(state_, dc, mode);
            break;
        }
        case 4: {
            HDC dc = Dc();
            const int style = in_.U8() % 6;
            const int w = in_.U8() % 12;
            const COLORREF colour = Colour();
            Trace("SelectObject(%s, CreatePen(%d, %d, %06x))", Name(dc), style == 3 || style == 4 ? PS_NULL : style, w,
                  colour);
            if (objects_.size() < kMaxObjects)
                Select(dc, CreatePen(style == 3 || style == 4 ? PS_NULL : style, w, colour));
            break;
        }
        case 5: {
            HDC dc = Dc();
            const std::uint8_t kind = in_.U8() % 3;
            const COLORREF colour = Colour();
            Trace("SelectObject(%s, %s brush %06x)", Name(dc), kind == 0 ? "solid" : kind == 1 ? "null"
                                                                                               : "pattern",
                  colour);
            if (kind == 1) {
                RecordSelectObject(state_, dc, GetStockObject(NULL_BRUSH));
            } else if (objects_.size() < kMaxObjects) {
                Bitmap* pattern = BitmapAt(static_cast<std::uint8_t>(colour));
                Select(dc, kind == 2 && pattern ? CreatePatternBrush(pattern->handle) : CreateSolidBrush(colour));
            }
            break;
        }
        case 6: {
            HDC dc = Dc();
            LOGFONTW font{};
            font.lfHeight = static_cast<std::int8_t>(in_.U8());
            font.lfEscapement = font.lfOrientation = in_.U16();
            font.lfWeight = in_.U8() * 4;
            const std::uint8_t flags = in_.U8();
            font.lfItalic = flags & 1;
            font.lfUnderline = (flags >> 1) & 1;
            font.lfStrikeOut = (flags >> 2) & 1;
            const char16_t* face = kFaces[in_.U8() % std::size(kFaces)];
            for (int i = 0; face[i]; ++i)
                font.lfFaceName[i] = face[i];
            Trace("SelectObject(%s, font height %ld escapement %ld weight %ld italic %d underline %d strike-out %d "
                  "\"%s\")",
                  Name(dc), long(font.lfHeight), long(font.lfEscapement), long(font.lfWeight), font.lfItalic,
                  font.lfUnderline, font.lfStrikeOut, Shown(face).c_str());
            if (objects_.size() < kMaxObjects)
                Select(dc, CreateFontIndirectW(&font));
            break;
        }
        case 7:
        case 8: {
            HDC dc = Dc();
            const int l = Coord(), t = Coord(), r = Coord(), b = Coord();
            Trace("%s(%s, %d, %d, %d, %d)", op == 7 ? "Rectangle" : "Ellipse", Name(dc), l, t, r, b);
            if (op == 7)
                RecordRectangle(state_, dc, l, t, r, b);
            else
                RecordEllipse(state_, dc, l, t, r, b);
            break;
        }
        case 9: {
            HDC dc = Dc();
            const int l = Coord(), t = Coord(), r = Coord(), b = Coord(), w = Coord(), h = Coord();
            Trace("RoundRect(%s, %d, %d, %d, %d, %d, %d)", Name(dc), l, t, r, b, w, h);
            RecordRoundRect(state_, dc, l, t, r, b, w, h);
            break;
        }
        case 10: {
            HDC dc = Dc();
            std::vector<POINT> points(in_.U8() % 9);
            for (POINT& p : points) {
                p.x = Coord();
                p.y = Coord();
            }
            std::string list;
            for (const POINT& p : points)
                list += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
            Trace("Polyline(%s,%s)", Name(dc), list.c_str());
            RecordPolyline(state_, dc, points.data(), static_cast<int>(points.size()));
            break;
        }
        case 11: {
            HDC dc = Dc();
            const int x = Coord(), y = Coord();
            const std::uint8_t options = in_.U8();
            RECT clip;
            clip.left = Coord();
            clip.top = Coord();
            clip.right = Coord();
            clip.bottom = Coord();
            const std::u16string text = Text();
            std::vector<INT> spacing;
            if (options & 0x80) {
                for (std::size_t i = 0; i < text.size(); ++i)
                    spacing.push_back(static_cast<std::int8_t>(in_.U8()));
            }
            Trace("ExtTextOut(%s, %d, %d, options %d, clip %s%d %d %d %d, \"%s\"%s)", Name(dc), x, y,
                  options & (ETO_OPAQUE | ETO_CLIPPED), (options & 0x40) ? "none " : "", int(clip.left), int(clip.top),
                  int(clip.right), int(clip.bottom), Shown(text).c_str(), spacing.empty() ? "" : ", spacing");
            RecordExtTextOut(state_, dc, x, y, options & (ETO_OPAQUE | ETO_CLIPPED), (options & 0x40) ? nullptr : &clip,
                             text.c_str(), static_cast<UINT>(text.size()), spacing.empty() ? nullptr : spacing.data());
            break;
        }
        case 12: {
            HDC dc = Dc();
            RECT box;
            box.left = Coord();
            box.top = Coord();
            box.right = Coord();
            box.bottom = Coord();
            const UINT format = in_.U16() & ~UINT(DT_CALCRECT);
            const std::u16string text = Text();
            Trace("DrawText(%s, \"%s\", %d %d %d %d, format %#x)", Name(dc), Shown(text).c_str(), int(box.left),
                  int(box.top), int(box.right), int(box.bottom), format);
            RecordDrawText(state_, dc, text.c_str(), static_cast<int>(text.size()), &box, format);
            break;
        }
        case 13:
        case 14: {
            const int x = Coord(), y = Coord(), w = Coord(), h = Coord();
            HDC source = Dc();
            const int sx = Coord(), sy = Coord();
            const int sw = op == 14 ? Coord() : 0, sh = op == 14 ? Coord() : 0;
            const DWORD rop = DWORD(in_.U8()) << 16;
            Trace("%s(page, %d, %d, %d, %d, %s, %d, %d, %d, %d, %#x)", op == 13 ? "BitBlt" : "StretchBlt", x, y, w, h,
                  Name(source), sx, sy, sw, sh, unsigned(rop));
            if (op == 13)
                RecordBitBlt(state_, printer_, x, y, w, h, source, sx, sy, rop);
            else
                RecordStretchBlt(state_, printer_, x, y, w, h, source, sx, sy, sw, sh, rop);
            break;
        }
        case 15: {
            static constexpr int kDepths[] = {1, 8, 24, 32};
            const int depth = kDepths[in_.U8() % 4];
            const int w = 1 + in_.U8() % 48, h = 1 + in_.U8() % 48;
            const std::uint8_t fill = in_.U8();
            if (memoryDcs_.size() >= kMaxMemoryDcs)
                break;
            HDC memory = RecordCreateCompatibleDC(state_, printer_);
            if (!memory)
                break;
            memoryDcs_.push_back(memory);
            Trace("%s = CreateCompatibleDC(page), with a %d x %d bitmap of %d bits, fill %d", Name(memory), w, h, depth,
                  fill);
            NewBitmap(depth, w, h, fill);
            if (!bitmaps_.empty())
                RecordSelectObject(state_, memory, bitmaps_.back().handle);
            break;
        }
        case 16: {
            if (!memoryDcs_.empty()) {
                HDC dc = memoryDcs_[in_.U8() % memoryDcs_.size()];
                Trace("DeleteDC(%s)", Name(dc));
                RecordDeleteDC(state_, dc);
            }
            break;
        }
        case 17: {
            const std::uint8_t dc = in_.U8();
            Bitmap* bitmap = BitmapAt(in_.U8());
            if (memoryDcs_.empty() || !bitmap)
                break;
            HDC memory = memoryDcs_[dc % memoryDcs_.size()];
            Trace("SelectObject(%s, bitmap %zu)", Name(memory), std::size_t(bitmap - bitmaps_.data()));
            RecordSelectObject(state_, memory, bitmap->handle);
            break;
        }
        case 18: {
            Bitmap* bitmap = BitmapAt(in_.U8());
            const std::uint8_t fill = in_.U8();
            if (!bitmap)
                break;
            Trace("bitmap %zu filled with %d", std::size_t(bitmap - bitmaps_.data()), fill);
            Fill(*bitmap, fill);
            break;
        }
        }
    }

    // Takes every object of the program out of the device contexts, lets
    // the page clear delete the memory DCs, then deletes the objects.
    void Release()
    {
        std::vector<HDC> dcs = memoryDcs_;
        if (printer_)
            dcs.push_back(printer_);
        for (HDC dc : dcs) {
            SelectObject(dc, GetStockObject(BLACK_PEN));
            SelectObject(dc, GetStockObject(WHITE_BRUSH));
            SelectObject(dc, GetStockObject(SYSTEM_FONT));
        }
        for (HDC dc : memoryDcs_)
            RecordDeleteDC(state_, dc);
        ClearPage(state_);
        for (HGDIOBJ object : objects_)
            DeleteObject(object);
        for (const Bitmap& bitmap : bitmaps_)
            DeleteObject(bitmap.handle);
        objects_.clear();
        bitmaps_.clear();
        memoryDcs_.clear();
    }

    Reader in_;
    const bool trace_ = std::getenv("TARVEL_FUZZ_TRACE") != nullptr;
    RecordingState state_;
    HDC printer_ = nullptr;
    std::vector<HDC> memoryDcs_;
    std::vector<Bitmap> bitmaps_;
    std::vector<HGDIOBJ> objects_;
};

std::string FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int width)
{
    for (std::size_t i = 0; i < a.size(); i += 3) {
        if (std::memcmp(&a[i], &b[i], 3) != 0) {
            char text[96];
            std::snprintf(text, sizeof text, "(%zu, %zu): %02x%02x%02x, one band %02x%02x%02x", i / 3 % width,
                          i / 3 / width, b[i + 2], b[i + 1], b[i], a[i + 2], a[i + 1], a[i]);
            return text;
        }
    }
    return "none";
}

}  // namespace

int FuzzPage(const std::uint8_t* data, std::size_t size)
{
    Program program(data, size);
    if (!program.Start())
        Broken("no printer DC");
    program.Run();
    const auto whole = program.Render(program.height, false);
    const auto rows = program.Render(program.rowBand, false);
    if (rows != whole)
        Broken("a " + std::to_string(program.width) + " x " + std::to_string(program.height) + " page in bands of "
               + std::to_string(program.rowBand) + " rows differs at " + FirstDifference(whole, rows, program.width));
    const auto columns = program.Render(program.columnBand, true);
    if (columns != whole)
        Broken("a " + std::to_string(program.width) + " x " + std::to_string(program.height) + " page in bands of "
               + std::to_string(program.columnBand) + " columns differs at "
               + FirstDifference(whole, columns, program.width));
    // A page the pipeline plays on one-bit bands must come out the same.
    if (program.Bilevel()) {
        const auto bilevel = program.Render(program.rowBand, false, true);
        if (bilevel != whole)
            Broken("a bilevel page on one-bit bands differs at " + FirstDifference(whole, bilevel, program.width));
    }
    return 0;
}

}  // namespace tarvel::fuzz
