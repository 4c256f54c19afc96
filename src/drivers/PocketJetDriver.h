// PocketJet II (300 dpi) and PocketJet 200 (200 dpi): black only, raw dot
// rows cut into segments at long white gaps, each segment sent with its own
// start column.
#pragma once

#include <memory>

#include "drivers/PrinterDriver.h"

namespace tarvel::drivers {

enum class PocketJetModel { PocketJetII,
                            PocketJet200 };

class PocketJetDriver final : public PrinterDriver {
public:
    // A white run this long ends a segment; shorter gaps are sent as part of
    // the segment, because a new start column costs more than the bytes.
    static constexpr std::uint32_t kWhiteGap = 48;

    explicit PocketJetDriver(PocketJetModel model)
        : model_(model)
    {
    }
    ~PocketJetDriver() override;

    // There is neither a draft mode nor compression on these printers.
    static int Resolution(PocketJetModel model, std::uint32_t)
    {
        return model == PocketJetModel::PocketJetII ? 300 : 200;
    }
    // Line width in bytes and page length in dot rows that BeginPage
    // announces for the PaperSize index `paper`.
    static std::uint32_t LineWidthBytes(PocketJetModel model, std::uint32_t paper);
    static std::uint32_t PageLength(PocketJetModel model, std::uint32_t paper);

    // Keeps only width and paper; the colour mode is always black.
    bool Open(std::uint32_t planeCount, std::uint32_t width, std::uint32_t draft,
              std::uint32_t compression, std::uint32_t paper) override;
    void FreeBuffers() override;
    bool BeginPage(PortWriter* port) override;
    bool EjectPage(PortWriter* port) override;
    bool SkipRows(PortWriter* port, std::uint32_t count) override;
    bool SendRow(PortWriter* port, const std::uint8_t* row) override;

private:
    bool SendSegment(PortWriter* port, const std::uint8_t* row, std::uint32_t n,
                     std::uint32_t start, std::uint32_t length8);

    PocketJetModel model_;
    std::unique_ptr<std::uint8_t[]> dotRow;
    std::uint32_t paper = 0;
    // The start column last sent to the printer, which keeps it across rows.
    std::uint32_t column = 0;
};

}  // namespace tarvel::drivers
