#include "dialogs/passworddlg.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Widgets {
    explicit Widgets(CPasswordDlg& dialog)
        : dlg(dialog), group(dialog.findChild<QGroupBox*>(QStringLiteral("m_pGroupBox"))),
          edit(dialog.findChild<QLineEdit*>(QStringLiteral("m_pPasswordEditBox"))),
          label(dialog.findChild<QLabel*>(QStringLiteral("m_pPasswordLabel"))),
          ok(dialog.findChild<QPushButton*>(QStringLiteral("m_pOK"))),
          abort(dialog.findChild<QPushButton*>(QStringLiteral("m_pAbort"))) {}

    CPasswordDlg& dlg;
    QGroupBox* group;
    QLineEdit* edit;
    QLabel* label;
    QPushButton* ok;
    QPushButton* abort;
};

// Runs the dialog modally and answers it from inside its event loop. A dialog still open after
// five seconds ends with -1, so a fault fails the test instead of hanging it.
int runAnswered(CPasswordDlg& dlg, const std::function<void(const Widgets&)>& answer) {
    const Widgets w(dlg);
    QTimer::singleShot(0, &dlg, [&] { answer(w); });
    QTimer::singleShot(5000, &dlg, [&] { dlg.done(-1); });
    return dlg.exec();
}

TEST(PasswordDlgBuild, DialogItself) {
    QWidget host;
    CPasswordDlg named(&host, "pwd", false, Qt::WindowStaysOnTopHint);
    EXPECT_EQ(named.objectName(), "pwd");
    EXPECT_EQ(named.parentWidget(), &host);
    EXPECT_FALSE(named.isModal());
    EXPECT_TRUE(named.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    CPasswordDlg dlg(nullptr, nullptr, true, 0);
    EXPECT_EQ(dlg.objectName(), "");
    EXPECT_TRUE(dlg.isModal());
    EXPECT_EQ(dlg.windowType(), Qt::Dialog);
    EXPECT_STREQ(dlg.metaObject()->className(), "CPasswordDlg");
    EXPECT_STREQ(dlg.metaObject()->superClass()->className(), "QDialog");
    EXPECT_EQ(dlg.size(), QSize(250, 130));
    EXPECT_EQ(dlg.windowTitle(), "ICQ Plugin Request");
    EXPECT_STREQ(dlg.getPWD(), "");
}

struct WidgetRow {
    const char* className;
    const char* objectName;
    QRect geometry;
    const char* text;
    bool times12;
    bool enabled;
};

// The group box is the dialog's only child; the others are its children in creation order.
TEST(PasswordDlgBuild, WidgetsInCreationOrder) {
    CPasswordDlg dlg(nullptr, nullptr, true, 0);
    const auto top = dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(top.size(), 1);
    auto* group = qobject_cast<QGroupBox*>(top.front());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->objectName(), "m_pGroupBox");
    EXPECT_EQ(group->geometry(), QRect(10, 10, 230, 110));
    EXPECT_EQ(group->title(), "");
    EXPECT_FALSE(group->testAttribute(Qt::WA_SetFont));

    const WidgetRow rows[] = {
        {"QLineEdit", "m_pPasswordEditBox", {10, 42, 210, 21}, "", true, true},
        {"QLabel", "m_pPasswordLabel", {10, 20, 210, 18}, "&Enter ICQ user password:", true, true},
        {"QPushButton", "m_pOK", {35, 83, 70, 22}, "&Ok", true, false},
        {"QPushButton", "m_pAbort", {125, 83, 70, 22}, "&Abort", true, true},
    };
    const auto children = group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), static_cast<qsizetype>(std::size(rows)));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const WidgetRow& row = rows[i];
        const QWidget* w = children[static_cast<qsizetype>(i)];
        SCOPED_TRACE(row.objectName);
        EXPECT_STREQ(w->metaObject()->className(), row.className);
        EXPECT_EQ(w->objectName(), row.objectName);
        EXPECT_EQ(w->geometry(), row.geometry);
        EXPECT_EQ(w->isEnabled(), row.enabled);
        EXPECT_EQ(w->font().family(), "Times");
        EXPECT_EQ(w->font().pointSize(), 12);
        EXPECT_FALSE(w->font().bold());
        EXPECT_FALSE(w->font().italic());
        QString text;
        if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
            text = edit->text();
        } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
            text = label->text();
        } else {
            text = qobject_cast<const QPushButton*>(w)->text();
        }
        EXPECT_EQ(text, row.text);
    }
    const Widgets w(dlg);
    EXPECT_EQ(w.edit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(w.edit->maxLength(), QLineEdit().maxLength());
    EXPECT_EQ(w.label->buddy(), w.edit);
}

TEST(PasswordDlgBuild, SlotsInOrderAndNoSignals) {
    const QMetaObject& meta = CPasswordDlg::staticMetaObject;
    std::vector<std::string> slotNames;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        EXPECT_EQ(method.methodType(), QMetaMethod::Slot) << method.methodSignature().constData();
        slotNames.push_back(method.methodSignature().toStdString());
    }
    EXPECT_EQ(slotNames,
              (std::vector<std::string>{"OnOkClicked()", "OnAbortClicked()",
                                        "OnTextChanged(const char*)", "OnReturnPressed()"}));
}

