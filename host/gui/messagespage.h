#pragma once

#include <cstdint>

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace gui {

class ArchiveFile;
class MessageModel;

/// The message history of the ICQ archive, one conversation at a time: the contacts with
/// messages on the left, the chosen one's messages (date, sender, text) on the right, and
/// below them the chosen message whole. A search keeps the conversations and messages that
/// hold its text. The conversation's page of the exported history opens in the web browser.
class MessagesPage : public QWidget {
    Q_OBJECT

public:
    explicit MessagesPage(QWidget* parent = nullptr);

    /// Shows the history of `archive` (none for null); `archive` outlives its use here.
    void setArchive(const ArchiveFile* archive);
    /// Chooses the conversation with `uin`, ending a search that hides it; false when there is
    /// none.
    bool showConversation(uint32_t uin);
    /// The field that searches the messages.
    QLineEdit* searchField() const { return search_; }

signals:
    /// Something the page could not do, in one line for the status line.
    void problem(const QString& text);

private:
    // Hands the chosen conversation's page of the history to the web browser.
    void openPage();
    // Searches for what the search field holds without waiting for a pause.
    void searchNow();
    void fillConversations();
    void fillMessages();
    void showMessage();
    // Puts the messages chosen in the list on the clipboard, whole, in the order of the list.
    void copyMessages();

    const ArchiveFile* archive_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTimer* searchPause_ = nullptr;
    QListWidget* conversations_ = nullptr;
    QLabel* heading_ = nullptr;
    QPushButton* openPage_ = nullptr;
    MessageModel* model_ = nullptr;
    QTreeView* messages_ = nullptr;
    QPlainTextEdit* reading_ = nullptr;
};

} // namespace gui
