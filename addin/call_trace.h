#pragma once

#include <span>
#include <string>

#include "addin/v8napi.h"

namespace quorvane {

// Rendering of host values for the call trace in the driver log, by the full vt (flags
// included). 0 empty, 3 integer, 5 double and 7 date-time in the process's regional format,
// 11 "True"/"False", 22 the text, 9 "Interface", 23 "BLOB"; anything else throws
// std::runtime_error("Unsupported data type").
std::string RenderValue(const V8Variant& V);
// "[" + rendered values joined by "; " + "]".
std::string RenderParams(std::span<const V8Variant> AParams);
// Throws exactly when RenderValue would, without building any text.
void CheckRenderable(const V8Variant& V);

}  // namespace quorvane
