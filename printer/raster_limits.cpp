#include "printer/raster_limits.h"

#include <algorithm>

namespace quorvane {

namespace {

std::string LimitMessage(std::int64_t AWidth, std::int64_t AHeight) {
    return "Слишком большое изображение: " + std::to_string(AWidth) + " x " + std::to_string(AHeight) +
           " точек (допустимо не более " + std::to_string(kMaxRasterSide) + " точек по стороне и " +
           std::to_string(kMaxRasterDots) + " точек всего)";
}

}  // namespace

ERasterTooLarge::ERasterTooLarge(std::int64_t AWidth, std::int64_t AHeight)
    : std::runtime_error(LimitMessage(AWidth, AHeight)) {}

void CheckRasterSize(std::int64_t AWidth, std::int64_t AHeight) {
    const std::int64_t w = std::max<std::int64_t>(AWidth, 0);
    const std::int64_t h = std::max<std::int64_t>(AHeight, 0);
    // Both sides are bounded first, so the product cannot overflow.
    if (w > kMaxRasterSide || h > kMaxRasterSide || w * h > kMaxRasterDots) throw ERasterTooLarge(w, h);
}

std::int64_t MillimetresToDots(std::int64_t AMillimetres, std::int64_t ADotInMM) {
    if (AMillimetres <= 0 || ADotInMM <= 0) return 0;
    return AMillimetres * ADotInMM;  // both come from 32-bit values: no overflow in 64 bits
}

}  // namespace quorvane
