#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace icq {

ProgressLine::ProgressLine(bool wanted) : active_(wanted && isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::show(const std::string& label, uint64_t done, uint64_t total) {
    if (!active_) {
        return;
    }
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent == percent_ && label == label_) {
        return;
    }
    percent_ = percent;
    label_ = label;
    std::fprintf(stderr, "\r\033[K%s: %d%%", label.c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::clear() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
        percent_ = -1;
    }
}

std::function<bool(const archive::Message&)>
ProgressSource::counting(const std::function<bool(const archive::Message&)>& visit,
                         uint64_t& n) const {
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

} // namespace icq
