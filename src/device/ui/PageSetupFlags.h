// Flag names of the page-setup request's flag word, for the values the
// library reads and writes. The two page-range flags are this library's
// own additions to the platform's set.
#pragma once

#ifndef PSD_MARGINS
#define PSD_MARGINS 0x00000002
#endif
#ifndef PSD_INTHOUSANDTHSOFINCHES
#define PSD_INTHOUSANDTHSOFINCHES 0x00000004
#endif
#ifndef PSD_INHUNDREDTHSOFMILLIMETERS
#define PSD_INHUNDREDTHSOFMILLIMETERS 0x00000008
#endif
#ifndef PSD_DISABLEMARGINS
#define PSD_DISABLEMARGINS 0x00000010
#endif
#ifndef PSD_DISABLEPRINTER
#define PSD_DISABLEPRINTER 0x00000020
#endif
#ifndef PSD_DISABLEORIENTATION
#define PSD_DISABLEORIENTATION 0x00000100
#endif
#ifndef PSD_DISABLEPAPER
#define PSD_DISABLEPAPER 0x00000200
#endif
#ifndef PSD_RETURNDEFAULT
#define PSD_RETURNDEFAULT 0x00000400
#endif
#ifndef PSD_DISABLEPAGERANGE
#define PSD_DISABLEPAGERANGE 0x10000000
#endif
#ifndef PSD_PAGERANGE
#define PSD_PAGERANGE 0x20000000
#endif
