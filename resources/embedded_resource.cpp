#include "resources/embedded_resource.h"

#include <algorithm>
#include <cctype>

namespace quorvane {

const EmbeddedResource* FindEmbeddedResource(std::string_view name) {
    auto same = [](std::string_view a, std::string_view b) {
        return std::ranges::equal(
            a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
    };
    for (const EmbeddedResource* r = kEmbeddedResources; r->name != nullptr; ++r) {
        if (same(r->name, name)) return r;
    }
    return nullptr;
}

}  // namespace quorvane
