#include "platform/store/Registry.h"
#include "platform/store/StoreFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvel::platform;

namespace {

constexpr const char16_t* kKey = u"Software\\Velmora\\Tarvel";

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"));
        std::filesystem::remove_all(std::getenv("XDG_CONFIG_DIRS"));
        file = KeyFilePath(HKEY_CURRENT_USER, kKey);
    }

    LSTATUS SaveDwords(std::initializer_list<std::pair<const char16_t*, std::int32_t>> values)
    {
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return status;
        for (auto [name, value] : values) RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        return RegCloseKey(key);
    }

    std::filesystem::path file;
};

// Every type's round trip through a saved file is the store fuzz target's;
// here where the file lies, names found in any case, short buffers, and a
// binary value as a program stores it.
TEST_F(Registry, ValuesReadBackWithTheirTypesAndSizesFromAPrivateFileBelowTheConfigFolder)
{
    ASSERT_EQ(SaveDwords({{u"Printer", 3}, {u"MarginLeft", -7}}), ERROR_SUCCESS);
    EXPECT_EQ(file, std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "tarvel/Software/Velmora/Tarvel.reg");
    struct stat info { };
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, &key), ERROR_SUCCESS);
    std::int32_t value = 0;
    DWORD size = 4, type = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"printer", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"MarginLeft"), -7);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\Drivers\\Tarvel\\Serial", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char16_t path[] = u"/dev/tty=%\nUSB\u00e9";
    ASSERT_EQ(RegSetValueExW(key, u"COM1", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path), ERROR_SUCCESS);
    const BYTE blob[] = {0, 0xff, 0x10};
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_NE(ReadAll(KeyFilePath(HKEY_LOCAL_MACHINE, u"\\Drivers\\Tarvel\\Serial")).find("Blob=hex:00ff10\n"), std::string::npos);

    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Drivers\\Tarvel\\Serial", 0, 0, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryValueExW(key, u"COM1", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    char16_t back[32] = {};
    // One byte short is as short as four: nothing is copied past the buffer.
    for (DWORD small : {DWORD(4), DWORD(sizeof path - 1)}) {
        EXPECT_EQ(RegQueryValueExW(key, u"COM1", nullptr, nullptr, reinterpret_cast<BYTE*>(back), &small), ERROR_MORE_DATA);
        EXPECT_EQ(small, sizeof path);
    }
    ASSERT_EQ(RegQueryValueExW(key, u"COM1", nullptr, nullptr, reinterpret_cast<BYTE*>(back), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(back), std::u16string(path));
    RegCloseKey(key);
}

// Machine keys are read from the configuration folders: the serial port's
// tests map their COM numbers there.

TEST_F(Registry, DamagedFilesKeepEveryCompleteValue)
{
    const struct {
        const char* text;
        std::optional<std::int32_t> printer, port;
    } damaged[] = {
        {"tarvel-store 1\nPrinter=dword:00000005\nPort=dword:00000009\n", 5, 9},         // cut before the end line
        {"tarvel-store 1\nPrinter=dword:00000005\nPort=dword:00000009\nend 2", 5, 9},    // last newline cut off
        {"tarvel-store 1\nPrinter=dword:00000005\nPort=dword:00000009\nend 7\n", 5, 9},  // count edited by hand
        {"Printer=dword:00000005\n\x01garbage\nPort=dword:00000009\nend 3\n", 5, 9},     // header lost, a bad line
        {"tarvel-store 1\nPrinter=dword:00000005\nPort=dword:00000009", 5, {}},          // a line that may have been cut
        {"tarvel-store 1\nPrinter=dword:00000005\nPort=dword:0000", 5, {}},
    };
    for (const auto& [text, printer, port] : damaged) {
        EXPECT_TRUE(ParseStoreText(text).damaged) << text;
        WriteAll(file, text);
        EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"Printer"), printer) << text;
        EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"Port"), port) << text;
    }
    // A file that gives no value at all reads as a missing key.
    for (const char* text : {"", "garbage\x01\x02\n", "tarvel-store 1\n", "tarvel-store 1\nPrinter=dword:0"}) {
        WriteAll(file, text);
        HKEY key = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, &key), ERROR_FILE_NOT_FOUND) << text;
        EXPECT_EQ(key, nullptr);
    }
    EXPECT_FALSE(ParseStoreText("tarvel-store 1\nPrinter=dword:00000005\nend 1\n").damaged);
}

TEST_F(Registry, ADamagedFileIsSetAsideAndSaidOnceWhenTheKeyIsNextSaved)
{
    const std::string cut = "tarvel-store 1\nPrinter=dword:00000005\nPort=dword:0000";
    WriteAll(file, cut);
    const std::filesystem::path aside = file.string() + ".damaged";
    // Set as it was: nothing is written, nothing set aside.
    ASSERT_EQ(SaveDwords({{u"Printer", 5}}), ERROR_SUCCESS);
    EXPECT_EQ(ReadAll(file), cut);
    EXPECT_FALSE(std::filesystem::exists(aside));

    ::testing::internal::CaptureStderr();
    ASSERT_EQ(SaveDwords({{u"Port", 1}}), ERROR_SUCCESS);
    ASSERT_EQ(SaveDwords({{u"Port", 2}}), ERROR_SUCCESS);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadAll(aside), cut);
    EXPECT_EQ(ReadAll(file), "tarvel-store 1\nPrinter=dword:00000005\nPort=dword:00000002\nend 2\n");
    EXPECT_NE(said.find(aside.string()), std::string::npos) << said;
    EXPECT_EQ(said.find(aside.string()), said.rfind(aside.string())) << "said once: " << said;
}

