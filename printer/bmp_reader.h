#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "printer/mono_bitmap.h"
#include "printer/raster_limits.h"

namespace quorvane {

// Windows bitmaps: 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or with bit-field masks,
// bottom-up or top-down, all header versions. std::nullopt when the data are malformed or use a
// compression we do not read; ERasterTooLarge (or EPictureTooLarge beyond ALimit) when the
// header declares too many pixels.
std::optional<TMonoBitmap> ReadBmp(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit = {});

}  // namespace quorvane
