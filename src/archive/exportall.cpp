#include "archive/exportall.h"

#include "archive/csv.h"
#include "archive/exporterror.h"
#include "archive/history.h"
#include "archive/names.h"
#include "archive/outfile.h"
#include "archive/report.h"
#include "archive/sqlite.h"
#include "archive/text.h"
#include "archive/timefmt.h"
#include "archive/vcard.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace archive {

namespace {

namespace fs = std::filesystem;

// The output folder may be a link the user chose; a folder inside it may not lead elsewhere.
void makeFolder(const std::string& path, bool mayBeLink) {
    std::error_code error;
    if (!mayBeLink && fs::is_symlink(path, error)) {
        throw ExportError(path + ": could not create the folder (a symbolic link is there)");
    }
    fs::create_directories(path, error);
    if (error) {
        throw ExportError(path + ": could not create the folder (" + error.message() + ")");
    }
    if (!fs::is_directory(path, error)) {
        throw ExportError(path + ": could not create the folder (not a folder)");
    }
}

// The first line of an earlier export's report, from its owner on ("Rover (23456789)"); nothing
// when the folder holds no such report.
std::optional<std::string> earlierExportOf(const std::string& folder) {
    std::ifstream report(folder + "/report.txt", std::ios::binary);
    std::string start(kReportStart.size(), '\0');
    if (!report.read(start.data(), static_cast<std::streamsize>(start.size())) ||
        start != kReportStart) {
        return std::nullopt;
    }
    std::string owner;
    std::getline(report, owner);
    return owner;
}

// The UIN at the end of "Rover (23456789)"; 0 when there is none.
uint32_t uinOf(const std::string& owner) {
    const size_t open = owner.rfind('(');
    if (open == std::string::npos || owner.back() != ')') {
        return 0;
    }
    const std::optional<uint64_t> uin =
        decimal(std::string_view(owner).substr(open + 1, owner.size() - open - 2), 10);
    return uin && *uin <= UINT32_MAX ? static_cast<uint32_t>(*uin) : 0;
}

// The history of an earlier export is replaced as a whole, so that no page of a conversation
// that this export does not hold is left behind: the new pages go into a hidden folder beside
// it, which takes its place once complete and is removed if the export fails.
class HistoryFolder {
public:
    explicit HistoryFolder(const std::string& folder) : final_(folder + "/history") {
        makeFolder(final_, false); // refuses a link before any work is done
        std::string pattern = folder + "/.history-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw ExportError(folder + ": could not create a folder for the history (" +
                              std::generic_category().message(errno) + ")");
        }
        fresh_ = pattern;
        // mkdtemp gives 0700; the history gets the mode any new folder would.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(fresh_.c_str(), 0777 & ~mask);
    }
    ~HistoryFolder() {
        std::error_code ignored;
        fs::remove_all(fresh_, ignored);
    }
    HistoryFolder(const HistoryFolder&) = delete;
    HistoryFolder& operator=(const HistoryFolder&) = delete;

    const std::string& path() const { return fresh_; }

    void commit() {
        const std::string old = fresh_ + ".old";
        std::error_code error;
        fs::rename(final_, old, error);
        if (!error) {
            fs::rename(fresh_, final_, error);
        }
        if (error) {
            std::error_code ignored;
            fs::rename(old, final_, ignored);
            throw ExportError(final_ + ": could not replace the folder (" + error.message() + ")");
        }
        fs::remove_all(old, error);
    }

private:
    std::string final_;
    std::string fresh_;
};

// What an export replaces in the folder, put in place together once all of it is written: one
// sync of the file system puts every new file on the disk before the first rename, so neither a
// failure before it nor a crash after it leaves the earlier export half replaced or its files
// empty. Finished files that were not put in place are removed.
class Replacements {
    // The folder opened for syncing, closed when it goes.
    struct Folder {
        explicit Folder(const std::string& path)
            : fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
        ~Folder() {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        Folder(const Folder&) = delete;
        Folder& operator=(const Folder&) = delete;
        const int fd;
    };

public:
    explicit Replacements(std::string folder) : folder_(std::move(folder)) {}
    ~Replacements() {
        for (size_t i = placed_; i < files_.size(); ++i) {
            std::remove(files_[i].first.c_str());
        }
    }
    Replacements(const Replacements&) = delete;
    Replacements& operator=(const Replacements&) = delete;

    /// A finished file under its temporary name `part`, put in place after those added before.
    void add(std::string part, std::string path) {
        files_.emplace_back(std::move(part), std::move(path));
    }
    /// The finished history, put in place before the files.
    void addHistory(std::unique_ptr<HistoryFolder> history) { history_ = std::move(history); }

