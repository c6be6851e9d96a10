// Ownership of one file descriptor: closed exactly once, by the destructor or by Close().
#pragma once

#include <utility>

namespace platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Close(); }

    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    explicit operator bool() const { return IsValid(); }

    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes the current descriptor (if any) and takes fd.
    void Reset(int fd = -1);
    // Safe to call twice: the field is invalid afterwards.
    void Close() { Reset(); }

private:
    int m_fd = -1;
};

} // namespace platform
