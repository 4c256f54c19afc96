// The settings store: named values under keys, as the registry keeps them.
//
// A key of the current user lives in one file below $XDG_CONFIG_HOME
// (default ~/.config), a machine-wide key in one file below the first folder
// of $XDG_CONFIG_DIRS that holds it (default /etc/xdg); the key path
// "Software\Velmora\Tarvel" becomes tarvel/Software/Velmora/Tarvel.reg there.
// Values are read when a key is opened and written back, atomically, when a
// key that was changed is closed; a key opened and closed without a change
// is never written. A damaged file (cut short, edited by hand, partly
// garbage) gives every value it holds whole; a line that does not parse
// reads as a missing value, and a file that gives no value at all (missing,
// unreadable, garbage) as a missing key. Results are the registry's status
// codes.
#pragma once

#include <tarvel/win32.h>

#include <filesystem>
#include <optional>
#include <string_view>

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

namespace tarvel::platform {

inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));

// Opens an existing key for reading and writing. ERROR_FILE_NOT_FOUND when
// the key does not exist or its file cannot be read as a whole;
// ERROR_INVALID_PARAMETER for a bad root, path or result pointer.
LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, DWORD samDesired, HKEY* result);

// Opens the key, or makes an empty one when it does not exist or cannot be
// read. Fails with ERROR_ACCESS_DENIED when its folder cannot be made.
LSTATUS RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        DWORD samDesired, void* security, HKEY* result, DWORD* disposition);

// Reads a value. With data null, reports its size in *size. When *size is
// smaller than the value, ERROR_MORE_DATA and the needed size in *size.
// ERROR_FILE_NOT_FOUND for a missing value, ERROR_INVALID_HANDLE for a key
// that is not open.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);

// Sets a value in the open key; it reaches the file when the key is closed.
// ERROR_INVALID_PARAMETER for a value the file could not give back as it was
// set: a type other than REG_DWORD (4 bytes), REG_SZ or REG_BINARY; a REG_SZ
// that does not end in its one terminator or holds a lone surrogate; a name
// with a lone surrogate or longer than 255 units.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);

// Closes the key. A changed key is saved first (temporary file, fsync,
// rename; mode 0600; see WriteStoreFile for links and damaged files); the
// result is the status of that save, and a failed save leaves the old file
// as it was.
LSTATUS RegCloseKey(HKEY key);

// The file that holds, or would hold, a key: the one a save writes. Empty
// when the root or path is not valid or no configuration folder is known.
std::filesystem::path KeyFilePath(HKEY root, std::u16string_view subKey);

// Reads one 32-bit value of a key: nullopt when the key or value is
// missing or the value is not exactly four bytes.
std::optional<std::int32_t> ReadDword(HKEY root, std::u16string_view subKey, std::u16string_view name);

}  // namespace tarvel::platform
