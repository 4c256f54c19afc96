// Writes the seed corpora of the fuzz targets into <fuzz folder>/corpus/:
// real printer streams of every model and colour mode, made by the drivers
// as the page pipeline drives them; store files as the store writes them;
// text headers at the edges of the font and rectangle ranges; and page
// programs that use every operation of the page target. Each seed is small,
// so the fuzzer starts from every language and every record kind without
// spending its time on bulk.
//
// Usage: fuzz_make_seeds <fuzz folder>
#include "drivers/PrinterDriver.h"
#include "platform/store/Registry.h"
#include "platform/store/StoreFile.h"
#include "preview/StreamDecoder.h"

#include <tarvel/prn.h>

#ifdef TARVEL_SEEDS_CUPS
#include "cups/PpdWriter.h"

#include <cups/raster.h>
#endif
#ifdef TARVEL_SEEDS_PIXBUF
#include <gdk-pixbuf/gdk-pixbuf.h>
#endif

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path gOut;

void Write(const std::string& target, const std::string& name, const Bytes& bytes)
{
    const fs::path folder = gOut / "corpus" / target;
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class Collector : public tarvel::ports::PortWriter {
public:
    int Write(const std::uint8_t* bytes, int length) override
    {
        if (length > 0)
            data.insert(data.end(), bytes, bytes + length);
        return length;
    }
    Bytes data;
};

// A dithered-looking page of pure colours: runs of the eight colours (black
// and white only in monochrome), a white band to skip, a repeated row.
std::vector<Bytes> SamplePage(std::uint32_t width, bool monochrome, unsigned seed)
{
    static const std::uint8_t kColours[8][3] = {{255, 255, 255}, {0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
    std::mt19937 rng(seed);
    std::vector<Bytes> rows;
    for (int y = 0; y < 20; ++y) {
        Bytes row(std::size_t(width) * 3, 255);
        if (y >= 6 && y < 10) {
            rows.push_back(row);  // white rows the pipeline announces as a skip
            continue;
        }
        if (y == 12) {
            rows.push_back(rows.back());
            continue;
        }
        for (std::uint32_t x = 0; x < width;) {
            // One draw per statement: the seeds must not depend on the
            // compiler's order of evaluation.
            const std::uint32_t longest = rng() % 3 ? 5 : 40;
            const std::uint32_t run = 1 + rng() % longest;
            const auto* c = kColours[rng() % (monochrome ? 2 : 8)];
            for (std::uint32_t i = x; i < std::min(width, x + run); ++i)
                std::memcpy(&row[i * 3], c, 3);
            x += run;
        }
        rows.push_back(row);
    }
    return rows;
}

bool PrintPage(int model, std::uint32_t planes, std::uint32_t draft, std::uint32_t compression, std::uint32_t paper,
               std::uint32_t width, unsigned seed, Collector& port)
{
    auto driver = tarvel::drivers::CreateDriver(model);
    if (!driver || !driver->Open(planes, width, draft, compression, paper) || !driver->BeginPage(&port))
        return false;
    std::uint32_t blank = 0;
    for (const Bytes& row : SamplePage(width, planes == 1, seed)) {
        if (tarvel::drivers::InkedColumns(row.data(), width) == 0) {
            ++blank;
            continue;
        }
        if (blank && !driver->SkipRows(&port, blank))
            return false;
        blank = 0;
        if (!driver->SendRow(&port, row.data()))
            return false;
    }
    return driver->EjectPage(&port);
}

void PreviewSeeds()
{
    static const struct {
        const char* name;
        std::uint32_t planes;
    } kModes[] = {{"mono", 1}, {"cmyk", 4}, {"cmy", 3}};
    for (int model = 0; model < tarvel::drivers::kPrinterModelCount; ++model) {
        tarvel::preview::Language language{};
        tarvel::preview::LanguageOfModel(model, &language);
        const bool monochromeOnly = tarvel::drivers::GetPrinterModel(model)->monochromeOnly;
        for (const auto& mode : kModes) {
            if (monochromeOnly && mode.planes != 1)
                continue;
            for (std::uint32_t compression : {0u, 1u}) {
                Collector port;
                port.data.push_back(static_cast<std::uint8_t>(language));
                const std::uint32_t draft = compression;  // one seed each, drafts among them
                if (!PrintPage(model, mode.planes, draft, compression, model, 100, model * 7 + mode.planes, port))
                    continue;
                // A second page on the compressed ones: a stream holds pages one after another.
                if (compression)
                    PrintPage(model, mode.planes, draft, compression, model, 61, model + 100, port);
                Write("preview",
                      "model" + std::to_string(model) + "-" + mode.name + (compression ? "-compressed" : "-plain"),
                      port.data);
            }
        }
    }
}

Bytes TextBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

void StoreSeeds()
{
    using tarvel::platform::StoreValues;
    auto dword = [](std::int32_t v) {
        Bytes b(4);
        std::memcpy(b.data(), &v, 4);
        return b;
    };
    auto sz = [](const std::u16string& s) {
        Bytes b((s.size() + 1) * 2, 0);
        std::memcpy(b.data(), s.c_str(), b.size());
        return b;
    };
    // The library's own settings key as the first unload writes it.
    StoreValues settings;
    const char16_t* names[] = {u"Printer", u"ColorMode", u"Port", u"PaperSize", u"Portrait", u"MarginLeft",
                               u"MarginRight", u"MarginTop", u"MarginBottom", u"DraftMode", u"Compression", u"CustomSizeX", u"CustomSizeY"};
    const std::int32_t defaults[] = {0, 1, 0, 0, 1, 6400, 3200, 6400, 10000, 0, 1, 0, 0};
    for (int i = 0; i < 13; ++i)
        settings.push_back({names[i], REG_DWORD, dword(defaults[i])});
    const std::string settingsText = tarvel::platform::FormatStoreText(settings);
    Write("store", "settings", TextBytes(settingsText));

    // The machine key: the serial map and the IrCOMM index, with text that
    // needs escapes and a binary value.
    StoreValues machine;
    machine.push_back({u"COM1", REG_SZ, sz(u"/dev/ttyUSB0")});
    machine.push_back({u"COM2", REG_SZ, sz(u"/dev/rfcomm0")});
    machine.push_back({u"Index", REG_DWORD, dword(-1)});
    machine.push_back({u"Odd=name%", REG_SZ, sz(u"line one\nline two \u00e9\u4e2d\U0001F5A8")});
    machine.push_back({u"Blob", REG_BINARY, {0x10, 0x41, 0xff, 0x00, 0x00, 0x00}});
    Write("store", "machine", TextBytes(tarvel::platform::FormatStoreText(machine)));

    Write("store", "empty", TextBytes(tarvel::platform::FormatStoreText({})));
    // Hand-edited: lower-case hex, a line that does not parse, a name given twice.
    Write("store", "edited",
          TextBytes("tarvel-store 1\nprinter=dword:0000000a\nbroken line\nPRINTER=dword:00000002\n"
                    "Path=sz:%2Fhome%25x\nend 4\n"));
}

// Text target headers; the layout is documented in TextTarget.cpp.
void TextSeeds()
{
    struct Seed {
        const char* name;
        std::uint8_t flags, face;
        std::int32_t height;
        std::int16_t width;
        std::int32_t escapement;
        std::uint16_t weight;
        std::uint32_t format, options;
        std::int16_t left, top, right, bottom, maxExtent;
        std::u16string text;
    };
    const Seed seeds[] = {
        {"plain-24bit", 2, 0, -12, 0, 0, 400, 0x10, 0, 2, 2, 60, 38, 40, u"Hello, wide world"},
        {"wordbreak-center-1bit", 0, 1, 14, 0, 0, 700, 0x11, 2, 0, 0, 30, 40, 20,
         u"ab cd ef gh\nij\tkl &mn && op"},
        {"singleline-vcenter-8bit", 1, 2, -9, 5, 0, 400, 0x26, 4, -5, -5, 70, 45, 0, u"single\r\nline\ttab"},
        {"rotated-italic-32bit", 3 | 4 | 8 | 16, 3, -20, 0, 900, 400, 0x100, 0, 10, 30, 50, 10, 100, u"Turn"},
        {"height-zero-spacing", 2 | 0x40, 4, 0, 0, 450, 0, 0, 2, 0, 0, 64, 40, 15,
         u"Space\u0002\u00fc\ufff0\u0010\u0005"},
        {"height-int-min", 2, 5, INT_MIN, 0, 0, 400, 0x410, 0, 0, 0, 0, 0, -1, u"min"},
        {"height-int-max", 2, 6, INT_MAX, INT16_MAX, 3600, 1000, 0x10, 0, 0, 0, 64, 40, 32767, u"max"},
        {"huge-em-surrogates", 0x82, 7, -4000, 0, -900, 100, 0x840, 6, -30000, -30000, 30000, 30000, 5,
         u"\U0001F5A8\xD800x\xDC00\u0627\u0644\u4e2d"},
    };
    for (const Seed& s : seeds) {
        Bytes b;
        auto put = [&](std::uint64_t v, int n) {
            for (int i = 0; i < n; ++i)
                b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        };
        put(s.flags, 1);
        put(s.face, 1);
        put(std::uint32_t(s.height), 4);
        put(std::uint16_t(s.width), 2);
        put(std::uint32_t(s.escapement), 4);
        put(s.weight, 2);
        put(s.format, 4);
        put(s.options, 4);
        for (std::int16_t v : {s.left, s.top, s.right, s.bottom, s.maxExtent})
            put(std::uint16_t(v), 2);
        for (char16_t c : s.text)
            put(c, 2);
        Write("text", s.name, b);
    }
}

// Page target programs; the operations are documented in PageTarget.cpp.
class PageProgram {
public:
    PageProgram(int width, int height, int rowBand, int columnBand)
    {
        bytes = {std::uint8_t(width - 16), std::uint8_t(height - 16), std::uint8_t(rowBand - 1),
                 std::uint8_t(columnBand - 1)};
    }
    PageProgram& Op(int op)
    {
        bytes.push_back(std::uint8_t(op));
        return *this;
    }
    PageProgram& U8(int v)
    {
        bytes.push_back(std::uint8_t(v));
        return *this;
    }
    PageProgram& U16(int v) { return U8(v & 255).U8((v >> 8) & 255); }
    PageProgram& Coord(int v)
    {
        if (v >= -32 && v < 0xF0 - 32)
            return U8(v + 32);
        return U8(0xF8).U16(v & 0xFFFF).U16((v >> 16) & 0xFFFF);
    }
    PageProgram& Coords(std::initializer_list<int> values)
    {
        for (int v : values)
            Coord(v);
        return *this;
    }
    PageProgram& Colour(int r, int g, int b) { return U8(r).U8(g).U8(b); }
    PageProgram& Text(const std::string& text)
    {
        U8(int(text.size()));
        for (char c : text)
            U8(c - 0x20);
        return *this;
    }
    Bytes bytes;
};

void PageSeeds()
{
    // Shapes with pens and brushes on the page, drawn as the tests draw them.
    Write("page", "shapes",
          PageProgram(120, 90, 7, 11)
              .Op(4)
              .U8(0)
              .U8(1)
              .U8(1)
              .Colour(0, 0, 200)
              .Op(5)
              .U8(0)
              .U8(0)
              .Colour(250, 200, 0)
              .Op(7)
              .U8(0)
              .Coords({3, 3, 50, 40})
              .Op(4)
              .U8(0)
              .U8(0)
              .U8(3)
              .Colour(200, 0, 0)
              .Op(8)
              .U8(0)
              .Coords({30, 20, 90, 70})
              .Op(9)
              .U8(0)
              .Coords({60, 5, 115, 35, 12, 12})
              .Op(10)
              .U8(0)
              .U8(5)
              .Coords({2, 85, 30, 50, 60, 88, 90, 45, 118, 80})
              .Op(3)
              .U8(0)
              .U8(10)
              .Op(7)
              .U8(0)
              .Coords({20, 30, 100, 60})
              .bytes);
    // Text through both calls, opaque and transparent.
    Write("page", "text",
          PageProgram(100, 60, 5, 9)
              .Op(6)
              .U8(0)
              .U8(std::uint8_t(-14))
              .U16(0)
              .U8(100)
              .U8(0)
              .U8(0)
              .Op(0)
              .U8(0)
              .Colour(120, 0, 120)
              .Op(2)
              .U8(0)
              .U8(1)
              .Op(11)
              .U8(0)
              .Coords({8, 12})
              .U8(0x40)
              .Coords({0, 0, 0, 0})
              .Text("Band")
              .Op(2)
              .U8(0)
              .U8(0)
              .Op(1)
              .U8(0)
              .Colour(180, 180, 255)
              .Op(12)
              .U8(0)
              .Coords({40, 30, 98, 58})
              .U16(0x11)
              .Text("in bands alike")
              .bytes);
    // A memory DC made, filled and copied onto the page, stretched too; a
    // second one deleted after its copy.
    Write("page", "memory-blits",
          PageProgram(80, 64, 16, 20)
              .Op(15)
              .U8(2)
              .U8(16)
              .U8(12)
              .U8(0x40)
              .Op(13)
              .Coords({10, 10, 16, 12})
              .U8(1)
              .Coords({0, 0})
              .U8(0xCC)
              .Op(14)
              .Coords({30, 30, 40, 25})
              .U8(1)
              .Coords({2, 2, 8, 6})
              .U8(0xCC)
              .Op(15)
              .U8(0)
              .U8(8)
              .U8(8)
              .U8(0x5A)
              .Op(13)
              .Coords({50, 5, 8, 8})
              .U8(2)
              .Coords({0, 0})
              .U8(0x66)
              .Op(16)
              .U8(1)
              .bytes);
    // A copy of the page onto itself, after and before what it copies.
    Write("page", "self-copy",
          PageProgram(64, 32, 8, 8)
              .Op(5)
              .U8(0)
              .U8(0)
              .Colour(0, 0, 0)
              .Op(7)
              .U8(0)
              .Coords({0, 0, 10, 10})
              .Op(13)
              .Coords({20, 0, 10, 10})
              .U8(0)
              .Coords({0, 0})
              .U8(0xCC)
              .Op(7)
              .U8(0)
              .Coords({40, 0, 50, 10})
              .bytes);
    // A pattern brush from a small bitmap, then the bitmap changes.
    Write("page", "pattern-brush",
          PageProgram(48, 48, 12, 12)
              .Op(15)
              .U8(1)
              .U8(8)
              .U8(8)
              .U8(0x33)
              .Op(5)
              .U8(0)
              .U8(2)
              .Colour(0, 0, 0)
              .Op(7)
              .U8(0)
              .Coords({4, 4, 44, 44})
              .Op(18)
              .U8(0)
              .U8(0x77)
              .bytes);
}

// A prn program in the prn target's format.
struct PrnProgram {
    PrnProgram(int model, int flags) { U8(model).U8(flags); }
    PrnProgram& U8(int v)
    {
        bytes.push_back(std::uint8_t(v));
        return *this;
    }
    PrnProgram& U16(int v) { return U8(v & 255).U8((v >> 8) & 255); }
    PrnProgram& U32(std::uint32_t v) { return U16(int(v & 0xFFFF)).U16(int(v >> 16)); }
    PrnProgram& Op(int op) { return U8(op); }
    // Eighths from -6 to 10 in one byte, anything else as its bits.
    PrnProgram& Float(float v)
    {
        const float eighths = v * 8 + 48;
        if (eighths >= 16 && eighths < 0x80 && eighths == float(int(eighths)))
            return U8(int(eighths));
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return U8(0x80).U32(bits);
    }
    PrnProgram& Special(int index) { return U8(index); }
    PrnProgram& Text(const std::string& text)
    {
        U8(int(text.size()));
        for (char c : text)
            U8(c == '\n' ? 0xE0 : c - 0x20);
        return *this;
    }
    PrnProgram& Picture(int kind, const Bytes& body)
    {
        U8(kind).U16(int(body.size()));
        bytes.insert(bytes.end(), body.begin(), body.end());
        return *this;
    }
    Bytes bytes;
};

#ifdef TARVEL_SEEDS_PIXBUF
// A small picture with a gradient and a transparent corner, as gdk-pixbuf
// saves it.
Bytes SavedPicture(const char* format)
{
    const bool alpha = std::strcmp(format, "png") == 0;
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, 6, 4);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf), channels = alpha ? 4 : 3;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            guchar* p = pixels + y * stride + x * channels;
            p[0] = guchar(x * 40), p[1] = guchar(y * 60), p[2] = guchar(200 - x * 30);
            if (alpha)
                p[3] = x + y == 0 ? 0 : 255;
        }
    }
    gchar* buffer = nullptr;
    gsize size = 0;
    Bytes bytes;
    if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, format, nullptr, nullptr))
        bytes.assign(buffer, buffer + size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}