TEST(PasswordDlgBuild, OkOnlyWithTextAndFocusStartsInTheField) {
    CPasswordDlg dlg(nullptr, nullptr, true, 0);
    const Widgets w(dlg);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_EQ(QApplication::focusWidget(), w.edit);
    EXPECT_FALSE(w.ok->isEnabled());

    // Ok is skipped by Tab while it is disabled.
    QTest::keyClick(w.edit, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.abort);
    QTest::keyClick(&dlg, Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), w.edit);

    QTest::keyClick(w.edit, Qt::Key_X);
    EXPECT_TRUE(w.ok->isEnabled());
    EXPECT_STREQ(dlg.getPWD(), "x");
    QTest::keyClick(w.edit, Qt::Key_Backspace);
    EXPECT_FALSE(w.ok->isEnabled());
    EXPECT_STREQ(dlg.getPWD(), "");

    QTest::keyClicks(w.edit, QStringLiteral("ab"));
    const std::vector<QWidget*> expected = {w.ok, w.abort, w.edit};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

// The text handed out stays put until the text changes, however often it is asked for.
TEST(PasswordDlgBuild, PasswordStaysValidUntilTheTextChanges) {
    CPasswordDlg dlg(nullptr, nullptr, true, 0);
    const Widgets w(dlg);
    QTest::keyClicks(w.edit, QStringLiteral("secret"));
    const char* first = dlg.getPWD();
    const char* second = dlg.getPWD();
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "secret");
    EXPECT_EQ(w.edit->displayText().size(), 6);
    EXPECT_FALSE(w.edit->displayText().contains(QStringLiteral("secret")));
}

struct AnswerCase {
    const char* name;
    std::function<void(const Widgets&)> answer;
    int result;
    const char* password;
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class PasswordDlgAnswer : public testing::TestWithParam<AnswerCase> {};

TEST_P(PasswordDlgAnswer, ExecResultAndPassword) {
    const AnswerCase& c = GetParam();
    CPasswordDlg dlg(nullptr, nullptr, true, 0);
    EXPECT_EQ(runAnswered(dlg, c.answer), c.result);
    EXPECT_STREQ(dlg.getPWD(), c.password);
    EXPECT_FALSE(dlg.isVisible());
}

// One key event per character, carrying the character as a keyboard layout would deliver it.
void type(const Widgets& w, const char* utf8) {
    for (const QChar c : QString::fromUtf8(utf8)) {
        QTest::sendKeyEvent(QTest::Click, w.edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void clickOk(const Widgets& w) {
    QTest::mouseClick(w.ok, Qt::LeftButton);
}

void clickAbort(const Widgets& w) {
    QTest::mouseClick(w.abort, Qt::LeftButton);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PasswordDlgAnswer,
    testing::Values(AnswerCase{"OkAfterTyping",
                               [](const Widgets& w) {
                                   type(w, "secret");
                                   clickOk(w);
                               },
                               1, "secret"},
                    AnswerCase{"OkWhileDisabledDoesNothing",
                               [](const Widgets& w) {
                                   clickOk(w);
                                   EXPECT_TRUE(w.dlg.isVisible());
                                   clickAbort(w);
                               },
                               0, ""},
                    AnswerCase{"ReturnOnEmptyField",
                               [](const Widgets& w) { QTest::keyClick(w.edit, Qt::Key_Return); }, 1,
                               ""},
                    AnswerCase{"ReturnAfterTyping",
                               [](const Widgets& w) {
                                   type(w, "pw 1");
                                   QTest::keyClick(w.edit, Qt::Key_Return);
                               },
                               1, "pw 1"},
                    AnswerCase{"NonAsciiAsUtf8",
                               [](const Widgets& w) {
                                   type(w, "p\xC3\xA4ssw\xC3\xB6rd\xE2\x82\xAC");
                                   clickOk(w);
                               },
                               1, "p\xC3\xA4ssw\xC3\xB6rd\xE2\x82\xAC"},
                    AnswerCase{"EscapeRejects",
                               [](const Widgets& w) {
                                   type(w, "abc");
                                   QTest::keyClick(w.edit, Qt::Key_Escape);
                               },
                               0, "abc"},
                    AnswerCase{"AbortRejects",
                               [](const Widgets& w) {
                                   type(w, "abc");
                                   clickAbort(w);
                               },
                               0, "abc"},
                    AnswerCase{"CloseRequestIsIgnored",
                               [](const Widgets& w) {
                                   QCloseEvent event;
                                   QApplication::sendEvent(&w.dlg, &event);
                                   EXPECT_FALSE(event.isAccepted());
                                   EXPECT_FALSE(w.dlg.close());
                                   EXPECT_TRUE(w.dlg.isVisible());
                                   // The dialog goes on taking input until it is answered.
                                   QTimer::singleShot(0, &w.dlg, [&w] {
                                       type(w, "late");
                                       clickAbort(w);
                                   });
                               },
                               0, "late"}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

} // namespace
