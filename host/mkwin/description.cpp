#include "description.h"

#include <algorithm>
#include <ctime>
#include <initializer_list>

#include "emptyhive.h"
#include "icqgen.h"
#include "jsonread.h"
#include "regexport.h"
#include "text/codepage.h"
#include "text/names.h"

namespace mkwin {

namespace {

using namespace jsonread;
using nlohmann::json;

const std::string kSoundsKey = "Software\\Mirabilis\\ICQ\\DefaultPrefs\\Sounds";
const std::string kDefaultPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
const std::string kOwners = "Software\\Mirabilis\\ICQ\\Owners\\";
const std::string kAppPaths = "Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";

// Limits that keep a description from asking for absurd amounts of work.
constexpr uint64_t kMaxGenerated = 100000;
constexpr uint64_t kMaxHistoryBytes = uint64_t{16} << 30;
constexpr uint64_t kMaxMessages = 10000000;

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text::foldName(text.substr(0, prefix.size())) == prefix;
}

std::string windowsForm(const RelativePath& path) {
    std::string out = "C:";
    for (const std::string& name : path) {
        out += "\\" + name;
    }
    return path.empty() ? out + "\\" : out;
}

class Parser {
public:
    explicit Parser(const DescriptionOptions& options) : options_(options) {}

    Installation run(const json& d) {
        checkObject(d, "",
                    {"layout", "users", "icqUser", "codepage", "registry", "timeZone", "icq",
                     "extraValues", "extraFiles"});
        const json* layout = find(d, "layout");
        const json overridden = options_.layout ? json(*options_.layout) : json();
        if (options_.layout) {
            layout = &overridden;
        }
        if (layout != nullptr) {
            const std::string w = word(*layout, "layout", {"xp", "vista", "7", "nt", "98"});
            inst_.layout = w == "xp"      ? Layout::Xp
                           : w == "vista" ? Layout::Vista
                           : w == "7"     ? Layout::Seven
                           : w == "98"    ? Layout::Win98
                                          : Layout::Nt;
        }
        if (const json* codepage = find(d, "codepage")) {
            inst_.codepage = text(*codepage, "codepage");
            if (!text::isKnownCodepage(inst_.codepage)) {
                fail("codepage", "unknown code page " + shown(*codepage) +
                                     " (expected an iconv name such as \"CP1252\")");
            }
        }
        users(d);
        registry(d);
        windows();
        if (find(d, "codepage") != nullptr) {
            ansiCodepage();
        }
        if (const json* zone = find(d, "timeZone")) {
            timeZone(*zone);
        }
        if (const json* icq = find(d, "icq")) {
            this->icq(*icq);
        }
        if (const json* values = find(d, "extraValues")) {
            extraValues(*values);
        }
        if (const json* files = find(d, "extraFiles")) {
            extraFiles(*files);
        }
        if (inst_.registry == RegistryFormat::Reg4) {
            checkRegedit4();
        }
        return std::move(inst_);
    }

private:
    void users(const json& d) {
        // Windows 98 starts without user profiles.
        std::vector<std::string> names;
        if (inst_.layout != Layout::Win98) {
            names.push_back("User");
        }
        if (const json* list = find(d, "users")) {
            if (!list->is_array()) {
                expected("users", "a list of user names", *list);
            }
            names.clear();
            for (size_t i = 0; i < list->size(); ++i) {
                const std::string path = element("users", i);
                const std::string name = plainName((*list)[i], path);
                const std::string folded = text::foldName(name);
                const LayoutInfo& info = layoutInfo(inst_.layout);
                if (folded == text::foldName(info.defaultProfile) ||
                    folded == text::foldName(info.sharedProfile)) {
                    fail(path, "\"" + name + "\" is a profile Windows keeps for itself");
                }
                if (std::any_of(names.begin(), names.end(), [&](const std::string& n) {
                        return text::foldName(n) == folded;
                    })) {
                    fail(path, "\"" + name + "\" is listed twice");
                }
                names.push_back(name);
            }
        }
        for (size_t i = 0; i < names.size(); ++i) {
            userOrigins_.push_back(find(d, "users") != nullptr ? element("users", i) : "users");
            inst_.users.push_back(UserHive{names[i], {}});
        }
        if (d.contains("icqUser")) {
            const json& wanted = d["icqUser"];
            if (!wanted.is_null()) {
                inst_.icqUser = userIndex(wanted, "icqUser");
            }
        } else if (!inst_.users.empty()) {
            inst_.icqUser = 0;
        }
    }

    size_t userIndex(const json& value, const std::string& path) const {
        const std::string name = text(value, path);
        for (size_t i = 0; i < inst_.users.size(); ++i) {
            if (inst_.users[i].name == name) {
                return i;
            }
        }
        fail(path, "expected one of the users, found " + shown(value));
    }