#endif

void PrnSeeds()
{
    // Every shape with a wide coloured pen and a fill, printed at the end.
    Write("prn", "shapes",
          PrnProgram(0, 1 | 4)
              .Op(3)
              .Float(0.03f)
              .Op(4)
              .U8(0)
              .U32(0x0000C0)
              .Op(4)
              .U8(1)
              .U32(0x00C0FF)
              .Op(14)
              .Float(0.05f)
              .Float(0.05f)
              .Float(0.3f)
              .Float(0.2f)
              .Op(17)
              .Float(0.2f)
              .Float(0.1f)
              .Float(0.6f)
              .Float(0.4f)
              .Op(16)
              .Float(0.1f)
              .Float(0.3f)
              .Float(0.5f)
              .Float(0.5f)
              .Float(0.125f)
              .Float(0.125f)
              .Op(18)
              .Float(0.5f)
              .Float(0.25f)
              .Float(0.125f)
              .Op(15)
              .Float(0.6f)
              .Float(0.05f)
              .Float(0.75f)
              .Float(0.2f)
              .U32(0xFF0000)
              .Op(13)
              .Float(0)
              .Float(0)
              .Float(0.75f)
              .Float(0.5f)
              .bytes);
    // Text in a named font, one line and a block, aligned and measured.
    Write("prn", "text",
          PrnProgram(2, 1 | 8)
              .Op(5)
              .Text("DejaVu Sans")
              .Op(6)
              .Float(9)
              .Op(8)
              .U8(0)
              .U32(1)
              .Op(10)
              .Text("Tarvel")
              .Float(0)
              .Float(0)
              .Op(11)
              .Text("two\nlines")
              .Float(0.125f)
              .Float(0.25f)
              .U32(0x0000FF)
              .Op(12)
              .Text("right")
              .Float(0.75f)
              .Float(0.5f)
              .U8(1)
              .U8(1)
              .Op(12)
              .Text("mid\ndle")
              .Float(0.375f)
              .Float(0.25f)
              .U8(2)
              .U8(2)
              .Op(9)
              .Text("measured")
              .bytes);
    // Units and margins: millimetres, dots, a unit outside the range, and
    // the values a conversion must pass through.
    Write("prn", "units",
          PrnProgram(4, 16)
              .Op(2)
              .U8(0)
              .Float(2)
              .Op(2)
              .U8(2)
              .Float(1.5f)
              .Op(0)
              .Float(10)
              .U8(Millimeters)
              .U8(Points)
              .Op(0)
              .Special(0)
              .U8(Inches)
              .U8(Pixels)
              .Op(0)
              .Special(2)
              .U8(Pixels)
              .U8(Centimeters)
              .Op(1)
              .U8(Pixels)
              .Op(14)
              .Float(1)
              .Float(1)
              .Float(8)
              .Float(8)
              .Op(1)
              .U8(9)
              .Op(13)
              .Special(4)
              .Special(5)
              .Special(6)
              .Special(7)
              .Op(7)
              .Float(3)
              .U8(Millimeters)
              .Op(22)
              .U8(Centimeters)
              .Op(20)
              .Op(21)
              .bytes);
    // One picture of each format, its signature given by the kind byte, and
    // one as the whole file; drawn at its own size, stretched and scaled.
    static const char kGif[] = "GIF89a\x02\x00\x02\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                               "\x2c\x00\x00\x00\x00\x02\x00\x02\x00\x00\x02\x02\x84\x51\x00\x3b";
    const Bytes gif(kGif, kGif + sizeof kGif - 1);
    struct Sample {
        const char* name;
        int kind;
        Bytes file;
    };
    std::vector<Sample> samples = {{"picture-gif", 4, gif}};
#ifdef TARVEL_SEEDS_PIXBUF
    samples.push_back({"picture-png", 1, SavedPicture("png")});
    samples.push_back({"picture-jpeg", 2, SavedPicture("jpeg")});
    samples.push_back({"picture-bmp", 3, SavedPicture("bmp")});
#endif
    static const std::size_t kSignatureLength[] = {0, 8, 3, 2, 6};
    for (const Sample& sample : samples) {
        if (sample.file.size() <= kSignatureLength[sample.kind])
            continue;
        const Bytes body(sample.file.begin() + std::ptrdiff_t(kSignatureLength[sample.kind]), sample.file.end());
        Write("prn", sample.name,
              PrnProgram(sample.kind % 7, 1)
                  .Op(19)
                  .Picture(sample.kind, body)
                  .Float(0.125f)
                  .Float(0.125f)
                  .Float(0)
                  .Float(0)
                  .U8(0)
                  .Op(19)
                  .Picture(0, sample.file)
                  .Float(0.25f)
                  .Float(0)
                  .Float(0.5f)
                  .Float(0)
                  .U8(1)
                  .bytes);
    }
}

