#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace archive {

/// The temporary name a file is written under: "<folder>/.<name>.part".
std::string partPath(const std::string& path);
/// Renames the finished `part` to `path`; throws ExportError.
void renameInto(const std::string& part, const std::string& path);
/// `PATH: what (strerror(errno))`.
std::string systemError(const std::string& path, const std::string& what);

/// A file written under its temporary name and renamed to `path` by commit(); removed when it
/// is dropped unfinished. Every failure throws ExportError naming `path`.
class OutFile {
public:
    explicit OutFile(std::string path);
    ~OutFile();
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    void write(std::string_view bytes);
    /// Closes the file, which keeps its temporary name; answers that name. The caller removes
    /// it if it is not put in place.
    std::string finish();
    /// Closes the file and gives it its name.
    void commit();
    const std::string& path() const { return path_; }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::string path_;
    std::string part_;
    std::unique_ptr<std::FILE, Closer> file_;
};

} // namespace archive
