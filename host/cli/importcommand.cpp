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

#include "archive/exportall.h"
#include "archive/locate.h"
#include "archive/text.h"
#include "archiverun.h"
#include "confinement.h"
#include "diagnostics.h"
#include "fdio.h"
#include "importstatus.h"
#include "info.h"
#include "optionspage.h"
#include "outputfolder.h"
#include "ownerchoice.h"
#include "ownerdatabase.h"
#include "pagestate.h"
#include "passwordanswer.h"
#include "pluginloader.h"
#include "progress/stopsignals.h"
#include "recordread.h"
#include "recordwriter.h"
#include "scratch.h"
#include "summary.h"
#include "terminal.h"
#include "terminalagent.h"
#include "text/printable.h"
#include "windowsinstall.h"
#include "windowszone.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

// Qt's own warnings (a missing XDG_RUNTIME_DIR, fonts) say nothing about the import.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::cerr << "tolvane-import: " << message.toStdString() << "\n";
    }
}

// Lines name owners, users and files of the installation: they are printed escaped.
// The last line of a run is written whole even when a second stop signal interrupts it.
int fail(int status, const std::string& line) {
    const std::string shown = "tolvane-import: " + text::printable(line) + "\n";
    vqrt::writeAll(STDERR_FILENO, shown.data(), shown.size());
    return status;
}

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
    std::vector<OwnerFile> owners;
    /// Chosen by --owner or at the terminal; null when the page alone decides (one owner, or
    /// the page state).
    const OwnerFile* chosen = nullptr;
    /// The chosen owner is one the page cannot choose: only the archive is written.
    bool archiveOnly = false;
    OwnerDatabase database; ///< of the chosen owner
    std::optional<vqrt::TerminalAgent> agent;
    std::optional<vqrt::ScratchFolder> scratch;
    std::unique_ptr<vqrt::OutputFolder> output;
    /// Where the run writes its bundle (record.json, files/ and whatever else belongs to it):
    /// the staging folder inside --out, whose entries go into --out together when the run is
    /// saved, or the scratch folder of a record that is only printed.
    std::string bundleFolder;
    std::optional<RecordOfRun> record;
    std::optional<PasswordAnswer> answer;
    std::optional<DiagnosticsEcho> echo;       ///< shows the plug-in's lines with --debug
    std::optional<StdoutRedirect> quietOutput; ///< while the plug-in runs
    std::optional<CoutDiscard> quietCout;
    int result = 0;             ///< what activatePlugin answered
    bool stoppedInside = false; ///< the run was ended inside activatePlugin
    ArchiveOutcome archive{false, "not written", {}, {}, 0, {}};
    /// The code page the old Windows used, where it is not the one in use (no --codepage).
    std::optional<std::string> otherCodepage;
};

// A step either lets the run go on or ends it with an exit status.
using Step = std::optional<int> (*)(Run&);

// Standard output as it was before quietly(); the plug-in's lines are shown with --debug.
void loud(Run& run) {
    run.quietCout.reset();
    run.quietOutput.reset();
    run.echo.reset();
}

// Calls the plug-in with its lines on standard output sent to run.diagnostics (and shown
// escaped after the call) with --debug, and dropped before they reach it otherwise.
template <class Call> auto quietly(Run& run, Call call) {
    run.echo.emplace(run.o.debug ? run.diagnostics.get() : -1);
    run.quietOutput.emplace(run.diagnostics.get());
    if (!run.o.debug) {
        run.quietCout.emplace();
    }
    const auto result = call();
    loud(run);
    return result;
}

// The command line shows no window: Qt draws offscreen unless told otherwise.
void prepareQt(bool debug) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (!debug) {
        qInstallMessageHandler(quietQt);
    }
}

