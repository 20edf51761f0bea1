#include "installationbox.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeZone>

#include "archive/database.h"
#include "archive/locate.h"
#include "archive/peek.h"
#include "drivesrow.h"
#include "windowsinstall.h"
#include "windowszone.h"
#include "wording.h"

namespace gui {

namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Carried files are found by absolute paths: a relative root is taken from the current folder.
QString absoluteRoot(const QString& root) {
    const QString trimmed = root.trimmed();
    return trimmed.isEmpty() ? trimmed : QDir::cleanPath(QDir::current().absoluteFilePath(trimmed));
}

// People who kept only their ICQ folder point the window at it, and a Windows installation
// whose registry cannot be opened or names no ICQ may still hold ICQ databases: say what the
// folder is and what can be read from it. `why` says why the folder is no installation to
// import from; empty for an ICQ folder. False when `folder` holds no ICQ database (for an
// installation: none that can be read); else `owners` holds, for each owner, the copies of
// their database that can be read (none for the tables of a later ICQ).
bool icqFolderProblem(const QString& folder, const QString& why, std::vector<QStringList>& owners,
                      QString& problem) {
    // A database that a link leads out of the folder to is not read: the window reads nothing
    // beyond what it was pointed at.
    std::vector<std::string> linked;
    QStringList outside;
    qsizetype files = 0;
    for (const auto& [uin, paths] : archive::databaseCopiesInside(folder.toStdString(), linked)) {
        QStringList copies;
        for (const std::string& path : paths) {
            copies << fromStd(path);
        }
        files += copies.size();
        owners.push_back(copies);
    }
    for (const std::string& path : linked) {
        outside << QDir(folder).relativeFilePath(fromStd(path));
    }
    const QString notRead = InstallationBox::tr("Not read, as links lead out of the folder: %1.")
                                .arg(outside.join(QStringLiteral(", ")));
    if (owners.empty() && !why.isEmpty()) {
        return false;
    }
    if (owners.empty() && !outside.isEmpty()) {
        problem =
            InstallationBox::tr("This is an ICQ folder, not a Windows installation.\n\n") + notRead;
        return true;
    }
    if (owners.empty()) {
        std::string none;
        const std::string found = archive::locateDatabase(folder.toStdString(), none);
        const std::string refusal = found.empty() ? found : archive::laterFormatRefusal(found);
        problem = InstallationBox::tr("This is an ICQ folder, not a Windows installation, and "
                                      "its database cannot be read:\n%1")
                      .arg(fromStd(refusal));
        return !refusal.empty();
    }
    QString holds;
    if (owners.size() > 1) {
        holds =
            InstallationBox::tr("the ICQ databases of %1 owners, listed below").arg(owners.size());
    } else if (files > 1) {
        holds = InstallationBox::tr("%1 copies of one owner's ICQ database, shown below, which "
                                    "are read together")
                    .arg(files);
    } else {
        holds = InstallationBox::tr("one owner's ICQ database, shown below");
    }
    const QString whose =
        owners.size() == 1 ? InstallationBox::tr("its") : InstallationBox::tr("the chosen owner's");
    if (!why.isEmpty()) {
        problem = InstallationBox::tr(
                      "%1\n\nIts ICQ databases can still be read on their own: %2 holds %3.\n\n"
                      "Import reads %4 contacts and message history; the server settings, the "
                      "account and the sounds are not imported this way.")
                      .arg(why, folder, holds, whose);
    } else {
        problem = InstallationBox::tr(
                      "This is an ICQ folder, not a Windows installation: %1 holds %2.\n\nImport "
                      "reads %3 contacts and message history. The server settings, the account "
                      "and the sounds are kept in the Windows registry; for them, choose the "
                      "mounted Windows system drive with Browse\u2026 above.")
                      .arg(folder, holds, whose);
    }
    if (!outside.isEmpty()) {
        problem += QStringLiteral("\n\n") + notRead;
    }
    return true;
}

QString writtenOn(const QString& path) {
    return QFileInfo(path).lastModified().toString(QStringLiteral("yyyy-MM-dd"));
}

// Whose the copies of a database are, from the newest one's owner entry alone, so that a
// person can tell the owners of a folder apart before reading one.
IcqDatabase describeDatabase(const QString& folder, QStringList copies, const QString& codepage) {
    // Oldest first: the newest, read last, gives the owner's details when they are merged.
    std::stable_sort(copies.begin(), copies.end(), [](const QString& a, const QString& b) {
        return QFileInfo(a).lastModified() < QFileInfo(b).lastModified();
    });
    // A copy that is no database, or another owner's, would stop the others being read: it is
    // left out and named.
    QStringList readable;
    QStringList leftOut;
    std::optional<archive::OwnerPeek> newest;
    std::string firstError;
    for (auto copy = copies.crbegin(); copy != copies.crend(); ++copy) {
        std::string error;
        auto peeked = archive::peekOwner(copy->toStdString(), codepage.toStdString(), error);
        if (peeked && newest && peeked->owner.uin != newest->owner.uin) {
            error = copy->toStdString() + ": the database of another owner (UIN " +
                    std::to_string(peeked->owner.uin) + ")";
            peeked.reset();
        }
        if (!peeked) {
            leftOut.prepend(fromStd(error));
            firstError = firstError.empty() ? error : firstError;
            continue;
        }
        newest = newest ? newest : peeked;
        readable.prepend(*copy);
    }
    QStringList names;
    for (const QString& path : readable.isEmpty() ? copies : readable) {
        names << QDir(folder).relativeFilePath(path);
    }
    if (!newest) {
        return {copies, names.join(QStringLiteral(", ")), InstallationBox::tr("Owner unknown"),
                QString(), fromStd(firstError)};
    }
    const archive::Owner& owner = newest->owner;
    const QString fullName =
        (fromStd(owner.firstName) + QLatin1Char(' ') + fromStd(owner.lastName)).trimmed();
    QString who = fromStd(owner.nickName);
    if (who.isEmpty() || who == fullName) {
        who = fullName;
    } else if (!fullName.isEmpty()) {
        who += QStringLiteral(" (%1)").arg(fullName);
    }
    const QString uin = InstallationBox::tr("UIN %1").arg(owner.uin);
    QString written = readable.size() == 1
                          ? InstallationBox::tr("last written %1").arg(writtenOn(readable.back()))
                          : InstallationBox::tr("%1 copies from %2 to %3, read together")
                                .arg(readable.size())
                                .arg(writtenOn(readable.front()), writtenOn(readable.back()));
    for (const QString& why : leftOut) {
        written += InstallationBox::tr("; left out: %1").arg(why);
    }
    return {readable, names.join(QStringLiteral(", ")),
            who.isEmpty() ? uin : who + QStringLiteral(", ") + uin, fromStd(owner.nickName),
            InstallationBox::tr("ICQ %1, %2").arg(fromStd(newest->version), written)};
}

// A row of the form: a choice, and beside it what it means.
void addChoiceRow(QFormLayout& form, const QString& label, QComboBox* choice, QLabel* meaning) {
    auto* row = new QHBoxLayout;
    row->addWidget(choice);
    row->addWidget(meaning, 1);
    auto* name = new QLabel(label, form.parentWidget());
    name->setBuddy(choice);
    form.addRow(name, row);
}

// The ANSI code pages of Windows, by the languages they were written in.
const std::pair<const char*, const char*> kCodepages[] = {
    {"CP1252", QT_TRANSLATE_NOOP("gui::InstallationBox", "Western European")},
    {"CP1250", QT_TRANSLATE_NOOP("gui::InstallationBox", "Central European")},
    {"CP1251", QT_TRANSLATE_NOOP("gui::InstallationBox", "Cyrillic")},
    {"CP1253", QT_TRANSLATE_NOOP("gui::InstallationBox", "Greek")},
    {"CP1254", QT_TRANSLATE_NOOP("gui::InstallationBox", "Turkish")},
    {"CP1255", QT_TRANSLATE_NOOP("gui::InstallationBox", "Hebrew")},
    {"CP1256", QT_TRANSLATE_NOOP("gui::InstallationBox", "Arabic")},
    {"CP1257", QT_TRANSLATE_NOOP("gui::InstallationBox", "Baltic")},
    {"CP1258", QT_TRANSLATE_NOOP("gui::InstallationBox", "Vietnamese")},
    {"CP874", QT_TRANSLATE_NOOP("gui::InstallationBox", "Thai")},
    {"CP932", QT_TRANSLATE_NOOP("gui::InstallationBox", "Japanese")},
    {"CP936", QT_TRANSLATE_NOOP("gui::InstallationBox", "Chinese, simplified")},
    {"CP949", QT_TRANSLATE_NOOP("gui::InstallationBox", "Korean")},
    {"CP950", QT_TRANSLATE_NOOP("gui::InstallationBox", "Chinese, traditional")},
};

} // namespace

