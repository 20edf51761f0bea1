#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/archive.h"
#include "options.h"

namespace icq {

/// One line on standard error that updates in place ("Reading 12345678.dat: 45%"), shown only
/// for large files when standard error is a terminal; cleared when done. With --progress-lines,
/// a "progress PERCENT 100" line each time the percentage changes instead, whatever the size.
class ProgressLine {
public:
    explicit ProgressLine(const Options& o);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool active() const { return active_; }
    /// Splits the progress into `phases` equal parts (reading each copy, merging, exporting):
    /// in lines for a program each phase begun moves on by one part, so the whole only grows.
    void setPhases(size_t phases) { phases_ = phases == 0 ? 1 : phases; }
    /// Begins the next phase; the first call begins the first.
    void beginPhase();
    /// Redraws the line when the label or the whole percentage changed.
    void show(const std::string& label, uint64_t done, uint64_t total);
    /// Removes the line, so that what follows starts on a clean one.
    void clear();

private:
    bool active_;
    bool lines_;
    bool drawn_ = false;
    std::string label_;
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

} // namespace icq