    void registry(const json& d) {
        std::string format = "hive";
        RelativePath file = {"registry.reg"};
        RelativePath userFile;
        if (const json* r = find(d, "registry")) {
            if (r->is_object()) {
                checkObject(*r, "registry", {"format", "file", "userFile"});
                if (const json* f = find(*r, "format")) {
                    format = word(*f, "registry.format", {"hive", "reg4", "reg5"});
                }
                if (const json* f = find(*r, "file")) {
                    file = filePath(*f, "registry.file");
                }
                if (const json* f = find(*r, "userFile")) {
                    userFile = filePath(*f, "registry.userFile");
                }
            } else if (r->is_string()) {
                format = word(*r, "registry", {"hive", "reg4", "reg5"});
            } else {
                expected("registry", "\"hive\", \"reg4\", \"reg5\" or an object", *r);
            }
        }
        inst_.registry = options_.registry ? *options_.registry : *parseRegistryFormat(format);
        inst_.regFile = file;
        inst_.regUserFile = userFile;
    }

    RelativePath filePath(const json& value, const std::string& path) const {
        RelativePath parsed = drivePath(value, path);
        if (parsed.empty()) {
            expected(path, "a file path such as \"C:\\\\registry.reg\"", value);
        }
        return parsed;
    }

    void windows() {
        const LayoutInfo& info = layoutInfo(inst_.layout);
        inst_.folders = systemFolders(inst_.layout);
        const std::string owner = inst_.users.empty() ? "Owner" : inst_.users.front().name;
        addMachineKeys(inst_.layout, owner, inst_.users.empty() ? "layout" : userOrigins_[0],
                       inst_.software);
        for (size_t i = 0; i < inst_.users.size(); ++i) {
            for (RelativePath& folder : profileFolders(inst_.layout, inst_.users[i].name)) {
                inst_.folders.push_back(std::move(folder));
            }
            addUserKeys(inst_.layout, inst_.users[i].name, userOrigins_[i], inst_.users[i].hive);
        }
        inst_.templateProfile.name = info.defaultProfile;
        addUserKeys(inst_.layout, "", "layout", inst_.templateProfile.hive);
        if (inst_.layout == Layout::Win98 && inst_.users.empty()) {
            // Without profiles the Windows folder's USER.DAT is everybody's, ICQ's keys too.
            addUserKeys(inst_.layout, "", "layout", inst_.looseUser);
        }
    }

    // The ANSI code page Windows writes its texts in, by number in the control set in use
    // ("CP1251" is 1251); a name without a number is not written.
    void ansiCodepage() {
        std::string number = inst_.codepage;
        for (const char* prefix : {"CP", "WINDOWS-"}) {
            const std::string p(prefix);
            if (number.size() > p.size() &&
                text::foldName(number.substr(0, p.size())) == text::foldName(p)) {
                number = number.substr(p.size());
            }
        }
        if (number.empty() || !std::all_of(number.begin(), number.end(),
                                           [](char c) { return c >= '0' && c <= '9'; })) {
            return;
        }
        inst_.system.setString(controlSet("codepage") + "\\Control\\Nls\\CodePage", "ACP", number,
                               "codepage");
    }

    // The zone Windows is set to: the control set in use names it, by its standard name in the
    // language of Windows (XP) and by its key under Time Zones (Vista and later).
    void timeZone(const json& zone) {
        const std::string path = "timeZone";
        checkObject(zone, path, {"key", "standardName"});
        const json* key = find(zone, "key");
        if (key == nullptr) {
            fail(path, "expected an object with \"key\", such as \"W. Europe Standard Time\"");
        }
        const std::string keyName = text(*key, member(path, "key"));
        const json* standard = find(zone, "standardName");
        const std::string standardName =
            standard != nullptr ? text(*standard, member(path, "standardName")) : keyName;
        const std::string information = controlSet(path) + "\\Control\\TimeZoneInformation";
        inst_.system.setString(information, "StandardName", standardName, path);
        if (inst_.layout == Layout::Vista || inst_.layout == Layout::Seven) {
            inst_.system.setString(information, "TimeZoneKeyName", keyName, path);
        }
        const std::string zones = inst_.layout == Layout::Win98
                                      ? "Microsoft\\Windows\\CurrentVersion\\Time Zones\\"
                                      : "Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\";
        inst_.software.setString(zones + keyName, "Std", standardName, path);
    }

    // The control set in use: NT selects ControlSet001, Windows 98 has only the current one.
    std::string controlSet(const std::string& origin) {
        if (inst_.layout == Layout::Win98) {
            return "CurrentControlSet";
        }
        inst_.system.setDword("Select", "Current", 1, origin);
        inst_.system.setDword("Select", "Default", 1, origin);
        return "ControlSet001";
    }

