#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include "bundlesaver.h"
#include "commandline.h"
#include "guiagent.h"
#include "hostsession.h"
#include "importprocess.h"
#include "pluginlist.h"
#include "runrecord.h"

class QDialog;
class QLabel;
class QScrollArea;
class QListView;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QModelIndex;
class QTabWidget;

namespace gui {

class ArchiveFile;
class ContactsPage;
class InstallationBox;
class MessagesPage;
class RecordTree;
class SoundsPage;
class SummaryPage;

/// What the options panel of the window shows.
enum class PanelState {
    NoPlugins,       ///< no plug-in library could be loaded
    ChoosePlugin,    ///< plug-ins are listed, none is chosen yet
    NoInstallation,  ///< no usable Windows installation (none chosen, or it cannot be opened)
    NothingToImport, ///< the chosen plug-in found its program not installed
    NoOwners,        ///< the plug-in's page lists no account to import
    Page,            ///< the plug-in's options page is embedded
    PluginFailed,    ///< the plug-in could not be started again for a new installation
    IcqFolder        ///< the root is an ICQ folder: its databases are listed, one to be read
};

/// The desktop host's main window: the plug-ins, the Windows installation, the embedded
/// options page of the chosen plug-in, the import with progress and Cancel, and what it
/// brought in pages (summary; contacts, messages and sounds of an ICQ import; the raw record)
/// with Save and the exports. Each import is run by tolvane-import in a child process (which
/// confines itself; the window never is) into a fresh folder below a temporary folder of the
/// window, removed when the window goes; Save copies the bundle to a folder of the user's.
/// A root that is an ICQ folder, not a Windows installation, is read by tolvane-icq instead:
/// its contacts and history, without a record.
/// The last Windows root and output folder are kept in QSettings; a folder dropped on the
/// window becomes the Windows root.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    /// `pluginPaths` are loaded in order; `searched` names the places they were looked for
    /// (shown when none can be loaded).
    MainWindow(const CommandLine& options, const std::vector<std::string>& pluginPaths,
               const std::vector<std::string>& searched, QWidget* parent = nullptr);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// What the options panel shows.
    PanelState panelState() const { return state_; }
    /// The text the panel shows instead of a page (empty while a page is shown).
    QString panelMessage() const;
    /// The status line under the import controls.
    QString statusText() const;
    /// True while an import runs.
    bool running() const { return running_; }
    /// The child running the import; null when none runs.
    const ImportProcess* importProcess() const { return running_ ? process_ : nullptr; }
    /// The folder holding the last run's bundle; empty before the first run.
    QString stagingFolder() const { return lastRun_; }
    /// The plug-ins found.
    const PluginListModel& plugins() const { return plugins_; }
    /// The session of the current Windows installation; null when there is none.
    vqrt::HostSession* session() const { return session_.get(); }

    /// Uses `root` as the Windows installation, as if typed into the field.
    void setWindowsRoot(const QString& root);
    /// Saves the last run's bundle into `folder`; tells the outcome in the status line (and
    /// in a message box when it fails). False when it failed.
    bool saveTo(const QString& folder);
    /// Writes the last run's export `kind` to `target`, as saveTo does. False when it failed.
    bool exportTo(ExportKind kind, const QString& target);
    /// Shows the import or ICQ archive saved earlier in `folder` (by an import, Save or
    /// tolvane-icq export) in the pages, as after a run, without writing to it; Save copies it
    /// elsewhere and Export takes from it. False, with the reason in the status line, when the
    /// folder holds neither.
    bool openSaved(const QString& folder);
    /// How the last run ended.
    const RunOutcome& lastOutcome() const { return outcome_; }
    /// The summary of the last run, "Label: text" a line.
    QString summaryText() const;

public slots:
    /// Starts the chosen plug-in's import (does nothing while not possible); when the page
    /// gives no password, asks for one first.
    void runImport();
    /// Sends the running import SIGINT: it stops at its next step.
    void cancelImport();

signals:
    /// An import ended and its pages are shown.
    void importFinished();

protected:
    /// Closing during an import cancels it first; the window closes once the run ends.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void pluginChosen(const QModelIndex& current);
    void applyInstallation();
    void chooseSaveFolder();
    void chooseSavedFolder();
    void chooseExport(ExportKind kind);
    void runFinished(const gui::RunOutcome& outcome);

private:
    /// What the window keeps per plug-in object.
    struct PluginView {
        bool checked = false;   ///< checkDependency ran for this object and session
        bool installed = false; ///< its answer
        QPointer<QWidget> pageHost;
        QPointer<QDialog> page;
        QPointer<QWidget> inputBlocker; ///< covers the page while a run reads it
        std::string startError;         ///< why a fresh object could not be made
    };

