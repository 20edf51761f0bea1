#include "database.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "archive/bytes.h"
#include "archive/entries.h"
#include "archive/exporterror.h"
#include "archive/format.h"
#include "archive/loader.h"
#include "archive/locate.h"
#include "archive/messagetext.h"
#include "archive/walk.h"
#include "text/codepage.h"
#include "text/names.h"

namespace archive {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSqliteHeader{"SQLite format 3\0", 16};
constexpr uint32_t kAwaitingGroup = 3;
// Data pages kept while streaming: 64 of them are 4 MiB. In file order a whole page is read
// at once; in contact order the span from an entry to the last of the entries that follow it
// in the stream and lie a little further on in the same page (a conversation), gaps between
// them at most kNearby bytes.
constexpr size_t kCachedPages = 64;
constexpr uint64_t kNearby = 4096;

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The tables of ICQ 2003b and later (Messages<UIN>.dbf, Users<UIN>.dbf, O<UIN>.dbf) and ICQ 7's
// Messages.qdb.
bool isLaterTable(const std::string& name) {
    const std::string n = text::foldName(name);
    return n == "messages.qdb" ||
           (endsWith(n, ".dbf") &&
            (n.rfind("messages", 0) == 0 || n.rfind("users", 0) == 0 ||
             (n[0] == 'o' && n.size() > 5 && std::isdigit(static_cast<unsigned char>(n[1])))));
}

std::string refusal(const std::string& path, std::vector<std::string> found) {
    std::sort(found.begin(), found.end());
    const bool qdb = std::any_of(found.begin(), found.end(), [](const std::string& n) {
        return endsWith(text::foldName(n), ".qdb");
    });
    std::string names;
    for (size_t i = 0; i < found.size() && i < 3; ++i) {
        names += (i == 0 ? "" : ", ") + found[i];
    }
    names += found.size() > 3 ? ", ..." : "";
    return path + ": a database of " + (qdb ? "ICQ 7 or later" : "ICQ 2003b or later") + " (" +
           names + "), which this reader cannot read (it reads the <UIN>.dat of ICQ 99a to 2003a)";
}

std::vector<std::string> laterTablesIn(const fs::path& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isLaterTable(name)) {
            found.push_back(name);
        }
    }
    return found;
}

bool isSqliteFile(const fs::path& path) {
    char header[kSqliteHeader.size()] = {};
    std::ifstream file(path, std::ios::binary);
    return file.read(header, sizeof header) &&
           std::equal(kSqliteHeader.begin(), kSqliteHeader.end(), header);
}

// Tells how far a walk has come, once per kProgressStep bytes of the file.
class ProgressSink : public WalkSink {
public:
    ProgressSink(WalkSink& inner, const OpenProgress& progress, uint64_t total)
        : inner_(inner), progress_(progress), total_(total) {}

    void entry(uint64_t offset, const uint8_t* data, size_t size) override {
        if (offset >= next_) {
            progress_(offset, total_);
            next_ = offset + kProgressStep;
        }
        inner_.entry(offset, data, size);
    }
    void unreadable(uint64_t offset, const std::string& problem) override {
        inner_.unreadable(offset, problem);
    }
    void warning(const std::string& problem) override { inner_.warning(problem); }

private:
    static constexpr uint64_t kProgressStep = uint64_t{1} << 20;
    WalkSink& inner_;
    const OpenProgress& progress_;
    const uint64_t total_;
    uint64_t next_ = 0;
};

} // namespace

struct Database::State {
    Settings settings;
    std::string path;
    std::string indexPath;
    Walk walk = Walk::AllocationBitmap;
    std::string version = "unknown";
    uint32_t indexVersion = 0;
    ReadOnlyFile dat;
    std::unique_ptr<text::CodepageDecoder> decoder;
    Gathered gathered;
    std::vector<Contact> contacts;
    /// Streaming adds the problems it meets after the `opened` ones of the walk.
    mutable Report report;
    size_t opened = 0;
    uint64_t withdrawn = 0;
    /// Data pages read while streaming, a few kept: a contact's messages cluster in the file.
    mutable std::vector<uint8_t> cache;
    mutable std::vector<uint64_t> cachedStart;
    mutable std::vector<size_t> cachedBytes;

