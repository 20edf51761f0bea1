#include "dialogs/optionsdlg.h"

#include <cstring>
#include <utility>

#include <QByteArray>
#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <qdrawutil.h>

#include "bitmap/images.h"
#include "dialogs/ownername.h"
#include "dialogs/textfit.h"

namespace {

/// The font of every text widget but the title.
QFont textFont() {
    return QFont(QStringLiteral("Times"), 12);
}

/// Names (when `name` is not null) and places a freshly created widget.
template <typename Widget> Widget* place(Widget* widget, const char* name, const QRect& geometry) {
    if (name != nullptr) {
        widget->setObjectName(QLatin1String(name));
    }
    widget->setGeometry(geometry);
    return widget;
}

/// A check box or radio button with its text font.
template <typename Button>
Button* textButton(QWidget* parent, const char* name, const char* text, const QRect& geometry,
                   bool checked) {
    auto* button = place(new Button(QString::fromLatin1(text), parent), name, geometry);
    button->setFont(textFont());
    button->setChecked(checked);
    return button;
}

QPushButton* pictureButton(QWidget* parent, int x, const char* const xpm[], const char* tip) {
    auto* button = place(new QPushButton(parent), nullptr, QRect(x, 60, 18, 18));
    button->setIcon(QIcon(QPixmap(xpm)));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(QString::fromLatin1(tip));
    return button;
}

/// The list entry keeps the owner's name as given, bytes and all; its text is only for showing.
constexpr int kOwnerNameRole = Qt::UserRole;

QByteArray ownerName(const QListWidgetItem* item) {
    return item != nullptr ? item->data(kOwnerNameRole).toByteArray() : QByteArray();
}

/// The separators' colours: dark grey above, white below.
QPalette separatorPalette() {
    QPalette palette;
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Window, Qt::gray);
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Dark, Qt::darkGray);
    palette.setColor(QPalette::Mid, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Base, Qt::black);
    return palette;
}

} // namespace

COptionsDlg::COptionsDlg(QWidget* parent, const char* name) : QDialog(parent) {
    if (name != nullptr) {
        setObjectName(QString::fromUtf8(name));
    }
    initDialog();
}

COptionsDlg::~COptionsDlg() = default;

