#include "windowszone.h"

#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "hostsession.h"
#include "support/sample.h"
#include "support/tempdir.h"

namespace {

using nlohmann::json;

struct Case {
    const char* label;
    const char* description; // the sample's layout, registry, code page and time zone
    const char* windowsId;   // null: the registry names no zone
    const char* ianaId;
    const char* codepage; // null: the registry names none
};

// As each Windows keeps its zone: XP by its standard name in the language of Windows (here
// Swedish, found through Time Zones), an English XP by the key's own name, Vista and later by
// the key; Windows 98 as XP, its Time Zones elsewhere. The code page by its number. Hives,
// Windows 98's registry files and .reg exports alike.
const Case kCases[] = {
    {"Swedish XP", R"({"codepage": "CP1252", "timeZone": {"key": "W. Europe Standard Time",
                                    "standardName": "Västeuropa, normaltid"}})",
     "W. Europe Standard Time", "Europe/Berlin", "CP1252"},
    {"English XP, REGEDIT4", R"({"registry": "reg4", "timeZone": {"key": "Tokyo Standard Time"}})",
     "Tokyo Standard Time", "Asia/Tokyo", nullptr},
    {"Czech Windows 7, version 5 export", R"({"layout": "7", "registry": "reg5",
       "codepage": "WINDOWS-1250",
       "timeZone": {"key": "Central Europe Standard Time", "standardName": "@tzres.dll,-212"}})",
     "Central Europe Standard Time", "Europe/Budapest", "CP1250"},
    {"Russian Windows 98", R"({"layout": "98", "codepage": "CP1251",
       "timeZone": {"key": "Russian Standard Time", "standardName": "Москва, стандартное время"}})",
     "Russian Standard Time", "Europe/Moscow", "CP1251"},
    {"Russian XP without a zone", R"({"codepage": "CP1251"})", nullptr, nullptr, "CP1251"},
    {"a zone no table knows",
     R"({"timeZone": {"key": "Nowhere Time", "standardName": "Nirgends"}})", nullptr, nullptr,
     nullptr},
    {"no SYSTEM hive", R"({})", nullptr, nullptr, nullptr},
};

class WindowsZone : public ::testing::TestWithParam<Case> {};

TEST_P(WindowsZone, IsReadAsTheInstallationKeepsIt) {
    const Case& c = GetParam();
    testsupport::TempDir dir;
    const json description = json::parse(c.description);
    ASSERT_NO_FATAL_FAILURE(testsupport::buildSample(description, dir.path()));
    vqrt::HostOptions options;
    options.windowsRoot = dir.path();
    if (description.contains("registry")) {
        options.regFiles = {dir.file("registry.reg")};
    }
    std::string error;
    const auto session = vqrt::HostSession::open(options, error);
    ASSERT_NE(session, nullptr) << error;
    const auto found = zone::windowsZone(*session->getRegistry());
    ASSERT_EQ(found.has_value(), c.windowsId != nullptr);
    if (found) {
        EXPECT_EQ(found->windowsId, c.windowsId);
        EXPECT_EQ(found->ianaId, c.ianaId);
    }
    EXPECT_EQ(zone::windowsCodepage(*session->getRegistry()).value_or("none"),
              c.codepage != nullptr ? c.codepage : "none");
}

INSTANTIATE_TEST_SUITE_P(Installations, WindowsZone, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.label; *p != '\0'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

} // namespace
