#include "hostsession.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/sample.h"
#include "support/tempdir.h"

namespace {

using nlohmann::json;
using testsupport::TempDir;

const char* const kPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
const char* const kOdd = "Software\\Odd";
// "ab", e acute (2 bytes), the euro sign (3 bytes), "c": 8 bytes of UTF-8, all in CP1252.
const char* const kMixed = "ab\xC3\xA9\xE2\x82\xAC"
                           "c";

class RegistryFormats : public ::testing::TestWithParam<const char*> {};

// Bob's registry with the values the plug-in reads and every kind of value an export has to
// spell out, built as hives, as a REGEDIT4 export and as a version 5 export: whatever the
// builder had to write as hex or escape, the host reads back what was set.
TEST_P(RegistryFormats, HostReadsBackWhatTheBuilderSet) {
    TempDir dir;
    json d = json::parse(R"({"users": ["Alice", "Bob"], "icqUser": "Bob",
      "icq": {"version": 2000, "server": {"host": "login.icq.com", "port": -4000}},
      "extraValues": [
        {"root": "HKCU", "key": "Software\\Über", "name": "Ärger Ÿ", "type": "sz",
         "value": "Grüße €"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Quote \"x\"", "type": "sz",
         "value": "C:\\Program Files\\\"ICQ\"\\"},
        {"root": "HKCU", "key": "Software\\Odd", "type": "sz", "value": "line one\r\nline two"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Expand", "type": "expand_sz",
         "value": "%SystemRoot%\\Märta"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Big", "type": 5, "value": "00,00,14,46"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Mixed", "type": "sz", "value": "abé€c"}]})");
    d["registry"] = GetParam();
    ASSERT_NO_FATAL_FAILURE(testsupport::buildSample(d, dir.path()));
    vqrt::HostOptions options;
    options.windowsRoot = dir.path();
    if (d["registry"] == "hive") {
        options.user = "bob";
    } else {
        options.regFiles = {dir.file("registry.reg")};
    }
    std::string error;
    const auto session = vqrt::HostSession::open(options, error);
    ASSERT_NE(session, nullptr) << error;
    EXPECT_TRUE(session->warnings().empty());
    CRegistryReader& registry = *session->getRegistry();
    const struct {
        const char* root;
        const char* key;
        const char* value;
        bool dword;
        int answer;
        std::string want; // the text, or the number in decimal
    } reads[] = {
        {"hklm", "software\\microsoft\\windows\\currentversion\\app paths\\icq.EXE\\", nullptr,
         false, 0, "C:\\Program Files\\ICQ\\ICQ.exe"},
        {"HKCU", "\\SOFTWARE\\mirabilis\\\\icq\\defaultprefs", "DEFAULT SERVER HOST", false, 0,
         "login.icq.com"},
        {"HKEY_CURRENT_USER", kPrefs, "Default Server Port", true, 0, "-4000"},
        {"HKCU", "software\\üBER", "äRGER ÿ", false, 0, "Grüße €"},
        {"HKCU", kOdd, "Quote \"x\"", false, 0, "C:\\Program Files\\\"ICQ\"\\"},
        {"HKCU", kOdd, "", false, 0, "line one\r\nline two"},
        {"HKCU", kOdd, "Expand", false, 0, "%SystemRoot%\\Märta"},
        {"HKCU", kOdd, "Big", true, 0, "5190"},
        {"HKCU", kPrefs, "Default Server Host", true, vqrt::kRegWrongType, ""},
        {"HKCU", kPrefs, "Missing", false, vqrt::kRegNotFound, ""},
        {nullptr, kPrefs, "Default Server Host", true, vqrt::kRegBadArgument, ""},
    };
    for (const auto& r : reads) {
        SCOPED_TRACE(std::string(r.key) + " / " + (r.value ? r.value : "(null)"));
        char out[512] = "#";
        long number = 77;
        const int answer = r.dword ? registry.readDword(r.root, r.key, r.value, &number)
                                   : registry.readString(r.root, r.key, r.value, out, sizeof out);
        EXPECT_EQ(answer, r.answer);
        EXPECT_EQ(r.dword ? std::to_string(number) : std::string(out),
                  answer != 0 ? (r.dword ? "77" : "#") : r.want); // untouched on failure
    }
    // A value longer than the buffer is cut at a character boundary; nothing past it is written.
    const char* cuts[] = {"",           "a",          "ab",         "ab",
                          "ab\xC3\xA9", "ab\xC3\xA9", "ab\xC3\xA9", "ab\xC3\xA9\xE2\x82\xAC",
                          kMixed};
    for (size_t size = 1; size <= 9; ++size) {
        char out[12];
        std::memset(out, '#', sizeof out);
        ASSERT_EQ(registry.readString("HKCU", kOdd, "Mixed", out, size), 0);
        EXPECT_STREQ(out, cuts[size - 1]) << size;
        EXPECT_EQ(std::string(out + size, sizeof out - size), std::string(sizeof out - size, '#'));
    }
}

INSTANTIATE_TEST_SUITE_P(Sample, RegistryFormats, ::testing::Values("hive", "reg4", "reg5"));

TEST(HostSession, RefusesWhatCannotBeUsedWithOneLine) {
    TempDir root;
    TempDir other;
    testsupport::writeFile(other.file("a.reg"), "REGEDIT4\n");
    const std::string d = other.file("d");
    const struct {
        std::string root;
        const char* user;
        std::string driveD;
        const char* codepage;
        std::string expected;
    } cases[] = {
        {"", "", "", "CP1252", "no Windows installation given (expected --windows-root DIR)"},
        {root.path(), "", "", "NO-SUCH",
         "unknown code page NO-SUCH (expected an iconv name such as CP1252)"},
        {root.path(), "", d, "CP1252", d + ": not a directory (expected the folder of drive D:)"},
        {root.path(), "Alice", "", "CP1252",
         root.path() + ": no user profiles (expected Users/Alice/NTUSER.DAT or Documents and "
                       "Settings/Alice/NTUSER.DAT)"},
    };
    for (const auto& c : cases) {
        vqrt::HostOptions options{c.root, c.user, {other.file("a.reg")}, {}, c.codepage};
        if (!c.driveD.empty()) {
            options.drives['D'] = c.driveD;
        }
        std::string error;
        EXPECT_EQ(vqrt::HostSession::open(options, error), nullptr) << c.expected;
        EXPECT_EQ(error, c.expected);
    }
}

} // namespace