    void load(ReadOnlyFile* idx, const OpenProgress& progress, Delivery* delivery);
    void finish();
    const uint8_t* read(const MessageRef* refs, size_t n, size_t i, bool wholePages) const;
    bool message(const MessageRef* refs, size_t n, size_t i, bool wholePages, Message& out) const;
    void stream(RefOrder order, const std::function<bool(const Message&)>& visit);
};

void Database::State::load(ReadOnlyFile* idx, const OpenProgress& progress, Delivery* delivery) {
    std::vector<std::string> notes;
    std::optional<Gathered> indexWalk;
    std::optional<RefCursor> handedBefore;
    if (idx != nullptr && settings.useIndex) {
        // A leaf takes half the memory of a message reference.
        LeafRuns leaves(2 * settings.referencesInMemory);
        // Room for a leaf per node of the index, or per slot of the data file if fewer:
        // reserved but untouched memory costs nothing, while growing copies.
        leaves.reserve(
            std::min<uint64_t>(idx->size() / format::kNodeSize, dat.size() / format::kSlotSize));
        uint64_t found = 0;
        const auto add = [&](const Leaf& leaf) {
            leaves.add(leaf);
            ++found;
        };
        std::string problem;
        if (readIndexTree(*idx, dat.size(), add, problem)) {
            gathered.messages.reserve(found);
            Loader loader(*decoder, gathered, delivery, settings.deletedFolder);
            ProgressSink told(loader, progress, dat.size());
            if (walkLeaves(dat, leaves, progress ? static_cast<WalkSink&>(told) : loader,
                           problem)) {
                walk = Walk::IndexTree;
                return;
            }
        }
        notes.push_back(problem + "; reading the data file's allocation bitmap instead");
        if (delivery != nullptr) {
            // What the index walk handed over is not handed over again; both walks go by
            // offset.
            indexWalk.emplace(std::move(gathered));
            handedBefore.emplace(indexWalk->messages);
            delivery->done = &*handedBefore;
        }
        gathered = Gathered(settings.referencesInMemory);
    }
    gathered.report.warnings = std::move(notes);
    Loader loader(*decoder, gathered, delivery, settings.deletedFolder);
    ProgressSink told(loader, progress, dat.size());
    walkBitmap(dat, progress ? static_cast<WalkSink&>(told) : loader);
    walk = Walk::AllocationBitmap;
    if (delivery != nullptr) {
        delivery->done = nullptr;
    }
}

void Database::State::finish() {
    Report& r = gathered.report;
    for (const Tally& tally : gathered.tallies) {
        r.entries[{tally.kind, tally.outcome}] += tally.count;
    }
    contacts = mergeContacts(gathered.records, gathered.messages.uins(), r);
    gathered.records.clear();
    gathered.records.shrink_to_fit();
    if (!gathered.hasOwner) {
        r.warnings.push_back(path + ": no owner entry (My Details, entry 1005)");
    }
    std::vector<Group>& groups = gathered.groups;
    const bool awaiting = std::any_of(contacts.begin(), contacts.end(),
                                      [](const Contact& c) { return c.groupId == kAwaitingGroup; });
    if (awaiting && std::none_of(groups.begin(), groups.end(),
                                 [](const Group& g) { return g.id == kAwaitingGroup; })) {
        // ICQ's own group of contacts that have not authorised yet is in no owner entry.
        groups.push_back({kAwaitingGroup, "Awaiting authorization"});
    }
    version = format::versionOfDatabase(indexVersion, gathered.builds);
    report = std::move(r);
    opened = report.warnings.size();
}

