#include "dialogs/passworddlg.h"

#include <string>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// One child, a group box, holds the field, the label and the two buttons at fixed places, in
// Times 12.
TEST(PasswordDlg, Layout) {
    const CPasswordDlg dlg(nullptr, nullptr, true, 0);
    EXPECT_EQ(dlg.size(), QSize(250, 130));
    const auto top = dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(top.size(), 1);
    std::vector<QRect> places = {top.front()->geometry()};
    for (const QWidget* w :
         top.front()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        places.push_back(w->geometry());
        EXPECT_EQ(w->font().family() + " " + QString::number(w->font().pointSize()), "Times 12");
    }
    EXPECT_EQ(places, (std::vector<QRect>{{10, 10, 230, 110},
                                          {10, 42, 210, 21},
                                          {10, 20, 210, 18},
                                          {35, 83, 70, 22},
                                          {125, 83, 70, 22}}));
}

class PasswordDlgInput : public ::testing::Test {
protected:
    void SetUp() override {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }
    void type(const char* utf8) const {
        // One key event per character, as a keyboard layout delivers it.
        for (const QChar c : QString::fromUtf8(utf8)) {
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    CPasswordDlg dlg{nullptr, nullptr, true, 0};
    QLineEdit* edit = dlg.findChild<QLineEdit*>("m_pPasswordEditBox");
    QPushButton* ok = dlg.findChild<QPushButton*>("m_pOK");
    QPushButton* abort = dlg.findChild<QPushButton*>("m_pAbort");
};

// Ok is enabled only while the field holds text, and Tab skips it while it is disabled.
TEST_F(PasswordDlgInput, OkOnlyWithTextAndFocusStartsInTheField) {
    EXPECT_EQ(QApplication::focusWidget(), edit);
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), abort);
    QTest::keyClick(&dlg, Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    QTest::keyClick(edit, Qt::Key_X);
    EXPECT_TRUE(ok->isEnabled());
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_FALSE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());

    type("p\xC3\xA4ss w\xE2\x82\xAC");
    for (QWidget* next : std::initializer_list<QWidget*>{ok, abort, edit}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
    // The text handed out is UTF-8 and stays put until the text changes.
    const char* password = dlg.getPWD();
    EXPECT_EQ(dlg.getPWD(), password);
    EXPECT_STREQ(password, "p\xC3\xA4ss w\xE2\x82\xAC");
    EXPECT_FALSE(edit->displayText().contains(QStringLiteral("ss")));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(dlg.result(), 1);
    EXPECT_FALSE(dlg.isVisible());
}

// Escape rejects; the window manager cannot close the dialog.
TEST_F(PasswordDlgInput, OnlyAnAnswerEndsTheDialog) {
    type("abc");
    EXPECT_FALSE(dlg.close());
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_STREQ(dlg.getPWD(), "abc");
}

} // namespace
