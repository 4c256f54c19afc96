// Reads PocketJet pages back: the page format commands, advances, start
// columns and raw dot-row transfers.
#include <cstdint>

#include "preview/DecoderSupport.h"
#include "preview/StreamDecoder.h"

namespace tarvel::preview {

namespace {

using detail::Decoding;
using detail::kEsc;

// The two models announce different line widths; that is how a stream
// tells its resolution.
int ResolutionOfLineWidth(std::uint32_t bytes)
{
    if (bytes == 300 || bytes == 308) return 300;
    if (bytes == 200 || bytes == 204) return 200;
    return 0;
}

class PocketJetDecoding : public Decoding {
public:
    using Decoding::Decoding;

    bool Run()
    {
        while (!AtEnd()) {
            const std::size_t start = pos();
            if (Take() != kEsc) return Fail(start, "byte outside any command");
            if (AtEnd()) return Fail(start, "command cut short");
            const std::uint8_t c = Take();
            if (c == '@') {
                column_ = 0;
                continue;
            }
            if (c != '~') return Fail(start, "unknown command");
            if (!Tilde(start)) return false;
        }
        return true;
    }

private:
    bool Tilde(std::size_t start)
    {
        if (AtEnd()) return Fail(start, "command cut short");
        const std::uint8_t c = Take();
        switch (c) {
        case 'q':
        case 'f':
            // Printer set-up values without effect on the dots.
            if (!Has(1)) return Fail(start, "command cut short");
            Skip(1);
            return true;
        case 'd':
            if (!Has(2)) return Fail(start, "command cut short");
            Skip(2);
            return true;
        case 'w': {
            if (!Has(2)) return Fail(start, "command cut short");
            const std::uint32_t bytes = TakeLe16();
            const int dpi = ResolutionOfLineWidth(bytes);
            page.resolutionX = page.resolutionY = dpi;
            lineWidth_ = bytes * 8;
            return Grow(start, lineWidth_, pageLength_);
        }
        case 'h':
            if (!Has(2)) return Fail(start, "command cut short");
            pageLength_ = TakeLe16();
            return Grow(start, lineWidth_, pageLength_);
        case 'J': {
            if (!Has(1)) return Fail(start, "command cut short");
            return MoveDown(start, y_, Take());
        }
        case '$':
            if (!Has(2)) return Fail(start, "command cut short");
            column_ = TakeLe16();
            return true;
        case '*': {
            if (!Has(2)) return Fail(start, "command cut short");
            const std::uint32_t count = TakeLe16();
            if (!Has(count)) return Fail(start, "data cut short");
            // An empty transfer prints nothing; the page ends with one.
            if (count) {
                if (!PutRow(start, Ink::Black, column_, y_, Here(), count * 8u)) return false;
            }
            Skip(count);
            return true;
        }
        case 0x0C: {
            if (!FormFeed(start)) return false;
            page.Extend(lineWidth_, pageLength_);
            y_ = 0;
            return true;
        }
        default:
            return Fail(start, "unknown command");
        }
    }

    std::uint32_t lineWidth_ = 0;
    std::uint32_t pageLength_ = 0;
    std::uint32_t column_ = 0;
    std::uint32_t y_ = 0;
};

}  // namespace

DecodeResult DecodePocketJet(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits)
{
    return detail::Decode<PocketJetDecoding>(data, size, Language::PocketJet, limits);
}

}  // namespace tarvel::preview
