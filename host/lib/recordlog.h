#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace vqrt {

/// The sections and entries of an import record in call order, kept compact so that a
/// record of a hundred thousand contacts takes a few MiB: one byte string per entry, keys
/// stored once, in blocks of 1 MiB. Texts are UTF-8.
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

    /// `header` with the "sections" array added. Without `nested`, entries that are sections
    /// are left out, which keeps it small whatever the record holds.
    nlohmann::ordered_json json(nlohmann::ordered_json header, bool nested = true) const;
    /// Writes json(header) to `fd` as nlohmann::json::dump(2) prints it, and a line end, without
    /// building it; 0, or the errno of the first write that failed.
    int writeText(int fd, const nlohmann::ordered_json& header) const;
    /// The same text as a string.
    std::string text(const nlohmann::ordered_json& header) const;

private:
    /// Calls `visitor` for each section and entry in call order; each section gets its
    /// endSection(), an open one at the end of the log.
    template <class Visitor> void walk(Visitor& visitor) const;
    int write(std::string* text, int fd, const nlohmann::ordered_json& header) const;
    void reserve(size_t bytes);
    /// One byte, the numbers in 7-bit groups (low first) and `text`, into the last block.
    void appendEntry(char op, std::initializer_list<uint64_t> numbers, std::string_view text);
    uint64_t keyId(std::string_view key);
    void openLooseSectionIfNeeded();

    std::vector<std::string> blocks_; ///< an entry never spans two blocks
    std::deque<std::string> keys_;    ///< a deque: keyIds_ holds views of them
    std::unordered_map<std::string_view, uint64_t> keyIds_;
    /// Per section, in the order they were begun: closed yet.
    std::vector<bool> closed_;
    /// Indexes of the open sections, innermost last.
    std::vector<size_t> open_;
    bool looseOpen_ = false;
};

} // namespace vqrt
