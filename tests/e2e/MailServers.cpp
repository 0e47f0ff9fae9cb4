#include "e2e/MailServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <string.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "common/TestCertificates.h"
#include "e2e/DovecotConfig.h"
#include "e2e/LineClient.h"
#include "support/Files.h"
#include "support/Text.h"

#ifndef CORVANTEER_E2E_SMTP_SCRIPT
#error "CORVANTEER_E2E_SMTP_SCRIPT must name tests/e2e/smtp_server.py"
#endif

namespace corvanteer::testing {

namespace {

constexpr int kPortAttempts = 5;
constexpr auto kPollInterval = std::chrono::milliseconds(5);
constexpr const char* kLockName = "harness.lock";
constexpr const char* kSetupHint = " (scripts/setup installs it)";

// A port that was free a moment ago: bound to port 0, read back, released.
int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error(std::string("socket failed: ") + ::strerror(errno));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(std::string("cannot pick a free port: ") + ::strerror(error));
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

bool IsMailboxName(const std::string& name) {
    if (name.empty() || name.size() > 64 || !std::isalnum(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '+' &&
            c != '-') {
            return false;
        }
    }
    return true;
}

void RequireMailboxName(const std::string& user) {
    if (!IsMailboxName(user)) {
        throw std::invalid_argument("unusable mailbox user name: \"" + user + "\"");
    }
}

bool IsExecutable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

// Every reason the servers cannot run here, one a line; empty when all is in place.
std::string MissingPrerequisites(const MailServerOptions& options, const std::string& script) {
    std::string missing;
    if (::geteuid() != 0) {
        missing +=
            "the mail servers need root: Dovecot's processes switch to the users nobody, "
            "dovenull and dovecot\n";
    }
    if (!IsExecutable(options.dovecotBinary)) {
        missing += options.dovecotBinary + " is missing: install dovecot-core" + kSetupHint + "\n";
    }
    if (!IsExecutable("/usr/lib/dovecot/pop3") || !IsExecutable("/usr/lib/dovecot/pop3-login")) {
        missing += std::string("Dovecot's POP3 server is missing: install dovecot-pop3d") +
                   kSetupHint + "\n";
    }
    if (!IsExecutable(options.pythonBinary)) {
        missing += options.pythonBinary + " is missing: install python3" + kSetupHint + "\n";
    }
    if (!FileExists(script)) {
        missing += "the SMTP server script " + script + " is missing\n";
    }
    for (const char* user : {"nobody", "dovenull", "dovecot"}) {
        if (::getpwnam(user) == nullptr) {
            missing += std::string("the system user ") + user +
                       " is missing: install dovecot-core" + kSetupHint + "\n";
        }
    }
    return missing;
}

std::string LogOf(const std::string& path) {
    auto text = ReadFileIfExists(path);
    return text ? *text : "";
}

// Folders left by harnesses whose program was killed before it could stop them. Their
// servers are gone (they die with the program); the folder of a live harness is locked.
void RemoveAbandonedFolders() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp", error)) {
        const std::string name = entry.path().filename().string();
        if (!StartsWith(name, "corvanteer-e2e-")) {
            continue;
        }
        const std::string lock = entry.path().string() + "/" + kLockName;
        const int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;  // being created right now, or not ours
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            std::filesystem::remove_all(entry.path(), ignored);
        }
        ::close(fd);
    }
}

const char* CertificateName(TestCertificate certificate) {
    switch (certificate) {
        case TestCertificate::Good:
            return "good";
        case TestCertificate::Expired:
            return "expired";
        case TestCertificate::UnknownIssuer:
            return "unknown";
    }
    return "good";
}

}  // namespace

MailServers::MailServers(MailServerOptions options) : options_(std::move(options)) {
    if (options_.smtpScript.empty()) {
        options_.smtpScript = CORVANTEER_E2E_SMTP_SCRIPT;
    }
}

MailServers::~MailServers() {
    try {
        Stop();
    } catch (...) {
        // A destructor must not throw; the processes are killed by ~ChildProcess anyway.
    }
}

