#include "printer/field_object.h"

#include <array>
#include <random>

namespace quorvane {

std::string NewPlaceholderToken() {
    // Opening the system's entropy source costs more than the rest of a field, so each thread
    // seeds one generator from it (256 bits) and draws every token of its templates from that.
    thread_local std::mt19937_64 source = [] {
        std::random_device entropy;  // getrandom on Linux, rand_s on Windows
        std::array<std::uint32_t, 8> seed{};
        for (std::uint32_t& word : seed) word = entropy();
        std::seed_seq sequence(seed.begin(), seed.end());
        return std::mt19937_64(sequence);
    }();
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        const std::uint64_t word = source();
        for (std::size_t j = 0; j < 8; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
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
      Symbology(AFieldType == TFieldType::ftBarcode ? FindSymbology(BarcodeType) : nullptr),
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
