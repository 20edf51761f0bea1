#include "mainwindow.h"

#include <exception>
#include <thread>

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "archivefile.h"
#include "contactspage.h"
#include "folderdialog.h"
#include "installationbox.h"
#include "messagespage.h"
#include "pagecapture.h"
#include "recordtree.h"
#include "runrecord.h"
#include "soundspage.h"
#include "summarypage.h"
#include "wording.h"

namespace gui {

namespace {

// "31415926.dat", or "3 copies of 31415926.dat".
QString copiesName(const QStringList& databases) {
    const QString name = QFileInfo(databases.value(0)).fileName();
    return databases.size() > 1 ? MainWindow::tr("%1 copies of %2").arg(databases.size()).arg(name)
                                : name;
}

// The options page of a plug-in has this size, or more where its texts need it.
constexpr int kPageWidth = 240;
constexpr int kPageHeight = 370;

const char* const kOwnerListName = "m_pWinUsersList";

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

const QString kRootSetting = QStringLiteral("windowsRoot");
const QString kOutputSetting = QStringLiteral("outputFolder");
const QString kZoneSetting = QStringLiteral("timeZone");
const QString kCodepageSetting = QStringLiteral("codepage");
const QString kDeletedFolderSetting = QStringLiteral("deletedFolder");

// What a drop brings: a folder, or an ICQ database (<UIN>.dat or its .idx) that stands for its
// folder; nothing (an empty path) for anything else.
QFileInfo droppedEntry(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile()) {
        return QFileInfo();
    }
    const QFileInfo entry(urls.constFirst().toLocalFile());
    const QString suffix = entry.suffix().toLower();
    const bool database =
        entry.isFile() && (suffix == QLatin1String("dat") || suffix == QLatin1String("idx"));
    return entry.isDir() || database ? entry : QFileInfo();
}

// The options of the window, with the Windows root remembered from the last time when none
// is given.
CommandLine withRememberedRoot(CommandLine options) {
    if (options.host.windowsRoot.empty()) {
        options.host.windowsRoot = QSettings().value(kRootSetting).toString().toStdString();
    }
    return options;
}

} // namespace

MainWindow::MainWindow(const CommandLine& options, const std::vector<std::string>& pluginPaths,
                       const std::vector<std::string>& searched, QWidget* parent)
    : QMainWindow(parent), options_(withRememberedRoot(options)), searched_(searched), agent_(this),
      importer_(options.importer.empty() ? findTool(programDir(), "tolvane-import")
                                         : options.importer),
      icqReader_(options.icqReader.empty() ? findTool(programDir(), "tolvane-icq")
                                           : options.icqReader),
      process_(new ImportProcess(this)),
      staging_(QDir::tempPath() + QStringLiteral("/tolvane-XXXXXX")) {
    setWindowTitle(tr("Tolvane \u2013 settings from Windows"));
    setAcceptDrops(true);
    plugins_.load(pluginPaths);
    views_.resize(static_cast<size_t>(plugins_.rowCount()));
    buildUi();
    connect(process_, &ImportProcess::progress, this, [this](int done, int total) {
        progress_->setRange(0, std::max(total, 1));
        progress_->setValue(std::min(done, progress_->maximum()));
    });
    connect(process_, &ImportProcess::stage, this,
            [this](const QString& text) { setStatus(text + QChar(0x2026)); });
    connect(process_, &ImportProcess::finished, this, &MainWindow::runFinished);
    applyInstallation();
    if (!options_.openFolder.empty()) {
        openSaved(fromStd(options_.openFolder));
    }
    if (!staging_.isValid()) {
        setStatus(tr("No temporary folder for the import: %1. Imports cannot run.")
                      .arg(staging_.errorString()));
    }
}

MainWindow::~MainWindow() {
    // Widgets going down emit signals (a list losing its model, a field losing focus);
    // none may reach this window while its members are destroyed.
    for (QObject* child : findChildren<QObject*>()) {
        QObject::disconnect(child, nullptr, this, nullptr);
    }
    // The pages belong to the panel; take them down before their plug-in objects go.
    for (PluginView& view : views_) {
        delete view.pageHost;
    }
}

void MainWindow::buildUi() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    installation_ = new InstallationBox(options_.host, central);
    if (options_.codepageGiven) {
        installation_->setCodepage(fromStd(options_.host.codepage), true);
    } else {
        installation_->setCodepage(
            QSettings().value(kCodepageSetting, QStringLiteral("CP1252")).toString());
    }
    if (options_.timeZone.empty()) {
        installation_->setTimeZone(
            QSettings().value(kZoneSetting, QStringLiteral("UTC")).toString());
    } else {
        installation_->setTimeZone(QString::fromStdString(options_.timeZone), true);
    }
    installation_->setDeletedFolder(options_.deletedFolder ||
                                    QSettings().value(kDeletedFolderSetting, false).toBool());
    connect(installation_, &InstallationBox::changed, this, &MainWindow::applyInstallation);
    layout->addWidget(installation_);

    auto* middle = new QHBoxLayout;
    middle->addWidget(buildPluginBox());
    middle->addWidget(buildOptionsBox());
    middle->addWidget(buildRecordBox(), 1);
    layout->addLayout(middle, 1);
    layout->addWidget(buildImportRow());

    status_ = new QLabel(central);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);
    setCentralWidget(central);
    resize(1280, 760);
    updateActions();
}

QWidget* MainWindow::buildPluginBox() {
    auto* box = new QGroupBox(tr("Plug-ins"), this);
    auto* layout = new QVBoxLayout(box);
    pluginList_ = new QListView(box);
    pluginList_->setObjectName(QStringLiteral("pluginList"));
    pluginList_->setModel(&plugins_);
    pluginList_->setIconSize(QSize(32, 32));
    pluginList_->setSpacing(2);
    pluginList_->setSelectionMode(QAbstractItemView::SingleSelection);
    pluginList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pluginList_->setMinimumWidth(180);
    connect(pluginList_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::pluginChosen);
    // After its databases were read without it, the plug-in chosen already shows its page
    // again when clicked.
    connect(pluginList_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (state_ == PanelState::IcqFolder && session_ != nullptr) {
            pluginChosen(index);
        }
    });
    layout->addWidget(pluginList_);
    box->setMaximumWidth(230);
    return box;
}