std::string MailServers::Address(const std::string& user) {
    return user + "@" + kDomain;
}

void MailServers::RequireStarted(const char* what) const {
    if (!started_) {
        throw std::logic_error(std::string("MailServers::") + what + " needs Start() first");
    }
}

void MailServers::Start() {
    if (started_) {
        throw std::logic_error("MailServers::Start: the servers run already");
    }
    const std::string missing = MissingPrerequisites(options_, options_.smtpScript);
    if (!missing.empty()) {
        throw std::runtime_error("the end-to-end mail servers cannot run here:\n" + missing);
    }
    const passwd* nobody = ::getpwnam("nobody");
    owner_ = MaildirOwner{nobody->pw_uid, nobody->pw_gid};
    try {
        started_ = true;
        CreateRoot();
        if (options_.tls) {
            MakeCertificates();
        }
        // Python takes longest to get going, so it starts first and Dovecot meanwhile.
        LaunchSmtp();
        StartDovecot();
        WaitForSmtp();
    } catch (...) {
        Stop();
        throw;
    }
}

void MailServers::Stop() {
    // Both end at the same time; the SMTP server exits cleanly on SIGTERM.
    smtp_.RequestTerminate();
    // Dovecot takes well over a second to shut down on SIGTERM; nothing it holds outlives
    // the folder removed below, so its whole process group is killed at once.
    dovecot_.Kill();
    smtp_.Terminate(std::chrono::seconds(2));
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
        root_.clear();
    }
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
    users_.clear();
    fingerprints_.clear();
    pop3Port_ = 0;
    smtpPort_ = 0;
    pop3sPort_ = 0;
    smtpsPort_ = 0;
    started_ = false;
}

namespace {

// The program's own writes are private to their owner; the servers' files and folders must be
// readable by the users the servers run as.
void MakeSharedFolder(const std::string& path) {
    ForceDirectories(path);
    if (::chmod(path.c_str(), 0755) != 0) {
        throw std::runtime_error("cannot open up " + path + ": " + ::strerror(errno));
    }
}

void WriteSharedFile(const std::string& path, const std::string& bytes) {
    WriteFileAtomic(path, bytes);
    if (::chmod(path.c_str(), 0644) != 0) {
        throw std::runtime_error("cannot open up " + path + ": " + ::strerror(errno));
    }
}

}  // namespace

void MailServers::CreateRoot() {
    RemoveAbandonedFolders();
    // Always under /tmp: every server user must be able to pass through the folder, and
    // Unix socket paths inside it must stay short.
    char name[] = "/tmp/corvanteer-e2e-XXXXXX";
    if (::mkdtemp(name) == nullptr) {
        throw std::runtime_error(std::string("mkdtemp failed: ") + ::strerror(errno));
    }
    root_ = name;
    // Held while this harness lives; the lock goes with the process however it ends. The
    // file gets its name only once locked, so no sweeping harness takes it for abandoned.
    const std::string lock = root_ + "/" + kLockName;
    const std::string unnamed = lock + ".new";
    lockFd_ = ::open(unnamed.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX) != 0 ||
        ::rename(unnamed.c_str(), lock.c_str()) != 0) {
        throw std::runtime_error("cannot lock " + lock + ": " + ::strerror(errno));
    }
    if (::chmod(root_.c_str(), 0755) != 0) {
        throw std::runtime_error("cannot open up " + root_ + ": " + ::strerror(errno));
    }
    for (const char* sub : {"/run", "/state", "/users"}) {
        MakeSharedFolder(root_ + sub);
    }
    const std::string mail = root_ + "/mail";
    MakeSharedFolder(mail);
    if (::chown(mail.c_str(), owner_.uid, owner_.gid) != 0) {
        throw std::runtime_error("cannot hand over " + mail + ": " + ::strerror(errno));
    }
    WriteSmtpAuthFile();
}

std::string MailServers::MaildirOf(const std::string& user) const {
    return root_ + "/mail/" + user + "/Maildir";
}

