#include "mainwindow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "bundlesaver.h"
#include "installationbox.h"
#include "recordtree.h"
#include "recordwriter.h"
#include "wording.h"

namespace gui {

namespace {

// The options page of a plug-in has this size, or more where its texts need it.
constexpr int kPageWidth = 240;
constexpr int kPageHeight = 370;

const char* const kOwnerListName = "m_pWinUsersList";

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// The carried files among `entries`, nested sections included.
int carriedFiles(const nlohmann::ordered_json& entries) {
    int files = 0;
    for (const auto& entry : entries) {
        if (entry.contains("section")) {
            files +=
                carriedFiles(entry["section"].value("entries", nlohmann::ordered_json::array()));
        } else if (entry.contains("carried") && entry["carried"].is_string()) {
            ++files;
        }
    }
    return files;
}

} // namespace

MainWindow::MainWindow(const CommandLine& options, const std::vector<std::string>& pluginPaths,
                       const std::vector<std::string>& searched, QWidget* parent)
    : QMainWindow(parent), options_(options), searched_(searched), agent_(this),
      staging_(QDir::tempPath() + QStringLiteral("/tolvane-XXXXXX")) {
    setWindowTitle(tr("Tolvane \u2013 settings from Windows"));
    plugins_.load(pluginPaths);
    views_.resize(static_cast<size_t>(plugins_.rowCount()));
    buildUi();
    agent_.setProgressBar(progress_);
    applyInstallation();
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
    resize(1180, 680);
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
    layout->addWidget(pluginList_);
    box->setMaximumWidth(230);
    return box;
}

QWidget* MainWindow::buildOptionsBox() {
    auto* box = new QGroupBox(tr("Options"), this);
    auto* layout = new QVBoxLayout(box);
    panelStack_ = new QStackedWidget(box);
    panelStack_->setObjectName(QStringLiteral("pagePanel"));
    panelStack_->setFixedSize(kPageWidth, kPageHeight);
    panelMessage_ = new QLabel(panelStack_);
    panelMessage_->setObjectName(QStringLiteral("panelMessage"));
    panelMessage_->setWordWrap(true);
    panelMessage_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    panelMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    panelMessage_->setMargin(8);
    panelStack_->addWidget(panelMessage_);
    layout->addWidget(panelStack_);
    layout->addStretch(1);
    return box;
}

QWidget* MainWindow::buildRecordBox() {
    auto* box = new QGroupBox(tr("Import record"), this);
    auto* layout = new QVBoxLayout(box);
    recordStack_ = new QStackedWidget(box);
    recordHint_ = new QLabel(tr("No import yet.\n\nChoose what to import on the options page "
                                "and press Import; the record of the import appears here."),
                             recordStack_);
    recordHint_->setWordWrap(true);
    recordHint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    recordHint_->setMargin(8);
    recordTree_ = new RecordTree(recordStack_);
    recordTree_->setObjectName(QStringLiteral("recordTree"));
    recordStack_->addWidget(recordHint_);
    recordStack_->addWidget(recordTree_);
    layout->addWidget(recordStack_, 1);

    auto* saveRow = new QHBoxLayout;
    auto* note = new QLabel(
        tr("Each import goes to a temporary folder that is removed when this window closes. "
           "Save copies record.json and the carried files (files/) into a folder you choose; "
           "record.json is written last, through a temporary file, so a failed save never "
           "leaves a half-written record.json."),
        box);
    note->setObjectName(QStringLiteral("saveNote"));
    note->setWordWrap(true);
    saveButton_ = new QPushButton(tr("&Save record\u2026"), box);
    saveButton_->setObjectName(QStringLiteral("saveButton"));
    connect(saveButton_, &QPushButton::clicked, this, &MainWindow::chooseSaveFolder);
    saveRow->addWidget(note, 1);
    saveRow->addWidget(saveButton_, 0, Qt::AlignTop);
    layout->addLayout(saveRow);
    return box;
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
    return state_ == PanelState::Page ? QString() : panelMessage_->text();
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
        showMessage(PanelState::NothingToImport,
                    tr("%1 is not installed on this Windows installation (%2%3): its registry "
                       "names no %1 program, so there is nothing to import.\n\nChoose the "
                       "Windows installation or the user where %1 was used, above.")
                        .arg(name, installation_->root(),
                             user.isEmpty() ? QString() : tr(", user %1").arg(user)));
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
    panelStack_->setFixedSize(room);
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

// ---- The import ----

void MainWindow::updateActions() {
    const bool canImport =
        !running_ && state_ == PanelState::Page && session_ != nullptr && staging_.isValid();
    importButton_->setEnabled(canImport);
    cancelButton_->setEnabled(running_ && !agent_.cancelRequested());
    saveButton_->setEnabled(!running_ && !lastRun_.isEmpty());
    pluginList_->setEnabled(!running_);
    installation_->setLocked(running_);
}

void MainWindow::setRunning(bool on) {
    running_ = on;
    // The page stays enabled (the plug-in reads its enabled states); a cover keeps the
    // mouse off it while the run reads it.
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

void MainWindow::runImport() {
    if (running_ || state_ != PanelState::Page || session_ == nullptr || !staging_.isValid()) {
        return;
    }
    if (installation_->rootPending()) {
        // The field was changed without being confirmed: show that installation first.
        installation_->confirmRoot();
        return;
    }
    const int row = current_;
    plugin* object = plugins_.object(row);
    const vqrt::PluginIdentity* identity = plugins_.identity(row);
    if (object == nullptr || identity == nullptr) {
        return;
    }
    const QString runFolder = staging_.filePath(QStringLiteral("run-%1").arg(++runCount_));
    std::vector<std::string> warnings;
    vqrt::RecordWriterOptions writerOptions;
    writerOptions.codepage = session_->options().codepage;
    writerOptions.warn = [&warnings](const std::string& line) { warnings.push_back(line); };
    vqrt::RecordWriter writer(runFolder.toStdString(), identity->name, writerOptions);

    object->setArbiter(session_.get());
    agent_.start(pluginName(row), identity->blockCount);
    setRunning(true);
    setStatus(tr("Importing with %1\u2026").arg(pluginName(row)));
    const int result = object->activatePlugin(&writer, 0);
    writer.setResult(result);
    writer.finish();
    setRunning(false);

    const nlohmann::ordered_json record = writer.json();
    const auto topSections = record.value("sections", nlohmann::ordered_json::array());
    const int sections = static_cast<int>(topSections.size());
    int files = 0;
    for (const auto& section : topSections) {
        files += carriedFiles(section.value("entries", nlohmann::ordered_json::array()));
    }
    lastRun_ = writer.lastSaveFailed() ? QString() : runFolder;
    recordTree_->showRecord(record);
    recordStack_->setCurrentWidget(recordTree_);
    reportRun(result, agent_.cancelled(), agent_.messages(), warnings, writer.lastSaveFailed(),
              writer.lastSaveError(), sections, files);
    updateActions();
    if (closeAfterRun_) {
        close();
    }
}

void MainWindow::reportRun(int result, bool cancelled, const QStringList& messages,
                           const std::vector<std::string>& warnings, bool saveFailed,
                           const std::string& saveError, int sections, int files) {
    const QString name = pluginName(current_);
    QString text;
    if (cancelled) {
        text = tr("Import cancelled: the record holds only what was written before Cancel.");
    } else if (result != 0) {
        text = messages.isEmpty()
                   ? tr("Import failed: %1 stopped the run. The record holds what was written "
                        "until then.")
                         .arg(name)
                   : tr("Import failed: %1 stopped the run (%2). The record holds what was "
                        "written until then.")
                         .arg(name, messages.join(QStringLiteral(" ")));
    } else {
        text = tr("Import complete: the record holds %1 and %2. Save it to keep it.")
                   .arg(counted(sections, tr("section"), tr("sections")),
                        counted(files, tr("carried file"), tr("carried files")));
    }
    if (saveFailed) {
        text += tr(" The record could not be written to the temporary folder, so it cannot be "
                   "saved: %1")
                    .arg(fromStd(saveError));
    }
    // The first few warnings show below; all of them in the tool tip.
    const size_t kShownWarnings = 3;
    for (size_t i = 0; i < warnings.size() && i < kShownWarnings; ++i) {
        text += tr("\nWarning: %1").arg(fromStd(warnings[i]));
    }
    if (warnings.size() > kShownWarnings) {
        text += tr("\n\u2026 and %1 more (point here to see them all).")
                    .arg(warnings.size() - kShownWarnings);
    }
    setStatus(text, lines(warnings, QString()).trimmed());
}

void MainWindow::cancelImport() {
    if (!running_) {
        return;
    }
    agent_.requestCancel();
    setStatus(tr("Cancelling: the import stops at its next step\u2026"));
    updateActions();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        closeAfterRun_ = true;
        cancelImport();
        event->ignore();
        return;
    }
    event->accept();
}

// ---- Saving ----

void MainWindow::chooseSaveFolder() {
    if (running_ || lastRun_.isEmpty()) {
        return;
    }
    QFileDialog dialog(this, tr("Choose the folder for record.json and files/"));
    dialog.setObjectName(QStringLiteral("saveDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    saveTo(dialog.selectedFiles().constFirst());
}

bool MainWindow::saveTo(const QString& folder) {
    if (lastRun_.isEmpty()) {
        setStatus(tr("Nothing to save yet: run an import first."));
        return false;
    }
    std::string error;
    int files = 0;
    if (!saveBundle(lastRun_.toStdString(), folder.toStdString(), error, &files)) {
        const QString text = tr("The record was not saved: %1. record.json in %2 was left as "
                                "it was.")
                                 .arg(fromStd(error), folder);
        setStatus(text);
        QMessageBox box(QMessageBox::Critical, tr("Save record"), text, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("saveFailed"));
        box.exec();
        return false;
    }
    setStatus(tr("Saved record.json and %1 in %2.")
                  .arg(counted(files, tr("carried file"), tr("carried files")), folder));
    return true;
}

} // namespace gui
