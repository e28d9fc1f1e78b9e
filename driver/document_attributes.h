#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace quorvane {

// Readers of label-document attributes. An absent attribute, or one that does not read as the
// type, gives the default.

// A decimal integer with optional sign, or hexadecimal written "$1F" / "0x1F"; leading and
// trailing blanks and control characters are ignored.
std::int32_t AttrToInt(const pugi::xml_node& ANode, const char* AName, std::int32_t ADefault);

// A decimal number, optional exponent; trimmed like AttrToInt. Both "." and "," separate the
// decimals, whatever the system's regional settings say: a document written on one machine
// prints on the next.
double AttrToFloat(const pugi::xml_node& ANode, const char* AName, double ADefault);

// "True" or "False" in any case, untrimmed.
bool AttrToBool(const pugi::xml_node& ANode, const char* AName, bool ADefault);

// The attribute's text, empty when absent.
std::string AttrToText(const pugi::xml_node& ANode, const char* AName);

// AttrToFloat rounded to whole millimetres, halves to the even neighbour. A value beyond the
// 32-bit range counts as unreadable.
std::int32_t AttrToMillimetres(const pugi::xml_node& ANode, const char* AName, std::int32_t ADefault);

// AText as whole millimetres the way AttrToMillimetres reads it; nothing when it does not read.
std::optional<std::int32_t> ParseMillimetres(std::string_view AText);

// A number attribute as written, for a message: `Left="1.5"`, or `нет атрибута Left`.
std::string DescribeNumberAttribute(const pugi::xml_node& ANode, const char* AName);

// Text-level parsers behind the readers.
bool ParseInt(std::string_view AText, std::int32_t& AValue);
bool ParseFloat(std::string_view AText, double& AValue);

}  // namespace quorvane
