#pragma once

#include <cstdint>
#include <utility>

namespace quorvane {

// Owns one socket of the system's sockets interface and closes it once. The handle is a file
// descriptor on Linux and a SOCKET on Windows: both fit a pointer-sized integer, and both
// systems' invalid value reads -1 there.
class TSocketOwner {
public:
    using TNative = std::intptr_t;
    static constexpr TNative kInvalid = -1;

    TSocketOwner() = default;
    explicit TSocketOwner(TNative ASocket) : FSocket(ASocket) {}
    ~TSocketOwner() { Reset(); }
    TSocketOwner(TSocketOwner&& AOther) noexcept : FSocket(AOther.Release()) {}
    TSocketOwner& operator=(TSocketOwner&& AOther) noexcept {
        if (this != &AOther) Reset(AOther.Release());
        return *this;
    }
    TSocketOwner(const TSocketOwner&) = delete;
    TSocketOwner& operator=(const TSocketOwner&) = delete;

    TNative Get() const { return FSocket; }
    bool Valid() const { return FSocket != kInvalid; }
    TNative Release() { return std::exchange(FSocket, kInvalid); }
    // Closes the socket held (socket_owner_posix.cpp, socket_owner_windows.cpp), then holds ASocket.
    void Reset(TNative ASocket = kInvalid) noexcept;

private:
    TNative FSocket = kInvalid;
};

}  // namespace quorvane
