#include "archive/merge.h"

#include "archive/exporterror.h"
#include "archive/names.h"
#include "archive/outfile.h"
#include "archive/tempfile.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

namespace archive {

namespace {

// No stored text comes near this; a larger length means the temporary file is damaged.
constexpr uint64_t kMaxSpilledText = uint64_t{16} << 20;

[[noreturn]] void spillFailed() {
    throw ExportError(systemError("temporary file", "could not write or read back messages"));
}

// The fixed part of a message in the temporary file; the three texts follow.
struct Fixed {
    uint32_t uin;
    uint32_t entryId;
    int64_t time;
    uint64_t offset;
    uint64_t sizes[3];
    uint16_t subtype;
    uint8_t direction;
    uint8_t kind;
    uint8_t inDeletedFolder;
    uint8_t unused[3];
};

void writeMessage(std::FILE* f, const Message& m) {
    Fixed fixed{};
    fixed.uin = m.uin;
    fixed.entryId = m.entryId;
    fixed.time = m.time;
    fixed.offset = m.offset;
    fixed.sizes[0] = m.text.size();
    fixed.sizes[1] = m.url.size();
    fixed.sizes[2] = m.rawText.size();
    fixed.subtype = m.subtype;
    fixed.direction = static_cast<uint8_t>(m.direction);
    fixed.kind = static_cast<uint8_t>(m.kind);
    fixed.inDeletedFolder = m.inDeletedFolder ? 1 : 0;
    bool ok = std::fwrite(&fixed, sizeof fixed, 1, f) == 1;
    for (const std::string* s : {&m.text, &m.url, &m.rawText}) {
        ok = ok && std::fwrite(s->data(), 1, s->size(), f) == s->size();
    }
    if (!ok) {
        spillFailed();
    }
}

// False at the end of the file.
bool readMessage(std::FILE* f, Message& m) {
    Fixed fixed{};
    if (std::fread(&fixed, sizeof fixed, 1, f) != 1) {
        if (std::ferror(f)) {
            spillFailed();
        }
        return false;
    }
    m.uin = fixed.uin;
    m.entryId = fixed.entryId;
    m.time = fixed.time;
    m.offset = fixed.offset;
    m.subtype = fixed.subtype;
    m.direction = static_cast<Direction>(fixed.direction);
    m.kind = static_cast<MessageKind>(fixed.kind);
    m.inDeletedFolder = fixed.inDeletedFolder != 0;
    std::string* const texts[] = {&m.text, &m.url, &m.rawText};
    for (int i = 0; i < 3; ++i) {
        if (fixed.sizes[i] > kMaxSpilledText) {
            spillFailed();
        }
        texts[i]->resize(fixed.sizes[i]);
        if (std::fread(texts[i]->data(), 1, fixed.sizes[i], f) != fixed.sizes[i]) {
            spillFailed();
        }
    }
    return true;
}

void rewindFile(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_SET) != 0) {
        spillFailed();
    }
}

bool sameMessage(const Message& a, const Message& b) {
    return a.uin == b.uin && a.time == b.time && a.direction == b.direction && a.kind == b.kind &&
           a.rawText == b.rawText;
}

// One copy's history by contact, read back from its temporary file.
struct Feed {
    TemporaryFile file = temporaryFile();
    Message head;
    bool more = false;

    void next() { more = readMessage(file.get(), head); }
    bool at(uint32_t uin, int64_t time) const {
        return more && head.uin == uin && head.time == time;
    }
};

// On the list beats other records, which beat UINs known only from messages.
int preference(const Contact& c) {
    if (!c.hasRecord) {
        return 0;
    }
    return c.status == ContactStatus::OnList || c.status == ContactStatus::AwaitingAuthorisation
               ? 2
               : 1;
}

void fillFrom(Contact& into, const Contact& other) {
    for (auto field :
         {&Contact::nickName, &Contact::handle, &Contact::firstName, &Contact::lastName}) {
        if ((into.*field).empty()) {
            into.*field = other.*field;
        }
    }
    into.groupId = into.groupId == 0 ? other.groupId : into.groupId;
    for (const std::string& email : other.emails) {
        if (std::find(into.emails.begin(), into.emails.end(), email) == into.emails.end()) {
            into.emails.push_back(email);
        }
    }
    addDetails(into, other.details);
}

std::vector<Contact> mergeContacts(const std::vector<MergeInput>& inputs) {
    std::map<uint32_t, std::vector<const Contact*>> byUin; // latest copy first
    for (auto input = inputs.rbegin(); input != inputs.rend(); ++input) {
        for (const Contact& contact : input->archive->contacts) {
            byUin[contact.uin].push_back(&contact);
        }
    }
    std::vector<Contact> merged;
    for (auto& [uin, records] : byUin) {
        std::stable_sort(records.begin(), records.end(), [](const Contact* a, const Contact* b) {
            return preference(*a) > preference(*b);
        });
        Contact contact = *records.front();
        for (const Contact* other : records) {
            fillFrom(contact, *other);
        }
        merged.push_back(std::move(contact));
    }
    return merged;
}

