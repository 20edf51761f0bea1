#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "filefinder.h"
#include "layeredregistry.h"
#include "pathconverter.h"
#include "vqrt/arbiter.h"
#include "windowsinstall.h"

namespace vqrt {

/// What a person points a host at.
struct HostOptions {
    /// The mounted Windows system volume (drive C:).
    std::string windowsRoot;
    /// The Windows user whose settings are read; empty for the only one.
    std::string user;
    /// .reg exports layered over the hives, later ones on top.
    std::vector<std::string> regFiles;
    /// Further drive letters and the local folders that hold them.
    std::map<char, std::string> drives;
    /// The installation's ANSI code page, an iconv name.
    std::string codepage = "CP1252";
};

/// Reads one --drive value, "D=DIR" (the letter in either case, "D:=DIR" too; not C, which
/// is the Windows root); false with one line in `error` otherwise.
bool parseDrive(const std::string& text, char& letter, std::string& folder, std::string& error);

/// The host side of one installation: its registry, path conversion and file finder, handed
/// to plug-ins as their arbiter. The agent is the host program's own.
class HostSession : public CArbiter {
public:
    /// Opens the installation; null with one line in `error` when it cannot be used (a missing
    /// root, no Windows installation and no .reg export, an unknown user, an unreadable .reg
    /// file, an unknown code page, a drive folder that does not exist). Relative folders are
    /// made absolute.
    static std::unique_ptr<HostSession> open(const HostOptions& given, std::string& error);

    CHostAgent* getAgent() override { return agent_; }
    CRegistryReader* getRegistry() override { return registry_.get(); }
    CVantryTools* getTools() override { return &converter_; }
    CFileFinder* getFinder(int kind) override { return kind == 3 ? &finder_ : nullptr; }

    /// The agent handed to plug-ins.
    void setAgent(CHostAgent* agent) { agent_ = agent; }
    /// Where problems found during the run go (an owner file left out), one line each;
    /// standard error until set.
    void setWarningSink(std::function<void(const std::string&)> sink) { warn_ = std::move(sink); }
    /// Damaged hives, skipped .reg lines: worth telling the user, not fatal.
    std::vector<std::string> warnings() const { return registry_->warnings(); }
    /// The Windows user whose hive is read, if any.
    const std::optional<UserProfile>& user() const { return user_; }
    /// The machine's SOFTWARE hive that is read; empty when the installation has none.
    const std::string& softwareHive() const { return softwareHive_; }
    const HostOptions& options() const { return options_; }
    /// The drives that paths the plug-in asked for were on but that are not given (see
    /// PathConverter::unmappedDrives).
    const std::map<char, std::string>& unmappedDrives() const {
        return converter_.unmappedDrives();
    }

private:
    HostSession(HostOptions options, std::unique_ptr<LayeredRegistry> registry,
                std::optional<UserProfile> user, std::string softwareHive);

    HostOptions options_;
    std::unique_ptr<LayeredRegistry> registry_;
    std::optional<UserProfile> user_;
    std::string softwareHive_;
    PathConverter converter_;
    DirectoryFinder finder_;
    CHostAgent* agent_ = nullptr;
    std::function<void(const std::string&)> warn_;
};

} // namespace vqrt
