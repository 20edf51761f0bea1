#include "icqdb.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>

#include "icqgen.h"

namespace mkwin {

namespace {

constexpr uint32_t kOwnerId = 1005;
constexpr uint32_t kFirstEventId = 2001;
constexpr uint32_t kFiledSystem = 0xFFFFFFFFu;
constexpr uint32_t kFiledMessage = 0;
constexpr uint32_t kFiledList = 1;
constexpr uint32_t kFiledIgnored = 2;
constexpr uint32_t kFiledDefunct = 3;
constexpr uint32_t kFiledLabel = 8;
constexpr uint32_t kFiledSystemMessage = 9;
constexpr uint32_t kFiledNote = 12;

// The longest text a 2-byte length counting the NUL can describe.
constexpr size_t kMaxText = 0xFFFE;

class StringSink : public ByteSink {
public:
    bool write(std::string_view bytes) override {
        out += bytes;
        return true;
    }
    std::string out;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class FileSink : public ByteSink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {}
    bool write(std::string_view bytes) override {
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }

private:
    std::FILE* file_;
};

bool fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

bool checkText(const std::string& text, const std::string& where, const char* property,
               std::string& error) {
    if (text.find('\0') != std::string::npos) {
        return fail(error, where + ": " + property + " holds a NUL byte");
    }
    if (text.size() > kMaxText) {
        return fail(error, where + ": " + property + " of " + std::to_string(text.size()) +
                               " bytes is longer than a text property holds (" +
                               std::to_string(kMaxText) + ")");
    }
    return true;
}

// A build number ICQ 99a or later writes; an entry's 0 stands for the database's build.
bool checkBuild(uint16_t build, bool entry, const std::string& where, std::string& error) {
    if (build < 200 && !(entry && build == 0)) {
        return fail(error, where + ": build " + std::to_string(build) +
                               " is ICQ 98, whose entries this writer cannot lay out "
                               "(expected 200 or more)");
    }
    return true;
}

bool validate(const IcqDatabaseContent& content, std::string& error) {
    const std::string owner = "owner record";
    if (!checkBuild(content.build, false, "database", error) ||
        !checkText(content.ownerNickName, owner, "NickName", error) ||
        !checkText(content.ownerFirstName, owner, "FirstName", error) ||
        !checkText(content.ownerLastName, owner, "LastName", error) ||
        !checkText(content.ownerEmail, owner, "PrimaryEmail", error)) {
        return false;
    }
    for (size_t i = 0; i < content.contacts.size(); ++i) {
        const IcqContactRecord& c = content.contacts[i];
        const std::string where =
            "contact record " + std::to_string(i) + " (UIN " + std::to_string(c.uin) + ")";
        if (!checkText(c.nickName, where, "NickName", error) ||
            !checkText(c.firstName, where, "FirstName", error) ||
            !checkText(c.lastName, where, "LastName", error) ||
            !checkText(c.myDefinedHandle, where, "MyDefinedHandle", error) ||
            !checkText(c.primaryEmail, where, "PrimaryEmail", error) ||
            !checkBuild(c.build, true, where, error)) {
            return false;
        }
    }
    for (size_t i = 0; i < content.messages.size(); ++i) {
        const IcqMessage& m = content.messages[i];
        const std::string where = "message " + std::to_string(i);
        if (!checkText(m.fields.text, where, "text", error) ||
            !checkText(m.fields.rtf, where, "RTF text", error) ||
            !checkText(m.fields.utf8, where, "UTF-8 text", error) ||
            !checkBuild(m.build, true, where, error)) {
            return false;
        }
    }
    return true;
}

bool writtenBy99a(uint16_t build) {
    return icqEra(build) == IcqEra::V99a;
}

/// Visits the owner and contact records in file order.
template <typename Owner, typename Contact>
void visitRecords(const IcqDatabaseContent& content, Owner onOwner, Contact onContact) {
    const size_t count = content.contacts.size();
    const size_t ownerAt = std::min(content.ownerRecordIndex, count);
    for (size_t i = 0; i <= count; ++i) {
        if (i == ownerAt) {
            onOwner();
        }
        if (i < count) {
            onContact(i);
        }
    }
}

class DatabaseWriter {
public:
    DatabaseWriter(const IcqDatabaseContent& content, ByteSink& dat)
        : content_(content), out_(dat), rng_(content.seed),
          history_(content, content.seed ^ 0x415) {}