Owner mergeOwner(const std::vector<MergeInput>& inputs) {
    Owner owner = inputs.back().archive->owner;
    for (auto input = inputs.rbegin(); input != inputs.rend(); ++input) {
        const Owner& other = input->archive->owner;
        if (other.uin != owner.uin) {
            throw ExportError(input->name + ": a database of another owner (UIN " +
                              std::to_string(other.uin) + ", not " + std::to_string(owner.uin) +
                              " as in " + inputs.back().name + ")");
        }
        for (auto field : {&Owner::nickName, &Owner::firstName, &Owner::lastName, &Owner::email}) {
            if ((owner.*field).empty()) {
                owner.*field = other.*field;
            }
        }
    }
    return owner;
}

} // namespace

void MergedArchive::Spilled::forEachMessage(
    const std::function<bool(const Message&)>& visit) const {
    forEachMessageByContact(visit);
}

void MergedArchive::Spilled::forEachMessageByContact(
    const std::function<bool(const Message&)>& visit) const {
    rewindFile(file_);
    Message m;
    while (readMessage(file_, m) && visit(m)) {
    }
}

MergedArchive::MergedArchive(const std::vector<MergeInput>& inputs)
    : file_(temporaryFile()), spilled_(file_.get()) {
    if (inputs.empty()) {
        throw ExportError("merge: no database given");
    }
    archive_.owner = mergeOwner(inputs);
    archive_.settings = inputs.front().archive->settings;
    archive_.contacts = mergeContacts(inputs);
    std::map<uint32_t, Group> groups;
    for (const MergeInput& input : inputs) {
        for (const Group& group : input.archive->groups) {
            groups[group.id] = group;
        }
        for (const auto& [key, n] : input.archive->report.entries) {
            archive_.report.entries[key] += n;
        }
        const std::vector<std::string>& sources = input.archive->report.sources;
        archive_.report.sources.insert(archive_.report.sources.end(), sources.begin(),
                                       sources.end());
        for (const std::string& warning : input.archive->report.warnings) {
            archive_.report.warnings.push_back(input.name + ": " + warning);
        }
        archive_.report.mergedMessages += input.archive->report.mergedMessages;
    }
    for (const auto& [id, group] : groups) {
        archive_.groups.push_back(group);
    }
    mergeMessages(inputs);
    archive_.messages = &spilled_;
}

void MergedArchive::mergeMessages(const std::vector<MergeInput>& inputs) {
    std::vector<Feed> feeds(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (const MessageSource* source = inputs[i].archive->messages) {
            source->forEachMessageByContact([&](const Message& m) {
                writeMessage(feeds[i].file.get(), m);
                return true;
            });
            for (const std::string& warning : source->streamWarnings()) {
                archive_.report.warnings.push_back(inputs[i].name + ": " + warning);
                ++archive_.report.entries[{"message", "unreadable"}];
            }
        }
        rewindFile(feeds[i].file.get());
        feeds[i].next();
    }
    std::vector<Message> kept;
    std::vector<Message> mine;
    for (;;) {
        const Feed* first = nullptr;
        for (const Feed& feed : feeds) {
            if (feed.more &&
                (first == nullptr || std::make_pair(feed.head.uin, feed.head.time) <
                                         std::make_pair(first->head.uin, first->head.time))) {
                first = &feed;
            }
        }
        if (first == nullptr) {
            break;
        }
        const uint32_t uin = first->head.uin;
        const int64_t time = first->head.time;
        // Within this contact and second, a copy adds a message only as often as it holds it
        // more often than the copies before it.
        kept.clear();
        for (Feed& feed : feeds) {
            mine.clear();
            for (; feed.at(uin, time); feed.next()) {
                mine.push_back(feed.head);
            }
            const size_t before = kept.size();
            for (size_t j = 0; j < mine.size(); ++j) {
                const auto same = [&](const Message& m) { return sameMessage(m, mine[j]); };
                const auto inMine = std::count_if(mine.begin(), mine.begin() + j + 1, same);
                const auto inKept = std::count_if(kept.begin(), kept.begin() + before, same);
                if (inMine <= inKept) {
                    ++archive_.report.mergedMessages;
                } else {
                    kept.push_back(mine[j]);
                }
            }
        }
        for (const Message& m : kept) {
            writeMessage(file_.get(), m);
        }
    }
}

} // namespace archive