    // --- ICQ ---------------------------------------------------------------------------

    void icq(const json& icq) {
        const std::string path = "icq";
        checkObject(
            icq, path,
            {"installed", "folder", "appPath", "version", "server", "defaultSounds", "owners"});
        inst_.icq = true;
        const json* folder = find(icq, "folder");
        inst_.icqFolder = folder != nullptr ? drivePath(*folder, member(path, "folder"))
                                            : RelativePath{"Program Files", "ICQ"};
        const std::string icqDir = windowsForm(inst_.icqFolder);
        const std::string exe = icqDir + "\\ICQ.exe";
        inst_.icqInstalled = true;
        if (const json* installed = find(icq, "installed")) {
            inst_.icqInstalled = flag(*installed, member(path, "installed"));
        }
        RegistryTree& user = inst_.currentUser();
        if (inst_.icqInstalled) {
            const std::string appPath = textOr(icq, "appPath", path, exe);
            const std::string origin = member(path, find(icq, "appPath") ? "appPath" : "folder");
            inst_.software.setString(kAppPaths, "", appPath, origin);
            inst_.software.setString(kAppPaths, "Path", icqDir, member(path, "folder"));
            const std::string uninstall = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\ICQ";
            inst_.software.setString(uninstall, "DisplayName", "ICQ", path);
            inst_.software.setString(uninstall, "DisplayIcon", exe, member(path, "folder"));
            inst_.software.setString(uninstall, "UninstallString", icqDir + "\\ICQUninstall.exe",
                                     member(path, "folder"));
            user.setString("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "ICQ",
                           exe + " -minimize", member(path, "folder"));
            addFile(PlannedFile{withName(inst_.icqFolder, "ICQ.exe"),
                                PlannedFile::Kind::Bytes,
                                programStub(),
                                0,
                                {}},
                    true);
        }
        inst_.folders.push_back(withName(inst_.icqFolder, "uin"));

        user.key(kDefaultPrefs);
        if (const json* version = find(icq, "version")) {
            const uint32_t v = dword(*version, member(path, "version"));
            inst_.icqVersion = v;
            user.setDword(kDefaultPrefs, "ICQ Version", v, member(path, "version"));
        }
        if (const json* server = find(icq, "server")) {
            const std::string sp = member(path, "server");
            checkObject(*server, sp, {"host", "port"});
            if (const json* host = find(*server, "host")) {
                user.setString(kDefaultPrefs, "Default Server Host",
                               text(*host, member(sp, "host")), member(sp, "host"));
            }
            if (const json* port = find(*server, "port")) {
                user.setDword(kDefaultPrefs, "Default Server Port",
                              dword(*port, member(sp, "port")), member(sp, "port"));
            }
        }
        if (const json* sounds = find(icq, "defaultSounds")) {
            this->sounds(*sounds, member(path, "defaultSounds"), kSoundsKey);
        }
        if (const json* owners = find(icq, "owners")) {
            const std::string op = member(path, "owners");
            if (!owners->is_array()) {
                expected(op, "a list of owners", *owners);
            }
            for (size_t i = 0; i < owners->size(); ++i) {
                owner((*owners)[i], element(op, i));
            }
        }
    }

    void owner(const json& o, const std::string& path) {
        checkObject(o, path,
                    {"file", "nickname", "uin", "lineEnd", "playSound", "sounds", "firstName",
                     "lastName", "email", "database"});
        OwnerPlan plan;
        if (!o.contains("uin")) {
            fail(member(path, "uin"), "missing (expected a number or a decimal text)");
        }
        uint32_t uinValue = 0;
        plan.uin = uinText(o["uin"], member(path, "uin"), &uinValue);
        if (!o.contains("nickname")) {
            fail(member(path, "nickname"), "missing (expected a text, or null for none)");
        }
        if (const json* nick = find(o, "nickname")) {
            plan.nickname =
                codepage(text(*nick, member(path, "nickname")), member(path, "nickname"));
        }
        const std::string firstName =
            codepage(textOr(o, "firstName", path, ""), member(path, "firstName"));
        const std::string lastName =
            codepage(textOr(o, "lastName", path, ""), member(path, "lastName"));
        const std::string email = codepage(textOr(o, "email", path, ""), member(path, "email"));
        if (const json* le = find(o, "lineEnd")) {
            plan.crlf = word(*le, member(path, "lineEnd"), {"crlf", "lf"}) == "crlf";
        }
        const std::string fileName = find(o, "file") != nullptr
                                         ? plainName(o["file"], member(path, "file"))
                                         : plan.uin + ".uin";
        plan.ownerFile = withName(withName(inst_.icqFolder, "uin"), fileName);

        const std::string le = plan.crlf ? "\r\n" : "\n";
        std::string ownerText = "[ICQ User]" + le;
        if (plan.nickname) {
            ownerText += "NickName=" + *plan.nickname + le;
        }
        ownerText += "UIN=" + plan.uin + le + "FirstName=" + firstName + le +
                     "LastName=" + lastName + le + "Email=" + email + le + "AutoConnect=1" + le;
        addFile(PlannedFile{plan.ownerFile, PlannedFile::Kind::Bytes, ownerText, 0, {}}, true);

        RegistryTree& user = inst_.currentUser();
        const std::string prefs = kOwners + plan.uin + "\\Prefs";
        user.key(prefs);
        if (const json* play = find(o, "playSound")) {
            user.setString(prefs, "PlaySound", text(*play, member(path, "playSound")),
                           member(path, "playSound"));
        }
        if (const json* sounds = find(o, "sounds")) {
            plan.personalSounds = this->sounds(*sounds, member(path, "sounds"), prefs + "\\Sounds");
        }
        if (const json* db = find(o, "database")) {
            IcqDatabaseContent ownerRecord;
            ownerRecord.ownerNickName = plan.nickname.value_or("");
            ownerRecord.ownerFirstName = firstName;
            ownerRecord.ownerLastName = lastName;
            ownerRecord.ownerEmail = email;
            database(*db, member(path, "database"), plan.uin, uinValue, ownerRecord);
        }
        inst_.owners.push_back(std::move(plan));
    }

