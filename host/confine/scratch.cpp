#include "scratch.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vqrt {

ScratchFolder::ScratchFolder(std::string& error) {
    const char* const tmpdir = std::getenv("TMPDIR");
    const std::string base = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
    std::string pattern = base + "/tolvane-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = base + ": " + std::strerror(errno);
        return;
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        // remove_all tries unlink on the folder itself first, which confinement refuses (it
        // allows rmdir only); its content is gone by now.
        ::rmdir(path_.c_str());
    }
}

std::string ScratchFolder::parent() const {
    return path_.substr(0, path_.rfind('/'));
}

void keepTemporaryFilesIn(const std::string& folder) {
    ::setenv("TMPDIR", folder.c_str(), 1);
    ::setenv("SQLITE_TMPDIR", folder.c_str(), 1);
}

} // namespace vqrt
