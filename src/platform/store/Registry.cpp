#include "platform/store/Registry.h"

#include "platform/store/StoreFile.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

namespace tarvel::platform {
namespace {

struct OpenKey {
    std::filesystem::path file;
    StoreValues values;
    bool changed = false;
};

// Open keys by handle. Handles are never reused, so a closed (stale) handle
// stays invalid for the life of the process.
struct KeyTable {
    std::mutex lock;
    std::map<std::uintptr_t, std::unique_ptr<OpenKey>> keys;
    std::uintptr_t nextHandle = 0x1000;
};

KeyTable& Keys()
{
    static KeyTable table;
    return table;
}

std::vector<std::filesystem::path> ConfigFolders(HKEY root)
{
    std::vector<std::filesystem::path> folders;
    if (root == HKEY_CURRENT_USER) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (config && config[0] == '/')
            folders.emplace_back(config);
        else if (home && home[0] == '/')
            folders.emplace_back(std::filesystem::path(home) / ".config");
    } else if (root == HKEY_LOCAL_MACHINE) {
        const char* dirs = std::getenv("XDG_CONFIG_DIRS");
        std::string list = (dirs && dirs[0]) ? dirs : "/etc/xdg";
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos)
                end = list.size();
            std::string folder = list.substr(start, end - start);
            if (!folder.empty() && folder[0] == '/')
                folders.emplace_back(folder);
            start = end + 1;
        }
    }
    return folders;
}

// Key paths use backslashes; each part becomes one folder (the last one a
// file). Parts that would leave the store's folder are refused.
std::optional<std::filesystem::path> RelativeKeyPath(std::u16string_view subKey)
{
    std::filesystem::path relative = "tarvel";
    bool any = false;
    std::size_t start = 0;
    while (start <= subKey.size()) {
        std::size_t end = subKey.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = subKey.size();
        std::u16string_view part = subKey.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        std::optional<std::string> name = Utf16ToUtf8(part);
        if (!name || *name == "." || *name == ".." || name->find('/') != std::string::npos
            || name->find('\0') != std::string::npos || name->size() > 200)
            return std::nullopt;
        relative /= *name;
        any = true;
    }
    if (!any)
        return std::nullopt;
    relative += ".reg";
    return relative;
}

std::u16string_view ToView(LPCWSTR text)
{
    return text ? std::u16string_view(text) : std::u16string_view();
}

// The file a key is read from: for the machine, the first folder of the
// search list that holds a readable file for it.
std::optional<std::filesystem::path> ReadableKeyFile(HKEY root, const std::filesystem::path& relative)
{
    for (const auto& folder : ConfigFolders(root)) {
        std::filesystem::path file = folder / relative;
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error))
            return file;
    }
    return std::nullopt;
}

HKEY AddKey(std::unique_ptr<OpenKey> key)
{
    KeyTable& table = Keys();
    std::lock_guard guard(table.lock);
    std::uintptr_t handle = table.nextHandle++;
    table.keys.emplace(handle, std::move(key));
    return reinterpret_cast<HKEY>(handle);
}

bool ValidRoot(HKEY root)
{
    return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE;
}

}  // namespace

std::filesystem::path KeyFilePath(HKEY root, std::u16string_view subKey)
{
    auto relative = RelativeKeyPath(subKey);
    auto folders = ConfigFolders(root);
    if (!relative || folders.empty())
        return {};
    return folders.front() / *relative;
}

LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD, DWORD, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!ValidRoot(root) || !subKey)
        return ERROR_INVALID_PARAMETER;
    auto relative = RelativeKeyPath(subKey);
    if (!relative)
        return ERROR_INVALID_PARAMETER;
    auto file = ReadableKeyFile(root, *relative);
    if (!file)
        return ERROR_FILE_NOT_FOUND;
    // A damaged file still gives the values it holds whole; one that gives
    // none reads as a missing key.
    auto contents = ReadStoreFile(*file);
    if (!contents || (contents->damaged && contents->values.empty()))
        return ERROR_FILE_NOT_FOUND;
    auto key = std::make_unique<OpenKey>();
    key->file = KeyFilePath(root, subKey);
    key->values = std::move(contents->values);
    *result = AddKey(std::move(key));
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD, LPWSTR, DWORD, DWORD, void*, HKEY* result,
                        DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!ValidRoot(root) || !subKey)
        return ERROR_INVALID_PARAMETER;
    std::filesystem::path file = KeyFilePath(root, subKey);
    if (file.empty())
        return ERROR_INVALID_PARAMETER;
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error || !std::filesystem::is_directory(file.parent_path(), error))
        return ERROR_ACCESS_DENIED;

    auto key = std::make_unique<OpenKey>();
    key->file = file;
    // A new key is made at once, as the registry does. An existing one,
    // damaged or not, is only written once a value changes; the save then
    // sets a damaged file aside before replacing it.
    auto contents = ReadStoreFile(file);
    if (disposition)
        *disposition = contents ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    if (contents)
        key->values = std::move(contents->values);
    else
        key->changed = true;
    *result = AddKey(std::move(key));
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    KeyTable& table = Keys();
    std::lock_guard guard(table.lock);
    auto entry = table.keys.find(reinterpret_cast<std::uintptr_t>(key));
    if (entry == table.keys.end())
        return ERROR_INVALID_HANDLE;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    const StoreValue* value = FindValue(entry->second->values, ToView(name));
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    DWORD needed = static_cast<DWORD>(value->data.size());
    if (!size)
        return ERROR_SUCCESS;
    if (!data) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed)
        std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    // Only what the key file can give back unchanged is taken: a string
    // without its terminator, with text after an embedded NUL or with a lone
    // surrogate would come back different, or as another type.
    if (!StorableValue(type, data, size))
        return ERROR_INVALID_PARAMETER;
    KeyTable& table = Keys();
    std::lock_guard guard(table.lock);
    auto entry = table.keys.find(reinterpret_cast<std::uintptr_t>(key));
    if (entry == table.keys.end())
        return ERROR_INVALID_HANDLE;
    std::u16string_view valueName = ToView(name);
    if (!StorableName(valueName))
        return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> bytes(data, data + size);
    // Setting what is already there is no change: a key whose values are
    // all set again as they were is not written.
    const StoreValue* old = FindValue(entry->second->values, valueName);
    if (old && old->type == type && old->data == bytes)
        return ERROR_SUCCESS;
    SetValue(entry->second->values, valueName, type, std::move(bytes));
    entry->second->changed = true;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    std::unique_ptr<OpenKey> closing;
    {
        KeyTable& table = Keys();
        std::lock_guard guard(table.lock);
        auto entry = table.keys.find(reinterpret_cast<std::uintptr_t>(key));
        if (entry == table.keys.end())
            return ERROR_INVALID_HANDLE;
        closing = std::move(entry->second);
        table.keys.erase(entry);
    }
    if (!closing->changed)
        return ERROR_SUCCESS;
    return WriteStoreFile(closing->file, closing->values) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

std::optional<std::int32_t> ReadDword(HKEY root, std::u16string_view subKey, std::u16string_view name)
{
    std::u16string keyPath(subKey);
    std::u16string valueName(name);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, 0, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::int32_t value = 0;
    DWORD size = sizeof value;
    LSTATUS status = RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size != sizeof value)
        return std::nullopt;
    return value;
}

}  // namespace tarvel::platform
