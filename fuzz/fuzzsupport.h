#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzzsupport {

/// A fresh directory under /dev/shm (or $TMPDIR, or /tmp), removed with its content when destroyed.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    /// path() + "/" + name.
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

/// Replaces the content of `path` with `bytes`; aborts when the file cannot be written, since
/// a fuzz run that cannot place its input tests nothing.
void writeBytes(const std::string& path, std::string_view bytes);

/// The input of one run as text (bytes, NULs included).
inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// Stops the run with a message on standard error; libFuzzer keeps the input as a finding.
[[noreturn]] void fail(const std::string& what);

} // namespace fuzzsupport
