// The file behind one key of the settings store.
//
// Text, one value per line, so an administrator can read and edit a
// machine-wide key (the serial device map, say) with any editor:
//
//     tarvel-store 1
//     Printer=dword:00000003
//     COM1=sz:/dev/ttyUSB0
//     Blob=hex:00ff10
//     end 3
//
// The closing "end <count>" line tells a complete file from a truncated one.
// Names and strings escape '%', '=' and control characters as %XX.
#pragma once

#include "platform/system/Utf16.h"

#include <tarvel/win32.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::platform {

inline constexpr std::size_t kMaxStoreValueSize = 64 * 1024;
inline constexpr std::size_t kMaxStoreNameLength = 255;

struct StoreValue {
    std::u16string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

using StoreValues = std::vector<StoreValue>;

// Value names compare without regard to ASCII letter case, as in the registry.
const StoreValue* FindValue(const StoreValues& values, std::u16string_view name);
void SetValue(StoreValues& values, std::u16string_view name, DWORD type, std::vector<BYTE> data);

// Parses a whole key file; nullopt when the file is missing, unreadable,
// too large, or lacks its header or a matching end line. Lines that do not
// parse are skipped: that value reads as missing.
std::optional<StoreValues> ReadStoreFile(const std::filesystem::path& file);
std::optional<StoreValues> ParseStoreText(std::string_view text);
std::string FormatStoreText(const StoreValues& values);

// Writes the key file atomically: a temporary file beside it (mode 0600),
// fsync, rename over the old one, fsync of the folder. On failure the old
// file is untouched and the temporary file is removed.
bool WriteStoreFile(const std::filesystem::path& file, const StoreValues& values);

}  // namespace tarvel::platform
