#include "fdio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vqrt {

UniqueFd::~UniqueFd() {
    close();
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

int UniqueFd::close() {
    if (fd_ < 0) {
        return 0;
    }
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
}

std::string ioError(const std::string& path, const std::string& what, int err) {
    return path + ": " + what + " (" + std::strerror(err) + ")";
}

int writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

ssize_t readFull(int fd, char* data, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool readWholeFile(const std::string& path, std::string& out, std::string& error) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        error = ioError(path, "cannot read", errno);
        return false;
    }
    // The size is a hint only: the file may change while it is read.
    out.assign(static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1, '\0');
    size_t got = 0;
    for (;;) {
        const ssize_t n = readFull(fd.get(), out.data() + got, out.size() - got);
        if (n < 0) {
            error = ioError(path, "cannot read", errno);
            return false;
        }
        got += static_cast<size_t>(n);
        if (got < out.size()) {
            out.resize(got);
            return true;
        }
        out.resize(out.size() * 2);
    }
}

bool readRegularFile(const std::string& path, size_t maxBytes, const std::string& kind,
                     std::string& out, std::string& error) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": not a " + kind + " (expected a file, found " +
                (S_ISDIR(st.st_mode) ? "a directory" : "a device, socket or pipe") + ")";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        error = path + ": too large for a " + kind + " (expected at most " +
                std::to_string(maxBytes) + " bytes, found " + std::to_string(st.st_size) + ")";
        return false;
    }
    return readWholeFile(path, out, error);
}

namespace {

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void keep() { path_.clear(); }

private:
    std::string path_;
};

} // namespace

std::string temporaryPattern(const std::string& name) {
    return "." + name + ".tmp-XXXXXX";
}

bool writeFileAtomically(const std::string& dir, const std::string& name, mode_t mode,
                         const FileWriter& write, std::string& error, const std::string& shownDir) {
    const std::string target = dir + "/" + name;
    const auto fail = [&](const char* what, int err) {
        error = ioError((shownDir.empty() ? dir : shownDir) + "/" + name, what, err);
        return false;
    };
    std::string path = dir + "/" + temporaryPattern(name);
    UniqueFd fd(::mkostemp(path.data(), O_CLOEXEC));
    if (!fd) {
        return fail("cannot write", errno);
    }
    TemporaryFile temporary(path);
    if (const int err = write(fd.get())) {
        return fail("cannot write", err);
    }
    if (::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0) {
        return fail("cannot write", errno);
    }
    if (const int err = fd.close()) {
        return fail("cannot write", err);
    }
    if (::rename(path.c_str(), target.c_str()) != 0) {
        return fail("cannot replace", errno);
    }
    temporary.keep();
    // Some file systems cannot sync a folder (EINVAL); their renames need nothing more.
    const UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder && ::fsync(folder.get()) != 0 && errno != EINVAL) {
        return fail("cannot write", errno);
    }
    return true;
}

} // namespace vqrt
