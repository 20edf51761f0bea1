#pragma once

#include <vector>

#include <QString>
#include <QWidget>

#include "runrecord.h"

class QLabel;
class QSoundEffect;
class QTreeWidget;

namespace gui {

/// The sound events of an ICQ record: each event with its file on the Windows disk and its
/// copy in the bundle, and a play button for each carried copy where the window was built
/// with Qt Multimedia.
class SoundsPage : public QWidget {
    Q_OBJECT

public:
    /// The list's columns.
    enum Column { kEvent, kFile, kCarried, kPlay };
    /// True when the window can play sounds.
    static bool canPlay();

    explicit SoundsPage(QWidget* parent = nullptr);
    ~SoundsPage() override;

    /// Shows `record`'s sounds; carried copies lie below `runFolder`.
    void setRecord(const IcqRecord& record, const QString& runFolder);
    /// The file last played; empty before.
    QString playing() const { return playing_; }

private:
    void play(const QString& path);

    QLabel* note_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QString playing_;
    QSoundEffect* sound_ = nullptr;
};

} // namespace gui
