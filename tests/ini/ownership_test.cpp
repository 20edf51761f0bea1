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

Owner ownerOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return {info.st_uid, info.st_gid};
}

// A save hands the file over by names or by numbers ("+" forces a number), unless a name is
// missing, empty, unknown or hostile; no text of the variables runs as a command, and a failed
// save hands nothing over. As root the file goes to nobody, otherwise to the user itself.
TEST(HandOver, FollowsASaveToUsableNamesOnly) {
    const bool root = geteuid() == 0;
    const passwd* user = root ? getpwnam("nobody") : getpwuid(geteuid());
    const group* grp = root ? getgrnam("nogroup") : getgrgid(getegid());
    ASSERT_TRUE(user != nullptr && grp != nullptr);
    const Owner ids(user->pw_uid, grp->gr_gid);
    testsupport::TempDir dir;
    // Spaces and shell characters in the path are just part of the name.
    const std::string file = dir.file("a b; touch pwned.ini");
    const std::string touch = "$(touch " + dir.file("pwned") + ")";
    CIniReader doc;
    for (const auto& [names, handed] :
         {std::pair<Names, bool>{{"(unset)", grp->gr_name}, false},
          {{user->pw_name, "no-such-group-tarvex"}, false},
          {{touch, grp->gr_name}, false},
          {{"4294967295", grp->gr_name}, false},
          {{"+nobody", grp->gr_name}, false},
          {{user->pw_name, grp->gr_name}, true},
          {{"+" + std::to_string(ids.first), std::to_string(ids.second)}, true}}) {
        testsupport::writeFile(file, "");
        ASSERT_TRUE(!root || chown(file.c_str(), 0, 0) == 0);
        const Owner before = ownerOf(file);
        // "(unset)" unsets a variable. Each test runs in a process of its own.
        for (const auto& [variable, value] :
             {Names{"VANTRY_USER", names.first}, Names{"VANTRY_GROUP", names.second}}) {
            value == "(unset)" ? unsetenv(variable.c_str())
                               : setenv(variable.c_str(), value.c_str(), 1);
        }
        ASSERT_TRUE(doc.SaveToFile(file.c_str()));
        EXPECT_EQ(ownerOf(file), handed ? ids : before) << names.first << " / " << names.second;
    }
    const Owner before = ownerOf(dir.path());
    EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()));
    EXPECT_EQ(ownerOf(dir.path()), before);
    EXPECT_NE(access(dir.file("pwned").c_str(), F_OK), 0);
}

} // namespace
