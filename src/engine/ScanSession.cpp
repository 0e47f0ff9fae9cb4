#include "engine/ScanSession.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <set>

#include "engine/ActivityLog.h"
#include "engine/MailConnections.h"
#include "engine/PendingQueue.h"
#include "engine/PostingRules.h"
#include "engine/RequestRules.h"
#include "support/Address.h"
#include "support/Files.h"
#include "support/HeaderFields.h"
#include "support/Status.h"

namespace corvanteer {

void SplitMessageFile(const std::string& file, Lines& header, Lines& body) {
    header.clear();
    body.clear();
    auto text = ReadFileIfExists(file);
    if (!text) {
        return;
    }
    Lines lines = TextToLines(*text);
    auto end = std::find(lines.begin(), lines.end(), std::string());
    header.assign(std::make_move_iterator(lines.begin()), std::make_move_iterator(end));
    header.emplace_back();
    if (end != lines.end()) {
        body.assign(std::make_move_iterator(end + 1), std::make_move_iterator(lines.end()));
    }
}

namespace {

// How many TOP or RETR refusals in a row make a mailbox be left for the session: a server
// whose STAT claims messages it does not have would otherwise be asked for each of them.
constexpr int kMaxRefusalsInARow = 10;

// The one POP3 connection of a session and what the session learns about its mailboxes.
// Remembers whether a mailbox is open so that a session ending early still sends QUIT
// (which also commits the deletions already made: every deleted message has been handled
// or sits safely in its temp file).
class MailboxConnection {
public:
    explicit MailboxConnection(Services& services) : pop3_(services.pop3), services_(services) {}

    // Logs in to the mailbox of name (a list's, or the List Server's); a login that fails
    // is logged and noted as a failure, with the client's reason when it has one.
    bool Open(const std::string& name, const std::string& host, int port, const std::string& user,
              const std::string& password, int32_t maxMessageSize, const ServerSecurity& security,
              const MailboxLogin& login) {
        name_ = name;
        label_ = name + ": mailbox " + user + " at " + host + ":" + std::to_string(port);
        refusals_ = 0;
        broken_ = false;
        lost_ = false;
        pop3_.HostAddress = host;
        pop3_.Port = port;
        pop3_.User = user;
        pop3_.Password = password;
        pop3_.MaxMessageSize = std::max<int32_t>(maxMessageSize, 0);
        pop3_.Security = security;
        ApplyLogin(pop3_, login);
        open_ = pop3_.Login();
        ReportMailbox(services_, open_);
        if (open_) {
            services_.observer.TrayImage(1);
        } else {
            Fail(pop3_.LastError.ok() ? "login failed" : "login failed: " + pop3_.LastError.Text());
        }
        return open_;
    }

    // Top or Retrieve of message n, judged: true when its lines are there. False skips the
    // message (refused, or over the size limit); Broken() tells whether reading must stop.
    bool Top(int n) {
        pop3_.Top(n);
        return Judge(n);
    }
    bool Retrieve(int n) {
        pop3_.Retrieve(n);
        return Judge(n);
    }
    bool Delete(int n) {
        const bool deleted = pop3_.Delete(n);
        CheckConnection(n);
        return deleted;
    }
    // Reading must stop: the connection is gone, or the server refused too often.
    bool Broken() const { return broken_; }
    // The connection ended without QUIT: the server keeps every message of this login, the
    // ones marked deleted included.
    bool Lost() const { return lost_; }

    // QUIT of an open mailbox (the server then deletes what was marked); tray image 0, also
    // when the QUIT fails.
    void Close() {
        open_ = false;  // a QUIT that fails is not sent a second time
        try {
            pop3_.Quit();
        } catch (...) {
            services_.observer.TrayImage(0);
            throw;
        }
        services_.observer.TrayImage(0);
    }

    // After an error: closes an open mailbox, swallowing whatever that raises.
    void CloseAfterError() noexcept {
        if (!open_) {
            return;
        }
        try {
            Close();
        } catch (...) {
        }
    }

