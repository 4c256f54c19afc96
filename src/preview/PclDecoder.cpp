// Reads PCL raster pages back: the reset and job commands our pages use,
// raster graphics with one, three or four planes, and all four raster
// compression methods with their seed rows.
#include <cstdint>
#include <vector>

#include "preview/DecoderSupport.h"
#include "preview/RasterCodecs.h"
#include "preview/StreamDecoder.h"

namespace tarvel::preview {

namespace {

using detail::Decoding;
using detail::kEsc;
using detail::kFormFeed;
using detail::kMaxRowBytes;

// One parameter of a (possibly combined) parameterised command, such as the
// "2m" and "17W" of ESC *b2m17W.
struct Parameter {
    std::int64_t value = 0;
    char letter = 0;  // upper case
    bool final = false;
};

class PclDecoding : public Decoding {
public:
    using Decoding::Decoding;

    bool Run()
    {
        while (!AtEnd()) {
            const std::size_t start = pos();
            const std::uint8_t b = Take();
            if (b == kFormFeed) {
                // The printer ends raster graphics itself at a form feed.
                rasterActive_ = false;
                if (!FormFeed(start)) return false;
                y_ = 0;
                continue;
            }
            if (b != kEsc) return Fail(start, "byte outside any command");
            if (!Has(1)) return Fail(start, "command cut short");
            const std::uint8_t c = Take();
            if (c == 'E') {
                if (!Reset(start)) return false;
            } else if (c == '%') {
                if (!UniversalExit(start)) return false;
            } else if (c >= 0x21 && c <= 0x2F) {
                if (!Parameterised(start, static_cast<char>(c))) return false;
            } else {
                return Fail(start, "unknown command");
            }
        }
        return true;
    }

private:
    // A reset ejects a page that has anything on it, as the printer does,
    // and restores the defaults.
    bool Reset(std::size_t start)
    {
        if (touched && !FormFeed(start)) return false;
        rasterActive_ = false;
        planes_ = 1;
        resolution_ = 300;
        method_ = 0;
        y_ = 0;
        return true;
    }

    bool UniversalExit(std::size_t start)
    {
        static const char kRest[] = "-12345X";
        for (const char* p = kRest; *p; ++p) {
            if (AtEnd()) return Fail(start, "command cut short");
            if (Take() != static_cast<std::uint8_t>(*p)) return Fail(start, "unknown command");
        }
        return Reset(start);
    }

    bool ReadParameter(std::size_t start, Parameter& p)
    {
        bool negative = false;
        if (!AtEnd() && (Peek() == '+' || Peek() == '-')) negative = Take() == '-';
        int digits = 0;
        std::int64_t value = 0;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
            if (++digits > 10) return Fail(start, "value out of range");
            value = value * 10 + (Take() - '0');
        }
        if (!AtEnd() && Peek() == '.') {
            // Fractions are legal PCL, but none of our commands takes one.
            return Fail(start, "fractional value");
        }
        if (AtEnd()) return Fail(start, "command cut short");
        const std::uint8_t letter = Take();
        if (letter >= 0x60 && letter <= 0x7E) {
            p.letter = static_cast<char>(letter - 0x20);
            p.final = false;
        } else if (letter >= 0x40 && letter <= 0x5E) {
            p.letter = static_cast<char>(letter);
            p.final = true;
        } else {
            return Fail(start, "bad parameter character");
        }
        p.value = negative ? -value : value;
        return true;
    }

    bool Parameterised(std::size_t start, char family)
    {
        if (AtEnd()) return Fail(start, "command cut short");
        const std::uint8_t group = Take();
        if (group < 0x60 || group > 0x7E) return Fail(start, "unknown command");
        for (;;) {
            Parameter p;
            if (!ReadParameter(start, p)) return false;
            if (!Apply(start, family, static_cast<char>(group), p)) return false;
            if (p.final) return true;
        }
    }

