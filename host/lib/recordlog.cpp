#include "recordlog.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "fdio.h"

namespace vqrt {

namespace {

using Json = nlohmann::ordered_json;

// What the log holds, one byte each, then their parts:
constexpr char kBegin = 'B'; // name
constexpr char kEnd = 'E';   //
constexpr char kValue = 'V'; // key number, value
constexpr char kFile = 'F';  // key number, file, 0 or 1, the carried name when 1

constexpr size_t kBlock = size_t{1} << 20;
constexpr size_t kMaxNumber = 10; // bytes of a 64-bit number in 7-bit groups

uint64_t takeNumber(std::string_view& in) {
    uint64_t n = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        n |= static_cast<uint64_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) {
            return n;
        }
    }
}

std::string_view takeText(std::string_view& in) {
    const auto size = static_cast<size_t>(takeNumber(in));
    const std::string_view text = in.substr(0, size);
    in.remove_prefix(size);
    return text;
}

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

// Writes the record as nlohmann::json::dump(2) does, into a string that is handed to a file
// descriptor (when there is one) each 64 KiB.
class JsonText {
public:
    JsonText(std::string& text, int fd) : text_(text), fd_(fd) {}

    void header(const Json& fields) {
        put("{");
        for (const auto& field : fields.items()) {
            newline(2);
            putString(field.key());
            put(": ");
            put(field.value().dump());
            put(",");
        }
        newline(2);
        put("\"sections\": ");
        arrays_.push_back({4, 0});
    }
    void beginSection(std::string_view name, bool closed) {
        size_t indent = startElement();
        if (arrays_.size() > 1) {
            newline(indent + 2);
            put("\"section\": {");
            indent += 2;
        }
        newline(indent + 2);
        put("\"name\": ");
        putString(name);
        put(",");
        newline(indent + 2);
        put(closed ? "\"closed\": true," : "\"closed\": false,");
        newline(indent + 2);
        put("\"entries\": ");
        arrays_.push_back({indent + 4, 0});
    }
    void endSection() {
        const size_t indent = closeArray() - 4;
        newline(indent);
        put("}");
        if (arrays_.size() > 1) { // the entry that holds the section
            newline(indent - 2);
            put("}");
        }
    }
    void value(std::string_view key, std::string_view value) {
        const size_t indent = startEntry(key);
        put("\"value\": ");
        putString(value);
        newline(indent);
        put("}");
    }
    void file(std::string_view key, std::string_view file,
              std::optional<std::string_view> carried) {
        const size_t indent = startEntry(key);
        put("\"file\": ");
        putString(file);
        put(",");
        newline(indent + 2);
        put("\"carried\": ");
        if (carried) {
            putString(*carried);
        } else {
            put("null");
        }
        newline(indent);
        put("}");
    }
    /// 0, or the errno of the first write that failed.
    int finish() {
        closeArray();
        put("\n}\n");
        drain();
        return error_;
    }

private:
    struct Array {
        size_t indent; ///< of its elements
        size_t size;
    };

    void put(std::string_view text) {
        text_.append(text);
        if (fd_ >= 0 && text_.size() >= kBuffer) {
            drain();
        }
    }
    void newline(size_t depth) {
        text_ += '\n';
        text_.append(depth, ' ');
    }
    void putString(std::string_view text) {
        text_ += '"';
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (kMustEscape[c]) {
                text_.append(text, start, i - start);
                start = i + 1;
                putEscaped(c);
            }
        }
        text_.append(text, start);
        put("\"");
    }
    void putEscaped(unsigned char c) {
        switch (c) {
        case '"':
            text_ += "\\\"";
            break;
        case '\\':
            text_ += "\\\\";
            break;
        case '\b':
            text_ += "\\b";
            break;
        case '\f':
            text_ += "\\f";
            break;
        case '\n':
            text_ += "\\n";
            break;
        case '\r':
            text_ += "\\r";
            break;
        case '\t':
            text_ += "\\t";
            break;
        default: {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            text_ += escaped;
        }
        }
    }
    // Opens the next element of the innermost array; answers its indent.
    size_t startElement() {
        Array& array = arrays_.back();
        put(array.size++ == 0 ? "[" : ",");
        newline(array.indent);
        put("{");
        return array.indent;
    }
    // Opens an entry up to its value; answers its indent.
    size_t startEntry(std::string_view key) {
        const size_t indent = startElement();
        newline(indent + 2);
        put("\"key\": ");
        putString(key);
        put(",");
        newline(indent + 2);
        return indent;
    }
    // Closes the innermost array; answers the indent of its elements.
    size_t closeArray() {
        const Array array = arrays_.back();
        arrays_.pop_back();
        if (array.size == 0) {
            put("[]");
        } else {
            newline(array.indent - 2);
            put("]");
        }
        return array.indent;
    }
    void drain() {
        if (fd_ < 0) {
            return;
        }
        if (error_ == 0) {
            error_ = writeAll(fd_, text_.data(), text_.size());
        }
        text_.clear();
    }

    static constexpr size_t kBuffer = 64 * 1024;
    std::string& text_;
    int fd_;
    int error_ = 0;
    std::vector<Array> arrays_; ///< "sections", then the entries of each open section
};

