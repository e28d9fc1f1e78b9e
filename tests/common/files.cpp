#include "tests/common/files.h"

#include <fstream>
#include <iterator>

namespace quorvane::test {

std::string ReadFile(const std::filesystem::path& APath) {
    std::ifstream in(APath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFolder(const std::filesystem::path& AFolder) {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(AFolder)) text += ReadFile(entry.path());
    return text;
}

}  // namespace quorvane::test
