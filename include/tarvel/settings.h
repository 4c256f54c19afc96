// Settings, models and messages for programs that print without a dialog.
//
// Everything here has C linkage and works without a display. Settings are
// read from and written to the same store the dialogs use, with the same
// ranges; a refused value is reported and nothing is applied.
#ifndef TARVEL_SETTINGS_H
#define TARVEL_SETTINGS_H

#include <tarvel/win32.h>

#if defined(__cplusplus)
extern "C" {
#endif

// Ports beyond the described ones (0 Infrared, 1..8 COM1..COM8, 9 File).
#define TARVEL_PORT_NETWORK 10  // raw TCP to host:port (port 9100 protocol)
#define TARVEL_PORT_DEVICE 11   // a printer device node such as /dev/usb/lp0

#define TARVEL_HOST_CHARS 256
#define TARVEL_PATH_CHARS 4096

// The stored settings. Lengths are in hundredths of a millimetre.
typedef struct TarvelSettings {
    int printer;      // 0..6, index into the models table
    int port;         // 0..11
    int paperSize;    // 0..6 (6: custom)
    int colorMode;    // 0 monochrome, 1 CMYK, 2 CMY
    int portrait;     // 1 portrait, 0 landscape
    RECT margins;     // left, top, right, bottom
    int draftMode;    // 0 or 1
    int compression;  // 0 or 1
    int customWidth;  // custom paper, portrait
    int customHeight;
    char networkHost[TARVEL_HOST_CHARS];  // UTF-8, no spaces; needed by TARVEL_PORT_NETWORK
    int networkPort;                      // 1..65535, default 9100
    char devicePath[TARVEL_PATH_CHARS];   // UTF-8, not empty; default "/dev/usb/lp0"
} TarvelSettings;

typedef struct TarvelModel {
    const char* name;      // as the print dialog lists it, UTF-8
    int resolution;        // dots per inch
    int draftResolution;   // dots per inch in draft mode (== resolution when none)
    int colorModes;        // bit i set: colour mode i is available
    const char* language;  // "pcl", "escp2", "stylus", "pocketjet", "canonbj"
} TarvelModel;

typedef struct TarvelPageSize {
    const char* name;           // paper name as the dialogs list it, UTF-8
    int width, height;          // hundredths of a millimetre, portrait
    int widthDots, heightDots;  // at the model's resolution
    RECT printableDots;         // printable area in dots at that resolution
} TarvelPageSize;

typedef enum TarvelMessageKind { TARVEL_MESSAGE_NONE = 0,
                                 TARVEL_MESSAGE_INFO = 1,
                                 TARVEL_MESSAGE_WARNING = 2,
                                 TARVEL_MESSAGE_ERROR = 3 } TarvelMessageKind;

// Reads the settings: those stored (defaults where none are stored), as a
// dialog or TarvelSetSettings last changed them. Returns 1, or 0 for a null pointer.
TARVEL_API int TarvelGetSettings(TarvelSettings* settings);
// Validates every field and, only when all are valid, stores them atomically
// and makes them the device's settings, as a confirmed print dialog does (a
// model without colour gets colour mode 0; PDC_GetPrinterDC then gives a new
// printer DC for them). Returns 1; 0 when a field is refused or a document is
// open (then nothing changes, and TarvelLastMessage names the field and range).
TARVEL_API int TarvelSetSettings(const TarvelSettings* settings);

// Number of models (7) and one model; 0 for an index outside the table or a null pointer.
TARVEL_API int TarvelModelCount(void);
TARVEL_API int TarvelGetModel(int index, TarvelModel* model);
// The page of paper `paper` (0..6) on model `printer` in its normal or draft resolution; 0 on a bad index or null.
TARVEL_API int TarvelGetPageSize(int printer, int paper, int draft, TarvelPageSize* size);

// The last message the library showed or would have shown (message boxes,
// port losses), UTF-8 / UTF-16, copied into buf with its terminator; returns
// its kind, or TARVEL_MESSAGE_NONE when there was none. caption may be null.
TARVEL_API int TarvelLastMessage(char* text, int textChars, char* caption, int captionChars);
TARVEL_API int TarvelLastMessageW(WCHAR* text, int textChars, WCHAR* caption, int captionChars);
TARVEL_API void TarvelClearLastMessage(void);
// Pages of the current (or last) job that failed to reach the printer.
TARVEL_API int TarvelFailedPages(void);

#if defined(__cplusplus)
}
#endif
#endif
