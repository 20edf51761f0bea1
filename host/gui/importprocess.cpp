#include "importprocess.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "importstatus.h"

namespace gui {

namespace {

const QString kWarning = QStringLiteral("warning: ");

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// tolvane-icq ends with 1 for a database it cannot read by its version, 2 for any other.
RunEnd folderEndOf(int status) {
    if (status == 128 + SIGINT) {
        return RunEnd::Cancelled;
    }
    return status == 0 ? RunEnd::Complete : status <= 2 ? RunEnd::Refused : RunEnd::Crashed;
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
    if (request.deletedFolder) {
        args << QStringLiteral("--deleted-folder");
    }
    args << QStringLiteral("--page-state-stdin") << QStringLiteral("--progress-lines")
         << QStringLiteral("--quiet");
    return args;
}

QStringList folderRunArguments(const FolderRunRequest& request) {
    QStringList args{QStringLiteral("export"), QStringLiteral("--out"), request.outDir};
    if (!request.codepage.isEmpty()) {
        args << QStringLiteral("--codepage") << request.codepage;
    }
    if (!request.timeZone.isEmpty()) {
        args << QStringLiteral("--time-zone") << request.timeZone;
    }
    if (request.deletedFolder) {
        args << QStringLiteral("--deleted-folder");
    }
    // "--" keeps a database named like an option a file.
    args << QStringLiteral("--progress-lines") << QStringLiteral("--") << request.databases;
    return args;
}

std::string findTool(const std::string& programDir, const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path dir(programDir);
    for (const fs::path& candidate :
         {dir / name, dir / ".." / "cli" / name, dir / ".." / "icq" / name}) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) {
            return candidate.lexically_normal().string();
        }
    }
    return (dir / name).string();
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
    folderRun_ = false;
    // The page state (with the password) goes through the pipe only, never a file or argument.
    begin(request.program, runArguments(request), QStringLiteral("tolvane-import"),
          request.pageState);
}

void ImportProcess::start(const FolderRunRequest& request) {
    folderRun_ = true;
    begin(request.program, folderRunArguments(request), QStringLiteral("tolvane-icq"), {});
}

void ImportProcess::begin(const std::string& program, const QStringList& arguments,
                          const QString& name, const QByteArray& input) {
    outcome_ = RunOutcome();
    pending_.clear();
    cancelled_ = false;
    prefix_ = name + QStringLiteral(": ");
    process_.start(fromStd(program), arguments);
    process_.write(input);
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
    static const QString kStage = QStringLiteral("stage ");
    if (line.startsWith(kStage)) {
        emit stage(line.mid(kStage.size()));
    } else if (line.startsWith(kProgress)) {
        const QStringList numbers = line.mid(kProgress.size()).split(QLatin1Char(' '));
        if (numbers.size() == 2) {
            emit progress(numbers[0].toInt(), numbers[1].toInt());
        }
    } else if (line.startsWith(kMessage)) {
        outcome_.messages << line.mid(kMessage.size());
    } else if (line.startsWith(prefix_ + kWarning)) {
        outcome_.warnings << line.mid(prefix_.size() + kWarning.size());
    } else if (line.startsWith(prefix_)) {
        outcome_.errors << line.mid(prefix_.size());
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
        outcome_.end = folderRun_ ? folderEndOf(exitCode) : endOf(exitCode);
    }
    emit finished(outcome_);
}

} // namespace gui
