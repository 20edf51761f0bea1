#include "installation.h"

#include "emptyhive.h"
#include "regexport.h"
#include "text/codepage.h"
#include "text/names.h"
#include "wav.h"
#include "win9xhive.h"

namespace mkwin {

namespace {

// Where the contacts export looks for <UIN>.dat when the folder its version names has none:
// the folders of later and earlier ICQ versions, newest first.
constexpr const char* kDatabaseFallbacks[] = {"2003a", "2002a", "2001a", "2000b",
                                              "2000a", "Db99b", "NewDB"};

bool writeHiveFile(const LocalTree& tree, const RelativePath& path, const RegistryTree& registry,
                   std::string& error) {
    const std::optional<std::string> local = tree.file(path, error);
    return local && writeHive(*local, registry, error);
}

bool writeExport(const LocalTree& tree, const RelativePath& path,
                 const std::vector<RegExportBranch>& branches, const Installation& inst,
                 std::string& error) {
    const RegExportFormat format = inst.registry == RegistryFormat::Reg4
                                       ? RegExportFormat::Regedit4
                                       : RegExportFormat::Version5;
    const std::optional<std::string> bytes = regExport(branches, format, inst.codepage, error);
    return bytes && tree.writeFile(path, *bytes, error);
}

// Puts the keys and values of `branch` below the key `name` of `tree`.
void graft(RegistryTree& tree, const std::string& name, const RegistryTree& branch) {
    RegistryKey& key = tree.key(name);
    key.values = branch.root().values;
    key.children = branch.root().children;
}

bool writeWin98File(const LocalTree& tree, const RelativePath& path, const RegistryTree& registry,
                    const Installation& inst, std::string& error) {
    const std::optional<std::string> bytes = win9xRegistryFile(registry, inst.codepage, error);
    if (!bytes) {
        error = joinPath(path) + ": " + error;
    }
    return bytes && tree.writeFile(path, *bytes, error);
}

// SYSTEM.DAT holds all of HKEY_LOCAL_MACHINE; the Windows folder's USER.DAT keeps the default
// user below .DEFAULT (everybody's without profiles), each profile's USER.DAT its user's keys.
bool writeWin98Registry(const LocalTree& tree, const Installation& inst, std::string& error) {
    const std::string windows = layoutInfo(inst.layout).windowsDir;
    RegistryTree machine;
    graft(machine, "SOFTWARE", inst.software);
    graft(machine, "System", inst.system);
    machine.key("Enum");
    machine.key("Config");
    RegistryTree shared;
    graft(shared, ".DEFAULT", inst.users.empty() ? inst.looseUser : inst.templateProfile.hive);
    if (!writeWin98File(tree, {windows, "SYSTEM.DAT"}, machine, inst, error) ||
        !writeWin98File(tree, {windows, "USER.DAT"}, shared, inst, error)) {
        return false;
    }
    for (const UserHive& user : inst.users) {
        RelativePath path = profileDir(inst.layout, user.name);
        path.push_back("USER.DAT");
        if (!writeWin98File(tree, path, user.hive, inst, error)) {
            return false;
        }
    }
    return true;
}

bool writeRegistry(const LocalTree& tree, const Installation& inst, std::string& error) {
    if (inst.registry != RegistryFormat::Hive) {
        std::vector<RegExportBranch> machine = {{"HKEY_LOCAL_MACHINE\\SOFTWARE", &inst.software}};
        if (!inst.system.empty()) {
            machine.push_back({"HKEY_LOCAL_MACHINE\\SYSTEM", &inst.system});
        }
        const RegExportBranch user{"HKEY_CURRENT_USER", &inst.currentUser()};
        if (registryFiles(inst).size() == 1) {
            machine.push_back(user);
            return writeExport(tree, inst.regFile, machine, inst, error);
        }
        return writeExport(tree, inst.regFile, machine, inst, error) &&
               writeExport(tree, inst.regUserFile, {user}, inst, error);
    }
    if (inst.layout == Layout::Win98) {
        return writeWin98Registry(tree, inst, error);
    }
    const LayoutInfo& info = layoutInfo(inst.layout);
    if (!writeHiveFile(tree, {info.windowsDir, "System32", "config", "SOFTWARE"}, inst.software,
                       error) ||
        (!inst.system.empty() &&
         !writeHiveFile(tree, {info.windowsDir, "System32", "config", "SYSTEM"}, inst.system,
                        error))) {
        return false;
    }
    for (const UserHive& user : inst.users) {
        if (!writeHiveFile(tree, {info.profilesDir, user.name, "NTUSER.DAT"}, user.hive, error)) {
            return false;
        }
    }
    return writeHiveFile(tree, {info.profilesDir, inst.templateProfile.name, "NTUSER.DAT"},
                         inst.templateProfile.hive, error);
}

bool writeFile(const LocalTree& tree, const PlannedFile& file, std::string& error) {
    switch (file.kind) {
    case PlannedFile::Kind::Bytes:
        return tree.writeFile(file.path, file.bytes, error);
    case PlannedFile::Kind::Wav:
        return tree.writeFile(file.path, beepWav(file.tone), error);
    case PlannedFile::Kind::Database: {
        const std::optional<std::string> local = tree.file(file.path, error);
        return local && writeIcqDatabase(*local, file.database, error);
    }
    }
    return false;
}

bool samePath(const RelativePath& a, const RelativePath& b) {
    return text::foldName(joinPath(a)) == text::foldName(joinPath(b));
}

nlohmann::ordered_json contactJson(const IcqExpectedContact& c,
                                   const text::CodepageDecoder& decoder) {
    nlohmann::ordered_json out;
    out["UIN"] = std::to_string(c.uin);
    out["First_Name"] = decoder.toUtf8(c.firstName);
    out["Last_Name"] = decoder.toUtf8(c.lastName);
    out["Description"] = decoder.toUtf8(c.myDefinedHandle);
    out["Nickname"] = decoder.toUtf8(c.nickName);
    out["Email"] = decoder.toUtf8(c.primaryEmail);
    return out;
}

// The database the contacts export of `owner` reads, with the contacts it gives.
void expectedDatabase(const Installation& inst, const OwnerPlan& owner,
                      nlohmann::ordered_json& out) {
    const int32_t version = static_cast<int32_t>(inst.icqVersion.value_or(319));
    std::vector<std::string> folders = {version > 319 ? "2000a" : "Db99b"};
    folders.insert(folders.end(), std::begin(kDatabaseFallbacks), std::end(kDatabaseFallbacks));
    for (const std::string& folder : folders) {
        RelativePath path = inst.icqFolder;
        path.push_back(folder);
        path.push_back(owner.uin + ".dat");
        for (const PlannedFile& file : inst.files) {
            if (!samePath(file.path, path)) {
                continue;
            }
            out["database"] = joinPath(file.path);
            if (file.kind != PlannedFile::Kind::Database) {
                out["contacts"] = nullptr; // an extra file of unknown content
                return;
            }
            out["contacts"] = nlohmann::ordered_json::array();
            const text::CodepageDecoder decoder(inst.codepage);
            for (const IcqExpectedContact& c : expectedContacts(file.database)) {
                out["contacts"].push_back(contactJson(c, decoder));
            }
            return;
        }
    }
    out["database"] = nullptr;
    out["contacts"] = nlohmann::ordered_json::array();
}

} // namespace

bool buildInstallation(const nlohmann::json& description, const std::string& root,
                       std::string& error) {
    const std::optional<Installation> inst = parseDescription(description, {}, error);
    return inst && writeInstallation(*inst, root, error);
}

bool writeInstallation(const Installation& installation, const std::string& root,
                       std::string& error) {
    const LocalTree tree(root);
    bool ok = tree.createRoot(error);
    for (size_t i = 0; ok && i < installation.folders.size(); ++i) {
        ok = tree.folder(installation.folders[i], error).has_value();
    }
    ok = ok && writeRegistry(tree, installation, error);
    // Files last: an extra file may stand in for a hive or an export.
    for (size_t i = 0; ok && i < installation.files.size(); ++i) {
        ok = writeFile(tree, installation.files[i], error);
    }
    return ok;
}

std::vector<RelativePath> registryFiles(const Installation& installation) {
    if (installation.registry == RegistryFormat::Hive) {
        return {};
    }
    if (installation.regUserFile.empty() ||
        samePath(installation.regUserFile, installation.regFile)) {
        return {installation.regFile};
    }
    return {installation.regFile, installation.regUserFile};
}

nlohmann::ordered_json expectedImport(const Installation& installation) {
    const Installation& inst = installation;
    nlohmann::ordered_json out;
    out["user"] = inst.icqUser ? nlohmann::ordered_json(inst.users[*inst.icqUser].name)
                               : nlohmann::ordered_json(nullptr);
    out["registryFiles"] = nlohmann::ordered_json::array();
    for (const RelativePath& file : registryFiles(inst)) {
        out["registryFiles"].push_back(joinPath(file));
    }
    out["icqInstalled"] = inst.icq && inst.icqInstalled;
    out["icqVersion"] = static_cast<int32_t>(inst.icqVersion.value_or(319));
    out["owners"] = nlohmann::ordered_json::array();
    for (const OwnerPlan& owner : inst.owners) {
        nlohmann::ordered_json o;
        o["uin"] = owner.uin;
        o["nickname"] = owner.nickname
                            ? nlohmann::ordered_json(text::toUtf8(*owner.nickname, inst.codepage))
                            : nlohmann::ordered_json(nullptr);
        o["listed"] = owner.nickname.has_value() && !owner.nickname->empty();
        o["ownerFile"] = joinPath(owner.ownerFile);
        o["lineEnd"] = owner.crlf ? "crlf" : "lf";
        o["personalSounds"] = owner.personalSounds;
        expectedDatabase(inst, owner, o);
        out["owners"].push_back(std::move(o));
    }
    return out;
}

} // namespace mkwin
