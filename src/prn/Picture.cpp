// Pictures printed at their own size or stretched: the file is decoded into
// a bitmap, which is copied onto the page through a memory DC. The page
// keeps its own copy of the bitmap, so the picture is gone after the call.
#include "prn/Picture.h"

#include "platform/image/PictureDecoder.h"
#include "ports/FilePort.h"
#include "prn/PrnState.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>

#include <string>

namespace tarvel::prn {

Picture::~Picture()
{
    Release();
}

void Picture::Release()
{
    if (bitmap_)
        DeleteObject(bitmap_);
    bitmap_ = nullptr;
    width_ = height_ = 0;
}

bool Picture::Load(LPCWSTR path)
{
    Release();
    if (!path)
        return false;
    // A picture is found the way the file port finds its output file.
    const std::filesystem::path local = tarvel::ports::DevicePathToLocal(std::u16string_view(path));
    HBITMAP bitmap = tarvel::platform::LoadPicture(local);
    if (!bitmap)
        return false;
    BITMAP description{};
    if (GetObjectW(bitmap, sizeof description, &description) == 0) {
        DeleteObject(bitmap);
        return false;
    }
    bitmap_ = bitmap;
    width_ = description.bmWidth;
    height_ = description.bmHeight < 0 ? -description.bmHeight : description.bmHeight;
    return true;
}

namespace {

struct TargetSize {
    bool natural = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The size the picture is drawn at, in printer dots.
TargetSize TargetFor(const Picture& picture, float width, float height, int scale)
{
    // Below one unit on both sides counts as no size at all.
    if (Truncate(width) == 0 && Truncate(height) == 0)
        return {true, picture.Width(), picture.Height()};
    TargetSize target{false, DeviceSize(width), DeviceSize(height)};
    const double imageWidth = picture.Width(), imageHeight = picture.Height();
    // One side of exactly 0 follows the other in the picture's proportions.
    if (width == 0.0f)
        target.width = Truncate(imageWidth * (double(target.height) / imageHeight));
    if (height == 0.0f)
        target.height = Truncate(imageHeight * (double(target.width) / imageWidth));
    if (scale != 0) {
        // Compared as unsigned: a negative size is never "smaller".
        double factor = 1.0;
        if (std::uint32_t(target.width) < std::uint32_t(picture.Width()))
            factor = target.width / imageWidth;
        if (std::uint32_t(target.height) < std::uint32_t(picture.Height()) && target.height / imageHeight <= factor)
            factor = target.height / imageHeight;
        target.width = Truncate(target.width * factor);
        target.height = Truncate(target.height * factor);
    }
    return target;
}

}  // namespace
}  // namespace tarvel::prn

using namespace tarvel::prn;

int prnGetPictureSize(LPCWSTR path, float* width, float* height)
{
    if (width)
        *width = 0.0f;
    if (height)
        *height = 0.0f;
    if (!width || !height)
        return 0;
    Picture picture;
    if (!picture.Load(path))
        return 0;
    // Pixels of the picture, whatever the unit: the size it prints at when
    // drawn at its own size.
    *width = static_cast<float>(picture.Width());
    *height = static_cast<float>(picture.Height());
    return 1;
}

int prnDrawPicture(LPCWSTR path, float x, float y, float width, float height, int scale)
{
    if (!Placeable(x, y, width, height))
        return 0;
    Picture picture;
    if (!picture.Load(path))
        return 0;
    const TargetSize target = TargetFor(picture, width, height, scale);
    HDC page = State().jobDc;
    HDC memory = PDC_CreateCompatibleDC(page);
    HGDIOBJ previous = PDC_SelectObject(memory, picture.Bitmap());
    const std::int32_t left = DeviceX(x), top = DeviceY(y);
    if (target.natural)
        PDC_BitBlt(page, left, top, picture.Width(), picture.Height(), memory, 0, 0, SRCCOPY);
    else
        PDC_StretchBlt(page, left, top, target.width, target.height, memory, 0, 0, picture.Width(), picture.Height(),
                       SRCCOPY);
    // The bitmap must leave the memory DC before either can be deleted.
    if (previous)
        SelectObject(memory, previous);
    PDC_DeleteDC(memory);
    return 1;
}
