#include "printer/bitmap_transform.h"

#include <vector>

namespace quorvane {

void RotateBitmap(TMonoBitmap& ABitmap, TRotation ARotation) {
    if (ARotation == TRotation::r0 || ABitmap.Empty()) return;
    const std::int32_t w = ABitmap.Width();
    const std::int32_t h = ABitmap.Height();
    const bool quarter = ARotation == TRotation::r90 || ARotation == TRotation::r270;
    TMonoBitmap turned(quarter ? h : w, quarter ? w : h);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = ABitmap.Row(y);
        for (std::int32_t xb = 0; xb < static_cast<std::int32_t>(ABitmap.Stride()); ++xb) {
            if (row[xb] == 0) continue;  // rasters are mostly white
            for (std::int32_t bit = 0; bit < 8; ++bit) {
                if (((row[xb] >> (7 - bit)) & 1U) == 0) continue;
                const std::int32_t x = xb * 8 + bit;
                switch (ARotation) {
                    case TRotation::r90: turned.SetPixel(h - 1 - y, x, true); break;
                    case TRotation::r180: turned.SetPixel(w - 1 - x, h - 1 - y, true); break;
                    default: turned.SetPixel(y, w - 1 - x, true); break;
                }
            }
        }
    }
    ABitmap = std::move(turned);
}

void StretchBitmap(TMonoBitmap& ABitmap, std::int32_t AWidth, std::int32_t AHeight) {
    TMonoBitmap stretched(AWidth, AHeight);
    if (stretched.Empty() || ABitmap.Empty()) {
        ABitmap = std::move(stretched);
        return;
    }
    const std::int64_t sw = ABitmap.Width();
    const std::int64_t sh = ABitmap.Height();
    // Each target pixel takes the source pixel under its centre.
    std::vector<std::int32_t> column(static_cast<std::size_t>(AWidth));
    for (std::int64_t x = 0; x < AWidth; ++x)
        column[static_cast<std::size_t>(x)] = static_cast<std::int32_t>((2 * x + 1) * sw / (2 * AWidth));
    std::int32_t previous = -1;
    for (std::int64_t y = 0; y < AHeight; ++y) {
        const auto sy = static_cast<std::int32_t>((2 * y + 1) * sh / (2 * AHeight));
        std::uint8_t* out = stretched.Row(static_cast<std::int32_t>(y));
        if (sy == previous) {  // enlarging: repeat the row just made
            const std::uint8_t* above = stretched.Row(static_cast<std::int32_t>(y - 1));
            std::copy(above, above + stretched.Stride(), out);
            continue;
        }
        previous = sy;
        for (std::int32_t x = 0; x < AWidth; ++x)
            if (ABitmap.Pixel(column[static_cast<std::size_t>(x)], sy))
                stretched.SetPixel(x, static_cast<std::int32_t>(y), true);
    }
    ABitmap = std::move(stretched);
}

void FitBitmap(TMonoBitmap& ABitmap, std::int32_t AWidth, std::int32_t AHeight) {
    const std::int64_t sw = ABitmap.Width();
    const std::int64_t sh = ABitmap.Height();
    if (sw == 0 || sh == 0 || AWidth <= 0 || AHeight <= 0) {
        StretchBitmap(ABitmap, AWidth, AHeight);
        return;
    }
    std::int64_t w = AWidth;
    std::int64_t h = AHeight;
    // sw / AWidth > sh / AHeight, compared without rounding
    if (sw * AHeight > sh * AWidth)
        h = AWidth * sh / sw;
    else
        w = AHeight * sw / sh;
    StretchBitmap(ABitmap, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h));
}

}  // namespace quorvane
