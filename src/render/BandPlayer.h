// Band playback: draws the recorded page into one band of pixels.
#pragma once

#include "render/RecordingState.h"

namespace tarvel::render {

// Sets the four values every band starts from: R2_COPYPEN, black text,
// white background, OPAQUE background mode.
void ResetBandState(HDC dc);

// Draws the DisplayList into target, a device context holding a 24-bit
// bitmap of width x height pixels, for the band whose upper-left page pixel
// is (left, top). The walk ends before record stopIndex (-1: the whole
// list). While it runs the target stands in slot 0 for the printer DC;
// slot 0 and the target's viewport origin are as before when it returns.
// Nothing is drawn when there is no printer DC.
void PlayBand(RecordingState& state, HDC target, int left, int top, int width, int height, std::int64_t stopIndex);

}  // namespace tarvel::render
