#pragma once

// What the service manager hears of a front end that runs without a window (systemd's notify
// protocol): ready, a status line after every scan, stopping, and signs of life for its
// watchdog. The run loop talks to this interface; tests hand in a recorder, or point the
// systemd one at a socket of their own.

#include <cstdint>
#include <memory>
#include <string>

#include "support/Clock.h"

namespace corvanteer {

class ServiceNotifier {
public:
    virtual ~ServiceNotifier() = default;
    // The loop has started and the first scan may come: READY=1 with the status line.
    virtual void Ready(const std::string& status) = 0;
    virtual void Status(const std::string& status) = 0;
    virtual void Stopping() = 0;
    // The loop or a scan made progress: a watchdog ping, when the manager wants them.
    virtual void Alive() = 0;
};

// Notifies the manager named by $NOTIFY_SOCKET with libsystemd (nothing is sent when the
// variable is absent). When $WATCHDOG_USEC (and $WATCHDOG_PID, if set, names this process)
// asks for pings, Alive sends WATCHDOG=1 at most once per quarter of that interval, measured
// on the clock. Send errors are ignored: the loop never stops for its manager.
class SystemdNotifier final : public ServiceNotifier {
public:
    explicit SystemdNotifier(const Clock& clock);

    void Ready(const std::string& status) override;
    void Status(const std::string& status) override;
    void Stopping() override;
    void Alive() override;

    // The watchdog interval the manager asked for, in milliseconds; 0 when none.
    int64_t WatchdogMs() const { return watchdogMs_; }

private:
    void Send(const std::string& state);

    const Clock& clock_;
    int64_t watchdogMs_ = 0;
    int64_t lastPingMs_ = 0;
    bool pinged_ = false;
};

// A notifier that says nothing, for a loop that no manager watches.
class SilentNotifier final : public ServiceNotifier {
public:
    void Ready(const std::string&) override {}
    void Status(const std::string&) override {}
    void Stopping() override {}
    void Alive() override {}
};

}  // namespace corvanteer
