#pragma once

#include <signal.h>

#include <atomic>
#include <string>

namespace progress {

/// While it lives, SIGINT, SIGTERM and SIGHUP only note their number, so that a long step can
/// end cleanly at its next check instead of leaving its files half written; the handlers from
/// before come back when it goes. One lives at a time.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// The number of the signal that asked to stop; 0 until one came.
    static const std::atomic<int>& caught();

private:
    struct sigaction previous_[3] = {};
};

/// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
std::string signalName(int signal);

} // namespace progress
