#include "driver/document_attributes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "errors/messages.h"
#include "printer/rounding.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseInt(std::string_view AText, std::int32_t& AValue) {
    AText = TrimControls(AText);
    bool negative = false;
    if (!AText.empty() && (AText.front() == '+' || AText.front() == '-')) {
        negative = AText.front() == '-';
        AText.remove_prefix(1);
    }
    int base = 10;
    if (!AText.empty() && AText.front() == '$') {
        base = 16;
        AText.remove_prefix(1);
    } else if (AText.size() > 1 && AText[0] == '0' && (AText[1] == 'x' || AText[1] == 'X')) {
        base = 16;
        AText.remove_prefix(2);
    }
    // from_chars would accept a second sign; only digits may follow.
    if (AText.empty() || AText.front() == '-' || AText.front() == '+') return false;
    std::uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), magnitude, base);
    if (ec != std::errc() || end != AText.data() + AText.size()) return false;
    if (base == 16) {
        // Hexadecimal is a 32-bit pattern: $FFFFFFFF reads as -1.
        if (magnitude > 0xFFFFFFFFULL) return false;
        const auto bits = static_cast<std::uint32_t>(magnitude);
        const auto value = static_cast<std::int32_t>(bits);
        AValue = negative ? static_cast<std::int32_t>(0U - bits) : value;
        return true;
    }
    const std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    if (magnitude > limit) return false;
    AValue = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                      : static_cast<std::int32_t>(magnitude);
    return true;
}

bool ParseFloat(std::string_view AText, char ADecimalSeparator, double& AValue) {
    AText = TrimControls(AText);
    // Check the shape first: sign, digits, one separator, digits, optional exponent.
    std::string normal;
    normal.reserve(AText.size());
    std::size_t i = 0;
    if (i < AText.size() && (AText[i] == '+' || AText[i] == '-')) {
        if (AText[i] == '-') normal.push_back('-');
        ++i;
    }
    std::size_t digits = 0;
    while (i < AText.size() && IsDigit(AText[i])) {
        normal.push_back(AText[i++]);
        ++digits;
    }
    if (i < AText.size() && AText[i] == ADecimalSeparator) {
        normal.push_back('.');
        ++i;
        while (i < AText.size() && IsDigit(AText[i])) {
            normal.push_back(AText[i++]);
            ++digits;
        }
    }
    if (digits == 0) return false;
    if (i < AText.size() && (AText[i] == 'e' || AText[i] == 'E')) {
        normal.push_back('e');
        ++i;
        if (i < AText.size() && (AText[i] == '+' || AText[i] == '-')) normal.push_back(AText[i++]);
        std::size_t expDigits = 0;
        while (i < AText.size() && IsDigit(AText[i])) {
            normal.push_back(AText[i++]);
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    if (i != AText.size()) return false;
    double value = 0;
    auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (ec != std::errc() || end != normal.data() + normal.size() || !std::isfinite(value)) return false;
    AValue = value;
    return true;
}

std::int32_t AttrToInt(const pugi::xml_node& ANode, const char* AName, std::int32_t ADefault) {
    const pugi::xml_attribute attr = ANode.attribute(AName);
    std::int32_t value = 0;
    return attr && ParseInt(attr.value(), value) ? value : ADefault;
}

double AttrToFloat(const pugi::xml_node& ANode, const char* AName, double ADefault, char ADecimalSeparator) {
    const pugi::xml_attribute attr = ANode.attribute(AName);
    double value = 0;
    return attr && ParseFloat(attr.value(), ADecimalSeparator, value) ? value : ADefault;
}

bool AttrToBool(const pugi::xml_node& ANode, const char* AName, bool ADefault) {
    const pugi::xml_attribute attr = ANode.attribute(AName);
    if (!attr) return ADefault;
    const std::string_view text = attr.value();
    if (EqualsIgnoringAsciiCase(text, "true")) return true;
    if (EqualsIgnoringAsciiCase(text, "false")) return false;
    return ADefault;
}

std::string AttrToText(const pugi::xml_node& ANode, const char* AName) {
    return ANode.attribute(AName).value();
}

std::int32_t AttrToMillimetres(const pugi::xml_node& ANode, const char* AName, std::int32_t ADefault,
                               char ADecimalSeparator) {
    const pugi::xml_attribute attr = ANode.attribute(AName);
    double value = 0;
    if (!attr || !ParseFloat(attr.value(), ADecimalSeparator, value)) return ADefault;
    const double rounded = RoundHalfEvenDouble(value);
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max())
        return ADefault;
    return static_cast<std::int32_t>(rounded);
}

std::string DescribeNumberAttribute(const pugi::xml_node& ANode, const char* AName, char ADecimalSeparator) {
    const pugi::xml_attribute attr = ANode.attribute(AName);
    if (!attr) return Message(TMessage::AttributeMissing, AName);
    std::string text = std::string(AName) + "=\"" + attr.value() + "\"";
    const char other = ADecimalSeparator == ',' ? '.' : ',';
    double value = 0;
    if (!ParseFloat(attr.value(), ADecimalSeparator, value) && ParseFloat(attr.value(), other, value)) {
        std::string fixed = attr.value();
        std::replace(fixed.begin(), fixed.end(), other, ADecimalSeparator);
        text += " — " + Message(TMessage::DecimalSeparatorHint, ADecimalSeparator, AName, fixed);
    }
    return text;
}

}  // namespace quorvane
