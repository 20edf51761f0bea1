#include "recordlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

namespace vqrt {

namespace {

// What the log holds, one byte each, then their parts:
constexpr char kBegin = 'B'; // name
constexpr char kEnd = 'E';   //
constexpr char kValue = 'V'; // key number, value
constexpr char kFile = 'F';  // key number, file, 0 or 1, the carried name when 1

constexpr size_t kFirstBlock = 4096;
constexpr uint64_t kWriteBehind = uint64_t{4} << 20;
constexpr size_t kLargestBlock = size_t{1} << 20;
// A line end and the spaces of the deepest indent a record usually has.
constexpr std::string_view kNewline =
    "\n                                                                ";

} // namespace

TextOut::TextOut(std::string* target) : target_(target), buffer_(new char[kSize]) {}

TextOut::TextOut(int fd, bool writeBehind)
    : fd_(fd), writeBehind_(writeBehind), buffer_(new char[kSize]) {}

void TextOut::putLarge(std::string_view text) {
    drain();
    if (text.size() < kSize) {
        put(text);
    } else {
        send(text.data(), text.size()); // too large for the buffer: straight through
    }
}

namespace {

// The bytes a JSON string cannot hold as they are.
constexpr std::array<bool, 256> kMustEscape = [] {
    std::array<bool, 256> table{};
    for (size_t c = 0; c < 0x20; ++c) {
        table[c] = true;
    }
    table['"'] = true;
    table['\\'] = true;
    return table;
}();

} // namespace

void TextOut::putEscaped(std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!kMustEscape[c]) {
            continue;
        }
        put(text.substr(start, i - start));
        start = i + 1;
        switch (c) {
        case '"':
            put("\\\"");
            break;
        case '\\':
            put("\\\\");
            break;
        case '\b':
            put("\\b");
            break;
        case '\f':
            put("\\f");
            break;
        case '\n':
            put("\\n");
            break;
        case '\r':
            put("\\r");
            break;
        case '\t':
            put("\\t");
            break;
        default: {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            put(escaped);
        }
        }
    }
    put(text.substr(start));
}

void TextOut::newline(size_t depth) {
    const size_t room = kNewline.size() - 1;
    put(kNewline.substr(0, 1 + std::min(depth, room)));
    for (depth -= std::min(depth, room); depth > 0; depth -= std::min(depth, room)) {
        put(kNewline.substr(1, std::min(depth, room)));
    }
}

void TextOut::send(const char* data, size_t size) {
    if (target_ != nullptr) {
        target_->append(data, size);
        return;
    }
    for (size_t done = 0; error_ == 0 && done < size;) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno != EINTR) {
            error_ = errno;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
        written_ += n > 0 ? static_cast<uint64_t>(n) : 0;
    }
    if (writeBehind_ && written_ - handedOver_ >= kWriteBehind) {
        // Only a hint: a file system that cannot do it writes at the fsync as before.
        ::sync_file_range(fd_, static_cast<off64_t>(handedOver_),
                          static_cast<off64_t>(written_ - handedOver_), SYNC_FILE_RANGE_WRITE);
        handedOver_ = written_;
    }
}

void TextOut::drain() {
    send(buffer_.get(), used_);
    used_ = 0;
}

int TextOut::finish() {
    drain();
    return error_;
}

// Reads the log from its start.
class RecordLog::Reader {
public:
    explicit Reader(const std::vector<std::string>& blocks) : blocks_(blocks) {}

    bool atEnd() const { return block_ >= blocks_.size(); }
    char peek() const { return blocks_[block_][at_]; }
    char readByte() {
        const char c = blocks_[block_][at_++];
        skipFinishedBlock();
        return c;
    }
    uint64_t readNumber() {
        uint64_t n = 0;
        for (int shift = 0;; shift += 7) {
            const auto b = static_cast<unsigned char>(readByte());
            n |= static_cast<uint64_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) {
                return n;
            }
        }
    }
    /// A text; it lies in `scratch` when it spans two blocks.
    std::string_view readText(std::string& scratch) {
        size_t size = static_cast<size_t>(readNumber());
        if (size == 0) {
            return {};
        }
        if (blocks_[block_].size() - at_ >= size) {
            const std::string_view text(blocks_[block_].data() + at_, size);
            at_ += size;
            skipFinishedBlock();
            return text;
        }
        scratch.clear();
        while (size > 0) {
            const std::string& block = blocks_[block_];
            const size_t n = std::min(size, block.size() - at_);
            scratch.append(block, at_, n);
            at_ += n;
            size -= n;
            skipFinishedBlock();
        }
        return scratch;
    }

private:
    void skipFinishedBlock() {
        if (at_ >= blocks_[block_].size()) {
            ++block_;
            at_ = 0;
        }
    }

    const std::vector<std::string>& blocks_;
    size_t block_ = 0;
    size_t at_ = 0;
};

