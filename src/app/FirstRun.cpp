#include "app/FirstRun.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "engine/bounce/Notices.h"
#include "engine/digest/ModeTexts.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

// The texts as the operator would write them: lines of mail, the variables filled in by the
// scan. {Password} stands only in the password notice, which is sent only where passwords
// are in use (elsewhere it would reach the reader as written).
std::vector<DefaultText> MakeTexts() {
    auto text = [](std::initializer_list<const char*> lines) {
        return JoinLines(Lines(lines.begin(), lines.end()));
    };
    return {
        {"Subscribe_Verify",
         text({"Hello,", "",
               "We received a request to subscribe {Email} to the mailing list {ListName}.", "",
               "To confirm it, reply to this message and keep the subject as it is: the code",
               "in the subject tells us the request is yours. What you write in the reply",
               "does not matter.", "",
               "If you did not ask for this, ignore this message; nothing happens without",
               "your reply."})},
        {"Subscribe_Confirm",
         text({"Welcome to {ListName}!", "", "{Email} is now a member of the list.",
               "To write to the members, send your message to {ListAddress}.", "",
               "To leave the list, send a message to {ListServerAddress}",
               "with the subject: unsubscribe {ListName}"})},
        {"Unsubscribe_Confirm",
         text({"Goodbye from {ListName}.", "",
               "{Email} has been removed from the list and will get no more of its messages.", "",
               "To come back, send a message to {ListServerAddress}",
               "with the subject: subscribe {ListName}"})},
        {"Password_Notify", text({"Your password for posting to {ListName} is: {Password}", "",
                                  "Put it at the end of the subject of every message you send to",
                                  "{ListAddress}, after a blank, for example:", "",
                                  "  Subject: Meeting on Friday {Password}", "",
                                  "The list removes it before the message goes out."})},
        {"Verify_Error",
         text({"We could not confirm a subscription of {Email} to {ListName}: the code in",
               "your reply is unknown or has expired, or the reply came from another",
               "address than the request.", "",
               "To try again, send a message to {ListServerAddress}",
               "with the subject: subscribe {ListName}"})},
        {"Already_A_Member",
         text({"{Email} is already a member of {ListName}; nothing was changed.", "",
               "To write to the members, send your message to {ListAddress}.",
               "To leave the list, send a message to {ListServerAddress}",
               "with the subject: unsubscribe {ListName}"})},
        {"Not_Member",
         text({"{Email} is not a member of {ListName}, so there was nothing to remove.", "",
               "To join the list, send a message to {ListServerAddress}",
               "with the subject: subscribe {ListName}"})},
        {"Help",
         text({"The mailing list {ListName}", "",
               "Send these requests to {ListServerAddress}, each as the subject of a",
               "message of its own:", "", "  subscribe {ListName}     join the list",
               "  unsubscribe {ListName}   leave the list", "  help {ListName}          this text",
               "  set {ListName} digest    one digest a day instead of each message",
               "                           (or each, plain-digest, nomail)",
               "  which                    the lists you are a member of",
               "  lists                    the lists you can join", "",
               "To write to the members, send your message to {ListAddress}."})},
        {bounce::kNoticeSection, bounce::kDefaultNoticeText},
    };
}

std::vector<DefaultText> AllTexts() {
    std::vector<DefaultText> texts = MakeTexts();
    for (const ModeText& text : DefaultModeTexts()) {
        texts.push_back({text.section, text.text});
    }
    return texts;
}

}  // namespace

const std::vector<DefaultText>& DefaultListTexts() {
    static const std::vector<DefaultText> texts = AllTexts();
    return texts;
}

bool IsNewInstallation(const AppPaths& paths) {
    return !FileExists(paths.SettingsDatabase());
}

void WriteDefaultListTexts(const AppPaths& paths) {
    const std::string target = paths.ListDataFile(kDefaultListName);
    if (FileExists(target)) {
        return;
    }
    // Built beside the target under another name, then linked into place: link() never
    // replaces a file another process may have written meanwhile.
    const std::string draft = target + ".new";
    DeleteFileIfExists(draft);
    for (const DefaultText& text : DefaultListTexts()) {
        WriteSection(draft, text.section, TextToLines(text.text));
    }
    if (::link(draft.c_str(), target.c_str()) == 0 || errno == EEXIST) {
        DeleteFileIfExists(draft);
        return;
    }
    // A file system without hard links: a plain rename, the target still being absent.
    if (::rename(draft.c_str(), target.c_str()) != 0) {
        const int error = errno;
        DeleteFileIfExists(draft);
        ThrowIoError("Cannot create the file", target, error);
    }
}

}  // namespace corvanteer
