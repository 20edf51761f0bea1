#include "plugin/tarvex.h"

#include <memory>
#include <string>

#include <QListWidget>
#include <QWidget>
#include <gtest/gtest.h>

#include "bitmap/images.h"
#include "bitmap/vantrybitmap.h"
#include "dialogs/optionsdlg.h"

namespace {

// Every identity text fills exactly `length` bytes: zero-filled when shorter, unterminated when
// as long or longer; nothing beyond `length` is touched.
TEST(Identity, TextsFillExactlyLengthBytes) {
    tarvex object(nullptr);
    plugin& host = object;
    for (const auto& [getter, text] :
         {std::pair<char* (plugin::*)(char*, int), std::string>{&plugin::getName, "ICQ"},
          {&plugin::getDescription, "ICQ Importer Plugin"},
          {&plugin::getToolTip, "ICQ Instant Messanger"},
          {&plugin::getMajorCategory, "Communication"},
          {&plugin::getMinorCategory, "Instant Messanger"},
          {&plugin::getInternalCategory, "ICQ"}}) {
        for (const size_t length : {size_t{2}, text.size() + 3}) {
            std::string buffer(30, 'x');
            EXPECT_EQ((host.*getter)(buffer.data(), static_cast<int>(length)), buffer.data());
            EXPECT_EQ(buffer, (text + std::string(3, '\0')).substr(0, length) +
                                  std::string(30 - length, 'x'));
        }
    }
}

class Hooks : public ::testing::Test {
protected:
    void addProfile(const std::string& nickname, bool sounds) {
        delete plugin.profileMap[nickname];
        plugin.profileMap[nickname] = new tarvex::structProfileData("/x/" + nickname, sounds);
    }
    /// The page's owners, "*" marking the current one.
    std::string owners() const {
        const auto* list = plugin.optionsDlg->findChild<QListWidget*>("m_pWinUsersList");
        std::string names;
        for (int i = 0; i < list->count(); ++i) {
            names += list->item(i)->text().toStdString() + (i == list->currentRow() ? "* " : " ");
        }
        return names;
    }

    QWidget parent;
    tarvex plugin{nullptr};
};

// The first show builds the page and fills it in map order; later ones only move and show it.
TEST_F(Hooks, FirstShowBuildsTheFilledPageLaterShowsOnlyShowIt) {
    plugin.hideDlg(0);
    addProfile("Zed", false);
    addProfile("Amy", true);
    EXPECT_EQ(plugin.showDlg(7, &parent), 0);
    COptionsDlg* page = plugin.optionsDlg;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->parentWidget(), &parent);
    EXPECT_EQ(owners(), "Amy* Zed ");
    page->move(30, 40);
    page->findChild<QListWidget*>("m_pWinUsersList")->setCurrentRow(1);
    plugin.hideDlg(0);
    EXPECT_TRUE(page->isHidden());
    addProfile("New", false);
    EXPECT_EQ(plugin.showDlg(0, nullptr), 0);
    EXPECT_EQ(plugin.optionsDlg, page);
    EXPECT_EQ(owners(), "Amy Zed* ");
    EXPECT_EQ(page->pos(), QPoint(0, 0));
    EXPECT_FALSE(page->isHidden());
}

// An empty page has no current owner; it goes with its parent, and the plug-in forgets it.
TEST_F(Hooks, EmptyPageGoesWithItsParent) {
    auto host = std::make_unique<QWidget>();
    plugin.showDlg(0, host.get());
    EXPECT_EQ(owners(), "");
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