vqrt::BundleIdentity identity(const Run& run) {
    return {run.session->options().windowsRoot, run.database.uin};
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

// "Windows used code page CP1251 (--codepage CP1251)": its texts are read right with that.
std::string codepageAdvice(const std::string& codepage) {
    return "Windows used code page " + codepage + " (--codepage " + codepage + ")";
}

// Texts decoded in another code page (no --codepage) than the old Windows used: the summary
// says which, and how to read them right. Empty otherwise.
std::string textsHint(const Run& run) {
    return run.otherCodepage ? "decoded as " + run.o.host.codepage + "; the old " +
                                   codepageAdvice(*run.otherCodepage)
                             : std::string();
}

// "(2000a/4711.dat, ...), whose contacts and history tolvane-icq reads: tolvane-icq export
// --out DIR \"ROOT/2000a/4711.dat\"": the databases found below `root` and what reads them.
std::string readerAdvice(const std::string& root, const std::vector<std::string>& databases) {
    constexpr size_t kNamesShown = 5;
    std::vector<std::string> names;
    for (const std::string& path : databases) {
        names.push_back(std::filesystem::path(path).lexically_relative(root).string());
    }
    return "(" + archive::firstFew(names, kNamesShown) +
           "), whose contacts and history tolvane-icq reads: tolvane-icq export --out DIR \"" +
           databases.front() + "\"";
}

// For a root that is no Windows installation but an ICQ folder, what reads it; else empty.
std::string icqFolderAdvice(const std::string& root) {
    const std::vector<std::string> databases = archive::databasesIn(root);
    return databases.empty() ? std::string()
                             : "; it is an ICQ folder " + readerAdvice(root, databases);
}

// For an installation whose registry names no ICQ: the ICQ databases on its disk all the same,
// and what reads them; else empty.
std::string diskDatabasesAdvice(const std::string& root) {
    // Only those that are on the disk: a link may lead anywhere.
    std::vector<std::string> outside;
    std::vector<std::string> databases;
    for (auto& [uin, copies] : archive::databaseCopiesInside(root, outside)) {
        databases.insert(databases.end(), copies.begin(), copies.end());
    }
    return databases.empty() ? std::string()
                             : "; ICQ databases lie on its disk " + readerAdvice(root, databases);
}

// Where the registry cannot be read (Windows 95 to ME, a damaged hive) and no exports were
// given: what stands in for it.
std::string exportsAdvice(const vqrt::HostOptions& host) {
    return host.regFiles.empty()
               ? "; exports of its registry can stand in for it: --reg FILE for "
                 "HKEY_LOCAL_MACHINE\\SOFTWARE and for HKEY_CURRENT_USER (made with regedit /e "
                 "FILE KEY on that machine)"
               : std::string();
}

// For an installation whose registry names no ICQ: the exports that can stand in for hives
// that could not be read, and the ICQ databases on its disk.
std::string noIcqAdvice(const Run& run) {
    return (run.session->warnings().empty() ? std::string() : exportsAdvice(run.o.host)) +
           diskDatabasesAdvice(run.o.host.windowsRoot);
}

// What can still be done with a root whose session cannot be opened: for a Windows
// installation whose registry cannot be read, the exports that stand in for it and the ICQ
// databases on its disk; for another folder, the ICQ databases in it. Empty when the
// installation was found and something else is wrong.
std::string unopenedAdvice(const vqrt::HostOptions& host) {
    const std::string& root = host.windowsRoot;
    std::string unused;
    if (vqrt::WindowsInstallation::locate(root, unused)) {
        return {};
    }
    if (!vqrt::holdsWindowsFolder(root)) {
        const std::string databases = icqFolderAdvice(root);
        return databases.empty() ? archive::earlierOutputAdvice(root) : databases;
    }
    return exportsAdvice(host) + diskDatabasesAdvice(root);
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
        return fail(vqrt::kImportRefused, record.lastSaveFailed() ? record.lastSaveError() : error);
    }
    const std::string what = kept ? "the earlier record is kept as it was: " + recordPath
                                  : "the record keeps what was imported so far: " + recordPath;
    if (signal != 0) {
        return fail(vqrt::importStoppedBy(signal),
                    "interrupted by " + progress::signalName(signal) + "; " + what);
    }
    if (!run.found) {
        return fail(vqrt::kImportRefused, "no ICQ installation found in " + run.o.host.windowsRoot +
                                              " (the registry has no ICQ.exe application path)" +
                                              (kept ? "; " + what : "") + noIcqAdvice(run));
    }
    if (!complete) {
        return fail(vqrt::kImportRefused, "the import did not complete; " + what);
    }
    const Json outline = record.outline();
    const std::string gap = databaseGap(run.database);
    if (run.output) {
        for (const std::string& line : carriedFiles(outline, run.output->path())) {
            tell(line);
        }
    }
    if (!run.o.quiet && !run.o.json) {
        std::cout << importSummary(outline, recordPath, gap, run.archive, textsHint(run));
    }
    const std::string missing = notCarried(outline, gap);
    return missing.empty()
               ? vqrt::kImportComplete
               : fail(vqrt::kImportNotAllCarried, "not everything chosen was carried: " + missing);
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
        return fail(vqrt::kImportUsage, error + unopenedAdvice(run.o.host));
    }
    for (const std::string& warning : run.session->warnings()) {
        warn(warning);
    }
    const auto codepage = zone::windowsCodepage(*run.session->getRegistry());
    if (!run.o.codepageGiven && codepage && *codepage != run.o.host.codepage) {
        run.otherCodepage = codepage;
    }
    run.session->setWarningSink([](const std::string& warning) { warn(warning); });
    if (!run.session->softwareHive().empty()) {
        tell("machine hive: " + run.session->softwareHive());
    }
    if (const auto& user = run.session->user()) {
        tell("user hive of " + user->name + ": " + user->ntuserDat);
    }
    for (const std::string& reg : run.session->options().regFiles) {
        tell(".reg export: " + reg);
    }
    return std::nullopt;
}

