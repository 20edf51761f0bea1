#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace fuzzsupport {

namespace {

// In memory where possible: ext4 writes a file that was emptied and rewritten out to disk when
// it is closed, which would make every run wait for the disk.
std::string scratchParent() {
    if (access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

} // namespace

ScratchDir::ScratchDir() {
    const std::string pattern = scratchParent() + "/tolvane-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        fail("cannot create a scratch folder from " + pattern);
    }
    path_ = name.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::file(const std::string& name) const {
    return path_ + "/" + name;
}

void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
        fail("cannot write " + path);
    }
}

void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

} // namespace fuzzsupport