void RecordLog::append(std::string_view bytes) {
    if (!blocks_.empty() && blocks_.back().capacity() - blocks_.back().size() >= bytes.size()) {
        blocks_.back().append(bytes);
        return;
    }
    while (!bytes.empty()) {
        if (blocks_.empty() || blocks_.back().size() == blocks_.back().capacity()) {
            // Blocks grow to 1 MiB and are never copied: a big record needs no second copy.
            const size_t size =
                std::min(kLargestBlock, kFirstBlock << std::min<size_t>(blocks_.size(), 8));
            blocks_.emplace_back();
            blocks_.back().reserve(size);
        }
        std::string& block = blocks_.back();
        const size_t n = std::min(bytes.size(), block.capacity() - block.size());
        block.append(bytes.substr(0, n));
        bytes.remove_prefix(n);
    }
}

namespace {

// Appends `n` in 7-bit groups, low first, to `out`; answers the bytes used (at most 10).
size_t encodeNumber(char* out, uint64_t n) {
    size_t size = 0;
    do {
        out[size++] = static_cast<char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        n >>= 7;
    } while (n != 0);
    return size;
}

} // namespace

void RecordLog::appendNumber(uint64_t n) {
    char bytes[10];
    append(std::string_view(bytes, encodeNumber(bytes, n)));
}

void RecordLog::appendText(std::string_view text) {
    appendNumber(text.size());
    append(text);
}

void RecordLog::appendEntry(char op, uint64_t key, std::string_view text) {
    char head[21];
    size_t size = 0;
    head[size++] = op;
    size += encodeNumber(head + size, key);
    size += encodeNumber(head + size, text.size());
    append(std::string_view(head, size));
    append(text);
}

uint64_t RecordLog::keyId(std::string_view key) {
    // Records use a few keys over and over: the last key of the same length and ends is
    // usually the one.
    const size_t slot = key.empty()
                            ? 0
                            : (key.size() * 31 + static_cast<unsigned char>(key.front()) * 7 +
                               static_cast<unsigned char>(key.back())) %
                                  recent_.size();
    if (recent_[slot] != 0 && keys_[recent_[slot] - 1] == key) {
        return recent_[slot] - 1;
    }
    const auto [it, added] = keyIds_.try_emplace(std::string(key), keys_.size());
    if (added) {
        keys_.emplace_back(key);
    }
    recent_[slot] = it->second + 1;
    return it->second;
}

void RecordLog::openLooseSectionIfNeeded() {
    if (open_.empty() && !looseOpen_) {
        append(std::string_view(&kBegin, 1));
        appendText("");
        closed_.push_back(true);
        looseOpen_ = true;
    }
}

void RecordLog::beginSection(std::string_view name) {
    if (open_.empty() && looseOpen_) {
        append(std::string_view(&kEnd, 1));
        looseOpen_ = false;
    }
    char head[11] = {kBegin};
    append(std::string_view(head, 1 + encodeNumber(head + 1, name.size())));
    append(name);
    closed_.push_back(false);
    open_.push_back(closed_.size() - 1);
}

bool RecordLog::endSection() {
    if (open_.empty()) {
        return false;
    }
    closed_[open_.back()] = true;
    open_.pop_back();
    append(std::string_view(&kEnd, 1));
    return true;
}

void RecordLog::addValue(std::string_view key, std::string_view value) {
    openLooseSectionIfNeeded();
    appendEntry(kValue, keyId(key), value);
}

void RecordLog::addFile(std::string_view key, std::string_view file,
                        const std::optional<std::string>& carried) {
    openLooseSectionIfNeeded();
    appendEntry(kFile, keyId(key), file);
    append(carried ? "\1" : std::string_view("\0", 1));
    if (carried) {
        appendText(*carried);
    }
}

nlohmann::ordered_json RecordLog::sectionsJson(bool nested) const {
    using Json = nlohmann::ordered_json;
    Json sections = Json::array();
    // The entries of the open sections, innermost last; a child is added to its parent's
    // array only while the parent is innermost, so the pointers stay valid.
    std::vector<Json*> open;
    size_t hidden = 0; // depth inside sections that are left out
    size_t section = 0;
    std::string a;
    std::string b;
    Reader in(blocks_);
    while (!in.atEnd()) {
        const char op = in.readByte();
        if (op == kBegin) {
            const std::string_view name = in.readText(a);
            const bool closed = closed_[section++];
            if (hidden > 0 || (!nested && !open.empty())) {
                ++hidden;
                continue;
            }
            Json s;
            s["name"] = name;
            s["closed"] = closed;
            s["entries"] = Json::array();
            Json* entries;
            if (open.empty()) {
                sections.push_back(std::move(s));
                entries = &sections.back()["entries"];
            } else {
                Json entry;
                entry["section"] = std::move(s);
                open.back()->push_back(std::move(entry));
                entries = &open.back()->back()["section"]["entries"];
            }
            open.push_back(entries);
        } else if (op == kEnd) {
            if (hidden > 0) {
                --hidden;
            } else {
                open.pop_back();
            }
        } else {
            const std::string& key = keys_[in.readNumber()];
            const std::string_view text = in.readText(a);
            const bool carried = op == kFile && in.readByte() != 0;
            const std::string_view carriedName = carried ? in.readText(b) : std::string_view();
            if (hidden > 0) {
                continue;
            }
            Json entry;
            entry["key"] = key;
            if (op == kValue) {
                entry["value"] = text;
            } else {
                entry["file"] = text;
                entry["carried"] = carried ? Json(carriedName) : Json(nullptr);
            }
            open.back()->push_back(std::move(entry));
        }
    }
    return sections;
}