const uint8_t* Database::State::read(const MessageRef* refs, size_t n, size_t i,
                                     bool wholePages) const {
    if (cache.empty()) {
        cache.resize(kCachedPages * format::kDatPageSize);
        cachedStart.assign(kCachedPages, 0);
        cachedBytes.assign(kCachedPages, 0);
    }
    const MessageRef& ref = refs[i];
    const uint64_t page = (ref.offset - format::kDatHeaderSize) / format::kDatPageSize;
    const uint64_t pageEnd = format::kDatHeaderSize + (page + 1) * format::kDatPageSize;
    // In file order one line is enough, and it stays in the processor's cache.
    const size_t line = wholePages ? 0 : page % kCachedPages;
    uint8_t* bytes = cache.data() + line * format::kDatPageSize;
    const uint64_t start = cachedStart[line];
    if (ref.offset >= start && ref.offset + ref.size <= start + cachedBytes[line]) {
        return bytes + (ref.offset - start);
    }
    uint64_t end = wholePages ? pageEnd : uint64_t{ref.offset} + ref.size;
    for (size_t k = i + 1; !wholePages && k < n; ++k) {
        if (refs[k].offset < end || refs[k].offset > end + kNearby ||
            uint64_t{refs[k].offset} + refs[k].size > pageEnd) {
            break;
        }
        end = uint64_t{refs[k].offset} + refs[k].size;
    }
    cachedBytes[line] = 0;
    cachedStart[line] = ref.offset;
    if (!dat.read(ref.offset, static_cast<size_t>(end - ref.offset), bytes, cachedBytes[line]) ||
        cachedBytes[line] < ref.size) {
        return nullptr;
    }
    return bytes;
}

bool Database::State::message(const MessageRef* refs, size_t n, size_t i, bool wholePages,
                              Message& out) const {
    const MessageRef& ref = refs[i];
    const uint8_t* bytes = read(refs, n, i, wholePages);
    EntryHeader header;
    MessageEntry entry;
    std::string problem = "cannot read it again";
    if (bytes == nullptr || !readEntryHeader(bytes, ref.size, header, problem) ||
        header.kind != format::Kind::Message ||
        !parseMessage(bytes, ref.size, header.form, header.build, entry, problem) ||
        entry.uin != ref.uin || entry.time != ref.time) {
        report.warnings.push_back(path + ": entry at offset " + hexOffset(ref.offset) +
                                  ": changed since the database was opened (" + problem + ")");
        return false;
    }
    composeMessage(entry, header.form, header.id, ref.offset, settings.timeOffset, *decoder, out);
    return true;
}

void Database::State::stream(RefOrder order, const std::function<bool(const Message&)>& visit) {
    const bool wholePages = order == RefOrder::File;
    Message m;
    std::string problem;
    const bool complete = gathered.messages.forEach(
        order,
        [&](const MessageRef* refs, size_t n) {
            for (size_t i = 0; i < n; ++i) {
                if (message(refs, n, i, wholePages, m) && !visit(m)) {
                    return false;
                }
            }
            return true;
        },
        problem);
    if (!complete) {
        report.warnings.push_back(path + ": the rest of its messages left out (" + problem + ")");
    }
}

