#include "icqgen.h"

#include "text/codepage.h"

#include <algorithm>
#include <unordered_set>

namespace mkwin {

namespace {

template <size_t N> const char* pick(IcqRandom& rng, const char* const (&list)[N]) {
    return list[rng.below(static_cast<uint32_t>(N))];
}

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
const char* const kReasons[] = {"", "Please authorize me", "hi, it's me from school",
                                "Hall\366chen, darf ich dich adden?"};
// Words of chat messages, one space between two. None holds a byte sequence that is valid
// UTF-8 beyond ASCII, so a text of them reads the same as Windows-1252 everywhere.
constexpr std::string_view kWordText =
    "hi hello how are you ? lol :-) ;-) see tomorrow ok bye was machst du heute abend \347\141 va "
    "tr\350s bien merci download file the party great call me later brb afk sms mp3 winamp "
    "homework school \351t\351 gr\374\337\145 sch\366n caf\351 na klar jaja and then we went to "
    "cinema 10\200 \223quoted\224 \205 {braces} back\\slash !!!";

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

} // namespace

std::string icqRtf(const std::string& text) {
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 "
                      "Arial;}}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    const char* const hex = "0123456789abcdef";
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\par\r\n";
            ++i;
        } else if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x80) {
            out += "\\'";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\\par\r\n}\r\n";
}

std::string icqFirstName(IcqRandom& rng) {
    return pick(rng, kFirstNames);
}

std::string icqLastName(IcqRandom& rng) {
    return pick(rng, kLastNames);
}

std::string icqNickName(IcqRandom& rng) {
    std::string nick = pick(rng, kNickParts);
    nick += pick(rng, kNickParts);
    if (rng.percent(40)) {
        nick += std::to_string(rng.below(100));
    }
    return nick;
}

std::string icqEmail(IcqRandom& rng, const std::string& first) {
    std::string local;
    for (const char c : first) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            local.push_back(static_cast<char>(c | 0x20));
        }
    }
    return local + std::to_string(rng.below(1000)) + "@" + pick(rng, kDomains);
}

std::string icqWords(IcqRandom& rng, uint32_t count) {
    std::string text;
    const auto& list = chatWords();
    for (uint32_t i = 0; i < count; ++i) {
        if (i != 0) {
            // Chat messages often span lines, with Windows line ends.
            text += rng.percent(5) ? "\r\n" : " ";
        }
        text += list[rng.below(static_cast<uint32_t>(list.size()))];
    }
    return text;
}

std::string icqWordsOfLength(IcqRandom& rng, size_t minimum) {
    std::string text;
    while (text.size() < minimum) {
        text += icqWords(rng, 8);
        text.push_back(' ');
    }
    return text;
}

void addContactExtras(IcqPropertyBlock& block, IcqRandom& rng, uint16_t build) {
    block.word("Age", 'f', static_cast<uint16_t>(rng.percent(50) ? rng.between(14, 70) : 0));
    block.byte("Authorize", 'd', static_cast<uint8_t>(rng.below(2)));
    block.text("City", pick(rng, kCities));
    const uint16_t countries[] = {1, 33, 41, 46, 49};
    block.word("Country", 'g', countries[rng.below(5)]);
    block.byte("Gender", 'd', static_cast<uint8_t>(rng.below(3)));
    if (rng.percent(30)) {
        block.text("HomePage", "http://members.aol.com/" + icqNickName(rng));
    }
    block.dword("IP", static_cast<uint32_t>(rng.next()));
    block.dword("LastOnlineTime", 946684800u + rng.below(126230400u));
    if (rng.percent(25)) {
        // Notes often run past 127 and 255 bytes.
        block.text("Notes", icqWordsOfLength(rng, rng.between(1, 400)));
    }
    if (rng.percent(30)) {
        IcqPropertyBlock phone;
        phone.text("Number", "+49 89 " + std::to_string(rng.below(9999999)));
        phone.byte("PhoneType", 'd', static_cast<uint8_t>(rng.below(4)));
        std::string encoded;
        phone.appendTo(encoded, build);
        block.blocks("Phones", 1, encoded);
    }
    if (rng.percent(20)) {
        std::string picture;
        const uint32_t size = rng.between(8, 64);
        for (uint32_t i = 0; i < size; ++i) {
            // Raw bytes: NULs and bytes above 0x7F, as in small bitmaps.
            picture.push_back(static_cast<char>(rng.percent(30) ? 0 : 0x80 + rng.below(128)));
        }
        block.blob("UserPicture", picture);
    }
    block.byte("WebAware", 'e', static_cast<uint8_t>(rng.below(2)));
}

void addOwnerExtras(IcqPropertyBlock& block, IcqRandom& rng) {
    std::string crypt;
    for (int i = 0; i < 16; ++i) {
        crypt.push_back(static_cast<char>(0x80 + rng.below(128)));
    }
    block.blob("99BCryptIV", crypt);
    // Long texts: over 127 bytes (first length byte from 0x80) and over 255 bytes.
    block.text("About", icqWordsOfLength(rng, 300 + rng.below(400)));
    block.text("AwayMessage", icqWordsOfLength(rng, 128 + rng.below(100)));
    block.word("Age", 'f', static_cast<uint16_t>(rng.between(16, 60)));
    block.text("City", pick(rng, kCities));
    block.byte("Gender", 'd', static_cast<uint8_t>(rng.below(3)));
    block.text("HomePage", "http://www.geocities.com/" + icqNickName(rng));
    block.byte("WebAware", 'e', 1);
}

