#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvane {

// Rendered slot values of one print job, keyed by field and value, shared by the job's builder
// threads. The checking pass counts how often each value comes; only a value seen more than
// once is kept (a repeated price, a picture sent with every label), so one-off values never
// push the useful ones out. Bounded by bytes: the oldest entries leave first.
class TRenderCache {
public:
    explicit TRenderCache(std::size_t ABudgetBytes);

    // Records one more label that has AValue in field AField.
    void Count(std::size_t AField, std::string_view AValue);

    // The rendered value: from the cache, or ARender() (kept when the value repeats, unless
    // AKeepable, asked after rendering, says the result must not be reused).
    std::string Value(std::size_t AField, std::string_view AValue,
                      const std::function<std::string()>& ARender,
                      const std::function<bool()>& AKeepable = {});

    std::size_t Bytes() const;
    std::size_t Renders() const { return FRenders.load(std::memory_order_relaxed); }

private:
    struct TKey {
        std::size_t Field;
        std::string Value;
        bool operator==(const TKey&) const = default;
    };
    struct TKeyHash {
        std::size_t operator()(const TKey& AKey) const { return Hash(AKey.Field, AKey.Value); }
    };
    static std::size_t Hash(std::size_t AField, std::string_view AValue);
    bool Repeats(std::size_t AHash) const;

    const std::size_t FBudget;
    // Saturating sighting counters indexed by hash; a collision only makes a value look
    // repeated, which costs cache room, never a wrong byte.
    std::unique_ptr<std::atomic<std::uint8_t>[]> FCounts;
    mutable std::mutex FLock;
    std::unordered_map<TKey, std::shared_ptr<const std::string>, TKeyHash> FEntries;
    std::deque<const TKey*> FOrder;  // the entries' keys in insertion order, for eviction
    std::size_t FBytes = 0;
    std::atomic<std::size_t> FRenders{0};
};

}  // namespace quorvane
