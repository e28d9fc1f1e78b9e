#pragma once

#include <cstddef>
#include <string_view>

namespace quorvane {

// One file compiled into the library (see quorvane_resources in cmake/Quorvane.cmake).
struct EmbeddedResource {
    const char* name;
    const unsigned char* data;  // followed by one zero byte
    std::size_t size;
};

// Table generated at build time, ended by an entry whose name is null.
extern const EmbeddedResource kEmbeddedResources[];

// The resource named `name`, compared ignoring ASCII case; null when there is none.
const EmbeddedResource* FindEmbeddedResource(std::string_view name);

}  // namespace quorvane
