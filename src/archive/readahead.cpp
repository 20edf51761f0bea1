#include "readahead.h"

#include <cerrno>
#include <new>
#include <system_error>

#include "archive/quietthread.h"

namespace archive {

ReadAhead::ReadAhead(const ReadOnlyFile& file) : file_(file) {
    try {
        thread_ = quietThread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread: every read is done when asked for.
    }
}

ReadAhead::~ReadAhead() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool ReadAhead::read(uint64_t offset, size_t n, std::vector<uint8_t>& out, size_t& got,
                     uint64_t next) {
    bool ok = true;
    int error = 0;
    bool taken = false;
    if (thread_.joinable()) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wanted_) {
            changed_.wait(lock, [this] { return done_; });
            if (offset_ == offset && size_ == n) {
                out.swap(buffer_);
                got = got_;
                ok = ok_;
                error = error_;
                taken = true;
            }
            wanted_ = false;
        }
    }
    if (!taken) {
        out.resize(n);
        ok = file_.read(offset, n, out.data(), got);
        error = errno;
    }
    if (thread_.joinable() && next < file_.size()) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            wanted_ = true;
            done_ = false;
            offset_ = next;
            size_ = n;
        }
        changed_.notify_all();
    }
    errno = error;
    return ok;
}

void ReadAhead::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || (wanted_ && !done_); });
        if (stop_) {
            return;
        }
        const uint64_t offset = offset_;
        const size_t size = size_;
        std::vector<uint8_t> bytes = std::move(buffer_);
        lock.unlock();
        size_t got = 0;
        bool ok = false;
        int error = ENOMEM;
        try {
            bytes.resize(size);
            ok = file_.read(offset, size, bytes.data(), got);
            error = errno;
        } catch (const std::bad_alloc&) {
            // Told as a read that failed; the walk then reads the page itself.
        }
        lock.lock();
        buffer_ = std::move(bytes);
        got_ = got;
        ok_ = ok;
        error_ = error;
        done_ = true;
        changed_.notify_all();
    }
}

} // namespace archive
