// The moderator command block: ProcessModeratorCommands on a "comm" message of any content,
// with two lists whose rosters come from the input.
//
// Input: the message (header, empty line, body), "%%", the roster of "news", "%%", the roster
// of "talk". The moderators of "news" are mod@example.test (password "secret"; the list wants
// passwords) and mod2@example.test; of "talk", boss@example.test (no password).
//
// Checked: nothing is mailed; a list whose moderator addresses (or, where passwords count,
// whose password) the message does not hold keeps its data file byte for byte; a member
// added has the new-entry form and a log line, a member gone has a log line; the list's
// other sections stay as they were.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "common/FuzzWorld.h"
#include "engine/ModeratorCommands.h"
#include "engine/Roster.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

struct ListSetup {
    const char* name;
    const char* moderators;
    bool requirePassword;
    std::vector<const char*> secrets;  // texts the message must hold to command the list
};

const ListSetup kLists[] = {
    {"news", "mod@example.test secret\r\nmod2@example.test other", true, {"secret", "other"}},
    {"talk", "boss@example.test", false, {"boss@example.test"}},
};

FuzzWorld& World() {
    static FuzzWorld& world = []() -> FuzzWorld& {
        FuzzWorld& w = FuzzWorld::Get();
        for (const auto& list : kLists) {
            w.AddList(list.name);
            w.store->WriteRegString(w.paths.ListKey(list.name), "Moderators", list.moderators);
            w.store->WriteRegBool(w.paths.ListKey(list.name), "RequirePassword",
                                  list.requirePassword);
        }
        return w;
    }();
    return world;
}

bool Holds(const std::string& text, const ListSetup& list) {
    const std::string lower = LowerCase(text);
    for (const char* secret : list.secrets) {
        if (lower.find(LowerCase(secret)) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool IsNewEntry(const std::string& entry) {
    const SplitResult fields = SplitString(entry, " ");
    if (fields.count != 3 || fields.Part(2) != "0" || fields.Part(3).size() != 6) {
        return false;
    }
    for (char c : fields.Part(3)) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    const std::string& address = fields.Part(1);
    const size_t at = address.find('@');
    return at != std::string::npos && at > 0 && address == LowerCase(address);
}

bool Contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool Logged(const Lines& log, const std::string& text) {
    for (const auto& line : log) {
        if (EndsWith(line, text)) {
            return true;
        }
    }
    return false;
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    std::vector<std::string> parts = SplitParts(data, size, 3);
    FuzzWorld& world = World();
    world.Reset();

    std::vector<std::string> filesBefore;
    std::vector<Lines> rostersBefore;
    for (size_t i = 0; i < std::size(kLists); ++i) {
        const std::string file = world.paths.ListDataFile(kLists[i].name);
        WriteSection(file, "MemberList", TextToLines(parts[1 + i]));
        WriteSection(file, "Signature", {"-- ", kLists[i].name});
        filesBefore.push_back(ReadFile(file));
        rostersBefore.push_back(SortedRoster(TextToLines(ReadSection(file, "MemberList"))).Items());
    }

    testing::FakePop3& pop3 = world.pop3;
    pop3.HostAddress = "pop.example.test";
    pop3.Port = 110;
    pop3.User = "listserver";
    pop3.Password = "pw";
    pop3.AddMailbox(pop3.HostAddress, pop3.Port, pop3.User, pop3.Password);
    pop3.Put(pop3.HostAddress, pop3.Port, pop3.User, parts[0]);
    FUZZ_CHECK(pop3.Login());
    pop3.Top(1);

    ScanContext context;
    context.MessageNumber = 1;
    ProcessModeratorCommands(context, world.services);

    FUZZ_CHECK(world.smtp.sent.empty());
    const Lines log = world.LogLines();
    for (size_t i = 0; i < std::size(kLists); ++i) {
        const ListSetup& list = kLists[i];
        const std::string file = world.paths.ListDataFile(list.name);
        const std::string after = ReadFile(file);
        if (!Holds(parts[0], list)) {
            FUZZ_CHECK(after == filesBefore[i]);
            continue;
        }
        FUZZ_CHECK(ReadSection(file, "Signature") == "-- \r\n" + std::string(list.name) + "\r\n");
        const Lines roster = TextToLines(ReadSection(file, "MemberList"));
        if (after == filesBefore[i]) {
            continue;
        }
        for (const auto& entry : roster) {
            if (!Contains(rostersBefore[i], entry)) {
                FUZZ_CHECK(IsNewEntry(entry));
                FUZZ_CHECK(Logged(log, ": + " + std::string(MemberEntry::AddressOf(entry)) +
                                           "(added by moderator)"));
            }
        }
        for (const auto& entry : rostersBefore[i]) {
            if (!Contains(roster, entry)) {
                FUZZ_CHECK(Logged(log, ": - " + LowerCase(MemberEntry::AddressOf(entry)) +
                                           "(removed by moderator)"));
            }
        }
    }
    return 0;
}