void MailServers::WriteDovecotUser(const std::string& user, const std::string& password) {
    const std::string home = root_ + "/mail/" + user;
    const std::string line = PasswdFileLine(user, password, owner_.uid, owner_.gid, home);
    CreateMaildir(home, owner_);
    const std::string path = root_ + "/users/" + user;
    // Readable by Dovecot's auth process, which runs as the user dovecot.
    WriteSharedFile(path, line + "\n");
    // Dovecot reloads a file whose time stamp (seconds) or size changed; every version of a
    // user's file gets a stamp of its own so a password of the same length is noticed too.
    UserEntry& entry = users_[user];
    entry.password = password;
    entry.stamp = std::max<long long>(entry.stamp + 1, ::time(nullptr));
    timespec times[2] = {{entry.stamp, 0}, {entry.stamp, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        throw std::runtime_error("cannot stamp " + path + ": " + ::strerror(errno));
    }
}

void MailServers::MakeCertificates() {
    // Every certificate names the host the servers listen on, by name and address; the CA is
    // the one a test trusts through TlsCAFile.
    const std::string folder = root_ + "/tls";
    ForceDirectories(folder);
    TestCa ca("Corvanteer e2e CA");
    TestCa stranger("Unknown e2e CA");
    const CertificateRequest names{"mail.example.test", {"mail.example.test"}, {host_}};
    CertificateRequest expired = names;
    expired.validFromDays = -60;
    expired.validToDays = -1;
    const std::pair<TestCertificate, TestIdentity> made[] = {
        {TestCertificate::Good, ca.Issue(names)},
        {TestCertificate::Expired, ca.Issue(expired)},
        {TestCertificate::UnknownIssuer, stranger.Issue(names)},
    };
    for (const auto& [kind, identity] : made) {
        const std::string stem = folder + "/" + CertificateName(kind);
        WriteFileAtomic(stem + ".crt", identity.certPem);
        WriteFileAtomic(stem + ".key", identity.keyPem);
        fingerprints_[kind] = identity.fingerprint;
    }
    WriteFileAtomic(folder + "/ca.pem", ca.Identity().certPem);
}

std::string MailServers::CaFile() const {
    return fingerprints_.empty() ? "" : root_ + "/tls/ca.pem";
}

std::string MailServers::Fingerprint(TestCertificate certificate) const {
    auto found = fingerprints_.find(certificate);
    return found == fingerprints_.end() ? "" : found->second;
}

void MailServers::SetSmtpTls(TestCertificate certificate, bool offerStartTls) {
    smtpCertificate_ = certificate;
    smtpStartTls_ = offerStartTls;
    WriteSmtpAuthFile();
}

void MailServers::SetSmtpOAuth(const std::string& introspectionUrl) {
    smtpIntrospection_ = introspectionUrl;
    WriteSmtpAuthFile();
}

void MailServers::WriteSmtpAuthFile() {
    if (root_.empty()) {
        return;  // written by Start()
    }
    std::string text = std::string("require-auth ") + (smtpAuthRequired_ ? "yes" : "no") + "\n";
    text += std::string("starttls ") + (smtpStartTls_ ? "yes" : "no") + "\n";
    text += std::string("certificate ") + CertificateName(smtpCertificate_) + "\n";
    for (const auto& [user, password] : smtpUsers_) {
        text += user + "\t" + password + "\n";
    }
    if (!smtpIntrospection_.empty()) {
        text += "oauth-introspect " + smtpIntrospection_ + "\n";
    }
    for (const std::string& line : smtpScript_) {
        text += line + "\n";
    }
    WriteSharedFile(root_ + "/smtp-auth", text);
}

void MailServers::ScriptSmtp(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (line.find_first_of("\t\r\n") != std::string::npos) {
            throw std::invalid_argument("SMTP script lines cannot hold tabs or line breaks");
        }
    }
    smtpScript_ = lines;
    WriteSmtpAuthFile();
}

