#include "hostsession.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/sample.h"
#include "support/tempdir.h"

namespace {

using nlohmann::json;
using testsupport::TempDir;
using testsupport::writeFile;

const char* const kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";
const char* const kPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
// "ab", e acute (2 bytes), the euro sign (3 bytes), "c": 8 bytes of UTF-8, all in CP1252.
const char* const kMixed = "ab\xC3\xA9\xE2\x82\xAC"
                           "c";

// Bob's registry with the values the plug-in reads and every kind of value an export has to
// spell out: built once as hives, once as a REGEDIT4 export and once as a version 5 export.
json registryDescription(const std::string& format) {
    json d = json::parse(R"({
      "users": ["Alice", "Bob"], "icqUser": "Bob",
      "icq": {"version": 2000, "server": {"host": "login.icq.com", "port": -4000},
              "owners": [{"uin": 12345, "nickname": "Rover",
                          "sounds": {"ICQALAdmin": "C:\\Program Files\\ICQ\\Sounds\\Tür zu.wav"}}]},
      "extraValues": [
        {"root": "HKCU", "key": "Software\\Über", "name": "Ärger Ÿ", "type": "sz",
         "value": "Grüße €"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Quote \"x\"", "type": "sz",
         "value": "C:\\Program Files\\\"ICQ\"\\"},
        {"root": "HKCU", "key": "Software\\Odd", "type": "sz", "value": "line one\r\nline two"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Expand", "type": "expand_sz",
         "value": "%SystemRoot%\\Märta"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Big", "type": 5, "value": "00,00,14,46"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Short", "type": 4, "value": "01,02"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Binary", "type": "binary",
         "value": "01,ff"},
        {"root": "HKCU", "key": "Software\\Odd", "name": "Mixed", "type": "sz", "value": "abé€c"}]})");
    d["registry"] = format;
    d["extraValues"].push_back({{"root", "HKCU"},
                                {"key", "Software\\Odd"},
                                {"name", "Long"},
                                {"type", "sz"},
                                {"value", std::string(300, 'w')}});
    return d;
}

std::unique_ptr<vqrt::HostSession> openSample(const TempDir& dir, const std::string& format) {
    EXPECT_NO_FATAL_FAILURE(testsupport::buildSample(registryDescription(format), dir.path()));
    vqrt::HostOptions options;
    options.windowsRoot = dir.path();
    if (format == "hive") {
        options.user = "bob";
    } else {
        options.regFiles = {dir.file("registry.reg")};
    }
    std::string error;
    auto session = vqrt::HostSession::open(options, error);
    EXPECT_NE(session, nullptr) << error;
    EXPECT_TRUE(session == nullptr || session->warnings().empty());
    return session;
}

struct Read {
    const char* root;
    const char* key;
    const char* value;
    bool dword;
    int answer;
    std::string want; // the text, or the number in decimal
};

class RegistryFormats : public ::testing::TestWithParam<const char*> {};

// Whatever the builder had to write as hex or escape, the host reads back what was set.
TEST_P(RegistryFormats, HostReadsBackWhatTheBuilderSet) {
    TempDir dir;
    const auto session = openSample(dir, GetParam());
    ASSERT_NE(session, nullptr);
    CRegistryReader& registry = *session->getRegistry();
    const std::string sounds = "Software\\Mirabilis\\ICQ\\Owners\\12345\\Prefs\\Sounds";
    const Read reads[] = {
        {"HKEY_LOCAL_MACHINE", kAppPaths, "", false, 0, "C:\\Program Files\\ICQ\\ICQ.exe"},
        {"hklm", "software\\microsoft\\windows\\currentversion\\app paths\\icq.EXE\\", nullptr,
         false, 0, "C:\\Program Files\\ICQ\\ICQ.exe"},
        {"HKCU", "\\SOFTWARE\\mirabilis\\\\icq\\defaultprefs", "DEFAULT SERVER HOST", false, 0,
         "login.icq.com"},
        {"HKEY_CURRENT_USER", kPrefs, "Default Server Port", true, 0, "-4000"},
        {"HKCU", kPrefs, "ICQ Version", true, 0, "2000"},
        {"HKCU", sounds.c_str(), "icqaladmin", false, 0,
         "C:\\Program Files\\ICQ\\Sounds\\Tür zu.wav"},
        {"HKCU", "software\\üBER", "äRGER ÿ", false, 0, "Grüße €"},
        {"HKCU", "Software\\Odd", "Quote \"x\"", false, 0, "C:\\Program Files\\\"ICQ\"\\"},
        {"HKCU", "Software\\Odd", "", false, 0, "line one\r\nline two"},
        {"HKCU", "Software\\Odd", "Expand", false, 0, "%SystemRoot%\\Märta"},
        {"HKCU", "Software\\Odd", "Long", false, 0, std::string(300, 'w')},
        {"HKCU", "Software\\Odd", "Big", true, 0, "5190"},
        {"HKCU", "Environment", "TEMP", false, 0, "%USERPROFILE%\\Local Settings\\Temp"},
        // Not there, or not of the kind asked for.
        {"HKCU", "Software\\Odd", "Short", true, vqrt::kRegWrongType, ""},
        {"HKCU", "Software\\Odd", "Binary", false, vqrt::kRegWrongType, ""},
        {"HKCU", kPrefs, "Default Server Host", true, vqrt::kRegWrongType, ""},
        {"HKCU", kPrefs, "Default Server Port", false, vqrt::kRegWrongType, ""},
        {"HKCU", kPrefs, "Missing", false, vqrt::kRegNotFound, ""},
        {"HKEY_LOCAL_MACHINE", "SYSTEM\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
         false, vqrt::kRegNotFound, ""},
        {"HKEY_LOCAL_MACHINE", "Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "", false,
         vqrt::kRegNotFound, ""},
        {"HKEY_USERS", kPrefs, "Default Server Host", false, vqrt::kRegNotFound, ""},
        {"HKEY_SOMEWHERE", kPrefs, "Default Server Host", false, vqrt::kRegBadArgument, ""},
        {nullptr, kPrefs, "Default Server Host", true, vqrt::kRegBadArgument, ""},
    };
    for (const Read& r : reads) {
        SCOPED_TRACE(std::string(r.key) + " / " + (r.value ? r.value : "(null)"));
        char out[512];
        std::memset(out, '#', sizeof out);
        long number = 77;
        const int answer = r.dword ? registry.readDword(r.root, r.key, r.value, &number)
                                   : registry.readString(r.root, r.key, r.value, out, sizeof out);
        EXPECT_EQ(answer, r.answer);
        if (answer != 0) {
            EXPECT_EQ(number, 77); // untouched
            EXPECT_EQ(out[0], '#');
        } else {
            EXPECT_EQ(r.dword ? std::to_string(number) : std::string(out), r.want);
        }
    }
    // A value longer than the buffer is cut at a character boundary; nothing past it is written.
    const char* cuts[] = {"",           "a",          "ab",         "ab",
                          "ab\xC3\xA9", "ab\xC3\xA9", "ab\xC3\xA9", "ab\xC3\xA9\xE2\x82\xAC",
                          kMixed};
    for (size_t size = 1; size <= 9; ++size) {
        char out[12];
        std::memset(out, '#', sizeof out);
        ASSERT_EQ(registry.readString("HKCU", "Software\\Odd", "Mixed", out, size), 0);
        EXPECT_STREQ(out, cuts[size - 1]) << size;
        EXPECT_EQ(std::string(out + size, sizeof out - size), std::string(sizeof out - size, '#'));
    }
    char out[4];
    EXPECT_EQ(registry.readString("HKCU", "Software\\Odd", "Mixed", out, 0), vqrt::kRegBadArgument);
    EXPECT_EQ(registry.readDword("HKCU", kPrefs, "ICQ Version", nullptr), vqrt::kRegBadArgument);
}

