#include "printer/tspl/bitmap_command.h"

#include <charconv>

#include "text/ascii_text.h"

namespace quorvane {

namespace {

// Reads the decimal number at AText's front (blanks around it allowed) and the character after
// it, which must be ','.
std::optional<std::int64_t> TakeNumberAndComma(std::string_view& AText) {
    auto skipBlanks = [&AText] {
        while (!AText.empty() && AText.front() == ' ') AText.remove_prefix(1);
    };
    skipBlanks();
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
    if (ec != std::errc() || value < 0) return std::nullopt;
    AText.remove_prefix(static_cast<std::size_t>(end - AText.data()));
    skipBlanks();
    if (AText.empty() || AText.front() != ',') return std::nullopt;
    AText.remove_prefix(1);
    return value;
}

}  // namespace

std::string BitmapCommand(std::int64_t AX, std::int64_t AY, std::int64_t AWidthBytes, std::int64_t AHeight,
                          TBitmapMode AMode, std::string_view AData) {
    std::string line = "BITMAP " + std::to_string(AX) + "," + std::to_string(AY) + "," +
                       std::to_string(AWidthBytes) + "," + std::to_string(AHeight) + "," +
                       std::to_string(static_cast<int>(AMode)) + ",";
    line += AData;
    return line;
}

std::string BitmapData(const TMonoBitmap& ABitmap) {
    const std::size_t rowBytes = static_cast<std::size_t>(ABitmap.Width()) / 8;
    std::string bytes(rowBytes * static_cast<std::size_t>(ABitmap.Height()), '\0');
    char* out = bytes.data();
    for (std::int32_t y = 0; y < ABitmap.Height(); ++y) {
        const std::uint8_t* row = ABitmap.Row(y);
        // The raster keeps ink as set bits; the printer wants white as set bits.
        for (std::size_t x = 0; x < rowBytes; ++x) *out++ = static_cast<char>(~row[x]);
    }
    return bytes;
}

std::string BlankBitmapData(std::int64_t AWidthBytes, std::int64_t AHeight) {
    return std::string(static_cast<std::size_t>(AWidthBytes * AHeight), '\xFF');
}

std::optional<TBitmapHead> ParseBitmapHead(std::string_view ALine) {
    constexpr std::string_view kBitmap = "BITMAP ";
    if (ALine.size() < kBitmap.size() || !EqualsIgnoringAsciiCase(ALine.substr(0, kBitmap.size()), kBitmap))
        return std::nullopt;
    std::string_view rest = ALine.substr(kBitmap.size());
    std::int64_t numbers[5] = {};
    for (std::int64_t& number : numbers) {
        const auto value = TakeNumberAndComma(rest);
        if (!value) return std::nullopt;
        number = *value;
    }
    const std::int64_t widthBytes = numbers[2];
    const std::int64_t height = numbers[3];
    if (height != 0 && widthBytes > INT64_MAX / height) return std::nullopt;
    return TBitmapHead{ALine.size() - rest.size(), widthBytes * height, numbers[0], numbers[1], widthBytes,
                       height, numbers[4]};
}

}  // namespace quorvane
