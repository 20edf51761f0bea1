#include "contactspage.h"

#include <unordered_map>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "archive/names.h"
#include "archive/summary.h"
#include "archivefile.h"

namespace gui {

namespace {

constexpr int kOnListRole = Qt::UserRole + 1;

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

/// Rows matching the filter text in any column; those not on the list only when asked for.
class ContactFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setShowAll(bool all) {
        showAll_ = all;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        return (showAll_ ||
                sourceModel()->index(row, ContactsPage::kUin, parent).data(kOnListRole).toBool()) &&
               QSortFilterProxyModel::filterAcceptsRow(row, parent);
    }

private:
    bool showAll_ = false;
};

ContactsPage::ContactsPage(QWidget* parent) : QWidget(parent) {
    model_ = new QStandardItemModel(0, kDetails + 1, this);
    model_->setHorizontalHeaderLabels({tr("Name"), tr("Group"), tr("Status"), tr("Messages"),
                                       tr("UIN"), tr("Nickname"), tr("First name"), tr("Last name"),
                                       tr("E-mail"), tr("Details")});
    filter_ = new ContactFilter(this);
    filter_->setSourceModel(model_);
    filter_->setFilterKeyColumn(-1);
    filter_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    filter_->setSortCaseSensitivity(Qt::CaseInsensitive);
    filter_->setSortLocaleAware(true);

    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("contactFilter"));
    search_->setPlaceholderText(tr("Filter by any column"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        filter_->setFilterFixedString(text);
        updateCount();
    });
    showRemoved_ = new QCheckBox(tr("Show &removed contacts"), this);
    showRemoved_->setObjectName(QStringLiteral("showRemoved"));
    connect(showRemoved_, &QCheckBox::toggled, this, [this](bool on) {
        filter_->setShowAll(on);
        updateCount();
    });
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("contactCount"));
    count_->setWordWrap(true);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("contactTable"));
    table_->setModel(filter_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(kName, Qt::AscendingOrder);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    connect(table_, &QTableView::activated, this, [this](const QModelIndex& index) {
        const QModelIndex row = index.siblingAtColumn(kMessages);
        if (row.data(Qt::DisplayRole).toInt() > 0) {
            emit conversationWanted(index.siblingAtColumn(kUin).data(Qt::DisplayRole).toUInt());
        }
    });

    auto* top = new QHBoxLayout;
    top->addWidget(search_, 1);
    top->addWidget(showRemoved_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(count_);
    layout->addWidget(table_, 1);
}

void ContactsPage::setArchive(const ArchiveFile* archive) {
    model_->removeRows(0, model_->rowCount());
    static const std::vector<ContactRow> none;
    std::unordered_map<uint32_t, int> messages;
    for (const Conversation& c :
         archive != nullptr ? archive->conversations() : std::vector<Conversation>()) {
        messages[c.uin] = c.messages;
    }
    for (const ContactRow& row : archive != nullptr ? archive->contacts() : none) {
        const archive::Contact& c = row.contact;
        QList<QStandardItem*> items;
        auto* uin = new QStandardItem;
        uin->setData(static_cast<qulonglong>(c.uin), Qt::DisplayRole);
        uin->setData(c.hasRecord && archive::onList(c.status), kOnListRole);
        // A number, so that the column sorts by it.
        auto* count = new QStandardItem;
        const auto found = messages.find(c.uin);
        count->setData(found != messages.end() ? found->second : 0, Qt::DisplayRole);
        if (found != messages.end()) {
            count->setToolTip(tr("Double-click to read them"));
        }
        items << new QStandardItem(row.name) << new QStandardItem(row.group)
              << new QStandardItem(QString::fromLatin1(archive::standing(c))) << count << uin
              << new QStandardItem(fromStd(c.nickName)) << new QStandardItem(fromStd(c.firstName))
              << new QStandardItem(fromStd(c.lastName))
              << new QStandardItem(c.emails.empty() ? QString() : fromStd(c.emails.front()));
        auto* details = new QStandardItem(row.details.join(QStringLiteral("; ")));
        details->setToolTip(row.details.join(QLatin1Char('\n')));
        items << details;
        model_->appendRow(items);
    }
    // The same words and numbers as tolvane-import's summary.
    counts_ = archive != nullptr ? fromStd(archive::countsLine(archive->standings()))
                                 : fromStd(archive::countsLine({}));
    table_->resizeColumnsToContents();
    updateCount();
}

int ContactsPage::shownCount() const {
    return filter_->rowCount();
}

void ContactsPage::updateCount() {
    count_->setText(tr("%1 \u2013 %2 shown").arg(counts_).arg(shownCount()));
}

} // namespace gui