InstallationBox::InstallationBox(vqrt::HostOptions defaults, QWidget* parent)
    : QGroupBox(tr("Windows installation"), parent), defaults_(std::move(defaults)) {
    auto* form = new QFormLayout(this);

    auto* rootRow = new QHBoxLayout;
    rootEdit_ = new QLineEdit(this);
    rootEdit_->setObjectName(QStringLiteral("windowsRoot"));
    rootEdit_->setPlaceholderText(
        tr("The folder where the Windows system drive (C:) is mounted, or an ICQ folder"));
    rootEdit_->setClearButtonEnabled(true);
    connect(rootEdit_, &QLineEdit::editingFinished, this, &InstallationBox::confirmRoot);
    browseButton_ = new QPushButton(tr("&Browse\u2026"), this);
    browseButton_->setObjectName(QStringLiteral("browseRoot"));
    connect(browseButton_, &QPushButton::clicked, this, &InstallationBox::browse);
    rootRow->addWidget(rootEdit_, 1);
    rootRow->addWidget(browseButton_);
    auto* rootLabel = new QLabel(tr("&Windows root:"), this);
    rootLabel->setBuddy(rootEdit_);
    form->addRow(rootLabel, rootRow);

    userCombo_ = new QComboBox(this);
    userCombo_->setObjectName(QStringLiteral("userChoice"));
    userCombo_->setMinimumContentsLength(16);
    userCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(userCombo_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &InstallationBox::userChosen);
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("installationInfo"));
    info_->setWordWrap(true);
    addChoiceRow(*form, tr("&User:"), userCombo_, info_);

    // Exports of the registry stand in for hives that cannot be read: Windows 95, 98 and ME's,
    // or damaged ones.
    regLabel_ = new QLabel(this);
    regLabel_->setObjectName(QStringLiteral("registryExports"));
    regLabel_->setWordWrap(true);
    regButton_ = new QPushButton(tr("Add .reg e&xport\u2026"), this);
    regButton_->setObjectName(QStringLiteral("addRegExport"));
    connect(regButton_, &QPushButton::clicked, this, &InstallationBox::chooseRegFiles);
    regClear_ = new QPushButton(tr("Clear"), this);
    regClear_->setObjectName(QStringLiteral("clearRegExports"));
    connect(regClear_, &QPushButton::clicked, this, &InstallationBox::clearRegFiles);
    auto* regRow = new QHBoxLayout;
    regRow->addWidget(regLabel_, 1);
    regRow->addWidget(regButton_);
    regRow->addWidget(regClear_);
    form->addRow(tr("Registry:"), regRow);
    showRegFiles();

    // Programs installed on other partitions (D:\ICQ) are found through the drive's folder.
    drivesRow_ = new DrivesRow(defaults_.drives, this);
    connect(drivesRow_, &DrivesRow::changed, this, &InstallationBox::changed);
    form->addRow(tr("Other drives:"), drivesRow_);

    // ICQ kept UTC; the history is shown and written in the zone its owner lived in.
    zoneCombo_ = new QComboBox(this);
    zoneCombo_->setObjectName(QStringLiteral("timeZoneChoice"));
    zoneCombo_->addItem(QStringLiteral("UTC"));
    for (const QByteArray& zone : QTimeZone::availableTimeZoneIds()) {
        if (zone != "UTC") {
            zoneCombo_->addItem(QString::fromLatin1(zone));
        }
    }
    zoneCombo_->setMaxVisibleItems(20);
    zoneHint_ = new QLabel(this);
    zoneHint_->setObjectName(QStringLiteral("timeZoneHint"));
    addChoiceRow(*form, tr("Time &zone:"), zoneCombo_, zoneHint_);

    // Names and messages are in the code page of the old Windows; a wrong one garbles them.
    codepageCombo_ = new QComboBox(this);
    codepageCombo_->setObjectName(QStringLiteral("codepageChoice"));
    for (const auto& [name, language] : kCodepages) {
        codepageCombo_->addItem(
            QStringLiteral("%1 \u2013 %2").arg(QLatin1String(name), tr(language)),
            QLatin1String(name));
    }
    connect(codepageCombo_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &InstallationBox::codepageChosen);
    codepageHint_ = new QLabel(this);
    codepageHint_->setObjectName(QStringLiteral("codepageHint"));
    addChoiceRow(*form, tr("&Code page:"), codepageCombo_, codepageHint_);
    setCodepage(fromStd(defaults_.codepage));

    // ICQ kept what the owner deleted in a folder of its own; people may want it back.
    deletedFolder_ = new QCheckBox(tr("&Also the messages moved to ICQ's Deleted folder, marked "
                                      "as such"),
                                   this);
    deletedFolder_->setObjectName(QStringLiteral("deletedFolderChoice"));
    form->addRow(tr("History:"), deletedFolder_);

    appliedRoot_ = absoluteRoot(fromStd(defaults_.windowsRoot));
    rootEdit_->setText(appliedRoot_);
    fillUsers(appliedRoot_);
}