    // The UIN's text in the owner file; `*value` its number.
    static std::string uinText(const json& value, const std::string& path, uint32_t* number) {
        if (const std::optional<uint64_t> n = natural(value); n && *n <= UINT32_MAX) {
            *number = static_cast<uint32_t>(*n);
            return std::to_string(*number);
        }
        if (value.is_string()) {
            const std::string digits = value.get<std::string>();
            uint64_t n = 0;
            bool ok = !digits.empty();
            for (const char c : digits) {
                ok = ok && c >= '0' && c <= '9';
                n = ok ? std::min<uint64_t>(n * 10 + static_cast<uint64_t>(c - '0'),
                                            uint64_t{UINT32_MAX} + 1)
                       : n;
            }
            if (ok && n <= UINT32_MAX) {
                *number = static_cast<uint32_t>(n);
                return digits;
            }
        }
        expected(path, "a number or a decimal text from 0 to 4294967295", value);
    }

    void database(const json& db, const std::string& path, const std::string& uin,
                  uint32_t uinValue, const IcqDatabaseContent& owner) {
        checkObject(db, path,
                    {"folder", "contacts", "generated", "historyBytes", "historyMessages", "seed",
                     "build", "index", "groups", "messages"});
        const int32_t version = static_cast<int32_t>(inst_.icqVersion.value_or(319));
        const std::string folder = find(db, "folder") != nullptr
                                       ? plainName(db["folder"], member(path, "folder"))
                                       : (version > 319 ? "2000a" : "Db99b");
        const uint64_t generated = numberOr(db, "generated", path, kMaxGenerated, 0);
        const uint64_t history = numberOr(db, "historyBytes", path, kMaxHistoryBytes, 0);
        const uint64_t messages = numberOr(db, "historyMessages", path, kMaxMessages, 0);
        const auto seed = static_cast<unsigned>(numberOr(db, "seed", path, UINT32_MAX, 1));

        IcqDatabaseContent content =
            generated > 0 ? realisticIcqDatabase(uinValue, generated, history, seed) : owner;
        content.ownerUin = uinValue;
        content.ownerNickName = owner.ownerNickName;
        content.ownerFirstName = owner.ownerFirstName;
        content.ownerLastName = owner.ownerLastName;
        content.ownerEmail = owner.ownerEmail;
        // The generated contacts list the owner, as people often listed themselves: under the
        // owner's names given here.
        for (IcqContactRecord& c : content.contacts) {
            if (generated > 0 && c.uin == uinValue) {
                c.nickName = owner.ownerNickName;
                c.firstName = owner.ownerFirstName;
                c.lastName = owner.ownerLastName;
                c.primaryEmail = owner.ownerEmail;
            }
        }
        content.historyBytes = history;
        content.historyMessages = messages;
        content.seed = seed;
        content.build = build(db, path, "build", folderBuild(folder));
        if (const json* index = find(db, "index")) {
            content.index = flag(*index, member(path, "index"));
        }
        checkDatabaseText(content.ownerNickName, path, "the owner's nickname");
        checkDatabaseText(content.ownerFirstName, path, "the owner's firstName");
        checkDatabaseText(content.ownerLastName, path, "the owner's lastName");
        checkDatabaseText(content.ownerEmail, path, "the owner's email");
        if (const json* groups = find(db, "groups")) {
            content.groups = this->groups(*groups, member(path, "groups"));
        }
        forEach(db, "contacts", path, "a list of contacts",
                [&](const json& c, const std::string& p) {
                    content.contacts.push_back(contact(c, p));
                });
        forEach(db, "messages", path, "a list of messages",
                [&](const json& m, const std::string& p) {
                    content.messages.push_back(message(m, p));
                });
        RelativePath file = withName(withName(inst_.icqFolder, folder), uin + ".dat");
        addFile(
            PlannedFile{std::move(file), PlannedFile::Kind::Database, {}, 0, std::move(content)},
            true);
    }

