#include "dialogs/optionsdlg.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Owner {
    std::string name;
    bool personalSounds;
};

/// The page, shown and active, with its widgets as a user meets them: the group box's
/// children in creation order.
struct Page {
    explicit Page(const std::vector<Owner>& owners = {})
        : group(dlg.findChild<QGroupBox*>("m_pGroupBox")),
          widgets(group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        for (const Owner& owner : owners) {
            dlg.insertWinUser(owner.name, owner.personalSounds);
        }
        dlg.show();
        dlg.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
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

    COptionsDlg dlg{nullptr, nullptr};
    QGroupBox* group;
    QList<QWidget*> widgets;
};

const char* const kFresh = "H+U+C+O-S+P+D-";

/// A label's or button's text; a picture button's tool tip.
std::string textOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text().toStdString();
    }
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    return button == nullptr ? "" : (button->text() + button->toolTip()).toStdString();
}

// The group box's children in creation order, which is also the focus order.
TEST(OptionsDlg, WidgetsInCreationOrder) {
    Page p;
    std::vector<std::string> texts;
    for (const QWidget* w : p.widgets) {
        texts.push_back(w->metaObject()->className() + (" " + textOf(w)));
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{
                  "QLabel ", "QLabel ICQ Importer", "QPushButton Select Default Settings",
                  "QPushButton Deselect All Settings", "QCheckBox Import Host S&erver Settings",
                  "QCheckBox Import &User Settings", "QCheckBox Import Con&tacts",
                  "QCheckBox Over&write Current Contact List", "QCheckBox Import Soun&d Settings",
                  "QRadioButton Customi&zed", "QRadioButton De&fault", "QLineEdit ",
                  "QLabel Owner &Password:", "QListWidget ", "QLabel Registered U&sers"}));
    EXPECT_EQ(p.at<QLineEdit>(11)->echoMode(), QLineEdit::Password);
}

TEST(OptionsDlg, TabAndAcceleratorsFollowTheTable) {
    Page p({{"Alice", true}});
    p.at<QWidget>(2)->setFocus();
    std::vector<int> visited;
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(static_cast<int>(p.widgets.indexOf(QApplication::focusWidget())));
    }
    EXPECT_EQ(visited, (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 2}));
    // The labels' accelerators lead to the field and the list they name.
    for (const auto& [key, target] : {std::pair<Qt::Key, int>{Qt::Key_P, 11}, {Qt::Key_S, 13}}) {
        QTest::keyClick(&p.dlg, key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), p.widgets[target]) << target;
    }
}

// Every text whole, at the platform's font and at a larger application font.
TEST(OptionsDlg, NoTextIsCutAndNothingOverlaps) {
    const QFont saved = QApplication::font();
    for (const double scale : {1.0, 1.5}) {
        QFont font = saved;
        font.setPointSizeF(saved.pointSizeF() * scale);
        QApplication::setFont(font);
        Page p({{"Alice", true}});
        EXPECT_TRUE(p.dlg.rect().contains(p.group->geometry()));
        for (int i = 0; i < p.widgets.size(); ++i) {
            const QWidget* w = p.widgets[i];
            SCOPED_TRACE(testing::Message() << scale << " widget " << i + 1 << " " << textOf(w));
            EXPECT_TRUE(p.group->rect().contains(w->geometry()));
            if (!textOf(w).empty() && qobject_cast<const QPushButton*>(w) == nullptr) {
                EXPECT_LE(w->sizeHint().width(), w->width());
                EXPECT_LE(w->fontMetrics().lineSpacing(), w->height());
            }
            for (int j = i + 1; j < p.widgets.size(); ++j) {
                EXPECT_FALSE(w->geometry().intersects(p.widgets[j]->geometry())) << j + 1;
            }
        }
    }
    QApplication::setFont(saved);
}

