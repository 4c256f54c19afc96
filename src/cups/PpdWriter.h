// The PostScript Printer Description of each printer model, made from the
// library's own tables (models, resolutions, colour modes, papers, the
// printable area) so that what CUPS offers can never drift from what the
// drivers do.
#pragma once

#include <string>

namespace tarvel::cups {

// The PPD text of model `printer` (the Printer setting); empty for an
// unknown model.
std::string MakePpd(int printer);

// The file name the PPD of a model is installed under, e.g.
// "tarvel-pocketjet-200.ppd"; empty for an unknown model.
std::string PpdFileName(int printer);

// The model a PPD file was made for (its *cupsModelNumber); -1 when the
// file cannot be read, has no number or names a model we do not have.
int ModelOfPpd(const char* path);

// The raster header's cupsInteger0 carries the ink planes the colour mode
// asks for (1, 3 or 4), set by the PPD's colour model choices.
inline constexpr int kPlaneCountInteger = 0;

}  // namespace tarvel::cups
