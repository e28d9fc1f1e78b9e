#pragma once

#include <pango/pango.h>

#include <cstdint>
#include <mutex>
#include <span>

#include "printer/mono_bitmap.h"
#include "printer/text_layout.h"

namespace quorvane {

// Held by every use of Pango and cairo for text, on any thread. cairo 1.16 shares scaled fonts
// process-wide, even between separate font maps, and creating, drawing and freeing them on two
// threads at once crashes it now and then; so one font map serves every thread in turn.
std::mutex& TextEngineLock();

// One laid-out line to draw: its left edge and baseline in whole dots, in the coordinates
// that the translation (AX, AY) of DrawLineGlyphs moves to the target.
struct TShownLine {
    PangoLayoutLine* Line = nullptr;
    std::int32_t Left = 0;
    std::int32_t Baseline = 0;
};

// Draws the glyphs of ALines into ATarget, ORed in and clipped to AClip, dot for dot as cairo
// shows them on a one-bit surface, but from glyph images rasterised once and kept: cairo
// composites one-bit glyphs through a general path that costs far more than the copy.
// Runs under TextEngineLock. Returns false, having drawn nothing, when a line needs more than plain glyphs (a
// box for a missing glyph, a line decoration, a font too large to keep), so that cairo draws it.
bool DrawLineGlyphs(std::span<const TShownLine> ALines, std::int32_t AX, std::int32_t AY,
                    TMonoBitmap& ATarget, const TDotRect& AClip);

}  // namespace quorvane