std::optional<int> loadPlugin(Run& run) {
    std::string error;
    run.pluginPath = run.o.plugin.empty() ? defaultPluginPath() : run.o.plugin;
    run.loaded = vqrt::LoadedPlugin::load(run.pluginPath, error);
    if (!run.loaded) {
        return fail(vqrt::kImportUsage, error);
    }
    tell("plug-in: " + run.loaded->path());
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
        return fail(vqrt::kImportUsage, error);
    }
    return std::nullopt;
}

// The plug-in asks for the password when none is given: on the terminal, so there must be one.
std::optional<int> needPassword(Run& run) {
    if (!run.password && !run.archiveOnly && !run.o.pageStateStdin && !haveTerminal()) {
        return fail(vqrt::kImportUsage, "no owner password given and no terminal to ask on "
                                        "(use --password-file FILE or --password-stdin)");
    }
    return std::nullopt;
}

// Asks the plug-in whether ICQ is installed and, when it is, for its options page, which
// lists the owners.
std::optional<int> discoverOwners(Run& run) {
    run.diagnostics = pluginOutput(run.o.debug);
    run.found = quietly(run, [&] { return run.icq->checkDependency(); });
    if (run.found) {
        run.icq->showDlg(0, &run.host);
        run.owners = findOwnerFiles(*run.session);
    }
    // ICQ installed on another partition (D:\ICQ), whose folder was not given.
    if (run.found && run.owners.empty()) {
        for (const auto& [letter, path] : run.session->unmappedDrives()) {
            const std::string drive(1, letter);
            warn("ICQ's owner files are in " + path + ", on drive " + drive +
                 ":, which was not given: name the folder it is mounted at with --drive " + drive +
                 "=DIR");
        }
    }
    run.page.emplace(&run.host);
    return std::nullopt;
}

// "Windows was set to W. Europe Standard Time (--time-zone Europe/Berlin)": the zone and the
// option that shows the history in it.
std::string zoneAdvice(const zone::WindowsZone& zone) {
    return "Windows was set to " + zone.windowsId + " (--time-zone " + zone.ianaId + ")";
}

// With --list: prints the owners with what their databases hold, and the run ends. The
// databases are read confined, as an import reads them.
std::optional<int> listOwners(Run& run) {
    if (!run.o.list) {
        return std::nullopt;
    }
    if (!run.found) {
        return fail(vqrt::kImportRefused,
                    "no ICQ installation found in " + run.o.host.windowsRoot + noIcqAdvice(run));
    }
    if (run.owners.empty()) {
        return fail(vqrt::kImportRefused, "ICQ is installed but has no owners");
    }
    std::vector<OwnerDatabase> databases;
    for (const OwnerFile& owner : run.owners) {
        databases.push_back(findOwnerDatabase(*run.session, owner.uin));
    }
    // A long history's message references go to temporary files in a folder of the run's own
    // (without one they stay in memory).
    std::string unmade;
    const vqrt::ScratchFolder scratch(unmade);
    confineImport(run.o, scratch.path(), scratch.path().empty() ? "" : scratch.parent());
    std::vector<std::optional<OwnerCounts>> counts;
    for (const OwnerDatabase& database : databases) {
        counts.push_back(countOwner(database, run.o.host.codepage, run.o.archive));
    }
    std::cout << ownerTable(run.owners, counts, run.o.host.codepage);
    // The zone the import's --time-zone would best name.
    if (run.otherCodepage) {
        std::cout << "\nThe old " << codepageAdvice(*run.otherCodepage) << "\n";
    }
    if (const auto zone = zone::windowsZone(*run.session->getRegistry())) {
        std::cout << (run.otherCodepage ? "" : "\n") << "The old " << zoneAdvice(*zone) << "\n";
    }
    return vqrt::kImportComplete;
}