    template <typename Visit>
    static void forEach(const json& object, const char* key, const std::string& path,
                        const char* what, Visit visit) {
        if (const json* list = find(object, key)) {
            const std::string lp = member(path, key);
            if (!list->is_array()) {
                expected(lp, what, *list);
            }
            for (size_t i = 0; i < list->size(); ++i) {
                visit((*list)[i], element(lp, i));
            }
        }
    }

    // The build ICQ writes into a database folder of that name.
    static uint16_t folderBuild(const std::string& folder) {
        const std::pair<const char*, uint16_t> builds[] = {
            {"newdb", 250}, {"db99b", 319}, {"2000a", 450}, {"2000b", 465},
            {"2001a", 505}, {"2001b", 520}, {"2002a", 533}, {"2003a", 545}};
        for (const auto& [name, build] : builds) {
            if (text::foldName(folder) == name) {
                return build;
            }
        }
        return 465;
    }

    static uint16_t build(const json& object, const std::string& path, const char* key,
                          uint16_t fallback) {
        const json* value = find(object, key);
        if (value == nullptr) {
            return fallback;
        }
        const std::optional<uint64_t> n = natural(*value);
        if (!n || *n < 200 || *n > 65535) {
            expected(member(path, key), "a build number from 200 (ICQ 99a) to 65535", *value);
        }
        return static_cast<uint16_t>(*n);
    }

    std::vector<IcqGroup> groups(const json& list, const std::string& path) const {
        if (!list.is_array()) {
            expected(path, "a list of groups", list);
        }
        std::vector<IcqGroup> out;
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string gp = element(path, i);
            checkObject(list[i], gp, {"id", "name"});
            if (!list[i].contains("id") || !list[i].contains("name")) {
                fail(gp, "expected an \"id\" and a \"name\"");
            }
            const auto id =
                static_cast<uint32_t>(number(list[i]["id"], member(gp, "id"), INT32_MAX));
            const std::string np = member(gp, "name");
            out.push_back({id, databaseText(list[i]["name"], np)});
        }
        return out;
    }

    static void checkDatabaseText(const std::string& bytes, const std::string& path,
                                  const std::string& what) {
        if (bytes.find('\0') != std::string::npos) {
            fail(path, what + " holds a NUL character, which a database text cannot");
        }
    }

    // A text in the code page, without NUL.
    std::string databaseText(const json& value, const std::string& path) const {
        std::string bytes = codepage(text(value, path), path);
        if (bytes.find('\0') != std::string::npos) {
            expected(path, "a text without NUL characters", value);
        }
        return bytes;
    }

    IcqContactRecord contact(const json& c, const std::string& path) const {
        checkObject(c, path,
                    {"uin", "nickname", "firstName", "lastName", "handle", "email", "moreEmails",
                     "details", "status", "group", "build"});
        IcqContactRecord record;
        record.present = 0;
        if (const json* uin = find(c, "uin")) {
            record.uin = static_cast<uint32_t>(number(*uin, member(path, "uin"), UINT32_MAX));
            record.present |= kIcqUin;
        }
        const std::tuple<const char*, unsigned, std::string*> texts[] = {
            {"nickname", kIcqNickName, &record.nickName},
            {"firstName", kIcqFirstName, &record.firstName},
            {"lastName", kIcqLastName, &record.lastName},
            {"handle", kIcqMyDefinedHandle, &record.myDefinedHandle},
            {"email", kIcqPrimaryEmail, &record.primaryEmail}};
        for (const auto& [key, property, target] : texts) {
            if (const json* value = find(c, key)) {
                *target = databaseText(*value, member(path, key));
                record.present |= property;
            }
        }
        forEach(c, "moreEmails", path, "a list of e-mail addresses",
                [&](const json& e, const std::string& p) {
                    record.moreEmails.push_back(databaseText(e, p));
                });
        if (const json* details = find(c, "details")) {
            const std::string dp = member(path, "details");
            if (!details->is_object()) {
                expected(dp, "an object of property names and texts or numbers", *details);
            }
            for (const auto& [name, value] : details->items()) {
                const std::string vp = member(dp, name);
                if (value.is_string()) {
                    record.details.emplace_back(name, databaseText(value, vp));
                } else if (value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
                           value.get<int64_t>() <= INT32_MAX) {
                    record.details.emplace_back(name, static_cast<int32_t>(value.get<int64_t>()));
                } else {
                    expected(vp, "a text or a whole number", value);
                }
            }
        }
        if (const json* status = find(c, "status")) {
            const std::string sp = member(path, "status");
            if (status->is_string()) {
                const std::string w = word(*status, sp, {"list", "awaiting", "removed", "ignored"});
                record.status = w == "list"       ? IcqContactStatus::OnList
                                : w == "awaiting" ? IcqContactStatus::Awaiting
                                : w == "removed"  ? IcqContactStatus::Removed
                                                  : IcqContactStatus::Ignored;
            } else if (const std::optional<uint64_t> n = natural(*status); n && *n <= UINT32_MAX) {
                record.status = static_cast<IcqContactStatus>(*n);
            } else {
                expected(sp, "\"list\", \"awaiting\", \"removed\", \"ignored\" or a status number",
                         *status);
            }
        }
        record.group = static_cast<uint32_t>(numberOr(c, "group", path, UINT32_MAX, 1000));
        record.build = build(c, path, "build", 0);
        return record;
    }

