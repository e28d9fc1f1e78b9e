// Kept apart: <asm/termbits.h> (termios2) cannot share a file with the C library's <termios.h>.
#include "transport/serial_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quorvane {

bool SetTerminalSpeed(int AFd, unsigned ARate) {
    termios2 tio{};
    if (::ioctl(AFd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = ARate;
    tio.c_ospeed = ARate;
    return ::ioctl(AFd, TCSETS2, &tio) == 0;
}

}  // namespace quorvane
