#include "progress/progressline.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "text/printable.h"

namespace progress {

namespace {

// Smaller files are read before a person would wonder what is happening.
constexpr off_t kLargeFile = off_t{16} << 20;

} // namespace

bool large(const std::vector<std::string>& paths) {
    off_t total = 0;
    for (const std::string& path : paths) {
        struct stat st;
        total += stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
    }
    return total >= kLargeFile;
}

ProgressLine::ProgressLine(bool lines, bool drawn) : active_(lines || drawn), lines_(lines) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::beginPhase() {
    phase_ += begun_ ? 1 : 0;
    begun_ = true;
}

archive::OpenProgress ProgressLine::reading(const std::string& path) {
    beginPhase();
    if (!active_) {
        return {};
    }
    const std::string label =
        "Reading " + text::printable(std::filesystem::path(path).filename().string());
    return [this, label](uint64_t done, uint64_t total) { show(label, done, total); };
}

void ProgressLine::show(const std::string& label, uint64_t done, uint64_t total) {
    if (!active_) {
        return;
    }
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (lines_) {
        if (label != staged_) {
            staged_ = label;
            std::fprintf(stderr, "stage %s\n", label.c_str());
        }
        const auto whole = std::min<uint64_t>(100, (phase_ * 100 + percent) / phases_);
        if (static_cast<int>(whole) <= printed_) {
            return;
        }
        printed_ = static_cast<int>(whole);
        std::fprintf(stderr, "progress %d 100\n", printed_);
        std::fflush(stderr);
        return;
    }
    if (percent == percent_ && label == label_) {
        return;
    }
    percent_ = percent;
    label_ = label;
    std::fprintf(stderr, "\r\033[K%s: %d%%", label.c_str(), percent);
    drawn_ = true;
    std::fflush(stderr);
}

void ProgressLine::clear() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
    percent_ = -1;
}

std::function<bool(const archive::Message&)>
ProgressSource::counting(const std::function<bool(const archive::Message&)>& visit,
                         uint64_t& n) const {
    line_.beginPhase();
    return [this, &visit, &n](const archive::Message& m) {
        line_.show(label_, ++n, total_);
        return visit(m);
    };
}

void ProgressSource::forEachMessage(
    const std::function<bool(const archive::Message&)>& visit) const {
    uint64_t n = 0;
    inner_.forEachMessage(counting(visit, n));
}

void ProgressSource::forEachMessageByContact(
    const std::function<bool(const archive::Message&)>& visit) const {
    uint64_t n = 0;
    inner_.forEachMessageByContact(counting(visit, n));
}

} // namespace progress
