#include "dialogs/optionsdlg.h"

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "bitmap/images.h"

namespace {

struct Owner {
    std::string name;
    bool personalSounds;
};

/// The page's widgets as a user meets them: the group box's children in creation order.
struct Page {
    explicit Page(COptionsDlg& page)
        : dlg(page), group(page.findChild<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly)),
          widgets(group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {}

    template <typename T> T* at(int index) const { return qobject_cast<T*>(widgets.value(index)); }
    QPushButton* select() const { return at<QPushButton>(2); }
    QPushButton* deselect() const { return at<QPushButton>(3); }
    QCheckBox* user() const { return at<QCheckBox>(5); }
    QCheckBox* contacts() const { return at<QCheckBox>(6); }
    QRadioButton* personal() const { return at<QRadioButton>(9); }
    QRadioButton* defaults() const { return at<QRadioButton>(10); }
    QListWidget* list() const { return at<QListWidget>(13); }

    /// The seven choices, host server to default sounds, by their letters in kChoices.
    QAbstractButton* choice(char letter) const {
        return at<QAbstractButton>(4 + static_cast<int>(std::strchr(kChoices, letter) - kChoices));
    }

    /// One token per choice: its letter, "+" checked or "-" unchecked, "~" when disabled.
    std::string state() const {
        std::string text;
        for (const char* letter = kChoices; *letter != '\0'; ++letter) {
            const QAbstractButton* button = choice(*letter);
            text += text.empty() ? "" : " ";
            text += *letter;
            text += button->isChecked() ? "+" : "-";
            text += button->isEnabled() ? "" : "~";
        }
        return text;
    }

    static constexpr const char* kChoices = "HUCOSPD";

    COptionsDlg& dlg;
    QGroupBox* group;
    QList<QWidget*> widgets;
};

const char* const kFresh = "H+ U+ C+ O- S+ P+ D-";

// Clicks where a user would: on the indicator of a check box or radio button, whose label
// may be shorter than the widget.
void click(QAbstractButton* button) {
    const bool picture = qobject_cast<QPushButton*>(button) != nullptr;
    const QPoint at = picture ? button->rect().center() : QPoint(6, button->height() / 2);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
}

void showActive(QWidget& widget) {
    widget.show();
    widget.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
}

// ---- construction ------------------------------------------------------------------------

struct ExpectedFont {
    const char* family; // nullptr: the widget keeps the font it inherits
    int points;
    bool bold;
    bool italic;
};

enum class Check { None, Off, On };

struct WidgetRow {
    const char* className;
    const char* objectName;
    QRect geometry;
    const char* text; // nullptr: a widget without text
    ExpectedFont font;
    Check check;
    int buddy; // index of the buddy, -1 for none
    const char* toolTip;
    Qt::Alignment alignment; // empty: not a label
    const char* const* picture;
};

const ExpectedFont kInherited{nullptr, 0, false, false};
const ExpectedFont kTimes12{"Times", 12, false, false};
const Qt::Alignment kNone;

// The group box's children in creation order, which is also the focus order. The geometry is
// the least each gets; a text that needs more grows it.
const WidgetRow kWidgets[] = {
    {"QLabel",
     "",
     {10, 12, 35, 35},
     "",
     kInherited,
     Check::None,
     -1,
     "",
     Qt::AlignCenter,
     icq32x32_xpm},
    {"QLabel",
     "",
     {50, 10, 150, 40},
     "ICQ Importer",
     {"Times", 16, true, true},
     Check::None,
     -1,
     "",
     Qt::AlignCenter,
     nullptr},
    {"QPushButton",
     "",
     {12, 60, 18, 18},
     "",
     kInherited,
     Check::None,
     -1,
     "Select Default Settings",
     kNone,
     sel16_xpm},
    {"QPushButton",
     "",
     {31, 60, 18, 18},
     "",
     kInherited,
     Check::None,
     -1,
     "Deselect All Settings",
     kNone,
     desel16_xpm},
    {"QCheckBox",
     "m_pHostServerSettings",
     {20, 90, 180, 20},
     "Import Host S&erver Settings",
     kTimes12,
     Check::On,
     -1,
     "",
     kNone,
     nullptr},
    {"QCheckBox",
     "NoName",
     {20, 110, 180, 20},
     "Import &User Settings",
     kTimes12,
     Check::On,
     -1,
     "",
     kNone,
     nullptr},
    {"QCheckBox",
     "NoName",
     {20, 130, 180, 20},
     "Import Con&tacts",
     kTimes12,
     Check::On,
     -1,
     "",
     kNone,
     nullptr},
    {"QCheckBox",
     "m_pOverwriteContacts",
     {20, 150, 180, 20},
     "Over&write Current Contact List",
     kTimes12,
     Check::Off,
     -1,
     "",
     kNone,
     nullptr},
    {"QCheckBox",
     "m_pSoundSettings",
     {20, 170, 180, 20},
     "Import Soun&d Settings",
     kTimes12,
     Check::On,
     -1,
     "",
     kNone,
     nullptr},
    {"QRadioButton",
     "m_pPersonalSounds",
     {40, 190, 80, 20},
     "Customi&zed",
     kTimes12,
     Check::On,
     -1,
     "",
     kNone,
     nullptr},
    {"QRadioButton",
     "m_pDefaultSounds",
     {140, 190, 60, 20},
     "De&fault",
     kTimes12,
     Check::Off,
     -1,
     "",
     kNone,
     nullptr},
    {"QLineEdit", "NoName", {115, 230, 85, 20}, "", kTimes12, Check::None, -1, "", kNone, nullptr},
    {"QLabel",
     "NoName",
     {20, 230, 90, 20},
     "Owner &Password:",
     kTimes12,
     Check::None,
     11,
     "",
     Qt::AlignLeft | Qt::AlignVCenter,
     nullptr},
    {"QListWidget",
     "m_pWinUsersList",
     {20, 290, 180, 60},
     nullptr,
     kTimes12,
     Check::None,
     -1,
     "",
     kNone,
     nullptr},
    {"QLabel",
     "m_pWinUsersListLabel",
     {22, 273, 150, 15},
     "Registered U&sers",
     kTimes12,
     Check::None,
     13,
     "",
     Qt::AlignLeft | Qt::AlignVCenter,
     nullptr},
};

QString textOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    return QString();
}