    IcqMessage message(const json& m, const std::string& path) const {
        checkObject(m, path,
                    {"uin", "direction", "time", "kind", "text", "url", "long", "utf8Only",
                     "deleted", "build", "nickname", "firstName", "lastName", "email", "contacts"});
        for (const char* required : {"uin", "time"}) {
            if (!m.contains(required)) {
                fail(member(path, required), "missing");
            }
        }
        IcqMessage message;
        IcqMessageFields& f = message.fields;
        f.uin = static_cast<uint32_t>(number(m["uin"], member(path, "uin"), UINT32_MAX));
        f.time = time(m["time"], member(path, "time"));
        if (const json* d = find(m, "direction")) {
            f.sent = word(*d, member(path, "direction"), {"in", "out"}) == "out";
        }
        f.subtype = kind(m, path);
        message.build = build(m, path, "build", 0);
        const std::string textUtf8 = textOr(m, "text", path, "");
        f.longForm = find(m, "long") != nullptr && flag(m["long"], member(path, "long"));
        const bool utf8Only =
            find(m, "utf8Only") != nullptr && flag(m["utf8Only"], member(path, "utf8Only"));
        if (utf8Only && !f.longForm) {
            fail(member(path, "utf8Only"),
                 "only a long message keeps a UTF-8 copy (add \"long\": true)");
        }
        if (f.longForm) {
            f.utf8 = textUtf8;
        }
        const std::string text =
            utf8Only ? std::string() : codepage(textUtf8, member(path, "text"));
        if (f.longForm) {
            f.rtf = icqRtf(text);
        }
        if (f.subtype == kIcqSubtypeUrl) {
            f.text = text + "\xFE" + databaseText(m.value("url", json("")), member(path, "url"));
        } else if (f.subtype == kIcqSubtypeContacts) {
            f.text = contactsText(m, path);
        } else if (icqIdentityEvent(f.subtype)) {
            // System events keep who sent them in fields apart, 0xFE between two.
            std::string fields;
            for (const char* key : {"nickname", "firstName", "lastName", "email"}) {
                fields += codepage(textOr(m, key, path, ""), member(path, key)) + "\xFE";
            }
            f.text = fields + "1\xFE" + text;
        } else {
            f.text = text;
        }
        f.deleted = find(m, "deleted") != nullptr && flag(m["deleted"], member(path, "deleted"));
        return message;
    }

    std::string contactsText(const json& m, const std::string& path) const {
        std::string out;
        size_t count = 0;
        forEach(
            m, "contacts", path, "a list of contacts", [&](const json& c, const std::string& p) {
                checkObject(c, p, {"uin", "nickname"});
                out +=
                    std::to_string(number(c.value("uin", json(0)), member(p, "uin"), UINT32_MAX)) +
                    "\xFE" + codepage(textOr(c, "nickname", p, ""), member(p, "nickname")) + "\xFE";
                ++count;
            });
        return std::to_string(count) + "\xFE" + out;
    }

    static uint16_t kind(const json& m, const std::string& path) {
        const json* k = find(m, "kind");
        if (k == nullptr) {
            return kIcqSubtypeMessage;
        }
        if (const std::optional<uint64_t> n = natural(*k); n && *n <= 65535) {
            return static_cast<uint16_t>(*n);
        }
        const std::string w =
            word(*k, member(path, "kind"),
                 {"message", "url", "authRequest", "authDenied", "authGranted", "systemRequest",
                  "added", "webPager", "emailExpress", "contacts", "sms"});
        const std::pair<const char*, uint16_t> kinds[] = {
            {"message", kIcqSubtypeMessage},
            {"url", kIcqSubtypeUrl},
            {"authRequest", kIcqSubtypeAuthRequest},
            {"authDenied", kIcqSubtypeAuthDenied},
            {"authGranted", kIcqSubtypeAuthGranted},
            {"systemRequest", kIcqSubtypeSystemRequest},
            {"added", kIcqSubtypeAdded},
            {"webPager", kIcqSubtypeWebPager},
            {"emailExpress", kIcqSubtypeEmailExpress},
            {"contacts", kIcqSubtypeContacts},
            {"sms", kIcqSubtypeSms}};
        for (const auto& [name, subtype] : kinds) {
            if (w == name) {
                return subtype;
            }
        }
        return kIcqSubtypeMessage;
    }