void RecordLog::writeSections(TextOut& out) const {
    Reader in(blocks_);
    if (in.atEnd()) {
        out.put("[]");
        return;
    }
    struct Level {
        size_t indent; ///< of the section's object
        size_t entries;
        bool empty;
    };
    std::vector<Level> levels;
    size_t topLevel = 0;
    size_t section = 0;
    std::string a;
    std::string b;
    // The text of an entry up to its value or file, made once per key, indent and kind: a
    // record repeats the same few keys at the same depth many times.
    std::vector<std::vector<std::string>> heads;
    const auto entryHead = [&](uint64_t key, size_t indent, bool file) -> const std::string& {
        const size_t row = indent / 2;
        if (heads.size() <= row) {
            heads.resize(row + 1);
        }
        const size_t slot = static_cast<size_t>(key) * 2 + (file ? 1 : 0);
        if (heads[row].size() <= slot) {
            heads[row].resize(slot + 1);
        }
        std::string& text = heads[row][slot];
        if (text.empty()) {
            TextOut piece(&text);
            piece.newline(indent);
            piece.put('{');
            piece.newline(indent + 2);
            piece.put("\"key\": ");
            piece.putJsonString(keys_[key]);
            piece.put(',');
            piece.newline(indent + 2);
            piece.put(file ? "\"file\": \"" : "\"value\": \"");
            piece.finish();
        }
        return text;
    };
    // The end of a value entry at `indent`: the closing quote and brace.
    std::vector<std::string> tails;
    const auto valueTail = [&](size_t indent) -> const std::string& {
        const size_t row = indent / 2;
        if (tails.size() <= row) {
            tails.resize(row + 1);
        }
        std::string& text = tails[row];
        if (text.empty()) {
            TextOut piece(&text);
            piece.put('"');
            piece.newline(indent);
            piece.put('}');
            piece.finish();
        }
        return text;
    };
    // Opens the next entry of the innermost section (a section at the top level); answers
    // the indent of its object.
    const auto startEntry = [&] {
        size_t& count = levels.empty() ? topLevel : levels.back().entries;
        if (count++ > 0) {
            out.put(',');
        }
        const size_t indent = levels.empty() ? 4 : levels.back().indent + 4;
        out.newline(indent);
        out.put('{');
        return indent;
    };
    // Closes the innermost section: its entries, its object and the entry that holds it.
    const auto closeSection = [&] {
        const Level level = levels.back();
        levels.pop_back();
        if (!level.empty) {
            out.newline(level.indent + 2);
            out.put(']');
        }
        out.newline(level.indent);
        out.put('}');
        if (!levels.empty()) {
            out.newline(levels.back().indent + 4);
            out.put('}');
        }
    };
    out.put('[');
    while (!in.atEnd()) {
        const char op = in.readByte();
        if (op == kBegin) {
            const std::string_view name = in.readText(a);
            size_t indent = startEntry();
            if (!levels.empty()) {
                out.newline(indent + 2);
                out.put("\"section\": {");
                indent += 2;
            }
            out.newline(indent + 2);
            out.put("\"name\": ");
            out.putJsonString(name);
            out.put(',');
            out.newline(indent + 2);
            out.put(closed_[section++] ? "\"closed\": true," : "\"closed\": false,");
            out.newline(indent + 2);
            const bool empty = in.atEnd() || in.peek() == kEnd;
            out.put(empty ? "\"entries\": []" : "\"entries\": [");
            levels.push_back({indent, 0, empty});
        } else if (op == kEnd) {
            closeSection();
        } else {
            const uint64_t key = in.readNumber();
            size_t& count = levels.back().entries;
            if (count++ > 0) {
                out.put(',');
            }
            const size_t indent = levels.back().indent + 4;
            out.put(entryHead(key, indent, op == kFile));
            out.putEscaped(in.readText(a));
            if (op == kValue) {
                out.put(valueTail(indent));
                continue;
            }
            out.put("\",");
            out.newline(indent + 2);
            out.put("\"carried\": ");
            if (in.readByte() != 0) {
                out.putJsonString(in.readText(b));
            } else {
                out.put("null");
            }
            out.newline(indent);
            out.put('}');
        }
    }
    while (!levels.empty()) {
        closeSection();
    }
    out.newline(2);
    out.put(']');
}

} // namespace vqrt
