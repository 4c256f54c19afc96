// Fuzz target `prn`: a program of prn calls with arbitrary floats, units,
// texts and picture files, on a small page of a document that the file
// port prints into a scratch folder.
//
// Input, little-endian, fields past the end read as zero:
//   0   u8   printer model (modulo 7)
//   1   u8   flags: bit 0 prints the page at the end instead of dropping
//            it unprinted before the document ends; bit 1
//            draft mode; bits 2-3 the colour mode (modulo 3); bit 4 the
//            dialog in millimetres (unit set before prnSetupDlg)
//   2   ...  operations, each an opcode byte (modulo kOpCount) and its
//            operands, until the input ends or kMaxOps have run
//
// Operands: a float is a tag byte t: t < 16 picks a special value (NaN,
// infinities, the float range's ends, values beyond the 32-bit integers,
// denormals, zeros), t >= 0x80 is followed by the raw 32 bits of a float,
// any other t is (t - 48) / 8. A unit is a byte as a signed value (so -128
// to 127, mostly outside 0..4). A colour is a u32. A text is a length byte:
// 0xFF is a null text, else length % 64 units, each one byte (printable
// ASCII, or for 0xE0 and above a table of line feeds, carriage returns,
// tabs, surrogates, wide and combining characters, or a u16 after 0xFF).
// A picture is a kind byte (0 the body as it is; 1 PNG, 2 JPEG, 3 BMP,
// 4 GIF: that format's signature before the body), a u16 body length and
// the body, written to a file below the device's root folder.
//
// Operations (opcode: operands):
//   0  prnConvertValue: float, unit, unit   1  prnSetMeasureUnit: unit
//   2  margins: which u8 (left, right, top, bottom), float; the getters
//   3  prnSetLineWidth: float               4  colours: which u8, colour
//   5  prnSetFontName: text (a length byte of 0xF0 and up makes a name of
//      240 units and more of 'W')           6  prnSetFontSize: float
//   7  prnSetFontSize: float, unit          8  font flag: which u8, i32
//   9  prnGetTextWidth and prnGetTextHeight: text
//   10 prnDrawText: text, 2 floats          11 prnDrawText in a colour
//   12 prnDrawAlignedText: text, 2 floats, horizontal i8, vertical i8
//   13 prnDrawLine: 4 floats                14 prnDrawRect: 4 floats
//   15 prnDrawSolidRect: 4 floats, colour   16 prnDrawRoundRect: 6 floats
//   17 prnDrawEllipse: 4 floats             18 prnDrawCircle: 3 floats
//   19 picture, then prnGetPictureSize and prnDrawPicture: 4 floats, scale i8
//   20 prnStartPage (the page so far is printed)
//   21 prnSetupDlg (the dialog confirms at once)
//   22 prnGetPageWidth, prnGetPageHeight, prnGetFontSize in a unit: unit
// With TARVEL_FUZZ_TRACE=1 the target says what each picture read gave.
//
// Properties:
// - A conversion to or from a unit outside 0..4 gives the value back bit
//   for bit; getters give what their setters were given (colours, flags,
//   the font name cut to 255 units, the measure unit).
// - prnGetPictureSize gives 1 and a size of 1 to 10000 pixels a side, or 0
//   and 0 x 0; prnDrawPicture of the same file draws exactly when the size
//   was read and every position and size is finite.
// The page is 20 x 15 mm, so printing it costs little more than recording.
#include "FuzzSupport.h"

#include "device/PrinterDevice.h"
#include "device/PrinterTables.h"
#include "ports/FilePort.h"
#include "prn/PrnState.h"
#include "render/RecordingState.h"

#include <tarvel/prn.h>
#include <tarvel/ui.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>