QWidget* MainWindow::buildOptionsBox() {
    auto* box = new QGroupBox(tr("Options"), this);
    auto* layout = new QVBoxLayout(box);
    panelStack_ = new QStackedWidget(box);
    panelStack_->setObjectName(QStringLiteral("pagePanel"));
    // As wide as a page; as tall as the column, so that long texts and lists have room.
    panelStack_->setFixedWidth(kPageWidth);
    panelStack_->setMinimumHeight(kPageHeight);
    panelMessage_ = new QLabel(panelStack_);
    panelMessage_->setObjectName(QStringLiteral("panelMessage"));
    panelMessage_->setWordWrap(true);
    panelMessage_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    panelMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    panelMessage_->setMargin(8);
    panelStack_->addWidget(panelMessage_);
    folderPanel_ = new QWidget(panelStack_);
    auto* folderLayout = new QVBoxLayout(folderPanel_);
    folderText_ = new QLabel;
    folderText_->setObjectName(QStringLiteral("icqFolderText"));
    folderText_->setWordWrap(true);
    folderText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    folderText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // What an installation's registry could not give takes paragraphs; they scroll above the
    // list rather than push it out of sight.
    folderScroll_ = new QScrollArea(folderPanel_);
    folderScroll_->setWidget(folderText_);
    folderScroll_->setWidgetResizable(true);
    folderScroll_->setFrameShape(QFrame::NoFrame);
    folderScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    folderScroll_->viewport()->setAutoFillBackground(false);
    folderText_->setAutoFillBackground(false);
    folderList_ = new QListWidget(folderPanel_);
    folderList_->setObjectName(QStringLiteral("icqDatabases"));
    // Each item is three lines (owner, version and days, files), wrapped where they are long.
    folderList_->setWordWrap(true);
    folderList_->setResizeMode(QListView::Adjust);
    folderList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    folderList_->setSpacing(3);
    connect(folderList_, &QListWidget::currentItemChanged, this, &MainWindow::updateActions);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    folderLayout->addWidget(folderScroll_, 3);
    folderLayout->addWidget(folderList_, 2);
    panelStack_->addWidget(folderPanel_);
    layout->addWidget(panelStack_, 1);
    return box;
}

QWidget* MainWindow::buildRecordBox() {
    auto* box = new QGroupBox(tr("What was imported"), this);
    auto* layout = new QVBoxLayout(box);
    recordStack_ = new QStackedWidget(box);
    recordHint_ = new QLabel(tr("No import yet.\n\nChoose what to import on the options page "
                                "and press Import; what it brought appears here.\n\nAn import "
                                "saved earlier opens with Open saved\u2026 below."),
                             recordStack_);
    recordHint_->setWordWrap(true);
    recordHint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    recordHint_->setMargin(8);
    tabs_ = new QTabWidget(recordStack_);
    tabs_->setObjectName(QStringLiteral("resultPages"));
    summary_ = new SummaryPage(tabs_);
    summary_->setObjectName(QStringLiteral("summaryPage"));
    contacts_ = new ContactsPage(tabs_);
    contacts_->setObjectName(QStringLiteral("contactsPage"));
    messages_ = new MessagesPage(tabs_);
    messages_->setObjectName(QStringLiteral("messagesPage"));
    connect(messages_, &MessagesPage::problem, this,
            [this](const QString& text) { setStatus(text); });
    sounds_ = new SoundsPage(tabs_);
    sounds_->setObjectName(QStringLiteral("soundsPage"));
    recordTree_ = new RecordTree(tabs_);
    recordTree_->setObjectName(QStringLiteral("recordTree"));
    connect(contacts_, &ContactsPage::conversationWanted, this, [this](uint32_t uin) {
        if (messages_->showConversation(uin)) {
            tabs_->setCurrentWidget(messages_);
        }
    });
    // Ctrl+F searches what is shown: the contacts on the Contacts page, else the messages.
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        if (archive_ == nullptr) {
            return;
        }
        const bool contacts = tabs_->currentWidget() == contacts_;
        tabs_->setCurrentWidget(contacts ? static_cast<QWidget*>(contacts_) : messages_);
        QLineEdit* field = contacts ? contacts_->searchField() : messages_->searchField();
        field->setFocus(Qt::ShortcutFocusReason);
        field->selectAll();
    });
    tabs_->addTab(summary_, tr("S&ummary"));
    tabs_->addTab(contacts_, tr("Con&tacts"));
    tabs_->addTab(messages_, tr("&Messages"));
    tabs_->addTab(sounds_, tr("Soun&ds"));
    tabs_->addTab(recordTree_, tr("&Record"));
    recordStack_->addWidget(recordHint_);
    recordStack_->addWidget(tabs_);
    layout->addWidget(recordStack_, 1);
    layout->addWidget(buildSaveRow(box));
    return box;
}

