#include "dialogs/optionsdlg.h"

#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Owner {
    std::string name;
    bool personalSounds;
};

/// The page's widgets as a user meets them: the group box's children in creation order.
struct Page {
    explicit Page(COptionsDlg& page, const std::vector<Owner>& owners = {})
        : dlg(page), group(page.findChild<QGroupBox*>("m_pGroupBox")),
          widgets(group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        for (const Owner& owner : owners) {
            page.insertWinUser(owner.name, owner.personalSounds);
        }
    }
    template <typename T> T* at(int index) const { return qobject_cast<T*>(widgets.value(index)); }
    QListWidget* list() const { return at<QListWidget>(13); }
    /// The seven choices, host server to default sounds, by their letters in "HUCOSPD".
    QAbstractButton* choice(char letter) const {
        return at<QAbstractButton>(4 + static_cast<int>(std::strchr(kChoices, letter) - kChoices));
    }
    /// One token per choice: its letter, "+" checked or "-" unchecked, "~" when disabled.
    std::string state() const {
        std::string text;
        for (const char* letter = kChoices; *letter != '\0'; ++letter) {
            const QAbstractButton* button = choice(*letter);
            text += std::string(1, *letter) + (button->isChecked() ? "+" : "-") +
                    (button->isEnabled() ? "" : "~");
        }
        return text;
    }
    static constexpr const char* kChoices = "HUCOSPD";

    COptionsDlg& dlg;
    QGroupBox* group;
    QList<QWidget*> widgets;
};

const char* const kFresh = "H+U+C+O-S+P+D-";

// Clicks where a user would: on the indicator of a check box or radio button, whose label
// may be shorter than the widget.
void click(QAbstractButton* button) {
    const bool picture = qobject_cast<QPushButton*>(button) != nullptr;
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier,
                      picture ? button->rect().center() : QPoint(6, button->height() / 2));
}

void showActive(QWidget& widget) {
    widget.show();
    widget.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
}

QString textOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    return QString();
}

struct WidgetRow {
    const char* className;
    const char* objectName;
    QRect least; // the geometry grows where a text needs more
    const char* text;
    const char* font; // "" inherited, else family, points and b/i
    int checked;      // -1 no check box
    int buddy;        // index of the buddy, -1 for none
    const char* toolTip;
};

// The group box's children in creation order, which is also the focus order.
// clang-format off
const WidgetRow kWidgets[] = {
    {"QLabel", "", {10, 12, 35, 35}, "", "", -1, -1, ""},
    {"QLabel", "", {50, 10, 150, 40}, "ICQ Importer", "Times 16 bi", -1, -1, ""},
    {"QPushButton", "", {12, 60, 18, 18}, "", "", -1, -1, "Select Default Settings"},
    {"QPushButton", "", {31, 60, 18, 18}, "", "", -1, -1, "Deselect All Settings"},
    {"QCheckBox", "m_pHostServerSettings", {20, 90, 180, 20}, "Import Host S&erver Settings", "Times 12", 1, -1, ""},
    {"QCheckBox", "NoName", {20, 110, 180, 20}, "Import &User Settings", "Times 12", 1, -1, ""},
    {"QCheckBox", "NoName", {20, 130, 180, 20}, "Import Con&tacts", "Times 12", 1, -1, ""},
    {"QCheckBox", "m_pOverwriteContacts", {20, 150, 180, 20}, "Over&write Current Contact List", "Times 12", 0, -1, ""},
    {"QCheckBox", "m_pSoundSettings", {20, 170, 180, 20}, "Import Soun&d Settings", "Times 12", 1, -1, ""},
    {"QRadioButton", "m_pPersonalSounds", {40, 190, 80, 20}, "Customi&zed", "Times 12", 1, -1, ""},
    {"QRadioButton", "m_pDefaultSounds", {140, 190, 60, 20}, "De&fault", "Times 12", 0, -1, ""},
    {"QLineEdit", "NoName", {115, 230, 85, 20}, "", "Times 12", -1, -1, ""},
    {"QLabel", "NoName", {20, 230, 90, 20}, "Owner &Password:", "Times 12", -1, 11, ""},
    {"QListWidget", "m_pWinUsersList", {20, 290, 180, 60}, "", "Times 12", -1, -1, ""},
    {"QLabel", "m_pWinUsersListLabel", {22, 273, 150, 15}, "Registered U&sers", "Times 12", -1, 13, ""},
};
// clang-format on

/// Whether `actual` lies no further up or left than `least` and is at least as large.
bool growsFrom(const QRect& actual, const QRect& least) {
    return actual.x() >= least.x() && actual.y() >= least.y() && actual.width() >= least.width() &&
           actual.height() >= least.height();
}

