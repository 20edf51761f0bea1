#include "icqdb.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>

namespace mkwin {

namespace {

constexpr uint32_t kFilingHeader = 1;
constexpr uint32_t kFilingOwner = 1000;
constexpr uint32_t kFilingGroup = 1004;
constexpr uint32_t kFilingContact = 1006;
constexpr uint32_t kFilingMessage = 2000;

constexpr std::string_view kHeaderSignature{
    "\xC8\x1F\x94\xE2\x07\xA9\xD3\x11\x8B\x3E\x00\x10\x5A\xD2\x91\x6C", 16};
constexpr std::string_view kOwnerSignature{
    "\x23\xA3\xDB\xDF\xB8\xD1\x11\xD3\x8A\x64\x00\x60\x08\x97\xE1\x2F", 16};
constexpr std::string_view kGroupSignature{
    "\x91\x4B\xC6\x0E\x3A\xB2\xD4\x11\x9C\x58\x00\x10\x5A\x9F\xE3\x84", 16};
constexpr std::string_view kContactSignature{
    "\xE5\x9C\x2B\x81\xF4\xC8\xD3\x11\x8A\x65\x00\x60\x08\x97\xE1\x2F", 16};
constexpr std::string_view kMessageSignature{
    "\x5C\xE1\x0A\xB7\x96\xDD\xD3\x11\xA0\x13\x00\x60\x08\xB2\xC4\x9D", 16};

// The longest text a 2-byte length counting the NUL can describe.
constexpr size_t kMaxText = 0xFFFE;

// splitmix64: small, fast and the same everywhere, so a seed always gives the same file.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// A number in [0, n); n > 0.
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
    uint32_t between(uint32_t low, uint32_t high) { return low + below(high - low + 1); }
    bool percent(unsigned p) { return below(100) < p; }
    template <size_t N> const char* pick(const char* const (&list)[N]) {
        return list[below(static_cast<uint32_t>(N))];
    }

private:
    uint64_t state_;
};

// Windows-1252 texts as they are found in Western European databases (octal escapes).
const char* const kFirstNames[] = {
    "Anna",    "J\374rgen", "Fran\347ois", "Bj\366rn", "Ren\351e", "Ana\357s", "S\370ren",
    "Jos\351", "M\345ns",   "Zo\353",      "Mike",     "Sarah",    "Chlo\351", "In\350s",
    "Dmitri",  "\301gnes",  "Lukas",       "Tom\341s", "Ya\353l",  "Nadia",    "Kevin"};
const char* const kLastNames[] = {
    "M\374ller",    "Dupont",      "Garc\355a",       "\330stergaard", "Smith",     "Nowak",
    "Gonz\341lez",  "Schr\366der", "Lef\350vre",      "O'Brien",       "Andersson", "Kowalski",
    "Fern\341ndez", "Wei\337",     "Ib\341\361\145z", "Becker",        "Rossi"};
const char* const kNickParts[] = {
    "cool",   "dark", "angel",       "ice",  "star", "wolf", "kitty", "devil", "sun",       "moon",
    "b\344r", "sk8",  "m\344uschen", "\253", "\273", "_x_",  "crazy", "lil",   "b\351b\351"};
const char* const kDomains[] = {"hotmail.com", "yahoo.de", "gmx.net", "aol.com",
                                "web.de",      "free.fr",  "mail.ru", "wanadoo.fr"};
const char* const kCities[] = {"M\374nchen",   "Paris",     "Z\374rich", "S\343o Paulo",
                               "K\370benhavn", "Wien",      "Lyon",      "Hamburg",
                               "Malm\366",     "Barcelona", ""};
// Words of chat messages, one space between two.
constexpr std::string_view kWordText =
    "hi hello how are you ? lol :-) ;-) see tomorrow ok bye was machst du heute abend \347\141 va "
    "tr\350s bien merci download file the party great call me later brb afk sms mp3 winamp "
    "homework school \351t\351 gr\374\337\145 sch\366n caf\351 na klar jaja and then we went to "
    "cinema 10\200 \223quoted\224 \205 !!!";

const std::vector<std::string_view>& chatWords() {
    static const std::vector<std::string_view> list = [] {
        std::vector<std::string_view> out;
        size_t start = 0;
        while (start < kWordText.size()) {
            const size_t space = std::min(kWordText.find(' ', start), kWordText.size());
            out.push_back(kWordText.substr(start, space - start));
            start = space + 1;
        }
        return out;
    }();
    return list;
}

void appendLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::string words(Random& rng, uint32_t count) {
    std::string text;
    for (uint32_t i = 0; i < count; ++i) {
        if (i != 0) {
            // Chat messages often span lines, with Windows line ends.
            text += rng.percent(5) ? "\r\n" : " ";
        }
        const auto& list = chatWords();
        text += list[rng.below(static_cast<uint32_t>(list.size()))];
    }
    return text;
}

/// A text of at least `minimum` bytes made of words.
std::string wordsOfLength(Random& rng, size_t minimum) {
    std::string text;
    while (text.size() < minimum) {
        text += words(rng, 8);
        text.push_back(' ');
    }
    return text;
}

std::string nickName(Random& rng) {
    std::string nick = rng.pick(kNickParts);
    nick += rng.pick(kNickParts);
    if (rng.percent(40)) {
        nick += std::to_string(rng.below(100));
    }
    return nick;
}

std::string email(Random& rng, const std::string& first) {
    std::string local;
    for (const char c : first) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            local.push_back(static_cast<char>(c | 0x20));
        }
    }
    return local + std::to_string(rng.below(1000)) + "@" + rng.pick(kDomains);
}

