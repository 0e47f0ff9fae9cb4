#include "engine/digest/ModeTexts.h"

#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

std::vector<ModeText> MakeTexts() {
    auto text = [](std::initializer_list<const char*> lines) {
        return JoinLines(Lines(lines.begin(), lines.end()));
    };
    return {
        {kModeVerifySection,
         text({"Hello,", "",
               "We received a request to change how {Email} receives the mailing list",
               "{ListName} to: {Mode}.", "",
               "To confirm it, reply to this message and keep the subject as it is: the code",
               "in the subject tells us the request is yours. What you write in the reply",
               "does not matter.", "",
               "If you did not ask for this, ignore this message; nothing changes without",
               "your reply."})},
        {kModeChangedSection,
         text({"{Email} now receives {ListName} as: {Mode}", "",
               "  each          every message as it is posted",
               "  digest        the messages collected into one digest a day (sooner",
               "                on busy days), each message kept whole as an attachment",
               "  plain-digest  the same digest as plain text",
               "  nomail        nothing; you stay a member", "",
               "To change it, send a message to {ListServerAddress}",
               "with the subject: set {ListName} each   (or digest, plain-digest, nomail)"})},
        {kWhichSection,
         text({"{Email} is a member of these lists (and receives them as shown):", "", "{Lists}",
               "", "To change how a list reaches you, send a message to {ListServerAddress}",
               "with the subject: set LIST each   (or digest, plain-digest, nomail)"})},
        {kListsSection,
         text({"These lists take members by mail:", "", "{Lists}", "",
               "Send each request as the subject of a message of its own to",
               "{ListServerAddress}:", "", "  subscribe LIST     join a list",
               "  unsubscribe LIST   leave a list",
               "  set LIST MODE      how a list reaches you: each, digest, plain-digest or",
               "                     nomail", "  which              the lists you are a member of",
               "  lists              this text", "  help LIST          a list's own help"})},
    };
}

}  // namespace

const std::vector<ModeText>& DefaultModeTexts() {
    static const std::vector<ModeText> texts = MakeTexts();
    return texts;
}

std::string ModeTemplate(const std::string& listDataFile, std::string_view section) {
    std::string text = ReadSection(listDataFile, section);
    if (!text.empty()) {
        return text;
    }
    for (const ModeText& fallback : DefaultModeTexts()) {
        if (SameText(fallback.section, section)) {
            return fallback.text;
        }
    }
    return text;
}

}  // namespace corvanteer
