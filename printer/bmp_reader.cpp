#include "printer/bmp_reader.h"

#include <array>
#include <bit>
#include <limits>

#include "printer/picture_pixels.h"
#include "printer/raster_limits.h"

namespace quorvane {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

std::uint32_t U16(std::span<const std::uint8_t> ABytes, std::size_t AOffset) {
    return ABytes[AOffset] | (std::uint32_t{ABytes[AOffset + 1]} << 8);
}
std::uint32_t U32(std::span<const std::uint8_t> ABytes, std::size_t AOffset) {
    return U16(ABytes, AOffset) | (U16(ABytes, AOffset + 2) << 16);
}

// One colour channel given by a bit mask, scaled to 0..255.
struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;

    explicit TChannel(std::uint32_t AMask) : Mask(AMask) {
        if (Mask == 0) return;
        Shift = std::countr_zero(Mask);
        Max = Mask >> Shift;
    }
    std::uint32_t Of(std::uint32_t APixel) const {
        if (Max == 0) return 0;
        return ((APixel & Mask) >> Shift) * 255 / Max;
    }
};

struct TColour {
    std::uint8_t R = 255, G = 255, B = 255;
};

}  // namespace

std::optional<TMonoBitmap> ReadBmp(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit) {
    const std::size_t size = ABytes.size();
    if (size < 26 || ABytes[0] != 'B' || ABytes[1] != 'M') return std::nullopt;
    const std::uint32_t dataOffset = U32(ABytes, 10);
    const std::uint32_t headerSize = U32(ABytes, 14);
    if (headerSize < 12 || 14 + std::uint64_t{headerSize} > size) return std::nullopt;

    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t coloursUsed = 0;
    std::size_t paletteEntry = 4;
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
    std::uint64_t paletteOffset = 14 + std::uint64_t{headerSize};

    if (headerSize == 12) {  // OS/2 core header
        width = U16(ABytes, 18);
        height = static_cast<std::int16_t>(U16(ABytes, 20));
        bitCount = U16(ABytes, 24);
        paletteEntry = 3;
    } else if (headerSize >= 40) {
        width = static_cast<std::int32_t>(U32(ABytes, 18));
        height = static_cast<std::int32_t>(U32(ABytes, 22));
        bitCount = U16(ABytes, 28);
        compression = U32(ABytes, 30);
        coloursUsed = U32(ABytes, 46);
        if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
            const std::size_t maskCount = compression == kBiAlphaBitfields ? 4 : 3;
            // Version 1 headers keep the masks right after themselves; later ones inside.
            const std::uint64_t maskOffset = 14 + 40;
            if (maskOffset + 4 * maskCount > size) return std::nullopt;
            for (std::size_t i = 0; i < maskCount; ++i) masks[i] = U32(ABytes, maskOffset + 4 * i);
            if (headerSize == 40) paletteOffset += 4 * maskCount;
        }
        if (headerSize >= 56 && compression != kBiRgb) masks[3] = U32(ABytes, 14 + 52);
    } else {
        return std::nullopt;
    }

    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0) return std::nullopt;
    ALimit.Check(width, height);

    const bool masked = compression == kBiBitfields || compression == kBiAlphaBitfields;
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 24:
            if (compression != kBiRgb) return std::nullopt;
            break;
        case 16:
        case 32:
            if (compression == kBiRgb) {
                masks = bitCount == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                       : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
            } else if (!masked) {
                return std::nullopt;
            }
            break;
        default: return std::nullopt;
    }

    std::array<TColour, 256> palette{};
    std::uint32_t paletteSize = 0;
    if (bitCount <= 8) {
        paletteSize =
            coloursUsed != 0 ? std::min<std::uint32_t>(coloursUsed, 1U << bitCount) : 1U << bitCount;
        if (paletteOffset + std::uint64_t{paletteSize} * paletteEntry > size) return std::nullopt;
        for (std::uint32_t i = 0; i < paletteSize; ++i) {
            const std::size_t at = paletteOffset + i * paletteEntry;
            palette[i] = {ABytes[at + 2], ABytes[at + 1], ABytes[at]};  // stored blue, green, red
        }
    }

    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
    const std::uint64_t lastRow = (static_cast<std::uint64_t>(width) * bitCount + 7) / 8;
    if (dataOffset + stride * static_cast<std::uint64_t>(height - 1) + lastRow > size) return std::nullopt;
    const auto lastRowBytes = static_cast<std::size_t>(lastRow);  // within the data, so it fits

    const TChannel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    TMonoBitmap bitmap(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    for (std::int64_t row = 0; row < height; ++row) {
        const std::uint8_t* in = ABytes.data() + dataOffset + stride * static_cast<std::uint64_t>(row);
        const auto y = static_cast<std::int32_t>(topDown ? row : height - 1 - row);
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint32_t r = 0, g = 0, b = 0;
            if (bitCount <= 8) {
                const std::uint32_t perByte = 8 / bitCount;
                const std::uint32_t byte = in[x / perByte];
                const std::uint32_t shift = 8 - bitCount * (x % perByte + 1);
                const std::uint32_t index = (byte >> shift) & ((1U << bitCount) - 1);
                // An index past the palette reads as paper.
                const TColour colour = index < paletteSize ? palette[index] : TColour{};
                r = colour.R, g = colour.G, b = colour.B;
            } else if (bitCount == 24) {
                b = in[3 * x], g = in[3 * x + 1], r = in[3 * x + 2];
            } else {
                const std::uint32_t pixel = bitCount == 16
                                                ? U16({in, lastRowBytes}, 2 * static_cast<std::size_t>(x))
                                                : U32({in, lastRowBytes}, 4 * static_cast<std::size_t>(x));
                r = red.Of(pixel), g = green.Of(pixel), b = blue.Of(pixel);
                if (alpha.Mask != 0) {
                    const std::uint32_t a = alpha.Of(pixel);
                    r = OverWhite(r, a), g = OverWhite(g, a), b = OverWhite(b, a);
                }
            }
            if (IsDark(r, g, b)) bitmap.SetPixel(x, y, true);
        }
    }
    return bitmap;
}

}  // namespace quorvane
