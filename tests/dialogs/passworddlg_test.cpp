#include "dialogs/passworddlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

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
    QTest::keyClick(abort, Qt::Key_Tab);
    QTest::keyClick(edit, Qt::Key_X);
    EXPECT_TRUE(ok->isEnabled());
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_FALSE(ok->isEnabled());

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
