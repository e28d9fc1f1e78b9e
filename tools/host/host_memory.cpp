#include "tools/host/host_memory.h"

namespace quorvane::host {

bool THostMemoryManager::AllocMemory(void** pMemory, unsigned long ulCountByte) {
    if (pMemory == nullptr) return false;
    if (FailAllocations) {
        *pMemory = nullptr;
        return false;
    }
    // Zero-filled, and never a zero-size block, so every success is a distinct pointer.
    auto data = std::make_unique<unsigned char[]>(ulCountByte == 0 ? 1 : ulCountByte);
    void* address = data.get();
    FBlocks.emplace(address, TBlock{std::move(data), ulCountByte});
    ++FAllocations;
    *pMemory = address;
    return true;
}

void THostMemoryManager::FreeMemory(void** pMemory) {
    if (pMemory == nullptr || *pMemory == nullptr) return;
    auto found = FBlocks.find(*pMemory);
    if (found == FBlocks.end()) {
        ++FBadFrees;
        return;
    }
    FBlocks.erase(found);
    ++FFrees;
    *pMemory = nullptr;
}

std::size_t THostMemoryManager::BlockSize(const void* ABlock) const {
    auto found = FBlocks.find(const_cast<void*>(ABlock));
    return found == FBlocks.end() ? 0 : found->second.Size;
}

}  // namespace quorvane::host
