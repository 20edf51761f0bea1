#include "recordlog.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

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
// A line end and the spaces of the deepest indent a record usually has.
constexpr std::string_view kNewline =
    "\n                                                                ";

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

// Writes the record as nlohmann::json::dump(2) prints it, through a buffer of 64 KiB.
class JsonText {
public:
    /// Appends to `*target`, or writes to `fd` when there is no target.
    JsonText(std::string* target, int fd) : target_(target), fd_(fd) {}

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
        const Glue& glue = startEntry(key);
        put(glue.value);
        putEscaped(value);
        put(glue.valueEnd);
    }
    void file(std::string_view key, std::string_view file,
              std::optional<std::string_view> carried) {
        const Glue& glue = startEntry(key);
        put(glue.file);
        putEscaped(file);
        put(glue.carried);
        if (carried) {
            put("\"");
            putEscaped(*carried);
            put(glue.valueEnd);
        } else {
            put("null");
            put(glue.end);
        }
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
    // What an entry at one indent writes around its key, value, file and carried name: the
    // same for every entry of a record, which holds hundreds of thousands.
    struct Glue {
        std::string key;      ///< up to the key's opening quote
        std::string value;    ///< from the key's closing quote to the value's opening one
        std::string file;     ///< the same for a file
        std::string carried;  ///< from the file's closing quote to the carried name
        std::string valueEnd; ///< from the value's closing quote to the end
        std::string end;      ///< the end after a carried name of null
    };

    void put(std::string_view text) {
        if (text.size() > kBuffer - used_) {
            drain();
            if (text.size() > kBuffer) {
                send(text);
                return;
            }
        }
        if (!text.empty()) { // an empty view may hold a null pointer, which memcpy must not get
            std::memcpy(buffer_.get() + used_, text.data(), text.size());
            used_ += text.size();
        }
    }
    // A line end and `depth` spaces.
    void newline(size_t depth) {
        constexpr size_t room = kNewline.size() - 1;
        put(kNewline.substr(0, 1 + std::min(depth, room)));
        for (; depth > room; depth -= room) {
            put(kNewline.substr(1, std::min(depth - room, room)));
        }
    }
    void putString(std::string_view text) {
        put("\"");
        putEscaped(text);
        put("\"");
    }
    // `text` with what a JSON string cannot hold escaped as nlohmann::json escapes it; other
    // bytes are copied (the text is UTF-8).
    void putEscaped(std::string_view text) {
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (kMustEscape[c]) {
                put(text.substr(start, i - start));
                start = i + 1;
                putEscapedByte(c);
            }
        }
        put(text.substr(start));
    }
    // A byte that a JSON string cannot hold (no letter), as nlohmann::json writes it.
    void putEscapedByte(unsigned char c) {
        constexpr std::string_view kShort = "\"\"\\\\\bb\ff\nn\rr\tt"; // each byte, then its letter
        const size_t at = kShort.find(static_cast<char>(c));
        char escaped[8];
        if (at != std::string_view::npos) {
            std::snprintf(escaped, sizeof escaped, "\\%c", kShort[at + 1]);
        } else {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        }
        put(escaped);
    }
    // Opens the next element of the innermost array; answers its indent.
    size_t startElement() {
        Array& array = arrays_.back();
        put(array.size++ == 0 ? "[" : ",");
        newline(array.indent);
        put("{");
        return array.indent;
    }
    // Opens an entry and writes its key; answers the rest of its text.
    const Glue& startEntry(std::string_view key) {
        Array& array = arrays_.back();
        put(array.size++ == 0 ? "[" : ",");
        const Glue& glue = glueAt(array.indent);
        put(glue.key);
        putEscaped(key);
        return glue;
    }
    // The text around the parts of an entry at `indent`, made once per indent.
    const Glue& glueAt(size_t indent) {
        if (glue_.size() <= indent) {
            glue_.resize(indent + 1);
        }
        Glue& glue = glue_[indent];
        if (glue.key.empty()) {
            const std::string inner = "\n" + std::string(indent + 2, ' ');
            const std::string outer = "\n" + std::string(indent, ' ');
            glue = {outer + "{" + inner + "\"key\": \"",
                    "\"," + inner + "\"value\": \"",
                    "\"," + inner + "\"file\": \"",
                    "\"," + inner + "\"carried\": ",
                    "\"" + outer + "}",
                    outer + "}"};
        }
        return glue;
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
        send(std::string_view(buffer_.get(), used_));
        used_ = 0;
    }
    void send(std::string_view bytes) {
        if (target_ != nullptr) {
            target_->append(bytes);
            return;
        }
        if (error_ == 0) {
            error_ = writeAll(fd_, bytes.data(), bytes.size());
        }
        written_ += bytes.size();
        // The fsync that ends a save waits for the disk: each few MiB start on their way there
        // now. Only a hint, which a pipe or a terminal ignores.
        if (written_ - handedOver_ >= kWriteBehind) {
            ::sync_file_range(fd_, static_cast<off64_t>(handedOver_),
                              static_cast<off64_t>(written_ - handedOver_), SYNC_FILE_RANGE_WRITE);
            handedOver_ = written_;
        }
    }

    static constexpr size_t kBuffer = 64 * 1024;
    static constexpr uint64_t kWriteBehind = uint64_t{4} << 20;
    std::string* target_;
    int fd_;
    int error_ = 0;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kBuffer);
    size_t used_ = 0;
    uint64_t written_ = 0;      ///< bytes written to fd_
    uint64_t handedOver_ = 0;   ///< of those, bytes whose writing to the disk was started
    std::vector<Array> arrays_; ///< "sections", then the entries of each open section
    std::vector<Glue> glue_;    ///< by indent
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

