#include "tools/printer/status_model.h"

namespace quorvane {

StatusModel::StatusModel(std::uint8_t fixed, std::vector<std::uint8_t> script)
    : FFixed(fixed), FScript(std::move(script)) {}

std::uint8_t StatusModel::Peek(Clock::time_point now) const {
    std::lock_guard lock(FMutex);
    std::uint8_t b = FNext < FScript.size() ? FScript[FNext] : FFixed;
    if (now < FBusyUntil) b |= kPrinting;
    return b;
}

std::uint8_t StatusModel::Answer(Clock::time_point now) {
    std::uint8_t b = Peek(now);
    std::lock_guard lock(FMutex);
    if (FNext < FScript.size()) ++FNext;
    return b;
}

void StatusModel::AddBusy(std::chrono::duration<double> time, Clock::time_point now) {
    std::lock_guard lock(FMutex);
    Clock::time_point start = FBusyUntil > now ? FBusyUntil : now;
    FBusyUntil = start + std::chrono::duration_cast<Clock::duration>(time);
}

StatusModel::Clock::time_point StatusModel::BusyUntil() const {
    std::lock_guard lock(FMutex);
    return FBusyUntil;
}

void StatusModel::SetFixed(std::uint8_t fixed) {
    std::lock_guard lock(FMutex);
    FFixed = fixed;
}

}  // namespace quorvane