namespace tarvel::fuzz {
namespace {

constexpr int kOpCount = 23;
constexpr int kMaxOps = 64;
constexpr std::size_t kMaxPictureBody = 16 * 1024;

constexpr float kSpecialFloats[16] = {
    std::numeric_limits<float>::quiet_NaN(),
    -std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::max(),
    std::numeric_limits<float>::lowest(),
    2147483648.0f,
    -2147483904.0f,
    1e9f,
    -1e9f,
    std::numeric_limits<float>::denorm_min(),
    std::numeric_limits<float>::min(),
    0.0f,
    -0.0f,
    65536.0f,
    1e-7f,
};

constexpr char16_t kSpecialUnits[] = {u'\n', u'\r', u'\t', u' ', 0xD800, 0xDC00, 0xDBFF, 0x00E9, 0x4E2D, 0x0627,
                                      0x200B, 0xFFFD, 0x0301, u'W', 0x3000};

// What goes before a picture's body for each kind; kind 0 is the body alone.
const std::string kSignatures[] = {
    "",
    std::string("\x89PNG\r\n\x1a\n", 8),
    std::string("\xFF\xD8\xFF", 3),
    "BM",
    "GIF89a",
};

// The scratch folder that stands for the device's root: the printed file and
// the pictures go there, and the settings store below it.
const std::filesystem::path& Scratch()
{
    // Never destroyed: the removal at exit runs after static destructors.
    static const std::filesystem::path* folder = [] {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/tarvel-fuzz-prn-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            Broken("no scratch folder for the prn target");
        ::setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(Scratch(), ignored);
        });
        return new std::filesystem::path(pattern);
    }();
    return *folder;
}

// The one device of the process, made once: the library would make it as
// it loads, which a fuzzer's program never does.
device::PrinterDevice& Device()
{
    static device::PrinterDevice* device = [] {
        Scratch();
        ui::SelectBackend(ui::Backend::Headless);
        ports::SetDeviceRootFolder(Scratch());
        auto* made = new device::PrinterDevice;
        made->saveOnUnload = false;
        return made;
    }();
    return *device;
}