int RecordLog::write(std::string* text, int fd, const Json& header) const {
    JsonText out(text, fd);
    out.header(header);
    walk(out);
    return out.finish();
}

int RecordLog::writeText(int fd, const Json& header) const {
    return write(nullptr, fd, header);
}

std::string RecordLog::text(const Json& header) const {
    std::string text;
    write(&text, -1, header);
    return text;
}

void RecordLog::reserve(size_t bytes) {
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < bytes) {
        blocks_.emplace_back().reserve(std::max(bytes, kBlock));
    }
}

void RecordLog::appendEntry(char op, std::initializer_list<uint64_t> numbers,
                            std::string_view text) {
    char head[1 + 2 * kMaxNumber];
    size_t size = 0;
    head[size++] = op;
    for (uint64_t n : numbers) {
        do {
            head[size++] = static_cast<char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
            n >>= 7;
        } while (n != 0);
    }
    blocks_.back().append(head, size).append(text);
}

uint64_t RecordLog::keyId(std::string_view key) {
    const auto found = keyIds_.find(key);
    if (found != keyIds_.end()) {
        return found->second;
    }
    const uint64_t id = keys_.size();
    keyIds_.emplace(keys_.emplace_back(key), id);
    return id;
}

void RecordLog::openLooseSectionIfNeeded() {
    if (open_.empty() && !looseOpen_) {
        reserve(2);
        appendEntry(kBegin, {0}, {});
        closed_.push_back(true);
        looseOpen_ = true;
    }
}

void RecordLog::beginSection(std::string_view name) {
    reserve(2 + kMaxNumber + name.size());
    if (open_.empty() && looseOpen_) {
        appendEntry(kEnd, {}, {});
        looseOpen_ = false;
    }
    appendEntry(kBegin, {name.size()}, name);
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
    appendEntry(kEnd, {}, {});
    return true;
}

void RecordLog::addValue(std::string_view key, std::string_view value) {
    openLooseSectionIfNeeded();
    const uint64_t id = keyId(key);
    reserve(1 + 2 * kMaxNumber + value.size());
    appendEntry(kValue, {id, value.size()}, value);
}

void RecordLog::addFile(std::string_view key, std::string_view file,
                        const std::optional<std::string>& carried) {
    openLooseSectionIfNeeded();
    const uint64_t id = keyId(key);
    const std::string_view name = carried ? std::string_view(*carried) : std::string_view();
    reserve(2 + 3 * kMaxNumber + file.size() + name.size());
    appendEntry(kFile, {id, file.size()}, file);
    if (carried) {
        appendEntry('\1', {name.size()}, name);
    } else {
        appendEntry('\0', {}, {});
    }
}

} // namespace vqrt
