#pragma once
// UniqueFd owns one file descriptor (a socket, a pipe, a file) and closes it
// when it goes. Move-only, so the owner can be read from the type. Any thread;
// one owner at a time.

#include <unistd.h>

namespace tivaro {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const noexcept { return m_fd; }
    bool Valid() const noexcept { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor held (a failed close is of no use to anyone here)
    // and takes fd instead.
    void Reset(int fd = -1) noexcept {
        const int old = m_fd;
        m_fd = fd;
        if (old >= 0) ::close(old);
    }

private:
    int m_fd = -1;
};

}  // namespace tivaro
