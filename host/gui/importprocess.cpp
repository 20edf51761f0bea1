#include "importprocess.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "importstatus.h"

namespace gui {

namespace {

const QString kPrefix = QStringLiteral("tolvane-import: ");
const QString kWarning = QStringLiteral("tolvane-import: warning: ");

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

RunEnd endOf(int status) {
    switch (status) {
    case vqrt::kImportComplete:
        return RunEnd::Complete;
    case vqrt::kImportNotAllCarried:
        return RunEnd::NotCarried;
    case vqrt::kImportRefused:
        return RunEnd::Refused;
    case vqrt::kImportUsage:
        return RunEnd::BadOptions;
    case vqrt::importStoppedBy(SIGINT):
        return RunEnd::Cancelled;
    default:
        return RunEnd::Crashed;
    }
}

} // namespace

QStringList runArguments(const RunRequest& request) {
    const vqrt::HostOptions& host = request.host;
    QStringList args{QStringLiteral("--windows-root"), fromStd(host.windowsRoot)};
    if (!host.user.empty()) {
        args << QStringLiteral("--user") << fromStd(host.user);
    }
    for (const std::string& reg : host.regFiles) {
        args << QStringLiteral("--reg") << fromStd(reg);
    }
    for (const auto& [letter, folder] : host.drives) {
        args << QStringLiteral("--drive")
             << QStringLiteral("%1=%2").arg(QChar(letter), fromStd(folder));
    }
    args << QStringLiteral("--codepage") << fromStd(host.codepage) << QStringLiteral("--plugin")
         << fromStd(request.plugin) << QStringLiteral("--out") << request.outDir;
    if (!request.timeZone.isEmpty()) {
        args << QStringLiteral("--time-zone") << request.timeZone;
    }
    args << QStringLiteral("--page-state-stdin") << QStringLiteral("--progress-lines")
         << QStringLiteral("--quiet");
    return args;
}

std::string findImporter(const std::string& programDir) {
    namespace fs = std::filesystem;
    const fs::path dir(programDir);
    for (const fs::path& candidate :
         {dir / "tolvane-import", dir / ".." / "cli" / "tolvane-import"}) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) {
            return candidate.lexically_normal().string();
        }
    }
    return (dir / "tolvane-import").string();
}

ImportProcess::ImportProcess(QObject* parent) : QObject(parent) {
    // Progress and messages come on stderr; the summary on stdout is not needed.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setChildProcessModifier([] { ::setsid(); });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(environment);
    connect(&process_, &QProcess::readyReadStandardError, this, &ImportProcess::readLines);
    connect(&process_, &QProcess::finished, this, &ImportProcess::end);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            outcome_.errors << QStringLiteral("%1: cannot start the import (%2)")
                                   .arg(process_.program(), process_.errorString());
            emit finished(outcome_);
        }
    });
}

ImportProcess::~ImportProcess() {
    // A window that goes during a run takes its run with it.
    disconnect(&process_, nullptr, this, nullptr);
    if (running()) {
        process_.kill();
        process_.waitForFinished();
    }
}

void ImportProcess::start(const RunRequest& request) {
    outcome_ = RunOutcome();
    pending_.clear();
    cancelled_ = false;
    process_.start(fromStd(request.program), runArguments(request));
    // The page state (with the password) goes through the pipe only, never a file or argument.
    process_.write(request.pageState);
    process_.closeWriteChannel();
}

void ImportProcess::cancel() {
    if (running() && process_.processId() > 0) {
        cancelled_ = true;
        ::kill(static_cast<pid_t>(process_.processId()), SIGINT);
    }
}

void ImportProcess::readLines() {
    pending_ += process_.readAllStandardError();
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        takeLine(QString::fromUtf8(pending_.left(end)));
        pending_.remove(0, end + 1);
    }
}

void ImportProcess::takeLine(const QString& line) {
    static const QString kProgress = QStringLiteral("progress ");
    static const QString kMessage = QStringLiteral("message ");
    if (line.startsWith(kProgress)) {
        const QStringList numbers = line.mid(kProgress.size()).split(QLatin1Char(' '));
        if (numbers.size() == 2) {
            emit progress(numbers[0].toInt(), numbers[1].toInt());
        }
    } else if (line.startsWith(kMessage)) {
        outcome_.messages << line.mid(kMessage.size());
    } else if (line.startsWith(kWarning)) {
        outcome_.warnings << line.mid(kWarning.size());
    } else if (line.startsWith(kPrefix)) {
        outcome_.errors << line.mid(kPrefix.size());
    }
}

void ImportProcess::end(int exitCode, QProcess::ExitStatus status) {
    readLines();
    if (!pending_.isEmpty()) {
        takeLine(QString::fromUtf8(pending_));
        pending_.clear();
    }
    outcome_.status = exitCode;
    if (status == QProcess::CrashExit) {
        // Qt gives the signal's number as the exit code of a child that a signal ended.
        outcome_.end = cancelled_ && exitCode == SIGINT ? RunEnd::Cancelled : RunEnd::Crashed;
    } else {
        outcome_.end = endOf(exitCode);
    }
    emit finished(outcome_);
}

} // namespace gui