void InstallationBox::setRoot(const QString& root) {
    const QString absolute = absoluteRoot(root);
    // Exports of one machine's registry would be read over another disk's hives, and its other
    // drives are not the other disk's.
    if (absolute != appliedRoot_) {
        defaults_.regFiles.clear();
        showRegFiles();
        drivesRow_->forget();
    }
    appliedRoot_ = absolute;
    rootEdit_->setText(appliedRoot_);
    fillUsers(appliedRoot_);
    emit changed();
}

bool InstallationBox::rootPending() const {
    return rootEdit_->text().trimmed() != appliedRoot_;
}

QString InstallationBox::user() const {
    return userCombo_->currentData().toString();
}

QString InstallationBox::timeZone() const {
    return zoneCombo_->currentText();
}

void InstallationBox::setTimeZone(const QString& zone, bool given) {
    zoneGiven_ = zoneGiven_ || given;
    int found = zoneCombo_->findText(zone);
    if (found < 0) {
        zoneCombo_->addItem(zone);
        found = zoneCombo_->count() - 1;
    }
    zoneCombo_->setCurrentIndex(found);
}

bool InstallationBox::deletedFolder() const {
    return deletedFolder_->isChecked();
}

void InstallationBox::setDeletedFolder(bool wanted) {
    deletedFolder_->setChecked(wanted);
}

