#pragma once

#include <cstdint>

namespace quorvane {

// The nearer of black and white for a colour: white when r + g + b is at least 383, the middle
// of 0 and 3 x 255. A grey value is white from 128 on.
inline bool IsDark(std::uint32_t AR, std::uint32_t AG, std::uint32_t AB) { return AR + AG + AB < 383; }

// A channel of a pixel with coverage AAlpha laid over white paper.
inline std::uint32_t OverWhite(std::uint32_t AChannel, std::uint32_t AAlpha) {
    return (AChannel * AAlpha + 255 * (255 - AAlpha) + 127) / 255;
}

}  // namespace quorvane