    bool run() {
        if (!systemEntries()) {
            return false;
        }
        const size_t gaps = content_.contacts.size() + 1;
        size_t gap = 0;
        bool ok = true;
        visitRecords(
            content_, [&] { ok = ok && owner(); },
            [&](size_t i) {
                ok = ok && contact(content_.contacts[i]);
                ++gap;
                ok = ok && history(content_.historyBytes * gap / gaps,
                                   content_.historyMessages * gap / gaps);
            });
        ok = ok && history(content_.historyBytes, content_.historyMessages);
        for (const IcqMessage& m : content_.messages) {
            ok = ok && message(m, false);
        }
        return ok && out_.finish();
    }

    const IcqDataWriter& data() const { return out_; }
    const std::string& problem() const { return problem_; }

private:
    bool emit(uint32_t filed, uint32_t id, std::string_view signature, bool live = true) {
        record_.clear();
        appendRecord(record_, filed, id, signature, body_);
        if (!(live ? out_.add(id, record_) : out_.addLeftover(id, record_))) {
            problem_ = record_.size() > kIcqMaxEntrySize
                           ? "entry " + std::to_string(id) + " of " +
                                 std::to_string(record_.size()) +
                                 " bytes does not fit a data page (" +
                                 std::to_string(kIcqMaxEntrySize) + ")"
                           : std::string();
            return false;
        }
        return true;
    }

    // Contacts and events share one ID space; now and then two neighbours swap IDs.
    uint32_t nextId() {
        if (held_ != 0) {
            return std::exchange(held_, 0);
        }
        if (rng_.percent(11)) {
            held_ = nextId_;
            nextId_ += 2;
            return held_ + 1;
        }
        return nextId_++;
    }

    uint16_t buildOf(uint16_t build) const { return build != 0 ? build : content_.build; }

    bool systemEntries() {
        const uint16_t build = content_.build;
        for (uint32_t id = 0; id < 4; ++id) {
            // Filing indexes: an all-zero signature and a few counters.
            body_.clear();
            appendLe32(body_, id);
            appendLe32(body_, 0);
            if (!emit(kFiledSystem, id, std::string_view())) {
                return false;
            }
        }
        const std::pair<uint32_t, const char*> folders[] = {
            {1006, "Messages"}, {1014, "Sent"}, {1015, "Deleted Items"}, {1025, "Drafts"}};
        for (const auto& [id, name] : folders) {
            body_.clear();
            appendLe16(body_, build);
            appendStr16(body_, name);
            if (!emit(kFiledSystem, id, kIcqFolderSignature)) {
                return false;
            }
        }
        body_.clear();
        appendLe16(body_, build);
        appendStr16(body_, "Default");
        if (!emit(kFiledSystem, 1007, kIcqSoundSignature)) {
            return false;
        }
        body_.clear();
        appendLe16(body_, build);
        appendStr16(body_, "login.icq.com");
        appendLe32(body_, 5190);
        if (!emit(kFiledSystem, 1100, kIcqServerListSignature)) {
            return false;
        }
        for (int i = 0; i < 2; ++i) {
            body_.clear();
            appendLe16(body_, build);
            body_ += "GRGR";
            appendLe32(body_, static_cast<uint32_t>(i));
            if (!emit(kFiledLabel, nextId(), kIcqLabelSignature)) {
                return false;
            }
        }
        body_.clear();
        appendLe16(body_, build);
        appendStr16(body_, "call the bank on monday");
        return emit(kFiledNote, nextId(), kIcqNoteSignature);
    }