void COptionsDlg::initDialog() {
    resize(240, 370);
    setMinimumSize(0, 0);

    // Created in focus order; every widget but the group box is a child of the group box.
    m_pGroupBox = place(new QGroupBox(this), "m_pGroupBox", QRect(10, 0, 220, 360));
    m_pGroupBox->installEventFilter(this);

    m_pIconLabel = place(new QLabel(m_pGroupBox), nullptr, QRect(10, 12, 35, 35));
    m_pIconLabel->setPixmap(QPixmap(icq32x32_xpm));
    m_pIconLabel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_pIconLabel->setAlignment(Qt::AlignCenter);

    m_pTitleLabel = place(new QLabel(QStringLiteral("ICQ Importer"), m_pGroupBox), nullptr,
                          QRect(50, 10, 150, 40));
    m_pTitleLabel->setFont(QFont(QStringLiteral("Times"), 16, QFont::Bold, true));
    m_pTitleLabel->setAlignment(Qt::AlignCenter);

    m_pSelectButton = pictureButton(m_pGroupBox, 12, sel16_xpm, "Select Default Settings");
    m_pDeselectButton = pictureButton(m_pGroupBox, 31, desel16_xpm, "Deselect All Settings");

    m_pHostServerSettings =
        textButton<QCheckBox>(m_pGroupBox, "m_pHostServerSettings", "Import Host S&erver Settings",
                              QRect(20, 90, 180, 20), true);
    m_pUserSettings = textButton<QCheckBox>(m_pGroupBox, "NoName", "Import &User Settings",
                                            QRect(20, 110, 180, 20), true);
    m_pImportContacts = textButton<QCheckBox>(m_pGroupBox, "NoName", "Import Con&tacts",
                                              QRect(20, 130, 180, 20), true);
    m_pOverwriteContacts =
        textButton<QCheckBox>(m_pGroupBox, "m_pOverwriteContacts",
                              "Over&write Current Contact List", QRect(20, 150, 180, 20), false);
    m_pSoundSettings = textButton<QCheckBox>(
        m_pGroupBox, "m_pSoundSettings", "Import Soun&d Settings", QRect(20, 170, 180, 20), true);

    m_pPersonalSounds = textButton<QRadioButton>(m_pGroupBox, "m_pPersonalSounds", "Customi&zed",
                                                 QRect(40, 190, 80, 20), true);
    m_pDefaultSounds = textButton<QRadioButton>(m_pGroupBox, "m_pDefaultSounds", "De&fault",
                                                QRect(140, 190, 60, 20), false);
    // The slots alone keep the two exclusive; an auto-exclusive radio button could not be
    // unchecked by them.
    m_pPersonalSounds->setAutoExclusive(false);
    m_pDefaultSounds->setAutoExclusive(false);

    m_pOwnerPassword = place(new QLineEdit(m_pGroupBox), "NoName", QRect(115, 230, 85, 20));
    m_pOwnerPassword->setFont(textFont());
    m_pOwnerPassword->setEchoMode(QLineEdit::Password);

    m_pOwnerPasswordLabel = place(new QLabel(QStringLiteral("Owner &Password:"), m_pGroupBox),
                                  "NoName", QRect(20, 230, 90, 20));
    m_pOwnerPasswordLabel->setFont(textFont());
    m_pOwnerPasswordLabel->setBuddy(m_pOwnerPassword);
    m_pOwnerPasswordLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_pWinUsersList =
        place(new QListWidget(m_pGroupBox), "m_pWinUsersList", QRect(20, 290, 180, 60));
    m_pWinUsersList->setFont(textFont());

    m_pWinUsersListLabel = place(new QLabel(QStringLiteral("Registered U&sers"), m_pGroupBox),
                                 "m_pWinUsersListLabel", QRect(22, 273, 150, 15));
    m_pWinUsersListLabel->setFont(textFont());
    m_pWinUsersListLabel->setBuddy(m_pWinUsersList);

    // The geometry above is the least each widget gets: at the platform's font no text is cut.
    dialogs::fitToText(m_pGroupBox, {{m_pIconLabel, m_pTitleLabel},
                                     {m_pSelectButton, m_pDeselectButton},
                                     {m_pHostServerSettings},
                                     {m_pUserSettings},
                                     {m_pImportContacts},
                                     {m_pOverwriteContacts},
                                     {m_pSoundSettings},
                                     {m_pPersonalSounds, m_pDefaultSounds},
                                     {m_pOwnerPasswordLabel, m_pOwnerPassword},
                                     {m_pWinUsersListLabel},
                                     {m_pWinUsersList}});

    connect(m_pSelectButton, &QPushButton::clicked, this, &COptionsDlg::OnSelectClicked);
    connect(m_pDeselectButton, &QPushButton::clicked, this, &COptionsDlg::OnDeselectClicked);
    connect(m_pImportContacts, &QCheckBox::clicked, this, &COptionsDlg::OnImportContactsClicked);
    connect(m_pSoundSettings, &QCheckBox::clicked, this, &COptionsDlg::OnSoundSettings);
    connect(m_pPersonalSounds, &QRadioButton::clicked, this, &COptionsDlg::OnPersonalSoundsClicked);
    connect(m_pDefaultSounds, &QRadioButton::clicked, this, &COptionsDlg::OnDefaultSoundsClicked);
    connect(m_pWinUsersList, &QListWidget::currentRowChanged, this, &COptionsDlg::OnProfileChanged);
}

void COptionsDlg::insertWinUser(std::string name, bool hasPersonalSounds) {
    auto* item = new QListWidgetItem(dialogs::ownerDisplayName(name));
    item->setData(kOwnerNameRole, QByteArray::fromStdString(name));
    m_pWinUsersList->addItem(item);
    m_winUserSounds[std::move(name)] = hasPersonalSounds;
}

void COptionsDlg::selectFirstProfile() {
    m_pWinUsersList->setCurrentRow(0);
    // Also when the row was current already and no signal came.
    OnProfileChanged(0);
}