Database::Database(std::unique_ptr<State> state) : state_(std::move(state)) {}

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::string& datPath, const Settings& settings,
                                         std::string& error, const OpenProgress& progress,
                                         const std::function<bool(const Message&)>& visit) {
    const std::string refused = laterFormatRefusal(datPath);
    if (!refused.empty()) {
        error = refused;
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->settings = settings;
    state->gathered = Gathered(settings.referencesInMemory);
    state->path = datPath;
    if (!state->dat.open(datPath, error) || !checkDatHeader(state->dat, error)) {
        return nullptr;
    }
    state->decoder = std::make_unique<text::CodepageDecoder>(settings.codepage);
    if (!state->decoder->known()) {
        error = datPath + ": cannot decode its texts (iconv knows no code page \"" +
                settings.codepage + "\")";
        return nullptr;
    }
    state->indexPath = indexBeside(datPath);
    ReadOnlyFile idx;
    std::string idxError;
    const bool hasIndex = !state->indexPath.empty() && idx.open(state->indexPath, idxError);
    if (hasIndex) {
        state->indexVersion = archive::indexVersion(idx);
    }
    Delivery delivery;
    delivery.visit = &visit;
    delivery.timeOffset = settings.timeOffset;
    try {
        state->load(hasIndex ? &idx : nullptr, progress, visit ? &delivery : nullptr);
        state->gathered.messages.finish();
    } catch (const ExportError& e) {
        error = e.what();
        return nullptr;
    }
    if (visit && !delivery.stopped) {
        // Each message held was handed over once; the rest were where a stale index led.
        const uint64_t held = state->gathered.messages.size();
        state->withdrawn = delivery.handed > held ? delivery.handed - held : 0;
    }
    if (progress) {
        progress(state->dat.size(), state->dat.size());
    }
    if (!state->indexPath.empty() && !hasIndex) {
        state->gathered.report.warnings.insert(state->gathered.report.warnings.begin(), idxError);
    }
    state->finish();
    return std::unique_ptr<Database>(new Database(std::move(state)));
}

const std::string& Database::path() const {
    return state_->path;
}
const std::string& Database::indexPath() const {
    return state_->indexPath;
}
Walk Database::walk() const {
    return state_->walk;
}
const std::string& Database::version() const {
    return state_->version;
}
uint32_t Database::indexVersion() const {
    return state_->indexVersion;
}
const std::map<uint16_t, uint64_t>& Database::builds() const {
    return state_->gathered.builds;
}
const Owner& Database::owner() const {
    return state_->gathered.owner;
}
const std::vector<Group>& Database::groups() const {
    return state_->gathered.groups;
}
const std::vector<Contact>& Database::contacts() const {
    return state_->contacts;
}
uint64_t Database::messageCount() const {
    return state_->gathered.messages.size();
}
uint64_t Database::withdrawn() const {
    return state_->withdrawn;
}
const Report& Database::report() const {
    return state_->report;
}
const Settings& Database::settings() const {
    return state_->settings;
}

void Database::forEachMessage(const std::function<bool(const Message&)>& visit) const {
    state_->stream(RefOrder::File, visit);
}

void Database::forEachMessageByContact(const std::function<bool(const Message&)>& visit) const {
    state_->stream(RefOrder::ByContact, visit);
}

std::vector<std::string> Database::streamWarnings() const {
    const std::vector<std::string>& all = state_->report.warnings;
    return {all.begin() + static_cast<std::ptrdiff_t>(state_->opened), all.end()};
}

void fillArchive(const Database& db, Archive& out) {
    out.owner = db.owner();
    out.groups = db.groups();
    out.contacts = db.contacts();
    out.messages = &db;
    out.report = db.report();
    out.report.sources.push_back(
        db.path() + " (ICQ " + db.version() + ", read through " +
        (db.walk() == Walk::IndexTree ? "its index" : "its pages' allocation bitmaps") + ")");
    out.settings = db.settings();
}

std::string laterFormatRefusal(const std::string& path) {
    std::error_code ec;
    const fs::path p(path);
    const fs::file_status status = fs::status(p, ec);
    if (fs::is_directory(status)) {
        const std::vector<std::string> found = laterTablesIn(p);
        return found.empty() ? std::string() : refusal(path, found);
    }
    if (fs::exists(status)) {
        const std::string name = p.filename().string();
        if (isLaterTable(name) || endsWith(text::foldName(name), ".dbf") ||
            endsWith(text::foldName(name), ".qdb")) {
            return refusal(path, {name});
        }
        return fs::is_regular_file(status) && isSqliteFile(p)
                   ? refusal(path, {"an SQLite file like Messages.qdb"})
                   : std::string();
    }
    const std::vector<std::string> found =
        laterTablesIn(p.has_parent_path() ? p.parent_path() : fs::path("."));
    return found.empty() ? std::string() : refusal(path, found);
}

} // namespace archive