bool SameBits(float a, float b)
{
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

class Program {
public:
    Program(const std::uint8_t* data, std::size_t size)
        : in_(data, size)
    {
    }

    void Run()
    {
        device::PrinterDevice& device = Device();
        prn::ResetPrnState();
        ui::ClearMessageBoxRecord();
        device.settings.printer = in_.U8() % device::kModelCount;
        const std::uint8_t flags = in_.U8();
        device.settings.port = device::kFilePort;
        device.settings.paperSize = device::kCustomPaper;
        device.settings.draftMode = (flags >> 1) & 1;
        device.settings.colorMode = ((flags >> 2) & 3) % device::kColorModeCount;
        device.settings.margins = {0, 0, 0, 0};
        device::Papers()[device::kCustomPaper].width = 2000;
        device::Papers()[device::kCustomPaper].height = 1500;
        if (flags & 16)
            prnSetMeasureUnit(Millimeters);
        if (prnSetupDlg(nullptr) != 1)
            Broken("the headless print dialog was not confirmed");
        if (prnStartDoc() == 0 || prnStartPage() == 0)
            Broken("no document on the file port");
        for (int op = 0; op < kMaxOps && !in_.AtEnd(); ++op)
            Step(in_.U8() % kOpCount);
        // The document always ends, so that the next input's dialog is not
        // refused for a job in progress; a page that is not to be printed
        // is dropped from the recording first.
        if (!(flags & 1)) {
            render::ClearPage(device.recording);
            device.pageStarted = 0;
        }
        prnEndDoc();
    }

private:
    float Float()
    {
        const std::uint8_t tag = in_.U8();
        if (tag < 16)
            return kSpecialFloats[tag];
        if (tag >= 0x80)
            return std::bit_cast<float>(in_.U32());
        return (float(tag) - 48.0f) / 8.0f;
    }

    MeasureUnit Unit() { return MeasureUnit(static_cast<std::int8_t>(in_.U8())); }

    // Null when the text is null, else the text read into text_.
    LPCWSTR Text(std::u16string& text)
    {
        const std::uint8_t length = in_.U8();
        text.clear();
        if (length == 0xFF)
            return nullptr;
        for (int i = 0; i < length % 64; ++i)
            text.push_back(Unit16());
        return text.c_str();
    }

    char16_t Unit16()
    {
        const std::uint8_t b = in_.U8();
        if (b == 0xFF)
            return char16_t(in_.U16());
        if (b >= 0xE0)
            return kSpecialUnits[(b - 0xE0) % std::size(kSpecialUnits)];
        return char16_t(0x20 + b % 0x5F);
    }

    void CheckConversion(float value, MeasureUnit from, MeasureUnit to)
    {
        const float converted = prnConvertValue(value, from, to);
        const bool known = from >= Pixels && from <= Points && to >= Pixels && to <= Points;
        if ((!known || from == to) && !SameBits(converted, value))
            Broken("a conversion between units " + std::to_string(from) + " and " + std::to_string(to)
                   + " changed its value");
    }

    void SetFontName()
    {
        std::u16string name;
        const std::uint8_t length = in_.U8();
        if (length == 0xFF) {
            prnSetFontName(nullptr);
            return;
        }
        if (length >= 0xF0)
            name.assign(240 + (length - 0xF0) * 2, u'W');
        else
            for (int i = 0; i < length % 40; ++i)
                name.push_back(Unit16());
        prnSetFontName(name.c_str());
        const std::u16string expected = std::u16string(name.c_str()).substr(0, prn::kFontNameLength - 1);
        if (expected != prnGetFontName())
            Broken("prnGetFontName does not give the name set");
    }

    void Picture()
    {
        const std::uint8_t kind = in_.U8() % std::size(kSignatures);
        const std::size_t length = std::min<std::size_t>(in_.U16(), kMaxPictureBody);
        std::string bytes = kSignatures[kind];
        for (std::size_t i = 0; i < length && !in_.AtEnd(); ++i)
            bytes.push_back(char(in_.U8()));
        // A new file every time: a file rewritten in place within one tick
        // of the file system's clock could pass for the cached picture.
        const std::filesystem::path file = Scratch() / "picture";
        ::unlink(file.c_str());
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0)
            Broken("the picture file could not be written");

        const float x = Float(), y = Float(), width = Float(), height = Float();
        const int scale = static_cast<std::int8_t>(in_.U8());
        float pictureWidth = -1, pictureHeight = -1;
        const int read = prnGetPictureSize(u"\\picture", &pictureWidth, &pictureHeight);
        if (read == 1) {
            if (!(pictureWidth >= 1 && pictureWidth <= 10000 && pictureHeight >= 1 && pictureHeight <= 10000))
                Broken("a picture read with a size of " + std::to_string(pictureWidth) + " x "
                       + std::to_string(pictureHeight));
        } else if (read != 0 || pictureWidth != 0 || pictureHeight != 0) {
            Broken("prnGetPictureSize failed without 0 and 0 x 0");
        }
        if (std::getenv("TARVEL_FUZZ_TRACE"))
            std::fprintf(stderr, "picture of kind %d, %zu bytes: size read %d (%g x %g)\n", kind, bytes.size(), read,
                         pictureWidth, pictureHeight);
        const bool finite = std::isfinite(x) && std::isfinite(y) && std::isfinite(width) && std::isfinite(height);
        const int drawn = prnDrawPicture(u"\\picture", x, y, width, height, scale);
        if (drawn != (read == 1 && finite ? 1 : 0))
            Broken("prnDrawPicture gave " + std::to_string(drawn) + " for a picture whose size read gave "
                   + std::to_string(read));
    }

    void Step(int op)
    {
        std::u16string text;
        switch (op) {
        case 0: {
            const float value = Float();
            const MeasureUnit from = Unit(), to = Unit();
            CheckConversion(value, from, to);
            break;
        }
        case 1: {
            const MeasureUnit unit = Unit();
            prnSetMeasureUnit(unit);
            if (prnGetMeasureUnit() != unit)
                Broken("prnGetMeasureUnit does not give the unit set");
            break;
        }
        case 2: {
            const std::uint8_t which = in_.U8() % 4;
            const float margin = Float();
            void (*const setters[])(float) = {prnSetLeftMargin, prnSetRightMargin, prnSetTopMargin, prnSetBottomMargin};
            setters[which](margin);
            for (float (*getter)() : {prnGetLeftMargin, prnGetRightMargin, prnGetTopMargin, prnGetBottomMargin})
                CheckConversion(getter(), MeasureUnit(prnGetMeasureUnit()), MeasureUnit(prnGetMeasureUnit()));
            break;
        }
        case 3:
            prnSetLineWidth(Float());
            CheckConversion(prnGetLineWidth(), Inches, Inches);
            break;
        case 4: {
            const std::uint8_t which = in_.U8() % 3;
            const COLORREF colour = in_.U32();
            using Setter = void (*)(COLORREF);
            using Getter = COLORREF (*)();
            const Setter setters[] = {prnSetLineColor, prnSetFillColor, prnSetTextColor};
            const Getter getters[] = {prnGetLineColor, prnGetFillColor, prnGetTextColor};
            setters[which](colour);
            if (getters[which]() != colour)
                Broken("a colour getter does not give the colour set");
            break;
        }
        case 5:
            SetFontName();
            break;
        case 6: {
            const float size = Float();
            prnSetFontSize(size);
            if (!SameBits(prnGetFontSize(), size))
                Broken("prnGetFontSize does not give the size set in points");
            break;
        }
        case 7: {
            const float size = Float();
            prnSetFontSize(size, Unit());
            break;
        }
        case 8: {
            const std::uint8_t which = in_.U8() % 4;
            const int value = in_.I32();
            void (*const setters[])(int) = {prnSetFontBold, prnSetFontItalic, prnSetFontStrike, prnSetFontUnderline};
            int (*const getters[])() = {prnGetFontBold, prnGetFontItalic, prnGetFontStrike, prnGetFontUnderline};
            setters[which](value);
            if (getters[which]() != value)
                Broken("a font flag getter does not give the value set");
            break;
        }
        case 9: {
            LPCWSTR chars = Text(text);
            const float width = prnGetTextWidth(chars), height = prnGetTextHeight(chars);
            if (!chars && (width != 0 || height != 0))
                Broken("a null text measures more than 0");
            break;
        }
        case 10: {
            LPCWSTR chars = Text(text);
            const float x = Float(), y = Float();
            prnDrawText(chars, x, y);
            break;
        }
        case 11: {
            LPCWSTR chars = Text(text);
            const float x = Float(), y = Float();
            const COLORREF kept = prnGetTextColor();
            prnDrawText(chars, x, y, in_.U32());
            if (prnGetTextColor() != kept)
                Broken("text drawn in its own colour changed the text colour");
            break;
        }
        case 12: {
            LPCWSTR chars = Text(text);
            const float x = Float(), y = Float();
            const auto horizontal = TextHorAlign(static_cast<std::int8_t>(in_.U8()));
            const auto vertical = TextVertAlign(static_cast<std::int8_t>(in_.U8()));
            prnDrawAlignedText(chars, x, y, horizontal, vertical);
            break;
        }
        case 13: {
            const float x1 = Float(), y1 = Float(), x2 = Float(), y2 = Float();
            prnDrawLine(x1, y1, x2, y2);
            break;
        }
        case 14: {
            const float x1 = Float(), y1 = Float(), x2 = Float(), y2 = Float();
            prnDrawRect(x1, y1, x2, y2);
            break;
        }
        case 15: {
            const float x1 = Float(), y1 = Float(), x2 = Float(), y2 = Float();
            const COLORREF fill = prnGetFillColor();
            prnDrawSolidRect(x1, y1, x2, y2, in_.U32());
            if (prnGetFillColor() != fill)
                Broken("a solid rectangle changed the fill colour");
            break;
        }
        case 16: {
            const float x1 = Float(), y1 = Float(), x2 = Float(), y2 = Float(), w = Float(), h = Float();
            prnDrawRoundRect(x1, y1, x2, y2, w, h);
            break;
        }
        case 17: {
            const float x1 = Float(), y1 = Float(), x2 = Float(), y2 = Float();
            prnDrawEllipse(x1, y1, x2, y2);
            break;
        }
        case 18: {
            const float x = Float(), y = Float(), radius = Float();
            prnDrawCircle(x, y, radius);
            break;
        }
        case 19:
            Picture();
            break;
        case 20:
            prnStartPage();
            break;
        case 21:
            prnSetupDlg(nullptr);
            break;
        case 22: {
            const MeasureUnit unit = Unit();
            CheckConversion(prnGetPageWidth(), unit, unit);
            CheckConversion(prnGetPageHeight(), unit, unit);
            CheckConversion(prnGetFontSize(), Points, unit);
            CheckConversion(prnGetFontSize(unit), unit, unit);
            break;
        }
        default:
            break;
        }
    }

    Reader in_;
};

}  // namespace

int FuzzPrn(const std::uint8_t* data, std::size_t size)
{
    Program(data, size).Run();
    return 0;
}

}  // namespace tarvel::fuzz
