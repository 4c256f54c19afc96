// Ports and rows for driver tests: a port that collects the stream, one
// that takes only N bytes, hex streams, and a page run the way the page
// pipeline drives a driver.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/PrinterDriver.h"
#include "ports/PortWriter.h"

namespace tarvel::testing {

using Bytes = std::vector<std::uint8_t>;

// Collects the stream, up to `limit` bytes in total: the write that
// crosses the limit takes what still fits and returns that. Every write
// after the first short one is counted, because a driver must not make any.
class CollectingWriter : public ports::PortWriter {
public:
    explicit CollectingWriter(std::size_t limit = SIZE_MAX)
        : limit_(limit)
    {
    }
    int Write(const std::uint8_t* bytes, int length) override
    {
        ++writes;
        if (failed) ++writesAfterFailure;
        const std::size_t take = std::min<std::size_t>(std::max(length, 0), limit_ - data.size());
        data.insert(data.end(), bytes, bytes + take);
        failed = failed || take != static_cast<std::size_t>(std::max(length, 0));
        return static_cast<int>(take);
    }
    Bytes data;
    int writes = 0;
    bool failed = false;
    int writesAfterFailure = 0;

private:
    std::size_t limit_;
};
using LimitedWriter = CollectingWriter;

// "1B 40 0C" -> bytes. Anything but hex digits separates; digits pair up
// within a run, so "451B" is two bytes.
inline Bytes Hex(const std::string& text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        const auto v = std::string_view("0123456789abcdef").find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        if (v == std::string_view::npos) {
            high = -1;
        } else if (high < 0) {
            high = static_cast<int>(v);
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + static_cast<int>(v)));
            high = -1;
        }
    }
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// An escape sequence: ESC followed by the text.
inline Bytes Esc(const std::string& text)
{
    Bytes out{0x1B};
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

inline std::string ToHex(const Bytes& bytes)
{
    std::string s;
    for (std::uint8_t b : bytes) {
        if (!s.empty()) s += ' ';
        s += "0123456789ABCDEF"[b >> 4];
        s += "0123456789ABCDEF"[b & 15];
    }
    return s;
}

// Pixel colours as blue, green, red.
struct Bgr {
    std::uint8_t b, g, r;
};
inline constexpr Bgr kWhite{255, 255, 255};
inline constexpr Bgr kBlack{0, 0, 0};
inline constexpr Bgr kRed{0, 0, 255};
inline constexpr Bgr kBlue{255, 0, 0};
// White, black, red, green, blue, yellow, magenta, cyan.
inline constexpr Bgr kPalette[8] = {kWhite, kBlack, kRed, {0, 255, 0}, kBlue, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};

using Row = Bytes;

inline Row WhiteRow(int width)
{
    return Row(static_cast<std::size_t>(width) * 3, 255);
}

inline void Paint(Row& row, int from, int to, Bgr c)
{
    for (int x = from; x < to; ++x) {
        row[3 * x] = c.b;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.r;
    }
}

// A monochrome row whose pixels follow the bits of `planeBytes`.
inline Row RowFromBits(const Bytes& planeBytes, int width)
{
    Row row = WhiteRow(width);
    for (int x = 0; x < width && x / 8 < static_cast<int>(planeBytes.size()); ++x)
        if (planeBytes[x / 8] & (0x80 >> (x % 8))) Paint(row, x, x + 1, kBlack);
    return row;
}

// A dithered-looking row: seeded random palette colours (black and white
// only when monochrome), in runs so that every compression method has
// something to find, with a white right-hand part now and then.
inline Row RandomRow(std::mt19937& rng, int width, bool monochrome)
{
    Row row = WhiteRow(width);
    const int colours = monochrome ? 2 : 8;
    int x = 0;
    const int inkedTo = (rng() % 4 == 0) ? static_cast<int>(rng() % (width + 1)) : width;
    while (x < inkedTo) {
        const int run = 1 + static_cast<int>(rng() % (rng() % 3 == 0 ? 90 : 6));
        const Bgr c = kPalette[rng() % colours];
        Paint(row, x, std::min(inkedTo, x + run), c);
        x += run;
    }
    return row;
}

struct PageSetup {
    std::uint32_t planeCount = 1;
    std::uint32_t width = 0;
    std::uint32_t draft = 0;
    std::uint32_t compression = 1;
    std::uint32_t paper = 0;
};

// Drives a driver through one page as the page pipeline does: white rows
// are counted and announced before the next inked row, white rows at the
// bottom never. Returns false at the first failed step, skips included, so
// a short-write test sees which operation met the short write.
inline bool PrintPage(drivers::PrinterDriver& driver, ports::PortWriter& port,
                      const PageSetup& setup, const std::vector<Row>& rows)
{
    if (!driver.Open(setup.planeCount, setup.width, setup.draft, setup.compression, setup.paper))
        return false;
    if (!driver.BeginPage(&port)) return false;
    std::uint32_t blank = 0;
    for (const Row& row : rows) {
        if (std::all_of(row.begin(), row.end(), [](std::uint8_t b) { return b == 255; })) {
            ++blank;
            continue;
        }
        if (blank && !driver.SkipRows(&port, blank)) return false;
        blank = 0;
        if (!driver.SendRow(&port, row.data())) return false;
    }
    return driver.EjectPage(&port);
}

// The whole page's stream as hex, or "failed".
inline std::string PageHex(drivers::PrinterDriver&& driver, const PageSetup& setup,
                           const std::vector<Row>& rows)
{
    CollectingWriter port;
    return PrintPage(driver, port, setup, rows) ? ToHex(port.data) : "failed";
}

// One row sent to an opened driver, as hex, or "failed".
inline std::string RowHex(drivers::PrinterDriver& driver, const Row& row)
{
    CollectingWriter port;
    return driver.SendRow(&port, row.data()) ? ToHex(port.data) : "failed";
}

// A page of `height` white rows.
inline std::vector<Row> BlankPage(int width, int height)
{
    return std::vector<Row>(static_cast<std::size_t>(height), WhiteRow(width));
}

}  // namespace tarvel::testing