    void putInPlace() {
        const Folder folder(folder_);
        if (folder.fd < 0 || ::syncfs(folder.fd) != 0) {
            throw ExportError(systemError(folder_, "could not write the export to the disk"));
        }
        if (history_) {
            history_->commit();
        }
        for (; placed_ < files_.size(); ++placed_) {
            renameInto(files_[placed_].first, files_[placed_].second);
        }
        // Some file systems cannot sync a folder (EINVAL); their renames need nothing more.
        if (::fsync(folder.fd) != 0 && errno != EINVAL) {
            throw ExportError(systemError(folder_, "could not write the export to the disk"));
        }
    }

private:
    std::string folder_;
    std::unique_ptr<HistoryFolder> history_;
    std::vector<std::pair<std::string, std::string>> files_;
    size_t placed_ = 0;
};

class Exporter {
public:
    /// Thrown when a stop was asked for; what was written goes with the unwinding.
    struct Stopped {};

    Exporter(const Archive& archive, std::string folder, const ExportOptions& options)
        : archive_(archive), folder_(std::move(folder)), options_(options),
          zone_(archive.settings.timeZone), report_(archive.report) {
        // What the reading delivered is counted again below by what became of it.
        report_.entries.erase({"message", kReadOutcome});
        report_.entries.erase({"contact", kReadOutcome});
        for (const Group& group : archive.groups) {
            groups_[group.id] = group.name;
        }
        for (const Contact& contact : archive.contacts) {
            if (options.allContacts || onList(contact.status)) {
                listed_.push_back(&contact);
            }
        }
    }

    ExportResult run() {
        makeFolder(folder_, true);
        refuseStrangers();
        if (options_.vcard) {
            writeContactList("contacts.vcf", "",
                             [this](const Contact& c) { return vcard(c, groupName(c)); });
        }
        if (options_.csv) {
            writeContactList("contacts.csv", contactsCsvHeader(),
                             [this](const Contact& c) { return contactsCsvRow(c, groupName(c)); });
        }
        writeMessages();
        countContacts();
        OutFile report(folder_ + "/report.txt");
        report.write(reportText(archive_, report_, files_));
        // The report goes in last: it marks a complete export.
        replacements_.add(report.finish(), report.path());
        throwIfStopped();
        replacements_.putInPlace();
        return result_;
    }

private:
    void throwIfStopped() const {
        if (options_.stop != nullptr && options_.stop->load() != 0) {
            throw Stopped();
        }
    }

    // An export replaces only what an earlier one wrote: an entry of a name it writes in a
    // folder without the report of an earlier export is somebody else's.
    void refuseStrangers() const {
        if (const std::optional<std::string> earlier = earlierExportOf(folder_)) {
            const uint32_t uin = uinOf(*earlier);
            if (!options_.replaceOther && uin != 0 && uin != archive_.owner.uin) {
                throw ExportError(folder_ + ": holds the ICQ archive of another owner (UIN " +
                                  std::to_string(uin) + "); --replace replaces it");
            }
            const std::string history = folder_ + "/history";
            const std::vector<std::string> found =
                options_.history ? strangersInHistory(history) : std::vector<std::string>();
            if (!found.empty()) {
                throw ExportError(inTheWay(history, found, "no export wrote"));
            }
            return;
        }
        std::vector<std::string> found;
        for (const std::string& name : exportNames(options_)) {
            // An empty folder holds nothing to lose.
            const std::string path = folder_ + "/" + name;
            std::error_code ignored;
            const fs::file_status status = fs::symlink_status(path, ignored);
            if (fs::exists(status) && !(fs::is_directory(status) && fs::is_empty(path, ignored))) {
                found.push_back(name + (fs::is_directory(status) ? "/" : ""));
            }
        }
        if (!found.empty()) {
            throw ExportError(inTheWay(folder_, found,
                                       "no earlier export wrote (there is no report.txt of one)"));
        }
    }

    std::string groupName(const Contact& contact) const {
        const auto found = groups_.find(contact.groupId);
        return found == groups_.end() ? "" : found->second;
    }

    template <typename Render>
    void writeContactList(const std::string& name, const std::string& head, Render render) {
        OutFile file(folder_ + "/" + name);
        file.write(head);
        for (const Contact* contact : listed_) {
            file.write(render(*contact));
        }
        replacements_.add(file.finish(), file.path());
        const size_t left = archive_.contacts.size() - listed_.size();
        std::string holds = counted(listed_.size(), "contact");
        if (left != 0) {
            holds += "; left out: " + std::to_string(left) + " not on the list (--all-contacts)";
        }
        files_.push_back({name, holds});
    }