INSTANTIATE_TEST_SUITE_P(Sample, RegistryFormats, ::testing::Values("hive", "reg4", "reg5"));

TEST(HostSession, RefusesWhatCannotBeUsedWithOneLine) {
    TempDir root;
    TempDir other;
    writeFile(other.file("a.reg"), "REGEDIT4\n");
    writeFile(other.file("plain.txt"), "just text\n");
    const auto options = [&](std::string windowsRoot, std::string user, std::string reg,
                             std::map<char, std::string> drives, std::string codepage) {
        vqrt::HostOptions o;
        o.windowsRoot = std::move(windowsRoot);
        o.user = std::move(user);
        o.regFiles = {other.file(reg)};
        o.drives = std::move(drives);
        o.codepage = std::move(codepage);
        return o;
    };
    const struct {
        vqrt::HostOptions options;
        std::string expected;
    } cases[] = {
        {options("", "", "a.reg", {}, "CP1252"),
         "no Windows installation given (expected --windows-root DIR)"},
        {options(other.file("gone"), "", "a.reg", {}, "CP1252"),
         other.file("gone") + ": not a directory (expected the root of a mounted Windows system "
                              "volume)"},
        {options(root.path(), "", "a.reg", {}, "NO-SUCH"),
         "unknown code page NO-SUCH (expected an iconv name such as CP1252)"},
        {options(root.path(), "", "a.reg", {{'D', other.file("d")}}, "CP1252"),
         other.file("d") + ": not a directory (expected the folder of drive D:)"},
        {options(root.path(), "Alice", "a.reg", {}, "CP1252"),
         root.path() + ": no user profiles (expected Users/Alice/NTUSER.DAT or Documents and "
                       "Settings/Alice/NTUSER.DAT)"},
        {options(root.path(), "", "plain.txt", {}, "CP1252"),
         other.file("plain.txt") + ":1: not a registry export (expected \"REGEDIT4\" or "
                                   "\"Windows Registry Editor Version 5.00\", found just text)"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(vqrt::HostSession::open(c.options, error), nullptr) << c.expected;
        EXPECT_EQ(error, c.expected);
    }
    vqrt::HostOptions none;
    none.windowsRoot = root.path();
    std::string error;
    EXPECT_EQ(vqrt::HostSession::open(none, error), nullptr);
    EXPECT_EQ(error, root.path() + ": no Windows installation found (expected "
                                   "Windows/System32/config/SOFTWARE or a user profile under "
                                   "Users or Documents and Settings)");
}

TEST(HostSession, HandsOutPathsBelowTheRootAndTheFinderOfKindThree) {
    TempDir dir;
    const auto session = openSample(dir, "reg4");
    ASSERT_NE(session, nullptr);
    std::string local;
    session->getTools()->convertPath("c:\\program files\\icq\\UIN", local);
    EXPECT_EQ(local, dir.file("Program Files/ICQ/uin"));
    EXPECT_NE(session->getFinder(3), nullptr);
    EXPECT_EQ(session->getFinder(1), nullptr);
}

} // namespace
