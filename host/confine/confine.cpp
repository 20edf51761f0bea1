#include "confine.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Rights of later ABIs, for headers older than the kernel.
#ifndef LANDLOCK_ACCESS_FS_REFER
#define LANDLOCK_ACCESS_FS_REFER (1ULL << 13)
#endif
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif
#ifndef LANDLOCK_ACCESS_FS_IOCTL_DEV
#define LANDLOCK_ACCESS_FS_IOCTL_DEV (1ULL << 15)
#endif

namespace vqrt {

namespace {

using Access = uint64_t;

// Closes its descriptor when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

constexpr Access kRead = LANDLOCK_ACCESS_FS_READ_FILE;
constexpr Access kList = LANDLOCK_ACCESS_FS_READ_DIR;
constexpr Access kWrite = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE;
constexpr Access kDevice = kRead | kWrite | LANDLOCK_ACCESS_FS_IOCTL_DEV;
constexpr Access kRemoveDir = LANDLOCK_ACCESS_FS_REMOVE_DIR;
constexpr Access kMake = LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_DIR |
                         LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                         LANDLOCK_ACCESS_FS_REFER;
// The rights a rule on a file (not a folder) may carry.
constexpr Access kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                               LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_TRUNCATE |
                               LANDLOCK_ACCESS_FS_IOCTL_DEV;

// Every file-system right the ABI knows: REFER came with 2, TRUNCATE with 3, IOCTL_DEV with 5.
Access handledRights(int abi) {
    Access rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
    if (abi >= 2) {
        rights |= LANDLOCK_ACCESS_FS_REFER;
    }
    if (abi >= 3) {
        rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
    }
    if (abi >= 5) {
        rights |= LANDLOCK_ACCESS_FS_IOCTL_DEV;
    }
    return rights;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string environmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? std::string(value) : fallback;
}

// Appends the folders of a list such as LOCPATH or GCONV_PATH ("a:b").
void appendFolders(std::vector<std::string>& folders, const std::string& list) {
    for (size_t at = 0; at <= list.size();) {
        const size_t end = std::min(list.find(':', at), list.size());
        if (end > at) {
            folders.push_back(list.substr(at, end - at));
        }
        at = end + 1;
    }
}

// The folder of the C library; iconv's modules lie in its gconv folder.
std::string libraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&iconv_open), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string path = info.dli_fname;
    return path.substr(0, path.rfind('/'));
}

// The rules of one kind of the plan, with the rights they grant.
struct RuleKind {
    const std::vector<std::string> ConfinementPlan::*paths;
    Access rights;
    const char* description;
};

const RuleKind kRuleKinds[] = {
    {&ConfinementPlan::readTrees, kRead | kList, "read beneath"},
    {&ConfinementPlan::readFiles, kRead, "read"},
    {&ConfinementPlan::devices, kDevice, "read, write and control"},
    {&ConfinementPlan::writeTrees, kRead | kList | kWrite | kMake, "read and write beneath"},
    {&ConfinementPlan::removeDirTrees, kRemoveDir, "remove empty folders beneath"},
};

int createRuleset(const landlock_ruleset_attr* attr, size_t size, uint32_t flags) {
    return static_cast<int>(syscall(SYS_landlock_create_ruleset, attr, size, flags));
}

// Adds one rule; a path that does not exist is skipped, a file keeps only the file rights.
bool addRule(int ruleset, const std::string& path, Access rights, Access handled,
             std::string& reason) {
    const Descriptor fd(open(path.c_str(), O_PATH | O_CLOEXEC));
    if (fd.get() < 0) {
        return true;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0) {
        return true;
    }
    landlock_path_beneath_attr rule{};
    rule.allowed_access = rights & handled & (S_ISDIR(st.st_mode) ? ~Access{0} : kFileRights);
    rule.parent_fd = fd.get();
    if (rule.allowed_access == 0) {
        return true;
    }
    if (syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0) {
        reason = path + ": cannot add the Landlock rule (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

std::string unavailable(int error) {
    switch (error) {
    case ENOSYS:
        return "the kernel offers no Landlock";
    case EOPNOTSUPP:
        return "Landlock is disabled in this kernel";
    default:
        return std::string("Landlock is unavailable (") + std::strerror(error) + ")";
    }
}

} // namespace

ConfinementPlan runtimePlan() {
    ConfinementPlan plan;
    const std::string home = environmentOr("HOME", "");
    const std::string libDir = libraryFolder();
    plan.readFiles = {"/etc/ld.so.cache", "/etc/nsswitch.conf", "/etc/passwd", "/etc/group",
                      "/etc/localtime"};
    plan.readTrees = {"/usr/lib/locale",
                      "/usr/share/locale",
                      environmentOr("TZDIR", "/usr/share/zoneinfo"),
                      "/etc/fonts",
                      "/usr/share/fonts",
                      "/usr/local/share/fonts",
                      "/usr/share/fontconfig",
                      "/var/cache/fontconfig",
                      "/proc/self"};
    if (!libDir.empty()) {
        plan.readTrees.push_back(libDir + "/gconv");
    }
    appendFolders(plan.readTrees, environmentOr("LOCPATH", ""));
    appendFolders(plan.readTrees, environmentOr("GCONV_PATH", ""));
    if (!home.empty()) {
        plan.readTrees.push_back(environmentOr("XDG_CACHE_HOME", home + "/.cache") + "/fontconfig");
    }
    plan.devices = {"/dev/null", "/dev/tty"};
    return plan;
}

std::vector<std::string> describePlan(const ConfinementPlan& plan) {
    std::vector<std::string> lines;
    for (const RuleKind& kind : kRuleKinds) {
        for (const std::string& path : plan.*kind.paths) {
            if (exists(path)) {
                lines.push_back(std::string(kind.description) + " " + path);
            }
        }
    }
    return lines;
}

std::string confinementReport(const std::string& program, const Confinement& confinement,
                              const ConfinementPlan& plan, const std::string& otherwise) {
    if (!confinement.enforced) {
        return program + ": not confined: " + confinement.reason + otherwise + "\n";
    }
    std::string report =
        program + ": confined with Landlock (ABI " + std::to_string(confinement.abi) + ") to:\n";
    for (const std::string& line : describePlan(plan)) {
        report += "  " + line + "\n";
    }
    return report;
}

int landlockAbi() {
    const int abi = createRuleset(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? abi : 0;
}

Confinement confineProcess(const ConfinementPlan& plan) {
    Confinement result;
    const int abi = createRuleset(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi <= 0) {
        result.reason = unavailable(errno);
        return result;
    }
    result.abi = abi;
    const Access handled = handledRights(abi);
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = handled;
    const Descriptor ruleset(createRuleset(&attr, sizeof attr, 0));
    if (ruleset.get() < 0) {
        result.reason = unavailable(errno);
        return result;
    }
    for (const RuleKind& kind : kRuleKinds) {
        for (const std::string& path : plan.*kind.paths) {
            if (!addRule(ruleset.get(), path, kind.rights, handled, result.reason)) {
                return result;
            }
        }
    }
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        result.reason = std::string("cannot set no_new_privs (") + std::strerror(errno) + ")";
        return result;
    }
    if (syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) {
        result.reason = std::string("cannot restrict the process (") + std::strerror(errno) + ")";
        return result;
    }
    result.enforced = true;
    return result;
}

} // namespace vqrt
