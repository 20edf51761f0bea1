#pragma once

#include <QByteArray>
#include <QDialog>

class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The modal request for the ICQ owner's password. exec() answers 1 after Ok or Return in the
/// field and 0 after Abort or Escape; the window manager cannot close it.
class CPasswordDlg : public QDialog {
    Q_OBJECT

public:
    /// `name` (when not null) becomes the object name; `flags` are Qt window flags.
    CPasswordDlg(QWidget* parent, const char* name, bool modal, unsigned int flags);
    ~CPasswordDlg() override;
    CPasswordDlg(const CPasswordDlg&) = delete;
    CPasswordDlg& operator=(const CPasswordDlg&) = delete;

    /// The typed text as UTF-8; valid until the text changes or the dialog is destroyed.
    const char* getPWD() const;

public slots:
    /// Accepts the dialog (result 1).
    void OnOkClicked();
    /// Rejects the dialog (result 0).
    void OnAbortClicked();
    /// Ok can be pressed only while the field holds text.
    void OnTextChanged(const char* text);
    /// Return in the field accepts, even when the field is empty.
    void OnReturnPressed();

protected:
    /// Leaves the close request unaccepted: only Ok, Return, Abort or Escape end the dialog.
    void closeEvent(QCloseEvent* event) override;

private:
    QGroupBox* m_pGroupBox = nullptr;
    QLabel* m_pPasswordLabel = nullptr;
    QLineEdit* m_pPasswordEditBox = nullptr;
    QPushButton* m_pOK = nullptr;
    QPushButton* m_pAbort = nullptr;
    /// The field's text as UTF-8, renewed on every change; what getPWD() hands out.
    QByteArray m_password;
};
