#pragma once

#include "archive/archive.h"
#include "archive/tempfile.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace archive {

/// One copy of the owner's database to merge, and the name its warnings are marked with.
struct MergeInput {
    std::string name;
    const Archive* archive = nullptr;
};

/// Several copies of one owner's database as one archive, given oldest first. Groups are
/// merged by id (a later copy's name wins), contacts by UIN (the record on the list preferred,
/// then the later copy; empty fields filled from the others, e-mails joined). A message is
/// kept once when contact, direction, kind, time and the exact stored text bytes are equal;
/// two such messages within one copy are two messages. The merged history is written once to
/// an unnamed temporary file, so memory does not grow with it; archive().messages then gives
/// it by contact, also for forEachMessage.
class MergedArchive {
public:
    /// Throws ExportError when the copies are of different owners or the temporary file fails.
    explicit MergedArchive(const std::vector<MergeInput>& inputs);
    MergedArchive(const MergedArchive&) = delete;
    MergedArchive& operator=(const MergedArchive&) = delete;

    const Archive& archive() const { return archive_; }

private:
    class Spilled : public MessageSource {
    public:
        explicit Spilled(std::FILE* file) : file_(file) {}
        void forEachMessage(const std::function<bool(const Message&)>& visit) const override;
        void
        forEachMessageByContact(const std::function<bool(const Message&)>& visit) const override;

    private:
        std::FILE* file_;
    };

    void mergeMessages(const std::vector<MergeInput>& inputs);

    TemporaryFile file_;
    Spilled spilled_;
    Archive archive_;
};

} // namespace archive
