#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "printer/mono_bitmap.h"

namespace quorvane::test {

// The smallest rectangle holding every black pixel; Empty when there is none.
struct TInkBox {
    std::int32_t Left = 0, Top = 0, Right = -1, Bottom = -1;  // inclusive
    bool Empty() const { return Right < Left; }
    std::int32_t Width() const { return Right - Left + 1; }
    std::int32_t Height() const { return Bottom - Top + 1; }
};

inline TInkBox InkBox(const TMonoBitmap& ABitmap) {
    TInkBox box{ABitmap.Width(), ABitmap.Height(), -1, -1};
    for (std::int32_t y = 0; y < ABitmap.Height(); ++y)
        for (std::int32_t x = 0; x < ABitmap.Width(); ++x)
            if (ABitmap.Pixel(x, y)) {
                box.Left = std::min(box.Left, x);
                box.Right = std::max(box.Right, x);
                box.Top = std::min(box.Top, y);
                box.Bottom = std::max(box.Bottom, y);
            }
    if (box.Right < 0) return {};
    return box;
}

// Bands of consecutive rows that hold ink: the lines of a text.
inline int InkBands(const TMonoBitmap& ABitmap) {
    int bands = 0;
    bool previous = false;
    for (std::int32_t y = 0; y < ABitmap.Height(); ++y) {
        bool ink = false;
        for (std::int32_t x = 0; x < ABitmap.Width() && !ink; ++x) ink = ABitmap.Pixel(x, y);
        if (ink && !previous) ++bands;
        previous = ink;
    }
    return bands;
}

// For a failing test's message.
inline std::string Ascii(const TMonoBitmap& ABitmap) {
    std::string text;
    for (std::int32_t y = 0; y < ABitmap.Height(); ++y) {
        for (std::int32_t x = 0; x < ABitmap.Width(); ++x) text += ABitmap.Pixel(x, y) ? '#' : '.';
        text += '\n';
    }
    return text;
}

}  // namespace quorvane::test
