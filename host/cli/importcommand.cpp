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
#include "fdio.h"
#include "info.h"
#include "optionspage.h"
#include "passwordanswer.h"
#include "pluginloader.h"
#include "recordwriter.h"
#include "summary.h"
#include "terminal.h"
#include "terminalagent.h"

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

std::string ownerList(const std::vector<QString>& owners) {
    std::string text;
    for (const QString& owner : owners) {
        text += (text.empty() ? "" : ", ") + owner.toStdString();
    }
    return text.empty() ? std::string("none") : text;
}

} // namespace

int runImport(const Options& o) {
    // The command line shows no window: Qt draws offscreen unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (!o.verbose) {
        qInstallMessageHandler(quietQt);
    }
    int argc = 1;
    char name[] = "tolvane-import";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    std::string error;
    const auto session = vqrt::HostSession::open(o.host, error);
    if (!session) {
        return fail(kUsage, error);
    }
    for (const std::string& warning : session->warnings()) {
        std::cerr << "tolvane-import: warning: " << warning << "\n";
    }
    const std::string pluginPath = o.plugin.empty() ? defaultPluginPath() : o.plugin;
    const auto loaded = vqrt::LoadedPlugin::load(pluginPath, error);
    if (!loaded) {
        return fail(kUsage, error);
    }
    std::optional<std::string> password;
    if (!o.passwordFile.empty()) {
        password = readFirstLine(o.passwordFile, error);
    } else if (o.passwordStdin) {
        password = readFirstLineOfStdin(error);
    }
    if (!error.empty()) {
        return fail(kUsage, error);
    }
    const bool interactive = haveTerminal();
    if (!password && !o.list && !interactive) {
        return fail(kUsage, "no owner password given and no terminal to ask on "
                            "(use --password-file FILE or --password-stdin)");
    }

    plugin* icq = loaded->object();
    icq->setArbiter(session.get());

    const vqrt::UniqueFd diagnostics = pluginOutput(o.verbose);
    std::optional<CoutDiscard> discard;
    bool found;
    {
        StdoutRedirect quiet(diagnostics.get());
        if (!o.verbose) {
            discard.emplace();
        }
        found = icq->checkDependency();
        discard.reset();
    }

    QWidget host;
    if (found) {
        icq->showDlg(0, &host);
    }
    OptionsPage page(&host);
    const std::vector<QString> owners = page.valid() ? page.owners() : std::vector<QString>{};
    if (o.list) {
        if (!found) {
            return fail(kRefused, "no ICQ installation found in " + o.host.windowsRoot);
        }
        for (const QString& owner : owners) {
            std::cout << owner.toStdString() << "\n";
        }
        return owners.empty() ? fail(kRefused, "ICQ is installed but has no owners") : kComplete;
    }

    // Only a record that is not kept needs a scratch folder.
    std::optional<ScratchFolder> scratch;
    if (o.out.empty()) {
        scratch.emplace(error);
        if (scratch->path().empty()) {
            return fail(kUsage, error);
        }
    }
    const std::string outDir = scratch ? scratch->path() : o.out;
    vqrt::RecordWriter record(outDir, "ICQ", o.host.codepage, [](const std::string& line) {
        std::cerr << "tolvane-import: warning: " << line << "\n";
    });
    if (!found) {
        record.setResult(-1);
        record.finish();
        return fail(kRefused, "no ICQ installation found in " + o.host.windowsRoot +
                                  " (the registry has no ICQ.exe application path)");
    }
    if (!page.valid()) {
        return fail(kUsage, pluginPath + ": the plug-in showed no options page");
    }
    if (!o.owner.empty() && !page.chooseOwner(o.owner)) {
        return fail(kUsage,
                    "no ICQ owner named \"" + o.owner + "\" (owners: " + ownerList(owners) + ")");
    }
    if (!record.prepareOutputDirectory()) {
        return fail(kUsage, "cannot use " + outDir + " as the output folder");
    }

    if (o.noServer) {
        page.click(QStringLiteral("Import Host S&erver Settings"));
    }
    if (o.noUserSettings) {
        page.click(QStringLiteral("Import &User Settings"));
    }
    if (o.noContacts) {
        page.click(QStringLiteral("Import Con&tacts"));
    }
    if (o.overwriteContacts) {
        page.click(QStringLiteral("Over&write Current Contact List"));
    }
    if (o.noSounds) {
        page.click(QStringLiteral("Import Soun&d Settings"));
    }
    // The page keeps "Default" chosen when an owner without sounds of their own was current
    // before; a person who wants the owner's own sounds chooses "Customized" (possible only
    // for an owner who has them).
    page.click(o.defaultSounds ? QStringLiteral("De&fault") : QStringLiteral("Customi&zed"));
    if (password) {
        page.typePassword(*password);
    }

    vqrt::TerminalAgent agent(icq->getBlockCount(), stderr);
    agent.setWidget(&host);
    agent.catchInterrupt();
    session->setAgent(&agent);
    PasswordAnswer answer([&]() -> std::optional<std::string> {
        if (password) {
            return password;
        }
        agent.finishLine();
        return promptPassword("Password of the ICQ owner: ",
                              [] { return vqrt::TerminalAgent::cancelRequested().load(); });
    });
    app.installEventFilter(&answer);

    int result;
    {
        StdoutRedirect quiet(diagnostics.get());
        if (!o.verbose) {
            discard.emplace();
        }
        result = icq->activatePlugin(&record, 0);
        discard.reset();
    }
    agent.finishLine();
    record.setResult(result);
    // Saving again right after a save that failed only fails again, with the same line.
    if (!record.lastSaveFailed()) {
        record.finish();
    }
    session->setAgent(nullptr);

    if (o.json) {
        std::cout.flush();
        record.writeText(STDOUT_FILENO);
    }
    const std::string recordPath =
        o.out.empty() ? std::string("(not kept)") : outDir + "/record.json";
    if (record.lastSaveFailed()) {
        return fail(kRefused, record.lastSaveError());
    }
    if (agent.cancelled() || vqrt::TerminalAgent::cancelRequested().load()) {
        return fail(kInterrupted,
                    "interrupted; the record keeps what was imported so far: " + recordPath);
    }
    if (result != 0 || !record.complete()) {
        return fail(kRefused,
                    "the import did not complete; the record keeps what it holds: " + recordPath);
    }
    // The archive is written only beside a record that is kept.
    const std::string archiveLines =
        o.out.empty()
            ? std::string()
            : writeArchive(*session, page.chosenOwner(), o.host.codepage, o.archive, outDir);
    if (!o.quiet && !o.json) {
        std::cout << importSummary(record.outline(), recordPath, archiveLines);
    }
    return kComplete;
}

} // namespace cli
