#pragma once

// What a list knows about its members' failed deliveries: one line per member with a score
// or with delivery disabled, in "Lists/<list>/bounces.txt" in the application directory. The
// roster's member entries stay as they are; a member without a line has score 0 and gets
// every posting.
//
// File: plain text, lines ended by CR LF, a first line starting with "#" that names the
// fields, then one line per member, sorted by address:
//
//     address score last-bounce status disabled since notices last-notice code
//     ann@example.org 2.5 2026-03-09 5.1.1 no - 0 - -
//     bob@example.org 5.0 2026-03-12 5.2.1 bounces 2026-03-12 1 2026-03-12 enable-7KQ2M9XDPA
//     cy@example.org 0.0 - - hand 2026-03-14 0 - -
//
// Dates are local days (yyyy-mm-dd), "-" for none. Lines this version cannot read are kept
// as they are, after the others. Every write replaces the file atomically under the store
// lock; a state without lines removes the file.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Services.h"

namespace corvanteer::bounce {

// A local day as a count of days (1899-12-30 is 0), so days subtract.
int DayOf(const LocalTime& time);
std::string DayText(int day);                        // "2026-03-09"; "-" for 0
std::optional<int> ParseDay(std::string_view text);  // "-" gives 0

enum class Disabled {
    No,
    Bounces,  // by the score: notices, then removal
    ByHand,   // by the operator: no notices, no removal
};

struct MemberBounces {
    std::string address;  // lower case
    int halfPoints = 0;   // the score in halves: a hard bounce adds 2, a soft one 1
    int lastBounce = 0;   // day of the last counted bounce; 0: none
    std::string lastStatus;
    Disabled disabled = Disabled::No;
    int disabledSince = 0;
    int notices = 0;  // notices sent since delivery was disabled
    int lastNotice = 0;
    std::string code;  // the re-enable code of the notices; "" when none

    std::string ScoreText() const;  // "2.5"
};

class BounceState {
public:
    static BounceState Parse(std::string_view text);
    std::string Format() const;

    // The member's line, or nullptr (address compared without regard to case).
    const MemberBounces* Find(std::string_view address) const;
    MemberBounces* Find(std::string_view address);
    // The member's line, added with score 0 when missing.
    MemberBounces& Entry(std::string_view address);
    // True when the member had a line.
    bool Remove(std::string_view address);
    // Drops the lines of addresses that are not in the roster (lower-cased addresses);
    // true when any went.
    bool KeepOnly(const std::vector<std::string>& rosterAddresses);

    const std::vector<MemberBounces>& Members() const { return members_; }
    std::vector<MemberBounces>& Members() { return members_; }
    bool empty() const { return members_.empty() && unread_.empty(); }

private:
    std::vector<MemberBounces> members_;  // sorted by address
    std::vector<std::string> unread_;     // lines kept as they were
};

// The list's state ("" list data gives an empty state). Raises Failure when the file
// exists but cannot be read.
BounceState ReadBounceState(const AppPaths& paths, std::string_view list);

// Reads the list's state under the store lock, lets change work on it, and writes it back
// when change returns true. list is the name as the list set holds it.
void UpdateBounceState(Services& services, std::string_view list,
                       const std::function<bool(BounceState&)>& change);

// A member who left the roster starts again from zero when added back: drops the line.
void ForgetMember(Services& services, std::string_view list, std::string_view address);

}  // namespace corvanteer::bounce
