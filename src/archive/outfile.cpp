#include "archive/outfile.h"

#include "archive/exporterror.h"

#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace archive {

namespace {

constexpr size_t kBufferSize = 256 * 1024;

} // namespace

std::string partPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, name) + "." + path.substr(name) + ".part";
}

void renameInto(const std::string& part, const std::string& path) {
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        const std::string error = systemError(path, "could not put the finished file in place");
        std::remove(part.c_str());
        throw ExportError(error);
    }
}

std::string systemError(const std::string& path, const std::string& what) {
    return path + ": " + what + " (" + std::strerror(errno) + ")";
}

OutFile::OutFile(std::string path) : path_(std::move(path)), part_(partPath(path_)) {
    // A fresh file, never one that a link left in the folder points to.
    std::remove(part_.c_str());
    const int fd = ::open(part_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        file_.reset(::fdopen(fd, "wb"));
        if (!file_) {
            ::close(fd);
        }
    }
    if (!file_) {
        throw ExportError(systemError(path_, "could not create"));
    }
    // Large writes: a history page of megabytes in 4 KiB calls costs the kernel far more.
    std::setvbuf(file_.get(), nullptr, _IOFBF, kBufferSize);
}

OutFile::~OutFile() {
    if (file_) {
        file_.reset();
        std::remove(part_.c_str());
    }
}

void OutFile::write(std::string_view bytes) {
    // One thread writes a file: no lock per call.
    if (::fwrite_unlocked(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
        throw ExportError(systemError(path_, "could not write"));
    }
}

void OutFile::commit() {
    renameInto(finish(), path_);
}

std::string OutFile::finish() {
    std::FILE* const f = file_.release();
    const bool flushed = std::fflush(f) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(f) == 0;
    if (!flushed || !closed) {
        errno = flushed ? errno : flushError;
        const std::string error = systemError(path_, "could not write");
        std::remove(part_.c_str());
        throw ExportError(error);
    }
    return part_;
}

} // namespace archive