    bool owner() {
        std::vector<IcqPropertyBlock> blocks(1);
        IcqPropertyBlock& props = blocks[0];
        addOwnerExtras(props, rng_);
        IcqIdentity identity{content_.ownerNickName,  content_.ownerNickName,
                             content_.ownerFirstName, content_.ownerLastName,
                             content_.ownerEmail,     content_.ownerUin};
        if (!writtenBy99a(content_.build)) {
            props.text("FirstName", content_.ownerFirstName);
            props.text("LastName", content_.ownerLastName);
            props.text("NickName", content_.ownerNickName);
            props.text("Password", content_.ownerPassword);
            props.text("PrimaryEmail", content_.ownerEmail);
            props.integer("UIN", content_.ownerUin);
        }
        body_ = icqOwnerBody(content_.build, blocks, identity, content_.groups);
        return emit(kFiledSystem, kOwnerId, kIcqOwnerSignature);
    }

    bool contact(const IcqContactRecord& c) {
        const uint16_t build = buildOf(c.build);
        std::vector<IcqPropertyBlock> blocks(1);
        IcqPropertyBlock& props = blocks[0];
        for (const auto& [name, value] : c.details) {
            if (const auto* text = std::get_if<std::string>(&value)) {
                props.text(name, *text);
            } else if (const int32_t n = std::get<int32_t>(value);
                       n >= INT16_MIN && n <= INT16_MAX) {
                props.word(name, 'g', static_cast<uint16_t>(n));
            } else {
                props.integer(name, static_cast<uint32_t>(n));
            }
        }
        addContactExtras(props, rng_, build);
        const IcqIdentity identity{c.myDefinedHandle, c.nickName,     c.firstName,
                                   c.lastName,        c.primaryEmail, c.uin};
        if (!writtenBy99a(build)) {
            const std::pair<unsigned, std::pair<const char*, const std::string*>> texts[] = {
                {kIcqFirstName, {"FirstName", &c.firstName}},
                {kIcqLastName, {"LastName", &c.lastName}},
                {kIcqMyDefinedHandle, {"MyDefinedHandle", &c.myDefinedHandle}},
                {kIcqNickName, {"NickName", &c.nickName}},
                {kIcqPrimaryEmail, {"PrimaryEmail", &c.primaryEmail}}};
            for (const auto& [bit, property] : texts) {
                if (c.present & bit) {
                    props.text(property.first, *property.second);
                }
            }
            if (c.present & kIcqUin) {
                props.integer("UIN", c.uin);
            }
            if (!c.moreEmails.empty()) {
                props.texts("MoreEmails", c.moreEmails);
            }
            // A second block of the details ICQ fetched from the server.
            blocks.emplace_back().dword("LastUpdateDate", 1000000000u + rng_.below(50000000));
        }
        const auto status = static_cast<uint32_t>(c.status);
        const uint32_t filed = status == 12   ? kFiledIgnored
                               : status == 13 ? kFiledDefunct
                               : status == 14 ? kFiledDefunct
                                              : kFiledList;
        body_ = icqContactBody(build, status, c.group, blocks, identity);
        return emit(filed, nextId(), kIcqContactSignature);
    }

    bool message(const IcqMessage& m, bool leftover) {
        const IcqMessageFields& f = m.fields;
        body_ = icqMessageBody(buildOf(m.build), f);
        if (rng_.percent(33)) {
            // Slack: a third of the messages on real disks carry 8 stray bytes in their length.
            body_ += std::string_view("\x01\0\0\0\xFF\xFF\0\0", 8);
        }
        const std::string_view signature = f.longForm ? kIcqLongMessageSignature
                                           : m.urlSecondForm && f.subtype == kIcqSubtypeUrl
                                               ? kIcqUrlSignature
                                               : kIcqMessageSignature;
        const uint32_t filed = f.subtype == kIcqSubtypeAdded ? kFiledSystemMessage : kFiledMessage;
        return emit(filed, nextId(), signature, !leftover);
    }

