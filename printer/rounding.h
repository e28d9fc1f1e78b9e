#pragma once

#include <cmath>
#include <cstdint>

namespace quorvane {

// The driver rounds half to even everywhere: 2.5 gives 2, 3.5 gives 4.

// Not std::nearbyint: that follows the current rounding mode, which the host process may have
// changed. Integral values and NaN come back unchanged.
inline double RoundHalfEvenDouble(double AValue) {
    const double floor = std::floor(AValue);
    const double diff = AValue - floor;
    if (diff < 0.5) return floor;
    if (diff > 0.5) return floor + 1;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// AValue must round into the range of std::int64_t.
inline std::int64_t RoundHalfEven(double AValue) {
    return static_cast<std::int64_t>(RoundHalfEvenDouble(AValue));
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
