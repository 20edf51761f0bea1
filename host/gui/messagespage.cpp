#include "messagespage.h"

#include <algorithm>

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "archivefile.h"
#include "messagemodel.h"
#include "wording.h"

namespace gui {

MessagesPage::MessagesPage(QWidget* parent) : QWidget(parent) {
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("messageSearch"));
    search_->setPlaceholderText(tr("Search the messages"));
    search_->setClearButtonEnabled(true);
    // A search of a long history takes a moment, so it waits for a pause in the typing (or
    // Enter); leaving the search shows everything again at once.
    searchPause_ = new QTimer(this);
    searchPause_->setSingleShot(true);
    searchPause_->setInterval(300);
    connect(searchPause_, &QTimer::timeout, this, &MessagesPage::fillConversations);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) {
            searchNow();
        } else {
            searchPause_->start();
        }
    });
    connect(search_, &QLineEdit::returnPressed, this, &MessagesPage::searchNow);

    conversations_ = new QListWidget(this);
    conversations_->setObjectName(QStringLiteral("conversationList"));
    connect(conversations_, &QListWidget::currentRowChanged, this, &MessagesPage::fillMessages);

    auto* right = new QWidget(this);
    heading_ = new QLabel(right);
    heading_->setObjectName(QStringLiteral("conversationHeading"));
    openPage_ = new QPushButton(tr("Ope&n in browser"), right);
    openPage_->setObjectName(QStringLiteral("openPageButton"));
    openPage_->setToolTip(tr("Open this conversation's page of the history in the web browser"));
    connect(openPage_, &QPushButton::clicked, this, &MessagesPage::openPage);
    model_ = new MessageModel(this);
    messages_ = new QTreeView(right);
    messages_->setObjectName(QStringLiteral("messageList"));
    messages_->setModel(model_);
    messages_->setRootIsDecorated(false);
    messages_->setAlternatingRowColors(true);
    messages_->setUniformRowHeights(true);
    messages_->header()->setSectionResizeMode(MessageModel::kTime, QHeaderView::ResizeToContents);
    messages_->header()->setSectionResizeMode(MessageModel::kFrom, QHeaderView::ResizeToContents);
    // The list shows the start of each message; the one chosen is read whole below it.
    reading_ = new QPlainTextEdit(right);
    reading_->setObjectName(QStringLiteral("messageText"));
    reading_->setReadOnly(true);
    connect(messages_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MessagesPage::showMessage);
    // Messages chosen in the list are copied whole, with their time and sender (Ctrl+C, or
    // Copy on the list's menu).
    messages_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* copy = new QAction(tr("&Copy"), messages_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &MessagesPage::copyMessages);
    messages_->addAction(copy);
    messages_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* reader = new QSplitter(Qt::Vertical, right);
    reader->addWidget(messages_);
    reader->addWidget(reading_);
    reader->setStretchFactor(0, 2);
    reader->setStretchFactor(1, 1);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto* headingRow = new QHBoxLayout;
    headingRow->addWidget(heading_, 1);
    headingRow->addWidget(openPage_);
    rightLayout->addLayout(headingRow);
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
    searchNow();
}

bool MessagesPage::showConversation(uint32_t uin) {
    if (searchPause_->isActive()) {
        searchNow();
    }
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

void MessagesPage::searchNow() {
    searchPause_->stop();
    fillConversations();
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
                new QListWidgetItem(tr("%1 (%2)").arg(c.name, grouped(c.messages)), conversations_);
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
    reading_->clear();
    const QListWidgetItem* item = conversations_->currentItem();
    openPage_->setEnabled(archive_ != nullptr && item != nullptr &&
                          !archive_->historyPage(item->data(Qt::UserRole).toUInt()).isEmpty());
    if (archive_ == nullptr || item == nullptr) {
        model_->setMessages({}, QString(), QString());
        heading_->setText(search_->text().isEmpty()
                              ? tr("No messages.")
                              : tr("No message holds \"%1\".").arg(search_->text()));
        return;
    }
    const uint32_t uin = item->data(Qt::UserRole).toUInt();
    const QString contact = item->data(Qt::UserRole + 1).toString();
    auto rows = archive_->messages(uin, search_->text());
    heading_->setText(
        tr("%1 with %2 (UIN %3)")
            .arg(counted(static_cast<int>(rows.size()), tr("message"), tr("messages")), contact)
            .arg(uin));
    model_->setMessages(std::move(rows), archive_->ownerName(), contact);
    messages_->setCurrentIndex(model_->index(0, 0));
}

void MessagesPage::openPage() {
    const QListWidgetItem* item = conversations_->currentItem();
    if (archive_ == nullptr || item == nullptr) {
        return;
    }
    const QString page = archive_->historyPage(item->data(Qt::UserRole).toUInt());
    if (page.isEmpty()) {
        emit problem(tr("The history's pages are no longer there"));
    } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        emit problem(tr("No web browser could be started for %1").arg(page));
    }
}

void MessagesPage::copyMessages() {
    QModelIndexList rows = messages_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList texts;
    for (const QModelIndex& row : rows) {
        texts << row.data(MessageModel::kWholeRole).toString();
    }
    if (!texts.isEmpty()) {
        QGuiApplication::clipboard()->setText(texts.join(QStringLiteral("\n\n")));
    }
}

void MessagesPage::showMessage() {
    reading_->setPlainText(messages_->currentIndex().data(MessageModel::kWholeRole).toString());
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
