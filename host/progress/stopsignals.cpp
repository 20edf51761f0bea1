#include "progress/stopsignals.h"

#include <iterator>

namespace progress {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> stopSignal{0};

// Of internal linkage, so that no other handler of the same name takes its place.
void noteStopSignal(int signal) {
    stopSignal.store(signal);
}

} // namespace

StopSignals::StopSignals() {
    static_assert(std::size(kStopSignals) == sizeof previous_ / sizeof previous_[0]);
    stopSignal.store(0);
    struct sigaction action = {};
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &action, &previous_[i]);
    }
}

StopSignals::~StopSignals() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
}

const std::atomic<int>& StopSignals::caught() {
    return stopSignal;
}

std::string signalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace progress