#ifdef TARVEL_SEEDS_CUPS
struct RasterBytes {
    static ssize_t Write(void* context, unsigned char* bytes, size_t length)
    {
        auto* out = static_cast<Bytes*>(context);
        out->insert(out->end(), bytes, bytes + length);
        return ssize_t(length);
    }
};

// A raster of a few small pages as libcups writes it in `mode`, for model
// `model` at its resolution; the page sizes are none of our papers, so the
// raster is the page and the filter's work stays small.
Bytes RasterStream(int model, cups_mode_t mode, cups_cspace_t space, unsigned bits, int pages)
{
    Bytes out{std::uint8_t(model)};
    cups_raster_t* raster = cupsRasterOpenIO(&RasterBytes::Write, &out, mode);
    if (!raster)
        return {};
    const unsigned resolution = unsigned(tarvel::drivers::GetPrinterModel(model)->resolution);
    const bool rgb = space != CUPS_CSPACE_W && space != CUPS_CSPACE_SW && space != CUPS_CSPACE_K;
    bool written = true;
    for (int page = 0; page < pages && written; ++page) {
        cups_page_header2_t header{};
        std::strcpy(header.MediaClass, "PwgRaster");
        header.HWResolution[0] = header.HWResolution[1] = resolution;
        header.cupsWidth = 40 + page * 9;
        header.cupsHeight = 12;
        header.cupsBitsPerColor = rgb ? 8 : bits;
        header.cupsBitsPerPixel = rgb ? 24 : bits;
        header.cupsBytesPerLine = (header.cupsWidth * header.cupsBitsPerPixel + 7) / 8;
        header.cupsColorOrder = CUPS_ORDER_CHUNKED;
        header.cupsColorSpace = space;
        header.cupsNumColors = rgb ? 3 : 1;
        header.NumCopies = 1;
        header.PageSize[0] = header.cupsWidth * 72 / resolution + 1;
        header.PageSize[1] = header.cupsHeight * 72 / resolution + 1;
        header.cupsPageSize[0] = float(header.PageSize[0]);
        header.cupsPageSize[1] = float(header.PageSize[1]);
        header.cupsInteger[tarvel::cups::kPlaneCountInteger] = rgb ? 3 + unsigned(page % 2) : 1;
        header.cupsCompression = unsigned(page % 2);
        if (!cupsRasterWriteHeader2(raster, &header)) {
            written = false;
            break;
        }
        // Runs of colour, a white row and repeated rows, for every kind of
        // line the compressed encodings have.
        Bytes line(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight && written; ++y) {
            if (y != 4 && y != 5) {
                for (std::size_t i = 0; i < line.size(); ++i)
                    line[i] = y == 3 ? 255 : std::uint8_t((i / 5 + y / 2) * 37 + page * 11);
            }
            written = cupsRasterWritePixels(raster, line.data(), unsigned(line.size())) == line.size();
        }
    }
    cupsRasterClose(raster);
    return written ? out : Bytes{};
}

