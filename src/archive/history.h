#pragma once

#include "archive/archive.h"
#include "archive/names.h"
#include "archive/outfile.h"
#include "archive/sqlite.h"
#include "archive/timefmt.h"

#include <map>
#include <memory>
#include <string>
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
};

/// Writes a history folder: for each contact a self-contained HTML page and a plain-text file,
/// written while its messages arrive, and at the end index.html listing the conversations.
/// Only one conversation is held at a time.
class HistoryWriter {
public:
    /// `folder` exists; `archive` names the owner and the contacts.
    HistoryWriter(std::string folder, const Archive& archive, const TimeZone& zone);

    /// Takes the next message, shown as `row`: those of one contact come together, in time
    /// order.
    void add(const Message& message, const MessageRow& row);
    /// Completes the last conversation and writes index.html.
    void finish();
    const std::vector<Conversation>& conversations() const { return conversations_; }

private:
    void open(uint32_t uin);
    void close();
    void writeIndex() const;

    std::string folder_;
    const TimeZone zone_;
    std::string owner_;
    uint32_t ownerUin_ = 0;
    std::map<uint32_t, const Contact*> contacts_;
    UniqueNames names_;
    std::vector<Conversation> conversations_;
    std::unique_ptr<OutFile> html_;
    std::unique_ptr<OutFile> text_;
    std::string day_;
    /// Links to the first day of each year of the conversation so far.
    std::string years_;
};

} // namespace archive
