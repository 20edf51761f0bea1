#include "importcommand.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include <QApplication>
#include <QWidget>

#include "fdio.h"
#include "info.h"
#include "optionspage.h"
#include "outputfolder.h"
#include "ownerdatabase.h"
#include "passwordanswer.h"
#include "pluginloader.h"
#include "recordwriter.h"
#include "summary.h"
#include "terminal.h"
#include "terminalagent.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

const int kComplete = 0;
const int kRefused = 1;
const int kUsage = 2;
const int kNotAllCarried = 3;

// Qt's own warnings (a missing XDG_RUNTIME_DIR, fonts) say nothing about the import.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::cerr << "tolvane-import: " << message.toStdString() << "\n";
    }
}

int fail(int status, const std::string& line) {
    std::cerr << "tolvane-import: " << line << "\n";
    return status;
}

// Where the plug-in's own diagnostic lines go: standard error with --verbose, else nowhere.
vqrt::UniqueFd pluginOutput(bool verbose) {
    return vqrt::UniqueFd(verbose ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY | O_CLOEXEC));
}

// A folder of its own for a run whose record is only printed (--json without --out), in
// TMPDIR or /tmp.
class ScratchFolder {
public:
    /// Creates the folder; path() stays empty, with one line in `error`, when that fails.
    explicit ScratchFolder(std::string& error) {
        const char* tmpdir = std::getenv("TMPDIR");
        const std::string base = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
        std::string pattern = base + "/tolvane-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot create a scratch folder for the record in " + base + ": " +
                    std::strerror(errno) + " (use --out DIR)";
            return;
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The record as the plug-in writes it. A stop signal ends the run before the next section or
// value is taken: the contact scan hands control back for every contact, but asks the agent
// for progress only after the last one.
class RecordOfRun : public vqrt::RecordWriter {
public:
    RecordOfRun(const std::string& folder, vqrt::RecordWriterOptions options,
                std::function<void()> stop)
        : RecordWriter(folder, "ICQ", std::move(options)), stop_(std::move(stop)) {}
    void beginSection(const char* name) override {
        stopIfAsked();
        RecordWriter::beginSection(name);
    }
    void writeValue(const char* key, const char* value) override {
        stopIfAsked();
        RecordWriter::writeValue(key, value);
    }
    void writeFileValue(const char* quotedLocalPath, const char* key) override {
        stopIfAsked();
        RecordWriter::writeFileValue(quotedLocalPath, key);
    }

private:
    void stopIfAsked() const {
        if (vqrt::TerminalAgent::stopSignal().load() != 0) {
            stop_();
        }
    }
    std::function<void()> stop_;
};

std::string ownerList(const std::vector<QString>& owners) {
    std::string text;
    for (const QString& owner : owners) {
        text += (text.empty() ? "" : ", ") + owner.toStdString();
    }
    return text.empty() ? std::string("none") : text;
}

// What one run carries from step to step. Members go from the last up: the options page before
// the plug-in that made it, the output folder before the agent that catches stop signals.
struct Run {
    explicit Run(const Options& options) : o(options) {}

    const Options& o;
    std::unique_ptr<vqrt::HostSession> session;
    std::string pluginPath;
    std::unique_ptr<vqrt::LoadedPlugin> loaded;
    plugin* icq = nullptr;
    std::optional<std::string> password;
    vqrt::UniqueFd diagnostics; ///< where the plug-in's own lines go
    bool found = false;         ///< ICQ is installed
    QWidget host;               ///< holds the options page
    std::optional<OptionsPage> page;
    std::vector<QString> owners;
    OwnerDatabase database; ///< of the chosen owner
    std::optional<vqrt::TerminalAgent> agent;
    std::optional<ScratchFolder> scratch;
    std::unique_ptr<vqrt::OutputFolder> output;
    /// Where the run writes its bundle (record.json, files/ and whatever else belongs to it):
    /// the staging folder inside --out, whose entries go into --out together when the run is
    /// saved, or the scratch folder of a record that is only printed.
    std::string bundleFolder;
    std::optional<RecordOfRun> record;
    std::optional<PasswordAnswer> answer;
    std::optional<StdoutRedirect> quietOutput; ///< while the plug-in runs
    std::optional<CoutDiscard> quietCout;
    int result = 0;             ///< what activatePlugin answered
    bool stoppedInside = false; ///< the run was ended inside activatePlugin
};

// A step either lets the run go on or ends it with an exit status.
using Step = std::optional<int> (*)(Run&);

// Standard output as it was before quietly().
void loud(Run& run) {
    run.quietCout.reset();
    run.quietOutput.reset();
}

// Calls the plug-in with its lines on standard output sent to run.diagnostics, and dropped
// before they reach it unless --verbose.
template <class Call> auto quietly(Run& run, Call call) {
    run.quietOutput.emplace(run.diagnostics.get());
    if (!run.o.verbose) {
        run.quietCout.emplace();
    }
    const auto result = call();
    loud(run);
    return result;
}

// The command line shows no window: Qt draws offscreen unless told otherwise.
void prepareQt(bool verbose) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (!verbose) {
        qInstallMessageHandler(quietQt);
    }
}

std::string signalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

vqrt::BundleIdentity identity(const Run& run) {
    return {run.session->options().windowsRoot, run.database.uin};
}

// Whose record --out holds: what the bundle says of itself, or, for a bundle of an older
// version, the UIN of its record's owner section.
std::optional<vqrt::BundleIdentity> earlierIdentity(const vqrt::OutputFolder& out) {
    if (out.earlierIdentity() || !out.holdsBundle()) {
        return out.earlierIdentity();
    }
    std::string text;
    std::string error;
    if (!vqrt::readWholeFile(out.path() + "/record.json", text, error)) {
        return std::nullopt;
    }
    // Sections inside sections (the contacts) are dropped as they are read.
    const Json record = Json::parse(
        text,
        [](int depth, Json::parse_event_t event, Json&) {
            return event != Json::parse_event_t::object_end || depth < 5;
        },
        false);
    if (!record.is_object()) {
        return std::nullopt;
    }
    for (const Json& section : record.value("sections", Json::array())) {
        for (const Json& entry : section.value("entries", Json::array())) {
            if (section.value("name", "") == "ICQ_OWNER" && entry.value("key", "") == "UIN") {
                std::string uin = entry.value("value", "");
                uin.erase(uin.find_last_not_of("\r\n") + 1);
                return vqrt::BundleIdentity{"", uin};
            }
        }
    }
    return std::nullopt;
}

// The contact database as the summary names it when contacts were chosen and it cannot be
// read; empty when it can.
std::string databaseGap(const OwnerDatabase& database) {
    if (database.problem.empty()) {
        return {};
    }
    return "the contact database " + database.path + (database.path.empty() ? "(" : " (") +
           database.problem + ")";
}

// Saves what the record holds where it belongs: a complete import replaces the bundle in
// --out, a run that did not complete leaves an earlier one as it was. Prints the record with
// --json, the summary and the last line; answers the exit status. Stop signals that come now
// change nothing: the import is as complete as it is.
int finishRun(Run& run) {
    RecordOfRun& record = *run.record;
    record.setResult(run.result);
    // Saving again right after a save that failed only fails again, with the same line.
    if (!record.lastSaveFailed()) {
        record.finish();
    }
    const bool complete = run.result == 0 && record.complete() && !run.stoppedInside;
    const int signal = complete ? 0 : vqrt::TerminalAgent::stopSignal().load();
    if (run.o.json) {
        std::cout.flush();
        record.writeText(STDOUT_FILENO);
    }
    const std::string recordPath =
        run.o.out.empty() ? std::string("(not kept)") : run.output->path() + "/record.json";
    const bool kept = run.output && !complete && run.output->holdsBundle();
    std::string error;
    const bool saved = !record.lastSaveFailed() &&
                       (!run.output || kept || run.output->commit(identity(run), error));
    if (run.output) {
        run.output->discard();
    }
    run.scratch.reset();
    if (!saved) {
        return fail(kRefused, record.lastSaveFailed() ? record.lastSaveError() : error);
    }
    const std::string what = kept ? "the earlier record is kept as it was: " + recordPath
                                  : "the record keeps what was imported so far: " + recordPath;
    if (signal != 0) {
        return fail(128 + signal, "interrupted by " + signalName(signal) + "; " + what);
    }
    if (!run.found) {
        return fail(kRefused, "no ICQ installation found in " + run.o.host.windowsRoot +
                                  " (the registry has no ICQ.exe application path)" +
                                  (kept ? "; " + what : ""));
    }
    if (!complete) {
        return fail(kRefused, "the import did not complete; " + what);
    }
    const Json outline = record.outline();
    const std::string gap = databaseGap(run.database);
    if (!run.o.quiet && !run.o.json) {
        std::cout << importSummary(outline, recordPath, gap);
    }
    const std::string missing = notCarried(outline, gap);
    return missing.empty() ? kComplete
                           : fail(kNotAllCarried, "not everything chosen was carried: " + missing);
}

// Ends the run from inside the plug-in after a stop signal, as the agent would at its next
// progress step.
[[noreturn]] void stopNow(Run& run) {
    loud(run);
    run.agent->stepProgress(0);
    run.stoppedInside = true;
    run.result = -1;
    const int status = finishRun(run);
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}

std::optional<int> openSession(Run& run) {
    std::string error;
    run.session = vqrt::HostSession::open(run.o.host, error);
    if (!run.session) {
        return fail(kUsage, error);
    }
    for (const std::string& warning : run.session->warnings()) {
        std::cerr << "tolvane-import: warning: " << warning << "\n";
    }
    return std::nullopt;
}

std::optional<int> loadPlugin(Run& run) {
    std::string error;
    run.pluginPath = run.o.plugin.empty() ? defaultPluginPath() : run.o.plugin;
    run.loaded = vqrt::LoadedPlugin::load(run.pluginPath, error);
    if (!run.loaded) {
        return fail(kUsage, error);
    }
    run.icq = run.loaded->object();
    run.icq->setArbiter(run.session.get());
    return std::nullopt;
}

std::optional<int> readPassword(Run& run) {
    std::string error;
    if (!run.o.passwordFile.empty()) {
        run.password = readFirstLine(run.o.passwordFile, error);
    } else if (run.o.passwordStdin) {
        run.password = readFirstLineOfStdin(error);
    }
    if (!error.empty()) {
        return fail(kUsage, error);
    }
    if (!run.password && !run.o.list && !haveTerminal()) {
        return fail(kUsage, "no owner password given and no terminal to ask on "
                            "(use --password-file FILE or --password-stdin)");
    }
    return std::nullopt;
}

// Asks the plug-in whether ICQ is installed and, when it is, for its options page, which
// lists the owners.
std::optional<int> discoverOwners(Run& run) {
    run.diagnostics = pluginOutput(run.o.verbose);
    run.found = quietly(run, [&] { return run.icq->checkDependency(); });
    if (run.found) {
        run.icq->showDlg(0, &run.host);
    }
    run.page.emplace(&run.host);
    if (run.page->valid()) {
        run.owners = run.page->owners();
    }
    return std::nullopt;
}

// With --list: prints the owners, and the run ends.
std::optional<int> listOwners(Run& run) {
    if (!run.o.list) {
        return std::nullopt;
    }
    if (!run.found) {
        return fail(kRefused, "no ICQ installation found in " + run.o.host.windowsRoot);
    }
    for (const QString& owner : run.owners) {
        std::cout << owner.toStdString() << "\n";
    }
    return run.owners.empty() ? fail(kRefused, "ICQ is installed but has no owners") : kComplete;
}

// Chooses the owner on the options page and finds their contact database.
std::optional<int> chooseOwner(Run& run) {
    if (!run.found) {
        return std::nullopt;
    }
    if (!run.page->valid()) {
        return fail(kUsage, run.pluginPath + ": the plug-in showed no options page");
    }
    if (!run.o.owner.empty() && !run.page->chooseOwner(run.o.owner)) {
        return fail(kUsage, "no ICQ owner named \"" + run.o.owner +
                                "\" (owners: " + ownerList(run.owners) + ")");
    }
    run.database = findOwnerDatabase(*run.session, run.page->chosenOwner());
    return std::nullopt;
}

// The record goes to a staging folder inside --out, or to a scratch folder when it is only
// printed. From here on a stop signal ends the run the way Ctrl-C does, and cleans up.
std::optional<int> openOutput(Run& run) {
    run.agent.emplace(run.icq->getBlockCount(), stderr);
    run.agent->catchStopSignals();
    std::string error;
    if (run.o.out.empty()) {
        run.scratch.emplace(error);
        if (run.scratch->path().empty()) {
            return fail(kUsage, error);
        }
    } else {
        run.output = vqrt::OutputFolder::open(run.o.out, error);
        if (!run.output) {
            return fail(kUsage, error);
        }
    }
    run.bundleFolder = run.output ? run.output->staging() : run.scratch->path();
    run.record.emplace(run.bundleFolder,
                       vqrt::RecordWriterOptions{run.o.host.codepage,
                                                 [](const std::string& line) {
                                                     std::cerr
                                                         << "tolvane-import: warning: " << line
                                                         << "\n";
                                                 }},
                       [&run] { stopNow(run); });
    if (run.output) {
        run.record->showAs(run.output->path());
    }
    return std::nullopt;
}

// Without ICQ the record says so, in a folder that holds no other.
std::optional<int> refuseWithoutIcq(Run& run) {
    if (run.found) {
        return std::nullopt;
    }
    run.result = -1;
    return finishRun(run);
}

// The record in --out is replaced only by one of the same owner and installation, unless
// --replace says otherwise.
std::optional<int> checkEarlierRecord(Run& run) {
    if (!run.output || run.o.replace) {
        return std::nullopt;
    }
    const std::optional<vqrt::BundleIdentity> earlier = earlierIdentity(*run.output);
    const vqrt::BundleIdentity now = identity(run);
    // A record of no owner (of a run that found no ICQ) holds nothing to lose.
    if (!earlier || earlier->owner.empty()) {
        return std::nullopt;
    }
    const std::string holds = run.output->path() + " holds the record of ";
    if (!earlier->installation.empty() && earlier->installation != now.installation) {
        return fail(kUsage, holds + "another installation (" + earlier->installation +
                                "); --replace replaces it");
    }
    if (!now.owner.empty() && earlier->owner != now.owner) {
        return fail(kUsage,
                    holds + "another owner (UIN " + earlier->owner + "); --replace replaces it");
    }
    return std::nullopt;
}

// Sets the options page as the command line says, the way a person would.
std::optional<int> applyOptions(Run& run) {
    const Options& o = run.o;
    const std::pair<bool, QString> clicks[] = {
        {o.noServer, QStringLiteral("Import Host S&erver Settings")},
        {o.noUserSettings, QStringLiteral("Import &User Settings")},
        {o.noContacts, QStringLiteral("Import Con&tacts")},
        {o.overwriteContacts, QStringLiteral("Over&write Current Contact List")},
        {o.noSounds, QStringLiteral("Import Soun&d Settings")},
        // The page keeps "Default" chosen when an owner without sounds of their own was
        // current before; a person who wants the owner's own sounds chooses "Customized"
        // (possible only for an owner who has them).
        {o.defaultSounds, QStringLiteral("De&fault")},
        {!o.defaultSounds, QStringLiteral("Customi&zed")},
    };
    for (const auto& [wanted, text] : clicks) {
        if (wanted) {
            run.page->click(text);
        }
    }
    if (run.password) {
        run.page->typePassword(*run.password);
    }
    return std::nullopt;
}

// Runs the import with a progress bar, answering the password dialog.
std::optional<int> runPlugin(Run& run) {
    vqrt::TerminalAgent& agent = *run.agent;
    agent.setWidget(&run.host);
    run.session->setAgent(&agent);
    run.answer.emplace([&run]() -> std::optional<std::string> {
        if (run.password) {
            return run.password;
        }
        run.agent->finishLine();
        return promptPassword("Password of the ICQ owner: ",
                              [] { return vqrt::TerminalAgent::stopSignal().load() != 0; });
    });
    QCoreApplication::instance()->installEventFilter(&*run.answer);
    run.result = quietly(run, [&] { return run.icq->activatePlugin(&*run.record, 0); });
    agent.finishLine();
    run.session->setAgent(nullptr);
    return std::nullopt;
}

} // namespace

int runImport(const Options& o) {
    prepareQt(o.verbose);
    int argc = 1;
    char name[] = "tolvane-import";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    Run run(o);
    for (const Step step :
         {openSession, loadPlugin, readPassword, discoverOwners, listOwners, chooseOwner,
          openOutput, refuseWithoutIcq, checkEarlierRecord, applyOptions, runPlugin}) {
        if (const std::optional<int> status = step(run)) {
            return *status;
        }
    }
    return finishRun(run);
}

} // namespace cli