QImage pictureOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->pixmap().toImage();
    }
    return qobject_cast<const QPushButton*>(widget)->icon().pixmap(16, 16).toImage();
}

QImage argb(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

/// Whether `actual` lies no further up or left than `least` and is at least as large.
bool growsFrom(const QRect& actual, const QRect& least) {
    return actual.x() >= least.x() && actual.y() >= least.y() && actual.width() >= least.width() &&
           actual.height() >= least.height();
}

TEST(OptionsDlgBuild, PageItself) {
    QWidget host;
    COptionsDlg named(&host, "icqOptions");
    EXPECT_EQ(named.objectName(), "icqOptions");
    EXPECT_EQ(named.parentWidget(), &host);

    COptionsDlg page(nullptr, nullptr);
    EXPECT_EQ(page.objectName(), "");
    EXPECT_STREQ(page.metaObject()->className(), "COptionsDlg");
    EXPECT_STREQ(page.metaObject()->superClass()->className(), "QDialog");
    EXPECT_TRUE(growsFrom(page.rect(), QRect(0, 0, 240, 370)))
        << page.width() << "x" << page.height();
    EXPECT_EQ(page.minimumSize(), QSize(0, 0));
    EXPECT_EQ(page.windowTitle(), "");
    EXPECT_FALSE(page.isModal());
    EXPECT_EQ(page.windowType(), Qt::Dialog);

    const auto direct = page.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(direct.size(), 1);
    auto* group = qobject_cast<QGroupBox*>(direct.front());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->objectName(), "m_pGroupBox");
    EXPECT_EQ(group->pos(), QPoint(10, 0));
    EXPECT_TRUE(growsFrom(group->geometry(), QRect(10, 0, 220, 360)));
    EXPECT_EQ(group->title(), "");
    EXPECT_FALSE(group->testAttribute(Qt::WA_SetFont));
}

