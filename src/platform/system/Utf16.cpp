#include "platform/system/Utf16.h"

#include <cstdint>

namespace tarvel::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// The code point of the sequence starting at text[i] and its length in
// bytes; a length of zero marks a malformed sequence.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& c)
{
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F;
        length = 2;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F;
        length = 3;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07;
        length = 4;
    } else {
        return 0;
    }
    if (length > text.size() - i)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    // An overlong form would let two spellings name the same text.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || IsSurrogate(c))
        return 0;
    return length;
}

enum class Malformed { Refuse,
                       Replace };

std::optional<std::string> ToUtf8(std::u16string_view text, Malformed malformed)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsSurrogate(c)) {
            if (malformed == Malformed::Refuse)
                return std::nullopt;
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::optional<std::u16string> ToUtf16(std::string_view text, Malformed malformed)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        std::size_t length = DecodeUtf8(text, i, c);
        if (length == 0) {
            if (malformed == Malformed::Refuse)
                return std::nullopt;
            // Resynchronise on the next byte: each bad byte is one U+FFFD.
            c = kReplacement;
            length = 1;
        }
        AppendUtf16(out, c);
        i += length;
    }
    return out;
}

}  // namespace

std::optional<std::string> Utf16ToUtf8(std::u16string_view text)
{
    return ToUtf8(text, Malformed::Refuse);
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text)
{
    return ToUtf16(text, Malformed::Refuse);
}

std::string Utf16ToUtf8Replacing(std::u16string_view text)
{
    return *ToUtf8(text, Malformed::Replace);
}

std::u16string Utf8ToUtf16Replacing(std::string_view text)
{
    return *ToUtf16(text, Malformed::Replace);
}

}  // namespace tarvel::platform
