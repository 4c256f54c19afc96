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
// Names and strings escape '%', '=' and control characters as %XX. A string
// value is stored with exactly one terminator and no other NUL, and every
// name and string is whole UTF-16, so that what is read, written and read
// again is the same value name, type and data.
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

    bool operator==(const StoreValue&) const = default;
};

using StoreValues = std::vector<StoreValue>;

// Value names compare without regard to ASCII letter case, as in the registry.
const StoreValue* FindValue(const StoreValues& values, std::u16string_view name);
void SetValue(StoreValues& values, std::u16string_view name, DWORD type, std::vector<BYTE> data);

// Whether a value could be written to a key file and read back the same:
// a name of whole UTF-16 without NUL and at most kMaxStoreNameLength units;
// for REG_SZ, whole UTF-16 ending in its one terminator; for REG_DWORD, four
// bytes; REG_BINARY anything up to kMaxStoreValueSize.
bool StorableName(std::u16string_view name);
bool StorableValue(DWORD type, const BYTE* data, std::size_t size);

// What a key file held: every complete value that could be read, and
// whether anything else was there (a missing header or end line, a count
// that does not match, a line cut off or unreadable, a file that is not a
// regular file or cannot be read). A later value of the same name wins.
struct StoreContents {
    StoreValues values;
    bool damaged = false;
};

// Parses a key file; nullopt only when there is no file. Symbolic links
// are followed.
std::optional<StoreContents> ReadStoreFile(const std::filesystem::path& file);
StoreContents ParseStoreText(std::string_view text);
std::string FormatStoreText(const StoreValues& values);

// Writes the key file atomically: a temporary file beside it (mode 0600),
// fsync, rename over the old one, fsync of the folder. A symbolic link is
// followed and its target replaced, so the link stays. A damaged file is
// first copied to "<name>.damaged" and that is said once on stderr;
// temporary files that crashed saves left behind are removed. On failure
// the old file is untouched and the temporary file is removed.
bool WriteStoreFile(const std::filesystem::path& file, const StoreValues& values);

}  // namespace tarvel::platform
