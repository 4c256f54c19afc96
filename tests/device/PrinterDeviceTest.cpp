#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "platform/store/Registry.h"
#include "platform/irda/IrdaSimulator.h"
#include "platform/store/StoreFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>
#include <unistd.h>

using namespace tarvel::device;
using tarvel::platform::HKEY_CURRENT_USER;
using tarvel::platform::KeyFilePath;

namespace {

std::filesystem::path SettingsFile()
{
    return KeyFilePath(HKEY_CURRENT_USER, kSettingsKey);
}

void WriteSettings(const std::string& lines, int count)
{
    std::filesystem::create_directories(SettingsFile().parent_path());
    std::ofstream(SettingsFile()) << "tarvel-store 1\n"
                                  << lines << "end " << count << "\n";
}

std::string ReadSettings()
{
    std::ifstream in(SettingsFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The thirteen stored values in the store's order: printer, colour mode,
// port, paper, portrait, margins left, right, top, bottom, draft,
// compression, custom width and height.
std::vector<int> StoredFields(const PrinterDevice& device)
{
    const PrinterSettings& s = device.settings;
    return {s.printer, s.colorMode, s.port, s.paperSize, s.portrait, s.margins.left, s.margins.right,
            s.margins.top, s.margins.bottom, s.draftMode, s.compression, Papers()[kCustomPaper].width,
            Papers()[kCustomPaper].height};
}

// Port 9 (File): this machine has no infrared support.
const std::vector<int> kDefaults = {0, 1, 9, 0, 1, 6400, 6400, 3200, 10000, 0, 1, 0, 0};

class PrinterDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME")); }
};

TEST_F(PrinterDeviceTest, FirstUseStartsWithTheDefaultsAndSavesAllThirteenValuesInOrder)
{
    {
        PrinterDevice device;
        device.saveOnUnload = false;
    }
    EXPECT_FALSE(std::filesystem::exists(SettingsFile())) << "a device that only shows settings writes nothing";
    {
        PrinterDevice device;
        EXPECT_EQ(Device(), &device);
        EXPECT_EQ(StoredFields(device), kDefaults);
        EXPECT_EQ(device.xResolution, 300);
        EXPECT_EQ(device.pageRangeFirst, -1);
        EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    }
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(ReadSettings(),
              "tarvel-store 1\n"
              "Printer=dword:00000000\n"
              "ColorMode=dword:00000001\n"
              "Port=dword:00000009\n"
              "PaperSize=dword:00000000\n"
              "Portrait=dword:00000001\n"
              "MarginLeft=dword:00001900\n"
              "MarginRight=dword:00001900\n"
              "MarginTop=dword:00000c80\n"
              "MarginBottom=dword:00002710\n"
              "DraftMode=dword:00000000\n"
              "Compression=dword:00000001\n"
              "CustomSizeX=dword:00000000\n"
              "CustomSizeY=dword:00000000\n"
              "NetworkHost=sz:\n"
              "NetworkPort=dword:0000238c\n"
              "DevicePath=sz:/dev/usb/lp0\n"
              "end 16\n");
}

TEST_F(PrinterDeviceTest, SettingsLoadedAndUnloadedUnchangedAreNotWritten)
{
    // Upper-case digits and an unknown value: a save would change both.
    WriteSettings("Printer=dword:0000000A\nPort=dword:00000009\nMine=sz:kept\n", 3);
    const std::string before = ReadSettings();
    {
        PrinterDevice device;
        EXPECT_EQ(device.settings.port, 9);
        device.settings.colorMode = 2;
        device.settings.colorMode = 1;
    }
    EXPECT_EQ(ReadSettings(), before);
    {
        PrinterDevice device;
        device.settings.colorMode = 2;
        EXPECT_EQ(device.SaveSettings(), ERROR_SUCCESS);
        const std::string saved = ReadSettings();
        EXPECT_NE(saved.find("Mine=sz:kept\n"), std::string::npos) << "values not ours are kept";
        std::filesystem::remove(SettingsFile());
    }
    EXPECT_FALSE(std::filesystem::exists(SettingsFile())) << "saved once, nothing changed since";
}

TEST_F(PrinterDeviceTest, ChangedSettingsSurviveTheNextLoad)
{
    {
        PrinterDevice device;
        device.settings = {6, 9, 4, 2, 0, {1, 2, 3, 4}, 1, 0, "printer.example", 515, "/dev/usb/lp\u00e91"};
        Papers()[kCustomPaper] = {u"Custom", 12345, 67890};
    }
    PrinterDevice device;
    EXPECT_EQ(StoredFields(device), (std::vector<int>{6, 2, 9, 4, 0, 1, 3, 2, 4, 1, 0, 12345, 67890}));
    // The port targets are stored beside the thirteen and come back.
    EXPECT_EQ(device.settings.networkHost, "printer.example");
    EXPECT_EQ(device.settings.networkPort, 515);
    EXPECT_EQ(device.settings.devicePath, "/dev/usb/lp\u00e91");
}

TEST_F(PrinterDeviceTest, AKeyWithSomeValuesChangesExactlyThoseFieldsAndOnlyWithinTheirRange)
{
    WriteSettings("Printer=dword:00000005\nCustomSizeY=dword:00002710\nMarginTop=dword:00000064\n", 3);
    {
        PrinterDevice device;
        device.saveOnUnload = false;
        std::vector<int> expected = kDefaults;
        expected[0] = 5;
        expected[7] = 100;
        expected[12] = 10000;
        EXPECT_EQ(StoredFields(device), expected);
    }

    WriteSettings(
        "Printer=dword:00000007\n"
        "ColorMode=dword:ffffffff\n"
        "Port=dword:0000000c\n"
        "PaperSize=dword:80000000\n"
        "Portrait=dword:00000002\n"
        "MarginLeft=dword:ffffff9c\n"
        "MarginRight=dword:7fffffff\n"
        "DraftMode=dword:00000005\n"
        "Compression=hex:0100000000\n"
        "CustomSizeX=dword:fffffffe\n"
        "CustomSizeY=dword:10000000\n"
        "MarginTop=dword:00000000\n"
        "NetworkHost=sz:two words\n"
        "NetworkPort=dword:00010000\n"
        "DevicePath=dword:00000001\n",
        15);
    PrinterDevice device;
    std::vector<int> expected = kDefaults;
    expected[7] = 0;  // the one value in range is taken
    EXPECT_EQ(StoredFields(device), expected);
    EXPECT_EQ(device.settings.networkHost, "two words") << "a host is only checked when a program sets it";
    EXPECT_EQ(device.settings.networkPort, 9100);
    EXPECT_EQ(device.settings.devicePath, "/dev/usb/lp0");
}

TEST_F(PrinterDeviceTest, TheDefaultPortIsInfraredOnlyWhereAnInfraredSocketCanBeMade)
{
    EXPECT_EQ(DefaultPort(), kFilePort);
    tarvel::platform::irda::UseIrdaBackend(std::make_shared<tarvel::platform::irda::IrdaSimulator>());
    EXPECT_EQ(DefaultPort(), kInfraredPort);
    {
        PrinterDevice device;
        device.saveOnUnload = false;
        EXPECT_EQ(device.settings.port, kInfraredPort);
    }
    tarvel::platform::irda::UseIrdaBackend(nullptr);
}

TEST_F(PrinterDeviceTest, GarbageInTheStoreLoadsTheDefaultsAndTheNextSaveIsClean)
{
    std::filesystem::create_directories(SettingsFile().parent_path());
    std::ofstream(SettingsFile()) << "\x7f"
                                     "ELF garbage\n\0\0\0";
    {
        PrinterDevice device;
        EXPECT_EQ(device.LoadSettings(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(device.settings.printer, 0);
        device.settings.printer = 2;
    }
    EXPECT_TRUE(ReadSettings().starts_with("tarvel-store 1\nPrinter=dword:00000002\n"));
}

TEST_F(PrinterDeviceTest, AnUnsavableStoreReportsFailureAndLeavesTheOldFile)
{
    WriteSettings("Printer=dword:00000003\n", 1);
    std::string before = ReadSettings();
    PrinterDevice device;
    std::filesystem::path blocker = SettingsFile();
    blocker += ".tmp-" + std::to_string(::getpid());
    std::filesystem::create_directories(blocker);
    device.settings.printer = 4;
    EXPECT_NE(device.SaveSettings(), ERROR_SUCCESS);
    EXPECT_EQ(ReadSettings(), before);
    std::filesystem::remove(blocker);
}

}  // namespace
