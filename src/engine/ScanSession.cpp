#include "engine/ScanSession.h"

#include <algorithm>
#include <exception>

#include "engine/ActivityLog.h"
#include "engine/MailConnections.h"
#include "engine/MailNotes.h"
#include "engine/MailboxPass.h"
#include "engine/PendingQueue.h"
#include "engine/PostingRules.h"
#include "engine/RequestRules.h"
#include "engine/TempFiles.h"
#include "engine/archive/PostingArchive.h"
#include "engine/bounce/BounceHandling.h"
#include "engine/digest/DigestDelivery.h"
#include "support/Address.h"
#include "support/Files.h"
#include "support/HeaderFields.h"
#include "support/Status.h"

namespace corvanteer {

void SplitMessageFile(const std::string& file, Lines& header, Lines& body) {
    header.clear();
    body.clear();
    DownloadedMessage message;
    if (!ReadDownload(file, message)) {
        return;
    }
    header = std::move(message.header);
    body = TextToLines(message.Body());
}

std::string MailboxFailure::Text() const {
    return mailbox + ": mailbox " + user + " at " + host + ":" + std::to_string(port) + " - " +
           message;
}

namespace {

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
    LogRefusedValues(context, services, name, context.Settings.refused);
    context.ListServerAddress = services.console.Globals().ListServerAddress;
}

// Phase 1: every request is acted upon as its header comes, then deleted.
class RequestRulesPass final : public PassRules {
public:
    RequestRulesPass(ScanContext& context, Services& services)
        : context_(context), services_(services) {}

    Then Header(int /*n*/, const Pop3Reply& top) override {
        context_.Subject = CleanSubject(top.header);
        ++context_.Counts.messagesRead;
        ApplyRequestRules(context_, services_);
        return Then::Delete;
    }
    std::string Store(int /*n*/, Pop3Reply& /*message*/) override { return {}; }
    void Kept(const std::string& /*stored*/) override {}

private:
    ScanContext& context_;
    Services& services_;
};

void ReadListServerMailbox(ScanContext& context, Services& services,
                           MailboxConnection& connection) {
    const GlobalSettings globals = services.console.Globals();
    if (!Configured(globals.ListServerHost, globals.ListServerPort, globals.ListServerUserID)) {
        return;
    }
    if (!connection.Open({"List Server", globals.ListServerHost, globals.ListServerPort,
                          globals.ListServerUserID, globals.ListServerPassword,
                          globals.MaxMessageSize, ListServerSecurity(globals),
                          ListServerLogin(globals)})) {
        return;  // no QUIT for a List Server mailbox that did not open
    }
    RequestRulesPass rules(context, services);
    MailboxPass(context, connection, rules).Run();
}

// Phase 2: every message with a usable sender is fetched into the temp folder, named by its
// place in the mailbox, and deleted from the server once its file is whole on disk.
class DownloadPass final : public PassRules {
public:
    DownloadPass(ScanContext& context, Services& services)
        : context_(context), services_(services), first_(FirstDownloadNumber(context.TempFolder)) {}

    Then Header(int /*n*/, const Pop3Reply& /*top*/) override { return Then::Retrieve; }

    std::string Store(int n, Pop3Reply& message) override {
        std::string file =
            DownloadFileName(context_.TempFolder, first_ + static_cast<uint64_t>(n) - 1);
        if (file.empty() || FileExists(file)) {
            // Numbers moved on a new connection: after everything there is.
            file = DownloadFileName(context_.TempFolder, FirstDownloadNumber(context_.TempFolder));
        }
        if (file.empty()) {
            file = MakeUniqueFileName(context_.TempFolder, "tmp", services_.random);
        }
        context_.MessageFile = file;
        // On disk and synced before the DELE (and the QUIT that carries it out).
        WriteDownload(file, message.message);
        message.message = std::string();
        ++context_.Counts.messagesRead;
        return file;
    }

    void Kept(const std::string& stored) override {
        // The server keeps the message (a refused DELE): the next session downloads it
        // again, so this copy would be posted twice.
        DeleteFileIfExists(stored);
        --context_.Counts.messagesRead;
    }

private:
    ScanContext& context_;
    Services& services_;
    uint64_t first_;
};

void DownloadListMailbox(ScanContext& context, Services& services, MailboxConnection& connection,
                         int32_t maxMessageSize) {
    const ListSettings& settings = context.Settings;
    if (!Configured(settings.Pop3Host, settings.Pop3Port, settings.Pop3User)) {
        return;
    }
    if (!connection.Open({context.ListName, settings.Pop3Host, settings.Pop3Port, settings.Pop3User,
                          settings.Pop3Password, maxMessageSize,
                          ListMailboxSecurity(settings, services.console.Globals()),
                          ListMailboxLogin(settings, context.ListName)})) {
        services.pop3.Quit();
        return;
    }
    DownloadPass rules(context, services);
    MailboxPass(context, connection, rules).Run();
}

void ProcessTempFolder(ScanContext& context, Services& services) {
    context.MessageNumber = 0;
    const std::string folder = AddBackslash(context.TempFolder);
    DownloadedMessage message;
    for (const auto& name : DownloadsInOrder(context.TempFolder)) {
        context.MessageFile = folder + name;
        if (!ReadDownload(context.MessageFile, message)) {
            continue;  // gone meanwhile
        }
        context.HeaderLines = std::move(message.header);
        context.Message = std::move(message.text);
        context.BodyStart = message.bodyStart;
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
    LogRefusedValues(context, services, "", services.console.Globals().refused);
    for (const std::string& list : lists) {
        RemovePartialDownloads(services.paths.TempFolder(list));
    }
    stage = "retrying the pending mail";
    context.Counts.retriesFailed = SendPendingMail(services).failed;
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
        // The list's failure reports are applied together, then the notices that fall due.
        bounce::FlushBounces(context, services);
        bounce::RunBounceSchedule(context, services);
    }
    for (const auto& name : lists) {
        stage = "sending the digest of list \"" + name + "\"";
        SendDueDigest(context, services, name);
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
    MailNotes notes(services.paths.MailNotesFile());
    MailboxConnection connection(services, notes);
    std::string stage;
    // What the last scan learned of an unreachable SMTP server is not this scan's.
    services.smtp.Outage = {};
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
    services.smtp.Outage = {};
    // Also after an error: what was posted before it is in the archive.
    archive::BuildPostedArchives(services, context.ArchivedLists);
    outcome.counts = context.Counts;
    outcome.mailboxFailures = connection.Failures();
    outcome.mailboxesTried = connection.Tried();
    if (!outcome.mailboxFailures.empty()) {
        // Cleared first, so the same failure in the next session is shown again too.
        services.observer.StatusText("");
        for (const MailboxFailure& failure : outcome.mailboxFailures) {
            services.observer.StatusText(failure.Text());
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
