#include "importcommand.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include <QApplication>
#include <QWidget>

#include "archiverun.h"
#include "confinement.h"
#include "diagnostics.h"
#include "fdio.h"
#include "info.h"
#include "optionspage.h"
#include "pagestate.h"
#include "passwordanswer.h"
#include "pluginloader.h"
#include "recordwriter.h"
#include "summary.h"
#include "terminal.h"
#include "terminalagent.h"
#include "text/printable.h"

namespace cli {

namespace {

const int kComplete = 0;
const int kRefused = 1;
const int kUsage = 2;
const int kInterrupted = 130;

// Qt's own warnings (a missing XDG_RUNTIME_DIR, fonts) say nothing about the import.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::cerr << "tolvane-import: " << message.toStdString() << "\n";
    }
}

// Lines name owners, users and files of the installation: they are printed escaped.
int fail(int status, const std::string& line) {
    std::cerr << "tolvane-import: " << text::printable(line) << "\n";
    return status;
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
            // remove_all tries unlink on the folder itself first, which confinement refuses
            // (it allows rmdir only); its content is gone by now.
            rmdir(path_.c_str());
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string ownerList(const std::vector<QString>& owners) {
    std::string text;
    for (const QString& owner : owners) {
        text += (text.empty() ? "" : ", ") + owner.toStdString();
    }
    return text.empty() ? std::string("none") : text;
}

// What one run carries from step to step. Members go from the last up: the options page before
// the plug-in that made it, the agent before the record.
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
    std::optional<ScratchFolder> scratch;
    std::string outDir;
    std::optional<vqrt::RecordWriter> record;
    std::optional<vqrt::TerminalAgent> agent;
    std::optional<PasswordAnswer> answer;
    int result = 0; ///< what activatePlugin answered
    std::string recordPath;
    std::string archiveLines; ///< the archive's lines of the summary
};

// A step either lets the run go on or ends it with an exit status.
using Step = std::optional<int> (*)(Run&);

