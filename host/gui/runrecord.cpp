#include "runrecord.h"

#include <map>

#include <QDir>
#include <QFile>

#include "archive/exportall.h"
#include "recordread.h"

namespace gui {

namespace {

using Json = nlohmann::ordered_json;

const std::string kYes = "ICQ_VQX_YES";
const std::string kNo = "ICQ_VQX_NO";

QString text(const Json& value) {
    return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString();
}

using vqrt::recordSection;
using vqrt::sectionEntries;

// The value of the first entry `key` in `section`; `missing` when there is none.
std::string value(const Json* section, const std::string& key, const std::string& missing = {}) {
    return vqrt::entryValue(section, key).value_or(missing);
}

void readSounds(const Json* section, IcqRecord& out) {
    out.hasSounds = section != nullptr;
    out.playSound = value(section, "PlaySound") == kYes;
    for (const Json& entry : sectionEntries(section)) {
        if (!entry.is_object() || !entry.contains("file")) {
            continue;
        }
        const QString key = text(entry.value("key", Json()));
        out.sounds.push_back({key, soundEvent(key), unquoted(text(entry["file"])),
                              text(entry.value("carried", Json()))});
    }
}

} // namespace

bool isIcqRecord(const Json& record) {
    return record.is_object() && record.value("plugin", Json()) == "ICQ";
}

IcqRecord readIcqRecord(const Json& record) {
    IcqRecord out;
    out.failed = value(recordSection(record, "ICQ_FAILURE"), "ICQ_VQX_STATUS") == kYes;
    const Json* settings = recordSection(record, "ICQ_IMPORTED_SETTINGS");
    const std::string host = value(settings, "ICQ_HOST_SERVER_NAME");
    out.serverChosen = !host.empty();
    out.host = host == kNo ? QString() : QString::fromStdString(host);
    const std::string port = value(settings, "ICQ_HOST_SERVER_PORT", kNo);
    out.port = port == kNo ? QString() : QString::fromStdString(port);
    out.contactsChosen = value(settings, "ICQ_USER_CONTACTS") == kYes;
    out.appendContacts = value(settings, "ICQ_APPEND_CONTACTS", kYes) == kYes;
    out.soundsChosen = value(settings, "ICQ_SOUNDS_SETTINGS_PRESENT") == kYes;

    const Json* owner = recordSection(record, "ICQ_OWNER");
    out.hasOwner = owner != nullptr;
    out.nickname = QString::fromStdString(vqrt::withoutLineEnd(value(owner, "Nickname")));
    out.uin = QString::fromStdString(vqrt::withoutLineEnd(value(owner, "UIN")));

    const Json* contacts = recordSection(record, "CONTACTS");
    out.hasContacts = contacts != nullptr;
    out.contacts = QString::fromStdString(value(contacts, "No_contacts", "0")).toInt();
    readSounds(recordSection(record, "ICQ_SOUNDS_SETTINGS"), out);
    return out;
}

bool isPlaceholder(const QString& key, const QString& value) {
    // The plug-in fills each contact field with its own name before reading a contact.
    static const std::map<QString, QString> placeholders = {
        {QStringLiteral("UIN"), QStringLiteral("-111")},
        {QStringLiteral("First_Name"), QStringLiteral("FirstName")},
        {QStringLiteral("Last_Name"), QStringLiteral("LastName")},
        {QStringLiteral("Description"), QStringLiteral("MyDefinedHandle")},
        {QStringLiteral("Nickname"), QStringLiteral("NickName")},
        {QStringLiteral("Email"), QStringLiteral("PrimaryEmail")}};
    const auto found = placeholders.find(key);
    return found != placeholders.end() && found->second == value;
}

QString unquoted(QString path) {
    if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"'))) {
        path = path.mid(1, path.size() - 2);
    }
    return path;
}

