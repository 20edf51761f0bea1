#include "pagestate.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <QAbstractButton>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>

namespace cli {

namespace {

// A page state is a few hundred bytes; anything near this is not one.
constexpr size_t kMaxStateSize = 1 << 20;
const std::string kOption = "--page-state-stdin: ";

bool readStdin(QByteArray& bytes, std::string& error) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = kOption + "cannot read standard input (" + std::strerror(errno) + ")";
            return false;
        }
        if (bytes.size() + got > static_cast<qsizetype>(kMaxStateSize)) {
            error = kOption + "more than 1 MiB on standard input (expected a page state)";
            return false;
        }
        bytes.append(buffer, got);
    }
}

// Hands out the page's widgets of one kind, each once, by object name (and, for buttons, text).
template <class Widget> class Widgets {
public:
    explicit Widgets(QWidget* host) {
        for (Widget* widget : host->findChildren<Widget*>()) {
            free_.push_back(widget);
        }
    }
    Widget* take(const QString& name, const QString& text, bool byText) {
        for (auto it = free_.begin(); it != free_.end(); ++it) {
            if ((*it)->objectName() == name && (!byText || textOf(*it) == text)) {
                Widget* found = *it;
                free_.erase(it);
                return found;
            }
        }
        return nullptr;
    }

private:
    static QString textOf(QWidget* widget) {
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        return button != nullptr ? button->text() : QString();
    }
    std::vector<Widget*> free_;
};

std::string missing(const char* kind, const QJsonObject& entry) {
    const QString text = entry.value(QStringLiteral("text")).toString();
    return kOption + "the page has no " + kind + " named \"" +
           entry.value(QStringLiteral("name")).toString().toStdString() + "\"" +
           (text.isEmpty() ? std::string() : " with the text \"" + text.toStdString() + "\"");
}

bool chooseEntries(QWidget* host, const QJsonArray& lists, std::string& error) {
    Widgets<QListWidget> widgets(host);
    for (const QJsonValue& value : lists) {
        const QJsonObject entry = value.toObject();
        QListWidget* list = widgets.take(entry.value(QStringLiteral("name")).toString(), {}, false);
        if (list == nullptr) {
            error = missing("list", entry);
            return false;
        }
        const QString current = entry.value(QStringLiteral("current")).toString();
        const auto items = list->findItems(current, Qt::MatchExactly);
        if (items.isEmpty()) {
            error = kOption + "the list \"" + list->objectName().toStdString() +
                    "\" has no entry \"" + current.toStdString() + "\"";
            return false;
        }
        list->setCurrentItem(items.constFirst());
    }
    return true;
}

bool setButtons(QWidget* host, const QJsonArray& buttons, std::string& error) {
    Widgets<QAbstractButton> widgets(host);
    std::vector<std::pair<QAbstractButton*, QJsonObject>> found;
    for (const QJsonValue& value : buttons) {
        const QJsonObject entry = value.toObject();
        QAbstractButton* button =
            widgets.take(entry.value(QStringLiteral("name")).toString(),
                         entry.value(QStringLiteral("text")).toString(), true);
        if (button == nullptr) {
            error = missing("button", entry);
            return false;
        }
        found.emplace_back(button, entry);
    }
    // Clicks first, so the plug-in's own rules run; then the states exactly as they were.
    for (const auto& [button, entry] : found) {
        if (button->isCheckable() && button->isEnabled() &&
            button->isChecked() != entry.value(QStringLiteral("checked")).toBool()) {
            button->click();
        }
    }
    for (const auto& [button, entry] : found) {
        button->setEnabled(entry.value(QStringLiteral("enabled")).toBool(true));
        if (button->isCheckable()) {
            button->setChecked(entry.value(QStringLiteral("checked")).toBool());
        }
    }
    return true;
}

bool typeTexts(QWidget* host, const QJsonArray& edits, std::string& error) {
    Widgets<QLineEdit> widgets(host);
    for (const QJsonValue& value : edits) {
        const QJsonObject entry = value.toObject();
        QLineEdit* edit = widgets.take(entry.value(QStringLiteral("name")).toString(), {}, false);
        if (edit == nullptr) {
            error = missing("line edit", entry);
            return false;
        }
        edit->setText(entry.value(QStringLiteral("text")).toString());
    }
    return true;
}

} // namespace

bool applyPageStateFromStdin(QWidget* host, std::string& error) {
    QByteArray bytes;
    if (!readStdin(bytes, error)) {
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (!document.isObject()) {
        error = kOption + "expected a JSON object on standard input (" +
                (document.isNull() ? parse.errorString().toStdString() + " at byte " +
                                         std::to_string(parse.offset)
                                   : std::string("found another JSON value")) +
                ")";
        return false;
    }
    const QJsonObject state = document.object();
    return chooseEntries(host, state.value(QStringLiteral("lists")).toArray(), error) &&
           setButtons(host, state.value(QStringLiteral("buttons")).toArray(), error) &&
           typeTexts(host, state.value(QStringLiteral("lineEdits")).toArray(), error);
}

} // namespace cli
