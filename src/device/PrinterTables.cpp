#include "device/PrinterTables.h"

#include "drivers/PrinterDriver.h"

namespace tarvel::device {

PaperTable& Papers()
{
    static PaperTable papers = {{
        {u"A4", 21000, 29700},
        {u"A5", 14800, 21000},
        {u"B5", 17600, 25000},
        {u"Letter", 21590, 27940},
        {u"Legal", 21590, 35560},
        {u"Executive", 18410, 26670},
        {u"Custom", 0, 0},
    }};
    return papers;
}

std::int32_t ModelResolution(std::int32_t printer, std::int32_t draft)
{
    return tarvel::drivers::ModelResolution(printer, draft ? 1u : 0u);
}

bool MonochromeOnly(std::int32_t printer)
{
    const auto* model = tarvel::drivers::GetPrinterModel(printer);
    return model && model->monochromeOnly;
}

}  // namespace tarvel::device
