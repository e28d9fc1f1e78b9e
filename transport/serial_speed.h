#pragma once

namespace quorvane {

// Sets a terminal's input and output speed to any rate in bits per second, including rates
// without a B-constant (14400, 56000). False with errno when the device refuses.
bool SetTerminalSpeed(int AFd, unsigned ARate);

}  // namespace quorvane
