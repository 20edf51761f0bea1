#include "ini/regularfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

StdioFile openRegularFile(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    // Checked on the file that was opened, so nothing can be swapped in after the check.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st;
    std::FILE* file = nullptr;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        file = ::fdopen(fd, "r");
    }
    if (file == nullptr) {
        ::close(fd);
    }
    return StdioFile(file);
}