// The owner --owner names, the only one, or the one the person at the terminal chooses. The
// page is set to it when it can be; an owner it cannot reach gets its archive alone.
std::optional<int> chooseOwner(Run& run) {
    if (!run.found) {
        return std::nullopt;
    }
    if (!run.page->valid()) {
        return fail(vqrt::kImportUsage, run.pluginPath + ": the plug-in showed no options page");
    }
    std::string error;
    if (!run.o.owner.empty()) {
        run.chosen = matchOwner(run.owners, run.o.owner, run.o.host.codepage, error);
    } else if (run.o.pageStateStdin || run.owners.size() <= 1) {
        return std::nullopt;
    } else if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {
        run.chosen = askOwner(run.owners, run.o.host.windowsRoot, run.o.host.codepage);
        error = "no owner chosen (input ended)";
    } else {
        error = std::to_string(run.owners.size()) + " ICQ owners, choose one with --owner " +
                "NICKNAME or --owner UIN:";
        for (const OwnerFile& owner : run.owners) {
            error += (&owner == &run.owners.front() ? " " : ", ") +
                     ownerName(owner, run.o.host.codepage);
        }
    }
    if (run.chosen == nullptr) {
        return fail(vqrt::kImportUsage, error);
    }
    run.archiveOnly = !run.chosen->reachable;
    if (!run.archiveOnly) {
        return run.page->chooseOwner(run.chosen->nickname)
                   ? std::nullopt
                   : std::optional<int>(fail(vqrt::kImportUsage,
                                             run.pluginPath + ": the options page does not list " +
                                                 ownerName(*run.chosen, run.o.host.codepage)));
    }
    const std::string cannot = ownerName(*run.chosen, run.o.host.codepage) + ": " +
                               unreachableWhy(*run.chosen, run.owners);
    if (run.o.out.empty()) {
        return fail(vqrt::kImportUsage, cannot + "; --out DIR receives its ICQ archive alone");
    }
    if (!run.o.archive.enabled) {
        return fail(vqrt::kImportUsage, cannot + ", and --no-archive leaves nothing to write");
    }
    return std::nullopt;
}

// With --page-state-stdin: the options page as the desktop window's page was, the owner too.
std::optional<int> applyPageState(Run& run) {
    std::string error;
    if (run.found && run.o.pageStateStdin && !applyPageStateFromStdin(&run.host, error)) {
        return fail(vqrt::kImportUsage, error);
    }
    return std::nullopt;
}

// The contact database of the owner the page now shows.
std::optional<int> findDatabase(Run& run) {
    if (!run.found) {
        return std::nullopt;
    }
    const OwnerFile* owner = run.chosen;
    for (const OwnerFile& listed : run.owners) {
        if (owner == nullptr && listed.reachable && listed.nickname == run.page->chosenOwner()) {
            owner = &listed;
        }
    }
    if (owner != nullptr) {
        tell("owner: " + ownerName(*owner, run.o.host.codepage) + ", owner file " + owner->path);
    }
    run.database = findOwnerDatabase(*run.session, owner != nullptr ? owner->uin : "");
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
            return fail(vqrt::kImportUsage, "cannot create a scratch folder for the record in " +
                                                error + " (use --out DIR)");
        }
    } else {
        run.output = vqrt::OutputFolder::open(run.o.out, error);
        if (!run.output) {
            return fail(vqrt::kImportUsage, error);
        }
    }
    run.bundleFolder = run.output ? run.output->staging() : run.scratch->path();
    if (run.archiveOnly) {
        return std::nullopt;
    }
    run.record.emplace(
        run.bundleFolder,
        vqrt::RecordWriterOptions{run.o.host.codepage, [](const std::string& line) { warn(line); }},
        [&run] { stopNow(run); });
    if (run.output) {
        run.record->showAs(run.output->path());
    }
    return std::nullopt;
}

