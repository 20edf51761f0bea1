#include "outputfolder.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "recordread.h"

namespace vqrt {

namespace {

namespace fs = std::filesystem;

constexpr char kLockName[] = ".tolvane-lock";
constexpr char kIdentityName[] = ".tolvane-bundle.json";
constexpr char kStagingPrefix[] = ".tolvane-run-";
constexpr char kRecordName[] = "record.json";
// What a bundle of a version that kept no identity file holds: the record, its files and
// the ICQ archive.
const char* const kOlderMembers[] = {"record.json",  "files",   "contacts.vcf",
                                     "contacts.csv", "history", "icq-archive.sqlite",
                                     "report.txt"};
// How a record of ours begins, as every version has written it, white space left out.
constexpr std::string_view kRecordStart = "{\"format\":\"tolvane-record/";

// True when `name` in `dir` is a record that an import wrote.
bool isRecord(int dir, const char* name) {
    const UniqueFd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    char start[64] = {};
    const ssize_t got = fd ? ::read(fd.get(), start, sizeof start) : -1;
    std::string packed;
    for (ssize_t i = 0; i < got; ++i) {
        if (std::isspace(static_cast<unsigned char>(start[i])) == 0) {
            packed += start[i];
        }
    }
    return packed.rfind(kRecordStart, 0) == 0;
}

// A name of an entry in the folder itself: neither a path nor one of the folder's own files.
bool isMemberName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name != kLockName && name.rfind(kStagingPrefix, 0) != 0;
}

bool makeFolder(const std::string& path, std::string& error) {
    std::error_code ec;
    fs::create_directories(path, ec);
    struct stat st;
    if (!ec && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return true;
    }
    error =
        path + ": cannot create the folder (" + (ec ? ec.message() : std::strerror(ENOTDIR)) + ")";
    return false;
}

std::vector<std::string> entries(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct EarlierBundle {
    bool holds = false;
    std::optional<BundleIdentity> identity;
    std::set<std::string> members;
};

// What the bundle in `dir` (at `path`) says of itself.
EarlierBundle readBundle(int dir, const std::string& path) {
    EarlierBundle earlier;
    // A version that kept no identity file is known by its record; a files/ folder alone may
    // be anybody's.
    if (isRecord(dir, kRecordName)) {
        earlier.holds = true;
        earlier.members.insert(std::begin(kOlderMembers), std::end(kOlderMembers));
    }
    std::string text;
    std::string ignored;
    if (!readWholeFile(path + "/" + kIdentityName, text, ignored)) {
        return earlier;
    }
    const auto identity = nlohmann::json::parse(text, nullptr, false);
    if (!identity.is_object() || !identity.value("installation", nlohmann::json()).is_string() ||
        !identity.value("owner", nlohmann::json()).is_string()) {
        return earlier;
    }
    earlier.holds = true;
    earlier.identity = BundleIdentity{identity["installation"], identity["owner"]};
    for (const auto& member : identity.value("members", nlohmann::json::array())) {
        if (member.is_string() && isMemberName(member.get<std::string>())) {
            earlier.members.insert(member.get<std::string>());
        }
    }
    return earlier;
}

// Those of `names` in `dir` (at `path`) that are not `members`, empty folders aside.
std::vector<std::string> strangersAmong(int dir, const std::string& path,
                                        const std::set<std::string>& members,
                                        const std::vector<std::string>& names) {
    std::vector<std::string> found;
    for (const std::string& name : names) {
        struct stat st;
        // The folder's own files (its lock, its identity) are nobody's.
        if (!isMemberName(name) || name == kIdentityName || members.count(name) != 0 ||
            ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        std::error_code ec;
        if (!S_ISDIR(st.st_mode)) {
            found.push_back(name);
        } else if (!fs::is_empty(path + "/" + name, ec)) {
            found.push_back(name + "/");
        }
    }
    return found;
}

} // namespace

OutputFolder::OutputFolder(std::string path, UniqueFd folder, UniqueFd lock)
    : path_(std::move(path)), folder_(std::move(folder)), lock_(std::move(lock)) {}

OutputFolder::~OutputFolder() {
    discard();
}

std::unique_ptr<OutputFolder> OutputFolder::open(const std::string& given, std::string& error) {
    std::string path = given;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (!makeFolder(path, error)) {
        return nullptr;
    }
    UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Creating the lock file shows whether the folder can be written, before anything runs.
    UniqueFd lock(
        folder ? ::openat(folder.get(), kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)
               : -1);
    if (!lock) {
        error = ioError(path, "cannot write to the folder", errno);
        return nullptr;
    }
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? path + ": another import is writing there"
                                     : ioError(path, "cannot lock the folder", errno);
        return nullptr;
    }
    std::unique_ptr<OutputFolder> out(new OutputFolder(path, std::move(folder), std::move(lock)));
    out->removeLeftovers();
    out->readEarlierBundle();
    std::string staging = path + "/" + kStagingPrefix + "XXXXXX";
    if (::mkdtemp(staging.data()) == nullptr) {
        error = ioError(path, "cannot write to the folder", errno);
        return nullptr;
    }
    out->staging_ = staging;
    return out;
}

void OutputFolder::removeLeftovers() const {
    for (const std::string& name : entries(path_)) {
        // Staging folders of killed runs, and the temporary record files of older versions.
        if (name.rfind(kStagingPrefix, 0) == 0 || name.rfind(".record.json.", 0) == 0) {
            std::error_code ec;
            fs::remove_all(path_ + "/" + name, ec);
        }
    }
}

void OutputFolder::readEarlierBundle() {
    EarlierBundle earlier = readBundle(folder_.get(), path_);
    holdsBundle_ = earlier.holds;
    earlierIdentity_ = std::move(earlier.identity);
    earlierMembers_ = std::move(earlier.members);
}

std::vector<std::string> OutputFolder::strangers(const std::vector<std::string>& names) const {
    return strangersAmong(folder_.get(), path_, earlierMembers_, names);
}

std::optional<BundleIdentity> OutputFolder::whoseRecord() const {
    if (earlierIdentity_ || !holdsBundle_) {
        return earlierIdentity_;
    }
    std::string text;
    std::string error;
    if (!readWholeFile(path_ + "/" + kRecordName, text, error)) {
        return std::nullopt;
    }
    // Sections inside sections (the contacts) are dropped as they are read.
    using Json = nlohmann::ordered_json;
    const Json record = Json::parse(
        text,
        [](int depth, Json::parse_event_t event, Json&) {
            return event != Json::parse_event_t::object_end || depth < 5;
        },
        false);
    const std::optional<std::string> uin = entryValue(recordSection(record, "ICQ_OWNER"), "UIN");
    if (!uin) {
        return std::nullopt;
    }
    return BundleIdentity{"", withoutLineEnd(*uin)};
}

std::optional<BundleIdentity> bundleIdentity(const std::string& folder) {
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir ? readBundle(dir.get(), folder).identity : std::nullopt;
}

std::string otherRecord(const std::optional<BundleIdentity>& earlier, const BundleIdentity& now) {
    if (!earlier || earlier->owner.empty()) {
        return {};
    }
    if (!earlier->installation.empty() && earlier->installation != now.installation) {
        return "another installation (" + earlier->installation + ")";
    }
    if (!now.owner.empty() && earlier->owner != now.owner) {
        return "another owner (UIN " + earlier->owner + ")";
    }
    return {};
}

bool OutputFolder::moveIn(int staging, const std::string& name, std::string& error) const {
    const int folder = folder_.get();
    // An exchange replaces a folder too; the earlier entry ends up in the staging folder.
    if (::renameat2(staging, name.c_str(), folder, name.c_str(), RENAME_EXCHANGE) == 0) {
        return true;
    }
    bool moved = false;
    if (errno == ENOENT) {
        moved = ::renameat(staging, name.c_str(), folder, name.c_str()) == 0;
    } else if (errno == EINVAL) {
        // A file system that cannot exchange: the earlier entry is moved aside first.
        const std::string aside = ".earlier-" + name;
        moved = ::renameat(folder, name.c_str(), staging, aside.c_str()) == 0 &&
                ::renameat(staging, name.c_str(), folder, name.c_str()) == 0;
    }
    if (!moved) {
        error = ioError(path_ + "/" + name, "cannot move into place", errno);
    }
    return moved;
}

bool OutputFolder::commit(const BundleIdentity& identity, std::string& error) {
    std::vector<std::string> names = entries(staging_);
    const std::vector<std::string> inTheWay = strangers(names);
    if (!inTheWay.empty()) {
        error = path_ + ": holds " + inTheWay.front() +
                ", which no earlier import wrote; nothing was replaced";
        return false;
    }
    const auto record = std::find(names.begin(), names.end(), kRecordName);
    const bool hasRecord = record != names.end();
    if (hasRecord) {
        names.erase(record);
    }
    // The record comes last: once it is there, so is everything it names.
    names.push_back(kIdentityName);
    if (hasRecord) {
        names.push_back(kRecordName);
    }
    const nlohmann::ordered_json members = names;
    const nlohmann::ordered_json text = {
        {"installation", identity.installation}, {"owner", identity.owner}, {"members", members}};
    const std::string dump = text.dump(2) + "\n";
    if (!writeFileAtomically(
            staging_, kIdentityName, 0600,
            [&dump](int fd) { return writeAll(fd, dump.data(), dump.size()); }, error, path_)) {
        return false;
    }
    const UniqueFd staging(::open(staging_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Whatever the run wrote reaches the disk before it replaces the earlier bundle: one sync
    // of the file system instead of one per file.
    if (!staging || ::syncfs(staging.get()) != 0) {
        error = ioError(path_, "cannot write", errno);
        return false;
    }
    for (const std::string& name : names) {
        if (!moveIn(staging.get(), name, error)) {
            return false;
        }
    }
    for (const std::string& earlier : earlierMembers_) {
        if (std::find(names.begin(), names.end(), earlier) == names.end()) {
            ::renameat(folder_.get(), earlier.c_str(), staging.get(),
                       (".earlier-" + earlier).c_str());
        }
    }
    // Some file systems cannot sync a folder (EINVAL); their renames need nothing more.
    if (::fsync(folder_.get()) != 0 && errno != EINVAL) {
        error = ioError(path_, "cannot write", errno);
        return false;
    }
    discard();
    return true;
}

void OutputFolder::discard() {
    if (!staging_.empty()) {
        std::error_code ec;
        fs::remove_all(staging_, ec);
        staging_.clear();
    }
}

} // namespace vqrt
