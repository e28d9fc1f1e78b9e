#include "printer/mono_bitmap.h"

#include <algorithm>
#include <bit>

#include "printer/raster_limits.h"

namespace quorvane {

TMonoBitmap::TMonoBitmap(std::int32_t AWidth, std::int32_t AHeight) {
    CheckRasterSize(AWidth, AHeight);
    if (AWidth <= 0 || AHeight <= 0) return;
    FWidth = AWidth;
    FHeight = AHeight;
    FStride = (static_cast<std::size_t>(AWidth) + 7) / 8;
    FBits.assign(FStride * static_cast<std::size_t>(AHeight), 0);
}

void TMonoBitmap::FillRect(std::int32_t AX, std::int32_t AY, std::int32_t AWidth, std::int32_t AHeight,
                           bool ABlack) {
    const std::int64_t x0 = std::max<std::int64_t>(AX, 0);
    const std::int64_t y0 = std::max<std::int64_t>(AY, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{AX} + AWidth, FWidth);
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{AY} + AHeight, FHeight);
    if (x0 >= x1 || y0 >= y1) return;
    for (std::int64_t y = y0; y < y1; ++y) {
        std::uint8_t* row = Row(static_cast<std::int32_t>(y));
        std::int64_t x = x0;
        for (; x < x1 && (x & 7) != 0; ++x)
            SetPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), ABlack);
        for (; x + 8 <= x1; x += 8) row[x >> 3] = ABlack ? 0xFF : 0x00;
        for (; x < x1; ++x) SetPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), ABlack);
    }
}

std::int64_t TMonoBitmap::CountBlack() const {
    std::int64_t count = 0;
    for (std::uint8_t b : FBits) count += std::popcount(b);
    return count;
}

}  // namespace quorvane