/// Encoded properties, written in byte order of their names.
class PropertyList {
public:
    void text(std::string_view name, std::string_view value) {
        add(name, [&](std::string& out) { appendTextProperty(out, name, value); });
    }
    void integer(std::string_view name, uint32_t value) {
        add(name, [&](std::string& out) { appendIntProperty(out, name, value); });
    }
    void byte(std::string_view name, char type, uint8_t value) {
        add(name, [&](std::string& out) { appendByteProperty(out, name, type, value); });
    }
    void word(std::string_view name, char type, uint16_t value) {
        add(name, [&](std::string& out) { appendWordProperty(out, name, type, value); });
    }
    void dword(std::string_view name, uint32_t value) {
        add(name, [&](std::string& out) { appendDwordProperty(out, name, value); });
    }
    void blob(std::string_view name, std::string_view bytes) {
        add(name, [&](std::string& out) { appendBlobProperty(out, name, bytes); });
    }
    void list(std::string_view name, std::string_view properties) {
        add(name, [&](std::string& out) { appendListProperty(out, name, properties); });
    }
    /// Count and properties, sorted by name.
    void appendTo(std::string& out) {
        std::sort(entries_.begin(), entries_.end());
        appendLe(out, entries_.size(), 4);
        for (const auto& entry : entries_) {
            out += entry.second;
        }
    }

private:
    template <typename Encode> void add(std::string_view name, Encode encode) {
        std::string bytes;
        encode(bytes);
        entries_.emplace_back(std::string(name), std::move(bytes));
    }
    std::vector<std::pair<std::string, std::string>> entries_;
};

/// Where records go: a file or a string.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool write(const std::string& bytes) = 0;
};

class StringSink : public Sink {
public:
    bool write(const std::string& bytes) override {
        out += bytes;
        return true;
    }
    std::string out;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

class FileSink : public Sink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {}
    bool write(const std::string& bytes) override {
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }

private:
    std::FILE* file_;
};

bool checkText(const std::string& text, const std::string& where, const char* property,
               std::string& error) {
    if (text.find('\0') != std::string::npos) {
        error = where + ": " + property + " holds a NUL byte";
        return false;
    }
    if (text.size() > kMaxText) {
        error = where + ": " + property + " of " + std::to_string(text.size()) +
                " bytes is longer than a text property holds (" + std::to_string(kMaxText) + ")";
        return false;
    }
    return true;
}

