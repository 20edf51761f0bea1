#include <unistd.h>

#include <iostream>

#include "commands.h"
#include "text/printable.h"

namespace icq {

int fail(int status, const std::string& line) {
    std::cout.flush();
    std::cerr << "tolvane-icq: " << text::printable(line) << "\n";
    return status;
}

ProgressLine progressLine(const Options& o) {
    return ProgressLine(o.progressLines,
                        !o.quiet && isatty(STDERR_FILENO) == 1 && progress::large(o.databases));
}

void printWarnings(const archive::Report& report, const Options& o) {
    for (const std::string& warning : o.verbose ? report.warnings : std::vector<std::string>()) {
        std::cerr << "tolvane-icq: warning: " << text::printable(warning) << "\n";
    }
}

std::unique_ptr<archive::Database>
openDatabase(const std::string& path, const Options& o, ProgressLine& line, int& status,
             const std::function<bool(const archive::Message&)>& visit) {
    const std::string refused = archive::laterFormatRefusal(path);
    if (!refused.empty()) {
        status = fail(kLaterFormat, refused);
        return nullptr;
    }
    std::string error;
    std::unique_ptr<archive::Database> db =
        archive::Database::open(path, o.settings, error, line.reading(path), visit);
    line.clear();
    if (!db) {
        status = fail(kUnusable, error);
    }
    return db;
}

} // namespace icq
