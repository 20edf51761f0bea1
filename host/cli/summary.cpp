#include "summary.h"

#include <optional>
#include <sstream>

#include "archive/summary.h"
#include "archive/text.h"
#include "recordread.h"
#include "text/printable.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

using vqrt::recordSection;
using vqrt::sectionEntries;

std::string value(const Json* section, const std::string& key, const std::string& fallback) {
    const std::optional<std::string> text = vqrt::entryValue(section, key);
    return text ? text::printable(vqrt::withoutLineEnd(*text)) : fallback;
}

// The sound events of a record and how many of their files were carried.
std::pair<int, int> soundFiles(const Json* sounds) {
    int events = 0;
    int carried = 0;
    for (const Json& entry : sectionEntries(sounds)) {
        if (entry.contains("file")) {
            ++events;
            carried += entry["carried"].is_string() ? 1 : 0;
        }
    }
    return {events, carried};
}

} // namespace

std::string notCarried(const Json& record, const std::string& databaseGap) {
    const auto [events, carried] = soundFiles(recordSection(record, "ICQ_SOUNDS_SETTINGS"));
    const int missing = events - carried;
    std::string text;
    if (missing > 0) {
        text = std::to_string(missing) + (missing == 1 ? " sound file" : " sound files");
    }
    if (recordSection(record, "CONTACTS") != nullptr && !databaseGap.empty()) {
        text += (text.empty() ? "" : "; ") + databaseGap;
    }
    return text;
}

std::vector<std::string> carriedFiles(const Json& record, const std::string& folder) {
    std::vector<std::string> lines;
    const Json* sounds = recordSection(record, "ICQ_SOUNDS_SETTINGS");
    for (const Json& entry : sectionEntries(sounds)) {
        if (entry.contains("file") && entry["carried"].is_string()) {
            std::string source = entry["file"].get<std::string>();
            if (source.size() >= 2 && source.front() == '"' && source.back() == '"') {
                source = source.substr(1, source.size() - 2);
            }
            lines.push_back("sound " + entry.value("key", "") + ": " + source + " -> " + folder +
                            "/" + entry["carried"].get<std::string>());
        }
    }
    return lines;
}

namespace {

std::string line(const std::string& label, const std::string& text) {
    return text::padded(label, 11) + text + "\n";
}

std::string messagesLine(const ArchiveOutcome& archive) {
    if (!archive.written) {
        return line("Messages:", "not exported (" + archive.why + ")");
    }
    return line("Messages:", archive.messagesText);
}

std::string timesLine(const ArchiveOutcome& archive) {
    return archive.zoneHint.empty() ? std::string() : line("Times:", archive.zoneHint);
}

std::string textsLine(const std::string& hint) {
    return hint.empty() ? std::string() : line("Texts:", hint);
}

std::string warningsLine(const ArchiveOutcome& archive) {
    if (archive.warnings == 0) {
        return {};
    }
    return line("Warnings:", archive::grouped(archive.warnings) +
                                 " while reading the database, listed in report.txt");
}

std::string contactsLine(const Json* contacts, const std::string& databaseGap,
                         const ArchiveOutcome& archive) {
    if (contacts == nullptr) {
        return line("Contacts:", archive.written ? archive::countsLine(archive.contacts) +
                                                       " (none in the record: not imported)"
                                                 : std::string("not imported"));
    }
    // The plug-in's count, grouped as the archive's counts beside it are.
    const std::string stored = value(contacts, "No_contacts", "0");
    const std::optional<uint64_t> number = archive::decimal(stored);
    const std::string inRecord = (number ? archive::grouped(*number) : stored) + " in the record";
    if (!databaseGap.empty()) {
        return line("Contacts:", inRecord + "; not carried: " + text::printable(databaseGap));
    }
    return line("Contacts:", archive.written
                                 ? archive::countsLine(archive.contacts) + " (" + inRecord + ")"
                                 : inRecord);
}

} // namespace

std::string importSummary(const Json& record, const std::string& recordPath,
                          const std::string& databaseGap, const ArchiveOutcome& archive,
                          const std::string& textsHint) {
    std::ostringstream out;
    const Json* owner = recordSection(record, "ICQ_OWNER");
    const Json* settings = recordSection(record, "ICQ_IMPORTED_SETTINGS");
    const Json* sounds = recordSection(record, "ICQ_SOUNDS_SETTINGS");

    out << "Owner:     ";
    if (owner != nullptr) {
        out << value(owner, "Nickname", "?") << " (UIN " << value(owner, "UIN", "?") << ")\n";
    } else {
        out << "account not imported\n";
    }
    const std::string host = value(settings, "ICQ_HOST_SERVER_NAME", "");
    out << "Server:    ";
    if (host.empty()) {
        out << "not imported\n";
    } else {
        // The plug-in writes ICQ_VQX_NO for a value it could not read.
        const std::string port = value(settings, "ICQ_HOST_SERVER_PORT", "?");
        out << (host == "ICQ_VQX_NO" ? "unknown host" : host) << ", "
            << (port == "ICQ_VQX_NO" ? "unknown port" : "port " + port) << "\n";
    }
    out << contactsLine(recordSection(record, "CONTACTS"), databaseGap, archive)
        << messagesLine(archive) << timesLine(archive) << textsLine(textsHint) << "Sounds:    ";
    if (sounds == nullptr) {
        out << "not imported\n";
    } else {
        const auto [events, carried] = soundFiles(sounds);
        out << events << " sound events, " << carried << " sound files carried";
        if (carried < events) {
            out << " (" << events - carried << " missing)";
        }
        out << "\n";
    }
    out << warningsLine(archive) << "Record:    " << recordPath << "\n";
    return out.str();
}

std::string archiveOnlySummary(const std::string& owner, const ArchiveOutcome& archive,
                               const std::string& folder, const std::string& why,
                               const std::string& textsHint) {
    return line("Owner:", owner) +
           line("Contacts:", archive.written ? archive::countsLine(archive.contacts)
                                             : std::string("not exported")) +
           messagesLine(archive) + timesLine(archive) + textsLine(textsHint) +
           warningsLine(archive) + line("Record:", "none: " + why) + line("Archive:", folder);
}

} // namespace cli
