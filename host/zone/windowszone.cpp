#include "windowszone.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include <QTimeZone>

#include "text/codepage.h"

namespace zone {

namespace {

constexpr const char* kMachine = "HKEY_LOCAL_MACHINE";

std::string readText(CRegistryReader& registry, const std::string& key, const char* name) {
    char value[256] = "";
    return registry.readString(kMachine, key.c_str(), name, value, sizeof value) == 0
               ? std::string(value)
               : std::string();
}

// The key `below` in the control set in use.
std::string controlSetKey(CRegistryReader& registry, const char* below) {
    long current = 0;
    if (registry.readDword(kMachine, "SYSTEM\\Select", "Current", &current) == 0 && current > 0 &&
        current < 1000) {
        char key[128];
        std::snprintf(key, sizeof key, "SYSTEM\\ControlSet%03ld\\%s", current, below);
        return key;
    }
    return std::string("SYSTEM\\CurrentControlSet\\") + below;
}

// Every Windows zone the table knows.
std::set<QByteArray> windowsIds() {
    std::set<QByteArray> ids;
    for (const QByteArray& iana : QTimeZone::availableTimeZoneIds()) {
        const QByteArray id = QTimeZone::ianaIdToWindowsId(iana);
        if (!id.isEmpty()) {
            ids.insert(id);
        }
    }
    return ids;
}

std::string windowsIdOf(CRegistryReader& registry) {
    const std::string information = controlSetKey(registry, "Control\\TimeZoneInformation");
    const std::string keyName = readText(registry, information, "TimeZoneKeyName");
    if (!keyName.empty()) {
        return keyName;
    }
    const std::string standardName = readText(registry, information, "StandardName");
    if (standardName.empty()) {
        return {};
    }
    const std::set<QByteArray> ids = windowsIds();
    if (ids.count(QByteArray::fromStdString(standardName)) != 0) {
        return standardName; // an English Windows names the zone by its key
    }
    // NT keeps the zones below Windows NT, Windows 95, 98 and ME below Windows.
    for (const char* zones : {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\",
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\"}) {
        for (const QByteArray& id : ids) {
            if (readText(registry, zones + id.toStdString(), "Std") == standardName) {
                return id.toStdString();
            }
        }
    }
    return {};
}

} // namespace

std::optional<WindowsZone> windowsZone(CRegistryReader& registry) {
    WindowsZone zone;
    zone.windowsId = windowsIdOf(registry);
    if (zone.windowsId.empty()) {
        return std::nullopt;
    }
    zone.ianaId = QTimeZone::windowsIdToDefaultIanaId(QByteArray::fromStdString(zone.windowsId))
                      .toStdString();
    if (zone.ianaId.empty()) {
        return std::nullopt;
    }
    return zone;
}

std::optional<std::string> windowsCodepage(CRegistryReader& registry) {
    const std::string acp =
        readText(registry, controlSetKey(registry, "Control\\Nls\\CodePage"), "ACP");
    const bool number =
        !acp.empty() && acp.size() <= 5 &&
        std::all_of(acp.begin(), acp.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!number || !text::isKnownCodepage("CP" + acp)) {
        return std::nullopt;
    }
    return "CP" + acp;
}

} // namespace zone
