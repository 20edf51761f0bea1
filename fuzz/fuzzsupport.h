#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CRegistryReader;

namespace fuzzsupport {

/// A fresh folder for a target's input files, removed at exit: in /dev/shm when it can be,
/// since ext4 writes a file that was emptied and rewritten out to disk on every run.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    /// The folder's path + "/" + name.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

/// Replaces the content of `path` with `bytes`; a run that cannot place its input stops.
void writeBytes(const std::string& path, std::string_view bytes);

/// The input of one run as text (bytes, NULs included).
inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// Stops the run with a message on standard error; libFuzzer keeps the input as a finding.
[[noreturn]] void fail(const std::string& what);

/// Fails unless each message is one line of UTF-8 without control characters.
void checkMessages(const std::vector<std::string>& messages);

/// Reads the values the plug-in reads, and values of the other types that the seeds hold, as
/// texts into buffers of exactly 1, 2, 3, 128, 1024 and 65536 bytes and as numbers; fails
/// unless every text answered is terminated UTF-8.
void readPluginValues(CRegistryReader& registry);

} // namespace fuzzsupport
