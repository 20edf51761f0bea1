#include "recordtree.h"

#include <QHeaderView>

namespace gui {

namespace {

QString text(const nlohmann::ordered_json& value) {
    return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString();
}

// A carried file's value is its local path in double quotes; the tree shows the path.
QString unquoted(QString path) {
    if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"'))) {
        path = path.mid(1, path.size() - 2);
    }
    return path;
}

} // namespace

const QString RecordTree::kHiddenValue = QStringLiteral("\u2022\u2022\u2022\u2022\u2022\u2022");

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

void RecordTree::showRecord(const nlohmann::ordered_json& record) {
    clear();
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
        item->setText(kValue, tr("%1 entries").arg(item->childCount()));
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
            item->setText(kValue, value);
            item->setToolTip(kValue, value);
        }
    }
}

} // namespace gui
