#include "archive/runfile.h"

#include <unistd.h>

#include <cerrno>

#include "archive/exporterror.h"
#include "archive/outfile.h"

namespace archive {

void writeRecords(std::FILE* f, const void* bytes, size_t size, const char* what) {
    if (std::fwrite(bytes, 1, size, f) != size || std::fflush(f) != 0) {
        throw ExportError(systemError("temporary file", std::string("could not write ") + what));
    }
}

bool rewriteRecords(std::FILE* f, uint64_t at, const void* bytes, size_t size, const char* what,
                    std::string& problem) {
    const char* const in = static_cast<const char*>(bytes);
    size_t done = 0;
    while (done < size) {
        const ssize_t w =
            ::pwrite(::fileno(f), in + done, size - done, static_cast<off_t>(at + done));
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            problem = systemError("temporary file", std::string("could not write ") + what);
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

bool readRecords(std::FILE* f, uint64_t at, void* bytes, size_t size, const char* what,
                 std::string& problem) {
    char* const out = static_cast<char*>(bytes);
    size_t got = 0;
    while (got < size) {
        const ssize_t r = ::pread(::fileno(f), out + got, size - got, static_cast<off_t>(at + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            problem = r == 0 ? std::string("temporary file: ") + what + " missing (it ends early)"
                             : systemError("temporary file",
                                           std::string("could not read ") + what + " back");
            return false;
        }
        got += static_cast<size_t>(r);
    }
    return true;
}

} // namespace archive
