// What every decoder shares: a cursor over the stream, the page being
// rebuilt, and the way a decoder gives up.
#pragma once

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
    Decoding(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t pos() const { return pos_; }
    bool AtEnd() const { return pos_ >= size_; }
    std::size_t Left() const { return size_ - pos_; }
    const std::uint8_t* Here() const { return data_ + pos_; }
    std::uint8_t Peek(std::size_t ahead = 0) const { return data_[pos_ + ahead]; }
    void Skip(std::size_t n) { pos_ += n; }
    std::uint8_t Take() { return data_[pos_++]; }
    std::uint32_t TakeLe16() {
        const std::uint32_t v = data_[pos_] | (data_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    std::uint32_t TakeBe16() {
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
    // resolution.
    void FormFeed() {
        PreviewPage next;
        next.resolutionX = page.resolutionX;
        next.resolutionY = page.resolutionY;
        result.pages.push_back(std::move(page));
        page = std::move(next);
        touched = false;
    }

    // Advances the paper by `rows` from row y; the page grows with it.
    bool MoveDown(std::size_t start, std::uint32_t& y, std::uint32_t rows) {
        if (y + rows > kMaxPageDots) return Fail(start, "page too long");
        y += rows;
        touched = true;
        if (!page.Extend(0, y)) return Fail(start, "page too long");
        return true;
    }

    // Puts `dots` dots of ink from `bits` on row y, from column x on.
    bool PutRow(std::size_t start, Ink ink, std::uint32_t x, std::uint32_t y, const std::uint8_t* bits,
                std::size_t dots) {
        if (!page.PutBits(ink, x, y, bits, dots)) return Fail(start, "page too large");
        touched = true;
        return true;
    }

    // Records the failure at `offset` and returns false, so a decoder can
    // write `return Fail(start, "...")`.
    bool Fail(std::size_t offset, std::string message) {
        result.ok = false;
        result.errorOffset = offset;
        result.error = std::move(message);
        return false;
    }

    // Checks the end of the stream: every page closed, at least one page.
    DecodeResult Finish(bool decodedWhole) {
        if (decodedWhole) {
            if (touched) Fail(size_, "stream ends inside a page");
            else if (result.pages.empty()) Fail(size_, "stream holds no complete page");
            else result.ok = true;
        }
        if (!result.ok) result.pages.clear();
        return std::move(result);
    }

    DecodeResult result;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Runs one language's decoding over a whole stream. A null stream with
// bytes in it is refused before any decoding.
template <class Language, class... Options>
DecodeResult Decode(const std::uint8_t* data, std::size_t size, Options... options) {
    if (!data && size) {
        DecodeResult refused;
        refused.ok = false;
        refused.errorOffset = 0;
        refused.error = "no stream";
        return refused;
    }
    Language decoding(data, size, options...);
    const bool whole = decoding.Run();
    return decoding.Finish(whole);
}

}  // namespace tarvel::preview::detail
