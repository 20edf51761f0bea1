#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace vqrt {

/// Text written in pieces to a string or to a file descriptor, through a buffer of 64 KiB.
class TextOut {
public:
    /// Appends to `*target` (on finish() at the latest).
    explicit TextOut(std::string* target);
    /// Writes to `fd`, which stays open. With `writeBehind`, the system is asked to start
    /// writing each few MiB to the disk at once (sync_file_range), so that a later fsync of a
    /// large file has little left to wait for.
    explicit TextOut(int fd, bool writeBehind = false);
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    void put(std::string_view text) {
        if (text.size() > kSize - used_) {
            putLarge(text);
            return;
        }
        if (!text.empty()) { // an empty view may hold a null pointer, which memcpy must not get
            std::memcpy(buffer_.get() + used_, text.data(), text.size());
            used_ += text.size();
        }
    }
    void put(char c) {
        if (used_ == kSize) {
            drain();
        }
        buffer_[used_++] = c;
    }
    /// `text` as a JSON string: quoted, with quotes, backslashes and control characters
    /// escaped as nlohmann::json escapes them; other bytes are copied (the text is UTF-8).
    void putJsonString(std::string_view text) {
        put('"');
        putEscaped(text);
        put('"');
    }
    /// The same without the quotes.
    void putEscaped(std::string_view text);
    /// A line end and `depth` spaces.
    void newline(size_t depth);
    /// Writes what is buffered; 0, or the errno of the first write that failed.
    int finish();

private:
    static constexpr size_t kSize = 64 * 1024;
    void putLarge(std::string_view text);
    void send(const char* data, size_t size);
    void drain();

    std::string* target_ = nullptr;
    int fd_ = -1;
    bool writeBehind_ = false;
    uint64_t written_ = 0;    ///< bytes written to fd_
    uint64_t handedOver_ = 0; ///< of those, bytes whose writing to the disk was started
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    int error_ = 0;
};

/// The sections and entries of an import record in call order, kept compact so that a
/// record of a hundred thousand contacts takes a few MiB: one byte string per entry kind,
/// keys stored once, in blocks of 1 MiB that never move. Texts are UTF-8.
///
/// Values written while no section is open go to a nameless, closed top-level section that
/// ends where the next top-level section begins.
class RecordLog {
public:
    /// Opens a section inside the innermost open one, or at the top.
    void beginSection(std::string_view name);
    /// Closes the innermost open section; false when none is open.
    bool endSection();
    /// A text value in the innermost open section.
    void addValue(std::string_view key, std::string_view value);
    /// A file value; `carried` is the name in the bundle, or nothing.
    void addFile(std::string_view key, std::string_view file,
                 const std::optional<std::string>& carried);

    /// The "sections" array of the record. With `nested` false, entries that are sections
    /// are left out, which keeps it small whatever the record holds.
    nlohmann::ordered_json sectionsJson(bool nested = true) const;
    /// Writes the "sections" array as record.json shows it, one level deep (2 spaces).
    void writeSections(TextOut& out) const;

private:
    class Reader;
    void append(std::string_view bytes);
    void appendNumber(uint64_t n);
    void appendText(std::string_view text);
    /// The kind of entry, the key's number and a text.
    void appendEntry(char op, uint64_t key, std::string_view text);
    uint64_t keyId(std::string_view key);
    void openLooseSectionIfNeeded();

    std::vector<std::string> blocks_;
    std::vector<std::string> keys_;
    std::unordered_map<std::string, uint64_t> keyIds_;
    /// Numbers of recently used keys plus one (0: none), by a hash of the key.
    std::array<uint64_t, 64> recent_{};
    /// Per section, in the order they were begun: closed yet.
    std::vector<bool> closed_;
    /// Indexes of the open sections, innermost last.
    std::vector<size_t> open_;
    bool looseOpen_ = false;
};

} // namespace vqrt
