// A picture file decoded for one prn call.
#pragma once

#include <tarvel/win32.h>

#include <cstdint>

namespace tarvel::prn {

// Owns the decoded bitmap; made on the stack for one call.
class Picture {
public:
    Picture() = default;
    virtual ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // Decodes the file at a device path (below the device's root folder, or
    // an absolute path here); false when it cannot be read or decoded.
    bool Load(LPCWSTR path);
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    HBITMAP Bitmap() const { return bitmap_; }

private:
    void Release();

    std::int32_t height_ = 0;
    std::int32_t width_ = 0;
    HBITMAP bitmap_ = nullptr;
};

}  // namespace tarvel::prn
