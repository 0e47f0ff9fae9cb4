#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvanteer::testing {

// True while some process of the group is alive (a zombie waiting to be reaped is not).
bool GroupHasLiveProcesses(pid_t group);

// A server process started for a test, in a process group of its own so that
// it and every process it forks can be ended together. The child is killed when the thread
// that started it dies, so a crashed test program leaves no server behind; Dovecot's worker
// processes end by themselves when their master goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // Kill()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (an absolute path) with argv, standard input from /dev/null and standard
    // output and error appended to logPath. Throws std::runtime_error when the process
    // cannot be created; an executable that cannot be run shows up as an early exit with
    // the reason in the log. Requires that no process is running yet.
    void Start(const std::vector<std::string>& argv, const std::string& logPath);

    // True between Start and the moment the process ends. A process that has ended stays
    // unreaped until Terminate or Kill, so its process group id cannot be reused meanwhile.
    bool Running();
    // How the process ended ("exit status 3", "signal 9"), empty while it runs.
    std::string ExitDescription();
    // The exit status when it ended by exit(); nullopt otherwise.
    std::optional<int> ExitCode();

    // SIGTERM to the process group; returns at once.
    void RequestTerminate();
    // SIGTERM to the process group, up to grace for the process to end, then SIGKILL to
    // whatever is left of the group; reaps the process. Does nothing when none was started.
    void Terminate(std::chrono::milliseconds grace);
    // SIGKILL to the whole process group at once; returns when no process of the group is
    // alive any more (waiting two seconds at most), so its ports and files are free.
    void Kill();

    // The process id (also its process group id); 0 when none is started.
    pid_t Pid() const { return pid_; }

private:
    bool Exited();  // polls without reaping
    void Reap();

    pid_t pid_ = 0;
    bool exited_ = false;
    int exitCode_ = 0;  // from siginfo: the status or the signal
    int exitHow_ = 0;   // CLD_EXITED, CLD_KILLED, ...
};

}  // namespace corvanteer::testing
