// The simple printing interface: 52 functions that print text, shapes and
// pictures at positions in inches, millimetres, centimetres, points or
// printer dots, measured from the page margins. The library holds the one
// current pen, brush, text colour and font, and the job on the printer DC.
//
// Order of use: prnSetupDlg (until confirmed), prnStartDoc, then per page
// prnStartPage and drawing calls, and finally prnEndDoc; a page ends at the
// next prnStartPage or at prnEndDoc. Without a document nothing is drawn
// and conversions to or from printer dots give 0. Every function is meant
// for one application thread.
//
// The functions have C++ linkage: their argument types are part of their
// exported names, which tells the two forms of prnDrawText, prnSetFontSize
// and prnGetFontSize apart.
#ifndef TARVEL_PRN_H
#define TARVEL_PRN_H

#if !defined(__cplusplus)
#error "tarvel/prn.h is a C++ interface; C programs use tarvel/pdc.h"
#endif

#include <tarvel/win32.h>

#include <cstdint>

// The unit of every position, size and length the functions take or return.
enum MeasureUnit : std::int32_t {
    Pixels = 0,  // printer dots
    Inches = 1,
    Millimeters = 2,
    Centimeters = 3,
    Points = 4,  // 1/72 inch
};

// Which edge or centre of the text the point given to prnDrawAlignedText is.
enum class TextHorAlign : std::int32_t { Left = 0,
                                         Right = 1,
                                         Center = 2 };
enum class TextVertAlign : std::int32_t { Top = 0,
                                          Bottom = 1,
                                          Center = 2 };

// Units and page metrics. Margins and the page size are kept in inches and
// converted to the current unit on every call. A unit outside 0 to 4 leaves
// a converted value unchanged; NaN and infinities pass through conversions
// and are drawn nowhere.

// The value in another unit; printer dots use the resolution of the job.
TARVEL_API float prnConvertValue(float value, MeasureUnit from, MeasureUnit to);
// Stored as given (1, inches, until changed).
TARVEL_API void prnSetMeasureUnit(int unit);
TARVEL_API int prnGetMeasureUnit();
TARVEL_API float prnGetLeftMargin();
TARVEL_API float prnGetRightMargin();
TARVEL_API float prnGetTopMargin();
TARVEL_API float prnGetBottomMargin();
TARVEL_API void prnSetLeftMargin(float margin);
TARVEL_API void prnSetRightMargin(float margin);
TARVEL_API void prnSetTopMargin(float margin);
TARVEL_API void prnSetBottomMargin(float margin);
// The paper width less the left and right margins (0 paper before the first
// confirmed prnSetupDlg).
TARVEL_API float prnGetPageWidth();
// The paper height less the top and bottom margins.
TARVEL_API float prnGetPageHeight();

// The job.

// Shows the print dialog; 1 when confirmed (paper size and margins taken
// from it), 0 otherwise with nothing changed.
TARVEL_API int prnSetupDlg(HWND owner);
// Opens a document on the chosen printer and port; nonzero on success.
TARVEL_API int prnStartDoc();
// Prints the page in progress, if any, and starts a new one with the default
// drawing state; 0 without a document.
TARVEL_API int prnStartPage();
// Prints the page in progress and closes the document.
TARVEL_API void prnEndDoc();

// Drawing state, reset at every page: black pen 0.01 inch wide, white
// brush, black text, "Tahoma" at 12 points, no bold, italic, strike-out or
// underline.

// The pen width in the current unit; below one printer dot draws the
// thinnest line.
TARVEL_API void prnSetLineWidth(float width);
TARVEL_API float prnGetLineWidth();
TARVEL_API void prnSetLineColor(COLORREF color);
TARVEL_API COLORREF prnGetLineColor();
TARVEL_API void prnSetFillColor(COLORREF color);
TARVEL_API COLORREF prnGetFillColor();
TARVEL_API void prnSetTextColor(COLORREF color);
TARVEL_API COLORREF prnGetTextColor();
// A null name is ignored; names longer than 255 characters are cut.
TARVEL_API void prnSetFontName(LPCWSTR name);
// The library's own copy, valid until the name changes.
TARVEL_API LPCWSTR prnGetFontName();
// Size in points.
TARVEL_API void prnSetFontSize(float size);
// Size in the given unit.
TARVEL_API void prnSetFontSize(float size, MeasureUnit unit);
// Size in points.
TARVEL_API float prnGetFontSize();
// Size in the given unit.
TARVEL_API float prnGetFontSize(MeasureUnit unit);
// Attributes: 0 off, any other value on; each returns the value last set.
TARVEL_API void prnSetFontBold(int bold);
TARVEL_API int prnGetFontBold();
TARVEL_API void prnSetFontItalic(int italic);
TARVEL_API int prnGetFontItalic();
TARVEL_API void prnSetFontStrike(int strike);
TARVEL_API int prnGetFontStrike();
TARVEL_API void prnSetFontUnderline(int underline);
TARVEL_API int prnGetFontUnderline();

// Text. A text holding a line feed is a block of lines, wrapped at word
// breaks; any other text is one line. A null text measures 0 and draws
// nothing.

// The height of the text in the current unit.
TARVEL_API float prnGetTextHeight(LPCWSTR text);
// The width of the text in the current unit.
TARVEL_API float prnGetTextWidth(LPCWSTR text);
// Draws the text with its top-left corner at (x, y).
TARVEL_API void prnDrawText(LPCWSTR text, float x, float y);
// The same in the given colour; the text colour is kept.
TARVEL_API void prnDrawText(LPCWSTR text, float x, float y, COLORREF color);
// Draws the text with the given edge or centre at (x, y).
TARVEL_API void prnDrawAlignedText(LPCWSTR text, float x, float y, TextHorAlign horizontal, TextVertAlign vertical);

// Shapes: outlines with the current pen, fills with the current brush.
// Corners are used in the order given.

TARVEL_API void prnDrawLine(float x1, float y1, float x2, float y2);
TARVEL_API void prnDrawRect(float x1, float y1, float x2, float y2);
// Filled with the colour; the current brush and fill colour are kept.
TARVEL_API void prnDrawSolidRect(float x1, float y1, float x2, float y2, COLORREF color);
// width and height: the size of the ellipse that rounds the corners.
TARVEL_API void prnDrawRoundRect(float x1, float y1, float x2, float y2, float width, float height);
TARVEL_API void prnDrawEllipse(float x1, float y1, float x2, float y2);
TARVEL_API void prnDrawCircle(float x, float y, float radius);

// Pictures: any file the installed image loaders read (PNG, JPEG, BMP, GIF,
// TIFF, ...). A path starting with a backslash, or with no slash at all, is
// below the device's root folder; one starting with '/' is used as given.
// Pictures larger than 10000 x 10000 pixels are read scaled down to fit.

// The picture's size in pixels, whatever the unit; 1, or 0 (and 0 x 0) when
// the file cannot be read.
TARVEL_API int prnGetPictureSize(LPCWSTR path, float* width, float* height);
// Draws the picture at (x, y): pixel for pixel when width and height are
// both below 1 unit, else stretched to them (one of them exactly 0: that
// side follows the picture's proportions). With scale nonzero a size
// smaller than the picture shrinks both sides by the same factor, the
// smaller of size / picture size on the two sides. 1 when drawn, 0 when the
// file cannot be read or a position or size is NaN or infinite.
TARVEL_API int prnDrawPicture(LPCWSTR path, float x, float y, float width, float height, int scale);

#endif
