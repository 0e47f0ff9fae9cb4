#pragma once

// Everything a scan or a posting needs from outside, handed in as one object so tests can
// replace any part of it.

#include <cstdint>
#include <string>
#include <vector>

#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SettingTables.h"
#include "support/SettingsStore.h"
#include "transport/MailClients.h"

namespace corvanteer {

// A mailbox a scan tried to open.
struct MailboxEvent {
    std::string user;
    std::string host;
    int port = 0;
    bool open = false;     // the login was accepted
    int32_t messages = 0;  // when open: the count STAT gave
    MailError error;       // when not open: why, as far as the client knows
};

// How much a line of the activity log matters to whoever reads its copy (the syslog levels
// the journal files it under).
enum class LogPriority {
    Error = 3,    // something did not work and needs the operator: a mailbox, a certificate
    Warning = 4,  // a message failed and waits in the queue, or was left on the server
    Info = 6,     // everything else
};

// What a window shows of the engine's work. Calls may come from a worker thread; a window
// queues them to its own thread. The default implementation ignores everything.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void StatusText(const std::string& /*text*/) {}
    virtual void TrayImage(int /*index*/) {}  // 0 idle, 1 busy
    virtual void RosterChanged(const std::string& /*listName*/) {}
    virtual void MailboxOpened(const MailboxEvent& /*event*/) {}
    // Each line written to the activity log, stamp included, after it was written (or its
    // writing failed); the service copies them to standard error.
    virtual void LogLine(const std::string& /*line*/, LogPriority /*priority*/) {}
};

// The poll timer of the front end. A session stops it when it starts and gives it its
// interval again when it ends (0 leaves it stopped).
class PollTimer {
public:
    virtual ~PollTimer() = default;
    virtual void Stop() = 0;
    virtual void SetIntervalMs(int64_t intervalMs) = 0;
};

// The front end's current state as the engine reads it: the global settings as shown at this
// moment (the window's fields, or the store for the command line), and the lists in the
// order of the list selector.
class Console {
public:
    virtual ~Console() = default;
    virtual GlobalSettings Globals() = 0;
    virtual std::vector<std::string> ListNames() = 0;
};

struct Services {
    const AppPaths& paths;
    SettingsStore& store;
    Pop3Client& pop3;
    SmtpClient& smtp;
    const Clock& clock;
    RandomSource& random;
    ScanObserver& observer;
    StoreLock& storeLock;
    Console& console;
};

}  // namespace corvanteer
