// Band playback: draws the recorded page into one band of pixels.
//
// A band shows exactly what drawing the page's calls on one bitmap of the
// whole page would show in that area, whatever the band's size and place.
#pragma once

#include "render/RecordingState.h"

#include <functional>
#include <optional>

namespace tarvel::render {

// Sets the four values every band starts from: R2_COPYPEN, black text,
// white background, OPAQUE background mode.
void ResetBandState(HDC dc);

// Asked between records while a band is drawn (not after every one: it may
// pump messages); false stops the drawing and leaves the band incomplete.
using KeepPlaying = std::function<bool()>;

// Draws the DisplayList into target, a device context holding a 24-bit
// bitmap (or a one-bit one for a bilevel page, see PageIsBilevel) that
// covers band (page coordinates; its pixel (0, 0) is the band's
// upper-left corner). Copies from the page onto itself see the page as it
// stood before them, and nothing outside page, as on one bitmap of the
// whole page. The target starts each band as a new printer DC does (the
// values of ResetBandState, the stock pen, brush and font); memory device
// contexts start from their bitmap, colours and modes as the page found
// them, draw on working copies of their bitmaps, so no band sees what an
// earlier one drew, and hold again what they held before when it returns. Earlier page state is kept only for
// the areas the band's copies read, within the page; when that is a lot,
// the band is drawn in parts. While it runs the target stands in slot 0 for the printer DC;
// slot 0 and the target's viewport origin are as before when it returns.
// Nothing is drawn when there is no printer DC. False when keepPlaying
// stopped it.
bool PlayBand(RecordingState& state, HDC target, const RECT& page, const RECT& band,
              const KeepPlaying& keepPlaying = {});

// The same for the band whose upper-left page pixel is (left, top), on a
// page without a far edge, ending the walk before record stopIndex (-1: the
// whole list).
void PlayBand(RecordingState& state, HDC target, int left, int top, int width, int height, std::int64_t stopIndex);

// True when every record of the page draws on the printer DC in black and
// white only: colours, pens and solid brushes of pure black or white,
// hollow brushes, any mix mode, no copies. Raster operations are bitwise,
// so such a page played on a one-bit band whose palette is black (0) and
// white (1) holds exactly the pixels a 24-bit band would.
bool PageIsBilevel(const RecordingState& state);

namespace hooks {
// Test hook: the most pixels of earlier page state a band may keep before it
// is drawn in parts (nullopt: the built-in budget).
void LimitPageStatePixels(std::optional<std::int64_t> pixels);
}  // namespace hooks

}  // namespace tarvel::render
