// post and posts: manual posting with the list's stored settings, and saved messages.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ostream>
#include <thread>

#include "app/JsonOutputs.h"
#include "app/PostingValues.h"
#include "app/SavedMessages.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "cli/SignalWatcher.h"
#include "engine/ManualPosting.h"
#include "support/Text.h"

namespace corvanteer::cli {

namespace {

// Test hook: with CORVANTEER_TEST_SIGINT_AT_MEMBER=N, the process sends itself SIGINT as the
// copy for member N starts and waits until the signal has set the abort flag, so a test can
// abort a run "while member N is being sent" without racing the SMTP conversation.
constexpr const char* kSigintHook = "CORVANTEER_TEST_SIGINT_AT_MEMBER";

void InstallSigintHook(ProgressObserver& progress, const std::atomic<bool>& abort) {
    const char* value = std::getenv(kSigintHook);
    int member = 0;
    if (value == nullptr || !TryParseInt(value, member) || member <= 0) {
        return;
    }
    const std::string marker = " (" + std::to_string(member) + "/";
    progress.onStatus = [marker, &abort](const std::string& text) {
        if (!StartsWith(text, "Posting to ") || !Contains(text, marker)) {
            return;
        }
        kill(getpid(), SIGINT);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!abort.load() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
}

std::string NoSuchMessage(const std::string& name) {
    const std::string refusal = CheckMessageName(name);
    return refusal.empty() ? "There is no saved message named \"" + name + "\"." : refusal;
}

int RunPosting(CliSession& session, const ManualPosting& posting, std::atomic<bool>& abort,
               const std::atomic<bool>& interrupted) {
    std::unique_lock<SessionLock> lock = session.LockSession();
    if (interrupted.load()) {
        Refuse("Posting aborted before it started.");
    }
    session.progress().Enable(true);
    const ManualPostingOutcome outcome = PostManualMessage(session.services(), posting, abort);
    session.progress().Enable(false);
    const std::string counts =
        std::to_string(outcome.handled) + " of " + std::to_string(outcome.members) + " members";
    std::string queued = outcome.queued == 0
                             ? std::string()
                             : "; " + std::to_string(outcome.queued) + " queued for the next scan";
    if (outcome.held > 0) {
        queued += "; " + std::to_string(outcome.held) + " held by the sending caps";
    }
    // Why each copy that did not go was queued or given up.
    for (const std::string& note : outcome.notes) {
        session.io().err << note << '\n';
    }
    if (outcome.aborted) {
        Refuse("Posting aborted after " + counts + queued + ".");
    }
    session.io().out << "Posted to " << counts << queued << ".\n";
    return kExitDone;
}

}  // namespace

int Post(CliSession& session, const std::string& listName, const MessageArgs& message) {
    const std::string list = session.RequireList(listName);
    ManualPosting posting = LoadPostingValues(session.services(), list);
    posting.from = message.from;
    posting.subject = message.subject;
    posting.messageLines = TextToLines(ReadInput(session, message.body));
    if (posting.members.empty()) {
        Refuse("The list \"" + list + "\" has no members.");
    }
    session.ConfigureMailClients();

    // The abort flag is the "Abort" button: SIGINT or SIGTERM between members. The posting
    // clears it when it starts, so a signal that came earlier is remembered apart.
    std::atomic<bool> ownAbort{false};
    std::atomic<bool> interrupted{false};
    std::atomic<bool>& abort = (!session.hooks().watchSignals && session.hooks().stop != nullptr)
                                   ? *session.hooks().stop
                                   : ownAbort;
    if (!session.hooks().watchSignals) {
        return RunPosting(session, posting, abort, interrupted);
    }
    SignalWatcher watcher([&](int) {
        interrupted.store(true);
        abort.store(true);
    });
    struct HookReset {
        ProgressObserver& progress;
        ~HookReset() { progress.onStatus = nullptr; }
    } hookReset{session.progress()};
    InstallSigintHook(session.progress(), abort);
    return RunPosting(session, posting, abort, interrupted);
}

int PostsList(CliSession& session, const std::string& listName, bool json) {
    const std::string list = session.RequireList(listName);
    const std::vector<std::string> names = ListSavedMessages(session.paths(), list);
    if (json) {
        session.io().out << PostsJson(list, names);
        return kExitDone;
    }
    for (const std::string& name : names) {
        session.io().out << name << '\n';
    }
    return kExitDone;
}

int PostsShow(CliSession& session, const std::string& listName, const std::string& name) {
    const std::string list = session.RequireList(listName);
    std::optional<SavedMessage> message = LoadSavedMessage(session.paths(), list, name);
    if (!message) {
        Refuse(NoSuchMessage(name));
    }
    std::ostream& out = session.io().out;
    out << "From: " << message->from << "\nSubject: " << message->subject << "\n\n";
    for (const std::string& line : message->lines) {
        out << line << '\n';
    }
    return kExitDone;
}

int PostsDelete(CliSession& session, const std::string& listName, const std::string& name) {
    const std::string list = session.RequireList(listName);
    return Finish(DeleteSavedMessage(session.paths(), list, name), session.io().out);
}

int PostsSave(CliSession& session, const std::string& listName, const std::string& name,
              const MessageArgs& message) {
    const std::string list = session.RequireList(listName);
    const std::string refusal = CheckMessageName(name);
    if (!refusal.empty()) {
        Refuse(refusal);  // before standard input is read
    }
    SavedMessage saved;
    saved.from = message.from;
    saved.subject = message.subject;
    saved.lines = TextToLines(ReadInput(session, message.body));
    return Finish(SaveMessage(session.paths(), list, name, saved), session.io().out);
}

}  // namespace corvanteer::cli
