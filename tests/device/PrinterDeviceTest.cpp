#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "platform/store/Registry.h"
#include "platform/store/StoreFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
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
    std::ofstream(SettingsFile()) << "tarvel-store 1\n" << lines << "end " << count << "\n";
}

std::string ReadSettings()
{
    std::ifstream in(SettingsFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class PrinterDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME")); }
};

TEST_F(PrinterDeviceTest, FirstUseStartsWithTheDefaultsAndSavesAllThirteenValuesInOrder)
{
    {
        PrinterDevice device;
        EXPECT_EQ(Device(), &device);
        const PrinterSettings& s = device.settings;
        EXPECT_EQ(kPrinterModelNames[s.printer], u"HP PCL");
        EXPECT_EQ(kPortNames[s.port], u"Infrared");
        EXPECT_EQ(Papers()[s.paperSize].name, u"A4");
        EXPECT_EQ(kColorModes[s.colorMode].name, u"4 Color CMYK");
        EXPECT_EQ(s.portrait, 1);
        EXPECT_EQ(s.margins.left, 6400);
        EXPECT_EQ(s.margins.top, 3200);
        EXPECT_EQ(s.margins.right, 6400);
        EXPECT_EQ(s.margins.bottom, 10000);
        EXPECT_EQ(s.draftMode, 0);
        EXPECT_EQ(s.compression, 1);
        EXPECT_EQ(device.xResolution, 300);
        EXPECT_EQ(device.pageRangeFirst, -1);
        EXPECT_EQ(Papers()[kCustomPaper].width, 0);
        EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    }
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(ReadSettings(),
        "tarvel-store 1\n"
        "Printer=dword:00000000\n"
        "ColorMode=dword:00000001\n"
        "Port=dword:00000000\n"
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
        "end 13\n");
}

TEST_F(PrinterDeviceTest, AKeyWithSomeValuesChangesExactlyThoseFields)
{
    WriteSettings("Printer=dword:00000005\nCustomSizeY=dword:00002710\nMarginTop=dword:00000064\n", 3);
    PrinterDevice device;
    EXPECT_EQ(device.settings.printer, 5);
    EXPECT_EQ(device.settings.margins.top, 100);
    EXPECT_EQ(Papers()[kCustomPaper].height, 10000);
    EXPECT_EQ(Papers()[kCustomPaper].width, 0);
    EXPECT_EQ(device.settings.port, 0);
    EXPECT_EQ(device.settings.colorMode, 1);
    EXPECT_EQ(device.settings.margins.left, 6400);
}

TEST_F(PrinterDeviceTest, ChangedSettingsSurviveTheNextLoad)
{
    {
        PrinterDevice device;
        device.settings = {6, 9, 4, 2, 0, {1, 2, 3, 4}, 1, 0};
        Papers()[kCustomPaper] = {u"Custom", 12345, 67890};
    }
    PrinterDevice device;
    EXPECT_EQ(device.settings.printer, 6);
    EXPECT_EQ(device.settings.port, 9);
    EXPECT_EQ(device.settings.paperSize, 4);
    EXPECT_EQ(device.settings.colorMode, 2);
    EXPECT_EQ(device.settings.portrait, 0);
    EXPECT_EQ(device.settings.margins.left, 1);
    EXPECT_EQ(device.settings.margins.top, 2);
    EXPECT_EQ(device.settings.margins.right, 3);
    EXPECT_EQ(device.settings.margins.bottom, 4);
    EXPECT_EQ(device.settings.draftMode, 1);
    EXPECT_EQ(device.settings.compression, 0);
    EXPECT_EQ(Papers()[kCustomPaper].width, 12345);
    EXPECT_EQ(Papers()[kCustomPaper].height, 67890);
}

TEST_F(PrinterDeviceTest, StoredValuesOutsideTheirRangeKeepTheDefault)
{
    WriteSettings(
        "Printer=dword:00000007\n"
        "ColorMode=dword:ffffffff\n"
        "Port=dword:0000000a\n"
        "PaperSize=dword:80000000\n"
        "Portrait=dword:00000002\n"
        "MarginLeft=dword:ffffff9c\n"
        "MarginRight=dword:7fffffff\n"
        "DraftMode=dword:00000005\n"
        "Compression=hex:0100000000\n"
        "CustomSizeX=dword:fffffffe\n"
        "CustomSizeY=dword:10000000\n"
        "MarginTop=dword:00000000\n",
        12);
    PrinterDevice device;
    const PrinterSettings defaults;
    EXPECT_EQ(device.settings.printer, defaults.printer);
    EXPECT_EQ(device.settings.colorMode, defaults.colorMode);
    EXPECT_EQ(device.settings.port, defaults.port);
    EXPECT_EQ(device.settings.paperSize, defaults.paperSize);
    EXPECT_EQ(device.settings.portrait, defaults.portrait);
    EXPECT_EQ(device.settings.margins.left, defaults.margins.left);
    EXPECT_EQ(device.settings.margins.right, defaults.margins.right);
    EXPECT_EQ(device.settings.draftMode, defaults.draftMode);
    EXPECT_EQ(device.settings.compression, defaults.compression);
    EXPECT_EQ(Papers()[kCustomPaper].width, 0);
    EXPECT_EQ(Papers()[kCustomPaper].height, 0);
    EXPECT_EQ(device.settings.margins.top, 0);  // in range: taken
}

TEST_F(PrinterDeviceTest, GarbageInTheStoreLoadsTheDefaultsAndTheNextSaveIsClean)
{
    std::filesystem::create_directories(SettingsFile().parent_path());
    std::ofstream(SettingsFile()) << "\x7f" "ELF garbage\n\0\0\0";
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