TEST(OptionsDlgBuild, WidgetsInCreationOrder) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page);
    ASSERT_EQ(p.widgets.size(), static_cast<qsizetype>(std::size(kWidgets)));
    for (size_t i = 0; i < std::size(kWidgets); ++i) {
        const WidgetRow& row = kWidgets[i];
        const QWidget* w = p.widgets[static_cast<qsizetype>(i)];
        SCOPED_TRACE(testing::Message() << "widget " << i + 1 << " " << row.className << " "
                                        << (row.text ? row.text : ""));
        EXPECT_STREQ(w->metaObject()->className(), row.className);
        EXPECT_EQ(w->objectName(), row.objectName);
        EXPECT_TRUE(growsFrom(w->geometry(), row.geometry));
        EXPECT_TRUE(w->isEnabled());
        if (row.text != nullptr) {
            EXPECT_EQ(textOf(w), QString::fromUtf8(row.text));
        }
        if (row.font.family == nullptr) {
            EXPECT_FALSE(w->testAttribute(Qt::WA_SetFont));
        } else {
            EXPECT_EQ(w->font().family(), row.font.family);
            EXPECT_EQ(w->font().pointSize(), row.font.points);
            EXPECT_EQ(w->font().bold(), row.font.bold);
            EXPECT_EQ(w->font().italic(), row.font.italic);
        }
        if (row.check != Check::None) {
            EXPECT_EQ(qobject_cast<const QAbstractButton*>(w)->isChecked(), row.check == Check::On);
        }
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            const QWidget* buddy = row.buddy < 0 ? nullptr : p.widgets[row.buddy];
            EXPECT_EQ(label->buddy(), buddy);
            if (row.alignment != kNone) {
                EXPECT_EQ(label->alignment(), row.alignment);
            }
        }
        EXPECT_EQ(w->toolTip(), row.toolTip);
        if (row.picture != nullptr) {
            EXPECT_EQ(argb(pictureOf(w)), argb(QPixmap(row.picture).toImage()));
        }
    }
    EXPECT_EQ(p.at<QLabel>(0)->frameStyle(), QFrame::Panel | QFrame::Raised);
    EXPECT_EQ(p.at<QLineEdit>(11)->echoMode(), QLineEdit::Password);
    // No button group and no automatic exclusion: the slots alone keep the radio buttons apart.
    for (const QRadioButton* radio : {p.personal(), p.defaults()}) {
        EXPECT_EQ(radio->group(), nullptr);
        EXPECT_FALSE(radio->autoExclusive());
    }
    EXPECT_EQ(p.list()->count(), 0);
    EXPECT_EQ(p.list()->windowType(), Qt::Widget);
    // The members read by the import run are the boxes and field of the table.
    EXPECT_EQ(page.m_pUserSettings, p.user());
    EXPECT_EQ(page.m_pImportContacts, p.contacts());
    EXPECT_EQ(page.m_pOwnerPassword, p.at<QLineEdit>(11));
}

TEST(OptionsDlgBuild, SlotsInOrderAndNoSignals) {
    const QMetaObject& meta = COptionsDlg::staticMetaObject;
    std::vector<std::string> slotNames;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        EXPECT_EQ(method.methodType(), QMetaMethod::Slot) << method.methodSignature().constData();
        slotNames.push_back(method.methodSignature().toStdString());
    }
    EXPECT_EQ(slotNames,
              (std::vector<std::string>{"OnSelectClicked()", "OnDeselectClicked()",
                                        "OnImportContactsClicked()", "OnSoundSettings()",
                                        "OnPersonalSoundsClicked()", "OnDefaultSoundsClicked()",
                                        "OnProfileChanged(int)"}));
}