    bool history(uint64_t bytes, uint64_t messages) {
        while (historyBytes_ < bytes || historyMessages_ < messages) {
            bool leftover = false;
            const IcqMessage m = history_.next(leftover);
            if (!message(m, leftover)) {
                return false;
            }
            historyBytes_ += record_.size();
            ++historyMessages_;
        }
        return true;
    }

    const IcqDatabaseContent& content_;
    IcqDataWriter out_;
    IcqRandom rng_;
    IcqHistory history_;
    uint32_t nextId_ = kFirstEventId;
    uint32_t held_ = 0;
    uint64_t historyBytes_ = 0;
    uint64_t historyMessages_ = 0;
    std::string body_;
    std::string record_;
    std::string problem_;
};

/// The contact reader's behaviour at the level of properties.
class ReaderModel {
public:
    explicit ReaderModel(uint32_t ownerUin) : ownerUin_(ownerUin) {}

    void text(unsigned property, const std::string& full) {
        // The reader takes the first length byte as a signed count that includes the NUL.
        const int declared = static_cast<int8_t>(static_cast<uint8_t>((full.size() + 1) & 0xFF));
        const std::string value = declared <= 1 ? std::string() : full.substr(0, declared - 1);
        switch (property) {
        case kIcqFirstName:
            current_.firstName = value;
            break;
        case kIcqLastName:
            current_.lastName = value;
            break;
        case kIcqMyDefinedHandle:
            current_.myDefinedHandle = value;
            named_ = true;
            break;
        case kIcqNickName:
            current_.nickName = value;
            named_ = true;
            break;
        case kIcqPrimaryEmail:
            current_.primaryEmail = value;
            break;
        default:
            break;
        }
    }

    void uin(uint32_t bits) {
        const int32_t value = static_cast<int32_t>(bits);
        const bool own = static_cast<long>(value) == static_cast<long>(ownerUin_);
        const bool seen = value != -111 && seen_.count(value) != 0;
        bool complete = false;
        if (own || seen) {
            named_ = false;
            current_.nickName = "NickName";
            current_.myDefinedHandle = "MyDefinedHandle";
        } else if (named_) {
            if (value == -111) {
                sentinel_ = true;
            } else if (!sentinel_) {
                seen_.insert(value);
            }
            complete = true;
        }
        current_.uin = value;
        if (complete) {
            answered_.push_back(current_);
            current_ = IcqExpectedContact();
            named_ = false;
        }
    }

    std::vector<IcqExpectedContact> take() { return std::move(answered_); }

private:
    uint32_t ownerUin_;
    IcqExpectedContact current_;
    bool named_ = false;
    bool sentinel_ = false;
    std::unordered_set<int32_t> seen_;
    std::vector<IcqExpectedContact> answered_;
};

bool writeAll(const IcqDatabaseContent& content, ByteSink& dat, ByteSink* idx,
              std::vector<IcqEntryPlace>* places, std::string& problem) {
    DatabaseWriter writer(content, dat);
    if (!writer.run()) {
        problem = writer.problem();
        return false;
    }
    if (places != nullptr) {
        *places = writer.data().places();
    }
    return idx == nullptr || writer.data().writeIndex(*idx, icqIndexVersion(content.build));
}

std::string indexPath(const std::string& datPath) {
    const size_t slash = datPath.rfind('/');
    const size_t dot = datPath.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? datPath.substr(0, dot) : datPath) + ".idx";
}

} // namespace

bool IcqExpectedContact::operator==(const IcqExpectedContact& other) const {
    return uin == other.uin && firstName == other.firstName && lastName == other.lastName &&
           myDefinedHandle == other.myDefinedHandle && nickName == other.nickName &&
           primaryEmail == other.primaryEmail;
}

