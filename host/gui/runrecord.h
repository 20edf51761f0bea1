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

/// How many messages the merged copies of a database had in common, as the archive's
/// `report` (its report.txt) counts them; nothing when it does not say.
std::optional<int> keptOnce(const QString& report);

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