TEST(OptionsDlgBuild, TabFollowsCreationOrder) {
    COptionsDlg page(nullptr, nullptr);
    page.insertWinUser("Alice", true);
    const Page p(page);
    showActive(page);
    p.select()->setFocus();
    std::vector<int> visited;
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(static_cast<int>(p.widgets.indexOf(QApplication::focusWidget())));
    }
    EXPECT_EQ(visited, (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 2}));
}

struct Accelerator {
    Qt::Key key;
    int target;
};

TEST(OptionsDlgBuild, AcceleratorsFocusTheirWidgets) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page);
    showActive(page);
    const Accelerator accelerators[] = {{Qt::Key_E, 4},  {Qt::Key_U, 5},  {Qt::Key_T, 6},
                                        {Qt::Key_W, 7},  {Qt::Key_D, 8},  {Qt::Key_Z, 9},
                                        {Qt::Key_F, 10}, {Qt::Key_P, 11}, {Qt::Key_S, 13}};
    for (const Accelerator& a : accelerators) {
        p.select()->setFocus();
        QTest::keyClick(&page, a.key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), p.widgets[a.target])
            << "Alt+" << QKeySequence(a.key).toString().toStdString();
    }
}

// The two sunken separators around the row of small buttons, 10 pixels in from either side of
// the group box: dark grey over white.
TEST(OptionsDlgBuild, SeparatorsAroundTheButtonRow) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page);
    page.show();
    const QImage image = page.grab().toImage();
    const QPoint group = p.group->pos();
    const QRect buttons = p.select()->geometry();
    const int right = p.group->width() - 10;
    for (const int y : {buttons.top() - 2, buttons.bottom() + 3}) {
        for (const int x : {11, right / 2, right - 2}) {
            EXPECT_EQ(image.pixelColor(group + QPoint(x, y - 1)), QColor(Qt::darkGray))
                << x << "," << y;
            EXPECT_EQ(image.pixelColor(group + QPoint(x, y)), QColor(Qt::white)) << x << "," << y;
        }
        EXPECT_NE(image.pixelColor(group + QPoint(8, y - 1)), QColor(Qt::darkGray));
        EXPECT_NE(image.pixelColor(group + QPoint(right + 1, y - 1)), QColor(Qt::darkGray));
    }
}

// ---- every text whole, at the platform's font and at a larger application font ---------

class OptionsDlgFit : public testing::TestWithParam<double> {
protected:
    void SetUp() override {
        QFont font = saved_;
        font.setPointSizeF(saved_.pointSizeF() * GetParam());
        QApplication::setFont(font);
    }
    void TearDown() override { QApplication::setFont(saved_); }

private:
    const QFont saved_ = QApplication::font();
};

