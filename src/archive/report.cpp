#include "archive/report.h"

#include "archive/names.h"
#include "archive/text.h"

#include <algorithm>
#include <cstdio>

namespace archive {

namespace {

std::string line(const std::string& text) {
    std::string out = cleanText(text);
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out + "\n";
}

std::string padded(const std::string& s, size_t width) {
    return s + std::string(width > s.size() ? width - s.size() : 0, ' ');
}

std::string count(uint64_t n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%8llu", static_cast<unsigned long long>(n));
    return buf;
}

} // namespace

std::string reportText(const Archive& archive, const Report& report,
                       const std::vector<WrittenFile>& files) {
    const Settings& settings = archive.settings;
    std::string out = line(std::string(kReportStart) + ownerName(archive.owner) + " (" +
                           std::to_string(archive.owner.uin) + ")");
    out += line("Texts read as " + settings.codepage + "; stored times plus " +
                std::to_string(settings.timeOffset) + " s taken as UTC; times shown in " +
                settings.timeZone);
    if (settings.deletedFolder) {
        out += line("Messages in ICQ's Deleted folder exported with the others, marked as such");
    }

    if (!report.sources.empty()) {
        out += report.sources.size() == 1 ? "\nRead from\n"
                                          : "\nRead from " + std::to_string(report.sources.size()) +
                                                " copies of the database, merged\n";
        for (const std::string& source : report.sources) {
            out += line("  " + source);
        }
    }

    out += "\nWritten\n";
    size_t width = 0;
    for (const WrittenFile& file : files) {
        width = std::max(width, file.name.size());
    }
    for (const WrittenFile& file : files) {
        out += line("  " + padded(file.name, width + 2) + file.holds);
    }

    out += "\nEntries by kind and outcome\n";
    for (const auto& [key, n] : report.entries) {
        out += line(count(n) + "  " + key.first + ": " + key.second);
    }

    out += "\nMessages found in more than one copy and kept once: " +
           std::to_string(report.mergedMessages) + "\n";

    if (report.warnings.empty()) {
        return out + "\nWarnings: none\n";
    }
    out += "\nWarnings (" + std::to_string(report.warnings.size()) + ")\n";
    for (const std::string& warning : report.warnings) {
        out += line("  " + warning);
    }
    return out;
}

} // namespace archive
