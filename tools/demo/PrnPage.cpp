#include "PrnPage.h"

#include <tarvel/prn.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace demo {
namespace {

constexpr int kPictureWidth = 240;
constexpr int kPictureHeight = 160;

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBigEndian(out, Crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored (uncompressed) blocks: valid for every inflater,
// and small enough code for a demo.
std::vector<std::uint8_t> StoredZlib(const std::vector<std::uint8_t>& raw)
{
    std::vector<std::uint8_t> out = {0x78, 0x01};
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - offset, 65535);
        const bool last = offset + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + std::ptrdiff_t(offset), raw.begin() + std::ptrdiff_t(offset + length));
        offset += length;
    } while (offset < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(out, (b << 16) | a);
    return out;
}

void Title(const char16_t* text, float y)
{
    prnSetFontSize(13);
    prnSetFontBold(1);
    prnDrawText(text, 0, y);
    prnSetFontBold(0);
    prnSetFontSize(10);
}

void Alignments(float width)
{
    Title(u"Text placed in centimetres, at every alignment", 1.6f);
    // A cross marks each point the texts are aligned to.
    const float mid = width / 2;
    prnSetLineColor(RGB(200, 0, 0));
    prnDrawLine(mid, 2.4f, mid, 5.6f);
    prnDrawAlignedText(u"left edge here", mid, 2.6f, TextHorAlign::Left, TextVertAlign::Top);
    prnDrawAlignedText(u"centred on the line", mid, 3.6f, TextHorAlign::Center, TextVertAlign::Top);
    prnDrawAlignedText(u"right edge here", mid, 4.6f, TextHorAlign::Right, TextVertAlign::Top);
    prnDrawLine(0, 6.5f, width, 6.5f);
    prnSetLineColor(RGB(0, 0, 0));
    prnDrawAlignedText(u"top", 1, 6.5f, TextHorAlign::Left, TextVertAlign::Top);
    prnDrawAlignedText(u"centre", 4, 6.5f, TextHorAlign::Left, TextVertAlign::Center);
    prnDrawAlignedText(u"bottom", 7, 6.5f, TextHorAlign::Left, TextVertAlign::Bottom);
    prnSetFontItalic(1);
    prnDrawAlignedText(u"A block of lines\nis wrapped at word breaks\nand aligned as one", width, 6.5f,
                       TextHorAlign::Right, TextVertAlign::Center);
    prnSetFontItalic(0);
    prnDrawText(u"Text in a colour of its own", 0, 7.8f, RGB(0, 90, 200));
}

void Shapes()
{
    Title(u"Shapes with the library's pen and brush", 9.0f);
    prnSetLineWidth(0.05f);
    prnSetFillColor(RGB(255, 230, 120));
    prnDrawRect(0, 10, 3.5f, 12.5f);
    prnSetFillColor(RGB(120, 200, 255));
    prnDrawRoundRect(4, 10, 7.5f, 12.5f, 1, 1);
    prnSetLineColor(RGB(0, 120, 0));
    prnDrawEllipse(8, 10, 12, 12.5f);
    prnSetFillColor(RGB(255, 120, 160));
    prnDrawCircle(14, 11.25f, 1.25f);
    prnDrawSolidRect(16, 10, 18.5f, 12.5f, RGB(60, 60, 60));
    prnSetLineColor(RGB(0, 0, 0));
    for (int i = 0; i < 5; ++i) {
        prnSetLineWidth(0.02f * float(i + 1));
        prnDrawLine(0, 13.2f + 0.3f * float(i), 18.5f, 13.2f + 0.3f * float(i));
    }
}

void Pictures(const char16_t* picture)
{
    Title(u"A picture: its own size, 5 x 5 cm with the scale flag, 6 x 2 cm without", 15.2f);
    float width = 0, height = 0;
    if (!prnGetPictureSize(picture, &width, &height)) {
        prnDrawText(u"(the picture could not be read)", 0, 16.2f);
        return;
    }
    prnDrawPicture(picture, 0, 16.2f, 0, 0, 0);
    prnSetLineWidth(0.01f);
    prnSetFillColor(RGB(255, 255, 255));
    prnDrawRect(7, 16.2f, 12, 21.2f);  // the size asked for
    prnDrawPicture(picture, 7, 16.2f, 5, 5, 1);
    prnDrawPicture(picture, 12.5f, 16.2f, 6, 2, 0);
    const std::string text = "The picture is " + std::to_string(int(width)) + " x " + std::to_string(int(height))
        + " pixels.";
    const std::u16string size(text.begin(), text.end());
    prnDrawText(size.c_str(), 12.5f, 19.0f);
}

}  // namespace

bool WriteDemoPicture(const std::filesystem::path& file)
{
    // Colour bands under a dark ring whose inside lets the paper through.
    std::vector<std::uint8_t> raw;
    raw.reserve(std::size_t(kPictureHeight) * (1 + kPictureWidth * 4));
    for (int y = 0; y < kPictureHeight; ++y) {
        raw.push_back(0);  // no row filter
        for (int x = 0; x < kPictureWidth; ++x) {
            const double dx = x - kPictureWidth / 2.0, dy = y - kPictureHeight / 2.0;
            const double r = std::sqrt(dx * dx + dy * dy);
            std::uint8_t red = std::uint8_t(x * 255 / kPictureWidth), green = std::uint8_t(y * 255 / kPictureHeight);
            std::uint8_t blue = std::uint8_t(255 - x * 255 / kPictureWidth), alpha = 255;
            if (r > 50 && r < 62)
                red = green = blue = 40;
            else if (r <= 50)
                alpha = std::uint8_t(std::min(255.0, r * 5));
            raw.insert(raw.end(), {red, green, blue, alpha});
        }
    }
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBigEndian(header, kPictureWidth);
    PutBigEndian(header, kPictureHeight);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, not interlaced
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(raw));
    PutChunk(png, "IEND", {});
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    return bool(out);
}

void DrawPrnPage(const char16_t* picture)
{
    prnSetMeasureUnit(Centimeters);
    for (auto set : {prnSetLeftMargin, prnSetRightMargin, prnSetTopMargin, prnSetBottomMargin})
        set(1.0f);
    const float width = prnGetPageWidth();
    prnSetFontName(u"DejaVu Sans");
    prnSetFontSize(20);
    prnSetFontBold(1);
    prnDrawAlignedText(u"Printed through the prn interface", width / 2, 0, TextHorAlign::Center, TextVertAlign::Top);
    prnSetFontBold(0);
    prnSetFontSize(10);
    Alignments(width);
    Shapes();
    Pictures(picture);
}

}  // namespace demo
