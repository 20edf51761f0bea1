#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>

namespace gui {

/// One sound event of the record.
struct SoundRow {
    QString key;     ///< as recorded ("ICQMessage")
    QString event;   ///< for a person ("Message received")
    QString file;    ///< the file on the Windows disk, without its quotes
    QString carried; ///< the copy in the bundle ("files/msg.wav"); empty when not carried
};

/// An ICQ record in people's words: the owner's line end trimmed, placeholders read as empty,
/// sound paths without quotes and status codes as yes or no.
struct IcqRecord {
    bool failed = false;   ///< ICQ_FAILURE says the plug-in stopped
    bool hasOwner = false; ///< the owner's account was imported
    QString nickname;
    QString uin;
    bool serverChosen = false;
    QString host; ///< empty when the plug-in could not read it
    QString port;
    bool contactsChosen = false;
    bool appendContacts = true; ///< added to the current list rather than replacing it
    bool hasContacts = false;   ///< the CONTACTS section was written
    int contacts = 0;           ///< No_contacts
    bool soundsChosen = false;
    bool hasSounds = false;
    bool playSound = false;
    std::vector<SoundRow> sounds;
};

/// The record.json of the bundle in `folder`; null when there is none or it cannot be read.
nlohmann::ordered_json readRecord(const QString& folder);

/// The carried files among a record's `entries`, nested sections included.
int carriedFiles(const nlohmann::ordered_json& entries);

/// What the report.txt of an ICQ archive says of the run that wrote it.
struct ArchiveReport {
    QStringList databases;       ///< the databases read, as paths, in the order read
    std::optional<int> keptOnce; ///< messages the merged copies had in common; unknown when unsaid
    QStringList warnings;        ///< the problems reading met
    int leftInDeletedFolder = 0; ///< messages of ICQ's Deleted folder counted and left out
};

/// Reads the report.txt at `path`; empty when there is none or it cannot be read.
ArchiveReport readArchiveReport(const QString& path);

/// What a folder saved earlier holds.
enum class SavedKind {
    None,
    Import, ///< an import's bundle: its record.json, with the archive beside it or not
    Archive ///< an ICQ archive alone: its report.txt (written last) and icq-archive.sqlite
};

/// What `folder` holds, as an import, the window's Save or tolvane-icq export leave it.
SavedKind savedKind(const QString& folder);

/// True when `record` (a bundle's record.json) is the ICQ plug-in's.
bool isIcqRecord(const nlohmann::ordered_json& record);

/// Reads an ICQ record.
IcqRecord readIcqRecord(const nlohmann::ordered_json& record);

/// True when `value` is what the plug-in writes into the contact field `key` when the
/// database has nothing there ("PrimaryEmail" for Email, "-111" for UIN).
bool isPlaceholder(const QString& key, const QString& value);

/// A carried file's recorded path without its double quotes.
QString unquoted(QString path);

/// The sound event `key` names, for a person.
QString soundEvent(const QString& key);

} // namespace gui