void COptionsDlg::getSelectedProfile(char* buffer, int size) const {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    const QByteArray name = ownerName(m_pWinUsersList->currentItem());
    std::strncpy(buffer, name.constData(), static_cast<size_t>(size) - 1);
    buffer[size - 1] = '\0';
}

bool COptionsDlg::isOverwriteContacts() const {
    return m_pOverwriteContacts->isChecked();
}

bool COptionsDlg::isImportHostServer() const {
    return m_pHostServerSettings->isChecked();
}

bool COptionsDlg::isImportSoundSettings() const {
    return m_pSoundSettings->isChecked();
}

bool COptionsDlg::isPersonalSounds() const {
    return m_pPersonalSounds->isChecked();
}

void COptionsDlg::OnSelectClicked() {
    m_pUserSettings->setChecked(true);
    m_pImportContacts->setChecked(true);
    m_pOverwriteContacts->setChecked(false);
    m_pOverwriteContacts->setEnabled(true);
    m_pHostServerSettings->setChecked(true);
    m_pSoundSettings->setChecked(true);
    if (currentOwnerHasSounds()) {
        m_pPersonalSounds->setEnabled(true);
    } else {
        m_pPersonalSounds->setChecked(false);
        m_pDefaultSounds->setChecked(true);
    }
    m_pDefaultSounds->setEnabled(true);
}

void COptionsDlg::OnDeselectClicked() {
    m_pUserSettings->setChecked(false);
    m_pImportContacts->setChecked(false);
    m_pOverwriteContacts->setChecked(false);
    m_pOverwriteContacts->setEnabled(false);
    m_pHostServerSettings->setChecked(false);
    m_pSoundSettings->setChecked(false);
    m_pPersonalSounds->setEnabled(false);
    m_pDefaultSounds->setEnabled(false);
}

void COptionsDlg::OnImportContactsClicked() {
    m_pOverwriteContacts->setEnabled(m_pImportContacts->isChecked());
}

void COptionsDlg::OnSoundSettings() {
    const bool soundsOn = m_pSoundSettings->isChecked();
    if (currentOwnerHasSounds()) {
        m_pPersonalSounds->setEnabled(soundsOn);
    } else {
        forbidPersonalSounds();
    }
    m_pDefaultSounds->setEnabled(soundsOn);
}

void COptionsDlg::OnPersonalSoundsClicked() {
    m_pDefaultSounds->setChecked(false);
    m_pPersonalSounds->setChecked(true);
}

void COptionsDlg::OnDefaultSoundsClicked() {
    m_pDefaultSounds->setChecked(true);
    m_pPersonalSounds->setChecked(false);
}

void COptionsDlg::OnProfileChanged(int) {
    if (!m_pSoundSettings->isChecked()) {
        return;
    }
    if (currentOwnerHasSounds()) {
        m_pPersonalSounds->setEnabled(true);
    } else {
        forbidPersonalSounds();
    }
}

bool COptionsDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_pGroupBox || event->type() != QEvent::Paint) {
        return QDialog::eventFilter(watched, event);
    }
    // The group box paints first (a style may fill its inside), then the separators go on top;
    // calling event() directly does not pass through this filter again.
    static_cast<QObject*>(m_pGroupBox)->event(event);
    QPainter painter(m_pGroupBox);
    const QPalette palette = separatorPalette();
    // They enclose the row of the two small buttons, 10 pixels in from either side of the box.
    const int right = m_pGroupBox->width() - 10;
    const int above = m_pSelectButton->y() - 2;
    const int below = m_pSelectButton->y() + m_pSelectButton->height() + 2;
    qDrawShadeLine(&painter, 10, above, right, above, palette, true, 1, 0);
    qDrawShadeLine(&painter, 10, below, right, below, palette, true, 1, 0);
    return true;
}

bool COptionsDlg::currentOwnerHasSounds() const {
    const QListWidgetItem* item = m_pWinUsersList->currentItem();
    if (item == nullptr) {
        return false;
    }
    const auto found = m_winUserSounds.find(ownerName(item).toStdString());
    return found != m_winUserSounds.end() && found->second;
}

void COptionsDlg::forbidPersonalSounds() {
    m_pPersonalSounds->setChecked(false);
    m_pPersonalSounds->setEnabled(false);
    m_pDefaultSounds->setChecked(true);
}
