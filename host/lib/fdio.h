#pragma once

#include <cstddef>

namespace vqrt {

/// Owns a file descriptor and closes it.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    /// The descriptor, or -1.
    int get() const { return fd_; }
    /// True when a descriptor is held.
    explicit operator bool() const { return fd_ >= 0; }
    /// Closes the descriptor now; 0, or the errno of a failed close (which can report a
    /// write error that the kernel deferred).
    int close();

private:
    int fd_;
};

/// Writes all of `data`, going on after interruptions and short writes; 0, or the errno of the
/// write that failed.
int writeAll(int fd, const char* data, size_t size);

} // namespace vqrt
