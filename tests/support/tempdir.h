#pragma once

#include <string>

namespace testsupport {

/// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    /// path() + "/" + relative.
    std::string file(const std::string& relative) const;

private:
    std::string path_;
};

/// Writes `bytes` to `path`, creating missing parent directories; fails the test on error.
void writeFile(const std::string& path, const std::string& bytes);
/// The whole content of `path`; empty when it cannot be read.
std::string readFile(const std::string& path);

} // namespace testsupport
