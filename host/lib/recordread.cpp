#include "recordread.h"

namespace vqrt {

using Json = nlohmann::ordered_json;

const Json* recordSection(const Json& record, const std::string& name) {
    const auto sections = record.find("sections");
    if (!record.is_object() || sections == record.end() || !sections->is_array()) {
        return nullptr;
    }
    for (const Json& section : *sections) {
        if (section.is_object() && section.value("name", Json()) == name) {
            return &section;
        }
    }
    return nullptr;
}

const Json& sectionEntries(const Json* section) {
    static const Json none = Json::array();
    if (section == nullptr) {
        return none;
    }
    const auto found = section->find("entries");
    return found != section->end() && found->is_array() ? *found : none;
}

std::optional<std::string> entryValue(const Json* section, const std::string& key) {
    for (const Json& entry : sectionEntries(section)) {
        if (entry.is_object() && entry.value("key", Json()) == key && entry.contains("value") &&
            entry["value"].is_string()) {
            return entry["value"].get<std::string>();
        }
    }
    return std::nullopt;
}

std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.pop_back();
    }
    return text;
}

} // namespace vqrt
