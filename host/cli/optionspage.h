#pragma once

#include <string>

#include <QString>

class QAbstractButton;
class QDialog;
class QLineEdit;
class QListWidget;
class QWidget;

namespace cli {

/// The plug-in's options page inside a host widget, set the way a person would set it: by
/// clicking its buttons, choosing in its list and typing into its field.
class OptionsPage {
public:
    /// The page the plug-in's showDlg put into `parent`; invalid when there is none.
    explicit OptionsPage(QWidget* parent);
    bool valid() const { return page_ != nullptr; }

    /// The nickname's bytes of the owner chosen on the page; empty when none is.
    std::string chosenOwner() const;
    /// Chooses the owner whose nickname has exactly the bytes of `nickname`. False when no
    /// owner is listed so.
    bool chooseOwner(const std::string& nickname);
    /// Clicks a check box or radio button by its text as shown ("Import Con&tacts").
    void click(const QString& text);
    /// Types the owner password into the page's field.
    void typePassword(const std::string& password);

private:
    QAbstractButton* button(const QString& text) const;

    QDialog* page_ = nullptr;
    QListWidget* owners_ = nullptr;
    QLineEdit* password_ = nullptr;
};

} // namespace cli
