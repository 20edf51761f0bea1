#include "recordtree.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using json = nlohmann::ordered_json;

// "name: value | carried" per item, children indented by two spaces.
void describe(const QTreeWidgetItem* item, int depth, QStringList& lines) {
    QString line = QString(depth * 2, QLatin1Char(' ')) + item->text(0);
    for (int column = 1; column < 3; ++column) {
        if (!item->text(column).isEmpty()) {
            line +=
                (column == 1 ? QStringLiteral(": ") : QStringLiteral(" | ")) + item->text(column);
        }
    }
    lines << line;
    for (int i = 0; i < item->childCount(); ++i) {
        describe(item->child(i), depth + 1, lines);
    }
}

QStringList describe(const gui::RecordTree& tree) {
    QStringList lines;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        describe(tree.topLevelItem(i), 0, lines);
    }
    return lines;
}

TEST(RecordTree, ShowsSectionsValuesFilesAndNesting) {
    const json record = json::parse(R"({
      "format": "tolvane-record/1", "plugin": "ICQ", "result": -1, "complete": false,
      "sections": [
        { "name": "ICQ_OWNER", "closed": true, "entries": [
            { "key": "UIN", "value": "111" },
            { "key": "Password", "value": "secret" },
            { "key": "ownerPASSWORD2", "value": "x" } ] },
        { "name": "ICQ_SOUNDS_SETTINGS", "closed": true, "entries": [
            { "key": "ICQMessage", "file": "\"/win/Program Files/ICQ/msg a.wav\"",
              "carried": "files/msg a.wav" },
            { "key": "ICQALAdmin", "file": "\"/win/admin.wav\"", "carried": null } ] },
        { "name": "CONTACTS", "closed": false, "entries": [
            { "section": { "name": "contact_1", "closed": true, "entries": [
                { "key": "Nickname", "value": "Bär" },
                { "section": { "name": "deeper", "closed": true, "entries": [] } } ] } },
            { "key": "No_contacts", "value": "1" } ] }
      ] })");
    gui::RecordTree tree;
    tree.showRecord(record);
    const QString hidden = gui::RecordTree::kHiddenValue;
    EXPECT_EQ(
        describe(tree),
        (QStringList{"ICQ_OWNER", "  UIN: 111", "  Password: " + hidden,
                     "  ownerPASSWORD2: " + hidden, "ICQ_SOUNDS_SETTINGS",
                     "  ICQMessage: /win/Program Files/ICQ/msg a.wav | files/msg a.wav",
                     "  ICQALAdmin: /win/admin.wav | not carried",
                     "CONTACTS: (not closed: the run stopped here)", "  contact_1",
                     QStringLiteral("    Nickname: B\u00e4r"), "    deeper", "  No_contacts: 1"}));
    EXPECT_TRUE(tree.topLevelItem(2)->child(0)->isExpanded());
    EXPECT_TRUE(tree.topLevelItem(0)->font(0).bold());

    // A long section starts closed and says how long it is.
    json many = json::array();
    for (int i = 0; i < 13; ++i) {
        many.push_back({{"key", "k"}, {"value", std::to_string(i)}});
    }
    tree.showRecord({{"sections", {{{"name", "LONG"}, {"closed", true}, {"entries", many}}}}});
    EXPECT_FALSE(tree.topLevelItem(0)->isExpanded());
    EXPECT_EQ(tree.topLevelItem(0)->text(1), QStringLiteral("13 entries"));
    many.erase(many.begin());
    tree.showRecord({{"sections", {{{"name", "LONG"}, {"closed", true}, {"entries", many}}}}});
    EXPECT_TRUE(tree.topLevelItem(0)->isExpanded());

    // A new record replaces the old one; a record without sections shows nothing.
    tree.showRecord(json::parse(R"({"format": "tolvane-record/1", "sections": []})"));
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    tree.showRecord(
        json::parse(R"({"sections": [ {"name": "S", "entries": [ 5, {"key": "k"} ]} ]})"));
    EXPECT_EQ(describe(tree), (QStringList{"S", "  k"}));
}

} // namespace
