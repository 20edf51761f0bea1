#pragma once

// Generated contents of realistic ICQ databases: names, properties and conversations as
// Western European users wrote them (Windows-1252 texts, CRLF line ends).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "icqdb.h"

namespace mkwin {

/// splitmix64: small, fast and the same everywhere, so a seed always gives the same file.
class IcqRandom {
public:
    explicit IcqRandom(uint64_t seed)
        : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
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

private:
    uint64_t state_;
};

std::string icqFirstName(IcqRandom& rng);
std::string icqLastName(IcqRandom& rng);
std::string icqNickName(IcqRandom& rng);
std::string icqEmail(IcqRandom& rng, const std::string& first);
/// `count` words of chat, sometimes across lines.
std::string icqWords(IcqRandom& rng, uint32_t count);
/// Words until the text has at least `minimum` bytes.
std::string icqWordsOfLength(IcqRandom& rng, size_t minimum);

/// The RTF that ICQ 2001b and later keep beside a long message's text.
std::string icqRtf(const std::string& text);

/// The properties a contact record has besides names, UIN and e-mail.
void addContactExtras(IcqPropertyBlock& block, IcqRandom& rng, uint16_t build);
/// The owner's properties besides names, UIN, e-mail and password.
void addOwnerExtras(IcqPropertyBlock& block, IcqRandom& rng);

/// Conversations with the contacts of a database, one message at a time, in time order.
class IcqHistory {
public:
    IcqHistory(const IcqDatabaseContent& content, uint64_t seed);

    /// The next message; `leftover` says whether it was deleted since (its bytes remain).
    IcqMessage next(bool& leftover);

private:
    struct Partner {
        uint32_t uin;
        const IcqContactRecord* record; ///< null for a stranger
    };
    Partner partner();
    IcqMessageFields systemEvent(const Partner& p);
    IcqMessageFields contactsMessage();
    void longMessage(IcqMessage& message);

    const IcqDatabaseContent& content_;
    IcqRandom rng_;
    std::vector<Partner> partners_;
    Partner current_{0, nullptr};
    uint32_t left_ = 0;
    uint32_t clock_ = 978307200;        // 2001-01-01
    uint32_t longestPause_ = 3 * 86400; ///< between two conversations
    bool sent_ = false;
};

} // namespace mkwin
