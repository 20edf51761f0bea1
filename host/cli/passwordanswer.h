#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QObject>

namespace cli {

/// Answers the plug-in's password dialog whenever one opens: with the given password, or with
/// what `ask` answers (the terminal prompt); Abort when there is nothing to answer with.
class PasswordAnswer : public QObject {
    Q_OBJECT

public:
    using Asker = std::function<std::optional<std::string>()>;
    explicit PasswordAnswer(Asker ask, QObject* parent = nullptr);
    /// How many dialogs were answered.
    int answered() const { return answered_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void answer(QWidget* dialog);

    Asker ask_;
    int answered_ = 0;
};

} // namespace cli
