#pragma once

// The next page of a walk is read on a thread of its own while the current one is parsed, so
// that copying it out of the kernel's cache costs the walk no time.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/walk.h"

namespace archive {

class ReadAhead {
public:
    /// Reads synchronously when no thread can be started.
    explicit ReadAhead(const ReadOnlyFile& file);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// ReadOnlyFile::read of `n` bytes at `offset` into `out` (`n` bytes long), taken from the
    /// read started by the call before when it was for these bytes; then starts reading `n`
    /// bytes at `next` for the call after.
    bool read(uint64_t offset, size_t n, std::vector<uint8_t>& out, size_t& got, uint64_t next);

private:
    void run();

    const ReadOnlyFile& file_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // A read is wanted from `offset_` until it is taken; the thread owns `buffer_` while the
    // read is wanted and not yet done.
    bool wanted_ = false;
    bool done_ = false;
    bool stop_ = false;
    uint64_t offset_ = 0;
    size_t size_ = 0;
    std::vector<uint8_t> buffer_;
    size_t got_ = 0;
    bool ok_ = true;
    int error_ = 0;
    std::thread thread_;
};

} // namespace archive