void RasterSeeds()
{
    static const struct {
        const char* name;
        cups_mode_t mode;
    } kModes[] = {{"v3", CUPS_RASTER_WRITE}, {"v2", CUPS_RASTER_WRITE_COMPRESSED}, {"pwg", CUPS_RASTER_WRITE_PWG}, {"apple", CUPS_RASTER_WRITE_APPLE}};
    static const struct {
        const char* name;
        cups_cspace_t space;
        unsigned bits;
    } kColours[] = {{"rgb", CUPS_CSPACE_SRGB, 8}, {"w8", CUPS_CSPACE_SW, 8}, {"k1", CUPS_CSPACE_K, 1}};
    int model = 0;
    for (const auto& mode : kModes) {
        for (const auto& colour : kColours) {
            // Apple raster has no 1-bit pixels.
            if (mode.mode == CUPS_RASTER_WRITE_APPLE && colour.bits == 1)
                continue;
            const Bytes stream = RasterStream(model % 7, mode.mode, colour.space, colour.bits, 2);
            ++model;
            if (!stream.empty())
                Write("raster", std::string(mode.name) + "-" + colour.name, stream);
        }
    }
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <fuzz folder>\n", argv[0]);
        return 2;
    }
    gOut = argv[1];
    PreviewSeeds();
    StoreSeeds();
    TextSeeds();
    PageSeeds();
    PrnSeeds();
#ifdef TARVEL_SEEDS_CUPS
    RasterSeeds();
#endif
    return 0;
}
