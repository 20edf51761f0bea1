#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/database.h"

namespace progress {

/// True when `paths` together are large enough to take a moment to read, so that a progress
/// line on a terminal is worth drawing.
bool large(const std::vector<std::string>& paths);

/// One line on standard error that updates in place ("Reading 12345678.dat: 45%"); cleared when
/// done. For a program (the desktop window) it is lines instead: "stage LABEL" when the label
/// changes and "progress PERCENT 100" each time the percentage of the whole changes.
class ProgressLine {
public:
    /// `lines`: the lines for a program; otherwise `drawn`: the line on a terminal. With
    /// neither, nothing is shown.
    ProgressLine(bool lines, bool drawn);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool active() const { return active_; }
    /// Splits the progress into `phases` equal parts (reading each copy, merging, exporting):
    /// in lines for a program each phase begun moves on by one part, so the whole only grows.
    void setPhases(size_t phases) { phases_ = phases == 0 ? 1 : phases; }
    /// Begins the next phase; the first call begins the first.
    void beginPhase();
    /// Begins the next phase, the reading of the database `path`, and answers what tells the
    /// line how it goes ("Reading 12345678.dat: 45%"); nothing when the line is not shown.
    archive::OpenProgress reading(const std::string& path);
    /// Redraws the line when the label or the whole percentage changed.
    void show(const std::string& label, uint64_t done, uint64_t total);
    /// Removes the line, so that what follows starts on a clean one.
    void clear();

private:
    bool active_;
    bool lines_;
    bool drawn_ = false;
    std::string label_;
    std::string staged_; ///< the last label printed in lines
    int percent_ = -1;
    size_t phases_ = 1;
    size_t phase_ = 0;
    bool begun_ = false;
    int printed_ = -1; ///< the last whole percentage printed in lines
};

/// A message source that tells a progress line how many of its messages went by.
class ProgressSource : public archive::MessageSource {
public:
    ProgressSource(const archive::MessageSource& inner, uint64_t total, ProgressLine& line,
                   std::string label)
        : inner_(inner), total_(total), line_(line), label_(std::move(label)) {}

    void forEachMessage(const std::function<bool(const archive::Message&)>& visit) const override;
    void forEachMessageByContact(
        const std::function<bool(const archive::Message&)>& visit) const override;
    std::vector<std::string> streamWarnings() const override { return inner_.streamWarnings(); }

private:
    std::function<bool(const archive::Message&)>
    counting(const std::function<bool(const archive::Message&)>& visit, uint64_t& n) const;

    const archive::MessageSource& inner_;
    const uint64_t total_;
    ProgressLine& line_;
    const std::string label_;
};

} // namespace progress
