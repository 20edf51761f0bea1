#include "ini/ownership.h"

#include <cerrno>
#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

/// A decimal id as chown(1) takes it: digits only, in range, and not the "no change" id -1.
template <typename Id> bool parseId(const char* text, Id& id) {
    if (*text == '\0') {
        return false;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
    }
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, nullptr, 10);
    if (errno == ERANGE || parsed >= static_cast<unsigned long long>(static_cast<Id>(-1))) {
        return false;
    }
    id = static_cast<Id>(parsed);
    return true;
}

/// A name first, then a number; a leading '+' asks for the number alone, as chown(1) does.
bool resolveUser(const char* name, uid_t& uid) {
    if (name[0] == '+') {
        return parseId(name + 1, uid);
    }
    if (const passwd* entry = getpwnam(name)) {
        uid = entry->pw_uid;
        return true;
    }
    return parseId(name, uid);
}

bool resolveGroup(const char* name, gid_t& gid) {
    if (name[0] == '+') {
        return parseId(name + 1, gid);
    }
    if (const group* entry = getgrnam(name)) {
        gid = entry->gr_gid;
        return true;
    }
    return parseId(name, gid);
}

} // namespace

void handOverOwnership(const char* path) {
    const char* user = std::getenv("VANTRY_USER");
    const char* group = std::getenv("VANTRY_GROUP");
    if (path == nullptr || user == nullptr || group == nullptr || *user == '\0' || *group == '\0') {
        return;
    }
    uid_t uid = 0;
    gid_t gid = 0;
    // Like chown(1), an owner that does not resolve stops the change before anything moves.
    if (!resolveUser(user, uid) || !resolveGroup(group, gid)) {
        return;
    }
    // A refused change leaves the file as it was; the save has succeeded either way.
    const int refused = chown(path, uid, gid);
    static_cast<void>(refused);
}
