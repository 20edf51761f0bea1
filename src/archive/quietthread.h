#pragma once

#include <pthread.h>
#include <signal.h>

#include <thread>
#include <utility>

namespace archive {

/// A thread that runs `work` with every signal blocked: stop signals stay with the thread that
/// started it, which checks for them. Throws std::system_error when no thread can be started.
template <typename Work> std::thread quietThread(Work&& work) {
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    struct Restore {
        const sigset_t& mask;
        ~Restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{old};
    return std::thread(std::forward<Work>(work));
}

} // namespace archive
