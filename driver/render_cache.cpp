#include "driver/render_cache.h"

namespace quorvane {

namespace {

constexpr std::size_t kCounterBits = 20;  // 1 MiB of counters
constexpr std::size_t kCounters = std::size_t{1} << kCounterBits;

}  // namespace

TRenderCache::TRenderCache(std::size_t ABudgetBytes)
    : FBudget(ABudgetBytes), FCounts(std::make_unique<std::atomic<std::uint8_t>[]>(kCounters)) {}

std::size_t TRenderCache::Hash(std::size_t AField, std::string_view AValue) {
    return std::hash<std::string_view>()(AValue) ^ (AField * 0x9E3779B97F4A7C15ULL);
}

void TRenderCache::Count(std::size_t AField, std::string_view AValue) {
    std::atomic<std::uint8_t>& count = FCounts[Hash(AField, AValue) & (kCounters - 1)];
    std::uint8_t seen = count.load(std::memory_order_relaxed);
    while (seen < 2 && !count.compare_exchange_weak(seen, static_cast<std::uint8_t>(seen + 1),
                                                    std::memory_order_relaxed)) {
    }
}

bool TRenderCache::Repeats(std::size_t AHash) const {
    return FCounts[AHash & (kCounters - 1)].load(std::memory_order_relaxed) >= 2;
}

std::string TRenderCache::Value(std::size_t AField, std::string_view AValue,
                                const std::function<std::string()>& ARender,
                                const std::function<bool()>& AKeepable) {
    const std::size_t hash = Hash(AField, AValue);
    const bool repeats = Repeats(hash);
    TKey key{AField, std::string(repeats ? AValue : std::string_view())};
    if (repeats) {
        const std::lock_guard lock(FLock);
        if (const auto found = FEntries.find(key); found != FEntries.end()) return *found->second;
    }
    std::string rendered = ARender();
    FRenders.fetch_add(1, std::memory_order_relaxed);
    const std::size_t size = key.Value.size() + rendered.size();
    // One entry may take an eighth of the room at most: huge one-offs would only churn it.
    if (!repeats || size > FBudget / 8 || (AKeepable && !AKeepable())) return rendered;
    auto entry = std::make_shared<const std::string>(rendered);
    const std::lock_guard lock(FLock);
    const auto [added, isNew] = FEntries.emplace(std::move(key), std::move(entry));
    if (!isNew) return rendered;      // another thread was quicker
    FOrder.push_back(&added->first);  // map nodes stay where they are until erased
    FBytes += size;
    while (FBytes > FBudget) {
        const auto oldest = FEntries.find(*FOrder.front());
        FBytes -= oldest->first.Value.size() + oldest->second->size();
        FOrder.pop_front();
        FEntries.erase(oldest);
    }
    return rendered;
}

std::size_t TRenderCache::Bytes() const {
    const std::lock_guard lock(FLock);
    return FBytes;
}

}  // namespace quorvane
