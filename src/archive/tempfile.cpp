#include "archive/tempfile.h"

#include "archive/exporterror.h"
#include "archive/outfile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace archive {

TemporaryFile temporaryFile() {
    const char* const given = std::getenv("TMPDIR");
    const std::string folder = given != nullptr && *given != '\0' ? given : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EOPNOTSUPP) {
        // A file system without unnamed files: a named one, unlinked at once.
        std::string name = folder + "/.tolvane-XXXXXX";
        fd = ::mkstemp(name.data());
        if (fd >= 0) {
            ::unlink(name.c_str());
        }
    }
    std::FILE* const f = fd >= 0 ? ::fdopen(fd, "w+b") : nullptr;
    if (f == nullptr) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        errno = error;
        throw ExportError(systemError(folder, "could not create a temporary file"));
    }
    return TemporaryFile(f);
}

} // namespace archive
