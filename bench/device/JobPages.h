// The content of the two job benchmark pages, in printer dots at 300 dpi:
// bench_pages draws it with PDC_ calls, bench_prn_pages with prn calls, so
// the two figures differ only in the interface that drew the page.
#pragma once

#include <tarvel/win32.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace jobpages {

inline constexpr int kDpi = 300;
inline constexpr const char16_t* kFace = u"Liberation Serif";
inline constexpr int kTextPoints = 11;
inline constexpr int kTitlePoints = 24;

// (a) 60 lines of text.
inline constexpr int kTextLines = 60;
inline std::u16string TextLine(int line)
{
    return u"Line " + std::u16string(1, char16_t(u'0' + line / 10)) + std::u16string(1, char16_t(u'0' + line % 10))
        + u": the quick brown fox jumps over the lazy dog, and then prints itself without a driver.";
}
inline POINT TextLineAt(int line)
{
    return {300, 300 + line * 50};
}

// (b) a title, 12 lines of text, 20 coloured shapes and a picture.
inline constexpr const char16_t* kTitle = u"Quarterly field report";
inline constexpr POINT kTitleAt = {300, 200};
inline constexpr int kBodyLines = 12;
inline constexpr const char16_t* kBodyLine = u"Readings were taken at every site and are listed below.";
inline POINT BodyLineAt(int line)
{
    return {300, 400 + line * 50};
}

inline constexpr int kShapes = 20;
struct Shape {
    bool ellipse;
    RECT box;
    COLORREF fill;
};
inline Shape ShapeAt(int i)
{
    const int x = 300 + (i % 5) * 400, y = 1100 + (i / 5) * 250;
    return {i % 2 == 1, {x, y, x + 300, y + 200}, RGB(i * 12, 255 - i * 12, (i * 40) & 255)};
}

inline constexpr int kPictureWidth = 1500;
inline constexpr int kPictureHeight = 1000;
inline constexpr POINT kPictureAt = {400, 2200};

// The picture's pixels, blue, green, red, top row first, rows `stride` bytes apart.
inline void FillPicture(std::uint8_t* bits, std::size_t stride)
{
    for (int y = 0; y < kPictureHeight; ++y) {
        std::uint8_t* p = bits + std::size_t(y) * stride;
        for (int x = 0; x < kPictureWidth; ++x, p += 3) {
            p[0] = static_cast<std::uint8_t>(x * 255 / (kPictureWidth - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / (kPictureHeight - 1));
            p[2] = static_cast<std::uint8_t>((x ^ y) & 255);
        }
    }
}

}  // namespace jobpages
