#pragma once

#include <string>

#include <QObject>
#include <QProcess>
#include <QStringList>

#include "hostsession.h"

namespace gui {

/// How an import run by tolvane-import ended, by its exit status.
enum class RunEnd {
    Complete,   ///< 0
    NotCarried, ///< 3: complete, but something chosen could not be carried
    Refused,    ///< 1: the plug-in refused or failed
    BadOptions, ///< 2: the options or the folders could not be used
    Cancelled,  ///< 130, or ended by SIGINT before it could answer
    Crashed,    ///< ended by another signal or an unknown status
    NotStarted  ///< the program could not be started
};

/// What the run reported on its way and at its end.
struct RunOutcome {
    RunEnd end = RunEnd::NotStarted;
    int status = -1;      ///< the exit status, or the signal that ended it
    QStringList messages; ///< the plug-in's messages
    QStringList warnings; ///< tolvane-import's warnings
    QStringList errors;   ///< its other lines: why it stopped
};

/// What tolvane-import gets from the window: the installation, the plug-in and the folder.
struct RunRequest {
    std::string program;        ///< tolvane-import
    vqrt::HostOptions host;     ///< root, user, .reg exports, drives, code page
    std::string plugin;         ///< the chosen plug-in's library
    QString outDir;             ///< the run's staging folder
    QString timeZone;           ///< the zone the archive shows times in; empty for UTC
    bool deletedFolder = false; ///< the archive holds ICQ's Deleted folder too
    QByteArray pageState;       ///< the options page (capturePage), handed over on stdin
};

/// The arguments of `request` for tolvane-import.
QStringList runArguments(const RunRequest& request);

/// What tolvane-icq gets from the window to read the database of an ICQ folder on its own.
struct FolderRunRequest {
    std::string program;        ///< tolvane-icq
    QStringList databases;      ///< the <UIN>.dat, or its copies to be merged (the newest last)
    QString outDir;             ///< the run's staging folder
    QString codepage;           ///< the code page of the old machine; empty for tolvane-icq's
    QString timeZone;           ///< the zone the archive shows times in
    bool deletedFolder = false; ///< the archive holds ICQ's Deleted folder too
};

/// The arguments of `request` for tolvane-icq export.
QStringList folderRunArguments(const FolderRunRequest& request);

/// The program `name` beside the window's program (installed), or in the build tree's host/cli
/// or host/icq.
std::string findTool(const std::string& programDir, const std::string& name);

/// One import run in a child process (tolvane-import, or tolvane-icq for an ICQ folder), so
/// that the kernel confinement of the run never reaches the window and the window stays
/// responsive. The child runs in a session of its own (it never asks on the terminal the window
/// was started from); its progress and messages arrive as lines on its standard error.
class ImportProcess : public QObject {
    Q_OBJECT

public:
    explicit ImportProcess(QObject* parent = nullptr);
    ~ImportProcess() override;

    /// Starts the run; finished() follows in every case, also when it cannot start.
    void start(const RunRequest& request);
    /// Starts reading an ICQ folder's database into its exports, as start() does.
    void start(const FolderRunRequest& request);
    /// Sends SIGINT: the run stops at its next step and keeps what it wrote.
    void cancel();
    bool running() const { return process_.state() != QProcess::NotRunning; }
    /// The child's process id; 0 when none runs.
    qint64 processId() const { return process_.processId(); }

signals:
    void progress(int done, int total);
    /// What the run does now, from here on: "Writing the ICQ archive".
    void stage(const QString& text);
    void finished(const gui::RunOutcome& outcome);

private:
    void begin(const std::string& program, const QStringList& arguments, const QString& name,
               const QByteArray& input);
    void readLines();
    void takeLine(const QString& line);
    void end(int exitCode, QProcess::ExitStatus status);

    QProcess process_;
    QByteArray pending_;
    QString prefix_; ///< how the program's own lines begin: "tolvane-import: "
    bool folderRun_ = false;
    RunOutcome outcome_;
    bool cancelled_ = false;
};

} // namespace gui