uint32_t icqIndexVersion(uint16_t build) {
    switch (icqEra(build)) {
    case IcqEra::Icq98:
    case IcqEra::V99a:
        return 10;
    case IcqEra::V99b:
        return 14;
    case IcqEra::V2000:
        return build < 455 ? 17 : 18;
    case IcqEra::V2001:
    case IcqEra::V2002:
        break;
    }
    return 19;
}

bool writeIcqDatabase(const std::string& path, const IcqDatabaseContent& content,
                      std::string& error, std::vector<IcqEntryPlace>* places) {
    std::string cause;
    if (!validate(content, cause)) {
        return fail(error, path + ": " + cause);
    }
    const std::string idxPath = indexPath(path);
    File dat(std::fopen(path.c_str(), "wb"));
    if (!dat) {
        return fail(error, path + ": cannot create the file (" + std::strerror(errno) + ")");
    }
    File idx(content.index ? std::fopen(idxPath.c_str(), "wb") : nullptr);
    if (content.index && !idx) {
        return fail(error, idxPath + ": cannot create the file (" + std::strerror(errno) + ")");
    }
    FileSink datSink(dat.get());
    FileSink idxSink(idx.get());
    std::string problem;
    if (!writeAll(content, datSink, idx ? &idxSink : nullptr, places, problem)) {
        return fail(error, path + ": " +
                               (problem.empty() ? "cannot write the file (" +
                                                      std::string(std::strerror(errno)) + ")"
                                                : problem));
    }
    for (auto* file : {&dat, &idx}) {
        const std::string& name = file == &dat ? path : idxPath;
        if (*file && (std::fflush(file->get()) != 0 || std::fclose(file->release()) != 0)) {
            return fail(error, name + ": cannot write the file (" + std::strerror(errno) + ")");
        }
    }
    return true;
}

std::optional<IcqDatabaseFiles> icqDatabaseFiles(const IcqDatabaseContent& content,
                                                 std::string& error) {
    if (!validate(content, error)) {
        return std::nullopt;
    }
    IcqDatabaseFiles files;
    StringSink dat;
    StringSink idx;
    if (!writeAll(content, dat, content.index ? &idx : nullptr, &files.places, error)) {
        return std::nullopt;
    }
    files.dat = std::move(dat.out);
    files.idx = std::move(idx.out);
    return files;
}

std::optional<std::string> icqDatabaseBytes(const IcqDatabaseContent& content, std::string& error) {
    std::optional<IcqDatabaseFiles> files = icqDatabaseFiles(content, error);
    if (!files) {
        return std::nullopt;
    }
    return std::move(files->dat);
}

std::vector<IcqExpectedContact> expectedContacts(const IcqDatabaseContent& content) {
    ReaderModel model(content.ownerUin);
    visitRecords(
        content,
        [&] {
            if (writtenBy99a(content.build)) {
                return;
            }
            model.text(kIcqFirstName, content.ownerFirstName);
            model.text(kIcqLastName, content.ownerLastName);
            model.text(kIcqNickName, content.ownerNickName);
            model.text(kIcqPrimaryEmail, content.ownerEmail);
            model.uin(content.ownerUin);
        },
        [&](size_t i) {
            const IcqContactRecord& c = content.contacts[i];
            if (writtenBy99a(c.build != 0 ? c.build : content.build)) {
                return;
            }
            const std::pair<unsigned, const std::string*> texts[] = {
                {kIcqFirstName, &c.firstName},
                {kIcqLastName, &c.lastName},
                {kIcqMyDefinedHandle, &c.myDefinedHandle},
                {kIcqNickName, &c.nickName},
                {kIcqPrimaryEmail, &c.primaryEmail}};
            for (const auto& [property, text] : texts) {
                if (c.present & property) {
                    model.text(property, *text);
                }
            }
            if (c.present & kIcqUin) {
                model.uin(c.uin);
            }
        });
    return model.take();
}

