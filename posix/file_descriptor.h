#pragma once

#include <unistd.h>

#include <utility>

namespace quorvane {

// Owns one POSIX file descriptor and closes it once.
class TFileDescriptor {
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int AFd) : FFd(AFd) {}
    ~TFileDescriptor() { Reset(); }
    TFileDescriptor(TFileDescriptor&& AOther) noexcept : FFd(AOther.Release()) {}
    TFileDescriptor& operator=(TFileDescriptor&& AOther) noexcept {
        if (this != &AOther) Reset(AOther.Release());
        return *this;
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release() { return std::exchange(FFd, -1); }
    void Reset(int AFd = -1) {
        // close() is not retried on EINTR: on Linux the descriptor is gone either way.
        if (FFd >= 0) ::close(FFd);
        FFd = AFd;
    }

private:
    int FFd = -1;
};

}  // namespace quorvane
