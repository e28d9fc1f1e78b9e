#pragma once

#include <filesystem>
#include <string>

namespace quorvane::test {

// The whole file as bytes; "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& APath);

// Every file of the folder, one after another (the log folder's day files, for one).
std::string ReadFolder(const std::filesystem::path& AFolder);

}  // namespace quorvane::test
