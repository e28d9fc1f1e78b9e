#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "errors/messages.h"

namespace quorvane {

// Documents and pictures are untrusted: no raster may grow beyond these bounds.
inline constexpr std::int64_t kMaxRasterSide = 16384;
inline constexpr std::int64_t kMaxRasterDots = std::int64_t{64} * 1024 * 1024;

// A raster (label, field box or picture) larger than the bounds.
class ERasterTooLarge : public TMessageError {
public:
    ERasterTooLarge(std::int64_t AWidth, std::int64_t AHeight);
};

// Throws ERasterTooLarge when AWidth x AHeight dots exceed the bounds. Negative sizes count as 0.
void CheckRasterSize(std::int64_t AWidth, std::int64_t AHeight);

// A decoded picture is scaled into its field's box; one much larger than the box costs memory
// in proportion to its declared size and adds nothing to the print. A picture may have at most
// this many times the box's larger side in dots per side, and never less than kMinPictureSide.
inline constexpr std::int64_t kPictureBoxFactor = 4;
inline constexpr std::int64_t kMinPictureSide = 2048;

// A picture whose declared size exceeds what its field's box can use.
class EPictureTooLarge : public TMessageError {
public:
    EPictureTooLarge(std::int64_t AWidth, std::int64_t AHeight, std::int64_t ABoxWidth, std::int64_t ABoxHeight,
                     std::int64_t ASide);
};

// How large a decoded picture may be. Without a box only the raster bounds apply; with one, the
// box (in dots, as the picture stands before it is turned) also bounds each side.
class TPictureLimit {
public:
    TPictureLimit() = default;
    TPictureLimit(std::int64_t ABoxWidth, std::int64_t ABoxHeight);

    bool HasBox() const { return FSide > 0; }
    std::int64_t BoxWidth() const { return FBoxWidth; }
    std::int64_t BoxHeight() const { return FBoxHeight; }
    // The largest side allowed; 0 without a box.
    std::int64_t Side() const { return FSide; }

    // Whether a picture of that size may be decoded at that size.
    bool Allows(std::int64_t AWidth, std::int64_t AHeight) const;
    // Throws ERasterTooLarge beyond the raster bounds, EPictureTooLarge beyond the box's limit.
    void Check(std::int64_t AWidth, std::int64_t AHeight) const;

private:
    std::int64_t FBoxWidth = 0;
    std::int64_t FBoxHeight = 0;
    std::int64_t FSide = 0;
};

// Millimetres to dots in 64-bit arithmetic; negative sizes give 0.
std::int64_t MillimetresToDots(std::int64_t AMillimetres, std::int64_t ADotInMM);

}  // namespace quorvane