QWidget* MainWindow::buildSaveRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    saveNote_ = new QLabel(row);
    saveNote_->setObjectName(QStringLiteral("saveNote"));
    saveNote_->setWordWrap(true);
    setSaveNote(false);
    exportButton_ = new QPushButton(tr("&Export"), row);
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    auto* menu = new QMenu(exportButton_);
    const std::pair<const char*, std::pair<QString, ExportKind>> exports[] = {
        {"exportVcard", {tr("Contacts as &vCard\u2026"), ExportKind::ContactsVcard}},
        {"exportCsv", {tr("Contacts as &CSV\u2026"), ExportKind::ContactsCsv}},
        {"exportHtml", {tr("History as &HTML\u2026"), ExportKind::HistoryHtml}},
        {"exportText", {tr("History as plain &text\u2026"), ExportKind::HistoryText}}};
    for (const auto& [name, action] : exports) {
        QAction* item = menu->addAction(action.first);
        item->setObjectName(QString::fromLatin1(name));
        const ExportKind kind = action.second;
        connect(item, &QAction::triggered, this, [this, kind] { chooseExport(kind); });
    }
    exportButton_->setMenu(menu);
    saveButton_ = new QPushButton(tr("&Save\u2026"), row);
    saveButton_->setObjectName(QStringLiteral("saveButton"));
    connect(saveButton_, &QPushButton::clicked, this, &MainWindow::chooseSaveFolder);
    openButton_ = new QPushButton(tr("&Open saved\u2026"), row);
    openButton_->setObjectName(QStringLiteral("openButton"));
    openButton_->setToolTip(tr("Show an import or ICQ archive saved earlier"));
    connect(openButton_, &QPushButton::clicked, this, &MainWindow::chooseSavedFolder);
    layout->addWidget(saveNote_, 1);
    layout->addWidget(openButton_, 0, Qt::AlignTop);
    layout->addWidget(exportButton_, 0, Qt::AlignTop);
    layout->addWidget(saveButton_, 0, Qt::AlignTop);
    return row;
}

void MainWindow::setSaveNote(bool archiveOnly) {
    if (opened_) {
        saveNote_->setText(tr("Shown from the folder it was saved in, which stays as it was. "
                              "Save copies it into another folder."));
        return;
    }
    saveNote_->setText(
        archiveOnly
            ? tr("Each import goes to a temporary folder that is removed when this window "
                 "closes. Save copies the ICQ archive (contacts, history, its database and "
                 "report) into a folder you choose, replacing an earlier save there only as a "
                 "whole.")
            : tr("Each import goes to a temporary folder that is removed when this window "
                 "closes. Save copies all of it (record.json, the carried files and the ICQ "
                 "archive) into a folder you choose; record.json is written last, so a failed "
                 "save never leaves a half-written record.json."));
}

QWidget* MainWindow::buildImportRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    importButton_ = new QPushButton(tr("&Import"), row);
    importButton_->setObjectName(QStringLiteral("importButton"));
    importButton_->setDefault(true);
    connect(importButton_, &QPushButton::clicked, this, &MainWindow::runImport);
    progress_ = new QProgressBar(row);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    cancelButton_ = new QPushButton(tr("&Cancel"), row);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    connect(cancelButton_, &QPushButton::clicked, this, &MainWindow::cancelImport);
    layout->addWidget(importButton_);
    layout->addWidget(progress_, 1);
    layout->addWidget(cancelButton_);
    return row;
}

QString MainWindow::panelMessage() const {
    return state_ == PanelState::Page        ? QString()
           : state_ == PanelState::IcqFolder ? folderText_->text()
                                             : panelMessage_->text();
}

QString MainWindow::statusText() const {
    return status_->text();
}

QString MainWindow::pluginName(int row) const {
    const vqrt::PluginIdentity* identity = plugins_.identity(row);
    return identity != nullptr ? fromStd(identity->name) : tr("The plug-in");
}

void MainWindow::setStatus(const QString& text, const QString& details) {
    status_->setText(text);
    status_->setToolTip(details);
}

// ---- The Windows installation ----

