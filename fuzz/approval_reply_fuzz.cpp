// The approval-reply parser: HandleApprovalReply on a moderator's reply, either as the input
// gives it or built from the input as a mail program quotes an approval request.
//
// Input, taken as is: "r", "%%", the reply's body. Built: "q" + the quote prefix, "%%", the
// posting's header lines, "%%", its body, "%%", lines above the quote, "%%", lines below it;
// a "b" after the prefix's line quotes empty lines with the prefix's blanks trimmed.
//
// Checked: a reply that is not understood posts nothing and is logged; one that is sends
// header lines without line breaks and the body followed by the signature's lines; a built
// reply is always understood and posts exactly the quoted body under the quoted subject.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "common/FuzzWorld.h"
#include "engine/Moderation.h"
#include "support/Files.h"
#include "support/HeaderFields.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

const Lines kMembers = {"ann@example.test 0 111111", "bob@example.test 0 222222"};
const Lines kSignature = {"-- ", "news list"};

FuzzWorld& World() {
    static FuzzWorld& world = []() -> FuzzWorld& {
        FuzzWorld& w = FuzzWorld::Get();
        w.AddList("news");
        w.store->WriteRegString(w.paths.ListKey("news"), "ListPostingAddress", "news@example.test");
        return w;
    }();
    return world;
}

bool AnyContains(const Lines& lines, const char* text) {
    for (const auto& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct Built {
    Lines reply;
    Lines header;
    Lines body;
};

// The reply a mail program makes of an approval request carrying header and body; false when
// the parts cannot stand where they are put (a marker where none may be).
bool Build(const std::vector<std::string>& parts, Built& built) {
    const Lines control = TextToLines(parts[0]);
    const std::string prefix = control.empty() ? std::string() : control[0].substr(1);
    const bool bareEmpty = control.size() > 1 && Contains(control[1], "b");
    const std::string barePrefix = TrimRight(prefix);
    if ((prefix + kApprovalBegin).find(kApprovalBegin) != prefix.size() ||
        Contains(prefix, kApprovalEnd)) {
        return false;
    }
    for (auto& line : TextToLines(parts[1])) {
        if (!line.empty()) {
            built.header.push_back(std::move(line));
        }
    }
    built.body = TextToLines(parts[2]);
    const Lines above = TextToLines(parts[3]);
    const Lines below = TextToLines(parts[4]);
    if (built.header.empty() || AnyContains(above, kApprovalBegin) ||
        AnyContains(below, kApprovalEnd)) {
        return false;
    }
    auto quote = [&](const std::string& line) {
        return line.empty() && bareEmpty ? barePrefix : prefix + line;
    };
    built.reply = above;
    built.reply.push_back(prefix + kApprovalBegin);
    for (const auto& line : built.header) {
        built.reply.push_back(quote(line));
    }
    built.reply.push_back(quote(""));
    for (const auto& line : built.body) {
        built.reply.push_back(quote(line));
    }
    built.reply.push_back(prefix + kApprovalEnd);
    built.reply.insert(built.reply.end(), below.begin(), below.end());
    return true;
}

// The lines after the first empty one.
Lines BodyOf(const Lines& message) {
    auto blank = std::find(message.begin(), message.end(), "");
    return blank == message.end() ? Lines{} : Lines(blank + 1, message.end());
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    std::vector<std::string> parts = SplitParts(data, size, 5);
    const bool build = StartsWith(parts[0], "q");
    Built built;
    if (build && !Build(parts, built)) {
        return 0;
    }
    FuzzWorld& world = World();
    world.Reset();
    const std::string file = world.paths.ListDataFile("news");
    WriteSection(file, "MemberList", kMembers);
    WriteSection(file, "Signature", kSignature);

    ScanContext context = world.ContextFor("news");
    context.MessageNumber = 1;
    context.SenderAddress = "mod@example.test";
    context.Subject = "Re: news requesting approval";
    context.BodyLines = build ? built.reply : TextToLines(parts[1]);
    const bool understood = HandleApprovalReply(context, world.services);

    const auto& sent = world.smtp.sent;
    if (!understood) {
        FUZZ_CHECK(sent.empty());
        const Lines log = world.LogLines();
        FUZZ_CHECK(!log.empty() && EndsWith(log.back(), "not understood - not posted"));
        FUZZ_CHECK(!build);
        return 0;
    }
    FUZZ_CHECK(sent.size() == 1);
    const Lines& message = sent[0].message;
    for (const auto& line : message) {
        if (line.empty()) {
            break;
        }
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }
    const Lines body = BodyOf(message);
    // The signature goes out as one entry of the body: its own line ends, then the entry's.
    const Lines signature = TextToLines(ReadSection(file, "Signature") + "\r\n");
    FUZZ_CHECK(body.size() >= signature.size() &&
               std::equal(signature.begin(), signature.end(), body.end() - signature.size()));
    if (build) {
        Lines expected = built.body;
        expected.insert(expected.end(), signature.begin(), signature.end());
        FUZZ_CHECK(body == expected);
        const std::string subject = "Subject: " + GetHeaderValue("Subject", built.header);
        FUZZ_CHECK(std::find(message.begin(), message.end(), subject) != message.end());
    }
    return 0;
}
