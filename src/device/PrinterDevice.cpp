#include "device/PrinterDevice.h"

#include "device/PrinterTables.h"
#include "platform/store/Registry.h"

#include <tarvel/ui.h>

#include <array>

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

}  // namespace

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
    storedValues_ = CurrentValues();
    keyStored_ = true;
    return RegCloseKey(key);
}

LSTATUS PrinterDevice::SaveSettings()
{
    using namespace tarvel::platform;
    // Settings as they were loaded are not written again: loading and
    // unloading the library leaves an existing store as it is. A first use
    // still creates the key, so that the user finds every setting to edit.
    const StoredValues current = CurrentValues();
    if (keyStored_ && current == storedValues_)
        return ERROR_SUCCESS;
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, 0,
        nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    for (const SettingValue& value : SettingValues(settings))
        RegSetValueExW(key, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(value.field), sizeof(std::int32_t));
    status = RegCloseKey(key);
    if (status == ERROR_SUCCESS) {
        storedValues_ = current;
        keyStored_ = true;
    }
    return status;
}

}  // namespace tarvel::device
