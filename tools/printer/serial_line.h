#pragma once
// A serial line's speed on one direction of the pseudo-terminal: every byte takes ten bit times
// (start bit, eight data bits, stop bit), so a program writing faster than the line waits on
// the terminal's buffer as it would on a real port.
#include <chrono>
#include <cstddef>

namespace quorvane {

class SerialLine {
public:
    using Clock = std::chrono::steady_clock;

    // ABaud bits per second; 0 leaves the line unlimited.
    explicit SerialLine(int ABaud = 0) : FBaud(ABaud) {}

    bool Limited() const { return FBaud > 0; }
    // How many bytes to take at once: about 10 ms of the line, at least one byte.
    std::size_t SliceBytes() const;
    // Books the line for ACount bytes that are there at ANow: the moment the last of them is
    // through. A line that is still busy, or had more waiting after a full slice, carries them
    // right after what it carries already.
    Clock::time_point Carry(std::size_t ACount, Clock::time_point ANow = Clock::now());
    // Carry, then waits until the bytes are through.
    void Pass(std::size_t ACount);

private:
    int FBaud;
    Clock::time_point FFreeAt{};
    bool FBacklog = false;
};

}  // namespace quorvane
