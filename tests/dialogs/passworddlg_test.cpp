#include "dialogs/passworddlg.h"

#include <string>

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "support/dialoganswer.h"

namespace {

struct WidgetRow {
    const char* className;
    const char* objectName;
    QRect geometry;
    const char* text;
    bool enabled;
};

// The group box is the dialog's only child; the others are its children in creation order,
// all in Times 12.
// clang-format off
const WidgetRow kWidgets[] = {
    {"QLineEdit", "m_pPasswordEditBox", {10, 42, 210, 21}, "", true},
    {"QLabel", "m_pPasswordLabel", {10, 20, 210, 18}, "&Enter ICQ user password:", true},
    {"QPushButton", "m_pOK", {35, 83, 70, 22}, "&Ok", false},
    {"QPushButton", "m_pAbort", {125, 83, 70, 22}, "&Abort", true},
};
// clang-format on

QString textOf(const QWidget* w) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
        return edit->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    return qobject_cast<const QPushButton*>(w)->text();
}

TEST(PasswordDlg, WidgetsInCreationOrder) {
    QWidget host;
    const CPasswordDlg named(&host, "pwd", false, Qt::WindowStaysOnTopHint);
    EXPECT_EQ(named.objectName(), "pwd");
    EXPECT_EQ(named.parentWidget(), &host);
    EXPECT_FALSE(named.isModal());
    EXPECT_TRUE(named.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    const CPasswordDlg dlg(nullptr, nullptr, true, 0);
    EXPECT_TRUE(dlg.isModal());
    EXPECT_EQ(dlg.size(), QSize(250, 130));
    EXPECT_EQ(dlg.windowTitle(), "ICQ Plugin Request");
    const auto top = dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(top.size(), 1);
    EXPECT_EQ(top.front()->objectName(), "m_pGroupBox");
    EXPECT_EQ(top.front()->geometry(), QRect(10, 10, 230, 110));
    const auto children =
        top.front()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const WidgetRow& row = kWidgets[i];
        const QWidget* w = children[i];
        SCOPED_TRACE(row.objectName);
        EXPECT_STREQ(w->metaObject()->className(), row.className);
        EXPECT_EQ(w->objectName(), row.objectName);
        EXPECT_EQ(w->geometry(), row.geometry);
        EXPECT_EQ(w->isEnabled(), row.enabled);
        EXPECT_EQ(w->font().family() + " " + QString::number(w->font().pointSize()), "Times 12");
        EXPECT_EQ(textOf(w), row.text);
    }
    EXPECT_EQ(qobject_cast<QLineEdit*>(children[0])->echoMode(), QLineEdit::Password);
    EXPECT_EQ(qobject_cast<QLabel*>(children[1])->buddy(), children[0]);
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

TEST_F(PasswordDlgInput, OkOnlyWithTextAndFocusStartsInTheField) {
    EXPECT_EQ(QApplication::focusWidget(), edit);
    // Ok is skipped by Tab while it is disabled.
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
    QCloseEvent event;
    QApplication::sendEvent(&dlg, &event);
    EXPECT_FALSE(event.isAccepted());
    EXPECT_FALSE(dlg.close());
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_STREQ(dlg.getPWD(), "abc");
}

// exec() answers 1 after Return, also on an empty field, and 0 after Abort.
TEST(PasswordDlg, ExecAnswersTheButtonPressed) {
    for (const auto& [text, accept] :
         {std::pair<std::string, bool>{"pw 1", true}, {"", true}, {"", false}}) {
        CPasswordDlg dlg(nullptr, nullptr, true, 0);
        const testsupport::PasswordDialogAnswer answer(text, accept);
        EXPECT_EQ(dlg.exec(), accept ? 1 : 0) << text;
        EXPECT_EQ(dlg.getPWD(), text);
        EXPECT_EQ(answer.answered(), 1);
    }
}

} // namespace
