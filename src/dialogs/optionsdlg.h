#pragma once

#include <map>
#include <string>

#include <QDialog>

class QCheckBox;
class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

/// The import options page: which ICQ owner to import and what to import for that owner.
/// The widgets have fixed pixel geometry, grown where a text needs more, and belong to the Qt
/// parent-child tree.
class COptionsDlg : public QDialog {
    Q_OBJECT

public:
    /// A non-modal page; `name` (when not null) becomes its object name.
    COptionsDlg(QWidget* parent, const char* name);
    ~COptionsDlg() override;
    COptionsDlg(const COptionsDlg&) = delete;
    COptionsDlg& operator=(const COptionsDlg&) = delete;

    /// Builds the widgets with their initial states and connections; the constructor calls it.
    void initDialog();
    /// Appends `name` to the owner list and records whether the owner has personal sounds.
    void insertWinUser(std::string name, bool hasPersonalSounds);
    /// Makes the first owner current and applies that owner's sound rule.
    void selectFirstProfile();
    /// The current owner's name, at most `size - 1` bytes and always terminated; an empty text
    /// without a current owner; nothing is written when `size` is not positive.
    void getSelectedProfile(char* buffer, int size) const;
    /// Whether the current contact list is to be overwritten (also while the box is disabled).
    bool isOverwriteContacts() const;
    /// Whether the ICQ server host and port are to be imported.
    bool isImportHostServer() const;
    /// Whether the sound settings are to be imported.
    bool isImportSoundSettings() const;
    /// Whether the owner's personal sounds are chosen rather than the default ones.
    bool isPersonalSounds() const;

public slots:
    /// Selects the default choices.
    void OnSelectClicked();
    /// Clears every choice.
    void OnDeselectClicked();
    /// Overwriting the contact list can be changed only while contacts are imported.
    void OnImportContactsClicked();
    /// Applies the current owner's sound rule when sound import is switched.
    void OnSoundSettings();
    /// Chooses the personal sounds.
    void OnPersonalSoundsClicked();
    /// Chooses the default sounds.
    void OnDefaultSoundsClicked();
    /// Applies the sound rule of the (new) current owner; `index` is not used.
    void OnProfileChanged(int index);

protected:
    /// Draws the two separator lines on top of the group box once it has painted itself.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The current owner's flag; false without a current owner or for a name never inserted.
    bool currentOwnerHasSounds() const;
    /// Personal sounds become impossible: unchecked and disabled, default sounds checked.
    void forbidPersonalSounds();

    QGroupBox* m_pGroupBox = nullptr;
    QPushButton* m_pSelectButton = nullptr;
    QPushButton* m_pDeselectButton = nullptr;
    QLabel* m_pTitleLabel = nullptr;
    QLabel* m_pIconLabel = nullptr;
    QLabel* m_pWinUsersListLabel = nullptr;
    QListWidget* m_pWinUsersList = nullptr;
    QCheckBox* m_pOverwriteContacts = nullptr;
    QCheckBox* m_pHostServerSettings = nullptr;
    QCheckBox* m_pSoundSettings = nullptr;
    QRadioButton* m_pDefaultSounds = nullptr;
    QRadioButton* m_pPersonalSounds = nullptr;
    /// Owner name (the exact bytes given to insertWinUser) to personal-sounds flag.
    std::map<std::string, bool> m_winUserSounds;

public:
    /// Read by the import run: import the owner's user settings.
    QCheckBox* m_pUserSettings = nullptr;
    /// Read by the import run: import the owner's contacts.
    QCheckBox* m_pImportContacts = nullptr;
    /// Read by the import run: the typed password; empty when none was typed.
    QLineEdit* m_pOwnerPassword = nullptr;

private:
    QLabel* m_pOwnerPasswordLabel = nullptr;
};
