#include "ini/inireader.h"
#include "ini/ownership.h"
#include "support/tempdir.h"

#include <optional>
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
using Owner = std::pair<uid_t, gid_t>;

/// Sets VANTRY_USER and VANTRY_GROUP (nullopt unsets) while it lives, then unsets them.
struct OwnerEnvironment {
    OwnerEnvironment(const std::optional<std::string>& user,
                     const std::optional<std::string>& group) {
        set("VANTRY_USER", user);
        set("VANTRY_GROUP", group);
    }
    static void set(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~OwnerEnvironment() {
        unsetenv("VANTRY_USER");
        unsetenv("VANTRY_GROUP");
    }
};

Owner ownerOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return {info.st_uid, info.st_gid};
}

/// The ids of nobody and nogroup, when this machine has them and may give files away.
std::optional<Owner> nobodyIds() {
    const passwd* user = getpwnam("nobody");
    const group* grp = getgrnam("nogroup");
    if (geteuid() != 0 || user == nullptr || grp == nullptr) {
        return std::nullopt;
    }
    return Owner(user->pw_uid, grp->gr_gid);
}

// Each case pairs a usable name with a missing, empty, unknown or hostile one: nothing may
// change, and no text of the variables may run as a command.
TEST(HandOver, RefusedNamesChangeNothingAndRunNothing) {
    struct Case {
        std::optional<std::string> user;
        std::optional<std::string> group;
    };
    TempDir dir;
    const std::string file = dir.file("owner.ini");
    testsupport::writeFile(file, "k=v\n");
    const Owner before = ownerOf(file);
    const std::string pwned = dir.file("pwned");
    for (const Case& c :
         {Case{std::nullopt, "nogroup"}, Case{"nobody", std::nullopt}, Case{"", "nogroup"},
          Case{"nobody", "no-such-group-tarvex"}, Case{"x; touch " + pwned, "nogroup"},
          Case{"$(touch " + pwned + ")", "nogroup"},
          Case{"nobody", "nogroup " + file + "; touch " + pwned}, Case{"4294967295", "nogroup"},
          Case{"99999999999999999999", "nogroup"}, Case{"-1", "nogroup"}, Case{" 0", "nogroup"},
          Case{"+nobody", "nogroup"}}) {
        SCOPED_TRACE(c.user.value_or("(unset)") + " / " + c.group.value_or("(unset)"));
        {
            const OwnerEnvironment env(c.user, c.group);
            handOverOwnership(file.c_str());
        }
        EXPECT_EQ(ownerOf(file), before);
        EXPECT_NE(access(pwned.c_str(), F_OK), 0);
    }
}

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
    const OwnerEnvironment env(std::string(user->pw_name), std::string(grp->gr_name));
    handOverOwnership(file.c_str());
    EXPECT_EQ(ownerOf(file), Owner(geteuid(), getegid()));
}

// A save hands the file over by name or number; a failed save hands nothing over.
TEST(HandOver, FollowsASaveButNotAFailedOne) {
    const auto ids = nobodyIds();
    if (!ids) {
        GTEST_SKIP() << "needs root and the users nobody and nogroup";
    }
    TempDir dir;
    // Spaces and shell characters in the path are just part of the name.
    const std::string file = dir.file("a b; touch pwned.ini");
    CIniReader doc;
    doc.SetKeyValAlways("ICQ User", "UIN", "12345");
    for (const auto& [user, group] : {std::pair<std::string, std::string>{"nobody", "nogroup"},
                                      {"65534", "65534"},
                                      {"+65534", "+65534"}}) {
        testsupport::writeFile(file, "");
        ASSERT_EQ(chown(file.c_str(), 0, 0), 0);
        const OwnerEnvironment env(user, group);
        ASSERT_TRUE(doc.SaveToFile(file.c_str()));
        EXPECT_EQ(ownerOf(file), *ids) << user;
        // A directory cannot be opened for writing.
        const Owner before = ownerOf(dir.path());
        EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()));
        EXPECT_EQ(ownerOf(dir.path()), before);
    }
    EXPECT_NE(access(dir.file("pwned").c_str(), F_OK), 0);
}

} // namespace
