#include "e2e/ChildProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace corvanteer::testing {

namespace {

// Runs in the forked child, so only async-signal-safe calls.
[[noreturn]] void ExecChild(char* const* argv, int logFd, int nullFd, pid_t parent) {
    ::setpgid(0, 0);
    // Dies with the thread that started it; the check after it closes the window in which
    // the parent could have died before the request was made.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(127);
    }
    // Ignored signals and the blocked mask survive exec; the servers expect defaults.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig) {
        ::signal(sig, SIG_DFL);
    }
    ::dup2(nullFd, STDIN_FILENO);
    ::dup2(logFd, STDOUT_FILENO);
    ::dup2(logFd, STDERR_FILENO);
    // Sockets and files of the test program must not leak into the server.
    ::syscall(SYS_close_range, 3U, ~0U, 0U);
    ::execve(argv[0], argv, environ);
    const char* reason = ::strerror(errno);
    const char prefix[] = "cannot execute ";
    (void)!::write(STDERR_FILENO, prefix, sizeof prefix - 1);
    (void)!::write(STDERR_FILENO, argv[0], ::strlen(argv[0]));
    (void)!::write(STDERR_FILENO, ": ", 2);
    (void)!::write(STDERR_FILENO, reason, ::strlen(reason));
    (void)!::write(STDERR_FILENO, "\n", 1);
    ::_exit(127);
}

}  // namespace

bool GroupHasLiveProcesses(pid_t group) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return ::kill(-group, 0) == 0;
    }
    bool alive = false;
    while (dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue;
        }
        // /proc/<pid>/stat: "pid (name) state ppid pgrp ..."; the name may hold anything,
        // so the fields are read after its last ')'.
        const std::string path = std::string("/proc/") + entry->d_name + "/stat";
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        char text[512];
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (n <= 0) {
            continue;
        }
        text[n] = '\0';
        const char* close = ::strrchr(text, ')');
        char state = 0;
        long parent = 0;
        long pgrp = 0;
        if (close != nullptr &&
            std::sscanf(close + 1, " %c %ld %ld", &state, &parent, &pgrp) == 3 && pgrp == group &&
            state != 'Z' && state != 'X') {
            alive = true;
            break;
        }
    }
    ::closedir(proc);
    return alive;
}

ChildProcess::~ChildProcess() {
    Kill();
}

void ChildProcess::Start(const std::vector<std::string>& argv, const std::string& logPath) {
    if (pid_ != 0) {
        throw std::logic_error("ChildProcess::Start: a process is running already");
    }
    if (argv.empty()) {
        throw std::invalid_argument("ChildProcess::Start: no program given");
    }
    // Everything the child needs is prepared before fork.
    std::vector<std::string> args = argv;
    std::vector<char*> pointers;
    for (std::string& arg : args) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) {
        throw std::runtime_error("cannot open " + logPath + ": " + ::strerror(errno));
    }
    int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullFd < 0) {
        ::close(logFd);
        throw std::runtime_error(std::string("cannot open /dev/null: ") + ::strerror(errno));
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ExecChild(pointers.data(), logFd, nullFd, parent);
    }
    const int forkError = errno;
    ::close(logFd);
    ::close(nullFd);
    if (pid < 0) {
        throw std::runtime_error(std::string("fork failed: ") + ::strerror(forkError));
    }
    pid_ = pid;
    exited_ = false;
    // Set the group from this side too, so a kill right after Start reaches the child even
    // before it has run; whichever call comes second changes nothing.
    ::setpgid(pid, pid);
}

bool ChildProcess::Exited() {
    if (pid_ == 0) {
        return true;
    }
    if (exited_) {
        return true;
    }
    siginfo_t info{};
    // WNOWAIT leaves the zombie in place: its pid, and so the process group id, stays taken.
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_) {
        exited_ = true;
        exitHow_ = info.si_code;
        exitCode_ = info.si_status;
    }
    return exited_;
}

bool ChildProcess::Running() {
    return pid_ != 0 && !Exited();
}

std::string ChildProcess::ExitDescription() {
    if (pid_ == 0 || !Exited()) {
        return "";
    }
    if (exitHow_ == CLD_EXITED) {
        return "exit status " + std::to_string(exitCode_);
    }
    return "signal " + std::to_string(exitCode_);
}

std::optional<int> ChildProcess::ExitCode() {
    if (pid_ == 0 || !Exited() || exitHow_ != CLD_EXITED) {
        return std::nullopt;
    }
    return exitCode_;
}

void ChildProcess::RequestTerminate() {
    if (pid_ != 0) {
        ::kill(-pid_, SIGTERM);
    }
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) {
    if (pid_ == 0) {
        return;
    }
    RequestTerminate();
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!Exited() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Kill();
}

void ChildProcess::Kill() {
    if (pid_ == 0) {
        return;
    }
    // The leader stays unreaped (alive or a zombie) until the group is empty, so the group id
    // names our processes only. Killed members die asynchronously, and one forked meanwhile
    // missed the first signal.
    const pid_t group = pid_;
    ::kill(group, SIGKILL);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
        ::kill(-group, SIGKILL);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    } while (GroupHasLiveProcesses(group) && std::chrono::steady_clock::now() < deadline);
    Reap();
}

void ChildProcess::Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    if (!exited_) {
        exited_ = true;
        if (WIFEXITED(status)) {
            exitHow_ = CLD_EXITED;
            exitCode_ = WEXITSTATUS(status);
        } else {
            exitHow_ = CLD_KILLED;
            exitCode_ = WTERMSIG(status);
        }
    }
    pid_ = 0;
}

}  // namespace corvanteer::testing
