#include "device/DeviceCaps.h"
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "platform/store/Registry.h"
#include "platform/irda/IrdaSimulator.h"
#include "platform/store/StoreFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

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
        EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    }
    EXPECT_EQ(Device(), nullptr);
    // The thirteen in the store's order, then the three port targets.
    const std::string saved = ReadSettings();
    EXPECT_TRUE(saved.starts_with("tarvel-store 1\nPrinter=dword:00000000\nColorMode=dword:00000001\n")) << saved;
    EXPECT_TRUE(saved.ends_with("CustomSizeY=dword:00000000\nNetworkHost=sz:\nNetworkPort=dword:0000238c\n"
                                "DevicePath=sz:/dev/usb/lp0\nend 16\n"))
        << saved;
}

TEST_F(PrinterDeviceTest, ASaveKeepsValuesNotOursAndAnUnchangedDeviceSavesNothingMore)
{
    WriteSettings("Printer=dword:00000001\nMine=sz:kept\n", 2);
    {
        PrinterDevice device;
        device.settings.colorMode = 2;
        EXPECT_EQ(device.SaveSettings(), ERROR_SUCCESS);
        EXPECT_NE(ReadSettings().find("Mine=sz:kept\n"), std::string::npos);
        std::filesystem::remove(SettingsFile());
    }
    EXPECT_FALSE(std::filesystem::exists(SettingsFile())) << "saved once, nothing changed since";
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

    // Every value out of its range or of the wrong type, but one.
    WriteSettings("Printer=dword:00000007\nColorMode=dword:ffffffff\nPort=dword:0000000c\nPaperSize=dword:80000000\n"
                  "Portrait=dword:00000002\nMarginLeft=dword:ffffff9c\nMarginRight=dword:7fffffff\n"
                  "DraftMode=dword:00000005\nCompression=hex:0100000000\nCustomSizeX=dword:fffffffe\n"
                  "CustomSizeY=dword:10000000\nMarginTop=dword:00000000\nNetworkHost=sz:two words\n"
                  "NetworkPort=dword:00010000\nDevicePath=dword:00000001\n",
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

class DeviceCaps : public ::testing::Test {
protected:
    // The store goes before the device is made, so that it starts from the
    // defaults whatever an earlier test saved.
    std::uintmax_t forgotten = std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"));
    PrinterDevice device;
};

TEST_F(DeviceCaps, OrientationExchangesThePaperNeverTheOffsetsOrTheResolution)
{
    const auto caps = [&] {
        std::vector<int> answers;
        for (int index : {PHYSICALWIDTH, PHYSICALHEIGHT, HORZRES, VERTRES, PHYSICALOFFSETX, PHYSICALOFFSETY, LOGPIXELSX})
            answers.push_back(DeviceCapability(device, index));
        return answers;
    };
    device.settings.paperSize = 3;  // Letter at 300 dpi
    EXPECT_EQ(caps(), (std::vector<int>{2550, 3300, 2469, 3261, 37, 23, 300}));
    device.settings.portrait = 0;
    EXPECT_EQ(caps(), (std::vector<int>{3300, 2550, 3261, 2469, 37, 23, 300}));
}

TEST_F(DeviceCaps, ModelsDraftCustomPaperAndColourModesAnswerTheirOwn)
{
    struct Case {
        int printer, draft, paper, colorMode, index, expected;
    } const cases[] = {
        {1, 0, 0, 1, PHYSICALWIDTH, 2976},  // Epson ESC/P 2, 360 dpi
        {4, 0, 3, 1, PHYSICALWIDTH, 1700},  // PocketJet 200 on Letter
        {4, 0, 3, 1, PHYSICALHEIGHT, 2200},
        {0, 1, 0, 1, LOGPIXELSX, 150},  // HP PCL in draft
        {0, 1, 0, 1, PHYSICALWIDTH, 1240},
        // An empty custom paper has no area and a negative printable area:
        // -80.31 dots across, truncated toward zero.
        {0, 0, kCustomPaper, 1, PHYSICALWIDTH, 0},
        {0, 0, kCustomPaper, 1, HORZRES, -80},
        {0, 0, kCustomPaper, 1, VERTRES, -38},
        {0, 0, 0, 1, NUMCOLORS, 16777216},
        {0, 0, 0, 0, NUMCOLORS, 1},
        {0, 0, 0, 0, PLANES, 1},
    };
    for (const Case& c : cases) {
        device.settings.printer = c.printer;
        device.settings.draftMode = c.draft;
        device.xResolution = device.yResolution = ModelResolution(c.printer, c.draft);
        device.settings.paperSize = c.paper;
        device.settings.colorMode = c.colorMode;
        EXPECT_EQ(DeviceCapability(device, c.index), c.expected)
            << "printer " << c.printer << " draft " << c.draft << " paper " << c.paper << " index " << c.index;
    }
    for (int index : {-1, 0, 9, 11, 89, 109, 114, 1 << 30})
        EXPECT_EQ(DeviceCapability(device, index), 0) << index;
}

}  // namespace