    const std::vector<std::string>& Failures() const { return failures_; }

private:
    bool Judge(int n) {
        if (pop3_.LastMessageTooBig) {
            NoteTooBig(n, pop3_.LastMessageSize);
        }
        if (!CheckConnection(n)) {
            return false;
        }
        if (pop3_.LastMessageTooBig) {
            return false;
        }
        if (!pop3_.LastReplyPositive) {
            if (++refusals_ >= kMaxRefusalsInARow) {
                BreakOff(n, std::to_string(kMaxRefusalsInARow) + " TOP or RETR refusals in a row");
            }
            return false;
        }
        refusals_ = 0;
        return true;
    }

    bool CheckConnection(int n) {
        if (!broken_ && !pop3_.Connected()) {
            lost_ = true;
            BreakOff(n, "connection lost");
        }
        return !broken_;
    }

    void BreakOff(int n, const std::string& cause) {
        broken_ = true;
        Fail("reading broke off at message " + std::to_string(n) + " (" + cause + ")");
    }

    void Fail(const std::string& cause) {
        const std::string text = label_ + " - " + cause;
        WriteLog(services_, Stamp(services_) + text, LogPriority::Error);
        failures_.push_back(text);
    }

    // Once per session for each message of a mailbox (two lists may share one).
    void NoteTooBig(int n, int64_t size) {
        const std::string key = pop3_.HostAddress + ":" + std::to_string(pop3_.Port) + "/" +
                                pop3_.User + "/" + std::to_string(n) + "/" + std::to_string(size);
        if (!tooBigLogged_.insert(key).second) {
            return;
        }
        WriteLog(services_,
                 Stamp(services_) + name_ + ": message " + std::to_string(n) + " of " +
                     std::to_string(size) + " bytes is over MaxMessageSize - left on the server",
                 LogPriority::Warning);
    }

