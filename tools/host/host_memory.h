#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>

#include "addin/v8napi.h"

namespace quorvane::host {

// The host's memory manager. It owns every block it hands out and counts what comes back, so
// tests can prove that each text the component gave the host came from here and that nothing is
// freed twice or freed without having been allocated here.
class THostMemoryManager final : public TV8MemoryManager {
public:
#if defined(_WIN32)
    // The table's first slot; the session owns this object, so the component never deletes it.
    void* ScalarDeletingDestructor(unsigned) override { return this; }
#endif
    bool AllocMemory(void** pMemory, unsigned long ulCountByte) override;
    void FreeMemory(void** pMemory) override;

    long Allocations() const { return FAllocations; }
    long Frees() const { return FFrees; }
    // Frees of a pointer that is not a live block of this manager (double or foreign frees).
    long BadFrees() const { return FBadFrees; }
    std::size_t LiveBlocks() const { return FBlocks.size(); }
    bool Owns(const void* ABlock) const { return FBlocks.count(const_cast<void*>(ABlock)) != 0; }
    // Size of a live block, 0 for anything else.
    std::size_t BlockSize(const void* ABlock) const;

    // While set, AllocMemory fails as a host without memory would.
    bool FailAllocations = false;

private:
    struct TBlock {
        std::unique_ptr<unsigned char[]> Data;
        std::size_t Size;
    };
    std::unordered_map<void*, TBlock> FBlocks;
    long FAllocations = 0;
    long FFrees = 0;
    long FBadFrees = 0;
};

}  // namespace quorvane::host