    bool Apply(std::size_t start, char family, char group, const Parameter& p)
    {
        const auto is = [&](char f, char g, char l) {
            return family == f && group == g && p.letter == l;
        };
        if (is('&', 'l', 'O') || is('&', 'l', 'E') || is('*', 'p', 'X') || is('*', 'p', 'Y')) {
            // Orientation, top margin and cursor: our pages keep them all
            // at 0, and a preview of anything else would be a guess.
            if (p.value != 0) return Fail(start, "unsupported page position or orientation");
            return true;
        }
        if (is('*', 'r', 'U')) {
            if (rasterActive_) return Fail(start, "plane count changed inside raster graphics");
            if (p.value != 1 && p.value != -3 && p.value != -4)
                return Fail(start, "unsupported plane count");
            planes_ = static_cast<int>(p.value < 0 ? -p.value : p.value);
            return true;
        }
        if (is('*', 't', 'R')) {
            if (p.value <= 0 || p.value > 1200) return Fail(start, "unsupported resolution");
            resolution_ = static_cast<int>(p.value);
            return true;
        }
        if (is('*', 'r', 'A')) {
            if (p.value != 0 && p.value != 1) return Fail(start, "unsupported raster start");
            rasterActive_ = true;
            planeIndex_ = 0;
            for (auto& seed : seeds_) seed.clear();
            page.resolutionX = page.resolutionY = resolution_;
            touched = true;
            return true;
        }
        if (is('*', 'r', 'C') || is('*', 'r', 'B')) {
            rasterActive_ = false;
            return true;
        }
        if (is('*', 'b', 'M')) {
            if (p.value < 0 || p.value > 3) return Fail(start, "unsupported compression method");
            method_ = static_cast<int>(p.value);
            return true;
        }
        if (is('*', 'b', 'Y')) {
            if (!rasterActive_) return Fail(start, "raster offset outside raster graphics");
            if (p.value < 0) return Fail(start, "negative raster offset");
            if (planeIndex_ != 0) return Fail(start, "raster offset inside a row");
            // The printer zeroes its seed rows with every Y offset.
            for (auto& seed : seeds_) seed.clear();
            return MoveDown(start, y_, static_cast<std::uint64_t>(p.value));
        }
        if (is('*', 'b', 'V') || is('*', 'b', 'W')) {
            if (!p.final) return Fail(start, "data transfer must end the command");
            return Transfer(start, p.letter == 'W', p.value);
        }
        return Fail(start, "unknown command");
    }

    Ink PlaneInk(int index) const
    {
        if (planes_ == 1) return Ink::Black;
        static constexpr Ink kOrder[] = {Ink::Cyan, Ink::Magenta, Ink::Yellow, Ink::Black};
        return kOrder[index];
    }

    bool Transfer(std::size_t start, bool lastPlane, std::int64_t count)
    {
        if (!rasterActive_) return Fail(start, "raster data outside raster graphics");
        if (count < 0) return Fail(start, "negative data size");
        if (!Has(static_cast<std::size_t>(count))) return Fail(start, "data cut short");
        if (lastPlane != (planeIndex_ == planes_ - 1))
            return Fail(start, "row does not have the announced number of planes");
        const std::uint8_t* data = Here();
        const std::size_t size = static_cast<std::size_t>(count);
        Skip(size);

        std::vector<std::uint8_t>& seed = seeds_[planeIndex_];
        std::vector<std::uint8_t> row;
        bool ok = true;
        switch (method_) {
        case 0:
            ok = size <= kMaxRowBytes;
            if (ok) row.assign(data, data + size);
            break;
        case 1: ok = DecodeRunLength(data, size, kMaxRowBytes, row); break;
        case 2: ok = UnpackBits(data, size, kMaxRowBytes, row); break;
        default:
            row = seed;
            ok = ApplyDeltaRow(data, size, kMaxRowBytes, row);
            break;
        }
        if (!ok) return Fail(start, "bad compressed data");
        if (!PutRow(start, PlaneInk(planeIndex_), 0, y_, row.data(), row.size() * 8)) return false;
        seed = std::move(row);
        if (lastPlane) {
            planeIndex_ = 0;
            if (++y_ > LargestHeight()) return Fail(start, "page longer than the largest paper");
        } else {
            ++planeIndex_;
        }
        return true;
    }

    bool rasterActive_ = false;
    int planes_ = 1;
    int planeIndex_ = 0;
    int resolution_ = 300;
    int method_ = 0;
    std::uint32_t y_ = 0;
    std::vector<std::uint8_t> seeds_[4];
};

}  // namespace

DecodeResult DecodePcl(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits)
{
    return detail::Decode<PclDecoding>(data, size, Language::Pcl, limits);
}

}  // namespace tarvel::preview