void MainWindow::setWindowsRoot(const QString& root) {
    installation_->setRoot(root);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!running_ && !busy_ && !droppedEntry(*event->mimeData()).filePath().isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QFileInfo entry = droppedEntry(*event->mimeData());
    if (running_ || busy_ || entry.filePath().isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    if (entry.isDir() && savedKind(entry.filePath()) != SavedKind::None) {
        openSaved(entry.filePath());
        return;
    }
    if (entry.isDir()) {
        setWindowsRoot(entry.filePath());
        return;
    }
    // A database dropped on its own: its folder, with that database chosen.
    setWindowsRoot(entry.absolutePath());
    for (int i = 0; state_ == PanelState::IcqFolder && i < folderList_->count(); ++i) {
        for (const QString& copy : folderList_->item(i)->data(Qt::UserRole).toStringList()) {
            if (QFileInfo(copy).completeBaseName().compare(entry.completeBaseName(),
                                                           Qt::CaseInsensitive) == 0) {
                folderList_->setCurrentRow(i);
            }
        }
    }
}

void MainWindow::applyInstallation() {
    if (running_) {
        return;
    }
    // A plug-in fills its page once, for the installation it was asked about: start afresh.
    resetPluginViews();
    session_.reset();
    sessionError_.clear();
    session_ = installation_->openSession(sessionError_);
    if (session_ != nullptr) {
        session_->setAgent(&agent_);
    }
    if (QFileInfo(installation_->root()).isDir()) {
        QSettings().setValue(kRootSetting, installation_->root());
    }
    // An output folder chosen for the root: what was saved there is shown instead.
    if (session_ == nullptr && installation_->icqDatabases().empty() &&
        savedKind(installation_->root()) != SavedKind::None) {
        sessionError_ = tr("This folder holds an import saved earlier, not a Windows "
                           "installation: it is shown on the right.\n\nTo import again, choose "
                           "the Windows installation with Browse\u2026 above.");
        hideCurrentPage();
        showMessage(PanelState::NoInstallation, sessionError_);
        openSaved(installation_->root());
        return;
    }
    showPlugin(current_);
}

// ---- Plug-ins and their pages ----

void MainWindow::resetPluginViews() {
    for (size_t row = 0; row < views_.size(); ++row) {
        PluginView& view = views_[row];
        if (!view.checked && view.pageHost == nullptr) {
            continue;
        }
        delete view.pageHost;
        view = PluginView();
        // The old object holds the old installation's owners; only a new one asks again.
        std::string error;
        if (!plugins_.reload(static_cast<int>(row), error)) {
            view.startError = error;
        }
    }
}

void MainWindow::pluginChosen(const QModelIndex& current) {
    if (!running_) {
        showPlugin(current.isValid() ? current.row() : -1);
    }
}

void MainWindow::hideCurrentPage() {
    if (current_ < 0 || static_cast<size_t>(current_) >= views_.size()) {
        return;
    }
    plugin* object = plugins_.object(current_);
    if (object != nullptr && views_[static_cast<size_t>(current_)].page != nullptr) {
        object->hideDlg(0);
    }
}

void MainWindow::showPlugin(int row) {
    hideCurrentPage();
    current_ = row;
    // An ICQ folder is read without a plug-in.
    if (session_ == nullptr && !installation_->icqDatabases().empty()) {
        showIcqFolder(sessionError_);
        return;
    }
    if (plugins_.loadedCount() == 0) {
        showNoPlugins();
        return;
    }
    if (row < 0 || static_cast<size_t>(row) >= views_.size()) {
        showMessage(PanelState::ChoosePlugin,
                    tr("Choose a plug-in in the list on the left to see what it can import."));
        return;
    }
    PluginView& view = views_[static_cast<size_t>(row)];
    plugin* object = plugins_.object(row);
    if (object == nullptr || !view.startError.empty()) {
        showMessage(PanelState::PluginFailed,
                    tr("%1 could not be started:\n%2")
                        .arg(pluginName(row), fromStd(view.startError.empty() ? plugins_.error(row)
                                                                              : view.startError)));
        return;
    }
    if (session_ == nullptr) {
        showMessage(PanelState::NoInstallation, sessionError_);
        return;
    }
    if (isInstalled(row, view, object)) {
        openPage(row, view, object);
    }
}

void MainWindow::showNoPlugins() {
    QString text = tr("No plug-in found.\n\nLooked for plug-in libraries in:\n%1\n"
                      "Install the ICQ importer (libtarvex.so.1) into lib/tolvane/plugins "
                      "beside this program, or start tolvane with --plugin PATH.")
                       .arg(lines(searched_, QStringLiteral("  ")));
    std::vector<std::string> errors;
    for (int i = 0; i < plugins_.rowCount(); ++i) {
        errors.push_back(plugins_.error(i));
    }
    if (!errors.empty()) {
        text += tr("\n\nThese could not be loaded:\n%1").arg(lines(errors, QString()));
    }
    showMessage(PanelState::NoPlugins, text.trimmed());
}

bool MainWindow::isInstalled(int row, PluginView& view, plugin* object) {
    if (!view.checked) {
        object->setArbiter(session_.get());
        view.installed = object->checkDependency();
        view.checked = true;
    }
    if (!view.installed) {
        const QString name = pluginName(row);
        const QString user = installation_->user();
        const QString where =
            installation_->root() + (user.isEmpty() ? QString() : tr(", user %1").arg(user));
        // The registry may have lost what the disk still holds, or be damaged.
        const std::vector<std::string> warnings = session_->warnings();
        const QString notInstalled =
            tr("%1 is not installed on this Windows installation (%2): its registry names no %1 "
               "program")
                .arg(name, where);
        const QString reason = warnings.empty()
                                   ? notInstalled + QLatin1Char('.')
                                   : tr("%1 was not found on this Windows installation (%2), "
                                        "whose registry could not be read whole:\n%3")
                                         .arg(name, where, lines(warnings, QString()).trimmed());
        QString found;
        if (installation_->lookForIcqDatabases(reason, found)) {
            showIcqFolder(found + QStringLiteral("\n\n") + InstallationBox::registryExportsHint());
            return false;
        }
        showMessage(PanelState::NothingToImport,
                    warnings.empty()
                        ? tr("%1, so there is nothing to import.\n\nChoose the Windows "
                             "installation or the user where %2 was used, above.")
                              .arg(notInstalled, name)
                        : reason + QStringLiteral("\n\n") + InstallationBox::exportsStandInHint());
    }
    return view.installed;
}

void MainWindow::openPage(int row, PluginView& view, plugin* object) {
    if (view.pageHost == nullptr) {
        view.pageHost = new QWidget(panelStack_);
        view.pageHost->setObjectName(QStringLiteral("pageHost"));
        view.pageHost->setFixedSize(kPageWidth, kPageHeight);
        panelStack_->addWidget(view.pageHost);
    }
    object->showDlg(0, view.pageHost);
    view.page = embedPage(view);
    const auto* owners =
        view.page != nullptr
            ? view.page->findChild<QListWidget*>(QString::fromLatin1(kOwnerListName))
            : nullptr;
    if (owners != nullptr && owners->count() == 0) {
        object->hideDlg(0);
        // Installed on another partition (D:\ICQ) whose folder was not given.
        const auto& unmapped = session_->unmappedDrives();
        if (!unmapped.empty()) {
            const QChar letter = QLatin1Char(unmapped.begin()->first);
            installation_->offerDrive(unmapped.begin()->first);
            showMessage(PanelState::NoOwners,
                        tr("%1 is installed on this Windows installation, but its files are in "
                           "%2, on drive %3:, which was not given.\n\nAdd the folder where drive "
                           "%3: is mounted with Add drive\u2026 above.")
                            .arg(pluginName(row), fromStd(unmapped.begin()->second), letter));
            return;
        }
        QString found;
        if (installation_->lookForIcqDatabases(
                tr("%1 is installed on this Windows installation, but no owner file of %1 could "
                   "be read.")
                    .arg(pluginName(row)),
                found)) {
            showIcqFolder(found);
            return;
        }
        showMessage(PanelState::NoOwners,
                    tr("%1 is installed on this Windows installation, but it holds no %1 "
                       "account to import: no owner file of %1 could be read.\n\nChoose "
                       "another Windows installation or user above, or start %1 on that "
                       "system once so that it writes its account files.")
                        .arg(pluginName(row)));
        return;
    }
    showPage(view);
}

QDialog* MainWindow::embedPage(PluginView& view) {
    // The page is a QDialog, which Qt keeps a window of its own even with a parent.
    auto* page = view.pageHost->findChild<QDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (page == nullptr) {
        return nullptr;
    }
    if (page->isWindow()) {
        page->setWindowFlags(Qt::Widget);
    }
    page->move(0, 0);
    page->show();
    // A page grows beyond the usual size where its texts need more room.
    const QSize room = page->size().expandedTo(panelStack_->size());
    view.pageHost->setFixedSize(room);
    panelStack_->setFixedWidth(room.width());
    panelStack_->setMinimumHeight(room.height());
    return page;
}

void MainWindow::showMessage(PanelState state, const QString& text) {
    state_ = state;
    if (runCount_ == 0) {
        setStatus(QString());
    }
    panelMessage_->setText(text);
    panelStack_->setCurrentWidget(panelMessage_);
    updateActions();
}

void MainWindow::showPage(PluginView& view) {
    state_ = PanelState::Page;
    panelMessage_->clear();
    panelStack_->setCurrentWidget(view.pageHost);
    if (runCount_ == 0) {
        setStatus(tr("Ready: choose what to import on the options page, then press Import."));
    }
    updateActions();
}

void MainWindow::showIcqFolder(const QString& text) {
    state_ = PanelState::IcqFolder;
    folderText_->setText(text);
    // No taller than the text: the list below takes the rest.
    folderScroll_->setMaximumHeight(
        folderText_->heightForWidth(folderScroll_->viewport()->width()) +
        2 * folderScroll_->frameWidth());
    // The database chosen stays chosen while the folder is listed again.
    const QListWidgetItem* const chosen = folderList_->currentItem();
    const QString kept =
        chosen != nullptr ? chosen->data(Qt::UserRole).toStringList().value(0) : QString();
    folderList_->clear();
    int row = 0;
    for (const IcqDatabase& database : installation_->icqDatabases()) {
        if (database.paths.contains(kept)) {
            row = folderList_->count();
        }
        auto* item = new QListWidgetItem(
            QStringList{database.owner, database.detail, database.names}.join(QLatin1Char('\n')),
            folderList_);
        item->setData(Qt::UserRole, database.paths);
        item->setToolTip(database.paths.join(QLatin1Char('\n')));
    }
    folderList_->setCurrentRow(row);
    panelStack_->setCurrentWidget(folderPanel_);
    if (runCount_ == 0) {
        setStatus(tr("Ready: press Import to read the contacts and history of the ICQ database "
                     "chosen on the options panel."));
    }
    updateActions();
}

// ---- The import ----

void MainWindow::updateActions() {
    const bool ready = state_ == PanelState::IcqFolder ? folderList_->currentItem() != nullptr
                                                       : state_ == PanelState::Page && session_;
    const bool canImport = !running_ && ready && staging_.isValid();
    importButton_->setEnabled(canImport);
    folderList_->setEnabled(!running_);
    cancelButton_->setEnabled(running_ && !cancelling_);
    saveButton_->setEnabled(!running_ && !lastRun_.isEmpty());
    openButton_->setEnabled(!running_);
    exportButton_->setEnabled(!running_ && archive_ != nullptr);
    pluginList_->setEnabled(!running_);
    installation_->setLocked(running_);
}

void MainWindow::setRunning(bool on) {
    running_ = on;
    // A cover keeps the mouse off the page while its state is handed to the run.
    if (current_ >= 0 && static_cast<size_t>(current_) < views_.size()) {
        PluginView& view = views_[static_cast<size_t>(current_)];
        if (on && view.pageHost != nullptr) {
            if (view.inputBlocker == nullptr) {
                view.inputBlocker = new QWidget(view.pageHost);
                view.inputBlocker->setObjectName(QStringLiteral("pageCover"));
            }
            view.inputBlocker->setGeometry(view.pageHost->rect());
            view.inputBlocker->raise();
            view.inputBlocker->show();
        } else if (view.inputBlocker != nullptr) {
            view.inputBlocker->hide();
        }
    }
    updateActions();
    if (on) {
        cancelButton_->setFocus();
    }
}

bool MainWindow::passwordFor(QDialog* page, QByteArray& state) {
    const QLineEdit* field = passwordField(page);
    if (field == nullptr || !field->text().isEmpty()) {
        state = capturePage(page);
        return true;
    }
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("passwordPrompt"));
    ask.setWindowTitle(tr("Password"));
    ask.setLabelText(tr("The options page gives no password.\nPassword of the account to "
                        "import:"));
    ask.setTextEchoMode(QLineEdit::Password);
    if (ask.exec() != QDialog::Accepted) {
        return false;
    }
    const QString password = ask.textValue();
    state = capturePage(page, field, &password);
    return true;
}