QString InstallationBox::codepage() const {
    return codepageCombo_->currentData().toString();
}

void InstallationBox::setCodepage(const QString& codepage, bool given) {
    codepageGiven_ = codepageGiven_ || given;
    const QSignalBlocker blocker(codepageCombo_);
    int found = codepageCombo_->findData(codepage.toUpper());
    if (found < 0) {
        codepageCombo_->addItem(codepage, codepage);
        found = codepageCombo_->count() - 1;
    }
    codepageCombo_->setCurrentIndex(found);
}

void InstallationBox::codepageChosen() {
    if (!locked_) {
        emit changed();
    }
}

void InstallationBox::setLocked(bool locked) {
    locked_ = locked;
    codepageCombo_->setEnabled(!locked);
    zoneCombo_->setEnabled(!locked);
    rootEdit_->setEnabled(!locked);
    browseButton_->setEnabled(!locked);
    regButton_->setEnabled(!locked);
    regClear_->setEnabled(!locked);
    drivesRow_->setLocked(locked);
    userCombo_->setEnabled(!locked && userCombo_->count() > 0);
}

void InstallationBox::offerDrive(char letter) {
    drivesRow_->offer(letter);
}

void InstallationBox::confirmRoot() {
    if (!locked_ && rootPending()) {
        setRoot(rootEdit_->text());
    }
}

void InstallationBox::browse() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Choose the mounted Windows system drive, or an ICQ folder"), rootEdit_->text());
    if (!chosen.isEmpty() && !locked_) {
        setRoot(chosen);
    }
}