// Builds the record as a tree, with or without the sections inside sections.
class JsonTree {
public:
    explicit JsonTree(bool nested) : nested_(nested) {}

    void beginSection(std::string_view name, bool closed) {
        if (hidden_ > 0 || (!nested_ && !open_.empty())) {
            ++hidden_;
            return;
        }
        Json section = {{"name", name}, {"closed", closed}, {"entries", Json::array()}};
        // A child is added only while its parent is innermost: the pointers stay valid.
        if (open_.empty()) {
            sections_.push_back(std::move(section));
            open_.push_back(&sections_.back()["entries"]);
        } else {
            open_.back()->push_back({{"section", std::move(section)}});
            open_.push_back(&open_.back()->back()["section"]["entries"]);
        }
    }
    void endSection() {
        if (hidden_ > 0) {
            --hidden_;
        } else {
            open_.pop_back();
        }
    }
    void value(std::string_view key, std::string_view value) {
        if (hidden_ == 0) {
            open_.back()->push_back({{"key", key}, {"value", value}});
        }
    }
    void file(std::string_view key, std::string_view file,
              std::optional<std::string_view> carried) {
        if (hidden_ == 0) {
            open_.back()->push_back(
                {{"key", key}, {"file", file}, {"carried", carried ? Json(*carried) : Json()}});
        }
    }
    Json take() { return std::move(sections_); }

private:
    bool nested_;
    size_t hidden_ = 0; ///< depth inside sections that are left out
    Json sections_ = Json::array();
    std::vector<Json*> open_; ///< the entries of the open sections, innermost last
};

} // namespace

template <class Visitor> void RecordLog::walk(Visitor& visitor) const {
    size_t section = 0;
    for (const std::string& block : blocks_) {
        std::string_view in = block;
        while (!in.empty()) {
            const char op = in.front();
            in.remove_prefix(1);
            if (op == kBegin) {
                const std::string_view name = takeText(in);
                visitor.beginSection(name, closed_[section++]);
                continue;
            }
            if (op == kEnd) {
                visitor.endSection();
                continue;
            }
            const std::string& key = keys_[takeNumber(in)];
            const std::string_view text = takeText(in);
            if (op == kValue) {
                visitor.value(key, text);
                continue;
            }
            const bool carried = in.front() != 0;
            in.remove_prefix(1);
            visitor.file(key, text,
                         carried ? std::optional<std::string_view>(takeText(in)) : std::nullopt);
        }
    }
    for (size_t i = 0; i < open_.size() + (looseOpen_ ? 1 : 0); ++i) {
        visitor.endSection();
    }
}

Json RecordLog::json(Json header, bool nested) const {
    JsonTree tree(nested);
    walk(tree);
    header["sections"] = tree.take();
    return header;
}

int RecordLog::write(std::string& text, int fd, const Json& header) const {
    JsonText out(text, fd);
    out.header(header);
    walk(out);
    return out.finish();
}

int RecordLog::writeText(int fd, const Json& header) const {
    std::string buffer;
    return write(buffer, fd, header);
}

std::string RecordLog::text(const Json& header) const {
    std::string text;
    write(text, -1, header);
    return text;
}

void RecordLog::reserve(size_t bytes) {
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < bytes) {
        blocks_.emplace_back().reserve(std::max(bytes, kBlock));
    }
}

void RecordLog::appendNumber(uint64_t n) {
    do {
        blocks_.back() += static_cast<char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        n >>= 7;
    } while (n != 0);
}

void RecordLog::appendText(std::string_view text) {
    appendNumber(text.size());
    blocks_.back().append(text);
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
        reserve(2);
        blocks_.back() += kBegin;
        appendText("");
        closed_.push_back(true);
        looseOpen_ = true;
    }
}

void RecordLog::beginSection(std::string_view name) {
    reserve(2 + kMaxNumber + name.size());
    if (open_.empty() && looseOpen_) {
        blocks_.back() += kEnd;
        looseOpen_ = false;
    }
    blocks_.back() += kBegin;
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
    reserve(1);
    blocks_.back() += kEnd;
    return true;
}

void RecordLog::addValue(std::string_view key, std::string_view value) {
    openLooseSectionIfNeeded();
    const uint64_t id = keyId(key);
    reserve(1 + 2 * kMaxNumber + value.size());
    blocks_.back() += kValue;
    appendNumber(id);
    appendText(value);
}

void RecordLog::addFile(std::string_view key, std::string_view file,
                        const std::optional<std::string>& carried) {
    openLooseSectionIfNeeded();
    const uint64_t id = keyId(key);
    reserve(2 + 3 * kMaxNumber + file.size() + (carried ? carried->size() : 0));
    blocks_.back() += kFile;
    appendNumber(id);
    appendText(file);
    blocks_.back() += carried ? '\1' : '\0';
    if (carried) {
        appendText(*carried);
    }
}

} // namespace vqrt
