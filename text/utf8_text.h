#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// The length of the well-formed UTF-8 sequence at ABytes' front (no overlong forms, surrogates
// or code points past U+10FFFF), or 0.
std::size_t WellFormedUtf8Length(std::string_view ABytes);

// "U+20BD" for the first character of a UTF-8 text: how a message names a character that a
// font may not show.
std::string CodePointName(std::string_view AUtf8);

}  // namespace quorvane
