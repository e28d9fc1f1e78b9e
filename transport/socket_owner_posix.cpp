#include <unistd.h>

#include "transport/socket_owner.h"

namespace quorvane {

void TSocketOwner::Reset(TNative ASocket) noexcept {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (FSocket >= 0) ::close(static_cast<int>(FSocket));
    FSocket = ASocket;
}

}  // namespace quorvane
