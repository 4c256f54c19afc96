#include "DemoDocument.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <algorithm>
#include <string>

namespace demo {
namespace {

// Positions are given in thousandths of an inch and turned into the
// printer's dots, so the page looks the same at every resolution.
struct Page {
    explicit Page(HDC dc)
        : dc(dc)
        , dpi(PDC_GetDeviceCaps(dc, LOGPIXELSX))
    {
    }
    int Dots(int mils) const { return static_cast<int>(static_cast<long long>(mils) * dpi / 1000); }

    HDC dc;
    int dpi;
};

class Font {
public:
    Font(const Page& page, const char16_t* face, int points, int weight = FW_NORMAL, bool italic = false,
         bool underline = false)
    {
        LOGFONTW description{};
        description.lfHeight = -points * page.dpi / 72;
        description.lfWeight = weight;
        description.lfItalic = italic;
        description.lfUnderline = underline;
        std::u16string name = face;
        std::copy_n(name.begin(), std::min<std::size_t>(name.size(), LF_FACESIZE - 1), description.lfFaceName);
        handle = CreateFontIndirectW(&description);
    }
    ~Font() { DeleteObject(handle); }
    HFONT handle;
};

void Text(const Page& page, int x, int y, const std::u16string& text)
{
    PDC_ExtTextOut(page.dc, page.Dots(x), page.Dots(y), 0, nullptr, text.c_str(), static_cast<UINT>(text.size()),
                   nullptr);
}

// Selects a new pen and brush for one shape and puts the stock ones back.
template <typename Draw>
void WithPenAndBrush(const Page& page, int penWidth, COLORREF line, COLORREF fill, Draw draw)
{
    HPEN pen = CreatePen(PS_SOLID, page.Dots(penWidth), line);
    HBRUSH brush = CreateSolidBrush(fill);
    PDC_SelectObject(page.dc, pen);
    PDC_SelectObject(page.dc, brush);
    draw();
    PDC_SelectObject(page.dc, GetStockObject(BLACK_PEN));
    PDC_SelectObject(page.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
}

// A 256 x 1 bitmap running from one colour to another.
HBITMAP Gradient(COLORREF from, COLORREF to)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 256;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    auto* pixel = static_cast<unsigned char*>(bits);
    for (int i = 0; i < 256; ++i) {
        auto mix = [i](int a, int b) { return static_cast<unsigned char>(a + (b - a) * i / 255); };
        pixel[i * 3] = mix(GetBValue(from), GetBValue(to));
        pixel[i * 3 + 1] = mix(GetGValue(from), GetGValue(to));
        pixel[i * 3 + 2] = mix(GetRValue(from), GetRValue(to));
    }
    return bitmap;
}

}  // namespace

void DrawTextAndShapesPage(HDC printer)
{
    Page page(printer);
    PDC_SetBkMode(printer, TRANSPARENT);
    {
        Font title(page, u"DejaVu Serif", 28, FW_BOLD);
        PDC_SelectObject(printer, title.handle);
        PDC_SetTextColor(printer, RGB(20, 40, 140));
        Text(page, 700, 600, u"Tarvel prints without a driver");
    }
    struct Sample {
        const char16_t* face;
        int points;
        int weight;
        bool italic;
        bool underline;
        COLORREF color;
    };
    const Sample samples[] = {
        {u"Liberation Sans", 18, FW_NORMAL, false, false, RGB(0, 0, 0)},
        {u"Liberation Serif", 14, FW_BOLD, false, false, RGB(160, 0, 0)},
        {u"Liberation Mono", 12, FW_NORMAL, false, true, RGB(0, 110, 0)},
        {u"DejaVu Sans", 10, FW_NORMAL, true, false, RGB(90, 0, 120)},
        {u"DejaVu Sans Mono", 8, FW_NORMAL, false, false, RGB(0, 0, 0)},
    };
    int y = 1300;
    for (const Sample& sample : samples) {
        Font font(page, sample.face, sample.points, sample.weight, sample.italic, sample.underline);
        PDC_SelectObject(printer, font.handle);
        PDC_SetTextColor(printer, sample.color);
        Text(page, 700, y, std::u16string(sample.face) + u", " + std::u16string(1, u'0' + sample.points / 10) + std::u16string(1, u'0' + sample.points % 10) + u" points: the quick brown fox");
        y += sample.points * 1000 / 72 + 150;
    }
    {
        // Liberation Sans has none of these letters: each script comes from
        // the installed face that has it, Arabic joined and right to left.
        Font world(page, u"Liberation Sans", 14);
        PDC_SelectObject(printer, world.handle);
        PDC_SetTextColor(printer, RGB(0, 70, 140));
        Text(page, 700, 3300,
             u"Hello: \u4f60\u597d\uff0c\u4e16\u754c \u00b7 "
             u"\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645 \u00b7 "
             u"\u0928\u092e\u0938\u094d\u0924\u0947 \u0926\u0941\u0928\u093f\u092f\u093e");
        PDC_SelectObject(printer, GetStockObject(SYSTEM_FONT));
    }
    {
        Font body(page, u"Liberation Serif", 11);
        PDC_SelectObject(printer, body.handle);
        PDC_SetTextColor(printer, RGB(0, 0, 0));
        const std::u16string paragraph = u"Every page is recorded, rendered in bands into 24-bit pixels, dithered to the pure ink colours "
                                         u"of the printer and sent in its own language. This paragraph is laid out by DrawText with word "
                                         u"breaks inside a box of four inches, and centred.";
        RECT box = {page.Dots(2200), page.Dots(4300), page.Dots(6200), page.Dots(6000)};
        PDC_DrawText(printer, paragraph.c_str(), -1, &box, DT_WORDBREAK | DT_CENTER);
        PDC_SelectObject(printer, GetStockObject(SYSTEM_FONT));
    }
    WithPenAndBrush(page, 20, RGB(0, 0, 0), RGB(255, 220, 0), [&] {
        PDC_Rectangle(printer, page.Dots(700), page.Dots(6500), page.Dots(2700), page.Dots(8000));
    });
    WithPenAndBrush(page, 30, RGB(200, 0, 0), RGB(0, 160, 255), [&] {
        PDC_Ellipse(printer, page.Dots(3000), page.Dots(6500), page.Dots(5000), page.Dots(8000));
    });
    WithPenAndBrush(page, 10, RGB(0, 120, 0), RGB(255, 120, 200), [&] {
        PDC_RoundRect(printer, page.Dots(5300), page.Dots(6500), page.Dots(7500), page.Dots(8000), page.Dots(500),
                      page.Dots(500));
    });
    WithPenAndBrush(page, 15, RGB(120, 0, 160), RGB(255, 255, 255), [&] {
        POINT zigzag[9];
        for (int i = 0; i < 9; ++i)
            zigzag[i] = {page.Dots(700 + i * 850), page.Dots(i % 2 ? 8400 : 9300)};
        PDC_Polyline(printer, zigzag, 9);
        PDC_DrawLine(printer, page.Dots(700), page.Dots(9700), page.Dots(7500), page.Dots(9700));
    });
}

void DrawGradientPage(HDC printer)
{
    Page page(printer);
    HDC memory = PDC_CreateCompatibleDC(printer);
    if (!memory)
        return;
    const COLORREF stops[][2] = {
        {RGB(255, 0, 0), RGB(0, 0, 255)},
        {RGB(255, 255, 0), RGB(0, 160, 0)},
        {RGB(0, 0, 0), RGB(255, 255, 255)},
        {RGB(0, 255, 255), RGB(255, 0, 255)},
        {RGB(255, 128, 0), RGB(40, 0, 80)},
    };
    int y = 900;
    for (const auto& stop : stops) {
        HBITMAP strip = Gradient(stop[0], stop[1]);
        HGDIOBJ kept = PDC_SelectObject(memory, strip);
        PDC_StretchBlt(printer, page.Dots(700), page.Dots(y), page.Dots(6800), page.Dots(1100), memory, 0, 0, 256, 1,
                       SRCCOPY);
        if (kept)
            PDC_SelectObject(memory, kept);
        DeleteObject(strip);
        y += 1400;
    }
    // An unstretched copy shows the bitmap at its own size, dot for dot.
    HBITMAP strip = Gradient(RGB(0, 0, 0), RGB(255, 0, 0));
    HGDIOBJ kept = PDC_SelectObject(memory, strip);
    for (int row = 0; row < page.Dots(300); ++row)
        PDC_BitBlt(printer, page.Dots(700), page.Dots(y) + row, 256, 1, memory, 0, 0, SRCCOPY);
    if (kept)
        PDC_SelectObject(memory, kept);
    DeleteObject(strip);
    PDC_DeleteDC(memory);

    Font caption(page, u"DejaVu Sans", 12, FW_BOLD);
    PDC_SelectObject(printer, caption.handle);
    PDC_SetBkMode(printer, TRANSPARENT);
    Text(page, 700, 400, u"Gradients made of bitmaps");
    PDC_SelectObject(printer, GetStockObject(SYSTEM_FONT));
}

void DrawLandscapePage(HDC printer)
{
    Page page(printer);
    WithPenAndBrush(page, 40, RGB(0, 0, 120), RGB(220, 235, 255), [&] {
        PDC_RoundRect(printer, page.Dots(500), page.Dots(500), page.Dots(10500), page.Dots(2200), page.Dots(600),
                      page.Dots(600));
    });
    {
        Font banner(page, u"Liberation Sans", 40, FW_BOLD);
        PDC_SelectObject(printer, banner.handle);
        PDC_SetBkMode(printer, TRANSPARENT);
        PDC_SetTextColor(printer, RGB(0, 0, 120));
        RECT box = {page.Dots(500), page.Dots(500), page.Dots(10500), page.Dots(2200)};
        PDC_DrawText(printer, u"Landscape", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        PDC_SelectObject(printer, GetStockObject(SYSTEM_FONT));
    }
    Font cell(page, u"DejaVu Sans", 10);
    PDC_SelectObject(printer, cell.handle);
    PDC_SetTextColor(printer, RGB(0, 0, 0));
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 8; ++column) {
            const COLORREF fill = RGB(255 - column * 30, 200 - row * 40, 60 + column * 24);
            WithPenAndBrush(page, 10, RGB(0, 0, 0), fill, [&] {
                PDC_Rectangle(printer, page.Dots(500 + column * 1250), page.Dots(2600 + row * 1300),
                              page.Dots(1650 + column * 1250), page.Dots(3800 + row * 1300));
            });
            const std::u16string label = {char16_t(u'A' + row), char16_t(u'1' + column)};
            Text(page, 600 + column * 1250, 2700 + row * 1300, label);
        }
    }
    PDC_SelectObject(printer, GetStockObject(SYSTEM_FONT));
}

}  // namespace demo
