#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvane::test {

// Standard Base64 with padding, no line breaks: how a picture arrives in a label document.
std::string Base64(std::span<const std::uint8_t> ABytes);
std::string Base64(std::string_view ABytes);

}  // namespace quorvane::test
