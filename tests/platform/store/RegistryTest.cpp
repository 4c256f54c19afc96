#include "platform/store/Registry.h"
#include "platform/store/StoreFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvel::platform;

namespace {

constexpr const char16_t* kKey = u"Software\\Velmora\\Tarvel";

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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
        if (status != ERROR_SUCCESS)
            return status;
        for (auto [name, value] : values)
            RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        return RegCloseKey(key);
    }

    std::filesystem::path file;
};

TEST_F(Registry, KeyLivesBelowTheUsersConfigFolder)
{
    EXPECT_EQ(file, std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "tarvel/Software/Velmora/Tarvel.reg");
}

TEST_F(Registry, SavedValuesReadBackWithTheirTypesAndSizes)
{
    ASSERT_EQ(SaveDwords({{u"Printer", 3}, {u"MarginLeft", -7}}), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, &key), ERROR_SUCCESS);
    std::int32_t value = 0;
    DWORD size = 4, type = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"printer", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    size = 4;
    ASSERT_EQ(RegQueryValueExW(key, u"MarginLeft", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(RegQueryValueExW(key, u"Port", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(Registry, StringsAndBinaryValuesRoundTrip)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\Drivers\\Tarvel\\Serial", 0, nullptr, 0, 0, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const char16_t path[] = u"/dev/tty=%\nUSB\u00e9";
    ASSERT_EQ(RegSetValueExW(key, u"COM1", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path), ERROR_SUCCESS);
    const BYTE blob[] = {0, 0xff, 0x10};
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Drivers\\Tarvel\\Serial", 0, 0, &key), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"COM1", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    ASSERT_EQ(size, sizeof path);
    char16_t back[32] = {};
    DWORD small = 4;
    EXPECT_EQ(RegQueryValueExW(key, u"COM1", nullptr, nullptr, reinterpret_cast<BYTE*>(back), &small), ERROR_MORE_DATA);
    EXPECT_EQ(small, sizeof path);
    ASSERT_EQ(RegQueryValueExW(key, u"COM1", nullptr, nullptr, reinterpret_cast<BYTE*>(back), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(back), std::u16string(path));
    BYTE blobBack[8] = {};
    size = sizeof blobBack;
    ASSERT_EQ(RegQueryValueExW(key, u"Blob", nullptr, nullptr, blobBack, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(blobBack[1], 0xff);
    RegCloseKey(key);
}

TEST_F(Registry, MachineKeysAreSearchedInEveryConfigFolder)
{
    std::string second = std::string(std::getenv("XDG_CONFIG_HOME")) + "/second";
    std::string list = std::string(std::getenv("XDG_CONFIG_DIRS")) + ":" + second;
    ::setenv("XDG_CONFIG_DIRS", list.c_str(), 1);
    WriteAll(std::filesystem::path(second) / "tarvel/Drivers/Builtin/IrCOMM.reg",
        "tarvel-store 1\nIndex=dword:00000003\nend 1\n");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, u"\\Drivers\\Builtin\\IrCOMM", u"Index"), 3);
    ::setenv("XDG_CONFIG_DIRS", list.substr(0, list.find(':')).c_str(), 1);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, u"\\Drivers\\Builtin\\IrCOMM", u"Index"), std::nullopt);
}

TEST_F(Registry, BrokenFilesReadAsAMissingKey)
{
    const char* broken[] = {
        "",                                                  // empty
        "garbage\x01\x02\n",                                 // not ours
        "tarvel-store 1\nPrinter=dword:00000003\n",          // truncated before the end line
        "tarvel-store 1\nPrinter=dword:00000003\nend 1",     // last newline cut off
        "tarvel-store 1\nPrinter=dword:00000003\nend 2\n",   // count does not match
    };
    for (const char* text : broken) {
        WriteAll(file, text);
        HKEY key = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, &key), ERROR_FILE_NOT_FOUND) << text;
        EXPECT_EQ(key, nullptr);
    }
    // The next save replaces the broken file with a clean one.
    ASSERT_EQ(SaveDwords({{u"Port", 9}}), ERROR_SUCCESS);
    EXPECT_EQ(ReadAll(file), "tarvel-store 1\nPort=dword:00000009\nend 1\n");
}

TEST_F(Registry, ValuesThatAreNotThirtyTwoBitNumbersReadAsMissing)
{
    WriteAll(file,
        "tarvel-store 1\n"
        "Printer=dword:1\n"
        "Port=dword:000000zz\n"
        "PaperSize=dword:0000000000\n"
        "ColorMode=hex:0102\n"
        "Portrait=dword:00000000\n"
        "no equals sign\n"
        "end 6\n");
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"Printer"), std::nullopt);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"Port"), std::nullopt);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"PaperSize"), std::nullopt);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"ColorMode"), std::nullopt);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kKey, u"Portrait"), 0);
}

TEST_F(Registry, AKeyThatIsAFolderReadsAsMissingAndCannotBeSaved)
{
    std::filesystem::create_directories(file);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(SaveDwords({{u"Port", 1}}), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory(file));
}

TEST_F(Registry, AFailedSaveLeavesTheOldFileAsItWas)
{
    ASSERT_EQ(SaveDwords({{u"Printer", 2}}), ERROR_SUCCESS);
    std::string before = ReadAll(file);
    // A folder where the temporary file must go makes the write fail even
    // for root, who ignores permissions.
    std::filesystem::path blocker = file;
    blocker += ".tmp-" + std::to_string(::getpid());
    std::filesystem::create_directories(blocker);
    EXPECT_EQ(SaveDwords({{u"Printer", 5}}), ERROR_WRITE_FAULT);
    std::filesystem::remove(blocker);
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
}

TEST_F(Registry, AnUnmakeableConfigFolderRefusesToCreateTheKey)
{
    std::filesystem::path home = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::create_directories(home.parent_path());
    WriteAll(home / "tarvel", "a file where the folder should be");
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
}

TEST_F(Registry, BadHandlesAndArgumentsFailWithoutHarm)
{
    HKEY key = nullptr;
    std::int32_t value = 0;
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExW(nullptr, u"Printer", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x12345)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(7), kKey, 0, 0, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"..\\..\\etc", 0, 0, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\\\\", 0, 0, &key), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"Printer", 0, REG_DWORD, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"Printer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"Printer", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), 0x7fffffff), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, u"Printer", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // stale
}

}  // namespace