// Calls the plug-in with its lines on standard output sent to run.diagnostics (and shown
// escaped after the call) with --verbose, and dropped before they reach it otherwise.
template <class Call> auto quietly(const Run& run, Call call) {
    const DiagnosticsEcho echo(run.o.verbose ? run.diagnostics.get() : -1);
    StdoutRedirect quiet(run.diagnostics.get());
    std::optional<CoutDiscard> discard;
    if (!run.o.verbose) {
        discard.emplace();
    }
    return call();
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

std::optional<int> openSession(Run& run) {
    std::string error;
    run.session = vqrt::HostSession::open(run.o.host, error);
    if (!run.session) {
        return fail(kUsage, error);
    }
    const auto warn = [](const std::string& warning) {
        std::cerr << "tolvane-import: warning: " << text::printable(warning) << "\n";
    };
    for (const std::string& warning : run.session->warnings()) {
        warn(warning);
    }
    run.session->setWarningSink(warn);
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
    if (!run.password && !run.o.list && !run.o.pageStateStdin && !haveTerminal()) {
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
        std::cout << text::printable(owner.toStdString()) << "\n";
    }
    return run.owners.empty() ? fail(kRefused, "ICQ is installed but has no owners") : kComplete;
}

// The record goes to --out, or to a scratch folder when it is only printed. Without ICQ it
// still says so.
std::optional<int> openRecord(Run& run) {
    if (run.o.out.empty()) {
        std::string error;
        run.scratch.emplace(error);
        if (run.scratch->path().empty()) {
            return fail(kUsage, error);
        }
    }
    run.outDir = run.scratch ? run.scratch->path() : run.o.out;
    run.record.emplace(run.outDir, "ICQ",
                       vqrt::RecordWriterOptions{run.o.host.codepage, [](const std::string& line) {
                                                     std::cerr
                                                         << "tolvane-import: warning: " << line
                                                         << "\n";
                                                 }});
    if (!run.found) {
        run.record->setResult(-1);
        run.record->finish();
        return fail(kRefused, "no ICQ installation found in " + run.o.host.windowsRoot +
                                  " (the registry has no ICQ.exe application path)");
    }
    return std::nullopt;
}

std::optional<int> chooseOwner(Run& run) {
    if (!run.page->valid()) {
        return fail(kUsage, run.pluginPath + ": the plug-in showed no options page");
    }
    if (!run.o.owner.empty() && !run.page->chooseOwner(run.o.owner)) {
        return fail(kUsage, "no ICQ owner named \"" + run.o.owner +
                                "\" (owners: " + ownerList(run.owners) + ")");
    }
    if (!run.record->prepareOutputDirectory()) {
        return fail(kUsage, "cannot use " + run.outDir + " as the output folder");
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

// With --page-state-stdin: the options page as the desktop window's page was.
std::optional<int> applyPageState(Run& run) {
    std::string error;
    if (run.o.pageStateStdin && !applyPageStateFromStdin(&run.host, error)) {
        return fail(kUsage, error);
    }
    return std::nullopt;
}

// From here on the run reads only the installation and writes only the output folder.
std::optional<int> confineRun(Run& run) {
    const std::string scratchParent =
        run.scratch ? run.outDir.substr(0, run.outDir.rfind('/')) : std::string();
    confineImport(run.o, run.outDir, scratchParent);
    return std::nullopt;
}

// Runs the import with a progress bar and Ctrl-C, answering the password dialog, and saves
// the record.
std::optional<int> runPlugin(Run& run) {
    vqrt::TerminalAgent& agent = run.agent.emplace(run.icq->getBlockCount(), stderr);
    agent.setWidget(&run.host);
    agent.setLineForm(run.o.progressLines);
    agent.catchInterrupt();
    run.session->setAgent(&agent);
    run.answer.emplace([&run]() -> std::optional<std::string> {
        if (run.password) {
            return run.password;
        }
        run.agent->finishLine();
        return promptPassword("Password of the ICQ owner: ",
                              [] { return vqrt::TerminalAgent::cancelRequested().load(); });
    });
    QCoreApplication::instance()->installEventFilter(&*run.answer);
    run.result = quietly(run, [&] { return run.icq->activatePlugin(&*run.record, 0); });
    agent.finishLine();
    run.record->setResult(run.result);
    // Saving again right after a save that failed only fails again, with the same line.
    if (!run.record->lastSaveFailed()) {
        run.record->finish();
    }
    run.session->setAgent(nullptr);
    return std::nullopt;
}

// Prints the record with --json; ends a run that did not complete.
std::optional<int> checkOutcome(Run& run) {
    const vqrt::RecordWriter& record = *run.record;
    if (run.o.json) {
        std::cout.flush();
        record.writeText(STDOUT_FILENO);
    }
    run.recordPath = run.o.out.empty() ? std::string("(not kept)") : run.outDir + "/record.json";
    const std::string& recordPath = run.recordPath;
    if (record.lastSaveFailed()) {
        return fail(kRefused, record.lastSaveError());
    }
    if (run.agent->cancelled() || vqrt::TerminalAgent::cancelRequested().load()) {
        return fail(kInterrupted,
                    "interrupted; the record keeps what was imported so far: " + recordPath);
    }
    if (run.result != 0 || !record.complete()) {
        return fail(kRefused,
                    "the import did not complete; the record keeps what it holds: " + recordPath);
    }
    return std::nullopt;
}

// The ICQ archive beside a record that is kept.
std::optional<int> exportArchive(Run& run) {
    if (!run.o.out.empty()) {
        run.archiveLines = writeArchive(*run.session, run.page->chosenOwner(), run.o.host.codepage,
                                        run.o.archive, run.outDir);
    }
    return std::nullopt;
}

// The summary of a complete run; answers the exit status.
int report(const Run& run) {
    if (!run.o.quiet && !run.o.json) {
        std::cout << importSummary(run.record->outline(), run.recordPath, run.archiveLines);
    }
    return kComplete;
}

} // namespace

int runImport(const Options& o) {
    prepareQt(o.verbose);
    int argc = 1;
    char name[] = "tolvane-import";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    Run run(o);
    for (const Step step : {openSession, loadPlugin, readPassword, discoverOwners, listOwners,
                            openRecord, chooseOwner, applyOptions, applyPageState, confineRun,
                            runPlugin, checkOutcome, exportArchive}) {
        if (const std::optional<int> status = step(run)) {
            return *status;
        }
    }
    return report(run);
}

} // namespace cli
