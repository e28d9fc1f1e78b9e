#include "tools/printer/serial_line.h"

#include <algorithm>
#include <thread>

namespace quorvane {

namespace {

constexpr int kBitsPerByte = 10;
constexpr int kSliceMs = 10;

}  // namespace

std::size_t SerialLine::SliceBytes() const {
    if (!Limited()) return static_cast<std::size_t>(-1);
    return std::max<std::size_t>(1, static_cast<std::size_t>(FBaud) * kSliceMs / 1000 / kBitsPerByte);
}

SerialLine::Clock::time_point SerialLine::Carry(std::size_t ACount, Clock::time_point ANow) {
    if (!Limited()) return ANow;
    // After a full slice more bytes were waiting: they follow without a gap, so the reader's
    // own wake-up delay does not slow the line down.
    const Clock::time_point start = FBacklog ? FFreeAt : std::max(FFreeAt, ANow);
    FBacklog = ACount >= SliceBytes();
    const std::chrono::duration<double> time(static_cast<double>(ACount) * kBitsPerByte / FBaud);
    FFreeAt = start + std::chrono::duration_cast<Clock::duration>(time);
    return FFreeAt;
}

void SerialLine::Pass(std::size_t ACount) {
    if (!Limited()) return;
    std::this_thread::sleep_until(Carry(ACount));
}

}  // namespace quorvane
