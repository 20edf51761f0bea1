#pragma once

#include <map>
#include <string>

#include <QWidget>

class QLabel;
class QPushButton;

namespace gui {

/// The drives besides C: of an installation whose programs lie on other partitions (ICQ in
/// D:\ICQ): each letter with the folder where that drive is mounted, added with Add drive…
/// (a letter, then its folder) and cleared as a whole.
class DrivesRow : public QWidget {
    Q_OBJECT

public:
    /// Starts with `drives` (as given on the command line).
    explicit DrivesRow(std::map<char, std::string> drives, QWidget* parent = nullptr);

    /// Letter (upper case) to local folder.
    const std::map<char, std::string>& drives() const { return drives_; }
    /// Forgets every drive, without changed(): they belonged to another disk.
    void forget();
    /// The letter Add drive… offers first: one a path of the installation is on.
    void offer(char letter) { offered_ = letter; }
    /// While locked (during an import) nothing can be changed.
    void setLocked(bool locked);

signals:
    /// A drive was added, or the drives cleared.
    void changed();

private:
    void add();
    void showDrives();

    std::map<char, std::string> drives_;
    char offered_ = 'D';
    bool locked_ = false;
    QLabel* label_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* clear_ = nullptr;
};

} // namespace gui
