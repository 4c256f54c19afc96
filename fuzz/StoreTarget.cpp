// Fuzz target `store`: arbitrary text read as a settings-store file.
//
// Input: the raw text of a store file.
//
// Properties:
// - What parses is written and parsed again and comes back equal: the same
//   values in the same order, each with its name, type and data.
// - Every value that parsed, set through RegSetValueExW into a key that is
//   then closed (saved) and opened again, reads back with RegQueryValueExW
//   as it was set. The same happens to the bytes of every binary value set
//   once more as a string (a string without its terminator, with embedded
//   NULs or lone surrogates) and under a name made of those bytes, so the
//   registry calls meet the values a program may set but no file holds.
//   A value RegSetValueExW refuses is not looked for.
#include "FuzzSupport.h"

#include "platform/store/Registry.h"
#include "platform/store/StoreFile.h"

#include <filesystem>
#include <unistd.h>

namespace tarvel::fuzz {
namespace {

using platform::StoreValue;
using platform::StoreValues;

std::string Describe(const StoreValue& value)
{
    std::string text = "name of " + std::to_string(value.name.size()) + " units, type "
        + std::to_string(value.type) + ", " + std::to_string(value.data.size()) + " bytes";
    return text;
}

bool Same(const StoreValue& a, const StoreValue& b)
{
    return a.name == b.name && a.type == b.type && a.data == b.data;
}

void CheckTextRoundTrip(const StoreValues& values)
{
    const std::string written = platform::FormatStoreText(values);
    const platform::StoreContents again = platform::ParseStoreText(written);
    if (again.damaged)
        Broken("the store's own text reads as damaged:\n" + written);
    if (again.values.size() != values.size())
        Broken(std::to_string(values.size()) + " values come back as " + std::to_string(again.values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!Same(values[i], again.values[i]))
            Broken("value " + std::to_string(i) + " (" + Describe(values[i]) + ") comes back as "
                   + Describe(again.values[i]));
    }
}

// A folder of our own for the key file, on memory when the machine has it:
// a save syncs the file, and a disk would make every input wait for it.
const std::filesystem::path& ScratchConfig()
{
    static const std::filesystem::path folder = [] {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/tarvel-fuzz-store-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            Broken("no scratch folder for the store");
        ::setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchConfig(), ignored);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

constexpr char16_t kKey[] = u"Software\\Velmora\\FuzzStore";

// The values a program might set with the parsed ones: each binary value's
// bytes also as a string, and under a name spelled by those bytes.
// A name reaches the registry calls as a terminated string, so one read
// with an embedded NUL is set under its part before the NUL.
StoreValues ValuesToSet(const StoreValues& parsed)
{
    StoreValues set = parsed;
    for (StoreValue& value : set)
        value.name.resize(std::u16string_view(value.name.c_str()).size());
    for (const StoreValue& value : parsed) {
        if (value.type != REG_BINARY)
            continue;
        set.push_back({value.name + u"#sz", REG_SZ, value.data});
        std::u16string name(value.data.size() / 2, u'\0');
        if (!name.empty())
            std::memcpy(name.data(), value.data.data(), name.size() * 2);
        name.resize(std::u16string_view(name.c_str()).size());
        set.push_back({name, REG_DWORD, {1, 2, 3, 4}});
    }
    return set;
}

void CheckRegistryRoundTrip(const StoreValues& parsed)
{
    ScratchConfig();
    const std::filesystem::path file = platform::KeyFilePath(platform::HKEY_CURRENT_USER, kKey);
    std::error_code ignored;
    std::filesystem::remove(file, ignored);

    HKEY key = nullptr;
    if (platform::RegCreateKeyExW(platform::HKEY_CURRENT_USER, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        Broken("the scratch key cannot be made");
    // What the key should hold: the last value set under each name, as the
    // store itself would keep it.
    StoreValues expected;
    for (const StoreValue& value : ValuesToSet(parsed)) {
        if (platform::RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                                     static_cast<DWORD>(value.data.size()))
            == ERROR_SUCCESS)
            platform::SetValue(expected, value.name, value.type, value.data);
    }
    if (platform::RegCloseKey(key) != ERROR_SUCCESS)
        Broken("the scratch key cannot be saved");
    if (platform::RegOpenKeyExW(platform::HKEY_CURRENT_USER, kKey, 0, 0, &key) != ERROR_SUCCESS)
        Broken("the saved key cannot be opened again");
    for (const StoreValue& value : expected) {
        DWORD type = 0;
        std::vector<BYTE> data(value.data.size() + 8);
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status = platform::RegQueryValueExW(key, value.name.c_str(), nullptr, &type, data.data(), &size);
        if (status != ERROR_SUCCESS)
            Broken("a value set (" + Describe(value) + ") is missing after the save");
        data.resize(size);
        if (type != value.type || data != value.data)
            Broken("a value set (" + Describe(value) + ") reads back as type " + std::to_string(type) + ", "
                   + std::to_string(size) + " bytes");
    }
    platform::RegCloseKey(key);
}

}  // namespace

int FuzzStore(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // A damaged text keeps the values it holds whole: those must survive
    // a round trip like any others.
    const platform::StoreContents contents = platform::ParseStoreText(text);
    CheckTextRoundTrip(contents.values);
    CheckRegistryRoundTrip(contents.values);
    return 0;
}

}  // namespace tarvel::fuzz