bool validate(const IcqDatabaseContent& content, std::string& error) {
    const std::string owner = "owner record";
    if (!checkText(content.ownerNickName, owner, "NickName", error) ||
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
            !checkText(c.primaryEmail, where, "PrimaryEmail", error)) {
            return false;
        }
    }
    return true;
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
    DatabaseWriter(const IcqDatabaseContent& content, Sink& sink)
        : content_(content), sink_(sink), rng_(content.seed) {}

    bool run() {
        if (!header() || !groups()) {
            return false;
        }
        const size_t gaps = content_.contacts.size() + 1;
        size_t gap = 0;
        bool ok = true;
        visitRecords(
            content_, [&] { ok = ok && owner(); },
            [&](size_t i) {
                ok = ok && contact(content_.contacts[i]);
                ok = ok && history(content_.historyBytes * (++gap) / gaps);
            });
        return ok && history(content_.historyBytes);
    }

private:
    bool emit(uint32_t filing, std::string_view signature) {
        record_.clear();
        appendRecord(record_, filing, entry_++, signature, body_);
        return sink_.write(record_);
    }

    bool header() {
        body_.clear();
        appendLe(body_, 0x0000000A, 4); // database version of ICQ 2000
        appendLe(body_, content_.contacts.size(), 4);
        appendLe(body_, rng_.next(), 8);
        return emit(kFilingHeader, kHeaderSignature);
    }

    bool groups() {
        const char* const names[] = {"General", "Friends", "Co-Workers", "Fam\xEDlia"};
        for (uint32_t id = 1; id <= 4; ++id) {
            PropertyList props;
            props.text("GroupName", names[id - 1]);
            props.dword("GroupID", id);
            props.byte("Expanded", 'd', static_cast<uint8_t>(rng_.below(2)));
            body_.clear();
            props.appendTo(body_);
            if (!emit(kFilingGroup, kGroupSignature)) {
                return false;
            }
        }
        return true;
    }

    bool owner() {
        PropertyList props;
        // Long texts: over 127 bytes (first length byte from 0x80) and over 255 bytes.
        props.text("About", wordsOfLength(rng_, 300 + rng_.below(400)));
        props.text("AwayMessage", wordsOfLength(rng_, 128 + rng_.below(100)));
        props.word("Age", 'f', static_cast<uint16_t>(rng_.between(16, 60)));
        props.text("City", rng_.pick(kCities));
        props.text("FirstName", content_.ownerFirstName);
        props.byte("Gender", 'd', static_cast<uint8_t>(rng_.below(3)));
        props.text("HomePage", "http://www.geocities.com/" + nickName(rng_));
        props.text("LastName", content_.ownerLastName);
        props.text("NickName", content_.ownerNickName);
        props.text("PrimaryEmail", content_.ownerEmail);
        props.integer("UIN", content_.ownerUin);
        props.byte("WebAware", 'e', 1);
        body_.clear();
        props.appendTo(body_);
        return emit(kFilingOwner, kOwnerSignature);
    }

    bool contact(const IcqContactRecord& c) {
        PropertyList props;
        props.word("Age", 'f', static_cast<uint16_t>(rng_.percent(50) ? rng_.between(14, 70) : 0));
        props.byte("Authorize", 'd', static_cast<uint8_t>(rng_.below(2)));
        props.text("City", rng_.pick(kCities));
        const uint16_t countries[] = {1, 33, 41, 46, 49};
        props.word("Country", 'g', countries[rng_.below(5)]);
        props.byte("Gender", 'd', static_cast<uint8_t>(rng_.below(3)));
        if (rng_.percent(30)) {
            props.text("HomePage", "http://members.aol.com/" + nickName(rng_));
        }
        props.dword("IP", static_cast<uint32_t>(rng_.next()));
        props.dword("LastOnlineTime", 946684800u + rng_.below(126230400u));
        if (rng_.percent(25)) {
            // Notes often run past 127 and 255 bytes.
            props.text("Notes", wordsOfLength(rng_, rng_.between(1, 400)));
        }
        if (rng_.percent(30)) {
            std::string phone;
            appendTextProperty(phone, "Number", "+49 89 " + std::to_string(rng_.below(9999999)));
            appendByteProperty(phone, "PhoneType", 'd', static_cast<uint8_t>(rng_.below(4)));
            props.list("Phones", phone);
        }
        if (rng_.percent(20)) {
            std::string picture;
            const uint32_t size = rng_.between(8, 64);
            for (uint32_t i = 0; i < size; ++i) {
                // Raw bytes: NULs and bytes above 0x7F, as in small bitmaps.
                picture.push_back(static_cast<char>(rng_.percent(30) ? 0 : 0x80 + rng_.below(128)));
            }
            props.blob("UserPicture", picture);
        }
        props.byte("WebAware", 'e', static_cast<uint8_t>(rng_.below(2)));
        if (c.present & kIcqFirstName) {
            props.text("FirstName", c.firstName);
        }
        if (c.present & kIcqLastName) {
            props.text("LastName", c.lastName);
        }
        if (c.present & kIcqMyDefinedHandle) {
            props.text("MyDefinedHandle", c.myDefinedHandle);
        }
        if (c.present & kIcqNickName) {
            props.text("NickName", c.nickName);
        }
        if (c.present & kIcqPrimaryEmail) {
            props.text("PrimaryEmail", c.primaryEmail);
        }
        if (c.present & kIcqUin) {
            props.integer("UIN", c.uin);
        }
        body_.clear();
        appendLe(body_, static_cast<uint32_t>(c.status), 4);
        appendLe(body_, c.group, 4);
        props.appendTo(body_);
        return emit(kFilingContact, kContactSignature);
    }

    /// Message records until `total` bytes of history are written.
    bool history(uint64_t total) {
        while (historyWritten_ < total) {
            body_.clear();
            const bool url = rng_.percent(10);
            appendLe(body_, url ? 4 : 1, 2);
            const auto& contacts = content_.contacts;
            const uint32_t peer =
                contacts.empty() ? rng_.between(10000, 300000000)
                                 : contacts[rng_.below(static_cast<uint32_t>(contacts.size()))].uin;
            appendLe(body_, peer, 4);
            appendLe(body_, 946684800u + rng_.below(126230400u), 4);
            body_.push_back(static_cast<char>(rng_.below(2)));
            std::string text = words(rng_, rng_.between(1, 60));
            if (url) {
                // URL messages keep description and address apart with 0xFE.
                text += "\xFEhttp://www.example.com/" + nickName(rng_) + ".html";
            }
            appendLe(body_, text.size() + 1, 2);
            body_ += text;
            body_.push_back('\0');
            appendLe(body_, 0x00000000, 4);
            appendLe(body_, 0x00FFFFFF, 4);
            if (!emit(kFilingMessage, kMessageSignature)) {
                return false;
            }
            historyWritten_ += record_.size();
        }
        return true;
    }

    const IcqDatabaseContent& content_;
    Sink& sink_;
    Random rng_;
    uint32_t entry_ = 1;
    uint64_t historyWritten_ = 0;
    std::string body_;
    std::string record_;
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

} // namespace

