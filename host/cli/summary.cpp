#include "summary.h"

#include <sstream>

#include "text/printable.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

const Json* findSection(const Json& record, const std::string& name) {
    if (!record.contains("sections")) {
        return nullptr;
    }
    for (const Json& section : record.at("sections")) {
        if (section.value("name", "") == name) {
            return &section;
        }
    }
    return nullptr;
}

std::string value(const Json* section, const std::string& key, const std::string& fallback) {
    if (section == nullptr) {
        return fallback;
    }
    for (const Json& entry : section->value("entries", Json::array())) {
        if (entry.value("key", "") == key && entry.contains("value")) {
            // An owner file with CRLF line ends leaves a carriage return in its values.
            std::string text = entry["value"].get<std::string>();
            while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
                text.pop_back();
            }
            return text::printable(text);
        }
    }
    return fallback;
}

// The sound events of a record and how many of their files were carried.
std::pair<int, int> soundFiles(const Json* sounds) {
    int events = 0;
    int carried = 0;
    for (const Json& entry :
         sounds != nullptr ? sounds->value("entries", Json::array()) : Json::array()) {
        if (entry.contains("file")) {
            ++events;
            carried += entry["carried"].is_string() ? 1 : 0;
        }
    }
    return {events, carried};
}

} // namespace

std::string notCarried(const Json& record, const std::string& databaseGap) {
    const auto [events, carried] = soundFiles(findSection(record, "ICQ_SOUNDS_SETTINGS"));
    const int missing = events - carried;
    std::string text;
    if (missing > 0) {
        text = std::to_string(missing) + (missing == 1 ? " sound file" : " sound files");
    }
    if (findSection(record, "CONTACTS") != nullptr && !databaseGap.empty()) {
        text += (text.empty() ? "" : "; ") + databaseGap;
    }
    return text;
}

std::string importSummary(const Json& record, const std::string& recordPath,
                          const std::string& databaseGap, const std::string& archiveLines) {
    std::ostringstream out;
    const Json* owner = findSection(record, "ICQ_OWNER");
    const Json* settings = findSection(record, "ICQ_IMPORTED_SETTINGS");
    const Json* contacts = findSection(record, "CONTACTS");
    const Json* sounds = findSection(record, "ICQ_SOUNDS_SETTINGS");

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
    out << "Contacts:  ";
    if (contacts == nullptr) {
        out << "not imported\n";
    } else {
        out << value(contacts, "No_contacts", "0") << " imported"
            << (databaseGap.empty() ? "" : "; not carried: " + text::printable(databaseGap))
            << "\n";
    }
    out << "Sounds:    ";
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
    out << archiveLines << "Record:    " << recordPath << "\n";
    return out.str();
}

} // namespace cli
