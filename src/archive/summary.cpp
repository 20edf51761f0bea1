#include "archive/summary.h"

#include "archive/text.h"

#include <iterator>

namespace archive {

namespace {

// In the order of ContactStatus, then the UINs known only from messages.
constexpr const char* kStandings[] = {"on the list", "awaiting authorisation",
                                      "removed",     "ignored",
                                      "other",       "known only from messages"};
static_assert(static_cast<int>(ContactStatus::Other) == 4);

size_t standingIndex(const Contact& contact) {
    return contact.hasRecord ? static_cast<size_t>(contact.status) : 5;
}

std::string labelled(const std::string& indent, const std::string& label, const std::string& text) {
    return indent + label + std::string(label.size() < 11 ? 11 - label.size() : 1, ' ') + text +
           "\n";
}

} // namespace

const char* standing(const Contact& contact) {
    return kStandings[standingIndex(contact)];
}

void StandingTally::add(const Contact& contact) {
    ++n_[standingIndex(contact)];
}

std::vector<Count> StandingTally::counts() const {
    static_assert(std::size(decltype(n_){}) == std::size(kStandings));
    std::vector<Count> found;
    for (size_t i = 0; i < std::size(n_); ++i) {
        if (n_[i] != 0) {
            found.push_back({kStandings[i], n_[i]});
        }
    }
    return found;
}

std::vector<Count> contactsByStanding(const std::vector<Contact>& contacts) {
    StandingTally tally;
    for (const Contact& contact : contacts) {
        tally.add(contact);
    }
    return tally.counts();
}

uint64_t countOf(const std::vector<Count>& counts, ContactStatus status) {
    const std::string_view label = kStandings[static_cast<size_t>(status)];
    for (const Count& count : counts) {
        if (count.label == label) {
            return count.n;
        }
    }
    return 0;
}

std::string countsLine(const std::vector<Count>& counts) {
    std::string line;
    for (const Count& count : counts) {
        line += (line.empty() ? "" : ", ") + grouped(count.n) + " " + count.label;
    }
    return line.empty() ? "none" : line;
}

uint64_t leftInDeletedFolder(const Report& report) {
    const auto left = report.entries.find({"message", kLeftInDeletedFolder});
    return left == report.entries.end() ? 0 : left->second;
}

std::string messagesText(const Report& report, const ExportResult& result) {
    std::string text = grouped(result.messages) + " in " +
                       counted(result.conversations, "conversation") + " exported to history/";
    const uint64_t left = leftInDeletedFolder(report);
    if (result.inDeletedFolder != 0) {
        text += ", " + grouped(result.inDeletedFolder) + " of them from ICQ's Deleted folder";
    } else if (left != 0) {
        text += "; " + grouped(left) + " in ICQ's Deleted folder left out (--deleted-folder)";
    }
    return text;
}

std::string exportSummary(const Archive& archive, const ExportResult& result,
                          const std::string& indent) {
    const Report& report = archive.report;
    std::string out =
        labelled(indent, "Contacts:", countsLine(contactsByStanding(archive.contacts)));
    out += labelled(indent, "Messages:", messagesText(report, result));
    if (report.sources.size() > 1) {
        out += labelled(indent, "Merged:",
                        std::to_string(report.sources.size()) + " copies of the database; " +
                            counted(report.mergedMessages, "message") +
                            " found in more than one and kept once");
    }
    const size_t warnings = report.warnings.size();
    return out + labelled(indent, "Warnings:",
                          warnings == 0 ? std::string("none")
                                        : std::to_string(warnings) + ", listed in report.txt");
}

} // namespace archive
