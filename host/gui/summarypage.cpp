#include "summarypage.h"

#include <algorithm>

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "archive/summary.h"
#include "archivefile.h"
#include "runrecord.h"
#include "wording.h"

namespace gui {

namespace {

QString owner(const IcqRecord& r) {
    if (!r.hasOwner) {
        return SummaryPage::tr("not imported");
    }
    return SummaryPage::tr("%1 (UIN %2)")
        .arg(r.nickname.isEmpty() ? SummaryPage::tr("no nickname") : r.nickname,
             r.uin.isEmpty() ? SummaryPage::tr("unknown") : r.uin);
}

QString server(const IcqRecord& r) {
    if (!r.serverChosen) {
        return SummaryPage::tr("not imported");
    }
    return SummaryPage::tr("%1, %2").arg(r.host.isEmpty() ? SummaryPage::tr("host unknown")
                                                          : r.host,
                                         r.port.isEmpty() ? SummaryPage::tr("port unknown")
                                                          : SummaryPage::tr("port %1").arg(r.port));
}

QString contacts(const IcqRecord& r) {
    if (!r.hasContacts) {
        return SummaryPage::tr("not imported");
    }
    // The plug-in counts every contact record it finds, removed ones among them; the archive's
    // row tells them apart.
    const QString list =
        counted(r.contacts, SummaryPage::tr("contact record"), SummaryPage::tr("contact records"));
    return r.appendContacts ? SummaryPage::tr("%1, added to the current contact list").arg(list)
                            : SummaryPage::tr("%1, replacing the current contact list").arg(list);
}

QString sounds(const IcqRecord& r) {
    if (!r.hasSounds) {
        return SummaryPage::tr("not imported");
    }
    int carried = 0;
    for (const SoundRow& sound : r.sounds) {
        carried += sound.carried.isEmpty() ? 0 : 1;
    }
    const int events = static_cast<int>(r.sounds.size());
    QString text = SummaryPage::tr("%1, %2 carried")
                       .arg(counted(events, SummaryPage::tr("event"), SummaryPage::tr("events")),
                            counted(carried, SummaryPage::tr("file"), SummaryPage::tr("files")));
    if (carried < events) {
        text += SummaryPage::tr(" (%1 missing)").arg(events - carried);
    }
    return text + (r.playSound ? SummaryPage::tr("; sounds on") : SummaryPage::tr("; sounds off"));
}

QString leftOut(const IcqRecord& r) {
    QStringList out;
    if (!r.hasOwner) {
        out << SummaryPage::tr("the owner's account");
    }
    if (!r.serverChosen) {
        out << SummaryPage::tr("the server settings");
    }
    if (!r.contactsChosen) {
        out << SummaryPage::tr("the contacts");
    }
    if (!r.soundsChosen) {
        out << SummaryPage::tr("the sounds");
    }
    return out.isEmpty() ? SummaryPage::tr("nothing") : out.join(QStringLiteral(", "));
}

std::vector<SummaryRow> archiveRows(const ArchiveFile* archive, const ArchiveReport& report) {
    if (archive == nullptr) {
        return {{SummaryPage::tr("Archive:"), SummaryPage::tr("not written")}};
    }
    const auto conversations = archive->conversations();
    const int messages = messageCount(conversations);
    QString messagesText =
        SummaryPage::tr("%1 in %2")
            .arg(QString::fromStdString(archive::grouped(static_cast<uint64_t>(messages))),
                 counted(static_cast<int>(conversations.size()), SummaryPage::tr("conversation"),
                         SummaryPage::tr("conversations")));
    if (report.leftInDeletedFolder > 0) {
        messagesText += SummaryPage::tr("; %1 in ICQ's Deleted folder left out (see History above)")
                            .arg(grouped(report.leftInDeletedFolder));
    }
    return {{SummaryPage::tr("Archive:"),
             QString::fromStdString(archive::countsLine(archive->standings()))},
            {SummaryPage::tr("Messages:"), messagesText},
            {SummaryPage::tr("Times:"), SummaryPage::tr("shown in %1").arg(archive->timeZone())}};
}

QString warningLines(const QStringList& warnings) {
    return warnings.isEmpty() ? SummaryPage::tr("none") : warnings.join(QLatin1Char('\n'));
}

} // namespace

std::vector<SummaryRow> icqSummary(const QString& outcome, const IcqRecord& record,
                                   const ArchiveFile* archive, const ArchiveReport& report,
                                   const QStringList& warnings, const QString& folder) {
    std::vector<SummaryRow> rows = {{SummaryPage::tr("Import:"), outcome},
                                    {SummaryPage::tr("Owner:"), owner(record)},
                                    {SummaryPage::tr("Server:"), server(record)},
                                    {SummaryPage::tr("Contacts:"), contacts(record)},
                                    {SummaryPage::tr("Sounds:"), sounds(record)},
                                    {SummaryPage::tr("Left out:"), leftOut(record)}};
    for (SummaryRow& row : archiveRows(archive, report)) {
        rows.push_back(std::move(row));
    }
    rows.emplace_back(SummaryPage::tr("Warnings:"), warningLines(warnings));
    rows.emplace_back(SummaryPage::tr("Files:"), folder);
    return rows;
}

std::vector<SummaryRow> folderSummary(const QString& outcome, const QStringList& databases,
                                      const ArchiveReport& report, const ArchiveFile* archive,
                                      const QStringList& warnings, const QString& folder) {
    std::vector<SummaryRow> rows = {
        {SummaryPage::tr("Import:"), outcome},
        {SummaryPage::tr("Read from:"), databases.join(QLatin1Char('\n'))}};
    if (databases.size() > 1 && report.keptOnce) {
        rows.emplace_back(SummaryPage::tr("Copies:"),
                          SummaryPage::tr("%1 read together; %2 found in more than one kept once")
                              .arg(databases.size())
                              .arg(counted(*report.keptOnce, SummaryPage::tr("message"),
                                           SummaryPage::tr("messages"))));
    }
    if (archive != nullptr) {
        rows.emplace_back(
            SummaryPage::tr("Owner:"),
            SummaryPage::tr("%1 (UIN %2)").arg(archive->ownerName()).arg(archive->ownerUin()));
    }
    rows.emplace_back(SummaryPage::tr("Left out:"),
                      SummaryPage::tr("the server settings, the account and the sounds, which "
                                      "only an import with the plug-in brings"));
    for (SummaryRow& row : archiveRows(archive, report)) {
        rows.push_back(std::move(row));
    }
    rows.emplace_back(SummaryPage::tr("Warnings:"), warningLines(warnings));
    rows.emplace_back(SummaryPage::tr("Files:"), folder);
    return rows;
}

QStringList whatCameOver(const nlohmann::ordered_json& record, const ArchiveFile* archive) {
    QStringList came;
    const IcqRecord icq = isIcqRecord(record) ? readIcqRecord(record) : IcqRecord();
    if (icq.hasOwner) {
        came << (icq.nickname.isEmpty() ? SummaryPage::tr("the owner's account")
                                        : SummaryPage::tr("%1's account").arg(icq.nickname));
    }
    if (icq.serverChosen && !icq.host.isEmpty()) {
        came << SummaryPage::tr("the server settings");
    }
    if (archive != nullptr) {
        // Counted as the summary counts them: those awaiting authorisation apart.
        const auto onList = static_cast<int>(
            archive::countOf(archive->standings(), archive::ContactStatus::OnList));
        const auto awaiting = static_cast<int>(
            archive::countOf(archive->standings(), archive::ContactStatus::AwaitingAuthorisation));
        came << SummaryPage::tr("%1 on the list")
                    .arg(counted(onList, SummaryPage::tr("contact"), SummaryPage::tr("contacts")));
        if (awaiting > 0) {
            came << SummaryPage::tr("%1 awaiting authorisation").arg(awaiting);
        }
        const int messages = messageCount(archive->conversations());
        came << counted(messages, SummaryPage::tr("message"), SummaryPage::tr("messages"));
    } else if (icq.hasContacts) {
        came << counted(icq.contacts, SummaryPage::tr("contact"), SummaryPage::tr("contacts"));
    }
    if (icq.hasSounds) {
        const auto carried = std::count_if(icq.sounds.begin(), icq.sounds.end(),
                                           [](const SoundRow& s) { return !s.carried.isEmpty(); });
        came << (carried == 0 ? SummaryPage::tr("the sound settings")
                              : counted(static_cast<int>(carried), SummaryPage::tr("sound file"),
                                        SummaryPage::tr("sound files")));
    }
    return came;
}

std::vector<SummaryRow> plainSummary(const QString& outcome, const QStringList& warnings,
                                     const QString& folder) {
    return {{SummaryPage::tr("Import:"), outcome},
            {SummaryPage::tr("Warnings:"), warningLines(warnings)},
            {SummaryPage::tr("Files:"), folder}};
}

SummaryPage::SummaryPage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    grid_ = new QGridLayout;
    grid_->setColumnStretch(1, 1);
    grid_->setHorizontalSpacing(12);
    layout->addLayout(grid_);
    layout->addStretch(1);
}

void SummaryPage::setRows(const std::vector<SummaryRow>& rows) {
    while (QLayoutItem* item = grid_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    rows_ = rows;
    for (size_t i = 0; i < rows.size(); ++i) {
        auto* label = new QLabel(rows[i].first, this);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        auto* value = new QLabel(rows[i].second, this);
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const int row = static_cast<int>(i);
        grid_->addWidget(label, row, 0, Qt::AlignTop | Qt::AlignLeft);
        grid_->addWidget(value, row, 1, Qt::AlignTop);
    }
}

QString SummaryPage::text() const {
    QString text;
    for (const auto& [label, value] : rows_) {
        text += label + QLatin1Char(' ') + value + QLatin1Char('\n');
    }
    return text;
}

} // namespace gui