QString soundEvent(const QString& key) {
    static const std::map<QString, QString> events = {
        {QStringLiteral("ICQMessage"), QStringLiteral("Message received")},
        {QStringLiteral("ICQMsgSent"), QStringLiteral("Message sent")},
        {QStringLiteral("ICQURL"), QStringLiteral("Web address received")},
        {QStringLiteral("ICQChat"), QStringLiteral("Chat request")},
        {QStringLiteral("ICQFile"), QStringLiteral("File request")},
        {QStringLiteral("ICQFtDone"), QStringLiteral("File transfer done")},
        {QStringLiteral("ICQOnline"), QStringLiteral("Contact comes online")},
        {QStringLiteral("ICQEMail"), QStringLiteral("E-mail arrives")},
        {QStringLiteral("ICQBirthday"), QStringLiteral("Birthday")},
        {QStringLiteral("ICQSystem"), QStringLiteral("System message")},
        {QStringLiteral("ICQStartup"), QStringLiteral("ICQ starts")},
        {QStringLiteral("ICQReminder"), QStringLiteral("Reminder")},
        {QStringLiteral("ICQContact"), QStringLiteral("Contacts received")},
        {QStringLiteral("ICQALAdmin"), QStringLiteral("ActiveList: administrator's message")},
        {QStringLiteral("ICQALMessage"), QStringLiteral("ActiveList: message")},
        {QStringLiteral("ICQALURL"), QStringLiteral("ActiveList: web address")},
        {QStringLiteral("ICQChatAction"), QStringLiteral("Chat: action")},
        {QStringLiteral("ICQChatEmote"), QStringLiteral("Chat: emotion")},
        {QStringLiteral("ICQChatLOL"), QStringLiteral("Chat: laughter")},
        {QStringLiteral("ICQChatPage"), QStringLiteral("Chat: page")},
        {QStringLiteral("ICQBackspace"), QStringLiteral("Chat: backspace")},
        {QStringLiteral("ICQBell"), QStringLiteral("Chat: bell")},
        {QStringLiteral("ICQType"), QStringLiteral("Chat: key typed")}};
    const auto found = events.find(key);
    return found != events.end() ? found->second : key;
}

nlohmann::ordered_json readRecord(const QString& folder) {
    QFile file(QDir(folder).filePath(QStringLiteral("record.json")));
    // 100 000 contacts make about 80 MB; a larger file is none of an import's.
    constexpr qint64 kMaxRecord = qint64(1) << 30;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxRecord) {
        return nullptr;
    }
    return nlohmann::ordered_json::parse(file.readAll().toStdString(), nullptr, false);
}

int carriedFiles(const nlohmann::ordered_json& entries) {
    int files = 0;
    for (const auto& entry : entries) {
        if (entry.contains("section")) {
            files +=
                carriedFiles(entry["section"].value("entries", nlohmann::ordered_json::array()));
        } else if (entry.contains("carried") && entry["carried"].is_string()) {
            ++files;
        }
    }
    return files;
}

ArchiveReport readArchiveReport(const QString& path) {
    ArchiveReport out;
    QFile file(path);
    // A report lists each problem on a line; a larger file is none of ours.
    constexpr qint64 kMaxReport = 64 << 20;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxReport) {
        return out;
    }
    const QLatin1String keptLabel("Messages found in more than one copy and kept once: ");
    const QLatin1String leftLabel("  message: in the Deleted folder");
    // Each list is a heading and lines indented by two, up to a blank line.
    QStringList* list = nullptr;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (list != nullptr && line.startsWith(QLatin1String("  "))) {
            list->append(line.mid(2));
            continue;
        }
        list = line.startsWith(QLatin1String("Read from"))    ? &out.databases
               : line.startsWith(QLatin1String("Warnings (")) ? &out.warnings
                                                              : nullptr;
        bool ok = false;
        const int kept = line.startsWith(keptLabel) ? line.mid(keptLabel.size()).toInt(&ok) : 0;
        if (ok) {
            out.keptOnce = kept;
        }
        // "      18  message: in the Deleted folder", among the entries by kind and outcome.
        if (line.endsWith(leftLabel)) {
            out.leftInDeletedFolder = line.chopped(leftLabel.size()).trimmed().toInt();
        }
    }
    // "PATH (ICQ 2000a, read through its index)": the path alone.
    for (QString& database : out.databases) {
        const qsizetype detail = database.lastIndexOf(QLatin1String(" (ICQ "));
        if (detail > 0 && database.endsWith(QLatin1Char(')'))) {
            database.truncate(detail);
        }
    }
    return out;
}

SavedKind savedKind(const QString& folder) {
    if (readRecord(folder).is_object()) {
        return SavedKind::Import;
    }
    return archive::holdsArchive(folder.toStdString()) ? SavedKind::Archive : SavedKind::None;
}

} // namespace gui
