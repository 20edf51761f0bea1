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

using Owner = std::pair<uid_t, gid_t>;
using Names = std::pair<std::string, std::string>;

/// Sets VANTRY_USER and VANTRY_GROUP; "(unset)" unsets. Each test runs in a process of its own.
void setOwnerNames(const Names& names) {
    for (const auto& [variable, value] :
         {Names{"VANTRY_USER", names.first}, Names{"VANTRY_GROUP", names.second}}) {
        value == "(unset)" ? unsetenv(variable.c_str())
                           : setenv(variable.c_str(), value.c_str(), 1);
    }
}

Owner ownerOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return {info.st_uid, info.st_gid};
}

// Each case pairs a usable name with a missing, empty, unknown or hostile one: nothing may
// change, and no text of the variables may run as a command.
TEST(HandOver, RefusedNamesChangeNothingAndRunNothing) {
    testsupport::TempDir dir;
    const std::string file = dir.file("owner.ini");
    testsupport::writeFile(file, "k=v\n");
    const Owner before = ownerOf(file);
    const std::string touch = "touch " + dir.file("pwned");
    for (const Names& names : {Names{"(unset)", "nogroup"},
                               {"nobody", ""},
                               {"nobody", "no-such-group-tarvex"},
                               {"nobody", "nogroup " + file + "; " + touch},
                               {"$(" + touch + ")", "nogroup"},
                               {"4294967295", "nogroup"},
                               {"99999999999999999999", "nogroup"},
                               {"+nobody", "nogroup"}}) {
        setOwnerNames(names);
        handOverOwnership(file.c_str());
        EXPECT_EQ(ownerOf(file), before) << names.first << " / " << names.second;
        EXPECT_NE(access(dir.file("pwned").c_str(), F_OK), 0);
    }
}

// A save hands the file over by names or by numbers ("+" forces a number); a failed save hands
// nothing over. As root the file goes to nobody, otherwise to the user itself.
TEST(HandOver, FollowsASaveButNotAFailedOne) {
    const bool root = geteuid() == 0;
    const passwd* user = root ? getpwnam("nobody") : getpwuid(geteuid());
    const group* grp = root ? getgrnam("nogroup") : getgrgid(getegid());
    ASSERT_TRUE(user != nullptr && grp != nullptr);
    const Owner ids(user->pw_uid, grp->gr_gid);
    testsupport::TempDir dir;
    // Spaces and shell characters in the path are just part of the name.
    const std::string file = dir.file("a b; touch pwned.ini");
    CIniReader doc;
    for (const Names& names : {Names{user->pw_name, grp->gr_name},
                               {"+" + std::to_string(ids.first), std::to_string(ids.second)}}) {
        testsupport::writeFile(file, "");
        ASSERT_TRUE(!root || chown(file.c_str(), 0, 0) == 0);
        setOwnerNames(names);
        ASSERT_TRUE(doc.SaveToFile(file.c_str()));
        EXPECT_EQ(ownerOf(file), ids) << names.first;
        const Owner before = ownerOf(dir.path());
        EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()));
        EXPECT_EQ(ownerOf(dir.path()), before);
    }
    EXPECT_NE(access(dir.file("pwned").c_str(), F_OK), 0);
}

} // namespace