bool IcqExpectedContact::operator==(const IcqExpectedContact& other) const {
    return uin == other.uin && firstName == other.firstName && lastName == other.lastName &&
           myDefinedHandle == other.myDefinedHandle && nickName == other.nickName &&
           primaryEmail == other.primaryEmail;
}

void appendLe16(std::string& out, uint16_t value) {
    appendLe(out, value, 2);
}
void appendLe32(std::string& out, uint32_t value) {
    appendLe(out, value, 4);
}

void appendPropertyName(std::string& out, std::string_view name, char type) {
    appendLe(out, name.size() + 1, 2);
    out += name;
    out.push_back('\0');
    out.push_back(type);
}

void appendTextProperty(std::string& out, std::string_view name, std::string_view text) {
    appendTextPropertyWithLength(out, name, static_cast<uint16_t>(text.size() + 1), text);
}

void appendTextPropertyWithLength(std::string& out, std::string_view name, uint16_t declaredLength,
                                  std::string_view text) {
    appendPropertyName(out, name, 'k');
    appendLe(out, declaredLength, 2);
    out += text;
    out.push_back('\0');
}

void appendIntProperty(std::string& out, std::string_view name, uint32_t value) {
    appendPropertyName(out, name, 'i');
    appendLe(out, value, 4);
}

