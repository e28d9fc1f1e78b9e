#include "printer/raster_limits.h"

#include <algorithm>

namespace quorvane {

ERasterTooLarge::ERasterTooLarge(std::int64_t AWidth, std::int64_t AHeight)
    : TMessageError(TMessage::RasterTooLarge, AWidth, AHeight, kMaxRasterSide, kMaxRasterDots) {}

void CheckRasterSize(std::int64_t AWidth, std::int64_t AHeight) {
    const std::int64_t w = std::max<std::int64_t>(AWidth, 0);
    const std::int64_t h = std::max<std::int64_t>(AHeight, 0);
    // Both sides are bounded first, so the product cannot overflow.
    if (w > kMaxRasterSide || h > kMaxRasterSide || w * h > kMaxRasterDots) throw ERasterTooLarge(w, h);
}

EPictureTooLarge::EPictureTooLarge(std::int64_t AWidth, std::int64_t AHeight, std::int64_t ABoxWidth,
                                   std::int64_t ABoxHeight, std::int64_t ASide)
    : TMessageError(TMessage::PictureTooLargeForField, AWidth, AHeight, ABoxWidth, ABoxHeight, ASide) {}

TPictureLimit::TPictureLimit(std::int64_t ABoxWidth, std::int64_t ABoxHeight)
    : FBoxWidth(std::max<std::int64_t>(ABoxWidth, 0)), FBoxHeight(std::max<std::int64_t>(ABoxHeight, 0)) {
    // The box is within the raster bounds (checked before), so the product cannot overflow.
    FSide = std::max(kPictureBoxFactor * std::max(FBoxWidth, FBoxHeight), kMinPictureSide);
}

bool TPictureLimit::Allows(std::int64_t AWidth, std::int64_t AHeight) const {
    return !HasBox() || (AWidth <= FSide && AHeight <= FSide);
}

void TPictureLimit::Check(std::int64_t AWidth, std::int64_t AHeight) const {
    CheckRasterSize(AWidth, AHeight);
    if (!Allows(AWidth, AHeight)) throw EPictureTooLarge(AWidth, AHeight, FBoxWidth, FBoxHeight, FSide);
}

std::int64_t MillimetresToDots(std::int64_t AMillimetres, std::int64_t ADotInMM) {
    if (AMillimetres <= 0 || ADotInMM <= 0) return 0;
    return AMillimetres * ADotInMM;  // both come from 32-bit values: no overflow in 64 bits
}

}  // namespace quorvane
