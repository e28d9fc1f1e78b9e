#include "tools/printer/status_model.h"

namespace quorvane {

StatusModel::StatusModel(std::uint8_t fixed, std::vector<std::uint8_t> script)
    : FFixed(fixed), FScript(std::move(script)) {}

std::uint8_t StatusModel::Answer(Clock::time_point now) {
    std::lock_guard lock(FMutex);
    std::uint8_t b = FNext < FScript.size() ? FScript[FNext++] : FFixed;
    FAnswered = true;
    FLast = b;
    return now < FBusyUntil ? static_cast<std::uint8_t>(b | kPrinting) : b;
}

std::uint8_t StatusModel::Current(Clock::time_point now) const {
    std::lock_guard lock(FMutex);
    std::uint8_t b = FAnswered ? FLast : FNext < FScript.size() ? FScript[FNext] : FFixed;
    return now < FBusyUntil ? static_cast<std::uint8_t>(b | kPrinting) : b;
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
