#include "e2einstall.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "installation.h"

namespace e2e {

namespace {

const char* const kEvents[] = {"ICQALAdmin",       "ICQALMessage", "ICQALURL",    "ICQBackspace",
                               "ICQBell",          "ICQBirthday",  "ICQChat",     "ICQChatAction",
                               "ICQChatEmote",     "ICQChatLOL",   "ICQChatPage", "ICQContact",
                               "ICQEMail",         "ICQExternal",  "ICQFile",     "ICQFtDone",
                               "ICQGeneralOnline", "ICQHomePage",  "ICQMessage",  "ICQMsgSent",
                               "ICQNotify",        "ICQOnline",    "ICQPhone",    "ICQPicture",
                               "ICQPIN",           "ICQPlugin",    "ICQReminder", "ICQStartup",
                               "ICQSystem",        "ICQType",      "ICQURL",      "ICQWebSearch"};

const char* flag(bool on) {
    return on ? "ICQ_VQX_YES" : "ICQ_VQX_NO";
}

Json value(const std::string& key, const std::string& text) {
    Json entry;
    entry["key"] = key;
    entry["value"] = text;
    return entry;
}

Json section(const std::string& name, Json entries) {
    Json s;
    s["name"] = name;
    s["closed"] = true;
    s["entries"] = std::move(entries);
    return s;
}

// The name a carried file gets: unsafe characters become '_'.
std::string carriedName(const std::string& windowsPath) {
    std::string name = windowsPath.substr(windowsPath.find_last_of('\\') + 1);
    for (char& c : name) {
        const bool safe = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
                          c == '_' || static_cast<unsigned char>(c) >= 0x80;
        c = safe ? c : '_';
    }
    return name;
}

std::string localPath(const std::string& root, const std::string& windowsPath) {
    std::string rest = windowsPath.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return root + rest;
}

} // namespace

std::optional<RunOptions> unprivilegedRun(const std::string& area, std::string& why) {
    namespace fs = std::filesystem;
    RunOptions options;
    if (geteuid() != 0) {
        return options;
    }
    const char* const setpriv = "/usr/bin/setpriv";
    if (access(setpriv, X_OK) != 0) {
        why = "running as root without /usr/bin/setpriv to drop privileges";
        return std::nullopt;
    }
    const uid_t nobody = 65534;
    options.wrapper = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
    fs::permissions(area, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    // Qt wants a runtime folder of the user's own.
    const std::string runtime = area + "/runtime-unprivileged";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    if (chown(runtime.c_str(), nobody, nobody) != 0) {
        why = runtime + ": cannot give it to the unprivileged user";
        return std::nullopt;
    }
    options.environment["XDG_RUNTIME_DIR"] = runtime;
    return options;
}

std::string progressLines(int from, int to) {
    // The blocks after each progress step of a complete run.
    static const int kSteps[] = {5, 10, 15, 25, 35, 40, 50, 60};
    std::string lines;
    for (const int done : kSteps) {
        if (done > from && done <= to) {
            lines += "ICQ: progress " + std::to_string(done) + "/60 (" +
                     std::to_string(done * 100 / 60) + "%)\n";
        }
    }
    return lines;
}

TreeSnapshot snapshotTree(const std::string& dir, const std::vector<std::string>& skip) {
    namespace fs = std::filesystem;
    TreeSnapshot tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::none, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string path = it->path().string();
        if (std::find(skip.begin(), skip.end(), path) != skip.end()) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            tree[path] = "gone";
            continue;
        }
        std::ostringstream line;
        line << std::oct << st.st_mode << std::dec << " size " << st.st_size << " mtime "
             << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec;
        if (S_ISLNK(st.st_mode)) {
            std::error_code linkError;
            line << " -> " << fs::read_symlink(path, linkError).string();
        }
        tree[path] = line.str();
    }
    return tree;
}

std::string treeChanges(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::string changes;
    for (const auto& [path, entry] : after) {
        const auto old = before.find(path);
        if (old == before.end()) {
            changes += "+ " + path + " (" + entry + ")\n";
        } else if (old->second != entry) {
            changes += "~ " + path + " (" + old->second + " -> " + entry + ")\n";
        }
    }
    for (const auto& [path, entry] : before) {
        if (after.count(path) == 0) {
            changes += "- " + path + "\n";
        }
    }
    return changes;
}

