#include "messagespage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "archivefile.h"

namespace gui {

MessagesPage::MessagesPage(QWidget* parent) : QWidget(parent) {
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("messageSearch"));
    search_->setPlaceholderText(tr("Search the messages"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, this, &MessagesPage::fillConversations);

    conversations_ = new QListWidget(this);
    conversations_->setObjectName(QStringLiteral("conversationList"));
    connect(conversations_, &QListWidget::currentRowChanged, this, &MessagesPage::fillMessages);

    auto* right = new QWidget(this);
    heading_ = new QLabel(right);
    heading_->setObjectName(QStringLiteral("conversationHeading"));
    messages_ = new QTreeWidget(right);
    messages_->setObjectName(QStringLiteral("messageList"));
    messages_->setHeaderLabels({tr("Date"), tr("From"), tr("Text")});
    messages_->setRootIsDecorated(false);
    messages_->setAlternatingRowColors(true);
    messages_->setWordWrap(true);
    messages_->header()->setSectionResizeMode(kTime, QHeaderView::ResizeToContents);
    messages_->header()->setSectionResizeMode(kFrom, QHeaderView::ResizeToContents);
    // The list shows the start of each message; the one chosen is read whole below it.
    reading_ = new QPlainTextEdit(right);
    reading_->setObjectName(QStringLiteral("messageText"));
    reading_->setReadOnly(true);
    connect(messages_, &QTreeWidget::currentItemChanged, this, &MessagesPage::showMessage);
    auto* reader = new QSplitter(Qt::Vertical, right);
    reader->addWidget(messages_);
    reader->addWidget(reading_);
    reader->setStretchFactor(0, 2);
    reader->setStretchFactor(1, 1);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(heading_);
    rightLayout->addWidget(reader, 1);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(conversations_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({170, 530});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(splitter, 1);
}

void MessagesPage::setArchive(const ArchiveFile* archive) {
    archive_ = archive;
    fillConversations();
}

bool MessagesPage::showConversation(uint32_t uin) {
    for (int pass = 0; pass < 2; ++pass) {
        for (int row = 0; row < conversations_->count(); ++row) {
            if (conversations_->item(row)->data(Qt::UserRole).toUInt() == uin) {
                conversations_->setCurrentRow(row);
                return true;
            }
        }
        if (search_->text().isEmpty()) {
            break;
        }
        search_->clear();
    }
    return false;
}

void MessagesPage::fillConversations() {
    const uint32_t current = conversations_->currentItem() != nullptr
                                 ? conversations_->currentItem()->data(Qt::UserRole).toUInt()
                                 : 0;
    const QSignalBlocker blocker(conversations_);
    conversations_->clear();
    int keep = 0;
    if (archive_ != nullptr) {
        for (const Conversation& c : archive_->conversations(search_->text())) {
            auto* item =
                new QListWidgetItem(tr("%1 (%2)").arg(c.name).arg(c.messages), conversations_);
            item->setData(Qt::UserRole, c.uin);
            item->setData(Qt::UserRole + 1, c.name);
            if (c.uin == current) {
                keep = conversations_->count() - 1;
            }
        }
    }
    conversations_->setCurrentRow(conversations_->count() > 0 ? keep : -1);
    fillMessages();
}

void MessagesPage::fillMessages() {
    messages_->clear();
    reading_->clear();
    const QListWidgetItem* item = conversations_->currentItem();
    if (archive_ == nullptr || item == nullptr) {
        heading_->setText(search_->text().isEmpty()
                              ? tr("No messages.")
                              : tr("No message holds \"%1\".").arg(search_->text()));
        return;
    }
    const uint32_t uin = item->data(Qt::UserRole).toUInt();
    const QString contact = item->data(Qt::UserRole + 1).toString();
    const auto rows = archive_->messages(uin, search_->text());
    heading_->setText(
        tr("%1 with %2 (UIN %3)")
            .arg(rows.size() == 1 ? tr("1 message") : tr("%1 messages").arg(rows.size()), contact)
            .arg(uin));
    QList<QTreeWidgetItem*> items;
    for (const MessageRow& row : rows) {
        QString text = row.text;
        if (!row.url.isEmpty()) {
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + row.url;
        }
        // What is not a plain message says so first: "Authorisation request: please add me".
        if (!row.label.isEmpty()) {
            text = text.isEmpty() ? row.label : row.label + QStringLiteral(": ") + text;
        }
        // "2001-01-02T01:50:43+01:00": the date and time read, the offset in the tool tip.
        const QString when = row.time.left(19).replace(QLatin1Char('T'), QLatin1Char(' '));
        const QString from = row.sent ? archive_->ownerName() : contact;
        auto* entry = new QTreeWidgetItem({when, from, text});
        entry->setToolTip(kTime, row.time);
        entry->setToolTip(kFrom, row.sent ? tr("sent by %1").arg(archive_->ownerName())
                                          : tr("received from %1").arg(contact));
        entry->setToolTip(kText, text);
        entry->setData(kText, Qt::UserRole,
                       tr("%1 %2, %3:\n\n%4").arg(when, row.time.mid(19), from, text));
        items << entry;
    }
    messages_->addTopLevelItems(items);
    messages_->setCurrentItem(messages_->topLevelItem(0));
}

void MessagesPage::showMessage() {
    const QTreeWidgetItem* item = messages_->currentItem();
    // Stored line ends are CR LF; the pane wants one break per line.
    reading_->setPlainText(item == nullptr
                               ? QString()
                               : item->data(kText, Qt::UserRole)
                                     .toString()
                                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    reading_->moveCursor(QTextCursor::Start);
    // What was searched for stands out, the first of it in sight.
    QList<QTextEdit::ExtraSelection> found;
    const QString wanted = search_->text();
    QTextCursor at = wanted.isEmpty() ? QTextCursor() : reading_->document()->find(wanted);
    for (; !at.isNull(); at = reading_->document()->find(wanted, at)) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = at;
        mark.format.setBackground(palette().color(QPalette::Highlight));
        mark.format.setForeground(palette().color(QPalette::HighlightedText));
        found << mark;
    }
    reading_->setExtraSelections(found);
    if (!found.isEmpty()) {
        QTextCursor first = found.constFirst().cursor;
        first.setPosition(first.selectionStart());
        reading_->setTextCursor(first);
        reading_->ensureCursorVisible();
    }
}

} // namespace gui
