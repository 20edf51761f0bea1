#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CRegistryReader;

namespace fuzzsupport {

/// The path of `name` in a fresh folder of this run, removed at exit: in /dev/shm when it can
/// be, since ext4 writes a file that was emptied and rewritten out to disk on every run.
std::string scratchFile(const std::string& name);

/// Replaces the content of `path` with `bytes`; a run that cannot place its input stops.
void writeBytes(const std::string& path, std::string_view bytes);

/// The input of one run as text (bytes, NULs included).
inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// Stops the run with a message on standard error; libFuzzer keeps the input as a finding.
[[noreturn]] void fail(const std::string& what);

/// Fails unless each message is one non-empty line of UTF-8 without control characters.
void checkMessages(const std::vector<std::string>& messages);

/// Reads the plug-in's values, the time zone's and the seeds' values of other types as numbers
/// and as texts into buffers of exactly 1 to 65536 bytes; fails unless every text answered is
/// terminated UTF-8.
void readPluginValues(CRegistryReader& registry);

} // namespace fuzzsupport
