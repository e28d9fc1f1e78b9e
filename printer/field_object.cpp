#include "printer/field_object.h"

#include <array>
#include <random>

namespace quorvane {

std::string NewPlaceholderToken() {
    // random_device reads the system's entropy source (getrandom on Linux, rand_s on Windows).
    std::random_device source;
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t word = source();
        for (std::size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant

    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string token;
    token.reserve(38);
    token += '{';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) token += '-';
        token += kHex[bytes[i] >> 4];
        token += kHex[bytes[i] & 0x0F];
    }
    token += '}';
    return token;
}

TFieldObject::TFieldObject(TFieldType AFieldType, std::string AFieldValue, std::int32_t AWidth,
                           std::int32_t AHeight, std::int32_t ALeft, std::int32_t ATop,
                           std::int32_t AOrientation, std::int32_t AFontSize, std::string AFontName,
                           std::string AFontStyle, std::string AAlign, std::string AVAlign, bool AMultiline,
                           bool AIsStatic, std::string ABarcodeType)
    : FieldType(AFieldType),
      FieldValue(std::move(AFieldValue)),
      BarcodeType(std::move(ABarcodeType)),
      Left(ALeft),
      Top(ATop),
      Width(AWidth),
      Height(AHeight),
      Orientation(AOrientation),
      FontSize(AFontSize),
      FontName(std::move(AFontName)),
      FontStyle(std::move(AFontStyle)),
      Align(std::move(AAlign)),
      VAlign(std::move(AVAlign)),
      Multiline(AMultiline),
      IsStatic(AIsStatic) {}

}  // namespace quorvane