std::vector<std::string> switches(const Choices& c) {
    std::vector<std::string> args;
    const std::pair<bool, const char*> flags[] = {
        {!c.server, "--no-server"},     {!c.userSettings, "--no-user-settings"},
        {!c.contacts, "--no-contacts"}, {c.overwrite, "--overwrite-contacts"},
        {!c.sounds, "--no-sounds"},     {c.defaultSounds, "--default-sounds"}};
    for (const auto& [on, name] : flags) {
        if (on) {
            args.push_back(name);
        }
    }
    return args;
}

Installation::Installation(Json description) : description_(std::move(description)) {}

void Installation::build() {
    std::string error;
    ASSERT_TRUE(mkwin::buildInstallation(nlohmann::json::parse(description_.dump()), root(), error))
        << error;
    std::string parseError;
    const auto parsed =
        mkwin::parseDescription(nlohmann::json::parse(description_.dump()), {}, parseError);
    ASSERT_TRUE(parsed.has_value()) << parseError;
    expected_ = mkwin::expectedImport(*parsed);
    testsupport::writeFile(passwordFile(), "secret\n");
}

testsupport::ProcessResult Installation::import(const std::vector<std::string>& args,
                                                const std::string& input,
                                                const RunOptions& run) const {
    std::vector<std::string> argv = run.wrapper;
    argv.insert(argv.end(), {TOLVANE_IMPORT, "--plugin", TARVEX_PLUGIN, "--windows-root", root()});
    for (const auto& reg : expected_.value("registryFiles", Json::array())) {
        argv.push_back("--reg");
        argv.push_back(root() + "/" + reg.get<std::string>());
    }
    argv.insert(argv.end(), args.begin(), args.end());
    std::map<std::string, std::string> environment = run.environment;
    environment.emplace("QT_QPA_PLATFORM", "offscreen");
    return testsupport::runProcess(argv, input, environment);
}

std::string Installation::local(const std::string& windowsPath) const {
    return localPath(root(), windowsPath);
}

Json Installation::record(const std::string& out) const {
    const std::string text = testsupport::readFile(out + "/record.json");
    return Json::parse(text.empty() ? "null" : text);
}

Json Installation::expectedRecord(const Choices& c) const {
    const Json& icq = description_["icq"];
    const Json& owners = expected_["owners"];
    Json owner;
    Json ownerDescription;
    for (size_t i = 0; i < owners.size(); ++i) {
        const bool wanted = c.owner.empty() ? true : owners[i]["nickname"] == c.owner;
        if (wanted &&
            (owner.is_null() || (c.owner.empty() && owners[i]["nickname"].get<std::string>() <
                                                        owner["nickname"].get<std::string>()))) {
            owner = owners[i];
            ownerDescription = icq["owners"][i];
        }
    }
    const std::string lineEnd = owner["lineEnd"] == "crlf" ? "\r" : "";

    Json sections = Json::array();
    sections.push_back(section("ICQ_FAILURE", {value("ICQ_VQX_STATUS", "ICQ_VQX_NO")}));
    Json settings = Json::array();
    if (c.server) {
        const Json server = icq.value("server", Json::object());
        settings.push_back(value("ICQ_HOST_SERVER_NAME", server.value("host", "ICQ_VQX_NO")));
        settings.push_back(value("ICQ_HOST_SERVER_PORT",
                                 server.contains("port") ? std::to_string(server["port"].get<int>())
                                                         : "ICQ_VQX_NO"));
    }
    settings.push_back(value("ICQ_USER_SETTINGS", flag(c.userSettings)));
    settings.push_back(value("ICQ_USER_CONTACTS", flag(c.contacts)));
    // Nothing disables the contacts box, so only the overwrite choice matters here.
    settings.push_back(value("ICQ_APPEND_CONTACTS", flag(!c.overwrite)));
    settings.push_back(value("ICQ_SOUNDS_SETTINGS_PRESENT", flag(c.sounds)));
    sections.push_back(section("ICQ_IMPORTED_SETTINGS", settings));
    if (c.userSettings) {
        sections.push_back(
            section("ICQ_OWNER", {value("UIN", owner["uin"].get<std::string>() + lineEnd),
                                  value("Nickname", owner["nickname"].get<std::string>() + lineEnd),
                                  value("Password", c.password)}));
    }
    if (c.contacts) {
        Json entries = Json::array();
        int n = 0;
        for (const Json& contact : owner["contacts"]) {
            Json inner = Json::array();
            for (const auto& [key, text] : contact.items()) {
                inner.push_back(value(key, text.get<std::string>()));
            }
            Json nested;
            nested["section"] = section("contact_" + std::to_string(++n), inner);
            entries.push_back(nested);
        }
        entries.push_back(value("No_contacts", std::to_string(n)));
        sections.push_back(section("CONTACTS", entries));
    }
    if (c.sounds) {
        Json entries = Json::array();
        if (ownerDescription.contains("playSound") && !ownerDescription["playSound"].is_null() &&
            ownerDescription["playSound"] != "") {
            entries.push_back(value("PlaySound", flag(ownerDescription["playSound"] == "Yes")));
        }
        const bool personal = owner["personalSounds"].get<bool>() && !c.defaultSounds;
        const Json chosen = personal ? ownerDescription.value("sounds", Json::object())
                                     : icq.value("defaultSounds", Json::object());
        for (const char* event : kEvents) {
            if (!chosen.contains(event)) {
                continue;
            }
            const Json& sound = chosen[event];
            const std::string path =
                sound.is_string() ? sound.get<std::string>() : sound["path"].get<std::string>();
            const bool missing = sound.is_object() && sound.value("missing", false);
            Json entry;
            entry["key"] = event;
            entry["file"] = "\"" + localPath(root(), path) + "\"";
            entry["carried"] = missing ? Json() : Json("files/" + carriedName(path));
            entries.push_back(entry);
        }
        sections.push_back(section("ICQ_SOUNDS_SETTINGS", entries));
    }

    Json record;
    record["format"] = "tolvane-record/1";
    record["plugin"] = "ICQ";
    record["result"] = 0;
    record["complete"] = true;
    record["sections"] = sections;
    return record;
}

