#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane {

// A one-bit raster. Rows are packed, the most significant bit is the leftmost pixel and a set
// bit is black (ink); the unused bits at the end of a row stay clear. A new raster is white.
class TMonoBitmap {
public:
    TMonoBitmap() = default;
    // Throws ERasterTooLarge beyond the raster bounds; negative sizes give an empty raster.
    TMonoBitmap(std::int32_t AWidth, std::int32_t AHeight);

    std::int32_t Width() const { return FWidth; }
    std::int32_t Height() const { return FHeight; }
    std::size_t Stride() const { return FStride; }
    bool Empty() const { return FWidth == 0 || FHeight == 0; }

    bool Pixel(std::int32_t AX, std::int32_t AY) const {
        return (FBits[static_cast<std::size_t>(AY) * FStride + static_cast<std::size_t>(AX >> 3)] >>
                (7 - (AX & 7))) &
               1U;
    }
    void SetPixel(std::int32_t AX, std::int32_t AY, bool ABlack) {
        std::uint8_t& b = FBits[static_cast<std::size_t>(AY) * FStride + static_cast<std::size_t>(AX >> 3)];
        const auto mask = static_cast<std::uint8_t>(0x80U >> (AX & 7));
        b = ABlack ? static_cast<std::uint8_t>(b | mask) : static_cast<std::uint8_t>(b & ~mask);
    }
    std::uint8_t* Row(std::int32_t AY) { return FBits.data() + static_cast<std::size_t>(AY) * FStride; }
    const std::uint8_t* Row(std::int32_t AY) const {
        return FBits.data() + static_cast<std::size_t>(AY) * FStride;
    }

    // Clips to the raster.
    void FillRect(std::int32_t AX, std::int32_t AY, std::int32_t AWidth, std::int32_t AHeight, bool ABlack);
    void Fill(bool ABlack) { FillRect(0, 0, FWidth, FHeight, ABlack); }
    std::int64_t CountBlack() const;

    bool operator==(const TMonoBitmap&) const = default;

private:
    std::int32_t FWidth = 0;
    std::int32_t FHeight = 0;
    std::size_t FStride = 0;
    std::vector<std::uint8_t> FBits;
};

}  // namespace quorvane
