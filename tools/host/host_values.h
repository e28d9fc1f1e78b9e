#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "addin/v8napi.h"
#include "tools/host/host_memory.h"

namespace quorvane::host {

// Host-side records. Texts are allocated through the host's memory manager, as the platform
// does, because the component may free or replace a text it receives.
V8Variant EmptyValue();
V8Variant IntValue(std::int32_t AValue);
V8Variant DoubleValue(double AValue);
V8Variant BoolValue(bool AValue);
V8Variant DateValue(double ADate);
V8Variant StringValue(THostMemoryManager& AManager, std::string_view AText);
// Frees the text or blob a record holds and empties it.
void ReleaseValue(THostMemoryManager& AManager, V8Variant& AValue);

// Command-line notation: "i:12", "d:3.5", "b:true", "s:text"; anything else is a string. Numbers
// use "." whatever the locale. Throws std::invalid_argument for a malformed number or boolean.
V8Variant ParseTypedValue(THostMemoryManager& AManager, std::string_view AText);
// The same notation back ("i:12", "d:3.5", "b:true", "s:text"), plus "empty", "date:<days>",
// "blob:<n> bytes", "a:<8-bit text>" and "vt:<code>" for other types.
std::string FormatTypedValue(const V8Variant& AValue);

// An array of host records that frees what is left in them when it goes.
class THostValues {
public:
    explicit THostValues(THostMemoryManager& AManager, std::size_t ACount = 0);
    ~THostValues();
    THostValues(const THostValues&) = delete;
    THostValues& operator=(const THostValues&) = delete;

    V8Variant& Add(const V8Variant& AValue);
    V8Variant& operator[](std::size_t AIndex) { return Records[AIndex]; }
    V8Variant* Data() { return Records.empty() ? nullptr : Records.data(); }
    long Count() const { return static_cast<long>(Records.size()); }
    void Clear();

    std::vector<V8Variant> Records;

private:
    THostMemoryManager& FManager;
};

}  // namespace quorvane::host