TEST_P(OptionsDlgFit, NoTextIsCutAndNothingOverlaps) {
    COptionsDlg page(nullptr, nullptr);
    page.insertWinUser("Alice", true);
    const Page p(page);
    EXPECT_TRUE(page.rect().contains(p.group->geometry()));
    for (int i = 0; i < p.widgets.size(); ++i) {
        const QWidget* w = p.widgets[i];
        SCOPED_TRACE(testing::Message() << "widget " << i + 1 << " " << textOf(w).toStdString());
        EXPECT_TRUE(p.group->rect().contains(w->geometry()));
        if (!textOf(w).isEmpty() && qobject_cast<const QPushButton*>(w) == nullptr) {
            EXPECT_LE(w->sizeHint().width(), w->width());
            EXPECT_LE(w->fontMetrics().lineSpacing(), w->height());
        }
        for (int j = i + 1; j < p.widgets.size(); ++j) {
            EXPECT_FALSE(w->geometry().intersects(p.widgets[j]->geometry())) << "widget " << j + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FontScales, OptionsDlgFit, testing::Values(1.0, 1.5),
                         [](const testing::TestParamInfo<double>& info) {
                             return info.index == 0 ? std::string("DefaultFont")
                                                    : std::string("LargerFont");
                         });

// ---- the enabling rules, driven as a user drives them -----------------------------------

// An action is a letter: a choice letter clicks that box or radio button, 's' and 'x' click
// the select and deselect buttons, 'F' calls selectFirstProfile(), 'v' and '^' press Down and
// Up in the owner list.
struct Step {
    char action;
    const char* state; // after the action
};

struct Scenario {
    const char* name;
    std::vector<Owner> owners;
    std::vector<Step> steps;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

void perform(const Page& p, char action) {
    switch (action) {
    case 'F':
        p.dlg.selectFirstProfile();
        break;
    case 's':
        click(p.select());
        break;
    case 'x':
        click(p.deselect());
        break;
    case 'v':
        QTest::keyClick(p.list(), Qt::Key_Down);
        break;
    case '^':
        QTest::keyClick(p.list(), Qt::Key_Up);
        break;
    default:
        click(p.choice(action));
    }
}

class OptionsDlgRules : public testing::TestWithParam<Scenario> {};

TEST_P(OptionsDlgRules, StateAfterEachStep) {
    const Scenario& scenario = GetParam();
    COptionsDlg page(nullptr, nullptr);
    for (const Owner& owner : scenario.owners) {
        page.insertWinUser(owner.name, owner.personalSounds);
    }
    const Page p(page);
    showActive(page);
    ASSERT_EQ(p.state(), kFresh);
    for (size_t i = 0; i < scenario.steps.size(); ++i) {
        perform(p, scenario.steps[i].action);
        EXPECT_EQ(p.state(), scenario.steps[i].state) << "after step " << i + 1;
        EXPECT_EQ(page.isImportHostServer(), p.choice('H')->isChecked());
        EXPECT_EQ(page.isOverwriteContacts(), p.choice('O')->isChecked());
        EXPECT_EQ(page.isImportSoundSettings(), p.choice('S')->isChecked());
        EXPECT_EQ(page.isPersonalSounds(), p.personal()->isChecked());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, OptionsDlgRules,
    testing::Values(Scenario{"OwnerWithSoundsThenWithoutThenBack",
                             {{"Alice", true}, {"Bob", false}},
                             {{'F', "H+ U+ C+ O- S+ P+ D-"},
                              {'v', "H+ U+ C+ O- S+ P-~ D+"},
                              {'v', "H+ U+ C+ O- S+ P-~ D+"},
                              {'^', "H+ U+ C+ O- S+ P- D+"},
                              {'P', "H+ U+ C+ O- S+ P+ D-"}}},
                    Scenario{"FirstOwnerWithoutSounds",
                             {{"Bob", false}, {"Carol", true}},
                             {{'F', "H+ U+ C+ O- S+ P-~ D+"}, {'v', "H+ U+ C+ O- S+ P- D+"}}},
                    Scenario{"SoundImportOffFreezesTheOwnerRule",
                             {{"Alice", true}, {"Bob", false}},
                             {{'F', "H+ U+ C+ O- S+ P+ D-"},
                              {'S', "H+ U+ C+ O- S- P+~ D-~"},
                              {'v', "H+ U+ C+ O- S- P+~ D-~"},
                              {'S', "H+ U+ C+ O- S+ P-~ D+"},
                              {'^', "H+ U+ C+ O- S+ P- D+"},
                              {'S', "H+ U+ C+ O- S- P-~ D+~"},
                              {'S', "H+ U+ C+ O- S+ P- D+"}}},
                    Scenario{"DeselectKeepsTheRadioChoice",
                             {{"Alice", true}},
                             {{'F', "H+ U+ C+ O- S+ P+ D-"},
                              {'x', "H- U- C- O-~ S- P+~ D-~"},
                              {'D', "H- U- C- O-~ S- P+~ D-~"},
                              {'s', "H+ U+ C+ O- S+ P+ D-"},
                              {'D', "H+ U+ C+ O- S+ P- D+"},
                              {'x', "H- U- C- O-~ S- P-~ D+~"},
                              {'s', "H+ U+ C+ O- S+ P- D+"}}},
                    Scenario{"SelectForOwnerWithoutSoundsChoosesDefault",
                             {{"Bob", false}},
                             {{'F', "H+ U+ C+ O- S+ P-~ D+"},
                              {'x', "H- U- C- O-~ S- P-~ D+~"},
                              {'s', "H+ U+ C+ O- S+ P-~ D+"}}},
                    Scenario{"ContactImportGovernsOverwrite",
                             {},
                             {{'O', "H+ U+ C+ O+ S+ P+ D-"},
                              {'C', "H+ U+ C- O+~ S+ P+ D-"},
                              {'C', "H+ U+ C+ O+ S+ P+ D-"},
                              {'x', "H- U- C- O-~ S- P+~ D-~"},
                              {'C', "H- U- C+ O- S- P+~ D-~"},
                              {'O', "H- U- C+ O+ S- P+~ D-~"},
                              {'s', "H+ U+ C+ O- S+ P-~ D+"}}},
                    Scenario{"RadioButtonsExcludeEachOther",
                             {{"Alice", true}},
                             {{'F', "H+ U+ C+ O- S+ P+ D-"},
                              {'P', "H+ U+ C+ O- S+ P+ D-"},
                              {'D', "H+ U+ C+ O- S+ P- D+"},
                              {'D', "H+ U+ C+ O- S+ P- D+"},
                              {'P', "H+ U+ C+ O- S+ P+ D-"}}},
                    Scenario{"HostAndUserBoxesStandAlone",
                             {{"Alice", true}},
                             {{'F', "H+ U+ C+ O- S+ P+ D-"},
                              {'H', "H- U+ C+ O- S+ P+ D-"},
                              {'U', "H- U- C+ O- S+ P+ D-"},
                              {'H', "H+ U- C+ O- S+ P+ D-"},
                              {'s', "H+ U+ C+ O- S+ P+ D-"}}},
                    Scenario{"RepeatedNameTakesTheLastFlag",
                             {{"Alice", true}, {"Alice", false}},
                             {{'F', "H+ U+ C+ O- S+ P-~ D+"}, {'v', "H+ U+ C+ O- S+ P-~ D+"}}},
                    Scenario{"CodePageNameKeepsItsFlag",
                             {{"Anna", false}, {"J\xFCrgen", true}},
                             {{'F', "H+ U+ C+ O- S+ P-~ D+"}, {'v', "H+ U+ C+ O- S+ P- D+"}}},
                    Scenario{"NoOwnerCountsAsNoPersonalSounds",
                             {},
                             {{'F', "H+ U+ C+ O- S+ P-~ D+"},
                              {'P', "H+ U+ C+ O- S+ P-~ D+"},
                              {'S', "H+ U+ C+ O- S- P-~ D+~"},
                              {'S', "H+ U+ C+ O- S+ P-~ D+"}}},
                    Scenario{"OwnerNotYetChosen",
                             {{"Alice", true}},
                             {{'s', "H+ U+ C+ O- S+ P- D+"},
                              {'v', "H+ U+ C+ O- S+ P- D+"},
                              {'P', "H+ U+ C+ O- S+ P+ D-"}}}),
    [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// selectFirstProfile applies the owner rule even when the first entry is current already.
TEST(OptionsDlgRules, SelectFirstReappliesTheRule) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page);
    page.insertWinUser("Alice", true);
    page.selectFirstProfile();
    page.insertWinUser("Alice", false);
    ASSERT_EQ(p.state(), kFresh);
    page.selectFirstProfile();
    EXPECT_EQ(p.list()->currentRow(), 0);
    EXPECT_EQ(p.state(), "H+ U+ C+ O- S+ P-~ D+");
}

// ---- owners in the list -------------------------------------------------------------------

TEST(OptionsDlgOwners, ListShowsNamesInInsertionOrder) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page);
    for (const char* name : {"Zoe", "Alice", "J\xFCrgen", "Bob\r", "Alice"}) {
        page.insertWinUser(name, false);
    }
    QStringList shown;
    for (int i = 0; i < p.list()->count(); ++i) {
        shown << p.list()->item(i)->text();
    }
    EXPECT_EQ(shown,
              QStringList({"Zoe", "Alice", QString::fromUtf8("J\u00FCrgen"), "Bob", "Alice"}));
    EXPECT_EQ(p.list()->currentRow(), -1);
}

struct ProfileCase {
    const char* name;
    std::vector<Owner> owners;
    int currentRow; // -1: no entry made current
    int size;
    const char* expected; // nullptr: nothing may be written
};

void PrintTo(const ProfileCase& c, std::ostream* os) {
    *os << c.name;
}

class OptionsDlgSelectedProfile : public testing::TestWithParam<ProfileCase> {};

// The name is copied with strncpy semantics into size - 1 bytes and terminated; nothing past
// size is touched.
TEST_P(OptionsDlgSelectedProfile, CopiesWithinTheBuffer) {
    const ProfileCase& c = GetParam();
    COptionsDlg page(nullptr, nullptr);
    for (const Owner& owner : c.owners) {
        page.insertWinUser(owner.name, owner.personalSounds);
    }
    if (c.currentRow >= 0) {
        Page(page).list()->setCurrentRow(c.currentRow);
    }
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    page.getSelectedProfile(buffer, c.size);
    if (c.expected == nullptr) {
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
        return;
    }
    const size_t size = static_cast<size_t>(c.size);
    std::string wanted(c.expected);
    wanted.resize(size, '\0');
    wanted.resize(sizeof buffer, '#');
    EXPECT_EQ(std::string(buffer, sizeof buffer), wanted);
}

const std::vector<Owner> kTwo = {{"Alice", true}, {"Bob", false}};

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionsDlgSelectedProfile,
    testing::Values(
        ProfileCase{"EmptyList", {}, -1, 8, ""}, ProfileCase{"NoCurrentEntry", kTwo, -1, 8, ""},
        ProfileCase{"SizeOne", kTwo, 0, 1, ""}, ProfileCase{"CutToSizeMinusOne", kTwo, 0, 3, "Al"},
        ProfileCase{"OneShort", kTwo, 0, 5, "Alic"}, ProfileCase{"ExactFit", kTwo, 0, 6, "Alice"},
        ProfileCase{"ZeroFilled", kTwo, 0, 20, "Alice"},
        ProfileCase{"SecondEntry", kTwo, 1, 20, "Bob"},
        ProfileCase{"SizeZeroWritesNothing", kTwo, 0, 0, nullptr},
        ProfileCase{"NegativeSizeWritesNothing", kTwo, 0, -4, nullptr},
        ProfileCase{"BytesAsInserted", {{"J\xFCrgen\r", true}}, 0, 20, "J\xFCrgen\r"},
        ProfileCase{"Utf8AsInserted", {{"J\xC3\xBCrgen", true}}, 0, 20, "J\xC3\xBCrgen"}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.name); });

TEST(OptionsDlgOwners, NullBufferIsIgnored) {
    COptionsDlg page(nullptr, nullptr);
    page.insertWinUser("Alice", true);
    page.selectFirstProfile();
    page.getSelectedProfile(nullptr, 8);
}

} // namespace
