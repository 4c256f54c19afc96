// Raster compression of plane rows for the raster drivers.
//
// A RowCompressor encodes each plane row with every enabled method (the four
// raster compression methods of PCL: 0 unencoded, 1 run-length, 2 TIFF
// PackBits, 3 delta row), keeps the smallest result and remembers the method
// last chosen, so a driver announces a method only when it changes. Method
// 2's output is also the run-length format the Epson and Canon languages
// expect. One compressor serves every plane of every row of a page: its
// buffers are allocated once in Allocate and Compress allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace tarvel::drivers {

class RowCompressor {
public:
    // Method numbers, as the printer languages number them.
    static constexpr int kUnencoded = 0;
    static constexpr int kRunLength = 1;
    static constexpr int kPackBits = 2;
    static constexpr int kDeltaRow = 3;
    static constexpr int kMethodCount = 4;

    // At most this many planes keep a seed row.
    static constexpr int kMaxPlanes = 8;

    // What Compress reports in `change` when the method stayed the same.
    static constexpr int kNoChange = -1;

    // Empty, with all four methods enabled.
    RowCompressor();
    ~RowCompressor();
    RowCompressor(const RowCompressor&) = delete;
    RowCompressor& operator=(const RowCompressor&) = delete;

    // Frees, then allocates `planes` zeroed seed rows of rowBytes bytes and
    // four output buffers of 2 x rowBytes; currentMethod becomes 0. Returns
    // false (and leaves the compressor empty) when rowBytes is not positive,
    // planes is outside 1..8, the sizes overflow or memory runs out.
    bool Allocate(int rowBytes, int planes);

    // Releases every buffer; planes and rowBytes become 0. The enabled
    // methods and currentMethod are kept.
    void Free();

    // Sets every byte of the allocated seed rows to 0.
    void ClearSeeds();

    // Chooses which methods Compress tries. With none enabled, Compress falls
    // back to method 0, which always gives a valid row.
    void EnableMethods(bool unencoded, bool runLength, bool packBits, bool deltaRow);

    // Encodes `length` bytes of `data` (length at most rowBytes) as plane
    // `plane` (below planes) and returns the size of the smallest encoding.
    // *buffer receives that encoding (valid until the next Compress, Allocate
    // or Free); *change receives the chosen method when it differs from the
    // method chosen before, else kNoChange. The data becomes the plane's seed
    // row. Either out pointer may be null. Without buffers, with null data, a
    // negative or too long length or a plane out of range nothing changes:
    // the result is 0, *buffer is null and *change is kNoChange.
    int Compress(const std::uint8_t* data, int length, int plane,
                 const std::uint8_t** buffer, int* change);

    int planes() const { return planes_; }
    int rowBytes() const { return rowBytes_; }
    // The method last chosen by Compress; 0 after Allocate.
    std::uint32_t currentMethod() const { return currentMethod_; }
    bool enabled(int method) const;
    // The last uncompressed row compressed as `plane` (rowBytes bytes), or
    // null for a plane without a seed row.
    const std::uint8_t* seedRow(int plane) const;

private:
    int planes_ = 0;
    int rowBytes_ = 0;
    std::array<std::unique_ptr<std::uint8_t[]>, kMaxPlanes> seedRows_;
    std::array<std::unique_ptr<std::uint8_t[]>, kMethodCount> outputs_;
    std::uint32_t currentMethod_ = 0;
    std::array<bool, kMethodCount> enabled_{true, true, true, true};
};

}  // namespace tarvel::drivers
