#include "ini/inireader.h"
#include "ini/ownership.h"
#include "support/tempdir.h"

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
const char* const kUnset = nullptr;

/// Sets VANTRY_USER and VANTRY_GROUP (null unsets) while it lives, then unsets them.
struct OwnerEnvironment {
    OwnerEnvironment(const char* user, const char* group) {
        user != nullptr ? setenv("VANTRY_USER", user, 1) : unsetenv("VANTRY_USER");
        group != nullptr ? setenv("VANTRY_GROUP", group, 1) : unsetenv("VANTRY_GROUP");
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

// Each case pairs a usable name with a missing, empty, unknown or hostile one: nothing may
// change, and no text of the variables may run as a command.
TEST(HandOver, RefusedNamesChangeNothingAndRunNothing) {
    TempDir dir;
    const std::string file = dir.file("owner.ini");
    testsupport::writeFile(file, "k=v\n");
    const Owner before = ownerOf(file);
    const std::string pwned = dir.file("pwned");
    const std::string touch = "touch " + pwned;
    const std::pair<std::string, std::string> cases[] = {
        {"(unset)", "nogroup"},
        {"", "nogroup"},
        {"nobody", "no-such-group-tarvex"},
        {"x; " + touch, "nogroup"},
        {"$(" + touch + ")", "nogroup"},
        {"nobody", "nogroup " + file + "; " + touch},
        {"4294967295", "nogroup"},
        {"99999999999999999999", "nogroup"},
        {"-1", "nogroup"},
        {" 0", "nogroup"},
        {"+nobody", "nogroup"}};
    for (const auto& [user, group] : cases) {
        SCOPED_TRACE(user + " / " + group);
        {
            const OwnerEnvironment env(user == "(unset)" ? kUnset : user.c_str(), group.c_str());
            handOverOwnership(file.c_str());
        }
        EXPECT_EQ(ownerOf(file), before);
        EXPECT_NE(access(pwned.c_str(), F_OK), 0);
    }
    const OwnerEnvironment groupUnset("nobody", kUnset);
    handOverOwnership(file.c_str());
    EXPECT_EQ(ownerOf(file), before);
}

// A save hands the file over by name, by number, or by a number forced with "+"; a failed save
// hands nothing over. As root the file goes to nobody, otherwise to the user itself.
TEST(HandOver, FollowsASaveButNotAFailedOne) {
    const bool root = geteuid() == 0;
    const passwd* user = root ? getpwnam("nobody") : getpwuid(geteuid());
    const group* grp = root ? getgrnam("nogroup") : getgrgid(getegid());
    ASSERT_TRUE(user != nullptr && grp != nullptr);
    const Owner ids(user->pw_uid, grp->gr_gid);
    const std::pair<std::string, std::string> names[] = {
        {user->pw_name, grp->gr_name},
        {std::to_string(ids.first), std::to_string(ids.second)},
        {"+" + std::to_string(ids.first), "+" + std::to_string(ids.second)}};
    TempDir dir;
    // Spaces and shell characters in the path are just part of the name.
    const std::string file = dir.file("a b; touch pwned.ini");
    CIniReader doc;
    doc.SetKeyValAlways("ICQ User", "UIN", "12345");
    for (const auto& [userName, groupName] : names) {
        testsupport::writeFile(file, "");
        ASSERT_TRUE(!root || chown(file.c_str(), 0, 0) == 0);
        const OwnerEnvironment env(userName.c_str(), groupName.c_str());
        ASSERT_TRUE(doc.SaveToFile(file.c_str()));
        EXPECT_EQ(ownerOf(file), ids) << userName;
        const Owner before = ownerOf(dir.path());
        EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()));
        EXPECT_EQ(ownerOf(dir.path()), before);
    }
    EXPECT_NE(access(dir.file("pwned").c_str(), F_OK), 0);
}

} // namespace
