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

// Millimetres to dots in 64-bit arithmetic; negative sizes give 0.
std::int64_t MillimetresToDots(std::int64_t AMillimetres, std::int64_t ADotInMM);

}  // namespace quorvane