MailServers::SmtpTraffic MailServers::SmtpTrafficSoFar() const {
    SmtpTraffic traffic;
    std::istringstream log(SmtpLog());
    std::string line;
    while (std::getline(log, line)) {
        if (line.starts_with("connection ")) {
            ++traffic.connections;
        } else if (line.starts_with("message ")) {
            const auto at = line.find(" rcpts=");
            if (at != std::string::npos) {
                traffic.messageRecipients.push_back(std::stoi(line.substr(at + 7)));
            }
        }
    }
    return traffic;
}

void MailServers::StartDovecot() {
    const std::string instance = std::filesystem::path(root_).filename().string();
    DovecotSettings settings;
    settings.instanceName = instance;
    settings.baseDir = root_ + "/run";
    settings.stateDir = root_ + "/state";
    settings.logPath = root_ + "/dovecot.log";
    settings.usersDir = root_ + "/users";
    settings.extraConfig = options_.extraDovecotConfig;
    if (options_.tls) {
        settings.certFile = root_ + "/tls/good.crt";
        settings.keyFile = root_ + "/tls/good.key";
    }
    const std::string configPath = root_ + "/dovecot.conf";
    // A port picked free can be taken by someone else before Dovecot binds it; then Dovecot
    // says so and a new port is tried.
    for (int attempt = 1;; ++attempt) {
        settings.port = FreeLoopbackPort();
        if (options_.tls) {
            do {
                settings.tlsPort = FreeLoopbackPort();
            } while (settings.tlsPort == settings.port);
        }
        WriteSharedFile(configPath, DovecotConfigText(settings));
        dovecot_.Start({options_.dovecotBinary, "-F", "-c", configPath}, root_ + "/dovecot.out");
        std::string failure;
        if (WaitForDovecot(settings.port, DovecotGreeting(settings), failure)) {
            pop3Port_ = settings.port;
            pop3sPort_ = settings.tlsPort;
            return;
        }
        const std::string log = DovecotLog();
        dovecot_.Kill();
        if (attempt < kPortAttempts && Contains(log, "Address already in use")) {
            continue;
        }
        throw std::runtime_error("Dovecot did not come up (" + failure + "). Its log:\n" + log);
    }
}

