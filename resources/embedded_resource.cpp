#include "resources/embedded_resource.h"

#include "text/ascii_text.h"

namespace quorvane {

const EmbeddedResource* FindEmbeddedResource(std::string_view name) {
    for (const EmbeddedResource* r = kEmbeddedResources; r->name != nullptr; ++r) {
        if (EqualsIgnoringAsciiCase(r->name, name)) return r;
    }
    return nullptr;
}

}  // namespace quorvane
