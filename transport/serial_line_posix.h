#pragma once

#include <termios.h>

#include "transport/comm.h"

namespace quorvane {

// Turns AComm's line settings into ATio (which holds the terminal's current settings): binary
// mode, data bits, parity and its checking, stop bits, flow control, speed as a B-constant
// when one exists. False with errno EINVAL for values no terminal has. A pseudo-terminal
// forces 8 data bits without parity whatever it is given, so this is where tests see them.
bool ComposeLineSettings(const TComm& AComm, termios& ATio);

}  // namespace quorvane
