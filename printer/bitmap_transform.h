#pragma once

#include <cstdint>

#include "printer/field_object.h"
#include "printer/mono_bitmap.h"

namespace quorvane {

// Clockwise quarter-turns; r90 and r270 exchange width and height.
void RotateBitmap(TMonoBitmap& ABitmap, TRotation ARotation);

// Scales the raster to exactly AWidth x AHeight dots (nearest pixel), ignoring proportions.
void StretchBitmap(TMonoBitmap& ABitmap, std::int32_t AWidth, std::int32_t AHeight);

// Scales the raster into AWidth x AHeight keeping its proportions; smaller rasters grow.
void FitBitmap(TMonoBitmap& ABitmap, std::int32_t AWidth, std::int32_t AHeight);

}  // namespace quorvane
