#include "recordlog.h"

#include <unistd.h>

#include <algorithm>
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
constexpr size_t kLargestBlock = size_t{1} << 20;
constexpr size_t kOutBuffer = 64 * 1024;
constexpr std::string_view kSpaces = "                                                                ";

} // namespace

TextOut::TextOut(std::string* target) : target_(target) {}

TextOut::TextOut(int fd) : fd_(fd) {
    buffer_.reserve(kOutBuffer);
}

void TextOut::put(std::string_view text) {
    if (target_ != nullptr) {
        target_->append(text);
        return;
    }
    buffer_.append(text);
    if (buffer_.size() >= kOutBuffer) {
        drain();
    }
}

void TextOut::put(char c) {
    put(std::string_view(&c, 1));
}

void TextOut::putJsonString(std::string_view text) {
    put('"');
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
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
    put('"');
}

void TextOut::newline(size_t depth) {
    put('\n');
    for (; depth > kSpaces.size(); depth -= kSpaces.size()) {
        put(kSpaces);
    }
    put(kSpaces.substr(0, depth));
}

void TextOut::drain() {
    for (size_t done = 0; error_ == 0 && done < buffer_.size();) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno != EINTR) {
            error_ = errno;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    buffer_.clear();
}

int TextOut::finish() {
    if (target_ == nullptr) {
        drain();
    }
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
    while (!bytes.empty()) {
        if (blocks_.empty() || blocks_.back().size() == blocks_.back().capacity()) {
            // Blocks grow to 1 MiB and are never copied: a big record needs no second copy.
            const size_t size = std::min(kLargestBlock, kFirstBlock << std::min<size_t>(
                                                                         blocks_.size(), 8));
            blocks_.emplace_back();
            blocks_.back().reserve(size);
        }
        std::string& block = blocks_.back();
        const size_t n = std::min(bytes.size(), block.capacity() - block.size());
        block.append(bytes.substr(0, n));
        bytes.remove_prefix(n);
    }
}

void RecordLog::appendNumber(uint64_t n) {
    char bytes[10];
    size_t size = 0;
    do {
        bytes[size++] = static_cast<char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        n >>= 7;
    } while (n != 0);
    append(std::string_view(bytes, size));
}

void RecordLog::appendText(std::string_view text) {
    appendNumber(text.size());
    append(text);
}

uint64_t RecordLog::keyId(std::string_view key) {
    const auto [it, added] = keyIds_.try_emplace(std::string(key), keys_.size());
    if (added) {
        keys_.emplace_back(key);
    }
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
    append(std::string_view(&kBegin, 1));
    appendText(name);
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
    const uint64_t id = keyId(key);
    append(std::string_view(&kValue, 1));
    appendNumber(id);
    appendText(value);
}

void RecordLog::addFile(std::string_view key, std::string_view file,
                        const std::optional<std::string>& carried) {
    openLooseSectionIfNeeded();
    const uint64_t id = keyId(key);
    append(std::string_view(&kFile, 1));
    appendNumber(id);
    appendText(file);
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
            const std::string& key = keys_[in.readNumber()];
            const size_t indent = startEntry();
            out.newline(indent + 2);
            out.put("\"key\": ");
            out.putJsonString(key);
            out.put(',');
            out.newline(indent + 2);
            if (op == kValue) {
                out.put("\"value\": ");
                out.putJsonString(in.readText(a));
            } else {
                out.put("\"file\": ");
                out.putJsonString(in.readText(a));
                out.put(',');
                out.newline(indent + 2);
                out.put("\"carried\": ");
                if (in.readByte() != 0) {
                    out.putJsonString(in.readText(b));
                } else {
                    out.put("null");
                }
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
