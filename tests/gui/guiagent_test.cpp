#include "guiagent.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QWidget>
#include <gtest/gtest.h>

#include "modalanswer.h"

namespace {

TEST(GuiAgent, CountsBlocksOnTheBarAndAnswersCancelOnce) {
    QWidget window;
    QProgressBar bar;
    gui::GuiAgent agent(&window);
    agent.setProgressBar(&bar);
    agent.start(QStringLiteral("ICQ"), 60);
    EXPECT_EQ(bar.maximum(), 60);
    EXPECT_EQ(agent.stepProgress(5), 0);
    EXPECT_EQ(agent.stepProgress(10), 0);
    EXPECT_EQ(bar.value(), 15);
    agent.requestCancel();
    EXPECT_FALSE(agent.cancelled());
    EXPECT_EQ(agent.stepProgress(5), 32);
    EXPECT_TRUE(agent.cancelled());
    EXPECT_EQ(agent.done(), 20);
    // More blocks than announced fill the bar and no more.
    agent.start(QStringLiteral("ICQ"), 10);
    EXPECT_FALSE(agent.cancelRequested());
    EXPECT_EQ(bar.value(), 0);
    EXPECT_EQ(agent.stepProgress(25), 0);
    EXPECT_EQ(bar.value(), 10);
}

TEST(GuiAgent, ParentsDialogsOnTheWindowAndShowsMessages) {
    QWidget window;
    gui::GuiAgent agent(&window);
    agent.start(QStringLiteral("ICQ"), 60);
    EXPECT_EQ(agent.getWidget(20, 0), &window);
    EXPECT_EQ(agent.getWidget(21, 0), nullptr);
    const int kind = agent.messageKind(0x6000, 50);
    EXPECT_EQ(kind, 0x6032);

    QStringList shown;
    guitest::ModalAnswerer answer([&shown](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown << box->text() << (box->icon() == QMessageBox::Warning ? "warning" : "other")
              << (box->parentWidget() == modal->window()->parentWidget() ? "parented" : "");
        guitest::clickButton(modal, QStringLiteral("OK"));
    });
    agent.postMessage(kind, "No user profile has been set.");
    EXPECT_EQ(answer.titles(), QStringList{"ICQ"});
    EXPECT_EQ(shown.mid(0, 2), (QStringList{"No user profile has been set.", "warning"}));
    EXPECT_EQ(agent.messages(), QStringList{"No user profile has been set."});
}

} // namespace