// What the bundle may hold, whatever this run then writes, must not replace anybody else's
// files in --out; nor what somebody put into the history of the earlier bundle, which goes
// as a whole.
std::optional<int> refuseStrangers(Run& run) {
    if (!run.output) {
        return std::nullopt;
    }
    std::vector<std::string> names = {"record.json", "files"};
    if (run.o.archive.enabled) {
        const std::vector<std::string> exports = archive::exportNames();
        names.insert(names.end(), exports.begin(), exports.end());
    }
    const std::string refusal =
        archive::bundleRefusal(run.output->path(), run.output->strangers(names),
                               run.output->strangers({"history"}).empty());
    if (!refusal.empty()) {
        return fail(vqrt::kImportUsage, refusal);
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
    const std::string other = vqrt::otherRecord(run.output->whoseRecord(), identity(run));
    if (other.empty()) {
        return std::nullopt;
    }
    return fail(vqrt::kImportUsage,
                run.output->path() + " holds the record of " + other + "; --replace replaces it");
}

// Times shown in UTC (no --time-zone) where the old Windows was set to another zone: the
// summary says which, and how to show them in it.
void noteWindowsZone(Run& run) {
    if (!run.archive.written || run.o.archive.zoneGiven) {
        return;
    }
    const auto found = zone::windowsZone(*run.session->getRegistry());
    if (found && found->ianaId != run.o.archive.timeZone) {
        run.archive.zoneHint = "in " + run.o.archive.timeZone + "; the old " + zoneAdvice(*found);
    }
}

// Writes the archive of an owner the page cannot choose, saved into --out as a bundle without
// a record would be; the run ends with exit status 3, as the record was not carried.
std::optional<int> writeArchiveOnly(Run& run) {
    if (!run.archiveOnly) {
        return std::nullopt;
    }
    confineImport(run.o, run.output->path(), "");
    run.archive = writeArchive(run.database, run.o.host.codepage, run.o.archive, run.bundleFolder,
                               run.output->path());
    noteWindowsZone(run);
    const std::string owner = ownerName(*run.chosen, run.o.host.codepage);
    const std::string why = unreachableWhy(*run.chosen, run.owners);
    if (const int signal = vqrt::TerminalAgent::stopSignal().load(); signal != 0) {
        run.output->discard();
        return fail(vqrt::importStoppedBy(signal),
                    "interrupted by " + progress::signalName(signal) +
                        "; the output folder is as it was: " + run.output->path());
    }
    std::string error;
    if (!run.archive.written) {
        run.output->discard();
        return fail(vqrt::kImportRefused,
                    "no ICQ archive of " + owner + " was written, and no record (" + why + ")");
    }
    if (!run.output->commit(identity(run), error)) {
        return fail(vqrt::kImportRefused, error);
    }
    if (!run.o.quiet) {
        std::cout << archiveOnlySummary(owner, run.archive, run.output->path(), why,
                                        textsHint(run));
    }
    return fail(vqrt::kImportNotAllCarried,
                "not everything chosen was carried: no record of " + owner + " (" + why + ")");
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

// From here on the run reads only the installation and writes only the output folder.
std::optional<int> confineRun(Run& run) {
    const std::string folder = run.output ? run.output->path() : run.scratch->path();
    confineImport(run.o, folder, run.scratch ? run.scratch->parent() : std::string());
    return std::nullopt;
}

// Runs the import with a progress bar, answering the password dialog.
std::optional<int> runPlugin(Run& run) {
    vqrt::TerminalAgent& agent = *run.agent;
    agent.setWidget(&run.host);
    agent.setLineForm(run.o.progressLines);
    agent.showProgress(!run.o.quiet || run.o.progressLines);
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

// Whether the plug-in could read the contact database, asked as the plug-in asked: confined.
std::optional<int> checkDatabase(Run& run) {
    checkOwnerDatabase(run.database);
    return std::nullopt;
}

// The ICQ archive of a complete import into --out, written into the run's bundle so that it
// is saved together with the record.
std::optional<int> exportArchive(Run& run) {
    if (run.output && run.result == 0 && run.record->complete() && !run.record->lastSaveFailed()) {
        run.archive = writeArchive(run.database, run.o.host.codepage, run.o.archive,
                                   run.bundleFolder, run.output->path());
        noteWindowsZone(run);
        // Stopped while the archive was written: neither a record without its archive nor
        // half a history is kept.
        if (run.archive.interrupted) {
            const int signal = vqrt::TerminalAgent::stopSignal().load();
            run.output->discard();
            return fail(vqrt::importStoppedBy(signal),
                        "interrupted by " + progress::signalName(signal) +
                            " while the ICQ archive was written; the output folder is as it "
                            "was: " +
                            run.output->path());
        }
    }
    return std::nullopt;
}

} // namespace

int runImport(const Options& o) {
    setTelling(o.quiet && !o.progressLines ? Telling::Quiet
               : o.verbose                 ? Telling::Verbose
                                           : Telling::Normal);
    prepareQt(o.debug);
    int argc = 1;
    char name[] = "tolvane-import";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    Run run(o);
    for (const Step step : {openSession, loadPlugin, readPassword, discoverOwners, listOwners,
                            chooseOwner, needPassword, applyPageState, findDatabase, openOutput,
                            refuseStrangers, refuseWithoutIcq, checkEarlierRecord, writeArchiveOnly,
                            applyOptions, confineRun, runPlugin, checkDatabase, exportArchive}) {
        if (const std::optional<int> status = step(run)) {
            return *status;
        }
    }
    return finishRun(run);
}

} // namespace cli