TEST(OptionsDlgBuild, WidgetsInCreationOrder) {
    QWidget host;
    COptionsDlg page(&host, "icqOptions");
    EXPECT_EQ(page.objectName(), "icqOptions");
    EXPECT_EQ(page.parentWidget(), &host);
    EXPECT_FALSE(page.isModal());
    EXPECT_TRUE(growsFrom(page.rect(), QRect(0, 0, 240, 370)));
    const Page p(page);
    ASSERT_EQ(page.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly),
              QList<QWidget*>{p.group});
    EXPECT_TRUE(growsFrom(p.group->geometry(), QRect(10, 0, 220, 360)));
    ASSERT_EQ(p.widgets.size(), static_cast<qsizetype>(std::size(kWidgets)));
    for (size_t i = 0; i < std::size(kWidgets); ++i) {
        const WidgetRow& row = kWidgets[i];
        const QWidget* w = p.widgets[static_cast<qsizetype>(i)];
        SCOPED_TRACE(testing::Message() << "widget " << i + 1 << " " << row.text);
        EXPECT_STREQ(w->metaObject()->className(), row.className);
        EXPECT_EQ(w->objectName(), row.objectName);
        EXPECT_TRUE(growsFrom(w->geometry(), row.least));
        EXPECT_EQ(textOf(w), row.text);
        const QFont f = w->font();
        const std::string font = f.family().toStdString() + " " + std::to_string(f.pointSize()) +
                                 (f.bold() || f.italic() ? " " : "") + (f.bold() ? "b" : "") +
                                 (f.italic() ? "i" : "");
        EXPECT_EQ(w->testAttribute(Qt::WA_SetFont) ? font : "", row.font);
        if (row.checked >= 0) {
            EXPECT_EQ(qobject_cast<const QAbstractButton*>(w)->isChecked(), row.checked == 1);
        }
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            EXPECT_EQ(label->buddy(), row.buddy < 0 ? nullptr : p.widgets[row.buddy]);
        }
        EXPECT_EQ(w->toolTip(), row.toolTip);
    }
    EXPECT_EQ(p.at<QLineEdit>(11)->echoMode(), QLineEdit::Password);
    // The members read by the import run are the boxes and field of the table.
    EXPECT_EQ(page.m_pUserSettings, p.at<QCheckBox>(5));
    EXPECT_EQ(page.m_pImportContacts, p.at<QCheckBox>(6));
    EXPECT_EQ(page.m_pOwnerPassword, p.at<QLineEdit>(11));
}

TEST(OptionsDlgBuild, TabAndAcceleratorsFollowTheTable) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page, {{"Alice", true}});
    showActive(page);
    p.at<QWidget>(2)->setFocus();
    std::vector<int> visited;
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(static_cast<int>(p.widgets.indexOf(QApplication::focusWidget())));
    }
    EXPECT_EQ(visited, (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 2}));
    const std::pair<Qt::Key, int> accelerators[] = {
        {Qt::Key_E, 4}, {Qt::Key_U, 5},  {Qt::Key_T, 6},  {Qt::Key_W, 7}, {Qt::Key_D, 8},
        {Qt::Key_Z, 9}, {Qt::Key_F, 10}, {Qt::Key_P, 11}, {Qt::Key_S, 13}};
    for (const auto& [key, target] : accelerators) {
        p.at<QWidget>(2)->setFocus();
        QTest::keyClick(&page, key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), p.widgets[target]) << target;
    }
}

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

// Every text whole, at the platform's font and at a larger application font.
TEST_P(OptionsDlgFit, NoTextIsCutAndNothingOverlaps) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page, {{"Alice", true}});
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

INSTANTIATE_TEST_SUITE_P(FontScales, OptionsDlgFit, testing::Values(1.0, 1.5));

