#include "cli/SignalWatcher.h"

#include <pthread.h>

#include <ctime>

namespace corvanteer::cli {

namespace {

sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) {
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
    thread_ = std::jthread([set, onSignal = std::move(onSignal)](std::stop_token stop) {
        // Wakes every 100 ms to see whether the watcher is going away.
        const timespec slice{0, 100'000'000};
        while (!stop.stop_requested()) {
            const int signal = sigtimedwait(&set, nullptr, &slice);
            if (signal > 0) {
                onSignal(signal);
            }
        }
    });
}

SignalWatcher::~SignalWatcher() {
    thread_.request_stop();
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace corvanteer::cli