QString MainWindow::startRun(const QString& name, const QStringList& databases,
                             const QString& status) {
    runName_ = name;
    runRoot_ = installation_->root();
    runDatabases_ = databases;
    opened_ = false;
    QSettings().setValue(kZoneSetting, installation_->timeZone());
    QSettings().setValue(kCodepageSetting, installation_->codepage());
    QSettings().setValue(kDeletedFolderSetting, installation_->deletedFolder());
    shownFolder_ = staging_.filePath(QStringLiteral("run-%1").arg(++runCount_));
    cancelling_ = false;
    progress_->setRange(0, 1);
    progress_->setValue(0);
    setRunning(true);
    setStatus(status);
    return shownFolder_;
}

void MainWindow::runImport() {
    const bool folder = state_ == PanelState::IcqFolder;
    if (running_ || !staging_.isValid() ||
        (!folder && (state_ != PanelState::Page || session_ == nullptr))) {
        return;
    }
    if (installation_->rootPending()) {
        // The field was changed without being confirmed: show that installation first.
        installation_->confirmRoot();
        return;
    }
    if (folder) {
        runFolder();
        return;
    }
    const int row = current_;
    QDialog* page = views_[static_cast<size_t>(row)].page;
    if (plugins_.object(row) == nullptr || page == nullptr) {
        return;
    }
    RunRequest request;
    if (!passwordFor(page, request.pageState)) {
        readWithoutPassword(page);
        return;
    }
    request.program = importer_;
    request.host = session_->options();
    request.plugin = plugins_.path(row);
    request.timeZone = installation_->timeZone();
    request.deletedFolder = installation_->deletedFolder();
    const QString name = pluginName(row);
    request.outDir = startRun(name, {}, tr("Importing with %1\u2026").arg(name));
    process_->start(request);
}

