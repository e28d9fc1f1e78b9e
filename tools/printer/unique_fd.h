#pragma once
#include <unistd.h>

#include <utility>

namespace quorvane {

// Owns a file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : FFd(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : FFd(std::exchange(o.FFd, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.FFd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    void Reset(int fd = -1) {
        if (FFd >= 0) ::close(FFd);
        FFd = fd;
    }

private:
    int FFd = -1;
};

}  // namespace quorvane
