#include "engine/ScanSession.h"

#include <algorithm>
#include <exception>

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

// The one POP3 connection of a session. Remembers whether a mailbox is open so that a
// session ending early still sends QUIT (which also commits the deletions already made:
// every deleted message has been handled or sits safely in its temp file).
class MailboxConnection {
public:
    explicit MailboxConnection(Services& services)
        : services_(services), pop3_(services.pop3), observer_(services.observer) {}

    // label names the mailbox in a log line ("List Server", or the list's name).
    bool Open(const std::string& label, const std::string& host, int port, const std::string& user,
              const std::string& password, const ServerSecurity& security,
              const MailboxLogin& login) {
        pop3_.HostAddress = host;
        pop3_.Port = port;
        pop3_.User = user;
        pop3_.Password = password;
        pop3_.Security = security;
        ApplyLogin(pop3_, login);
        open_ = pop3_.Login();
        ReportMailbox(services_, label, open_);
        if (open_) {
            observer_.TrayImage(1);
        }
        return open_;
    }

    // QUIT of an open mailbox (the server then deletes what was marked); tray image 0, also
    // when the QUIT fails.
    void Close() {
        open_ = false;  // a QUIT that fails is not sent a second time
        try {
            pop3_.Quit();
        } catch (...) {
            observer_.TrayImage(0);
            throw;
        }
        observer_.TrayImage(0);
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

private:
    Services& services_;
    Pop3Client& pop3_;
    ScanObserver& observer_;
    bool open_ = false;
};

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
    if (!connection.Open("List Server", globals.ListServerHost, globals.ListServerPort,
                         globals.ListServerUserID, globals.ListServerPassword,
                         ListServerSecurity(globals), ListServerLogin(globals))) {
        return;  // no QUIT for a List Server mailbox that did not open
    }
    for (int n = pop3.MessageCount; n >= 1; --n) {
        context.MessageNumber = n;
        pop3.Top(n);
        ReadSender(context, pop3.Header);
        if (!IsValidEmail(context.SenderAddress)) {
            continue;  // stays in the mailbox
        }
        context.Subject = CleanSubject(pop3.Header);
        ++context.Counts.messagesRead;
        ApplyRequestRules(context, services);
        pop3.Delete(n);
    }
    context.MessageNumber = 0;
    connection.Close();
}

void DownloadListMailbox(ScanContext& context, Services& services, MailboxConnection& connection) {
    const ListSettings& settings = context.Settings;
    if (settings.Pop3Host.empty() || settings.Pop3Port == 0 || settings.Pop3User.empty()) {
        return;
    }
    Pop3Client& pop3 = services.pop3;
    if (!connection.Open(context.ListName, settings.Pop3Host, settings.Pop3Port, settings.Pop3User,
                         settings.Pop3Password,
                         ListMailboxSecurity(settings, services.console.Globals()),
                         ListMailboxLogin(settings, context.ListName))) {
        pop3.Quit();
        return;
    }
    for (int n = pop3.MessageCount; n >= 1; --n) {
        context.MessageNumber = n;
        pop3.Top(n);
        ReadSender(context, pop3.Header);
        if (!IsValidEmail(context.SenderAddress)) {
            continue;
        }
        pop3.Retrieve(n);
        if (!pop3.LastReplyPositive) {
            // The server's refusal is no message: leave it in the mailbox for the next session
            // instead of posting the refusal and deleting the real one.
            continue;
        }
        context.MessageFile = MakeUniqueFileName(context.TempFolder, "tmp", services.random);
        // On disk and synced before the DELE (and the QUIT that carries it out).
        WriteNewFileSynced(context.MessageFile, TempFileBytes(pop3.Header, pop3.Body));
        if (!pop3.Delete(n)) {
            // The server keeps the message (a refused DELE, or a connection lost before its
            // reply, which no QUIT will commit): the next session downloads it again, so this
            // copy would be posted twice, or, after a failed RETR, be a damaged one.
            DeleteFileIfExists(context.MessageFile);
            continue;
        }
        ++context.Counts.messagesRead;
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
    stage = "retrying the pending mail";
    SendPendingMail(services);
    stage = "reading the List Server mailbox";
    ReadListServerMailbox(context, services, connection);
    const std::vector<std::string> lists = services.console.ListNames();
    for (const auto& name : lists) {
        stage = "downloading the mailbox of list \"" + name + "\"";
        TurnToList(context, services, name);
        DownloadListMailbox(context, services, connection);
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
