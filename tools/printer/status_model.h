#pragma once
// The byte a printer answers to <ESC>!?: bit 0 head open, 1 paper jam, 2 paper out,
// 3 ribbon out, 4 paused, 5 printing, 6 cover open, 7 other error.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace quorvane {

class StatusModel {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint8_t kPrinting = 0x20;

    StatusModel(std::uint8_t fixed = 0, std::vector<std::uint8_t> script = {});

    // The reply to one status query: the next scripted byte while the script lasts, then
    // the fixed byte; "printing" is added while simulated printing is under way.
    std::uint8_t Answer(Clock::time_point now = Clock::now());
    // The state without consuming a scripted byte: what the last query was told (before any
    // query, the first reply due), plus "printing" while printing.
    std::uint8_t Current(Clock::time_point now = Clock::now()) const;
    // Queues print time after whatever is still printing.
    void AddBusy(std::chrono::duration<double> time, Clock::time_point now = Clock::now());
    Clock::time_point BusyUntil() const;
    void SetFixed(std::uint8_t fixed);

private:
    mutable std::mutex FMutex;
    std::uint8_t FFixed;
    std::vector<std::uint8_t> FScript;
    std::size_t FNext = 0;
    bool FAnswered = false;
    std::uint8_t FLast = 0;
    Clock::time_point FBusyUntil{};
};

}  // namespace quorvane
