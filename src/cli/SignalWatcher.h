#pragma once

// SIGINT and SIGTERM as events rather than deaths: while a watcher lives, both signals are
// blocked in the creating thread (and in threads it starts) and a thread of the watcher's own
// takes them with sigtimedwait and calls onSignal there. No handler runs inside the program's
// code, so no global state is needed. Create it before starting other threads.

#include <csignal>
#include <functional>
#include <thread>

namespace corvanteer::cli {

class SignalWatcher {
public:
    // onSignal receives the signal number on the watcher's thread; it must be thread-safe
    // (setting an atomic flag is).
    explicit SignalWatcher(std::function<void(int)> onSignal);
    // Stops the thread, then restores the signal mask, so a signal that arrives afterwards
    // has its default effect again.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    sigset_t previous_;
    std::jthread thread_;
};

}  // namespace corvanteer::cli
