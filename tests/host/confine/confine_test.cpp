#include "confine.h"

#include <fcntl.h>
#include <iconv.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/tempdir.h"

namespace {

// One thing a confined process tries (0, or -1 with errno), and whether the plan allows it.
struct Probe {
    const char* label;
    std::function<int()> attempt;
    bool allowed;
};

int openFile(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
    return fd < 0 ? -1 : close(fd);
}

// Runs the probes in a child confined to `plan`; the kernel refuses those not allowed.
void expectProbes(const vqrt::ConfinementPlan& plan, const std::vector<Probe>& probes) {
    if (vqrt::landlockAbi() == 0) {
        GTEST_SKIP() << "the kernel offers no Landlock";
    }
    std::string expected = "enforced\n";
    for (const Probe& probe : probes) {
        expected +=
            probe.label + std::string(": ") + (probe.allowed ? "ok" : std::strerror(EACCES)) + "\n";
    }
    EXPECT_EQ(testsupport::inChild([&] {
                  std::string report =
                      vqrt::confineProcess(plan).enforced ? "enforced\n" : "not enforced\n";
                  for (const Probe& probe : probes) {
                      const bool ok = probe.attempt() == 0;
                      report += probe.label + std::string(": ") +
                                (ok ? "ok" : std::strerror(errno)) + "\n";
                  }
                  return report;
              }),
              expected);
}

TEST(Confine, ReachesOnlyWhatThePlanAllows) {
    testsupport::TempDir dir;
    const std::string uin = dir.file("windows/1.uin");
    const std::string out = dir.file("out");
    testsupport::writeFile(uin, "[ICQ User]\n");
    testsupport::writeFile(dir.file("export.reg"), "REGEDIT4\n");
    testsupport::writeFile(dir.file("other.reg"), "REGEDIT4\n");
    std::filesystem::create_symlink(dir.file("other.reg"), dir.file("windows/link.dat"));
    std::filesystem::create_directories(out + "/files");
    std::filesystem::create_directories(dir.file("tmp/scratch"));
    vqrt::ConfinementPlan plan;
    plan.readTrees = {dir.file("windows")};
    plan.readFiles = {dir.file("export.reg"), dir.file("missing.reg")};
    plan.devices = {"/dev/null"};
    plan.writeTrees = {out};
    plan.removeDirTrees = {dir.file("tmp")};
    const std::string tmp = out + "/record.json.tmp";
    expectProbes(
        plan,
        {
            {"read beneath a read tree", [&] { return openFile(uin, O_RDONLY); }, true},
            {"a link out of a read tree",
             [&] { return openFile(dir.file("windows/link.dat"), O_RDONLY); }, false},
            {"read a file allowed alone",
             [&] { return openFile(dir.file("export.reg"), O_RDONLY); }, true},
            {"write a device", [] { return openFile("/dev/null", O_WRONLY); }, true},
            {"create beneath a write tree", [&] { return openFile(tmp, O_RDWR | O_CREAT); }, true},
            {"rename beneath a write tree",
             [&] { return rename(tmp.c_str(), (out + "/files/record.json").c_str()); }, true},
            {"make a link beneath a write tree",
             [&] { return symlink("/etc/shadow", (out + "/link").c_str()); }, false},
            {"remove an empty folder beneath a remove tree",
             [&] { return rmdir(dir.file("tmp/scratch").c_str()); }, true},
        });
}

TEST(Confine, TheRuntimeStillWorks) {
    const auto converts = [] {
        // The code page's module is loaded now, from iconv's folder.
        const iconv_t cd = iconv_open("UTF-8", "CP1252");
        return cd == reinterpret_cast<iconv_t>(-1) ? -1 : iconv_close(cd);
    };
    expectProbes(vqrt::runtimePlan(),
                 {
                     {"look up a user", [] { return getpwnam("root") ? 0 : -1; }, true},
                     {"convert from a code page", converts, true},
                     {"read /etc/shadow", [] { return openFile("/etc/shadow", O_RDONLY); }, false},
                 });
}

} // namespace
