#include "ini/inireader.h"
#include "ini/ownership.h"
#include "support/tempdir.h"

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::TempDir;

/// Sets VANTRY_USER and VANTRY_GROUP for one test (nullopt unsets) and restores them after.
class OwnerEnvironment {
public:
    OwnerEnvironment(std::optional<std::string> user, std::optional<std::string> group)
        : savedUser_(current("VANTRY_USER")), savedGroup_(current("VANTRY_GROUP")) {
        apply("VANTRY_USER", user);
        apply("VANTRY_GROUP", group);
    }
    ~OwnerEnvironment() {
        apply("VANTRY_USER", savedUser_);
        apply("VANTRY_GROUP", savedGroup_);
    }
    OwnerEnvironment(const OwnerEnvironment&) = delete;
    OwnerEnvironment& operator=(const OwnerEnvironment&) = delete;

private:
    static std::optional<std::string> current(const char* name) {
        const char* value = getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
    static void apply(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::optional<std::string> savedUser_;
    std::optional<std::string> savedGroup_;
};

std::pair<uid_t, gid_t> ownerOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return {info.st_uid, info.st_gid};
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

/// The ids of nobody and nogroup, when this machine has them and may give files away.
std::optional<std::pair<uid_t, gid_t>> nobodyIds() {
    const passwd* user = getpwnam("nobody");
    const group* grp = getgrnam("nogroup");
    if (geteuid() != 0 || user == nullptr || grp == nullptr) {
        return std::nullopt;
    }
    return std::make_pair(user->pw_uid, grp->gr_gid);
}

std::string replaceDir(std::string text, const std::string& dir) {
    const std::string marker = "DIR";
    for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
        text.replace(at, marker.size(), dir);
        at += dir.size();
    }
    return text;
}

struct RefusedCase {
    const char* label;
    std::optional<std::string> user; // "DIR" stands for the test's temporary directory
    std::optional<std::string> group;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.label;
}

std::string labelName(std::string label) {
    for (char& c : label) {
        c = c == ' ' ? '_' : c;
    }
    return label;
}

class RefusedHandOver : public ::testing::TestWithParam<RefusedCase> {};

// Each case pairs a usable name with a missing, empty, unknown or hostile one: nothing
// may change, and no text of the variables may run as a command.
TEST_P(RefusedHandOver, ChangesNothingAndRunsNothing) {
    const RefusedCase& c = GetParam();
    TempDir dir;
    const std::string file = dir.file("owner.ini");
    testsupport::writeFile(file, "k=v\n");
    const bool pwnedBefore = exists("/tmp/pwned");
    const auto before = ownerOf(file);
    {
        const auto fill = [&](const std::optional<std::string>& v) {
            return v ? std::optional<std::string>(replaceDir(*v, dir.path())) : std::nullopt;
        };
        OwnerEnvironment env(fill(c.user), fill(c.group));
        handOverOwnership(file.c_str());
    }
    EXPECT_EQ(ownerOf(file), before) << c.label;
    EXPECT_FALSE(exists(dir.file("pwned"))) << c.label;
    if (!pwnedBefore) {
        EXPECT_FALSE(exists("/tmp/pwned")) << c.label;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variables, RefusedHandOver,
    ::testing::Values(RefusedCase{"both unset", std::nullopt, std::nullopt},
                      RefusedCase{"group unset", "nobody", std::nullopt},
                      RefusedCase{"user unset", std::nullopt, "nogroup"},
                      RefusedCase{"user empty", "", "nogroup"},
                      RefusedCase{"group empty", "nobody", ""},
                      RefusedCase{"unknown user", "no-such-user-tarvex", "nogroup"},
                      RefusedCase{"unknown group", "nobody", "no-such-group-tarvex"},
                      RefusedCase{"command in user", "x; touch /tmp/pwned", "nogroup"},
                      RefusedCase{"command in user here", "x; touch DIR/pwned", "nogroup"},
                      RefusedCase{"substitution in user", "$(touch DIR/pwned)", "nogroup"},
                      RefusedCase{"backquotes in group", "nobody", "`touch DIR/pwned`"},
                      RefusedCase{"command after group", "nobody",
                                  "nogroup DIR/owner.ini; touch DIR/pwned"},
                      RefusedCase{"id minus one", "4294967295", "nogroup"},
                      RefusedCase{"id too large", "99999999999999999999", "nogroup"},
                      RefusedCase{"negative id", "-1", "nogroup"},
                      RefusedCase{"plus forces a number", "+nobody", "nogroup"},
                      RefusedCase{"space before id", " 0", "nogroup"}),
    [](const auto& info) { return labelName(info.param.label); });

struct GrantedCase {
    const char* label;
    const char* user;
    const char* group;
};

void PrintTo(const GrantedCase& c, std::ostream* os) {
    *os << c.label;
}

class GrantedHandOver : public ::testing::TestWithParam<GrantedCase> {};

TEST_P(GrantedHandOver, GivesTheFileToNobody) {
    const auto ids = nobodyIds();
    if (!ids) {
        GTEST_SKIP() << "needs root and the users nobody and nogroup";
    }
    TempDir dir;
    // Spaces and shell characters in the path are just part of the name.
    const std::string file = dir.file("a b; touch pwned.ini");
    testsupport::writeFile(file, "");
    ASSERT_EQ(chown(file.c_str(), 0, 0), 0);
    OwnerEnvironment env(GetParam().user, GetParam().group);
    handOverOwnership(file.c_str());
    EXPECT_EQ(ownerOf(file), *ids) << GetParam().label;
    EXPECT_FALSE(exists(dir.file("pwned")));
}

INSTANTIATE_TEST_SUITE_P(Names, GrantedHandOver,
                         ::testing::Values(GrantedCase{"names", "nobody", "nogroup"},
                                           GrantedCase{"numbers", "65534", "65534"},
                                           GrantedCase{"forced numbers", "+65534", "+65534"}),
                         [](const auto& info) { return labelName(info.param.label); });

TEST(HandOver, GivesTheFileToTheCurrentUserAndGroup) {
    const passwd* user = getpwuid(geteuid());
    const group* grp = getgrgid(getegid());
    ASSERT_NE(user, nullptr);
    ASSERT_NE(grp, nullptr);
    TempDir dir;
    const std::string file = dir.file("owner.ini");
    testsupport::writeFile(file, "");
    if (geteuid() == 0) {
        // Start from another owner so the change can be seen.
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    OwnerEnvironment env(std::string(user->pw_name), std::string(grp->gr_name));
    handOverOwnership(file.c_str());
    EXPECT_EQ(ownerOf(file), std::make_pair(geteuid(), getegid()));
}

TEST(HandOver, FollowsASaveButNotAFailedOne) {
    const auto ids = nobodyIds();
    if (!ids) {
        GTEST_SKIP() << "needs root and the users nobody and nogroup";
    }
    TempDir dir;
    const OwnerEnvironment env(std::string("nobody"), std::string("nogroup"));
    CIniReader doc;
    doc.SetKeyValAlways("ICQ User", "UIN", "12345");
    ASSERT_TRUE(doc.SaveToFile(dir.file("saved.ini").c_str()));
    EXPECT_EQ(ownerOf(dir.file("saved.ini")), *ids);

    // A directory cannot be opened for writing: no save, so no hand-over either.
    const auto before = ownerOf(dir.path());
    EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()));
    EXPECT_EQ(ownerOf(dir.path()), before);
}

} // namespace