// Steps are "action:state". A choice letter clicks that box or radio button, 's' and 'x' click
// the select and deselect buttons, 'F' calls selectFirstProfile(), 'v' and '^' press Down and
// Up in the owner list; the state is each choice's letter, "+" checked or "-" not, "~" disabled.
struct Scenario {
    const char* name;
    std::vector<Owner> owners;
    const char* steps;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

class OptionsDlgRules : public testing::TestWithParam<Scenario> {};

TEST_P(OptionsDlgRules, StateAfterEachStep) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page, GetParam().owners);
    showActive(page);
    ASSERT_EQ(p.state(), kFresh);
    std::istringstream steps(GetParam().steps);
    for (std::string step; steps >> step;) {
        switch (step[0]) {
        case 'F':
            page.selectFirstProfile();
            break;
        case 's':
        case 'x':
            click(p.at<QPushButton>(step[0] == 's' ? 2 : 3));
            break;
        case 'v':
        case '^':
            QTest::keyClick(p.list(), step[0] == 'v' ? Qt::Key_Down : Qt::Key_Up);
            break;
        default:
            click(p.choice(step[0]));
        }
        EXPECT_EQ(step[0] + (":" + p.state()), step);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, OptionsDlgRules,
    testing::Values(
        Scenario{"OwnerWithSoundsThenWithoutThenBack",
                 {{"Alice", true}, {"Bob", false}},
                 "F:H+U+C+O-S+P+D- v:H+U+C+O-S+P-~D+ v:H+U+C+O-S+P-~D+ ^:H+U+C+O-S+P-D+ "
                 "P:H+U+C+O-S+P+D-"},
        Scenario{"SoundImportOffFreezesTheOwnerRule",
                 {{"Alice", true}, {"Bob", false}},
                 "F:H+U+C+O-S+P+D- S:H+U+C+O-S-P+~D-~ v:H+U+C+O-S-P+~D-~ S:H+U+C+O-S+P-~D+ "
                 "^:H+U+C+O-S+P-D+ S:H+U+C+O-S-P-~D+~ S:H+U+C+O-S+P-D+"},
        Scenario{"DeselectKeepsTheRadioChoice",
                 {{"Alice", true}},
                 "F:H+U+C+O-S+P+D- x:H-U-C-O-~S-P+~D-~ D:H-U-C-O-~S-P+~D-~ s:H+U+C+O-S+P+D- "
                 "D:H+U+C+O-S+P-D+ x:H-U-C-O-~S-P-~D+~ s:H+U+C+O-S+P-D+"},
        Scenario{"SelectForOwnerWithoutSoundsChoosesDefault",
                 {{"Bob", false}},
                 "F:H+U+C+O-S+P-~D+ x:H-U-C-O-~S-P-~D+~ s:H+U+C+O-S+P-~D+"},
        Scenario{"ContactImportGovernsOverwrite",
                 {},
                 "O:H+U+C+O+S+P+D- C:H+U+C-O+~S+P+D- C:H+U+C+O+S+P+D- x:H-U-C-O-~S-P+~D-~ "
                 "C:H-U-C+O-S-P+~D-~ O:H-U-C+O+S-P+~D-~ s:H+U+C+O-S+P-~D+"},
        Scenario{"BoxesStandAloneRadioButtonsExclude",
                 {{"Alice", true}},
                 "H:H-U+C+O-S+P+D- U:H-U-C+O-S+P+D- P:H-U-C+O-S+P+D- D:H-U-C+O-S+P-D+ "
                 "D:H-U-C+O-S+P-D+ P:H-U-C+O-S+P+D-"},
        Scenario{"RepeatedNameTakesTheLastFlag",
                 {{"Alice", true}, {"Alice", false}},
                 "F:H+U+C+O-S+P-~D+ v:H+U+C+O-S+P-~D+"},
        Scenario{"CodePageNameKeepsItsFlag",
                 {{"Anna", false}, {"J\xFCrgen", true}},
                 "F:H+U+C+O-S+P-~D+ v:H+U+C+O-S+P-D+"},
        Scenario{"NoOwnerCountsAsNoPersonalSounds",
                 {},
                 "F:H+U+C+O-S+P-~D+ S:H+U+C+O-S-P-~D+~ S:H+U+C+O-S+P-~D+"},
        Scenario{"OwnerNotYetChosen",
                 {{"Alice", true}},
                 "s:H+U+C+O-S+P-D+ v:H+U+C+O-S+P-D+ P:H+U+C+O-S+P+D-"}),
    [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// selectFirstProfile applies the owner rule even when the first entry is current already.
TEST(OptionsDlgOwners, SelectFirstReappliesTheRule) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page, {{"Alice", true}});
    page.selectFirstProfile();
    page.insertWinUser("Alice", false);
    ASSERT_EQ(p.state(), kFresh);
    page.selectFirstProfile();
    EXPECT_EQ(p.list()->currentRow(), 0);
    EXPECT_EQ(p.state(), "H+U+C+O-S+P-~D+");
}

// The list shows readable names; the selected profile is the name's bytes as inserted, cut to
// size - 1 and terminated, zero-filled; nothing is written for a size below one.
TEST(OptionsDlgOwners, ListShowsNamesSelectedProfileGivesTheirBytes) {
    COptionsDlg page(nullptr, nullptr);
    const Page p(page, {{"Alice", true}, {"J\xFCrgen\r", false}, {"J\xC3\xBCrgen", false}});
    QStringList shown;
    for (int i = 0; i < p.list()->count(); ++i) {
        shown << p.list()->item(i)->text();
    }
    EXPECT_EQ(shown, QStringList({"Alice", "J\u00FCrgen", "J\u00FCrgen"}));
    const auto selected = [&](int row, int size) {
        p.list()->setCurrentRow(row);
        std::string buffer(10, '#');
        page.getSelectedProfile(buffer.data(), size);
        return buffer;
    };
    using namespace std::string_literals;
    EXPECT_EQ(selected(-1, 3), "\0\0\0#######"s);
    EXPECT_EQ(selected(0, 1), "\0#########"s);
    EXPECT_EQ(selected(0, 3), "Al\0#######"s);
    EXPECT_EQ(selected(0, 6), "Alice\0####"s);
    EXPECT_EQ(selected(0, 8), "Alice\0\0\0##"s);
    EXPECT_EQ(selected(1, 9), "J\xFCrgen\r\0\0#"s);
    EXPECT_EQ(selected(2, 9), "J\xC3\xBCrgen\0\0#"s);
    EXPECT_EQ(selected(0, 0), "##########");
    EXPECT_EQ(selected(0, -4), "##########");
    page.getSelectedProfile(nullptr, 8);
}

} // namespace
