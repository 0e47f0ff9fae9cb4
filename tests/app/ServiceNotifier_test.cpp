#include "app/ServiceNotifier.h"

#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "common/TempDir.h"

namespace corvanteer::testing {
namespace {

// Sets an environment variable for the object's life: the notify protocol's library reads
// its socket and watchdog from the environment.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A service manager's notify socket: a datagram socket in a temporary folder.
class FakeNotifySocket {
public:
    FakeNotifySocket() : path_(dir_.File("notify")) {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~FakeNotifySocket() { close(fd_); }
    FakeNotifySocket(const FakeNotifySocket&) = delete;
    FakeNotifySocket& operator=(const FakeNotifySocket&) = delete;

    const std::string& Path() const { return path_; }
    // The datagrams sent so far, without waiting.
    std::vector<std::string> Received() {
        std::vector<std::string> all;
        char buffer[4096];
        for (;;) {
            const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0) {
                return all;
            }
            all.emplace_back(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    TempDir dir_;
    std::string path_;
    int fd_ = -1;
};

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SystemdNotifierTest, ReadyStatusAndStoppingReachTheManagersSocket) {
    FakeNotifySocket manager;
    ScopedEnv socket("NOTIFY_SOCKET", manager.Path());
    FakeClock clock;
    SystemdNotifier notifier(clock);
    EXPECT_EQ(notifier.WatchdogMs(), 0);
    notifier.Ready("first scan 12:15");
    // A status that quotes a server's text cannot break the manager's line.
    notifier.Status("last scan 12:15 ended early\r\nX=1");
    notifier.Alive();  // no watchdog asked for: no ping
    notifier.Stopping();
    EXPECT_THAT(manager.Received(),
                ElementsAre("READY=1\nSTATUS=first scan 12:15",
                            "STATUS=last scan 12:15 ended early??X=1", "STOPPING=1"));
}

TEST(SystemdNotifierTest, WatchdogPingsComeAtMostFourTimesPerInterval) {
    FakeNotifySocket manager;
    ScopedEnv socket("NOTIFY_SOCKET", manager.Path());
    ScopedEnv interval("WATCHDOG_USEC", "2000000");
    ScopedEnv pid("WATCHDOG_PID", std::to_string(getpid()));
    FakeClock clock;
    SystemdNotifier notifier(clock);
    EXPECT_EQ(notifier.WatchdogMs(), 2000);
    notifier.Alive();
    notifier.Alive();
    EXPECT_THAT(manager.Received(), ElementsAre("WATCHDOG=1"));
    clock.AdvanceSeconds(1);  // a quarter of the interval has passed
    notifier.Alive();
    notifier.Alive();
    EXPECT_THAT(manager.Received(), ElementsAre("WATCHDOG=1"));
}

TEST(SystemdNotifierTest, AWatchdogMeantForAnotherProcessIsNotPinged) {
    FakeNotifySocket manager;
    ScopedEnv socket("NOTIFY_SOCKET", manager.Path());
    ScopedEnv interval("WATCHDOG_USEC", "2000000");
    ScopedEnv pid("WATCHDOG_PID", std::to_string(getpid() + 1));
    FakeClock clock;
    SystemdNotifier notifier(clock);
    EXPECT_EQ(notifier.WatchdogMs(), 0);
    notifier.Alive();
    EXPECT_THAT(manager.Received(), IsEmpty());
}

}  // namespace
}  // namespace corvanteer::testing
