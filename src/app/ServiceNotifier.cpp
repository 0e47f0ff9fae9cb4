#include "app/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include "support/Text.h"

namespace corvanteer {

namespace {

// A status is one line of the manager's view; outside text stays harmless there.
std::string StatusLine(const std::string& status) {
    return "STATUS=" + OneLineText(status);
}

}  // namespace

SystemdNotifier::SystemdNotifier(const Clock& clock) : clock_(clock) {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(/*unset_environment=*/0, &usec) > 0) {
        watchdogMs_ = static_cast<int64_t>(usec / 1000);
    }
}

void SystemdNotifier::Send(const std::string& state) {
    sd_notify(/*unset_environment=*/0, state.c_str());
}

void SystemdNotifier::Ready(const std::string& status) {
    Send("READY=1\n" + StatusLine(status));
}

void SystemdNotifier::Status(const std::string& status) {
    Send(StatusLine(status));
}

void SystemdNotifier::Stopping() {
    Send("STOPPING=1");
}

void SystemdNotifier::Alive() {
    if (watchdogMs_ <= 0) {
        return;
    }
    const int64_t now = clock_.MonotonicMs();
    if (pinged_ && now - lastPingMs_ < watchdogMs_ / 4) {
        return;
    }
    pinged_ = true;
    lastPingMs_ = now;
    Send("WATCHDOG=1");
}

}  // namespace corvanteer
