#include "recordtree.h"

#include <QHeaderView>

#include "runrecord.h"

namespace gui {

namespace {

QString text(const nlohmann::ordered_json& value) {
    return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString();
}

} // namespace

const QString RecordTree::kHiddenValue = QStringLiteral("\u2022\u2022\u2022\u2022\u2022\u2022");
const QString RecordTree::kEmptyValue = QStringLiteral("(empty)");

RecordTree::RecordTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(3);
    setHeaderLabels({tr("Name"), tr("Value"), tr("Carried as")});
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setIndentation(16);
    // Local paths are long: the value column takes the room left and shortens them in the
    // middle, so the file name and the copy in the bundle stay in view.
    setTextElideMode(Qt::ElideMiddle);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(kName, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(kValue, QHeaderView::Stretch);
    header()->setSectionResizeMode(kCarried, QHeaderView::ResizeToContents);
}

bool RecordTree::isSecretKey(const QString& key) {
    return key.contains(QStringLiteral("password"), Qt::CaseInsensitive);
}

void RecordTree::showRecord(const nlohmann::ordered_json& record, bool icq) {
    clear();
    icq_ = icq;
    const auto sections = record.find("sections");
    if (sections != record.end() && sections->is_array()) {
        for (const auto& section : *sections) {
            addSection(nullptr, section);
        }
    }
}

QTreeWidgetItem* RecordTree::addSection(QTreeWidgetItem* parent,
                                        const nlohmann::ordered_json& section) {
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(kName, text(section.value("name", nlohmann::ordered_json())));
    item->setData(kName, Qt::UserRole, true);
    QFont bold = item->font(kName);
    bold.setBold(true);
    item->setFont(kName, bold);
    if (!section.value("closed", true)) {
        // The run stopped inside this section: what it holds may be incomplete.
        item->setText(kValue, tr("(not closed: the run stopped here)"));
        QFont italic = item->font(kValue);
        italic.setItalic(true);
        item->setFont(kValue, italic);
    }
    const auto entries = section.find("entries");
    if (entries != section.end() && entries->is_array()) {
        addEntries(item, *entries);
    }
    // Long sections (a contact list) start closed so the sections after them stay in view.
    if (item->childCount() <= kOpenSectionLimit) {
        item->setExpanded(true);
    } else if (item->text(kValue).isEmpty()) {
        // Nested sections (contacts) and values are counted apart, as the summaries count.
        int nested = 0;
        for (int i = 0; i < item->childCount(); ++i) {
            nested += item->child(i)->data(kName, Qt::UserRole).toBool() ? 1 : 0;
        }
        const int values = item->childCount() - nested;
        item->setText(kValue, nested == 0 ? tr("%1 values").arg(values)
                                          : tr("%1 sections, %2")
                                                .arg(nested)
                                                .arg(values == 1 ? tr("1 value")
                                                                 : tr("%1 values").arg(values)));
    }
    return item;
}

void RecordTree::addEntries(QTreeWidgetItem* parent, const nlohmann::ordered_json& entries) {
    for (const auto& entry : entries) {
        if (!entry.is_object()) {
            continue;
        }
        if (entry.contains("section")) {
            addSection(parent, entry["section"]);
            continue;
        }
        auto* item = new QTreeWidgetItem(parent);
        const QString key = text(entry.value("key", nlohmann::ordered_json()));
        item->setText(kName, key);
        if (entry.contains("file")) {
            const QString path = unquoted(text(entry["file"]));
            item->setText(kValue, path);
            item->setToolTip(kValue, path);
            const auto carried = entry.find("carried");
            const bool wasCarried = carried != entry.end() && carried->is_string();
            item->setText(kCarried, wasCarried ? text(*carried) : tr("not carried"));
            item->setToolTip(kCarried, wasCarried ? tr("copied into the bundle")
                                                  : tr("the file could not be copied"));
        } else if (isSecretKey(key)) {
            item->setText(kValue, kHiddenValue);
            item->setToolTip(kValue, tr("Not shown here; the saved record.json holds it."));
        } else {
            const QString value = text(entry.value("value", nlohmann::ordered_json()));
            const bool empty = icq_ && isPlaceholder(key, value);
            item->setText(kValue, empty ? kEmptyValue : value);
            item->setToolTip(kValue, empty ? tr("Empty in the contact database (the record "
                                                "holds the placeholder \"%1\")")
                                                 .arg(value)
                                           : value);
            if (empty) {
                item->setForeground(kValue, palette().brush(QPalette::Disabled, QPalette::Text));
            }
        }
    }
}

} // namespace gui