    // One walk feeds the history pages and the database, which inserts its rows on a thread of
    // its own meanwhile.
    void writeMessages() {
        std::unique_ptr<HistoryFolder> historyFolder;
        std::unique_ptr<HistoryWriter> history;
        std::unique_ptr<SqliteWriter> database;
        if (options_.history) {
            historyFolder = std::make_unique<HistoryFolder>(folder_);
            history = std::make_unique<HistoryWriter>(historyFolder->path(), archive_, zone_);
        }
        if (options_.sqlite) {
            database =
                std::make_unique<SqliteWriter>(folder_ + "/icq-archive.sqlite", archive_, zone_);
        }
        uint64_t messages = 0;
        uint64_t deleted = 0;
        std::exception_ptr failure;
        if (archive_.messages != nullptr) {
            // The reader below may not expect exceptions: stop it, then throw here.
            archive_.messages->forEachMessageByContact([&](const Message& message) {
                try {
                    throwIfStopped();
                    if (history || database) {
                        MessageRow row = messageRow(message, zone_);
                        if (history) {
                            history->add(message, row);
                        }
                        if (database) {
                            row.rawText = message.rawText;
                            database->add(std::move(row));
                        }
                    }
                    ++messages;
                    deleted += message.inDeletedFolder ? 1 : 0;
                    return true;
                } catch (...) {
                    failure = std::current_exception();
                    return false;
                }
            });
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
        if (archive_.messages != nullptr) {
            for (const std::string& warning : archive_.messages->streamWarnings()) {
                report_.warnings.push_back(warning);
                ++report_.entries[{"message", "unreadable"}];
            }
        }
        const bool exported = history || database;
        report_.entries[{"message", exported
                                        ? "exported"
                                        : "not exported (neither history nor database chosen)"}] +=
            messages;
        result_.messages = exported ? messages : 0;
        result_.inDeletedFolder = exported ? deleted : 0;
        if (history) {
            history->finish();
            replacements_.addHistory(std::move(historyFolder));
            result_.conversations = history->conversations().size();
            files_.push_back({"history/", counted(result_.conversations, "conversation") + ", " +
                                              counted(messages, "message")});
        }
        if (database) {
            replacements_.add(database->finish(), folder_ + "/icq-archive.sqlite");
            files_.push_back({"icq-archive.sqlite", counted(archive_.contacts.size(), "contact") +
                                                        ", " + counted(messages, "message")});
        }
    }

    void countContacts() {
        const bool lists = options_.vcard || options_.csv;
        for (const Contact& contact : archive_.contacts) {
            const bool listed = lists && (options_.allContacts || onList(contact.status));
            if (listed || options_.sqlite) {
                ++result_.contacts;
                ++report_.entries[{"contact", "exported"}];
            } else {
                ++report_.entries[{"contact", std::string("not exported (") +
                                                  statusName(contact.status) +
                                                  (lists ? "; --all-contacts adds it)" : ")")}];
            }
        }
    }

    const Archive& archive_;
    const std::string folder_;
    const ExportOptions options_;
    const TimeZone zone_;
    Report report_;
    std::map<uint32_t, std::string> groups_;
    std::vector<const Contact*> listed_;
    std::vector<WrittenFile> files_;
    ExportResult result_;
    Replacements replacements_{folder_};
};

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

std::vector<std::string> strangersInHistory(const std::string& history) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(history, error), end; !error && it != end; it.increment(error)) {
        const fs::path& entry = it->path();
        std::error_code ignored;
        if (!fs::is_regular_file(fs::symlink_status(entry, ignored)) ||
            (entry.extension() != ".html" && entry.extension() != ".txt")) {
            found.push_back(entry.filename().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string bundleRefusal(const std::string& folder, const std::vector<std::string>& strangers,
                          bool earlierHistory) {
    if (!strangers.empty()) {
        return inTheWay(folder, strangers, "no earlier import wrote");
    }
    const std::string history = folder + "/history";
    const std::vector<std::string> found =
        earlierHistory ? strangersInHistory(history) : std::vector<std::string>();
    return found.empty() ? std::string() : inTheWay(history, found, "no export wrote");
}

bool holdsArchive(const std::string& folder) {
    std::error_code error;
    return earlierExportOf(folder).has_value() &&
           fs::is_regular_file(folder + "/icq-archive.sqlite", error);
}

bool holdsEarlierOutput(const std::string& folder) {
    std::error_code error;
    return fs::is_regular_file(folder + "/record.json", error) || holdsArchive(folder);
}

std::string earlierOutputAdvice(const std::string& folder) {
    return holdsEarlierOutput(folder) ? "; it holds an import or ICQ archive saved earlier, which "
                                        "the window shows: tolvane --open \"" +
                                            folder + "\""
                                      : std::string();
}

std::vector<std::string> exportNames(const ExportOptions& options) {
    std::vector<std::string> names;
    for (const auto& [name, written] :
         std::initializer_list<std::pair<const char*, bool>>{{"contacts.vcf", options.vcard},
                                                             {"contacts.csv", options.csv},
                                                             {"history", options.history},
                                                             {"icq-archive.sqlite", options.sqlite},
                                                             {"report.txt", true}}) {
        if (written) {
            names.emplace_back(name);
        }
    }
    return names;
}

ExportResult exportAll(const Archive& archive, const std::string& folder,
                       const ExportOptions& options) {
    try {
        return Exporter(archive, withoutTrailingSlash(folder), options).run();
    } catch (const Exporter::Stopped&) {
        ExportResult stopped;
        stopped.stopped = true;
        stopped.error = withoutTrailingSlash(folder) + ": the export was stopped; the folder is as "
                                                       "it was";
        return stopped;
    } catch (const std::exception& e) {
        ExportResult failed;
        failed.error = e.what();
        return failed;
    }
}

} // namespace archive
