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
    // Whole bytes in the middle, masks for the partial bytes at either end.
    const auto first = static_cast<std::size_t>(x0 >> 3);
    const auto last = static_cast<std::size_t>((x1 - 1) >> 3);
    const auto firstMask = static_cast<std::uint8_t>(0xFFU >> (x0 & 7));
    const auto lastMask = static_cast<std::uint8_t>(0xFFU << (7 - ((x1 - 1) & 7)));
    const auto apply = [ABlack](std::uint8_t& AByte, std::uint8_t AMask) {
        AByte = ABlack ? static_cast<std::uint8_t>(AByte | AMask) : static_cast<std::uint8_t>(AByte & ~AMask);
    };
    for (std::int64_t y = y0; y < y1; ++y) {
        std::uint8_t* row = Row(static_cast<std::int32_t>(y));
        if (first == last) {
            apply(row[first], static_cast<std::uint8_t>(firstMask & lastMask));
            continue;
        }
        apply(row[first], firstMask);
        std::fill(row + first + 1, row + last, ABlack ? std::uint8_t{0xFF} : std::uint8_t{0});
        apply(row[last], lastMask);
    }
}

std::int64_t TMonoBitmap::CountBlack() const {
    std::int64_t count = 0;
    for (std::uint8_t b : FBits) count += std::popcount(b);
    return count;
}

}  // namespace quorvane
