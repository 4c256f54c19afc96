// What every decoder shares: a cursor over the stream, the page being
// rebuilt, and the way a decoder gives up.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "preview/PreviewPage.h"
#include "preview/StreamDecoder.h"

namespace tarvel::preview::detail {

// Plane rows are never longer than this many bytes on any of our pages.
inline constexpr std::size_t kMaxRowBytes = kMaxPageDots / 8;

inline constexpr std::uint8_t kEsc = 0x1B;
inline constexpr std::uint8_t kFormFeed = 0x0C;
inline constexpr std::uint8_t kCarriageReturn = 0x0D;

class Decoding {
public:
    Decoding(const std::uint8_t* data, std::size_t size, Language language, const DecodeLimits& limits)
        : data_(data)
        , size_(size)
        , largest_(LargestPage(language))
        , limits_(limits)
    {
    }

    std::size_t pos() const { return pos_; }
    bool AtEnd() const { return pos_ >= size_; }
    std::size_t Left() const { return size_ - pos_; }
    const std::uint8_t* Here() const { return data_ + pos_; }
    std::uint8_t Peek(std::size_t ahead = 0) const { return data_[pos_ + ahead]; }
    void Skip(std::size_t n) { pos_ += n; }
    std::uint8_t Take() { return data_[pos_++]; }
    std::uint32_t TakeLe16()
    {
        const std::uint32_t v = data_[pos_] | (data_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    std::uint32_t TakeBe16()
    {
        const std::uint32_t v = (data_[pos_] << 8) | data_[pos_ + 1];
        pos_ += 2;
        return v;
    }
    // True when n more bytes are there.
    bool Has(std::size_t n) const { return size_ - pos_ >= n; }

    // The page being printed; touched once anything was put on it or the
    // paper moved, so that a stream ending without a form feed is caught.
    PreviewPage page;
    bool touched = false;

    // Ends the page at a form feed and starts a fresh one with the same
    // resolution. Fails when the stream's pages grow past the limits: a few
    // bytes can declare page after page, each of which costs its area when
    // it is rendered.
    bool FormFeed(std::size_t start)
    {
        if (result.pages.size() >= limits_.pages) return Fail(start, "too many pages");
        pageDots_ += std::uint64_t{page.width()} * page.height();
        if (pageDots_ > limits_.totalPageDots) return Fail(start, "stream too large to preview");
        inkBytes_ += page.StoredBytes();
        PreviewPage next;
        next.resolutionX = page.resolutionX;
        next.resolutionY = page.resolutionY;
        result.pages.push_back(std::move(page));
        page = std::move(next);
        touched = false;
        return true;
    }

    // Makes the page at least width x height (a declared line width or page
    // length), no larger than the largest paper.
    bool Grow(std::size_t start, std::uint32_t width, std::uint32_t height)
    {
        if (width > largest_.width) return Fail(start, "page wider than the largest paper");
        if (height > largest_.height) return Fail(start, "page longer than the largest paper");
        page.Extend(width, height);
        return true;
    }

    // Advances the paper by `rows` from row y; the page grows with it.
    bool MoveDown(std::size_t start, std::uint32_t& y, std::uint64_t rows)
    {
        if (rows > largest_.height - std::min(y, largest_.height))
            return Fail(start, "page longer than the largest paper");
        y += static_cast<std::uint32_t>(rows);
        touched = true;
        return Grow(start, 0, y);
    }

    // Puts `dots` dots of ink from `bits` on row y, from column x on.
    bool PutRow(std::size_t start, Ink ink, std::uint32_t x, std::uint32_t y, const std::uint8_t* bits,
                std::size_t dots)
    {
        if (x > largest_.width || dots > largest_.width - x) return Fail(start, "page wider than the largest paper");
        if (y >= largest_.height) return Fail(start, "page longer than the largest paper");
        if (!page.PutBits(ink, x, y, bits, dots)) return Fail(start, "page too large");
        touched = true;
        // Rows the stream repeats cheaply (a delta row of no bytes copies
        // the whole seed row) are stored in full; the sum is what is held.
        if (inkBytes_ + page.StoredBytes() > limits_.totalInkBytes) return Fail(start, "stream too large to preview");
        return true;
    }

    // The longest row of plane bytes the largest paper takes.
    std::size_t MaxRowBytes() const { return largest_.width / 8; }
    std::uint32_t LargestHeight() const { return largest_.height; }

    // Records the failure at `offset` and returns false, so a decoder can
    // write `return Fail(start, "...")`.
    bool Fail(std::size_t offset, std::string message)
    {
        result.ok = false;
        result.errorOffset = offset;
        result.error = std::move(message);
        return false;
    }

    // Checks the end of the stream: every page closed, at least one page.
    DecodeResult Finish(bool decodedWhole)
    {
        if (decodedWhole) {
            if (touched)
                Fail(size_, "stream ends inside a page");
            else if (result.pages.empty())
                Fail(size_, "stream holds no complete page");
            else
                result.ok = true;
        }
        if (!result.ok) result.pages.clear();
        return std::move(result);
    }

    DecodeResult result;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    const PageSize largest_;
    const DecodeLimits limits_;
    // What the completed pages hold: their total area and stored ink.
    std::uint64_t pageDots_ = 0;
    std::size_t inkBytes_ = 0;
};

// Runs one language's decoding over a whole stream. A null stream with
// bytes in it is refused before any decoding.
template <class Decoder, class... Options>
DecodeResult Decode(const std::uint8_t* data, std::size_t size, Options... options)
{
    if (!data && size) {
        DecodeResult refused;
        refused.ok = false;
        refused.errorOffset = 0;
        refused.error = "no stream";
        return refused;
    }
    Decoder decoding(data, size, options...);
    const bool whole = decoding.Run();
    return decoding.Finish(whole);
}

}  // namespace tarvel::preview::detail
