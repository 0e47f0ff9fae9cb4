// Verification replies and the pending codes of "vericode.dat": a List Server message whose
// subject carries "(auth" goes through the request rules, then stale codes are expired.
//
// Input: the bytes of "vericode.dat", "%%", the From value, "%%", the subject (after "Re: ",
// so that no other request rule answers it), "%%", the roster of the list "news". A From value
// without a valid address is passed over, as the scan does.
//
// Checked: a reply either leaves "vericode.dat" as it was or removes exactly one line, and
// then the address of that line has become a member; no member is lost and none is added
// without a pending line going; expiry accounts for every line and keeps the others in order.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "common/FuzzWorld.h"
#include "engine/RequestRules.h"
#include "engine/Roster.h"
#include "engine/Subscription.h"
#include "support/Address.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

const char* const kLists[] = {"news", "newsletter"};

FuzzWorld& World() {
    static FuzzWorld& world = []() -> FuzzWorld& {
        FuzzWorld& w = FuzzWorld::Get();
        for (const char* list : kLists) {
            w.AddList(list);
            w.store->WriteRegBool(w.paths.ListKey(list), "AllowUserSubscribe", true);
            w.store->WriteRegInteger(w.paths.ListKey(list), "VerifyDays", 3);
        }
        return w;
    }();
    return world;
}

Lines Roster(FuzzWorld& world, const char* list) {
    return SortedRoster(TextToLines(ReadSection(world.paths.ListDataFile(list), "MemberList")))
        .Items();
}

// True when b is a without the line at one index.
bool IsOneRemoved(const Lines& a, const Lines& b, std::string& removed) {
    if (b.size() + 1 != a.size()) {
        return false;
    }
    size_t i = 0;
    while (i < b.size() && a[i] == b[i]) {
        ++i;
    }
    removed = a[i];
    for (; i < b.size(); ++i) {
        if (a[i + 1] != b[i]) {
            return false;
        }
    }
    return true;
}

bool IsSubsequence(const Lines& part, const Lines& whole) {
    size_t next = 0;
    for (const auto& line : whole) {
        if (next < part.size() && part[next] == line) {
            ++next;
        }
    }
    return next == part.size();
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    std::vector<std::string> parts = SplitParts(data, size, 4);
    // As the scan reads a List Server message: a sender without a valid address never
    // reaches the request rules.
    ScanContext context;
    context.MessageNumber = 1;
    context.FromValue = Trim(parts[1]);
    context.SenderAddress = LowerCase(ExtractEmail(context.FromValue));
    if (!IsValidEmail(context.SenderAddress)) {
        return 0;
    }
    context.Subject = Trim(CollapseSpaces("Re: " + parts[2]));

    FuzzWorld& world = World();
    world.Reset();
    const std::string vericode = world.paths.VericodeFile();
    WriteFileAtomic(vericode, parts[0]);
    for (const char* list : kLists) {
        const std::string file = world.paths.ListDataFile(list);
        WriteSection(file, "MemberList", TextToLines(list == kLists[0] ? parts[3] : ""));
        WriteSection(file, "Subscribe_Confirm", {"Welcome to {ListName}, {Email}."});
        WriteSection(file, "Verify_Error", {"No pending request of {Email}."});
    }
    std::vector<Lines> rostersBefore;
    for (const char* list : kLists) {
        rostersBefore.push_back(Roster(world, list));
    }

    ApplyRequestRules(context, world.services);

    const std::string after = ReadFile(vericode);
    std::string removed;
    const bool codeTaken = after != parts[0];
    if (codeTaken) {
        FUZZ_CHECK(IsOneRemoved(TextToLines(parts[0]), TextToLines(after), removed));
    }
    size_t added = 0;
    bool removedIsMember = false;
    const std::string removedAddress = LowerCase(removed.substr(removed.rfind(' ') + 1));
    for (size_t i = 0; i < std::size(kLists); ++i) {
        const Lines roster = Roster(world, kLists[i]);
        FUZZ_CHECK(IsSubsequence(rostersBefore[i], roster));
        for (const auto& entry : roster) {
            // A member added here has an address: an empty one would stand for nobody.
            const bool old = std::find(rostersBefore[i].begin(), rostersBefore[i].end(), entry) !=
                             rostersBefore[i].end();
            FUZZ_CHECK(old || !MemberEntry::AddressOf(entry).empty());
        }
        added += roster.size() - rostersBefore[i].size();
        removedIsMember = removedIsMember ||
                          SortedRoster(roster).FindAddress(removedAddress) != SortedRoster::npos;
    }
    FUZZ_CHECK(added <= 1);
    FUZZ_CHECK(added == 0 || codeTaken);
    FUZZ_CHECK(!codeTaken || removedIsMember);

    const Lines pending = TextToLines(after);
    const ExpiryCounts counts = ExpirePendingVerifications(world.services);
    const Lines left = TextToLines(ReadFile(vericode));
    FUZZ_CHECK(static_cast<size_t>(counts.removed + counts.kept + counts.malformed) ==
               pending.size());
    FUZZ_CHECK(static_cast<size_t>(counts.kept + counts.malformed) == left.size());
    FUZZ_CHECK(IsSubsequence(left, pending));
    return 0;
}