TEST_F(Registry, ALinkedKeyFileIsReadAndItsTargetReplacedAtomically)
{
    std::filesystem::path dotfiles = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")).parent_path() / "dotfiles";
    std::filesystem::remove_all(dotfiles);
    WriteAll(dotfiles / "Tarvel.reg", "tarvel-store 1\nPrinter=dword:00000005\nend 1\n");
    std::filesystem::create_directories(file.parent_path());
    std::filesystem::create_symlink("../../../../dotfiles/Tarvel.reg", file);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"Printer"), 5);

    ASSERT_EQ(SaveDwords({{u"Port", 9}}), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(ReadAll(dotfiles / "Tarvel.reg"), "tarvel-store 1\nPrinter=dword:00000005\nPort=dword:00000009\nend 2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dotfiles), {}), 1) << "no temporary file left";
    std::filesystem::remove_all(dotfiles);
}

TEST_F(Registry, SavingRemovesTemporaryFilesOfSavesThatDied)
{
    ASSERT_EQ(SaveDwords({{u"Port", 1}}), ERROR_SUCCESS);
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    auto temporary = [&](pid_t pid) { return std::filesystem::path(file.string() + ".tmp-" + std::to_string(pid)); };
    WriteAll(temporary(child), "a save killed half way");
    WriteAll(temporary(::getppid()), "a save still going on");
    WriteAll(temporary(1), "a reused process id");
    std::filesystem::last_write_time(temporary(1), std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));

    ASSERT_EQ(SaveDwords({{u"Port", 2}}), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<bool>({std::filesystem::exists(temporary(child)), std::filesystem::exists(temporary(::getppid())), std::filesystem::exists(temporary(1))}), std::vector<bool>({false, true, false}));
}

// A key whose values are set as they were is not written: the damaged-file
// test above sees it. Values the file could not give back (a string without
// its terminator, with text after a NUL or a lone surrogate, a name with
// one) are the store fuzz target's: it sets every binary value's bytes as a
// string and under a name, and reads back each one that was taken.

TEST_F(Registry, AFolderWhereAFileShouldBeOrAFileWhereAFolderShouldBeRefusesTheKey)
{
    std::filesystem::create_directories(file);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(SaveDwords({{u"Port", 1}}), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory(file));

    std::filesystem::path home = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(home);
    WriteAll(home / "tarvel", "a file where the folder should be");
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
}

TEST_F(Registry, AFailedSaveLeavesTheOldFileAsItWas)
{
    ASSERT_EQ(SaveDwords({{u"Printer", 2}}), ERROR_SUCCESS);
    std::string before = ReadAll(file);
    // A folder where the temporary file must go makes the write fail even
    // for root, who ignores permissions.
    const std::filesystem::path blocker = file.string() + ".tmp-" + std::to_string(::getpid());
    std::filesystem::create_directories(blocker);
    EXPECT_EQ(SaveDwords({{u"Printer", 5}}), ERROR_WRITE_FAULT);
    std::filesystem::remove(blocker);
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
}

TEST_F(Registry, BadHandlesAndArgumentsFailWithoutHarm)
{
    HKEY key = nullptr;
    std::int32_t value = 0;
    DWORD size = 4;
    auto* bytes = reinterpret_cast<BYTE*>(&value);
    EXPECT_EQ((std::vector<LSTATUS>{RegQueryValueExW(nullptr, u"Printer", nullptr, nullptr, bytes, &size), RegCloseKey(reinterpret_cast<HKEY>(0x12345))}), std::vector<LSTATUS>(2, ERROR_INVALID_HANDLE));
    // No handle to fill, a root that is none, a path that climbs or is empty.
    EXPECT_EQ((std::vector<LSTATUS>{RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, nullptr), RegOpenKeyExW(reinterpret_cast<HKEY>(7), kKey, 0, 0, &key), RegOpenKeyExW(HKEY_CURRENT_USER, u"..\\..\\etc", 0, 0, &key), RegOpenKeyExW(HKEY_CURRENT_USER, u"\\\\", 0, 0, &key)}), std::vector<LSTATUS>(4, ERROR_INVALID_PARAMETER));
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
    // No data, a short DWORD, a size past any file, a type the file has no
    // word for, no size to fill.
    EXPECT_EQ((std::vector<LSTATUS>{RegSetValueExW(key, u"Printer", 0, REG_DWORD, nullptr, 4), RegSetValueExW(key, u"Printer", 0, REG_DWORD, bytes, 3), RegSetValueExW(key, u"Printer", 0, REG_BINARY, bytes, 0x7fffffff), RegSetValueExW(key, u"Printer", 0, 7, bytes, 4), RegQueryValueExW(key, u"Printer", nullptr, nullptr, bytes, nullptr)}), std::vector<LSTATUS>(5, ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // stale
}

}  // namespace
