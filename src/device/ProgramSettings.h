// The settings, models and papers as a program sees them through
// <tarvel/settings.h>: the same values and ranges the dialogs work with,
// without a dialog.
#pragma once

#include "device/PrinterDevice.h"

#include <tarvel/settings.h>

namespace tarvel::device {

// The device's current settings in the program's struct.
void ReadProgramSettings(const PrinterDevice& device, TarvelSettings& settings);

// Checks every field; only when all are valid are they stored and made the
// device's settings, as a confirmed print dialog makes them (resolution,
// a new printer DC, monochrome for a model without colour). Returns 1, or 0
// with the reason as the last message and the settings as they were.
int WriteProgramSettings(PrinterDevice& device, const TarvelSettings& settings);

// One row of the models table; 0 outside it.
int ReadModel(int index, TarvelModel& model);

// The page of one paper on one model; 0 for an index outside the tables.
int ReadPageSize(int printer, int paper, int draft, TarvelPageSize& size);

}  // namespace tarvel::device
