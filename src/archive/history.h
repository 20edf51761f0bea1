#pragma once

#include "archive/archive.h"
#include "archive/names.h"
#include "archive/outfile.h"
#include "archive/sqlite.h"
#include "archive/timefmt.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace archive {

/// One conversation as index.html lists it.
struct Conversation {
    uint32_t uin = 0;
    std::string name;
    /// The file name of its pages without extension.
    std::string stem;
    uint64_t messages = 0;
    int64_t first = 0;
    int64_t last = 0;
    /// The pages after the first of a long conversation: the month each begins with
    /// ("2005-03") and its file name without extension.
    std::vector<std::pair<std::string, std::string>> laterPages;
};

/// A conversation's page that has grown past this size goes on in a page of its own at the
/// next month: browsers open pages of a few MiB readily, but not one of tens.
constexpr uint64_t kHistoryPageBytes = uint64_t{8} << 20;

/// Writes a history folder: for each contact a self-contained HTML page (continued in further
/// pages, each from a month on, past `pageBytes`) and a plain-text file, written while its
/// messages arrive, and at the end index.html listing the conversations. Only one conversation
/// is held at a time.
class HistoryWriter {
public:
    /// `folder` exists; `archive` names the owner and the contacts.
    HistoryWriter(std::string folder, const Archive& archive, const TimeZone& zone,
                  uint64_t pageBytes = kHistoryPageBytes);

    /// Takes the next message, shown as `row`: those of one contact come together, in time
    /// order.
    void add(const Message& message, const MessageRow& row);
    /// Completes the last conversation and writes index.html.
    void finish();
    const std::vector<Conversation>& conversations() const { return conversations_; }

private:
    void open(uint32_t uin);
    void close();
    /// Ends the page and starts the next one, from `month` ("2005-03") on.
    void turnPage(const std::string& month);
    void startPage(const std::string& stem, const std::string& fromMonth);
    void endPage(const std::string& end);
    void writeHtml(std::string_view html);
    void writeIndex() const;

    std::string folder_;
    const TimeZone zone_;
    std::string owner_;
    uint32_t ownerUin_ = 0;
    std::map<uint32_t, const Contact*> contacts_;
    UniqueNames names_;
    std::vector<Conversation> conversations_;
    const uint64_t pageBytes_;
    std::unique_ptr<OutFile> html_;
    /// Bytes of the page written so far.
    uint64_t pageWritten_ = 0;
    std::unique_ptr<OutFile> text_;
    std::string day_;
    /// Links to the first day of each year of the page so far.
    std::string years_;
};

} // namespace archive