// Each scenario gives its owners and steps "action:state". A choice letter clicks that box or
// radio button on its indicator, 's' and 'x' click the select and deselect buttons, 'F' calls
// selectFirstProfile(), 'v' and '^' press Down and Up in the owner list; the state is as
// Page::state() shows it.
TEST(OptionsDlg, EnablingRules) {
    const std::pair<std::vector<Owner>, const char*> scenarios[] = {
        // The owner rule; an owner is known by its bytes.
        {{{"Anna", false}, {"J\xFCrgen", true}},
         "F:H+U+C+O-S+P-~D+ v:H+U+C+O-S+P-D+ P:H+U+C+O-S+P+D- ^:H+U+C+O-S+P-~D+"},
        // Sound import off freezes the owner rule.
        {{{"Alice", true}, {"Bob", false}},
         "F:H+U+C+O-S+P+D- S:H+U+C+O-S-P+~D-~ v:H+U+C+O-S-P+~D-~ S:H+U+C+O-S+P-~D+ "
         "^:H+U+C+O-S+P-D+ S:H+U+C+O-S-P-~D+~ S:H+U+C+O-S+P-D+"},
        // Deselect keeps the radio choice; select keeps it too for an owner with sounds.
        {{{"Alice", true}},
         "F:H+U+C+O-S+P+D- x:H-U-C-O-~S-P+~D-~ D:H-U-C-O-~S-P+~D-~ s:H+U+C+O-S+P+D- "
         "D:H+U+C+O-S+P-D+ x:H-U-C-O-~S-P-~D+~ s:H+U+C+O-S+P-D+"},
        // Contact import governs overwrite; select without an owner's sounds chooses default.
        {{},
         "O:H+U+C+O+S+P+D- C:H+U+C-O+~S+P+D- C:H+U+C+O+S+P+D- x:H-U-C-O-~S-P+~D-~ "
         "C:H-U-C+O-S-P+~D-~ O:H-U-C+O+S-P+~D-~ s:H+U+C+O-S+P-~D+"},
        // Boxes stand alone, the radio buttons exclude; no owner counts as no sounds.
        {{},
         "H:H-U+C+O-S+P+D- U:H-U-C+O-S+P+D- D:H-U-C+O-S+P-D+ D:H-U-C+O-S+P-D+ "
         "P:H-U-C+O-S+P+D- S:H-U-C+O-S-P-~D+~"},
    };
    for (const auto& [owners, steps] : scenarios) {
        Page p(owners);
        ASSERT_EQ(p.state(), kFresh);
        std::istringstream stream(steps);
        for (std::string step; stream >> step;) {
            if (step[0] == 'F') {
                p.dlg.selectFirstProfile();
            } else if (step[0] == 'v' || step[0] == '^') {
                QTest::keyClick(p.list(), step[0] == 'v' ? Qt::Key_Down : Qt::Key_Up);
            } else if (step[0] == 's' || step[0] == 'x') {
                QTest::mouseClick(p.at<QPushButton>(step[0] == 's' ? 2 : 3), Qt::LeftButton);
            } else {
                QAbstractButton* box = p.choice(step[0]);
                QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier,
                                  QPoint(6, box->height() / 2));
            }
            EXPECT_EQ(step[0] + (":" + p.state()), step) << steps;
        }
    }
}

// The list shows readable names; the selected profile is the name's bytes as inserted, cut to
// size - 1 and terminated, zero-filled; nothing is written for a size below one.
TEST(OptionsDlg, ListShowsNamesSelectedProfileGivesTheirBytes) {
    Page p({{"Alice", true}, {"J\xFCrgen\r", false}});
    EXPECT_EQ(p.list()->item(1)->text(), "J\u00FCrgen");
    const auto selected = [&](int row, int size) {
        p.list()->setCurrentRow(row);
        std::string buffer(10, '#');
        p.dlg.getSelectedProfile(buffer.data(), size);
        return buffer;
    };
    using namespace std::string_literals;
    EXPECT_EQ(selected(-1, 3), "\0\0\0#######"s);
    EXPECT_EQ(selected(0, 3), "Al\0#######"s);
    EXPECT_EQ(selected(0, 8), "Alice\0\0\0##"s);
    EXPECT_EQ(selected(1, 9), "J\xFCrgen\r\0\0#"s);
    EXPECT_EQ(selected(0, 0), "##########");
    // UTF-8 names stay, others are Windows-1252 (undefined bytes become U+FFFD): a lead byte cut
    // off at the end is no UTF-8. A trailing line end goes.
    const Page names({{"J\xC3\xBCrgen \xE2\x82\xAC", true},
                      {"\x80\x8A\x93x\x9F", true},
                      {"a\x81\x9D", true},
                      {"Ren\xC3", true},
                      {"Bob\r\n", true}});
    std::string shown;
    for (int i = 0; i < names.list()->count(); ++i) {
        shown += names.list()->item(i)->text().toStdString() + "|";
    }
    EXPECT_EQ(shown, "J\xC3\xBCrgen \xE2\x82\xAC|\xE2\x82\xAC\xC5\xA0\xE2\x80\x9Cx\xC5\xB8|"
                     "a\xEF\xBF\xBD\xEF\xBF\xBD|Ren\xC3\x83|Bob|");
}

} // namespace
