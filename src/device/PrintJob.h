// The print job: documents and pages on the printer DC, and the page
// output pipeline that turns a recorded page into printer data.
#pragma once

#include "device/PrinterDevice.h"

#include <optional>

namespace tarvel::device {

// 1 when the document is open; 0 when refused (not the printer DC, no
// document information, no port for the setting).
int StartDoc(PrinterDevice& device, HDC dc, const DOCINFOW* info);
// 1 when a page is open; 0 when refused or when the port cannot connect
// ("Cannot establish connection").
int StartPage(PrinterDevice& device, HDC dc);
// Prints the recorded page: 1 printed or skipped, 0 refused, -1 sending
// failed or cancelled, -2 out of memory.
int EndPage(PrinterDevice& device, HDC dc);
// EndPage for a page of the job: a page that was open and did not reach
// the printer is counted in the device's failedPages. Every page the job
// ends goes through here.
int EndJobPage(PrinterDevice& device, HDC dc);
// 1 when an open document was closed; 0 when refused.
int EndDoc(PrinterDevice& device, HDC dc);

// Destroys the job's progress window, if there is one.
void DestroyProgressWindow(PrinterDevice& device);

// The path a file port writes to, as the job gives it: "\out.prn" without
// an output name, the name unchanged when it starts with a backslash (the
// device's root folder) or a slash (an absolute path here), otherwise the
// name below the root folder. Never shortened: a path the file port cannot
// take makes the connection fail instead.
std::u16string OutputFilePath(LPCWSTR outputName);

// What the current document's port, or after PDC_EndDoc the last
// document's, took from the drivers but could not deliver while the job
// went on (a full medium, a line that stopped taking data): empty when
// everything arrived. Cleared by PDC_StartDoc. The job keeps one record for
// the process, as it keeps one cancel flag.
tarvel::ports::DataLoss JobDataLoss(const PrinterDevice& device);

// The rows per band the free memory allows: two thirds of what is
// available, divided by the cost of one band row, at least 1 and at most
// rowCount.
std::int32_t BandLinesFor(std::uint64_t available, std::int32_t rowWidth, std::int32_t rowCount, bool portrait);

namespace hooks {
// Makes band bitmaps of more than maxLines rows fail as if the platform
// refused them (nullopt: no limit), so that the halving and the
// out-of-memory path can be shown without exhausting the machine.
void LimitBandBitmapLines(std::optional<std::int32_t> maxLines);
// Replaces the cache-sized bound of a band (nullopt: the built-in one), so
// that benchmarks can measure other sizes.
void SetBandBudget(std::optional<std::uint64_t> bytes);
// Off: every page is played on 24-bit bands, so that a test can compare
// the bytes of bilevel bands with them.
void UseBilevelBands(bool on);
}  // namespace hooks

}  // namespace tarvel::device