Json smallDescription() {
    return Json::parse(R"({
      "layout": "xp",
      "users": ["Alice"],
      "registry": "hive",
      "icq": {
        "version": 2000,
        "server": {"host": "login.icq.com", "port": 5190},
        "defaultSounds": {
          "ICQMessage": "C:\\Program Files\\ICQ\\Sounds\\Message.wav",
          "ICQALAdmin": "C:\\Program Files\\ICQ\\Sounds\\Admin.wav"
        },
        "owners": [
          {"uin": 23456789, "nickname": "Rover", "lineEnd": "crlf", "playSound": "Yes",
           "sounds": {
             "ICQALAdmin": "C:\\Program Files\\ICQ\\Sounds\\Admin.wav",
             "ICQMessage": "C:\\Program Files\\ICQ\\Sounds\\New Message.wav",
             "ICQWebSearch": "C:\\Documents and Settings\\Alice\\My Music\\search me.wav"
           },
           "database": {"historyBytes": 20000, "seed": 3, "contacts": [
             {"uin": 4711042, "nickname": "Jörg", "firstName": "Jörg", "lastName": "Weißmüller",
              "handle": "Jörg aus Köln", "email": "joerg@web.de"},
             {"uin": 5550123, "nickname": "Åsa", "firstName": "Åsa", "lastName": "Lindström",
              "handle": "Åsa L.", "email": "asa@telia.se"},
             {"uin": 3000000000, "nickname": "Big", "firstName": "Big", "lastName": "Number",
              "handle": "Big", "email": "big@example.com"},
             {"uin": 7345012, "nickname": "Bjørn", "firstName": "Bjørn", "lastName": "Sørensen",
              "handle": "Bjørn", "email": "bjorn@example.dk", "status": "removed"}
           ]}},
          {"uin": 31415926, "nickname": "Märta", "lineEnd": "lf", "playSound": "No",
           "database": {"historyBytes": 10000, "seed": 5, "contacts": [
             {"uin": 9120456, "nickname": "Øyvind", "firstName": "Øyvind", "lastName": "Håland",
              "handle": "Øyvind", "email": "oyvind@online.no"},
             {"uin": 9234567, "nickname": "Hélène", "firstName": "Hélène", "lastName": "Mercier",
              "handle": "Hélène", "email": "helene@laposte.net"}
           ]}}
        ]
      }
    })");
}

} // namespace e2e
