#pragma once

#include <cmath>
#include <cstdint>

namespace quorvane {

// The driver rounds half to even everywhere.
inline std::int64_t RoundHalfEven(double AValue) {
    return static_cast<std::int64_t>(std::nearbyint(AValue));  // the default mode is to-nearest-even
}

// Round(ANumerator / ADenominator) on the exact quotient, half to even; ADenominator > 0.
inline std::int64_t DivideRoundHalfEven(std::int64_t ANumerator, std::int64_t ADenominator) {
    std::int64_t q = ANumerator / ADenominator;
    std::int64_t r = ANumerator % ADenominator;
    if (r < 0) {  // floor division, so that the remainder is non-negative
        q -= 1;
        r += ADenominator;
    }
    if (2 * r > ADenominator || (2 * r == ADenominator && (q & 1) != 0)) ++q;
    return q;
}

}  // namespace quorvane
