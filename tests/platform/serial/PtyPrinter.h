// A pseudo-terminal standing in for a serial printer: the port opens the
// terminal side, the test reads what arrived on the other side and looks
// at the line settings that were applied. A COM number is pointed at the
// terminal through the machine-wide settings store.
#pragma once

#include "platform/store/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarvel::test {

class PtyPrinter {
public:
    PtyPrinter()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        char name[128] = {};
        if (::ptsname_r(master_, name, sizeof name) != 0)
            return;
        path_ = name;
        // Held open so the line keeps its settings between the port's opens
        // and the test can read them back.
        terminal_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~PtyPrinter()
    {
        if (terminal_ >= 0) ::close(terminal_);
        CloseMaster();
    }
    PtyPrinter(const PtyPrinter&) = delete;
    PtyPrinter& operator=(const PtyPrinter&) = delete;

    bool Ready() const { return master_ >= 0 && terminal_ >= 0; }
    const std::string& Path() const { return path_; }
    termios Settings() const
    {
        termios tio{};
        ::tcgetattr(terminal_, &tio);
        return tio;
    }
    void Apply(const termios& tio) { ::tcsetattr(terminal_, TCSANOW, &tio); }

    // Reads until count bytes arrived or the limit passed.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        std::vector<std::uint8_t> bytes;
        auto deadline = std::chrono::steady_clock::now() + limit;
        int flags = ::fcntl(master_, F_GETFL);
        ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::uint8_t piece[4096];
            ssize_t n = ::read(master_, piece, std::min(sizeof piece, count - bytes.size()));
            if (n > 0)
                bytes.insert(bytes.end(), piece, piece + n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return bytes;
    }
    // The printer is switched off: writes to the line fail from now on.
    void CloseMaster()
    {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int terminal_ = -1;
    std::string path_;
};

// Machine-wide settings for the serial tests: the COM map and the IrCOMM
// index, written as an administrator would.
inline void SetMachineValue(const char16_t* key, const char16_t* name, DWORD type, const void* data, DWORD size)
{
    using namespace tarvel::platform;
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, 0, nullptr, &handle, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
}

inline void MapComPort(int number, const std::string& devicePath)
{
    std::u16string name = u"COM" + std::u16string(1, static_cast<char16_t>(u'0' + number));
    std::u16string path(devicePath.begin(), devicePath.end());
    SetMachineValue(u"\\Drivers\\Tarvel\\Serial", name.c_str(), REG_SZ, path.c_str(),
                    static_cast<DWORD>((path.size() + 1) * sizeof(char16_t)));
}

inline void SetIrCommIndex(std::int32_t index)
{
    SetMachineValue(u"\\Drivers\\Builtin\\IrCOMM", u"Index", REG_DWORD, &index, sizeof index);
}

// The tests write machine-wide keys; outside the test runner (which points
// XDG_CONFIG_DIRS at a scratch folder) they must not reach /etc/xdg.
inline void KeepMachineStorePrivate()
{
    if (std::getenv("XDG_CONFIG_DIRS")) return;
    auto folder = std::filesystem::temp_directory_path() / ("tarvel-serial-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    ::setenv("XDG_CONFIG_DIRS", folder.c_str(), 1);
}

inline void ForgetSerialSettings()
{
    KeepMachineStorePrivate();
    using namespace tarvel::platform;
    std::error_code ignored;
    std::filesystem::remove(KeyFilePath(HKEY_LOCAL_MACHINE, u"\\Drivers\\Tarvel\\Serial"), ignored);
    std::filesystem::remove(KeyFilePath(HKEY_LOCAL_MACHINE, u"\\Drivers\\Builtin\\IrCOMM"), ignored);
}

}  // namespace tarvel::test