    Pop3Client& pop3_;
    Services& services_;
    bool open_ = false;
    std::string name_;
    std::string label_;
    int refusals_ = 0;
    bool broken_ = false;
    bool lost_ = false;
    std::vector<std::string> failures_;
    std::set<std::string> tooBigLogged_;
};

// A mailbox with an empty host or user, or port 0, is not set up and is left alone.
bool Configured(const std::string& host, int port, const std::string& user) {
    return !host.empty() && port != 0 && !user.empty();
}

void ReadSender(ScanContext& context, const Lines& header) {
    context.FromValue = GetHeaderValue("From", header);
    context.SenderName = ExtractDisplayName(context.FromValue);
    context.SenderAddress = LowerCase(ExtractEmail(context.FromValue));
}

std::string CleanSubject(const Lines& header) {
    return Trim(CollapseSpaces(GetHeaderValue("Subject", header)));
}

// Turns the context to a list of the list set; paths use the name as the set holds it.
void TurnToList(ScanContext& context, Services& services, const std::string& name) {
    context.ListName = name;
    context.ListKey = services.paths.ListKey(name);
    context.ListDataFile = services.paths.ListDataFile(name);
    context.TempFolder = services.paths.TempFolder(name);
    ForceDirectories(context.TempFolder);
    context.Settings = LoadListSettings(services.store, context.ListKey);
}

// The bytes of a temp file: header lines, body lines, each with CR LF, and one more CR LF.
std::string TempFileBytes(const Lines& header, const Lines& body) {
    std::string bytes = LinesToText(header);
    AppendLinesText(bytes, body);
    bytes += "\r\n";
    return bytes;
}

void ReadListServerMailbox(ScanContext& context, Services& services,
                           MailboxConnection& connection) {
    const GlobalSettings globals = services.console.Globals();
    Pop3Client& pop3 = services.pop3;
    if (!Configured(globals.ListServerHost, globals.ListServerPort, globals.ListServerUserID)) {
        return;
    }
    if (!connection.Open("List Server", globals.ListServerHost, globals.ListServerPort,
                         globals.ListServerUserID, globals.ListServerPassword,
                         globals.MaxMessageSize, ListServerSecurity(globals),
                         ListServerLogin(globals))) {
        return;  // no QUIT for a List Server mailbox that did not open
    }
    for (int n = pop3.MessageCount; n >= 1 && !connection.Broken(); --n) {
        context.MessageNumber = n;
        if (!connection.Top(n)) {
            continue;  // refused or too big: stays in the mailbox
        }
        ReadSender(context, pop3.Header);
        if (!IsValidEmail(context.SenderAddress)) {
            continue;  // stays in the mailbox
        }
        context.Subject = CleanSubject(pop3.Header);
        ++context.Counts.messagesRead;
        ApplyRequestRules(context, services);
        connection.Delete(n);
    }
    context.MessageNumber = 0;
    connection.Close();
}

// A download is written under its ".tmp" name + this, which phase 3 never takes, and gets
// its ".tmp" name only once it is whole on disk: a download cut short by a kill leaves no file
// that would be posted, while the message is still on the server.
constexpr const char* kPartialSuffix = ".part";

void WriteDownload(const std::string& file, const std::string& bytes) {
    const std::string partial = file + kPartialSuffix;
    WriteNewFileSynced(partial, bytes, /*syncFolder=*/false);
    if (::rename(partial.c_str(), file.c_str()) != 0) {
        const int error = errno;
        DeleteFileIfExists(partial);
        ThrowIoError("Cannot rename", partial, error);
    }
    SyncFolder(file.substr(0, file.rfind('/')));
}

// Downloads a killed session left unfinished; their messages are still on the server.
void RemovePartialDownloads(Services& services, const std::vector<std::string>& lists) {
    for (const std::string& list : lists) {
        const std::string folder = services.paths.TempFolder(list);
        for (const std::string& name : ListFiles(folder, kPartialSuffix)) {
            DeleteFileIfExists(AddBackslash(folder) + name);
        }
    }
}

void DownloadListMailbox(ScanContext& context, Services& services, MailboxConnection& connection,
                         int32_t maxMessageSize) {
    const ListSettings& settings = context.Settings;
    if (!Configured(settings.Pop3Host, settings.Pop3Port, settings.Pop3User)) {
        return;
    }
    Pop3Client& pop3 = services.pop3;
    if (!connection.Open(context.ListName, settings.Pop3Host, settings.Pop3Port, settings.Pop3User,
                         settings.Pop3Password, maxMessageSize,
                         ListMailboxSecurity(settings, services.console.Globals()),
                         ListMailboxLogin(settings, context.ListName))) {
        pop3.Quit();
        return;
    }
    std::vector<std::string> downloaded;
    for (int n = pop3.MessageCount; n >= 1 && !connection.Broken(); --n) {
        context.MessageNumber = n;
        if (!connection.Top(n)) {
            continue;
        }
        ReadSender(context, pop3.Header);
        if (!IsValidEmail(context.SenderAddress)) {
            continue;
        }
        if (!connection.Retrieve(n)) {
            // The server's refusal is no message: leave it in the mailbox for the next session
            // instead of posting the refusal and deleting the real one. So is a message over
            // the size limit.
            continue;
        }
        context.MessageFile = MakeUniqueFileName(context.TempFolder, "tmp", services.random);
        // On disk and synced before the DELE (and the QUIT that carries it out).
        WriteDownload(context.MessageFile, TempFileBytes(pop3.Header, pop3.Body));
        if (!connection.Delete(n)) {
            // The server keeps the message (a refused DELE, or a connection lost before its
            // reply, which no QUIT will commit): the next session downloads it again, so this
            // copy would be posted twice, or, after a failed RETR, be a damaged one.
            DeleteFileIfExists(context.MessageFile);
            continue;
        }
        downloaded.push_back(context.MessageFile);
        ++context.Counts.messagesRead;
    }
    if (connection.Lost()) {
        // No QUIT will commit the deletions: the messages stay on the server and come again
        // with the next session, so these copies would be posted twice.
        for (const std::string& file : downloaded) {
            DeleteFileIfExists(file);
        }
        context.Counts.messagesRead -= static_cast<int>(downloaded.size());
    }
    context.MessageNumber = 0;
    connection.Close();
}

void ProcessTempFolder(ScanContext& context, Services& services) {
    context.MessageNumber = 0;
    const std::string folder = AddBackslash(context.TempFolder);
    for (const auto& name : ListFiles(context.TempFolder, ".tmp")) {
        context.MessageFile = folder + name;
        SplitMessageFile(context.MessageFile, context.HeaderLines, context.BodyLines);
        ReadSender(context, context.HeaderLines);
        context.Subject = CleanSubject(context.HeaderLines);
        context.MimeVersion = GetHeaderValue("MIME-Version", context.HeaderLines);
        context.ContentType = GetHeaderValue("Content-Type", context.HeaderLines);
        context.ContentTransferEncoding =
            GetHeaderValue("Content-Transfer-Encoding", context.HeaderLines);
        context.PostingPassword.clear();
        ApplyPostingRules(context, services);
        // A file left behind would be posted again by every later session.
        if (!DeleteFileIfExists(context.MessageFile) && FileExists(context.MessageFile)) {
            throw Failure(ErrorKind::Io, "Cannot delete " + context.MessageFile);
        }
    }
}

// stage names the step in hand for the error message of a session that ends early.
void RunPhases(ScanContext& context, Services& services, MailboxConnection& connection,
               std::string& stage) {
    const std::vector<std::string> lists = services.console.ListNames();
    RemovePartialDownloads(services, lists);
    stage = "retrying the pending mail";
    SendPendingMail(services);
    stage = "reading the List Server mailbox";
    ReadListServerMailbox(context, services, connection);
    const int32_t maxMessageSize = services.console.Globals().MaxMessageSize;
    for (const auto& name : lists) {
        stage = "downloading the mailbox of list \"" + name + "\"";
        TurnToList(context, services, name);
        DownloadListMailbox(context, services, connection, maxMessageSize);
    }
    for (const auto& name : lists) {
        stage = "processing the messages of list \"" + name + "\"";
        TurnToList(context, services, name);
        ProcessTempFolder(context, services);
    }
}

std::string SessionError(const std::string& stage, const char* cause) {
    std::string text = "The scan stopped";
    if (!stage.empty()) {
        text += " while " + stage;
    }
    return text + ": " + cause;
}

}  // namespace

ScanOutcome RunScanSession(Services& services, PollTimer& timer) {
    ScanOutcome outcome;
    ScanContext context;
    MailboxConnection connection(services);
    std::string stage;
    try {
        timer.Stop();
        RunPhases(context, services, connection, stage);
    } catch (const std::exception& error) {
        outcome.ok = false;
        outcome.error = SessionError(stage, error.what());
        connection.CloseAfterError();
    } catch (...) {
        outcome.ok = false;
        outcome.error = SessionError(stage, "unknown error");
        connection.CloseAfterError();
    }
    outcome.counts = context.Counts;
    outcome.mailboxFailures = connection.Failures();
    if (!outcome.mailboxFailures.empty()) {
        // Cleared first, so the same failure in the next session is shown again too.
        services.observer.StatusText("");
        for (const std::string& failure : outcome.mailboxFailures) {
            services.observer.StatusText(failure);
        }
    }

    int64_t interval = 0;
    try {
        interval =
            std::max<int64_t>(0, int64_t{services.console.Globals().SessionInterval}) * 60000;
    } catch (const std::exception& error) {
        if (outcome.ok) {
            outcome.ok = false;
            outcome.error = SessionError("reading the scan interval", error.what());
        }
    }
    timer.SetIntervalMs(interval);
    return outcome;
}

}  // namespace corvanteer
