// Reads Canon BJ pages back: initialisation, resolution, compression mode,
// vertical moves and one raster command per colour plane.
#include <cstdint>
#include <vector>

#include "preview/DecoderSupport.h"
#include "preview/RasterCodecs.h"
#include "preview/StreamDecoder.h"

namespace tarvel::preview {

namespace {

using detail::Decoding;
using detail::kCarriageReturn;
using detail::kEsc;
using detail::kFormFeed;
using detail::kMaxRowBytes;

bool InkOfLetter(std::uint8_t letter, Ink* ink)
{
    switch (letter) {
    case 'K': *ink = Ink::Black; return true;
    case 'M': *ink = Ink::Magenta; return true;
    case 'C': *ink = Ink::Cyan; return true;
    case 'Y': *ink = Ink::Yellow; return true;
    default: return false;
    }
}

class CanonBjDecoding : public Decoding {
public:
    using Decoding::Decoding;

    bool Run()
    {
        while (!AtEnd()) {
            const std::size_t start = pos();
            const std::uint8_t b = Take();
            if (b == kCarriageReturn) continue;
            if (b == kFormFeed) {
                if (!FormFeed(start)) return false;
                y_ = 0;
                continue;
            }
            if (b != kEsc) return Fail(start, "byte outside any command");
            if (!Has(4)) return Fail(start, "command cut short");
            const std::uint8_t bracket = Take();
            const std::uint8_t letter = Take();
            const std::uint32_t length = TakeLe16();
            if (!Has(length)) return Fail(start, "command cut short");
            if (!Command(start, bracket, letter, length)) return false;
        }
        return true;
    }

private:
    bool Command(std::size_t start, std::uint8_t bracket, std::uint8_t letter, std::uint32_t length)
    {
        if (bracket == '[' && letter == 'K') {
            if (length != 2) return Fail(start, "unsupported initialisation");
            compressed_ = false;
            Skip(length);
            return true;
        }
        if (bracket != '(') return Fail(start, "unknown command");
        switch (letter) {
        case 'd': {
            if (length != 2) return Fail(start, "unsupported resolution");
            const std::uint32_t dpi = TakeBe16();
            if (dpi == 0 || dpi > 1440) return Fail(start, "unsupported resolution");
            page.resolutionX = page.resolutionY = static_cast<int>(dpi);
            return true;
        }
        case 'b': {
            if (length != 1 || Peek() > 1) return Fail(start, "unsupported compression");
            compressed_ = Take() == 1;
            return true;
        }
        case 'e': {
            if (length != 2) return Fail(start, "unsupported vertical move");
            return MoveDown(start, y_, TakeBe16());
        }
        case 'A': return RasterData(start, length);
        default: return Fail(start, "unknown command");
        }
    }

    // The length counts the colour letter and then the data.
    bool RasterData(std::size_t start, std::uint32_t length)
    {
        if (length < 1) return Fail(start, "raster data without colour");
        Ink ink;
        if (!InkOfLetter(Take(), &ink)) return Fail(start, "unknown colour");
        const std::size_t size = length - 1;
        std::vector<std::uint8_t> bits;
        if (compressed_) {
            if (!UnpackBits(Here(), size, kMaxRowBytes, bits)) return Fail(start, "bad compressed data");
        } else {
            if (size > kMaxRowBytes) return Fail(start, "row too long");
            bits.assign(Here(), Here() + size);
        }
        Skip(size);
        return PutRow(start, ink, 0, y_, bits.data(), bits.size() * 8);
    }

    bool compressed_ = false;
    std::uint32_t y_ = 0;
};

}  // namespace

DecodeResult DecodeCanonBj(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits)
{
    return detail::Decode<CanonBjDecoding>(data, size, Language::CanonBj, limits);
}

}  // namespace tarvel::preview
