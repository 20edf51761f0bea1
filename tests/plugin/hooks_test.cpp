#include "plugin/tarvex.h"

#include <cstring>
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
    QListWidget* ownerList() const {
        return plugin.optionsDlg->findChild<QListWidget*>("m_pWinUsersList");
    }
    QStringList owners() const {
        QStringList names;
        for (int i = 0; i < ownerList()->count(); ++i) {
            names << ownerList()->item(i)->text();
        }
        return names;
    }

    QWidget parent;
    tarvex plugin{nullptr};
};

TEST_F(Hooks, FirstShowBuildsTheFilledPageLaterShowsOnlyShowIt) {
    addProfile("Zed", false);
    addProfile("Amy", true);
    EXPECT_EQ(plugin.showDlg(7, &parent), 0);
    COptionsDlg* page = plugin.optionsDlg;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->parentWidget(), &parent);
    EXPECT_EQ(owners(), (QStringList{"Amy", "Zed"}));
    EXPECT_EQ(ownerList()->currentRow(), 0);
    EXPECT_TRUE(page->findChild<QRadioButton*>("m_pPersonalSounds")->isEnabled());

    page->move(30, 40);
    ownerList()->setCurrentRow(1);
    plugin.hideDlg(0);
    EXPECT_TRUE(page->isHidden());
    addProfile("New", false);
    EXPECT_EQ(plugin.showDlg(0, nullptr), 0);
    EXPECT_EQ(plugin.optionsDlg, page);
    EXPECT_EQ(owners(), (QStringList{"Amy", "Zed"}));
    EXPECT_EQ(ownerList()->currentRow(), 1);
    EXPECT_EQ(page->pos(), QPoint(0, 0));
    EXPECT_FALSE(page->isHidden());
}

TEST_F(Hooks, EmptyMapGivesAnEmptyPage) {
    plugin.showDlg(0, &parent);
    ASSERT_NE(plugin.optionsDlg, nullptr);
    EXPECT_EQ(ownerList()->count(), 0);
    EXPECT_EQ(ownerList()->currentRow(), -1);
}

TEST_F(Hooks, HideBeforeShowIsHarmless) {
    plugin.hideDlg(0);
    EXPECT_EQ(plugin.optionsDlg, nullptr);
}

TEST_F(Hooks, PageGoesWithItsParent) {
    auto host = std::make_unique<QWidget>();
    plugin.showDlg(0, host.get());
    ASSERT_NE(plugin.optionsDlg, nullptr);
    host.reset();
    EXPECT_EQ(plugin.optionsDlg, nullptr);
    plugin.hideDlg(0);
}

TEST_F(Hooks, IconIsACopyOfTheBuiltInPicture) {
    CVantryBitmap bitmap;
    EXPECT_TRUE(plugin.getIcon(bitmap));
    const char* const* lines = bitmap.GetBitmap();
    ASSERT_NE(lines, nullptr);
    EXPECT_NE(static_cast<const void*>(lines), static_cast<const void*>(icon));
    EXPECT_STREQ(lines[0], "16 16 256 2");
}

} // namespace