    void buildUi();
    QWidget* buildPluginBox();
    QWidget* buildOptionsBox();
    QWidget* buildRecordBox();
    QWidget* buildSaveRow(QWidget* parent);
    QWidget* buildImportRow();
    /// What Save copies: an import's bundle, or the archive of an ICQ folder alone; from a
    /// temporary folder, or from the folder it was opened from.
    void setSaveNote(bool archiveOnly);

    void resetPluginViews();
    void showPlugin(int row);
    void showNoPlugins();
    /// Asks the plug-in once; when it is not installed, says so.
    bool isInstalled(int row, PluginView& view, plugin* object);
    /// Shows the plug-in's options page, or why there is nothing to choose on it.
    void openPage(int row, PluginView& view, plugin* object);
    void hideCurrentPage();
    QDialog* embedPage(PluginView& view);
    void showMessage(PanelState state, const QString& text);
    void showPage(PluginView& view);
    /// Lists the ICQ databases found in the root (an ICQ folder, or an installation that does
    /// not name them), with `text` saying what they are, for Import to read.
    void showIcqFolder(const QString& text);
    /// Reads the database chosen in the ICQ folder's list with tolvane-icq.
    void runFolder();
    /// With no password given: offers to read the chosen owner's contacts and history alone.
    void readWithoutPassword(QDialog* page);
    void setRunning(bool on);
    /// Begins the run of `name` (reading the copies `databases` of an ICQ folder's database;
    /// none for an import):
    /// remembers the zone and code page it uses, shows `status` and answers its fresh folder.
    QString startRun(const QString& name, const QStringList& databases, const QString& status);
    void updateActions();
    /// The page's password, or one asked for; false when the person declined.
    bool passwordFor(QDialog* page, QByteArray& state);
    void showPages(const QString& runFolder);
    void showSummary(const QString& folder);
    QString outcomeText() const;
    // The status line after a run, from the pages it showed.
    void reportRun();
    /// The identity a save gives the archive of an ICQ folder; nothing for an import's bundle,
    /// which keeps its own.
    std::optional<vqrt::BundleIdentity> folderIdentity() const;
    void setStatus(const QString& text, const QString& details = QString());
    // Runs `work` on a thread of its own, saying `status`, while the window stays drawn with
    // its controls off and its bar busy; returns when `work` is done, the status left for the
    // caller to say how it went. A close meanwhile waits.
    void whileBusy(const QString& status, const std::function<void()>& work);
    // Calls `ask` in the window's thread from the thread of whileBusy() and answers its answer.
    bool askFromWork(const std::function<bool()>& ask);
    /// `text` with the first warnings of the outcome below it, all of them in the tool tip.
    void setStatusWithWarnings(QString text);
    QString pluginName(int row) const;
    /// The folder a file dialog starts in: the last output folder.
    QString lastOutputFolder() const;
    void rememberOutputFolder(const QString& folder);

    CommandLine options_;
    std::vector<std::string> searched_;
    PluginListModel plugins_;
    std::vector<PluginView> views_;
    GuiAgent agent_;
    std::string importer_;
    std::string icqReader_;
    ImportProcess* process_ = nullptr;
    RunOutcome outcome_;
    std::unique_ptr<ArchiveFile> archive_;
    QString shownFolder_;
    std::unique_ptr<vqrt::HostSession> session_;
    QString sessionError_;
    int current_ = -1;
    PanelState state_ = PanelState::ChoosePlugin;
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool cancelling_ = false; ///< SIGINT was sent to the running import
    QTemporaryDir staging_;
    int runCount_ = 0;
    QString lastRun_;
    QString runName_;          ///< the plug-in of the running import
    QString runRoot_;          ///< the root of the last run
    QStringList runDatabases_; ///< the ICQ folder's database (its copies) the last run read; empty
                               ///< for an import
    bool opened_ = false;      ///< the pages show a folder saved earlier, not a run
    bool busy_ = false;        ///< a save or export is being written (whileBusy)
    bool closeAfterBusy_ = false;
    nlohmann::ordered_json record_; ///< the record.json the pages show; null without one
    /// What the shown ICQ archive's report.txt says, read once.
    ArchiveReport report_;

    InstallationBox* installation_ = nullptr;
    QListView* pluginList_ = nullptr;
    QStackedWidget* panelStack_ = nullptr;
    QLabel* panelMessage_ = nullptr;
    QWidget* folderPanel_ = nullptr;
    QLabel* folderText_ = nullptr;
    QScrollArea* folderScroll_ = nullptr; ///< holds folderText_, no taller than it
    QListWidget* folderList_ = nullptr;
    QStackedWidget* recordStack_ = nullptr;
    QLabel* recordHint_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    SummaryPage* summary_ = nullptr;
    ContactsPage* contacts_ = nullptr;
    MessagesPage* messages_ = nullptr;
    SoundsPage* sounds_ = nullptr;
    RecordTree* recordTree_ = nullptr;
    QLabel* saveNote_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace gui
