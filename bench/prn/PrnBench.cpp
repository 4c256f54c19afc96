// The two pages of the job benchmark (bench_pages) drawn through prn calls,
// end to end to the file port, per page once the library is loaded: (a) 60
// lines of 11-point text, monochrome, PCL; (b) a title, 12 lines of text, 20
// coloured shapes and a 1500 x 1000 colour picture read from a BMP file,
// CMYK, PCL. Positions are in inches, each a whole number of dots at 300
// dpi, so the page is the one bench_pages draws; compared with its figures
// for the same arguments, the difference is what the prn layer costs,
// reading the picture file included (decoded once, then kept while the
// file is unchanged; BM_PictureLoad shows both costs).
#include "JobPages.h"
#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "platform/image/PictureDecoder.h"
#include "platform/system/System.h"
#include "ports/FilePort.h"

#include <tarvel/gdi.h>
#include <tarvel/pdc.h>
#include <tarvel/prn.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr const char16_t* kPictureFile = u"\\bench-picture.bmp";

float AtInches(int dots)
{
    return static_cast<float>(dots) / static_cast<float>(jobpages::kDpi);
}

void PutLittleEndian(std::vector<char>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

// The picture as a 24-bit BMP file, rows bottom up as the format keeps them.
bool WritePicture(const std::filesystem::path& file)
{
    const std::size_t stride = (jobpages::kPictureWidth * 3 + 3) & ~3;
    std::vector<std::uint8_t> pixels(stride * jobpages::kPictureHeight);
    jobpages::FillPicture(pixels.data(), stride);
    std::vector<char> out;
    const std::uint32_t size = static_cast<std::uint32_t>(54 + pixels.size());
    out.push_back('B'), out.push_back('M');
    PutLittleEndian(out, size, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 54, 4);
    PutLittleEndian(out, 40, 4);
    PutLittleEndian(out, jobpages::kPictureWidth, 4);
    PutLittleEndian(out, jobpages::kPictureHeight, 4);
    PutLittleEndian(out, 1, 2);
    PutLittleEndian(out, 24, 2);
    for (int i = 0; i < 6; ++i)
        PutLittleEndian(out, 0, 4);
    for (int y = jobpages::kPictureHeight - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const char*>(pixels.data() + std::size_t(y) * stride);
        out.insert(out.end(), row, row + stride);
    }
    std::ofstream stream(file, std::ios::binary);
    stream.write(out.data(), std::streamsize(out.size()));
    return bool(stream);
}

void PutText(POINT at, const std::u16string& text)
{
    prnDrawText(text.c_str(), AtInches(at.x), AtInches(at.y));
}

void TextPage()
{
    prnSetFontName(jobpages::kFace);
    prnSetFontSize(static_cast<float>(jobpages::kTextPoints));
    for (int line = 0; line < jobpages::kTextLines; ++line)
        PutText(jobpages::TextLineAt(line), jobpages::TextLine(line));
}

void MixedPage()
{
    prnSetFontName(jobpages::kFace);
    prnSetFontSize(static_cast<float>(jobpages::kTitlePoints));
    prnSetFontBold(1);
    PutText(jobpages::kTitleAt, jobpages::kTitle);
    prnSetFontBold(0);
    prnSetFontSize(static_cast<float>(jobpages::kTextPoints));
    for (int line = 0; line < jobpages::kBodyLines; ++line)
        PutText(jobpages::BodyLineAt(line), jobpages::kBodyLine);
    for (int i = 0; i < jobpages::kShapes; ++i) {
        const jobpages::Shape shape = jobpages::ShapeAt(i);
        prnSetFillColor(shape.fill);
        const RECT& b = shape.box;
        if (shape.ellipse)
            prnDrawEllipse(AtInches(b.left), AtInches(b.top), AtInches(b.right), AtInches(b.bottom));
        else
            prnDrawRect(AtInches(b.left), AtInches(b.top), AtInches(b.right), AtInches(b.bottom));
    }
    if (!prnDrawPicture(kPictureFile, AtInches(jobpages::kPictureAt.x), AtInches(jobpages::kPictureAt.y), 0, 0, 0))
        std::abort();
}

// range(0): 0 text page, 1 mixed page; range(1): 0 free-memory bands, 1 bands of 64 rows.
void BM_PrnPage(benchmark::State& state)
{
    const bool mixed = state.range(0) == 1;
    const bool smallBands = state.range(1) == 1;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarvel-bench-prn";
    std::filesystem::create_directories(folder);
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    tarvel::ports::SetDeviceRootFolder(folder);
    if (mixed && !WritePicture(folder / "bench-picture.bmp")) {
        state.SkipWithError("the picture could not be written");
        return;
    }
    tarvel::device::PrinterDevice device;
    device.settings.printer = 0;
    device.settings.port = tarvel::device::kFilePort;
    device.settings.paperSize = 0;
    device.settings.colorMode = mixed ? 1 : 0;
    tarvel::render::ReplacePrinterDc(device.recording);  // what confirming the print dialog does
    tarvel::platform::PretendFreeMemory(smallBands ? std::optional<std::uint64_t>(7444u * 96u) : std::nullopt);
    prnSetMeasureUnit(Inches);
    prnStartDoc();
    // A page ends when the next one starts: one page drawn before the clock
    // runs makes every timed round print exactly one page.
    prnStartPage();
    mixed ? MixedPage() : TextPage();
    for (auto _ : state) {
        prnStartPage();
        mixed ? MixedPage() : TextPage();
    }
    prnEndDoc();
    const auto bytes = std::filesystem::file_size(folder / "out.prn");
    state.counters["bytes_per_page"] = static_cast<double>(bytes) / static_cast<double>(state.iterations() + 1);
    tarvel::platform::PretendFreeMemory(std::nullopt);
}
BENCHMARK(BM_PrnPage)
    ->ArgNames({"mixed", "bands64"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The picture alone, as every prnDrawPicture reads it before the copy onto
// the page: range(0) 0 the same file again (kept decoded), 1 decoded anew
// each time.
void BM_PictureLoad(benchmark::State& state)
{
    const bool decode = state.range(0) == 1;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarvel-bench-prn";
    std::filesystem::create_directories(folder);
    tarvel::ports::SetDeviceRootFolder(folder);
    if (!WritePicture(folder / "bench-picture.bmp")) {
        state.SkipWithError("the picture could not be written");
        return;
    }
    float width = 0, height = 0;
    for (auto _ : state) {
        if (decode) {
            HBITMAP bitmap = tarvel::platform::DecodePicture(folder / "bench-picture.bmp");
            if (!bitmap)
                state.SkipWithError("the picture could not be read");
            DeleteObject(bitmap);
        } else if (!prnGetPictureSize(kPictureFile, &width, &height)) {
            state.SkipWithError("the picture could not be read");
        }
    }
}
BENCHMARK(BM_PictureLoad)->ArgName("decode")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