void InstallationBox::chooseRegFiles() {
    QFileDialog dialog(this, tr("Choose exports of the old Windows' registry"), appliedRoot_,
                       tr("Registry exports (*.reg *.REG);;All files (*)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted || locked_) {
        return;
    }
    // Later exports win over earlier ones, as on the command line.
    for (const QString& chosen : dialog.selectedFiles()) {
        const std::string path = QFileInfo(chosen).absoluteFilePath().toStdString();
        auto& files = defaults_.regFiles;
        files.erase(std::remove(files.begin(), files.end(), path), files.end());
        files.push_back(path);
    }
    showRegFiles();
    emit changed();
}

void InstallationBox::clearRegFiles() {
    defaults_.regFiles.clear();
    showRegFiles();
    emit changed();
}

void InstallationBox::showRegFiles() {
    QStringList names;
    for (const std::string& file : defaults_.regFiles) {
        names << QFileInfo(fromStd(file)).fileName();
    }
    // Windows 95, 98 and ME keep no hives, but two registry files.
    const QString own = win9x_ ? tr("SYSTEM.DAT and USER.DAT") : tr("the hives");
    regLabel_->setText(names.isEmpty()
                           ? tr("%1 on the disk").arg(own)
                           : tr("%1, read over %2").arg(names.join(QStringLiteral(", ")), own));
    regLabel_->setToolTip(lines(defaults_.regFiles, QString()).trimmed());
    regClear_->setVisible(!names.isEmpty());
    regClear_->setEnabled(!locked_);
}

void InstallationBox::userChosen() {
    if (!locked_) {
        emit changed();
    }
}

void InstallationBox::fillUsers(const QString& root) {
    usersRoot_ = root;
    severalUsers_ = false;
    const QSignalBlocker blocker(userCombo_);
    userCombo_->clear();
    std::string error;
    const auto installation = root.isEmpty()
                                  ? std::nullopt
                                  : vqrt::WindowsInstallation::locate(root.toStdString(), error);
    const QString wanted = fromStd(defaults_.user);
    if (const bool win9x = installation && installation->win9x(); win9x != win9x_) {
        win9x_ = win9x;
        showRegFiles();
    }
    if (!installation || installation->users().empty()) {
        // A given user is still handed on, so the session says what is wrong with it.
        if (!wanted.isEmpty()) {
            userCombo_->addItem(wanted, wanted);
        }
        userCombo_->setEnabled(!locked_ && !wanted.isEmpty());
        return;
    }
    const auto& users = installation->users();
    severalUsers_ = users.size() > 1;
    if (severalUsers_) {
        userCombo_->addItem(tr("(choose a user)"), QString());
    }
    // With several users none is taken unasked: the first entry asks for a choice.
    int chosen = 0;
    bool matched = wanted.isEmpty();
    for (const vqrt::UserProfile& user : users) {
        const QString name = fromStd(user.name);
        userCombo_->addItem(name, name);
        if (!matched && name.compare(wanted, Qt::CaseInsensitive) == 0) {
            chosen = userCombo_->count() - 1;
            matched = true;
        }
    }
    if (!matched) {
        // Not a profile of this installation: the session names what is wrong.
        userCombo_->addItem(wanted, wanted);
        chosen = userCombo_->count() - 1;
    }
    userCombo_->setCurrentIndex(chosen);
    userCombo_->setEnabled(!locked_);
}

std::unique_ptr<vqrt::HostSession> InstallationBox::openSession(QString& problem) {
    icqDatabases_.clear();
    icqLooked_ = false;
    codepageHint_->setText(tr("names and messages of the old Windows are decoded in it"));
    info_->clear();
    info_->setToolTip(QString());
    zoneHint_->setText(tr("where the old machine was: an import shows the history in this zone"));
    const QString hint = tr("Choose the folder where the Windows system drive is mounted (it "
                            "holds the Windows folder and Users or Documents and Settings) "
                            "with Browse\u2026 above. If you kept only your ICQ folder, "
                            "choose that.");
    if (appliedRoot_.isEmpty()) {
        problem = tr("No Windows installation chosen yet.\n\n") + hint;
        return nullptr;
    }
    if (severalUsers_ && user().isEmpty()) {
        QStringList names;
        for (int i = 1; i < userCombo_->count(); ++i) {
            names << userCombo_->itemText(i);
        }
        problem = tr("This Windows installation has several users (%1).\n\nChoose the user "
                     "whose settings are imported in the User box above.")
                      .arg(names.join(QStringLiteral(", ")));
        return nullptr;
    }
    vqrt::HostOptions options = defaults_;
    options.windowsRoot = appliedRoot_.toStdString();
    options.user = user().toStdString();
    options.codepage = codepage().toStdString();
    options.drives = drivesRow_->drives();
    std::string error;
    auto session = vqrt::HostSession::open(options, error);
    if (session != nullptr) {
        // The owners' texts are decoded as the session opens: open it again in the right one.
        if (const auto taken = takeWindowsCodepage(*session)) {
            options.codepage = taken->toStdString();
            session = vqrt::HostSession::open(options, error);
        }
    }
    if (session == nullptr) {
        // A folder with a Windows folder in it is an installation that cannot be opened, for
        // which exports of its registry can stand in; any other is taken for an ICQ folder.
        const bool windows = vqrt::holdsWindowsFolder(appliedRoot_.toStdString());
        const QString why =
            windows ? tr("This Windows installation cannot be opened:\n%1").arg(fromStd(error))
                    : QString();
        if (lookForIcqDatabases(why, problem)) {
            if (windows) {
                problem += QStringLiteral("\n\n") + registryExportsHint();
            }
            return nullptr;
        }
        problem = tr("This folder cannot be used as a Windows installation:\n%1\n\n")
                      .arg(fromStd(error)) +
                  (windows ? exportsStandInHint() + QStringLiteral("\n\n") : QString()) + hint;
        return nullptr;
    }
    showSessionInfo(*session);
    takeWindowsZone(*session);
    return session;
}

QString InstallationBox::registryExportsHint() {
    return tr("For them, add exports of its registry (.reg files made with regedit on the old "
              "machine) with Add .reg export\u2026 above.");
}

QString InstallationBox::exportsStandInHint() {
    return tr("Exports of its registry (.reg files made with regedit on the old machine) can "
              "stand in for it: add them with Add .reg export\u2026 above.");
}

bool InstallationBox::lookForIcqDatabases(const QString& why, QString& text) {
    // Looked for once per opening and reason: a whole drive is searched.
    if (!icqLooked_ || why != icqWhy_) {
        icqLooked_ = true;
        icqWhy_ = why;
        icqDatabases_.clear();
        std::vector<QStringList> owners;
        if (icqFolderProblem(appliedRoot_, why, owners, icqText_)) {
            for (const QStringList& copies : owners) {
                icqDatabases_.push_back(describeDatabase(appliedRoot_, copies, codepage()));
            }
        } else {
            icqText_.clear();
        }
    }
    text = icqText_;
    return !icqText_.isEmpty();
}

std::optional<QString> InstallationBox::takeWindowsCodepage(vqrt::HostSession& session) {
    const auto found = zone::windowsCodepage(*session.getRegistry());
    if (!found) {
        return std::nullopt;
    }
    const QString used = fromStd(*found);
    codepageHint_->setText(tr("the old Windows used %1").arg(used));
    // Taken once per installation: a code page chosen afterwards stays.
    if (codepageGiven_ || codepageTakenFor_ == appliedRoot_) {
        return std::nullopt;
    }
    codepageTakenFor_ = appliedRoot_;
    if (used == codepage()) {
        return std::nullopt;
    }
    setCodepage(used);
    return used;
}

void InstallationBox::takeWindowsZone(vqrt::HostSession& session) {
    const auto found = zone::windowsZone(*session.getRegistry());
    if (!found) {
        return;
    }
    if (!zoneGiven_) {
        setTimeZone(fromStd(found->ianaId));
    }
    zoneHint_->setText(tr("the old Windows was set to %1 (%2); an import shows the history in the "
                          "zone chosen here")
                           .arg(fromStd(found->windowsId), fromStd(found->ianaId)));
}

void InstallationBox::showSessionInfo(const vqrt::HostSession& session) {
    QString info;
    const auto& warnings = session.warnings();
    if (!warnings.empty()) {
        info = tr("%1 while reading the registry (point here to see them)")
                   .arg(counted(static_cast<int>(warnings.size()), tr("warning"), tr("warnings")));
        info_->setToolTip(lines(warnings, QString()).trimmed());
    }
    info_->setText(info);
}

} // namespace gui
