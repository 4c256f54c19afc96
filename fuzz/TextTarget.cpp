// Fuzz target `text`: fonts and UTF-16 text into DrawTextW, ExtTextOutW and
// GetTextExtentExPointW on a small memory DC.
//
// Input, little-endian, fields past the end read as zero:
//   0   u8   bits 0-1 bitmap depth (1, 8, 24, 32 bits per pixel); bit 2 italic;
//            bit 3 underline; bit 4 strike-out; bit 5 transparent background;
//            bit 6 a spacing array for ExtTextOutW; bit 7 DrawTextW reads up
//            to the terminator (count -1) instead of the count
//   1   u8   face: index into kFaces (modulo its size)
//   2   i32  lfHeight (0, negative em heights, INT_MIN and INT_MAX included)
//   6   i16  lfWidth
//   8   i32  lfEscapement (tenths of a degree)
//   12  u16  lfWeight
//   14  u32  DrawTextW format
//   18  u32  ExtTextOutW options
//   22  4 x i16  rectangle: left, top, right, bottom
//   30  i16  the largest extent for GetTextExtentExPointW
//   32  ...  UTF-16 units; with a spacing array the first half is the text
//            and the second half its spacing, one i16 per unit
//
// Properties: the fit count lies in 0..count and the partial extents of a
// run without spacing never fall; DT_CALCRECT keeps the rectangle's left and
// top; besides, nothing crashes, overflows or runs away in time or memory.
#include "FuzzSupport.h"

#include <tarvel/gdi.h>

#include <vector>

namespace tarvel::fuzz {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 40;

const char16_t* const kFaces[] = {u"DejaVu Sans", u"DejaVu Sans Mono", u"DejaVu Serif", u"Liberation Sans",
                                  u"Liberation Serif", u"Liberation Mono", u"", u"No Such Face"};

// A DIB section of the depth selected into a new memory DC, with a grey
// ramp palette where the depth has one.
class Canvas {
public:
    explicit Canvas(int depth)
    {
        std::vector<std::uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
        auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biWidth = kWidth;
        info->bmiHeader.biHeight = -kHeight;
        info->bmiHeader.biPlanes = 1;
        info->bmiHeader.biBitCount = static_cast<WORD>(depth);
        const int colours = depth <= 8 ? 1 << depth : 0;
        for (int i = 0; i < colours; ++i) {
            const auto grey = static_cast<BYTE>(i * 255 / (colours - 1));
            info->bmiColors[i] = {grey, grey, grey, 0};
        }
        dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!dc || !bitmap)
            Broken("a small memory DC cannot be made");
        kept = SelectObject(dc, bitmap);
    }
    ~Canvas()
    {
        SelectObject(dc, kept);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ kept = nullptr;
};

void CheckExtent(HDC dc, const std::u16string& text, int maxExtent)
{
    const int count = static_cast<int>(text.size());
    int fit = -12345;
    std::vector<INT> extents(text.size() + 1, -12345);
    SIZE size{};
    if (!GetTextExtentExPointW(dc, text.c_str(), count, maxExtent, &fit, extents.data(), &size))
        return;
    if (fit < 0 || fit > count)
        Broken("fit count " + std::to_string(fit) + " for " + std::to_string(count) + " units");
    for (int i = 1; i < fit; ++i) {
        if (extents[i] < extents[i - 1])
            Broken("partial extent " + std::to_string(i) + " falls from " + std::to_string(extents[i - 1]) + " to "
                   + std::to_string(extents[i]));
    }
}

void CheckCalcRect(HDC dc, const std::u16string& text, int count, RECT box, UINT format)
{
    RECT measured = box;
    DrawTextW(dc, text.c_str(), count, &measured, format | DT_CALCRECT);
    if (measured.left != box.left || measured.top != box.top)
        Broken("DT_CALCRECT moves the rectangle's corner from (" + std::to_string(box.left) + ", "
               + std::to_string(box.top) + ") to (" + std::to_string(measured.left) + ", "
               + std::to_string(measured.top) + ")");
}

}  // namespace

int FuzzText(const std::uint8_t* data, std::size_t size)
{
    Reader in(data, size);
    const std::uint8_t flags = in.U8();
    static constexpr int kDepths[] = {1, 8, 24, 32};
    LOGFONTW font{};
    const char16_t* face = kFaces[in.U8() % std::size(kFaces)];
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i)
        font.lfFaceName[i] = face[i];
    font.lfHeight = in.I32();
    font.lfWidth = in.I16();
    font.lfEscapement = in.I32();
    font.lfOrientation = font.lfEscapement;
    font.lfWeight = in.U16();
    font.lfItalic = (flags >> 2) & 1;
    font.lfUnderline = (flags >> 3) & 1;
    font.lfStrikeOut = (flags >> 4) & 1;
    const UINT format = in.U32();
    const UINT options = in.U32();
    RECT box;
    box.left = in.I16();
    box.top = in.I16();
    box.right = in.I16();
    box.bottom = in.I16();
    const int maxExtent = in.I16();

    std::u16string units(in.Left() / 2, u'\0');
    for (char16_t& unit : units)
        unit = in.U16();
    std::u16string text = units;
    std::vector<INT> spacing;
    if (flags & 0x40) {
        text = units.substr(0, units.size() / 2);
        for (std::size_t i = 0; i < text.size(); ++i)
            spacing.push_back(static_cast<std::int16_t>(units[text.size() + i]));
    }

    Canvas canvas(kDepths[flags & 3]);
    HFONT created = CreateFontIndirectW(&font);
    HGDIOBJ keptFont = created ? SelectObject(canvas.dc, created) : nullptr;
    SetBkMode(canvas.dc, (flags & 0x20) ? TRANSPARENT : OPAQUE);
    SetTextColor(canvas.dc, RGB(0, 0, 0));
    SetBkColor(canvas.dc, RGB(200, 200, 200));

    const int count = static_cast<int>(text.size());
    // A text read to its terminator is measured and drawn as far as that.
    const int drawCount = (flags & 0x80) ? -1 : count;
    CheckExtent(canvas.dc, text, maxExtent);
    CheckCalcRect(canvas.dc, text, drawCount, box, format & ~UINT(DT_CALCRECT));
    RECT drawn = box;
    DrawTextW(canvas.dc, text.c_str(), drawCount, &drawn, format);
    ExtTextOutW(canvas.dc, box.left, box.top, options, &box, text.c_str(), static_cast<UINT>(count),
                spacing.empty() ? nullptr : spacing.data());
    ExtTextOutW(canvas.dc, box.right, box.bottom, options & ~UINT(ETO_CLIPPED | ETO_OPAQUE), nullptr, text.c_str(),
                static_cast<UINT>(count), spacing.empty() ? nullptr : spacing.data());

    if (created) {
        SelectObject(canvas.dc, keptFont);
        DeleteObject(created);
    }
    return 0;
}

}  // namespace tarvel::fuzz