    // Seconds since 1970 as stored: a number, or "YYYY-MM-DD hh:mm:ss" read as UTC.
    static uint32_t time(const json& value, const std::string& path) {
        if (const std::optional<uint64_t> n = natural(value); n && *n <= UINT32_MAX) {
            return static_cast<uint32_t>(*n);
        }
        std::tm tm{};
        const std::string t = value.is_string() ? value.get<std::string>() : std::string();
        const char* end = strptime(t.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
        const long long seconds = end != nullptr && *end == '\0' ? timegm(&tm) : -1;
        if (seconds < 0 || seconds > UINT32_MAX) {
            expected(path, "seconds since 1970 or a UTC time such as \"2002-03-04 18:30:00\"",
                     value);
        }
        return static_cast<uint32_t>(seconds);
    }

    // Registry values of sound events below `key`, and their WAV files. True when an
    // "ICQALAdmin" sound with a non-empty path is among them.
    bool sounds(const json& s, const std::string& path, const std::string& key) {
        if (!s.is_object()) {
            expected(path, "an object of sound events and their Windows paths", s);
        }
        RegistryTree& user = inst_.currentUser();
        user.key(key);
        bool admin = false;
        for (const auto& item : s.items()) {
            const std::string ep = member(path, item.key());
            std::string soundPath;
            bool missing = false;
            if (item.value().is_object()) {
                checkObject(item.value(), ep, {"path", "missing"});
                if (!item.value().contains("path")) {
                    fail(member(ep, "path"), "missing (expected a Windows path)");
                }
                soundPath = text(item.value()["path"], member(ep, "path"));
                if (const json* m = find(item.value(), "missing")) {
                    missing = flag(*m, member(ep, "missing"));
                }
            } else if (item.value().is_string()) {
                soundPath = item.value().get<std::string>();
            } else {
                expected(ep, "a Windows path or an object with \"path\" and \"missing\"",
                         item.value());
            }
            user.setString(key, item.key(), soundPath, ep);
            admin = admin || (text::foldName(item.key()) == "icqaladmin" && !soundPath.empty());
            const bool onC = soundPath.size() >= 3 &&
                             (soundPath[0] == 'C' || soundPath[0] == 'c') && soundPath[1] == ':' &&
                             (soundPath[2] == '\\' || soundPath[2] == '/');
            if (!missing && onC) {
                const std::string filePath = item.value().is_object() ? member(ep, "path") : ep;
                RelativePath local = drivePath(json(soundPath), filePath);
                if (local.empty()) {
                    expected(filePath, "the path of a sound file", json(soundPath));
                }
                addFile(PlannedFile{local, PlannedFile::Kind::Wav, {}, tone(local), {}}, false);
            }
        }
        return admin;
    }

    static uint32_t tone(const RelativePath& path) {
        uint32_t hash = 2166136261u;
        for (const char c : text::foldName(joinPath(path))) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        }
        return hash;
    }

    // --- extra values and files ------------------------------------------------------------

