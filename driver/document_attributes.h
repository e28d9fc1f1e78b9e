#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace quorvane {

// Readers of label-document attributes. An absent attribute, or one that does not read as the
// type, gives the default.

// A decimal integer with optional sign, or hexadecimal written "$1F" / "0x1F"; leading and
// trailing blanks and control characters are ignored.
std::int32_t AttrToInt(const pugi::xml_node& ANode, const char* AName, std::int32_t ADefault);

// A decimal number whose separator is ADecimalSeparator, optional exponent; trimmed like
// AttrToInt. Any other separator makes the value unreadable.
double AttrToFloat(const pugi::xml_node& ANode, const char* AName, double ADefault, char ADecimalSeparator);

// "True" or "False" in any case, untrimmed.
bool AttrToBool(const pugi::xml_node& ANode, const char* AName, bool ADefault);

// The attribute's text, empty when absent.
std::string AttrToText(const pugi::xml_node& ANode, const char* AName);

// AttrToFloat rounded to whole millimetres, halves to the even neighbour. A value beyond the
// 32-bit range counts as unreadable.
std::int32_t AttrToMillimetres(const pugi::xml_node& ANode, const char* AName, std::int32_t ADefault,
                               char ADecimalSeparator);

// A number attribute as written, for a message: `Left="1.5"`, or `нет атрибута Left`. A value
// that reads with the other decimal separator says which one the system expects.
std::string DescribeNumberAttribute(const pugi::xml_node& ANode, const char* AName, char ADecimalSeparator);

// Text-level parsers behind the readers.
bool ParseInt(std::string_view AText, std::int32_t& AValue);
bool ParseFloat(std::string_view AText, char ADecimalSeparator, double& AValue);

// The decimal separator of the user's regional settings (LC_ALL, LC_NUMERIC, LANG; on Windows the
// user's locale), whatever locale the host process itself has selected.
char UserDecimalSeparator();

}  // namespace quorvane
