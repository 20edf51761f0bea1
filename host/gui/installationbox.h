#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QGroupBox>
#include <QString>
#include <QStringList>

#include "hostsession.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace gui {

class DrivesRow;

/// An owner's database in an ICQ folder: its copies, and whose it is.
struct IcqDatabase {
    /// The copies, oldest first (by the day they were last written).
    QStringList paths;
    /// Their paths in the folder ("2000a/31415926.dat, 2000b/31415926.dat").
    QString names;
    /// Its owner as the newest copy names them ("Märta (Märta Lindqvist), UIN 31415926"), or
    /// "Owner unknown".
    QString owner;
    /// The owner's nickname alone; empty when unknown.
    QString nickname;
    /// Which ICQ wrote it and when it was last written, or why its owner cannot be read.
    QString detail;
};

/// The Windows installation a person points the window at: the root folder, typed or chosen
/// with Browse…, and the user when the installation has several. Opens the host session.
class InstallationBox : public QGroupBox {
    Q_OBJECT

public:
    /// `defaults` gives the root and user to start with, the .reg exports to start with, and
    /// the drives and code page that every session gets.
    explicit InstallationBox(vqrt::HostOptions defaults, QWidget* parent = nullptr);

    /// Uses `root` (made absolute) as if it was typed and confirmed, without the .reg exports
    /// of another root; emits changed().
    void setRoot(const QString& root);
    /// The root in use: the one last confirmed.
    QString root() const { return appliedRoot_; }
    /// True when the field holds a root that was not confirmed yet.
    bool rootPending() const;
    /// Uses the root typed into the field when it is pending.
    void confirmRoot();
    /// The chosen user; empty for none.
    QString user() const;
    /// Opens the session of the root and user; null with `problem` saying, for the person,
    /// what is wrong and what to do.
    std::unique_ptr<vqrt::HostSession> openSession(QString& problem);
    /// Looks for ICQ databases in the root and the folders below it, for an installation
    /// that cannot be imported from with the plug-in (`why` says why): true with `text` saying
    /// what was found and what can be read, the databases in icqDatabases().
    bool lookForIcqDatabases(const QString& why, QString& text);
    /// After what lookForIcqDatabases said of an installation whose registry cannot give the
    /// server settings, the account and the sounds: where exports of it can be added.
    static QString registryExportsHint();
    /// For an installation whose registry cannot be read and that holds no ICQ database: that
    /// exports of it can stand in, and where to add them.
    static QString exportsStandInHint();
    /// When the root is no Windows installation but an ICQ folder, or lookForIcqDatabases found
    /// some, the databases, one per owner with all its copies; else empty.
    const std::vector<IcqDatabase>& icqDatabases() const { return icqDatabases_; }
    /// The zone the old machine was in, an IANA name such as "Europe/Stockholm".
    QString timeZone() const;
    /// Chooses `zone`; a name the system does not list is offered too, so that the import
    /// says what is wrong with it. Unless `given` (on the command line), the zone an
    /// installation's Windows was set to replaces it when that installation is opened.
    void setTimeZone(const QString& zone, bool given = false);
    /// The code page the old Windows wrote its texts in, an iconv name such as "CP1251".
    QString codepage() const;
    /// The history also holds the messages the owner moved to ICQ's Deleted folder.
    bool deletedFolder() const;
    void setDeletedFolder(bool wanted);
    /// Chooses `codepage`, as setTimeZone chooses a zone: unless `given`, the code page an
    /// installation's Windows used replaces it when that installation is first opened.
    void setCodepage(const QString& codepage, bool given = false);
    /// While locked (during an import) nothing can be changed.
    void setLocked(bool locked);
    /// Has Add drive… offer `letter` first: a drive the installation's paths are on.
    void offerDrive(char letter);

signals:
    /// The root or the user changed: the session is to be opened again.
    void changed();

private slots:
    void browse();
    void chooseRegFiles();
    void clearRegFiles();
    void userChosen();
    void codepageChosen();

private:
    void fillUsers(const QString& root);
    void showRegFiles();
    void showSessionInfo(const vqrt::HostSession& session);
    void takeWindowsZone(vqrt::HostSession& session);
    /// The code page the installation's Windows used, when it is to replace the one chosen.
    std::optional<QString> takeWindowsCodepage(vqrt::HostSession& session);

    vqrt::HostOptions defaults_;
    QString appliedRoot_;
    QString usersRoot_;
    bool severalUsers_ = false;
    bool win9x_ = false; ///< the root is Windows 95, 98 or ME
    DrivesRow* drivesRow_ = nullptr;
    bool locked_ = false;
    QLineEdit* rootEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QComboBox* userCombo_ = nullptr;
    QComboBox* zoneCombo_ = nullptr;
    QLabel* zoneHint_ = nullptr;
    bool zoneGiven_ = false;
    QComboBox* codepageCombo_ = nullptr;
    QLabel* codepageHint_ = nullptr;
    QCheckBox* deletedFolder_ = nullptr;
    bool codepageGiven_ = false;
    QString codepageTakenFor_; ///< the root whose Windows' code page was last taken
    QLabel* info_ = nullptr;
    QLabel* regLabel_ = nullptr;
    QPushButton* regButton_ = nullptr;
    QPushButton* regClear_ = nullptr;
    std::vector<IcqDatabase> icqDatabases_;
    bool icqLooked_ = false; ///< the databases were looked for since the session was opened
    QString icqWhy_;         ///< why they were looked for
    QString icqText_;        ///< what was said of them
};

} // namespace gui
