#include "diagnostics.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "text/printable.h"

namespace cli {

namespace {

Telling gTelling = Telling::Normal;

void say(const std::string& line) {
    const std::string shown = "tolvane-import: " + text::printable(line) + "\n";
    vqrt::writeAll(STDERR_FILENO, shown.data(), shown.size());
}

} // namespace

void setTelling(Telling telling) {
    gTelling = telling;
}

void warn(const std::string& line) {
    if (gTelling != Telling::Quiet) {
        say("warning: " + line);
    }
}

void tell(const std::string& line) {
    if (gTelling == Telling::Verbose) {
        say(line);
    }
}

bool verbose() {
    return gTelling == Telling::Verbose;
}

vqrt::UniqueFd pluginOutput(bool verbose) {
    return vqrt::UniqueFd(verbose ? memfd_create("plug-in lines", MFD_CLOEXEC)
                                  : open("/dev/null", O_WRONLY | O_CLOEXEC));
}

DiagnosticsEcho::~DiagnosticsEcho() {
    if (fd_ < 0 || lseek(fd_, 0, SEEK_SET) != 0) {
        return;
    }
    std::string shown;
    char buffer[64 * 1024];
    for (ssize_t n; (n = vqrt::readFull(fd_, buffer, sizeof buffer)) > 0;) {
        const std::string_view chunk(buffer, static_cast<size_t>(n));
        // Line ends are kept; a line cut at the chunk's end is escaped in two pieces alike.
        for (size_t at = 0; at < chunk.size();) {
            const size_t end = std::min(chunk.find('\n', at), chunk.size());
            shown += text::printable(chunk.substr(at, end - at));
            if (end < chunk.size()) {
                shown += '\n';
            }
            at = end + 1;
        }
    }
    if (!shown.empty() && shown.back() != '\n') {
        shown += '\n';
    }
    vqrt::writeAll(STDERR_FILENO, shown.data(), shown.size());
    if (ftruncate(fd_, 0) == 0) {
        lseek(fd_, 0, SEEK_SET);
    }
}

} // namespace cli
