// UTF-16 text, the API's strings, to the UTF-8 the Linux side speaks (file
// names, device paths, settings files, toolkit labels) and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvel::platform {

// Malformed text is an unpaired surrogate, a malformed, truncated or
// overlong UTF-8 sequence, a UTF-8 surrogate or a value past U+10FFFF.
// Names and paths refuse it, so a bad name can never turn into a different
// file; text that is only shown (labels, logs) replaces each bad unit by
// U+FFFD, so its length never silently shrinks.

// The UTF-8 form of the text; nullopt when it is malformed.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);
// The UTF-16 form of the text; nullopt when it is malformed.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// The same conversions for text that is only shown: never fail.
std::string Utf16ToUtf8Replacing(std::u16string_view text);
std::u16string Utf8ToUtf16Replacing(std::string_view text);

}  // namespace tarvel::platform
