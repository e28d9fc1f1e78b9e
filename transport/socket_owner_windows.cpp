#include <winsock2.h>

#include "transport/socket_owner.h"

namespace quorvane {

void TSocketOwner::Reset(TNative ASocket) noexcept {
    if (FSocket != kInvalid) ::closesocket(static_cast<SOCKET>(FSocket));
    FSocket = ASocket;
}

}  // namespace quorvane
