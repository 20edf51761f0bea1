#include "confine.h"

#include <fcntl.h>
#include <iconv.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

// One thing a confined process tries; answers "ok" or the cause of the failure.
struct Probe {
    const char* label;
    std::function<std::string()> attempt;
    bool allowed;
};

std::string outcome(int rc) {
    return rc >= 0 ? "ok" : std::strerror(errno);
}

std::string openFile(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
    const std::string result = outcome(fd);
    if (fd >= 0) {
        close(fd);
    }
    return result;
}

// Runs the probes in a child confined to `plan`; one line per probe, and "enforced" or the
// reason first.
std::vector<std::string> inConfinedChild(const vqrt::ConfinementPlan& plan,
                                         const std::vector<Probe>& probes) {
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const vqrt::Confinement c = vqrt::confineProcess(plan);
        std::string report = (c.enforced ? std::string("enforced") : c.reason) + "\n";
        for (const Probe& probe : probes) {
            report += probe.attempt() + "\n";
        }
        const ssize_t written = write(pipeFds[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(report.substr(at, end - at));
    }
    return lines;
}

void expectProbes(const vqrt::ConfinementPlan& plan, const std::vector<Probe>& probes) {
    const std::vector<std::string> lines = inConfinedChild(plan, probes);
    ASSERT_EQ(lines.size(), probes.size() + 1);
    ASSERT_EQ(lines[0], "enforced");
    for (size_t i = 0; i < probes.size(); ++i) {
        EXPECT_EQ(lines[i + 1], probes[i].allowed ? "ok" : std::strerror(EACCES))
            << probes[i].label;
    }
}

class ConfineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (vqrt::landlockAbi() == 0) {
            GTEST_SKIP() << "the kernel offers no Landlock";
        }
        writeFile(dir.file("windows/Program Files/ICQ/uin/1.uin"), "[ICQ User]\n");
        writeFile(dir.file("secret"), "secret\n");
        fs::create_symlink(dir.file("secret"), dir.file("windows/Program Files/ICQ/link.dat"));
        writeFile(dir.file("export.reg"), "REGEDIT4\n");
        writeFile(dir.file("other.reg"), "REGEDIT4\n");
        fs::create_directories(dir.file("out/files"));
        fs::create_directories(dir.file("tmp/scratch"));
        plan.readTrees = {dir.file("windows")};
        plan.readFiles = {dir.file("export.reg"), dir.file("missing.reg")};
        plan.devices = {"/dev/null"};
        plan.writeTrees = {dir.file("out")};
        plan.removeDirTrees = {dir.file("tmp")};
    }

    TempDir dir;
    vqrt::ConfinementPlan plan;
};

TEST_F(ConfineTest, ReachesOnlyWhatThePlanAllows) {
    const std::string icq = dir.file("windows/Program Files/ICQ");
    const std::string out = dir.file("out");
    expectProbes(
        plan,
        {
            {"read beneath a read tree", [&] { return openFile(icq + "/uin/1.uin", O_RDONLY); },
             true},
            {"write beneath a read tree", [&] { return openFile(icq + "/uin/1.uin", O_WRONLY); },
             false},
            {"a link out of a read tree", [&] { return openFile(icq + "/link.dat", O_RDONLY); },
             false},
            {"read outside", [&] { return openFile(dir.file("secret"), O_RDONLY); }, false},
            {"read a file allowed alone",
             [&] { return openFile(dir.file("export.reg"), O_RDONLY); }, true},
            {"read the file beside it", [&] { return openFile(dir.file("other.reg"), O_RDONLY); },
             false},
            {"write a device", [] { return openFile("/dev/null", O_WRONLY); }, true},
            {"create beneath a write tree",
             [&] { return openFile(out + "/record.json.tmp", O_RDWR | O_CREAT | O_TRUNC); }, true},
            {"rename beneath a write tree",
             [&] {
                 return outcome(rename((out + "/record.json.tmp").c_str(),
                                       (out + "/files/record.json").c_str()));
             },
             true},
            {"make a link beneath a write tree",
             [&] { return outcome(symlink("/etc/shadow", (out + "/link").c_str())); }, false},
            {"remove an empty folder beneath a remove tree",
             [&] { return outcome(rmdir(dir.file("tmp/scratch").c_str())); }, true},
            {"create beneath a remove tree",
             [&] { return openFile(dir.file("tmp/file"), O_WRONLY | O_CREAT); }, false},
        });
}

TEST_F(ConfineTest, TheRuntimeStillWorks) {
    const vqrt::ConfinementPlan runtime = vqrt::runtimePlan();
    plan.readTrees.insert(plan.readTrees.end(), runtime.readTrees.begin(), runtime.readTrees.end());
    plan.readFiles.insert(plan.readFiles.end(), runtime.readFiles.begin(), runtime.readFiles.end());
    plan.devices = runtime.devices;
    const auto converts = [] {
        // The code page's module is loaded now, from iconv's folder.
        const iconv_t cd = iconv_open("UTF-8", "CP1252");
        const std::string result = outcome(cd == reinterpret_cast<iconv_t>(-1) ? -1 : 0);
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
        return result;
    };
    expectProbes(
        plan,
        {
            {"look up a user", [] { return getpwnam("root") ? "ok" : "no root"; }, true},
            {"convert from a code page", converts, true},
            {"read a zone", [] { return openFile("/usr/share/zoneinfo/UTC", O_RDONLY); }, true},
            {"read its own status", [] { return openFile("/proc/self/status", O_RDONLY); }, true},
            {"read /etc/shadow", [] { return openFile("/etc/shadow", O_RDONLY); }, false},
            {"read /etc/hosts", [] { return openFile("/etc/hosts", O_RDONLY); }, false},
            {"list /etc", [] { return openFile("/etc", O_RDONLY | O_DIRECTORY); }, false},
        });
}

} // namespace
