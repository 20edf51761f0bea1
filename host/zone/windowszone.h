#pragma once

#include <optional>
#include <string>

#include "vqrt/registryreader.h"

namespace zone {

/// The time zone a Windows installation was set to.
struct WindowsZone {
    std::string windowsId; ///< its key under "Time Zones", such as "W. Europe Standard Time"
    std::string ianaId;    ///< the IANA zone with its rules, such as "Europe/Berlin"
};

/// Reads the zone from the registry's control set in use (the one "SYSTEM\Select" names as
/// Current, else a .reg export's CurrentControlSet). Vista and later name its key
/// (TimeZoneKeyName); XP keeps only its standard name in the language of Windows, which is
/// looked up among the "Std" names under "SOFTWARE\Microsoft\Windows NT\CurrentVersion\Time
/// Zones". Nothing when the registry does not say, or names a zone no IANA zone stands for.
std::optional<WindowsZone> windowsZone(CRegistryReader& registry);

/// The ANSI code page the installation's Windows wrote its texts in, as iconv names it
/// ("CP1251"), from the control set in use (Nls\CodePage, ACP). Nothing when the registry
/// does not say, or names one iconv does not know.
std::optional<std::string> windowsCodepage(CRegistryReader& registry);

} // namespace zone