    void extraValues(const json& list) {
        if (!list.is_array()) {
            expected("extraValues", "a list of registry values", list);
        }
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string path = element("extraValues", i);
            const json& v = list[i];
            checkObject(v, path, {"root", "key", "name", "type", "value", "user"});
            for (const char* required : {"root", "key", "type", "value"}) {
                if (!v.contains(required)) {
                    fail(member(path, required), "missing");
                }
            }
            const std::string root =
                word(v["root"], member(path, "root"),
                     {"HKLM", "HKEY_LOCAL_MACHINE", "HKCU", "HKEY_CURRENT_USER"});
            std::string key = text(v["key"], member(path, "key"));
            const std::string name = textOr(v, "name", path, "");
            RegistryTree* tree = nullptr;
            if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
                if (text::foldName(key) != "software" && !startsWithNoCase(key, "software\\")) {
                    expected(member(path, "key"), "a key below SOFTWARE", v["key"]);
                }
                key = key.substr(std::min<size_t>(key.size(), 9));
                if (v.contains("user")) {
                    fail(member(path, "user"), "only HKEY_CURRENT_USER values belong to a user");
                }
                tree = &inst_.software;
            } else if (const json* u = find(v, "user")) {
                tree = &inst_.users[userIndex(*u, member(path, "user"))].hive;
            } else {
                tree = &inst_.currentUser();
            }
            const json& type = v["type"];
            const json& value = v["value"];
            const std::string vp = member(path, "value");
            if (const std::optional<uint64_t> n = natural(type); n && *n <= UINT32_MAX) {
                tree->setRaw(key, name, static_cast<uint32_t>(*n), hexBytes(value, vp), path);
                continue;
            }
            const std::string t = type.is_string() ? type.get<std::string>() : std::string();
            if (t == "sz") {
                tree->setString(key, name, text(value, vp), path);
            } else if (t == "expand_sz") {
                tree->setExpandString(key, name, text(value, vp), path);
            } else if (t == "dword") {
                tree->setDword(key, name, dword(value, vp), path);
            } else if (t == "binary") {
                tree->setRaw(key, name, kHiveBinary, hexBytes(value, vp), path);
            } else {
                expected(member(path, "type"),
                         "\"sz\", \"expand_sz\", \"dword\", \"binary\" or a type number", type);
            }
        }
    }

    void extraFiles(const json& list) {
        if (!list.is_array()) {
            expected("extraFiles", "a list of files", list);
        }
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string path = element("extraFiles", i);
            const json& f = list[i];
            checkObject(f, path, {"path", "text", "hex"});
            if (!f.contains("path")) {
                fail(member(path, "path"), "missing (expected a Windows path on C:)");
            }
            const RelativePath file = filePath(f["path"], member(path, "path"));
            const bool hasText = f.contains("text");
            if (hasText == f.contains("hex")) {
                fail(path, "expected either \"text\" or \"hex\"");
            }
            const std::string bytes =
                hasText ? codepage(text(f["text"], member(path, "text")), member(path, "text"))
                        : hexBytes(f["hex"], member(path, "hex"));
            addFile(PlannedFile{file, PlannedFile::Kind::Bytes, bytes, 0, {}}, true);
        }
    }

    // --- helpers --------------------------------------------------------------------------

    std::string codepage(const std::string& utf8, const std::string& path) const {
        std::string problem;
        std::optional<std::string> bytes = text::fromUtf8(utf8, inst_.codepage, problem);
        if (!bytes) {
            fail(path, problem);
        }
        return *bytes;
    }

    // A later file of the same path (without regard to case) replaces an earlier one when
    // `replace` is set; otherwise the earlier one stays.
    void addFile(PlannedFile file, bool replace) {
        const std::string folded = text::foldName(joinPath(file.path));
        for (PlannedFile& existing : inst_.files) {
            if (text::foldName(joinPath(existing.path)) == folded) {
                if (replace) {
                    existing = std::move(file);
                }
                return;
            }
        }
        inst_.files.push_back(std::move(file));
    }

    static RelativePath withName(RelativePath path, const std::string& name) {
        path.push_back(name);
        return path;
    }

    // A few bytes that start like a Windows program.
    static std::string programStub() {
        std::string stub = "MZ";
        stub.resize(128, '\0');
        stub[0x3C] = static_cast<char>(0x40);
        stub += "This program cannot be run in DOS mode.\r\n$";
        return stub;
    }

    // REGEDIT4 holds texts in the code page: every exported text must fit it.
    void checkRegedit4() const {
        std::string problem;
        const std::vector<RegExportBranch> branches = {
            {"HKEY_LOCAL_MACHINE\\SOFTWARE", &inst_.software},
            {"HKEY_LOCAL_MACHINE\\SYSTEM", &inst_.system},
            {"HKEY_CURRENT_USER", &inst_.currentUser()}};
        if (!regExport(branches, RegExportFormat::Regedit4, inst_.codepage, problem)) {
            throw DescriptionError{problem};
        }
    }

    const DescriptionOptions& options_;
    Installation inst_;
    std::vector<std::string> userOrigins_;
};

} // namespace

std::optional<RegistryFormat> parseRegistryFormat(const std::string& word) {
    if (word == "hive") {
        return RegistryFormat::Hive;
    }
    if (word == "reg4") {
        return RegistryFormat::Reg4;
    }
    if (word == "reg5") {
        return RegistryFormat::Reg5;
    }
    return std::nullopt;
}

std::optional<Installation> parseDescription(const nlohmann::json& description,
                                             const DescriptionOptions& options,
                                             std::string& error) {
    // The reading helpers throw at the first value that does not fit; it stops here.
    try {
        return Parser(options).run(description);
    } catch (const DescriptionError& e) {
        error = e.message;
    } catch (const nlohmann::json::exception& e) {
        error = std::string("description: ") + e.what();
    }
    return std::nullopt;
}

} // namespace mkwin
