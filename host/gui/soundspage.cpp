#include "soundspage.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#ifdef TOLVANE_HAVE_MULTIMEDIA
#include <QSoundEffect>
#include <QUrl>
#endif

namespace gui {

bool SoundsPage::canPlay() {
#ifdef TOLVANE_HAVE_MULTIMEDIA
    return true;
#else
    return false;
#endif
}

SoundsPage::SoundsPage(QWidget* parent) : QWidget(parent) {
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("soundNote"));
    note_->setWordWrap(true);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("soundList"));
    QStringList headers{tr("Event"), tr("File on the Windows disk"), tr("Copy")};
    if (canPlay()) {
        headers << QString();
    }
    list_->setHeaderLabels(headers);
    list_->setRootIsDecorated(false);
    list_->setAlternatingRowColors(true);
    list_->setTextElideMode(Qt::ElideMiddle);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(kEvent, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(kFile, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(kCarried, QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note_);
    layout->addWidget(list_, 1);
}

SoundsPage::~SoundsPage() = default;

void SoundsPage::setRecord(const IcqRecord& record, const QString& runFolder) {
    list_->clear();
    if (!record.hasSounds) {
        note_->setText(tr("The sound settings were not imported."));
        return;
    }
    note_->setText(record.playSound ? tr("ICQ played these sounds:")
                                    : tr("ICQ had its sounds turned off; these were chosen:"));
    for (const SoundRow& sound : record.sounds) {
        auto* item = new QTreeWidgetItem(
            list_,
            {sound.event, sound.file, sound.carried.isEmpty() ? tr("not carried") : sound.carried});
        item->setToolTip(kEvent, sound.key);
        item->setToolTip(kFile, sound.file);
        if (canPlay() && !sound.carried.isEmpty()) {
            auto* button = new QToolButton(list_);
            button->setObjectName(QStringLiteral("play"));
            button->setText(tr("Play"));
            button->setToolTip(tr("Play %1").arg(sound.carried));
            const QString path = QDir(runFolder).filePath(sound.carried);
            connect(button, &QToolButton::clicked, this, [this, path] { play(path); });
            list_->setItemWidget(item, kPlay, button);
        }
    }
}

void SoundsPage::play(const QString& path) {
    playing_ = path;
#ifdef TOLVANE_HAVE_MULTIMEDIA
    if (sound_ == nullptr) {
        sound_ = new QSoundEffect(this);
    }
    sound_->stop();
    sound_->setSource(QUrl::fromLocalFile(path));
    sound_->play();
#endif
}

} // namespace gui
