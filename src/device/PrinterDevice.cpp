#include "device/PrinterDevice.h"

#include "device/PrinterTables.h"
#include "platform/irda/Irda.h"
#include "platform/store/Registry.h"
#include "platform/system/Utf16.h"

#include <tarvel/ui.h>

#include <array>
#include <optional>

namespace tarvel::device {
namespace {

PrinterDevice* theDevice = nullptr;

// One stored value: its name, where it lives and which values are sane.
struct SettingValue {
    const char16_t* name;
    std::int32_t* field;
    std::int32_t lowest;
    std::int32_t highest;
};

// The thirteen values in the order they are loaded and saved. Lengths are
// held to the bounds the dialogs keep (PrinterTables.h): a value outside
// them can only come from a hand-edited or damaged file.
std::array<SettingValue, 13> SettingValues(PrinterSettings& s)
{
    PaperSize& custom = Papers()[kCustomPaper];
    return {{
        {u"Printer", &s.printer, 0, kModelCount - 1},
        {u"ColorMode", &s.colorMode, 0, kColorModeCount - 1},
        {u"Port", &s.port, 0, kPortCount - 1},
        {u"PaperSize", &s.paperSize, 0, kPaperCount - 1},
        {u"Portrait", &s.portrait, 0, 1},
        {u"MarginLeft", &s.margins.left, 0, kLongestMargin},
        {u"MarginRight", &s.margins.right, 0, kLongestMargin},
        {u"MarginTop", &s.margins.top, 0, kLongestMargin},
        {u"MarginBottom", &s.margins.bottom, 0, kLongestMargin},
        {u"DraftMode", &s.draftMode, 0, 1},
        {u"Compression", &s.compression, 0, 1},
        {u"CustomSizeX", &custom.width, 0, kLongestCustomSide},
        {u"CustomSizeY", &custom.height, 0, kLongestCustomSide},
    }};
}

constexpr const char16_t* kNetworkHostName = u"NetworkHost";
constexpr const char16_t* kNetworkPortName = u"NetworkPort";
constexpr const char16_t* kDevicePathName = u"DevicePath";

// A stored string in UTF-8, or nullopt when it is missing, not a string,
// malformed or longer than `longest` bytes.
std::optional<std::string> QueryText(HKEY key, const char16_t* name, std::size_t longest)
{
    using namespace tarvel::platform;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ
        || size % sizeof(char16_t) != 0 || size > (longest + 1) * sizeof(char16_t))
        return std::nullopt;
    std::u16string text(size / sizeof(char16_t), u'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(size / sizeof(char16_t));
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    auto utf8 = Utf16ToUtf8(text);
    if (!utf8 || utf8->size() > longest || utf8->find('\0') != std::string::npos)
        return std::nullopt;
    return utf8;
}

void SetText(HKEY key, const char16_t* name, const std::string& value)
{
    using namespace tarvel::platform;
    // Only valid UTF-8 reaches the settings (the setter refuses the rest).
    const std::u16string text = Utf8ToUtf16Replacing(value);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

bool SameTargets(const PrinterSettings& a, const PrinterSettings& b)
{
    return a.networkHost == b.networkHost && a.networkPort == b.networkPort && a.devicePath == b.devicePath;
}

}  // namespace

std::int32_t DefaultPort()
{
    namespace irda = tarvel::platform::irda;
    // Whether infrared works is the IrDA layer's to say: a system where no
    // infrared socket can be made would fail every first print after the
    // connect timeout, so a new user starts on the file port instead.
    const irda::SOCKET probe = irda::socket(irda::AF_IRDA, irda::SOCK_STREAM, 0);
    if (probe == irda::INVALID_SOCKET)
        return kFilePort;
    irda::closesocket(probe);
    return kInfraredPort;
}

std::atomic<BOOL> cancelRequested{0};
HINSTANCE moduleInstance = nullptr;

PrinterDevice* Device()
{
    return theDevice;
}

PrinterDevice::PrinterDevice()
{
    theDevice = this;
    // The custom paper starts at 0 x 0 until the store says otherwise.
    Papers()[kCustomPaper].width = 0;
    Papers()[kCustomPaper].height = 0;
    settings.port = DefaultPort();
    LoadSettings();
    // The dialogs hold a "SIPPREF" child, which exists only once the shell's
    // extra controls are initialised.
    SHInitExtraControls();
}

PrinterDevice::StoredValues PrinterDevice::CurrentValues()
{
    StoredValues current{};
    auto values = SettingValues(settings);
    static_assert(std::tuple_size_v<decltype(values)> == std::tuple_size_v<StoredValues>);
    for (std::size_t i = 0; i < values.size(); ++i)
        current[i] = *values[i].field;
    return current;
}

PrinterDevice::~PrinterDevice()
{
    if (saveOnUnload)
        SaveSettings();
    if (theDevice == this)
        theDevice = nullptr;
}

LSTATUS PrinterDevice::LoadSettings()
{
    using namespace tarvel::platform;
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, 0, &key);
    if (status != ERROR_SUCCESS) {
        storedValues_ = CurrentValues();
        storedTargets_ = settings;
        keyStored_ = false;
        return status;
    }
    for (const SettingValue& value : SettingValues(settings)) {
        std::int32_t stored = 0;
        DWORD size = sizeof stored;
        if (RegQueryValueExW(key, value.name, nullptr, nullptr, reinterpret_cast<BYTE*>(&stored), &size)
                != ERROR_SUCCESS
            || size != sizeof stored)
            continue;
        // Stored values are the user's file, not ours: one outside its range
        // (a hand edit, a damaged store) keeps that setting's default, so that
        // no later step indexes a table out of range or sizes an absurd page.
        if (stored < value.lowest || stored > value.highest)
            continue;
        *value.field = stored;
    }
    LoadPortTargets(key);
    storedValues_ = CurrentValues();
    storedTargets_ = settings;
    keyStored_ = true;
    return RegCloseKey(key);
}

void PrinterDevice::LoadPortTargets(HKEY key)
{
    using namespace tarvel::platform;
    // As with the thirteen: a value that is missing, damaged or out of range
    // keeps its default.
    if (auto host = QueryText(key, kNetworkHostName, kLongestHost))
        settings.networkHost = *host;
    if (auto path = QueryText(key, kDevicePathName, kLongestDevicePath); path && !path->empty())
        settings.devicePath = *path;
    std::int32_t port = 0;
    DWORD size = sizeof port;
    if (RegQueryValueExW(key, kNetworkPortName, nullptr, nullptr, reinterpret_cast<BYTE*>(&port), &size)
            == ERROR_SUCCESS
        && size == sizeof port && port >= 1 && port <= 65535)
        settings.networkPort = port;
}

LSTATUS PrinterDevice::SaveSettings()
{
    using namespace tarvel::platform;
    // Settings as they were loaded are not written again: loading and
    // unloading the library leaves an existing store as it is. A first use
    // still creates the key, so that the user finds every setting to edit.
    const StoredValues current = CurrentValues();
    if (keyStored_ && current == storedValues_ && SameTargets(settings, storedTargets_))
        return ERROR_SUCCESS;
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, 0,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    for (const SettingValue& value : SettingValues(settings))
        RegSetValueExW(key, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(value.field), sizeof(std::int32_t));
    SetText(key, kNetworkHostName, settings.networkHost);
    RegSetValueExW(key, kNetworkPortName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&settings.networkPort),
                   sizeof(std::int32_t));
    SetText(key, kDevicePathName, settings.devicePath);
    status = RegCloseKey(key);
    if (status == ERROR_SUCCESS) {
        storedValues_ = current;
        storedTargets_ = settings;
        keyStored_ = true;
    }
    return status;
}

}  // namespace tarvel::device
