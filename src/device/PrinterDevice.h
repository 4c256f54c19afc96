// The one PrinterDevice of the process: the settings, the device metrics
// derived from them, and the state of the print job.
//
// Every exported function acts on it. It is built when the library is
// loaded (settings read from the store) and destroyed when it is unloaded
// (settings written back when they changed, the port closed, the recording
// state torn down).
#pragma once

#include "device/BandTarget.h"
#include "device/RowOutput.h"
#include "device/SetupDialogState.h"
#include "drivers/PrinterDriver.h"
#include "ports/OutputPort.h"
#include "render/Ditherer.h"
#include "render/RecordingState.h"

#include <tarvel/win32.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvel::device {

inline constexpr std::int32_t kDefaultNetworkPort = 9100;
inline constexpr const char* kDefaultDevicePath = "/dev/usb/lp0";
// Longest host name and device path the settings keep, in bytes without the
// terminator (a DNS name has at most 253; PATH_MAX holds the terminator).
inline constexpr std::size_t kLongestHost = 255;
inline constexpr std::size_t kLongestDevicePath = 4095;

// The persisted settings, each a 32-bit signed value as stored.
struct PrinterSettings {
    std::int32_t printer = 0;
    std::int32_t port = 0;
    std::int32_t paperSize = 0;
    std::int32_t colorMode = 1;
    std::int32_t portrait = 1;
    RECT margins = {6400, 3200, 6400, 10000};  // hundredths of a millimetre
    std::int32_t draftMode = 0;
    std::int32_t compression = 1;
    // The ports added beside the handheld's: a printer's TCP socket and a
    // printer device node. Text in UTF-8, stored as strings.
    std::string networkHost;
    std::int32_t networkPort = kDefaultNetworkPort;
    std::string devicePath = kDefaultDevicePath;
};

inline constexpr RECT kHardMargins = {320, 200, 360, 127};
inline constexpr int kJobNameLength = 256;

class PrinterDevice {
public:
    PrinterDevice();
    ~PrinterDevice();
    PrinterDevice(const PrinterDevice&) = delete;
    PrinterDevice& operator=(const PrinterDevice&) = delete;

    // Read and write the thirteen values under the user's key; each returns
    // the store status of its last call (ERROR_SUCCESS or a failure code).
    // Saving settings unchanged since they were last loaded or saved does
    // not touch the store and succeeds; on first use (no key yet) the key is
    // created with all thirteen values all the same, as a new device expects.
    // The network host, network port and device path are kept beside the
    // thirteen in the same key, saved with them.
    LSTATUS LoadSettings();
    LSTATUS SaveSettings();

    // Whether the destructor writes the settings back. Programs that only
    // show settings (the tool's read-only commands) turn it off, so that
    // looking never creates or touches the store.
    bool saveOnUnload = true;

    // First member: built before anything else and torn down last, after
    // the settings have been saved.
    tarvel::render::RecordingState recording;

    PrinterSettings settings;

    std::int32_t xResolution = 300;
    std::int32_t yResolution = 300;
    RECT hardMargins = kHardMargins;

    std::int32_t pageRangeFirst = -1;  // -1: every page
    std::int32_t pageRangeLast = -1;

    SetupDialogState setup;

    WCHAR jobName[kJobNameLength] = {};
    BOOL docStarted = 0;
    BOOL pageStarted = 0;
    BOOL jobFailed = 0;
    std::int32_t pageCounter = 0;
    // Pages of the current (or last) document that did not reach the
    // printer: refused at StartPage by a failed connection or job, or
    // ended without being sent.
    std::int32_t failedPages = 0;

    // Only during PDC_EndPage.
    std::unique_ptr<tarvel::drivers::PrinterDriver> driver;
    tarvel::render::Ditherer ditherer;
    // The band bitmaps of the job's last page, white, for the next page
    // when it asks for bands of the same size: fresh ones cost page faults
    // and a white fill on every page.
    std::unique_ptr<BandTarget> keptBands[2];
    // The byte buffers of the page's bands, kept likewise (BandRowWorker).
    std::vector<std::uint8_t> keptBandBytes[2];
    // The job's row worker thread, kept likewise.
    RowThread rowThread;
    // From PDC_StartDoc to PDC_EndDoc or the next PDC_StartDoc; declared
    // after the Ditherer so that it goes first at unload.
    std::unique_ptr<tarvel::ports::OutputPort> port;
    // The modeless progress window of the job; null when there is none.
    HWND progressWindow = nullptr;

private:
    static constexpr std::size_t kStoredValueCount = 13;
    using StoredValues = std::array<std::int32_t, kStoredValueCount>;
    StoredValues CurrentValues();
    void LoadPortTargets(HKEY key);

    // The thirteen values as the store last held them, in store order, the
    // port targets as it held them, and whether the key existed at all.
    StoredValues storedValues_{};
    PrinterSettings storedTargets_;
    bool keyStored_ = false;
};

// The port a new device starts with: File when this system cannot make an
// infrared socket (Linux has no IrDA stack), Infrared otherwise.
std::int32_t DefaultPort();

// The device the dialog procedures and exported functions reach; set by the
// PrinterDevice's constructor, cleared by its destructor.
PrinterDevice* Device();

// The job's cancel flag: set by the progress window, read by the port's
// writer thread.
extern std::atomic<BOOL> cancelRequested;

// The library's module instance handle, kept by the entry hook.
extern HINSTANCE moduleInstance;

// The settings store key of the current user that holds the settings.
inline constexpr const char16_t* kSettingsKey = u"Software\\Velmora\\Tarvel";

}  // namespace tarvel::device