void appendByteProperty(std::string& out, std::string_view name, char type, uint8_t value) {
    appendPropertyName(out, name, type);
    out.push_back(static_cast<char>(value));
}

void appendWordProperty(std::string& out, std::string_view name, char type, uint16_t value) {
    appendPropertyName(out, name, type);
    appendLe(out, value, 2);
}

void appendDwordProperty(std::string& out, std::string_view name, uint32_t value) {
    appendPropertyName(out, name, 'h');
    appendLe(out, value, 4);
}

void appendBlobProperty(std::string& out, std::string_view name, std::string_view bytes) {
    appendPropertyName(out, name, 'o');
    appendLe(out, bytes.size(), 4);
    out += bytes;
}

void appendListProperty(std::string& out, std::string_view name, std::string_view properties) {
    appendPropertyName(out, name, 'm');
    appendLe(out, properties.size(), 4);
    out += properties;
}

void appendRecord(std::string& out, uint32_t filing, uint32_t entry, std::string_view signature,
                  std::string_view body) {
    constexpr size_t kSignatureSize = 16;
    appendLe(out, 4 + 4 + kSignatureSize + body.size(), 4);
    appendLe(out, filing, 4);
    appendLe(out, entry, 4);
    const std::string_view cut = signature.substr(0, kSignatureSize);
    out += cut;
    out.append(kSignatureSize - cut.size(), '\0');
    out += body;
}

bool writeIcqDatabase(const std::string& path, const IcqDatabaseContent& content,
                      std::string& error) {
    std::string cause;
    if (!validate(content, cause)) {
        error = path + ": " + cause;
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = path + ": cannot create the file (" + std::strerror(errno) + ")";
        return false;
    }
    FileSink sink(file.get());
    bool ok = DatabaseWriter(content, sink).run();
    ok = std::fflush(file.get()) == 0 && ok;
    if (!ok || std::fclose(file.release()) != 0) {
        error = path + ": cannot write the file (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

std::optional<std::string> icqDatabaseBytes(const IcqDatabaseContent& content, std::string& error) {
    if (!validate(content, error)) {
        return std::nullopt;
    }
    StringSink sink;
    DatabaseWriter(content, sink).run();
    return std::move(sink.out);
}

std::vector<IcqExpectedContact> expectedContacts(const IcqDatabaseContent& content) {
    ReaderModel model(content.ownerUin);
    visitRecords(
        content,
        [&] {
            model.text(kIcqFirstName, content.ownerFirstName);
            model.text(kIcqLastName, content.ownerLastName);
            model.text(kIcqNickName, content.ownerNickName);
            model.text(kIcqPrimaryEmail, content.ownerEmail);
            model.uin(content.ownerUin);
        },
        [&](size_t i) {
            const IcqContactRecord& c = content.contacts[i];
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
    Random rng(seed ^ 0x5EEDu);
    IcqDatabaseContent content;
    content.ownerUin = ownerUin;
    content.ownerFirstName = rng.pick(kFirstNames);
    content.ownerLastName = rng.pick(kLastNames);
    content.ownerNickName = nickName(rng);
    content.ownerEmail = email(rng, content.ownerFirstName);
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
        c.firstName = rng.pick(kFirstNames);
        c.lastName = rng.pick(kLastNames);
        c.nickName = nickName(rng);
        c.myDefinedHandle = rng.percent(50) ? c.firstName + " " + c.lastName : c.nickName;
        c.primaryEmail = email(rng, c.firstName);
        c.status = rng.percent(33) ? IcqContactStatus::OnList : IcqContactStatus::Removed;
        c.group = rng.between(1, 4);
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
                again.nickName = nickName(rng);
            }
            again.status = rng.percent(50) ? IcqContactStatus::OnList : IcqContactStatus::Removed;
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