void MainWindow::readWithoutPassword(QDialog* page) {
    QMessageBox box(QMessageBox::Question, tr("Password"),
                    tr("Without a password the owner's account cannot be imported.\n\nThe "
                       "contacts and the message history need none: read them alone?"),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("withoutPassword"));
    QPushButton* const read =
        box.addButton(tr("Read contacts and history"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    if (box.clickedButton() != read) {
        setStatus(tr("Import not started: no password was given."));
        return;
    }
    QString found;
    if (!installation_->lookForIcqDatabases(
            tr("No password was given, so the owner's account is not imported."), found)) {
        setStatus(tr("Import not started: no password was given, and no ICQ database was found "
                     "on this disk."));
        return;
    }
    // The owner chosen on the page, when a database names them.
    const auto* owners = page->findChild<QListWidget*>(QString::fromLatin1(kOwnerListName));
    const QString chosen = owners != nullptr && owners->currentItem() != nullptr
                               ? owners->currentItem()->text()
                               : QString();
    hideCurrentPage();
    showIcqFolder(found);
    // Read at once when a database names that owner; else the person chooses one.
    const auto& databases = installation_->icqDatabases();
    for (size_t i = 0; i < databases.size(); ++i) {
        if (!chosen.isEmpty() && databases[i].nickname == chosen) {
            folderList_->setCurrentRow(static_cast<int>(i));
            runFolder();
            return;
        }
    }
}

void MainWindow::runFolder() {
    const QListWidgetItem* chosen = folderList_->currentItem();
    if (chosen == nullptr) {
        return;
    }
    FolderRunRequest request;
    request.program = icqReader_;
    request.databases = chosen->data(Qt::UserRole).toStringList();
    request.codepage = installation_->codepage();
    request.timeZone = installation_->timeZone();
    request.deletedFolder = installation_->deletedFolder();
    request.outDir = startRun(QStringLiteral("tolvane-icq"), request.databases,
                              tr("Reading %1\u2026").arg(copiesName(request.databases)));
    process_->start(request);
}

void MainWindow::runFinished(const RunOutcome& outcome) {
    outcome_ = outcome;
    setRunning(false);
    showPages(shownFolder_);
    reportRun();
    updateActions();
    if (!outcome_.messages.isEmpty() && !closeAfterRun_) {
        QMessageBox box(outcome_.end == RunEnd::Refused ? QMessageBox::Warning
                                                        : QMessageBox::Information,
                        runName_, outcome_.messages.join(QLatin1Char('\n')), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("pluginMessage"));
        box.exec();
    }
    emit importFinished();
    if (closeAfterRun_) {
        close();
    }
}

void MainWindow::showPages(const QString& runFolder) {
    record_ = readRecord(runFolder);
    const nlohmann::ordered_json& record = record_;
    const bool hasRecord = record.is_object();
    // The export of an ICQ folder is whole once its report, written last, is there.
    const bool archiveOnly =
        !hasRecord && (!runDatabases_.isEmpty() || opened_) &&
        QFileInfo(QDir(runFolder).filePath(QStringLiteral("report.txt"))).isFile();
    if (!opened_) {
        // An opened folder's report was read when it was opened.
        report_ = readArchiveReport(QDir(runFolder).filePath(QStringLiteral("report.txt")));
    }
    lastRun_ = hasRecord || archiveOnly ? runFolder : QString();
    setSaveNote(archiveOnly);
    const bool icq = isIcqRecord(record);
    QString error;
    archive_.reset();
    const QString archivePath = QDir(runFolder).filePath(QStringLiteral("icq-archive.sqlite"));
    if ((icq || archiveOnly) && QFileInfo::exists(archivePath)) {
        archive_ = ArchiveFile::open(archivePath, error);
        if (archive_ == nullptr) {
            outcome_.warnings << error;
        }
    }
    contacts_->setArchive(archive_.get());
    messages_->setArchive(archive_.get());
    sounds_->setRecord(icq ? readIcqRecord(record) : IcqRecord(), runFolder);
    recordTree_->showRecord(hasRecord ? record : nlohmann::ordered_json::object(), icq);
    tabs_->setTabVisible(tabs_->indexOf(contacts_), archive_ != nullptr);
    tabs_->setTabVisible(tabs_->indexOf(messages_), archive_ != nullptr);
    tabs_->setTabVisible(tabs_->indexOf(sounds_), icq);
    tabs_->setTabVisible(tabs_->indexOf(recordTree_), hasRecord);
    tabs_->setCurrentWidget(summary_);
    recordStack_->setCurrentWidget(tabs_);
    showSummary(lastRun_.isEmpty() ? tr("nothing was written") : runFolder);
}

void MainWindow::showSummary(const QString& folder) {
    if (!runDatabases_.isEmpty()) {
        summary_->setRows(folderSummary(outcomeText(), runDatabases_, report_, archive_.get(),
                                        outcome_.warnings, folder));
        return;
    }
    summary_->setRows(isIcqRecord(record_)
                          ? icqSummary(outcomeText(), readIcqRecord(record_), archive_.get(),
                                       report_, outcome_.warnings, folder)
                          : plainSummary(outcomeText(), outcome_.warnings, folder));
}

QString MainWindow::summaryText() const {
    return summary_->text();
}

QString MainWindow::outcomeText() const {
    if (opened_) {
        return runRoot_.isEmpty() ? tr("saved earlier") : tr("saved earlier from %1").arg(runRoot_);
    }
    const QString why =
        (outcome_.messages.isEmpty() ? outcome_.errors : outcome_.messages).join(QLatin1Char(' '));
    switch (outcome_.end) {
    case RunEnd::Complete:
        return tr("complete");
    case RunEnd::NotCarried:
        return tr("complete, but not everything chosen could be carried (see the warnings)");
    case RunEnd::Refused:
        if (!runDatabases_.isEmpty() && !why.isEmpty()) {
            // tolvane-icq names the file and what it found there.
            return tr("failed: %1").arg(why);
        }
        return why.isEmpty() ? tr("failed: %1 stopped the run").arg(runName_)
                             : tr("failed: %1 stopped the run (%2)").arg(runName_, why);
    case RunEnd::Cancelled:
        // A run stopped while the archive was written, or before it began, keeps nothing.
        return record_.is_object()
                   ? tr("cancelled; the record holds only what was written before Cancel")
                   : tr("cancelled; nothing of the run was kept");
    case RunEnd::BadOptions:
    case RunEnd::NotStarted:
        return tr("not started: %1").arg(why);
    case RunEnd::Crashed:
        break;
    }
    return tr("stopped unexpectedly (status %1)").arg(outcome_.status);
}

void MainWindow::reportRun() {
    const nlohmann::ordered_json& record = record_;
    int sections = 0;
    int files = 0;
    if (record.is_object()) {
        const auto top = record.value("sections", nlohmann::ordered_json::array());
        sections = static_cast<int>(top.size());
        for (const auto& section : top) {
            files += carriedFiles(section.value("entries", nlohmann::ordered_json::array()));
        }
    }
    const QStringList came = whatCameOver(record, archive_.get());
    const bool whole = outcome_.end == RunEnd::Complete || outcome_.end == RunEnd::NotCarried;
    QString text;
    if (!runDatabases_.isEmpty() && archive_ != nullptr) {
        text = tr("Import %1: %2 read from %3. Save them to keep them.")
                   .arg(outcomeText(), listed(came), copiesName(runDatabases_));
    } else if (whole && !came.isEmpty()) {
        text = tr("Import %1: %2. Save them to keep them.").arg(outcomeText(), listed(came));
    } else if (whole) {
        text = tr("Import %1: the record holds %2 and %3. Save it to keep it.")
                   .arg(outcomeText(), counted(sections, tr("section"), tr("sections")),
                        counted(files, tr("carried file"), tr("carried files")));
    } else {
        const QString outcome = outcomeText();
        text = tr("Import %1.").arg(outcome);
    }
    setStatusWithWarnings(text);
}

void MainWindow::setStatusWithWarnings(QString text) {
    // The first few warnings show below; all of them in the tool tip.
    const int kShownWarnings = 3;
    for (int i = 0; i < outcome_.warnings.size() && i < kShownWarnings; ++i) {
        text += tr("\nWarning: %1").arg(outcome_.warnings[i]);
    }
    if (outcome_.warnings.size() > kShownWarnings) {
        text += tr("\n\u2026 and %1 more (see the summary).")
                    .arg(outcome_.warnings.size() - kShownWarnings);
    }
    setStatus(text, outcome_.warnings.join(QLatin1Char('\n')));
}

void MainWindow::cancelImport() {
    if (!running_) {
        return;
    }
    process_->cancel();
    cancelling_ = true;
    setStatus(tr("Cancelling: the import stops at its next step\u2026"));
    updateActions();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (busy_) {
        closeAfterBusy_ = true;
        event->ignore();
        return;
    }
    if (running_) {
        closeAfterRun_ = true;
        cancelImport();
        event->ignore();
        return;
    }
    event->accept();
}

// ---- Saving and exporting ----

void MainWindow::whileBusy(const QString& status, const std::function<void()>& work) {
    busy_ = true;
    setStatus(status);
    centralWidget()->setEnabled(false);
    const int low = progress_->minimum();
    const int high = progress_->maximum();
    const int value = progress_->value();
    progress_->setRange(0, 0);
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    progress_->setRange(low, high);
    progress_->setValue(value);
    centralWidget()->setEnabled(true);
    busy_ = false;
    if (closeAfterBusy_) {
        QTimer::singleShot(0, this, &QWidget::close);
    }
    // What the work threw goes on in the window's thread, as if it had run there.
    if (failure) {
        std::rethrow_exception(failure);
    }
}

bool MainWindow::askFromWork(const std::function<bool()>& ask) {
    bool answer = false;
    QMetaObject::invokeMethod(
        this, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
    return answer;
}

QString MainWindow::lastOutputFolder() const {
    return QSettings().value(kOutputSetting, QDir::homePath()).toString();
}

void MainWindow::rememberOutputFolder(const QString& folder) {
    QSettings().setValue(kOutputSetting, folder);
}

void MainWindow::chooseSaveFolder() {
    if (running_ || lastRun_.isEmpty()) {
        return;
    }
    const QString folder = chooseFolder(this, tr("Choose the folder for the import"),
                                        lastOutputFolder(), "saveDialog", true);
    if (!folder.isEmpty()) {
        saveTo(folder);
    }
}

bool MainWindow::saveTo(const QString& folder) {
    if (busy_) {
        return false;
    }
    if (lastRun_.isEmpty()) {
        setStatus(tr("Nothing to save yet: run an import first."));
        return false;
    }
    if (opened_ &&
        QFileInfo(folder).canonicalFilePath() == QFileInfo(lastRun_).canonicalFilePath()) {
        setStatus(tr("Not saved: %1 is the folder it was opened from, where it is saved already.")
                      .arg(folder));
        return false;
    }
    std::string error;
    int files = 0;
    const auto replace = [this, &folder](const std::string& other) {
        QMessageBox box(QMessageBox::Question, tr("Save record"),
                        tr("%1 holds the record of %2.\nReplace it, and its files and archive, "
                           "with this import?")
                            .arg(folder, fromStd(other)),
                        QMessageBox::NoButton, this);
        box.setObjectName(QStringLiteral("replaceRecord"));
        QPushButton* const replaceButton = box.addButton(tr("Replace"), QMessageBox::AcceptRole);
        box.setDefaultButton(box.addButton(QMessageBox::Cancel));
        box.exec();
        return box.clickedButton() == replaceButton;
    };
    SaveEnd end = SaveEnd::Failed;
    // A heavy user's history is most of a gigabyte; the window stays drawn while it is copied.
    const std::string from = lastRun_.toStdString();
    const std::optional<vqrt::BundleIdentity> identity = folderIdentity();
    whileBusy(tr("Saving into %1\u2026").arg(folder), [&] {
        end = saveBundle(
            from, folder.toStdString(), error, &files,
            [&](const std::string& other) { return askFromWork([&] { return replace(other); }); },
            identity);
    });
    if (end == SaveEnd::Declined) {
        setStatus(tr("Not saved: %1, which was kept.").arg(fromStd(error)));
        return false;
    }
    if (end == SaveEnd::Failed) {
        const QString text =
            runDatabases_.isEmpty()
                ? tr("The record was not saved: %1. record.json in %2 was left as it was.")
                      .arg(fromStd(error), folder)
                : tr("The ICQ archive was not saved: %1. What %2 held was left as it was.")
                      .arg(fromStd(error), folder);
        setStatus(text);
        QMessageBox box(QMessageBox::Critical, tr("Save record"), text, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("saveFailed"));
        box.exec();
        return false;
    }
    rememberOutputFolder(folder);
    showSummary(tr("%1 (saved)").arg(folder));
    if (runDatabases_.isEmpty()) {
        setStatus(tr("Saved record.json, %1%2 in %3.")
                      .arg(counted(files, tr("carried file"), tr("carried files")),
                           archive_ != nullptr ? tr(" and the ICQ archive") : QString(), folder));
    } else {
        setStatus(tr("Saved the ICQ archive in %1.").arg(folder));
    }
    return true;
}

std::optional<vqrt::BundleIdentity> MainWindow::folderIdentity() const {
    if (runDatabases_.isEmpty()) {
        return std::nullopt;
    }
    const uint32_t uin = archive_ != nullptr ? archive_->ownerUin() : 0;
    return vqrt::BundleIdentity{runRoot_.toStdString(), uin != 0 ? std::to_string(uin) : ""};
}

void MainWindow::chooseSavedFolder() {
    if (running_) {
        return;
    }
    const QString folder = chooseFolder(this, tr("Choose the folder of a saved import"),
                                        lastOutputFolder(), "openDialog");
    if (folder.isEmpty() || openSaved(folder)) {
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("Open saved"), statusText(), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("openFailed"));
    box.exec();
}

bool MainWindow::openSaved(const QString& folder) {
    if (running_ || busy_) {
        return false;
    }
    const QString path = QFileInfo(folder).absoluteFilePath();
    const SavedKind kind = savedKind(path);
    if (kind == SavedKind::None) {
        setStatus(tr("Nothing opened: %1 holds no saved import (expected record.json, or the "
                     "report.txt and icq-archive.sqlite of an ICQ archive).")
                      .arg(path));
        return false;
    }
    const ArchiveReport report =
        readArchiveReport(QDir(path).filePath(QStringLiteral("report.txt")));
    const auto identity = vqrt::bundleIdentity(path.toStdString());
    opened_ = true;
    runName_.clear();
    runDatabases_.clear();
    if (kind == SavedKind::Archive) {
        // Read from the databases its report names; an archive of no named one is its own.
        runDatabases_ = report.databases.isEmpty()
                            ? QStringList{QDir(path).filePath(QStringLiteral("icq-archive.sqlite"))}
                            : report.databases;
    }
    runRoot_ = identity                  ? fromStd(identity->installation)
               : runDatabases_.isEmpty() ? QString()
                                         : QFileInfo(runDatabases_.constFirst()).absolutePath();
    outcome_ = RunOutcome();
    outcome_.end = RunEnd::Complete;
    outcome_.warnings = report.warnings;
    report_ = report;
    shownFolder_ = path;
    // Counted as a run: the status keeps what was opened until the next one.
    ++runCount_;
    showPages(path);
    const QStringList came = whatCameOver(record_, archive_.get());
    const QString what = came.isEmpty() ? tr("nothing in it can be shown") : listed(came);
    setStatusWithWarnings(kind == SavedKind::Import
                              ? tr("Opened the import saved in %1: %2.").arg(path, what)
                              : tr("Opened the ICQ archive of %1 saved in %2: %3.")
                                    .arg(copiesName(runDatabases_), path, what));
    updateActions();
    return true;
}

void MainWindow::chooseExport(ExportKind kind) {
    if (running_ || archive_ == nullptr) {
        return;
    }
    const bool toFolder = kind == ExportKind::HistoryHtml || kind == ExportKind::HistoryText;
    const QString name = kind == ExportKind::ContactsVcard ? QStringLiteral("contacts.vcf")
                         : kind == ExportKind::ContactsCsv ? QStringLiteral("contacts.csv")
                                                           : QStringLiteral("history");
    QFileDialog dialog(this, tr("Export"), QDir(lastOutputFolder()).filePath(name));
    dialog.setObjectName(QStringLiteral("exportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (toFolder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    exportTo(kind, dialog.selectedFiles().constFirst());
}

bool MainWindow::exportTo(ExportKind kind, const QString& target) {
    std::string error;
    int files = 0;
    bool exported = false;
    if (busy_) {
        return false;
    }
    if (!lastRun_.isEmpty()) {
        const std::string from = lastRun_.toStdString();
        whileBusy(tr("Exporting to %1\u2026").arg(target),
                  [&] { exported = exportFiles(from, kind, target.toStdString(), error, &files); });
    }
    if (!exported) {
        const QString text = tr("Nothing was exported: %1.")
                                 .arg(error.empty() ? tr("run an import first") : fromStd(error));
        setStatus(text);
        return false;
    }
    const QFileInfo info(target);
    rememberOutputFolder(info.isDir() ? target : info.absolutePath());
    setStatus(tr("Exported %1 to %2.").arg(counted(files, tr("file"), tr("files")), target));
    return true;
}

} // namespace gui
