#pragma once

#include <utility>
#include <vector>

#include <QString>
#include <QStringList>
#include <QWidget>
#include <nlohmann/json.hpp>

class QGridLayout;

namespace gui {

class ArchiveFile;
struct ArchiveReport;
struct IcqRecord;

/// One line of the summary: what it is about, and what became of it.
using SummaryRow = std::pair<QString, QString>;

/// What a person reads after an ICQ import: the outcome, the owner (nickname and UIN), the
/// server, contacts and sounds, what was left out, the archive's contacts and messages (with
/// those of ICQ's Deleted folder that its `report` counts as left out), the warnings and the
/// folder of the files.
std::vector<SummaryRow> icqSummary(const QString& outcome, const IcqRecord& record,
                                   const ArchiveFile* archive, const ArchiveReport& report,
                                   const QStringList& warnings, const QString& folder);

/// The same for the database of an ICQ folder read on its own: the outcome, the database (its
/// copies, and how many messages they had in common by its `report`, when there are several),
/// its owner, the archive's contacts and messages, what a folder cannot give, the warnings and
/// the folder of the files.
std::vector<SummaryRow> folderSummary(const QString& outcome, const QStringList& databases,
                                      const ArchiveReport& report, const ArchiveFile* archive,
                                      const QStringList& warnings, const QString& folder);

/// What an ICQ import brought (`record` its record.json), in a person's words: the owner's
/// account, the server settings, contacts, messages, sound files; empty when it is no ICQ
/// import and wrote no archive.
QStringList whatCameOver(const nlohmann::ordered_json& record, const ArchiveFile* archive);

/// The same for another plug-in's import: the outcome, the warnings and the folder.
std::vector<SummaryRow> plainSummary(const QString& outcome, const QStringList& warnings,
                                     const QString& folder);

/// The summary of an import, a label and a text per line.
class SummaryPage : public QWidget {
    Q_OBJECT

public:
    explicit SummaryPage(QWidget* parent = nullptr);

    void setRows(const std::vector<SummaryRow>& rows);
    /// The rows as "Label: text" lines, as shown.
    QString text() const;

private:
    QGridLayout* grid_ = nullptr;
    std::vector<SummaryRow> rows_;
};

} // namespace gui