bool MailServers::WaitForDovecot(int port, const std::string& greeting, std::string& failure) {
    const auto deadline = std::chrono::steady_clock::now() + options_.startTimeout;
    LineClient probe(std::chrono::seconds(1));
    while (std::chrono::steady_clock::now() < deadline) {
        if (!dovecot_.Running()) {
            failure = "it ended with " + dovecot_.ExitDescription();
            return false;
        }
        // The greeting names this instance, so another server that holds the port does not
        // pass for ours.
        if (probe.TryConnect(host_, port)) {
            try {
                if (probe.ReadLine() == "+OK " + greeting) {
                    probe.SendLine("QUIT");
                    return true;
                }
            } catch (const std::runtime_error&) {
                // Not ready to greet yet; try again.
            }
            probe.Close();
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    failure = "no POP3 greeting within " + std::to_string(options_.startTimeout.count()) + " ms";
    return false;
}

void MailServers::StartSmtp() {
    RequireStarted("StartSmtp");
    if (smtp_.Running()) {
        return;
    }
    LaunchSmtp();
    WaitForSmtp();
}

void MailServers::LaunchSmtp() {
    smtp_.Kill();  // reaps a server that ended by itself
    DeleteFileIfExists(root_ + "/smtp.ready");
    // The first start lets the server pick its port, so no other process can take it in
    // between; a restart asks for the same port again.
    std::vector<std::string> command{options_.pythonBinary,
                                     "-I",
                                     options_.smtpScript,
                                     "--host",
                                     host_,
                                     "--port",
                                     std::to_string(smtpPort_),
                                     "--mail-root",
                                     root_ + "/mail",
                                     "--auth-file",
                                     root_ + "/smtp-auth",
                                     "--ready-file",
                                     root_ + "/smtp.ready",
                                     "--uid",
                                     std::to_string(owner_.uid),
                                     "--gid",
                                     std::to_string(owner_.gid)};
    if (options_.tls) {
        command.insert(command.end(),
                       {"--tls-dir", root_ + "/tls", "--tls-port", std::to_string(smtpsPort_)});
    }
    smtp_.Start(command, root_ + "/smtp.log");
}

void MailServers::WaitForSmtp() {
    const auto deadline = std::chrono::steady_clock::now() + options_.startTimeout;
    std::string failure;
    while (failure.empty()) {
        if (auto ready = ReadFileIfExists(root_ + "/smtp.ready")) {
            // "PORT", or with TLS "PORT TLSPORT".
            const SplitResult ports = SplitString(Trim(*ready), " ");
            int port = 0;
            int tlsPort = 0;
            if (TryParseInt(ports.Part(1), port) && port > 0 &&
                (!options_.tls || (TryParseInt(ports.Part(2), tlsPort) && tlsPort > 0))) {
                smtpPort_ = port;
                smtpsPort_ = tlsPort;
                return;
            }
            failure = "it reported the ports \"" + Trim(*ready) + "\"";
        } else if (!smtp_.Running()) {
            failure = "it ended with " + smtp_.ExitDescription();
        } else if (std::chrono::steady_clock::now() >= deadline) {
            failure =
                "not listening within " + std::to_string(options_.startTimeout.count()) + " ms";
        } else {
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    smtp_.Kill();
    throw std::runtime_error("the SMTP server did not come up (" + failure + "). Its log:\n" +
                             SmtpLog());
}

void MailServers::StopSmtp() {
    smtp_.Terminate(std::chrono::seconds(2));
}

bool MailServers::SmtpRunning() {
    return smtp_.Running();
}

void MailServers::AddUser(const std::string& user, const std::string& password) {
    RequireStarted("AddUser");
    RequireMailboxName(user);
    const auto known = users_.find(user);
    const bool changed = known != users_.end() && known->second.password != password;
    WriteDovecotUser(user, password);
    if (changed) {
        // Dovecot looks at a passwd-file it knows at most once per second of the clock; once
        // the current second is over, every login sees the new password.
        using namespace std::chrono;
        const auto next = ceil<seconds>(system_clock::now() + milliseconds(1));
        std::this_thread::sleep_until(next + milliseconds(20));
    }
}

std::string MailServers::PutMessage(const std::string& user, std::string_view bytes) {
    RequireStarted("PutMessage");
    RequireMailboxName(user);
    const std::string maildir = CreateMaildir(root_ + "/mail/" + user, owner_);
    return maildir + "/new/" + DeliverToMaildir(maildir, bytes, names_, owner_);
}

std::vector<std::string> MailServers::ReadMailbox(const std::string& user) const {
    RequireStarted("ReadMailbox");
    RequireMailboxName(user);
    return ReadMaildir(MaildirOf(user));
}

void MailServers::SetSmtpAuth(const std::string& user, const std::string& password) {
    if (user.empty() || user.find_first_of("\t\r\n") != std::string::npos ||
        password.find_first_of("\t\r\n") != std::string::npos) {
        throw std::invalid_argument("SMTP credentials cannot hold tabs or line breaks");
    }
    smtpUsers_[user] = password;
    WriteSmtpAuthFile();
}

void MailServers::RequireSmtpAuth(bool required) {
    smtpAuthRequired_ = required;
    WriteSmtpAuthFile();
}

std::string MailServers::DovecotLog() const {
    if (root_.empty()) {
        return "";
    }
    return LogOf(root_ + "/dovecot.out") + LogOf(root_ + "/dovecot.log");
}

std::string MailServers::SmtpLog() const {
    return root_.empty() ? "" : LogOf(root_ + "/smtp.log");
}

std::vector<pid_t> MailServers::ProcessGroups() const {
    std::vector<pid_t> groups;
    for (const ChildProcess* child : {&dovecot_, &smtp_}) {
        if (child->Pid() != 0) {
            groups.push_back(child->Pid());
        }
    }
    return groups;
}

}  // namespace corvanteer::testing
