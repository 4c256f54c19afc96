#include "device/PrintJob.h"

#include "device/PrinterTables.h"
#include "device/ui/ProgressWindow.h"
#include "ports/MakeOutputPort.h"
#include "ports/NetworkPort.h"

#include <tarvel/ui.h>

namespace tarvel::device {
namespace {

// The loss of the last document whose port is gone, kept for programs to
// read after PDC_EndDoc.
tarvel::ports::DataLoss lastJobLoss;

bool IsPrinterDc(const PrinterDevice& device, HDC dc)
{
    HDC printer = tarvel::render::PrinterDc(device.recording);
    return printer && dc == printer;
}

// The port of the setting with its target: the COM number for a serial
// port, the output path for the file port, the stored host and port or
// device path for the network and device ports.
std::unique_ptr<tarvel::ports::OutputPort> CreatePort(const PrinterSettings& settings, const DOCINFOW& info)
{
    const std::int32_t setting = settings.port;
    auto port = tarvel::ports::MakeOutputPort(setting);
    if (!port)
        return nullptr;
    if (setting == kNetworkPort) {
        const tarvel::ports::NetworkAddress address{settings.networkHost.c_str(), settings.networkPort};
        port->SetTarget(&address);
    } else if (setting == kDevicePort) {
        port->SetTarget(settings.devicePath.c_str());
    } else if (setting == kFilePort) {
        const std::u16string path = OutputFilePath(info.lpszOutput);
        port->SetTarget(path.c_str());
    } else if (setting != kInfraredPort) {
        const std::int32_t comNumber = setting;
        port->SetTarget(&comNumber);
    }
    return port;
}

void CentreAndShow(HWND window)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - rect.right + rect.left) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - rect.bottom + rect.top) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOW);
}

}  // namespace

void DestroyProgressWindow(PrinterDevice& device)
{
    if (device.progressWindow) {
        DestroyWindow(device.progressWindow);
        device.progressWindow = nullptr;
    }
}

std::u16string OutputFilePath(LPCWSTR outputName)
{
    std::u16string path;
    if (!outputName || !outputName[0])
        path = u"\\out.prn";
    else if (outputName[0] == u'\\' || outputName[0] == u'/')
        path = outputName;  // from the root folder, or an absolute path of this system
    else
        path = std::u16string(u"\\") + outputName;
    return path;
}

tarvel::ports::DataLoss JobDataLoss(const PrinterDevice& device)
{
    return device.port ? device.port->GetDataLoss() : lastJobLoss;
}

int StartDoc(PrinterDevice& device, HDC dc, const DOCINFOW* info)
{
    if (!IsPrinterDc(device, dc) || !info || info->cbSize < static_cast<int>(sizeof(DOCINFOW)))
        return 0;
    if (device.settings.port < 0 || device.settings.port >= kPortCount)
        return 0;

    // A second StartDoc while a document is open replaces that document:
    // its window goes, and a page it left open is dropped unprinted.
    DestroyProgressWindow(device);
    if (device.pageStarted) {
        tarvel::render::ClearPage(device.recording);
        device.pageStarted = 0;
    }

    std::size_t length = 0;
    if (info->lpszDocName) {
        while (length < kJobNameLength - 1 && info->lpszDocName[length])
            ++length;
        std::copy_n(info->lpszDocName, length, device.jobName);
    }
    device.jobName[length] = 0;

    device.port.reset();
    lastJobLoss = {};
    device.port = CreatePort(device.settings, *info);
    if (!device.port)
        return 0;

    cancelRequested.store(0);
    device.jobFailed = 0;
    device.failedPages = 0;
    device.progressWindow = CreateProgressWindow(device, GetActiveWindow());
    device.port->Attach(&cancelRequested, device.progressWindow);
    if (device.progressWindow)
        CentreAndShow(device.progressWindow);
    device.pageCounter = 0;
    device.docStarted = 1;
    return 1;
}

int EndJobPage(PrinterDevice& device, HDC dc)
{
    const bool pageOpen = IsPrinterDc(device, dc) && device.docStarted && device.pageStarted;
    const int result = EndPage(device, dc);
    if (pageOpen && result <= 0)
        ++device.failedPages;
    return result;
}

int StartPage(PrinterDevice& device, HDC dc)
{
    if (!IsPrinterDc(device, dc) || !device.docStarted)
        return 0;
    // A page the program wanted but the failed job refuses never reaches
    // the printer either.
    if (device.jobFailed) {
        ++device.failedPages;
        return 0;
    }
    if (device.pageStarted)
        EndJobPage(device, dc);
    if (!device.port->IsOpen()) {
        device.port->Open();
        if (!device.port->IsOpen()) {
            ++device.failedPages;
            // The document stays open: the next StartPage tries again.
            DestroyProgressWindow(device);
            MessageBoxW(GetActiveWindow(), u"Cannot establish connection", u"Error printing", MB_OK);
            return 0;
        }
    }
    tarvel::render::ClearPage(device.recording);
    device.pageStarted = 1;
    return 1;
}

int EndDoc(PrinterDevice& device, HDC dc)
{
    if (!IsPrinterDc(device, dc) || !device.docStarted)
        return 0;
    if (device.pageStarted)
        EndJobPage(device, dc);
    device.docStarted = 0;
    device.pageStarted = 0;
    DestroyProgressWindow(device);
    if (device.port) {
        // The writer finishes its last transfer first, so the record the
        // job keeps is the final one.
        device.port->StopWriter();
        lastJobLoss = device.port->GetDataLoss();
        device.port.reset();
    }
    device.driver.reset();
    device.keptBands[0].reset();
    device.keptBands[1].reset();
    device.keptBandBytes[0] = {};
    device.keptBandBytes[1] = {};
    device.rowThread.Stop();
    return 1;
}

}  // namespace tarvel::device
