#include "tests/common/bmp_fixture.h"

namespace quorvane::test {

std::array<std::uint8_t, 4> HalfBlack(int x, int, int width) {
    const std::uint8_t v = x < width / 2 ? 0 : 255;
    return {v, v, v, 255};
}

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

Bytes MakeBmp(int ABits, int AWidth, int AHeight, bool ATopDown, const PixelFn& APixel, bool AWithAlpha) {
    const std::uint32_t headerSize = AWithAlpha ? 124 : 40;
    const std::uint32_t paletteSize = ABits <= 8 ? (1U << ABits) : 0;
    const std::size_t stride = (static_cast<std::size_t>(AWidth) * ABits + 31) / 32 * 4;
    const std::uint32_t offset = 14 + headerSize + paletteSize * 4;
    Bytes b(offset + stride * static_cast<std::size_t>(AHeight), 0);
    b[0] = 'B', b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, offset);
    Put32(b, 14, headerSize);
    Put32(b, 18, static_cast<std::uint32_t>(AWidth));
    Put32(b, 22, static_cast<std::uint32_t>(ATopDown ? -AHeight : AHeight));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<std::uint32_t>(ABits));
    if (AWithAlpha) {
        Put32(b, 30, 3);
        Put32(b, 54, 0x00FF0000), Put32(b, 58, 0x0000FF00), Put32(b, 62, 0x000000FF),
            Put32(b, 66, 0xFF000000);
    }
    for (std::uint32_t i = 0; i < paletteSize; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (paletteSize - 1));
        b[14 + headerSize + 4 * i] = b[14 + headerSize + 4 * i + 1] = b[14 + headerSize + 4 * i + 2] = v;
    }
    for (int row = 0; row < AHeight; ++row) {
        const int y = ATopDown ? row : AHeight - 1 - row;
        std::uint8_t* out = &b[offset + stride * static_cast<std::size_t>(row)];
        for (int x = 0; x < AWidth; ++x) {
            const auto p = APixel(x, y);
            if (ABits <= 8) {
                const std::uint32_t index = p[0] * (paletteSize - 1) / 255;
                const int perByte = 8 / ABits;
                out[x / perByte] |= static_cast<std::uint8_t>(index << (8 - ABits * (x % perByte + 1)));
            } else if (ABits == 24) {
                out[3 * x] = p[2], out[3 * x + 1] = p[1], out[3 * x + 2] = p[0];
            } else {
                out[4 * x] = p[2], out[4 * x + 1] = p[1], out[4 * x + 2] = p[0], out[4 * x + 3] = p[3];
            }
        }
    }
    return b;
}

Bytes HalfBlackBmp(int AWidth, int AHeight) {
    return MakeBmp(24, AWidth, AHeight, false, [AWidth](int x, int y) { return HalfBlack(x, y, AWidth); });
}

}  // namespace quorvane::test
