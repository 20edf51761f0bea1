#include "plugin/tarvex.h"

#include <memory>
#include <string>

#include <QListWidget>
#include <QRadioButton>
#include <QWidget>
#include <gtest/gtest.h>

#include "bitmap/images.h"
#include "bitmap/vantrybitmap.h"
#include "dialogs/optionsdlg.h"

namespace {

class Hooks : public ::testing::Test {
protected:
    void addProfile(const std::string& nickname, bool sounds) {
        delete plugin.profileMap[nickname];
        plugin.profileMap[nickname] = new tarvex::structProfileData("/x/" + nickname, sounds);
    }
    QListWidget* list() const {
        return plugin.optionsDlg->findChild<QListWidget*>("m_pWinUsersList");
    }
    std::string owners() const {
        std::string names;
        for (int i = 0; i < list()->count(); ++i) {
            names +=
                list()->item(i)->text().toStdString() + (i == list()->currentRow() ? "* " : " ");
        }
        return names;
    }

    QWidget parent;
    tarvex plugin{nullptr};
};

TEST_F(Hooks, FirstShowBuildsTheFilledPageLaterShowsOnlyShowIt) {
    plugin.hideDlg(0);
    addProfile("Zed", false);
    addProfile("Amy", true);
    EXPECT_EQ(plugin.showDlg(7, &parent), 0);
    COptionsDlg* page = plugin.optionsDlg;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->parentWidget(), &parent);
    EXPECT_EQ(owners(), "Amy* Zed ");
    EXPECT_TRUE(page->findChild<QRadioButton*>("m_pPersonalSounds")->isEnabled());

    page->move(30, 40);
    list()->setCurrentRow(1);
    plugin.hideDlg(0);
    EXPECT_TRUE(page->isHidden());
    addProfile("New", false);
    EXPECT_EQ(plugin.showDlg(0, nullptr), 0);
    EXPECT_EQ(plugin.optionsDlg, page);
    EXPECT_EQ(owners(), "Amy Zed* ");
    EXPECT_EQ(page->pos(), QPoint(0, 0));
    EXPECT_FALSE(page->isHidden());
}

TEST_F(Hooks, EmptyPageGoesWithItsParent) {
    auto host = std::make_unique<QWidget>();
    plugin.showDlg(0, host.get());
    ASSERT_NE(plugin.optionsDlg, nullptr);
    EXPECT_EQ(owners(), "");
    EXPECT_EQ(list()->currentRow(), -1);
    host.reset();
    EXPECT_EQ(plugin.optionsDlg, nullptr);
    plugin.hideDlg(0);
}

TEST_F(Hooks, IconIsACopyOfTheBuiltInPicture) {
    CVantryBitmap bitmap;
    EXPECT_TRUE(plugin.getIcon(bitmap));
    ASSERT_NE(bitmap.GetBitmap(), nullptr);
    EXPECT_NE(static_cast<const void*>(bitmap.GetBitmap()), static_cast<const void*>(icon));
    EXPECT_STREQ(bitmap.GetBitmap()[0], icon[0]);
}

} // namespace
