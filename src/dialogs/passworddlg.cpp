#include "dialogs/passworddlg.h"

#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

namespace {

QFont textFont() {
    return QFont(QStringLiteral("Times"), 12);
}

template <typename Widget>
Widget* place(Widget* widget, const char* name, int x, int y, int width, int height) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, width, height);
    widget->setFont(textFont());
    return widget;
}

} // namespace

CPasswordDlg::CPasswordDlg(QWidget* parent, const char* name, bool modal, unsigned int flags)
    : QDialog(parent, Qt::WindowFlags::fromInt(static_cast<int>(flags))) {
    if (name != nullptr) {
        setObjectName(QString::fromUtf8(name));
    }
    setModal(modal);
    resize(250, 130);
    setWindowTitle(QStringLiteral("ICQ Plugin Request"));

    // Created in focus order; the group box keeps the default font.
    m_pGroupBox = new QGroupBox(this);
    m_pGroupBox->setObjectName(QStringLiteral("m_pGroupBox"));
    m_pGroupBox->setGeometry(10, 10, 230, 110);

    m_pPasswordEditBox = place(new QLineEdit(m_pGroupBox), "m_pPasswordEditBox", 10, 42, 210, 21);
    m_pPasswordEditBox->setEchoMode(QLineEdit::Password);

    m_pPasswordLabel = place(new QLabel(QStringLiteral("&Enter ICQ user password:"), m_pGroupBox),
                             "m_pPasswordLabel", 10, 20, 210, 18);
    m_pPasswordLabel->setBuddy(m_pPasswordEditBox);

    m_pOK = place(new QPushButton(QStringLiteral("&Ok"), m_pGroupBox), "m_pOK", 35, 83, 70, 22);
    m_pOK->setEnabled(false);

    m_pAbort =
        place(new QPushButton(QStringLiteral("&Abort"), m_pGroupBox), "m_pAbort", 125, 83, 70, 22);

    // The slot sees the same 8-bit text that getPWD() hands out.
    connect(m_pPasswordEditBox, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_password = text.toUtf8();
        OnTextChanged(m_password.constData());
    });
    connect(m_pPasswordEditBox, &QLineEdit::returnPressed, this, &CPasswordDlg::OnReturnPressed);
    connect(m_pOK, &QPushButton::clicked, this, &CPasswordDlg::OnOkClicked);
    connect(m_pAbort, &QPushButton::clicked, this, &CPasswordDlg::OnAbortClicked);

    m_pPasswordEditBox->setFocus();
}

CPasswordDlg::~CPasswordDlg() = default;

const char* CPasswordDlg::getPWD() const {
    return m_password.constData();
}

void CPasswordDlg::OnOkClicked() {
    done(1);
}

void CPasswordDlg::OnAbortClicked() {
    done(0);
}

void CPasswordDlg::OnTextChanged(const char* text) {
    m_pOK->setEnabled(text != nullptr && text[0] != '\0');
}

void CPasswordDlg::OnReturnPressed() {
    OnOkClicked();
}

void CPasswordDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}
