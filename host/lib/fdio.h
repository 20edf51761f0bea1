#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

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

/// Closes a directory stream.
struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
/// Owns a directory stream (opendir) and closes it.
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

/// One line for a failed call: `PATH: what (the text of err)`.
std::string ioError(const std::string& path, const std::string& what, int err);

/// The whole regular file at `path`, of at most `maxBytes`, into `out`. False with one line in
/// `error`: "PATH: cannot open (cause)", "PATH: not a KIND (expected a file, found a
/// directory)", "PATH: too large for a KIND (expected at most N bytes, found M)", or
/// readWholeFile's.
bool readRegularFile(const std::string& path, size_t maxBytes, const std::string& kind,
                     std::string& out, std::string& error);

/// Writes all of `data`, going on after interruptions and short writes; 0, or the errno of the
/// write that failed.
int writeAll(int fd, const char* data, size_t size);

/// Reads until `size` bytes or the end, going on after interruptions and short reads; the
/// count, or -1 with errno set.
ssize_t readFull(int fd, char* data, size_t size);

/// The whole file at `path` into `out`; false with `PATH: cannot read (cause)` in `error`.
bool readWholeFile(const std::string& path, std::string& out, std::string& error);

/// Writes the content of a file into `fd`; 0, or the errno of the write that failed.
using FileWriter = std::function<int(int fd)>;

/// The name of a temporary file that becomes `name` once it is whole: `.NAME.tmp-` and six
/// characters of mkstemp's pattern.
std::string temporaryPattern(const std::string& name);

/// Replaces `dir/name` whole or not at all: `write` fills a temporary file in `dir`, which gets
/// `mode`, is synced and renamed over `name`; then `dir` is synced so that the rename lasts.
/// Whatever fails, an earlier `dir/name` stays as it was and the temporary file is removed;
/// false with `PATH: what happened (cause)` in `error`, where PATH is `shownDir/name` (`dir`
/// when `shownDir` is empty).
bool writeFileAtomically(const std::string& dir, const std::string& name, mode_t mode,
                         const FileWriter& write, std::string& error,
                         const std::string& shownDir = {});

} // namespace vqrt
