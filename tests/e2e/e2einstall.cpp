#include "e2einstall.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "installation.h"

namespace e2e {

std::string describe(const testsupport::ProcessResult& r) {
    return "status " + std::to_string(r.status) + "\nstderr:\n" + r.err + "\nstdout:\n" + r.out;
}

std::string filled(std::string text, const std::string& mark, const std::string& by) {
    for (size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + by.size())) {
        text.replace(at, mark.size(), by);
    }
    return text;
}

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
        line << std::oct << st.st_mode << std::dec;
        // A folder's own times change with its entries, which show the change themselves.
        if (!S_ISDIR(st.st_mode)) {
            line << " size " << st.st_size << " mtime " << st.st_mtim.tv_sec << "."
                 << st.st_mtim.tv_nsec;
        }
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
    return testsupport::runProcess(argv, input, environment, run.signal);
}

std::string Installation::local(const std::string& windowsPath) const {
    std::string rest = windowsPath.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return root() + rest;
}

Json Installation::record(const std::string& out) const {
    const std::string text = testsupport::readFile(out + "/record.json");
    return Json::parse(text.empty() ? "null" : text);
}

Json Installation::roverRecord() const {
    std::string text =
        R"({"format": "tolvane-record/1", "plugin": "ICQ", "result": 0, "complete": true,
      "sections": [
        {"name": "ICQ_FAILURE", "closed": true,
         "entries": [{"key": "ICQ_VQX_STATUS", "value": "ICQ_VQX_NO"}]},
        {"name": "ICQ_IMPORTED_SETTINGS", "closed": true, "entries": [
          {"key": "ICQ_HOST_SERVER_NAME", "value": "login.icq.com"},
          {"key": "ICQ_HOST_SERVER_PORT", "value": "5190"},
          {"key": "ICQ_USER_SETTINGS", "value": "ICQ_VQX_YES"},
          {"key": "ICQ_USER_CONTACTS", "value": "ICQ_VQX_YES"},
          {"key": "ICQ_APPEND_CONTACTS", "value": "ICQ_VQX_YES"},
          {"key": "ICQ_SOUNDS_SETTINGS_PRESENT", "value": "ICQ_VQX_YES"}]},
        {"name": "ICQ_OWNER", "closed": true, "entries": [{"key": "UIN", "value": "23456789\r"},
          {"key": "Nickname", "value": "Rover\r"}, {"key": "Password", "value": "secret"}]},
        {"name": "CONTACTS", "closed": true, "entries": [
          {"section": {"name": "contact_1", "closed": true, "entries": [
            {"key": "UIN", "value": "4711042"}, {"key": "First_Name", "value": "Jörg"},
            {"key": "Last_Name", "value": "Weißmüller"}, {"key": "Description", "value": "Jörg aus Köln"},
            {"key": "Nickname", "value": "Jörg"}, {"key": "Email", "value": "joerg@web.de"}]}},
          {"section": {"name": "contact_2", "closed": true, "entries": [
            {"key": "UIN", "value": "5550123"}, {"key": "First_Name", "value": "Åsa"},
            {"key": "Last_Name", "value": "Lindström"}, {"key": "Description", "value": "Åsa L."},
            {"key": "Nickname", "value": "Åsa"}, {"key": "Email", "value": "asa@telia.se"}]}},
          {"section": {"name": "contact_3", "closed": true, "entries": [
            {"key": "UIN", "value": "-1294967296"}, {"key": "First_Name", "value": "Big"},
            {"key": "Last_Name", "value": "Number"}, {"key": "Description", "value": "Big"},
            {"key": "Nickname", "value": "Big"}, {"key": "Email", "value": "big@example.com"}]}},
          {"section": {"name": "contact_4", "closed": true, "entries": [
            {"key": "UIN", "value": "7345012"}, {"key": "First_Name", "value": "Bjørn"},
            {"key": "Last_Name", "value": "Sørensen"}, {"key": "Description", "value": "Bjørn"},
            {"key": "Nickname", "value": "Bjørn"}, {"key": "Email", "value": "bjorn@example.dk"}]}},
          {"key": "No_contacts", "value": "4"}]},
        {"name": "ICQ_SOUNDS_SETTINGS", "closed": true, "entries": [
          {"key": "PlaySound", "value": "ICQ_VQX_YES"},
          {"key": "ICQALAdmin", "file": "\"{root}/Program Files/ICQ/Sounds/Admin.wav\"",
           "carried": "files/Admin.wav"},
          {"key": "ICQMessage", "file": "\"{root}/Program Files/ICQ/Sounds/New Message.wav\"",
           "carried": "files/New_Message.wav"},
          {"key": "ICQWebSearch", "file": "\"{root}/Documents and Settings/Alice/My Music/search me.wav\"",
           "carried": "files/search_me.wav"}]}]})";
    return Json::parse(filled(text, "{root}", root()));
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