IcqDatabaseContent realisticIcqDatabase(uint32_t ownerUin, size_t distinctUins,
                                        uint64_t historyBytes, unsigned seed) {
    IcqRandom rng(seed ^ 0x5EEDu);
    IcqDatabaseContent content;
    content.ownerUin = ownerUin;
    content.ownerFirstName = icqFirstName(rng);
    content.ownerLastName = icqLastName(rng);
    content.ownerNickName = icqNickName(rng);
    content.ownerEmail = icqEmail(rng, content.ownerFirstName);
    content.historyBytes = historyBytes;
    content.seed = seed;

    std::unordered_set<uint32_t> used{ownerUin};
    for (size_t i = 0; i < distinctUins; ++i) {
        uint32_t uin;
        do {
            uin = rng.between(10000, 400000000);
        } while (!used.insert(uin).second);

        IcqContactRecord c;
        c.uin = uin;
        c.firstName = icqFirstName(rng);
        c.lastName = icqLastName(rng);
        c.nickName = icqNickName(rng);
        c.myDefinedHandle = rng.percent(50) ? c.firstName + " " + c.lastName : c.nickName;
        c.primaryEmail = icqEmail(rng, c.firstName);
        if (rng.percent(10)) {
            c.moreEmails = {icqEmail(rng, c.lastName)};
        }
        const uint32_t roll = rng.below(100);
        c.status = roll < 33   ? IcqContactStatus::OnList
                   : roll < 37 ? IcqContactStatus::Awaiting
                   : roll < 41 ? IcqContactStatus::Ignored
                   : roll < 43 ? static_cast<IcqContactStatus>(13)
                               : IcqContactStatus::Removed;
        c.group = c.status == IcqContactStatus::OnList     ? rng.between(1000, 1003)
                  : c.status == IcqContactStatus::Awaiting ? 3
                  : c.status == IcqContactStatus::Removed  ? (rng.percent(50) ? 0 : 1000)
                                                           : 0;
        // Records from before an upgrade keep the older client's layout.
        c.build = rng.percent(15) ? (rng.percent(50) ? 301 : 319) : 0;
        c.present = kIcqUin;
        if (rng.percent(96)) {
            c.present |= rng.percent(90) ? kIcqNickName : 0u;
            c.present |= rng.percent(60) ? kIcqMyDefinedHandle : 0u;
            if ((c.present & (kIcqNickName | kIcqMyDefinedHandle)) == 0) {
                c.present |= kIcqNickName;
            }
        }
        c.present |= rng.percent(70) ? kIcqFirstName : 0u;
        c.present |= rng.percent(70) ? kIcqLastName : 0u;
        c.present |= rng.percent(50) ? kIcqPrimaryEmail : 0u;
        content.contacts.push_back(c);
        if (rng.percent(35)) {
            // A second record of the same contact, often with another nickname or status.
            IcqContactRecord again = c;
            if (rng.percent(50)) {
                again.nickName = icqNickName(rng);
            }
            again.status = rng.percent(50) ? IcqContactStatus::OnList : IcqContactStatus::Removed;
            again.build = 0;
            content.contacts.push_back(again);
        }
    }
    // People often listed themselves.
    IcqContactRecord self;
    self.uin = ownerUin;
    self.nickName = content.ownerNickName;
    self.firstName = content.ownerFirstName;
    self.lastName = content.ownerLastName;
    self.myDefinedHandle = "me";
    self.primaryEmail = content.ownerEmail;
    content.contacts.push_back(self);

    for (size_t i = content.contacts.size(); i > 1; --i) {
        std::swap(content.contacts[i - 1], content.contacts[rng.below(static_cast<uint32_t>(i))]);
    }
    content.ownerRecordIndex = rng.below(static_cast<uint32_t>(content.contacts.size() / 10 + 1));
    return content;
}

} // namespace mkwin