IcqHistory::IcqHistory(const IcqDatabaseContent& content, uint64_t seed)
    : content_(content), rng_(seed) {
    // The pauses between conversations take up at most nine years, so that a history keeps
    // near the years ICQ was used (a million messages end in 2013, the minutes within their
    // conversations added): pauses of up to three days carried them past 2106, where the
    // stored stamps wrap. A generated message entry takes about 200 bytes; conversations
    // average 13 messages.
    constexpr uint64_t kSpan = 9 * 365 * 86400ull;
    const uint64_t messages =
        std::max<uint64_t>(content.historyMessages, content.historyBytes / 200);
    const uint64_t conversations = messages / 13 + 1;
    longestPause_ =
        static_cast<uint32_t>(std::min<uint64_t>(longestPause_, 2 * kSpan / conversations));
    std::unordered_set<uint32_t> seen{content.ownerUin};
    for (const IcqContactRecord& c : content.contacts) {
        if ((c.present & kIcqUin) && seen.insert(c.uin).second) {
            partners_.push_back({c.uin, &c});
        }
    }
}

IcqHistory::Partner IcqHistory::partner() {
    const auto count = static_cast<uint32_t>(partners_.size());
    if (count == 0 || rng_.percent(4)) {
        // Someone who never made it to the contact list.
        return {rng_.between(10000, 400000000), nullptr};
    }
    // A few people get most of the messages.
    const uint32_t roll = rng_.below(100);
    const uint32_t range = roll < 60   ? std::min(count, 3u)
                           : roll < 85 ? std::min(count, 10u)
                                       : count;
    return partners_[rng_.below(range)];
}

IcqMessageFields IcqHistory::systemEvent(const Partner& p) {
    IcqMessageFields f;
    const uint32_t roll = rng_.below(10);
    f.subtype = roll < 4   ? kIcqSubtypeAuthRequest
                : roll < 8 ? kIcqSubtypeAdded
                           : kIcqSubtypeAuthGranted;
    const IcqContactRecord* r = p.record;
    const std::string nick = r != nullptr ? r->nickName : icqNickName(rng_);
    const std::string first = r != nullptr ? r->firstName : icqFirstName(rng_);
    const std::string last = r != nullptr ? r->lastName : icqLastName(rng_);
    const std::string email = r != nullptr ? r->primaryEmail : std::string();
    const std::string reason = f.subtype == kIcqSubtypeAuthRequest ? pick(rng_, kReasons) : "";
    f.text = nick + "\xFE" + first + "\xFE" + last + "\xFE" + email + "\xFE" + "1\xFE" + reason;
    return f;
}

IcqMessageFields IcqHistory::contactsMessage() {
    IcqMessageFields f;
    f.subtype = kIcqSubtypeContacts;
    f.text = "2\xFE";
    for (int i = 0; i < 2; ++i) {
        const Partner p = partner();
        f.text += std::to_string(p.uin) + "\xFE" +
                  (p.record != nullptr ? p.record->nickName : icqNickName(rng_)) + "\xFE";
    }
    return f;
}

void IcqHistory::longMessage(IcqMessage& message) {
    IcqMessageFields& f = message.fields;
    f.longForm = true;
    f.text = icqWordsOfLength(rng_, rng_.between(200, 1500));
    f.rtf = icqRtf(f.text);
    f.utf8 = text::toUtf8(f.text, "CP1252");
    if (message.build >= 533 && rng_.percent(30)) {
        // Sent from ICQ 2002a: only the UTF-8 copy holds the text.
        f.text.clear();
    }
}

IcqMessage IcqHistory::next(bool& leftover) {
    if (left_ == 0) {
        current_ = partner();
        left_ = rng_.between(2, 24);
        clock_ += rng_.between(std::min(1800u, longestPause_ / 2), longestPause_);
    }
    --left_;
    // Quick replies land in the same second now and then.
    clock_ += rng_.percent(6) ? 0 : rng_.between(4, 240);
    sent_ = rng_.percent(55) ? !sent_ : sent_;

    IcqMessage message;
    message.build = content_.build >= 400 && rng_.percent(10) ? 319 : 0;
    const uint16_t build = message.build != 0 ? message.build : content_.build;
    message.build = build;
    const uint32_t roll = rng_.below(100);
    IcqMessageFields& f = message.fields;
    if (roll < 80) {
        f.text = icqWords(rng_, rng_.between(1, 40));
    } else if (roll < 86) {
        f.subtype = kIcqSubtypeUrl;
        f.text = icqWords(rng_, rng_.between(1, 6)) + "\xFEhttp://www." + icqNickName(rng_) +
                 ".com/index.html";
        message.urlSecondForm = rng_.percent(30);
    } else if (roll < 90) {
        longMessage(message);
    } else if (roll < 96) {
        f = systemEvent(current_);
    } else {
        f = contactsMessage();
    }
    f.uin = current_.uin;
    f.time = clock_;
    f.sent = sent_ && !icqIdentityEvent(f.subtype);
    f.deleted = rng_.percent(2);
    leftover = rng_.percent(1);
    return message;
}

} // namespace mkwin
