#include "tests/common/base64.h"

namespace quorvane::test {

std::string Base64(std::span<const std::uint8_t> ABytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((ABytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < ABytes.size(); i += 3) {
        const std::size_t left = ABytes.size() - i;
        std::uint32_t v = static_cast<std::uint32_t>(ABytes[i]) << 16;
        if (left > 1) v |= static_cast<std::uint32_t>(ABytes[i + 1]) << 8;
        if (left > 2) v |= ABytes[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += left > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += left > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

std::string Base64(std::string_view ABytes) {
    return Base64(std::span(reinterpret_cast<const std::uint8_t*>(ABytes.data()), ABytes.size()));
}

}  // namespace quorvane::test
