// Picture files decoded into 24-bit DIB sections: every format the loaders
// read gives the same pixels, transparency lies over white, pictures past
// the limit shrink in proportion, and files that are not pictures (or claim
// to be enormous) give nothing.
#include "platform/image/PictureDecoder.h"

#include <tarvel/gdi.h>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using tarvel::platform::DecodePicture;

std::filesystem::path Scratch()
{
    return std::getenv("TARVEL_TEST_SCRATCH");
}
std::filesystem::path Fixture(const char* name)
{
    return std::filesystem::path(std::getenv("TARVEL_TEST_DATA")) / "prn" / name;
}

// 3 x 2: red, lime, white / white, white, blue; alpha as given per pixel.
GdkPixbuf* SamplePixbuf(bool alpha, int width = 3, int height = 2)
{
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
    gdk_pixbuf_fill(pixbuf, 0xFFFFFFFF);
    guchar* p = gdk_pixbuf_get_pixels(pixbuf);
    const int channels = alpha ? 4 : 3, stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (auto [x, y, channel] : {std::array{0, 0, 0}, {1, 0, 1}, {2, 1, 2}}) {
        guchar* q = p + y * stride + x * channels;
        q[0] = q[1] = q[2] = 0;
        q[channel] = 255;
    }
    return pixbuf;
}

std::filesystem::path Save(GdkPixbuf* pixbuf, const std::string& name, const char* type)
{
    const std::filesystem::path file = Scratch() / name;
    EXPECT_TRUE(gdk_pixbuf_save(pixbuf, file.c_str(), type, nullptr, nullptr)) << name;
    return file;
}

// The decoded picture's size and its pixels as colour references.
struct Decoded {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
};

Decoded Read(HBITMAP bitmap)
{
    Decoded decoded;
    DIBSECTION dib{};
    if (!bitmap || GetObjectW(bitmap, sizeof dib, &dib) != int(sizeof dib))
        return decoded;
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    decoded.width = dib.dsBm.bmWidth;
    decoded.height = dib.dsBm.bmHeight;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < decoded.height && decoded.width <= 16; ++y)
        for (int x = 0; x < decoded.width; ++x)
            decoded.pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return decoded;
}

const std::vector<COLORREF> kSample = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(255, 255, 255), RGB(255, 255, 255),
                                       RGB(255, 255, 255), RGB(0, 0, 255)};

TEST(PictureDecoder, EveryLosslessFormatGivesThePixelsOfThePicture)
{
    GdkPixbuf* pixbuf = SamplePixbuf(false);
    // Three pixels a row: the rows come out in order and whole.
    for (const char* type : {"png", "bmp", "tiff"})
        EXPECT_EQ(Read(DecodePicture(Save(pixbuf, std::string("sample.") + type, type))).pixels, kSample) << type;
    EXPECT_EQ(Read(DecodePicture(Fixture("tiny.gif"))).pixels, kSample);

    // JPEG is lossy and shares colour between neighbours: a red block.
    GdkPixbuf* red = gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, 16, 8);
    gdk_pixbuf_fill(red, 0xFF0000FF);
    const COLORREF middle = Read(DecodePicture(Save(red, "red.jpg", "jpeg"))).pixels.at(60);
    g_object_unref(red);
    EXPECT_TRUE(GetRValue(middle) > 240 && GetGValue(middle) < 16) << std::hex << middle;
    // The content decides, not the name.
    const std::filesystem::path misnamed = Scratch() / "really-a-png.jpg";
    std::filesystem::copy_file(Scratch() / "sample.png", misnamed, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(Read(DecodePicture(misnamed)).pixels, kSample);
    g_object_unref(pixbuf);
}

TEST(PictureDecoder, TransparentPixelsLieOverWhitePaper)
{
    GdkPixbuf* pixbuf = SamplePixbuf(true);
    guchar* p = gdk_pixbuf_get_pixels(pixbuf);
    p[3] = 0;    // red, fully transparent
    p[7] = 128;  // lime, half covered
    std::vector<COLORREF> expected = kSample;
    expected[0] = RGB(255, 255, 255);
    expected[1] = RGB(127, 255, 127);
    EXPECT_EQ(Read(DecodePicture(Save(pixbuf, "alpha.png", "png"))).pixels, expected);
    g_object_unref(pixbuf);
}

TEST(PictureDecoder, PicturesPastTheLimitAreReadSmallerInProportion)
{
    GdkPixbuf* wide = SamplePixbuf(false, 20000, 10);
    const Decoded decoded = Read(DecodePicture(Save(wide, "wide.png", "png")));
    EXPECT_EQ(std::pair(decoded.width, decoded.height), std::pair(10000, 5));
    g_object_unref(wide);

    // At the limit nothing changes; past it, never below one pixel.
    for (auto [width, height, fitW, fitH] : {std::array{10000, 10000, 10000, 10000}, {30000, 12000, 10000, 4000}, {1, 1000000, 1, 10000}}) {
        std::int32_t w = 0, h = 0;
        tarvel::platform::FitPictureSize(width, height, &w, &h);
        EXPECT_EQ(std::pair(w, h), std::pair(fitW, fitH)) << width << " x " << height;
    }
}

TEST(PictureDecoder, AKeptPictureIsReadAnewOnceItsFileChanges)
{
    GdkPixbuf* pixbuf = SamplePixbuf(false);
    const std::filesystem::path file = Save(pixbuf, "kept.png", "png");
    EXPECT_EQ(Read(tarvel::platform::LoadPicture(file)).pixels, kSample);
    EXPECT_EQ(Read(tarvel::platform::LoadPicture(file)).pixels, kSample);  // the kept copy
    // Same size, other pixels: the blue corner turns green.
    gdk_pixbuf_get_pixels(pixbuf)[gdk_pixbuf_get_rowstride(pixbuf) + 7] = 255;
    gdk_pixbuf_get_pixels(pixbuf)[gdk_pixbuf_get_rowstride(pixbuf) + 8] = 0;
    Save(pixbuf, "kept.png", "png");
    std::vector<COLORREF> changed = kSample;
    changed[5] = RGB(0, 255, 0);
    EXPECT_EQ(Read(tarvel::platform::LoadPicture(file)).pixels, changed);
    std::filesystem::remove(file);
    EXPECT_EQ(tarvel::platform::LoadPicture(file), nullptr);
    g_object_unref(pixbuf);
}

// Empty files are the picture calls' tests (tests/prn).
TEST(PictureDecoder, FilesThatAreNoPictureGiveNothing)
{
    const std::filesystem::path folder = Scratch();
    std::ofstream(folder / "text.png") << "not a picture at all, only words\n";
    GdkPixbuf* pixbuf = SamplePixbuf(false, 64, 64);
    gchar* bytes = nullptr;
    gsize size = 0;
    ASSERT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &bytes, &size, "png", nullptr, nullptr));
    std::ofstream(folder / "truncated.png", std::ios::binary).write(bytes, std::streamsize(size / 2));
    g_free(bytes);
    g_object_unref(pixbuf);

    for (const std::filesystem::path& file : {folder / "missing.png", folder, folder / "text.png", folder / "truncated.png", std::filesystem::path()}) {
        EXPECT_EQ(DecodePicture(file), nullptr) << file;
        EXPECT_EQ(tarvel::platform::LoadPicture(file), nullptr) << file;
    }
    // A few hundred bytes that claim 100000 x 100000 pixels are refused
    // before anything that size is allocated.
    EXPECT_EQ(DecodePicture(Fixture("bomb.png")), nullptr);
}

}  // namespace
