#pragma once

// The bounces of one list gathered during a scan. A mailbox full of failure reports after a
// large posting would otherwise rewrite the list's state file once per report; the batch
// keeps the charges and FlushBounces (BounceHandling.h) applies them together, in one
// read-modify-write, every kMaxPending charges and when the scan leaves the list.

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/FileVersion.h"
#include "engine/bounce/MemberToken.h"
#include "engine/bounce/Recogniser.h"
#include "support/SettingTables.h"

namespace corvanteer::bounce {

struct PendingCharge {
    std::string member;    // the roster address charged
    std::string reported;  // the address the report names, when another (a forwarding one)
    Verdict verdict = Verdict::Hard;
    std::string status;
    std::shared_ptr<const std::string> report;  // the whole failure report
};

// A list's roster as bounce handling asks it: is an address a member, whose is a token.
class MemberLookup {
public:
    // Reads the roster again when the data file changed since the last call.
    void Refresh(const std::string& dataFile);
    bool IsMember(const std::string& lowerAddress) const;
    // The member of a token (the index is made at the first question after a refresh).
    const std::string* MemberOfToken(const std::string& key, const std::string& list,
                                     const std::string& token);
    const std::vector<std::string>& Addresses() const { return addresses_; }

private:
    FileVersion version_;
    bool read_ = false;
    std::vector<std::string> addresses_;  // lower case, roster order
    std::unordered_set<std::string> members_;
    bool indexed_ = false;
    MemberTokenIndex tokens_;
};

// The list a batch belongs to, as the scan had it when the first charge came.
struct ListInHand {
    std::string list;      // as the list set holds it
    std::string name;      // as the scan names it in log lines
    std::string dataFile;  // its data file
    ListSettings settings;
};

struct BounceBatch {
    static constexpr std::size_t kMaxPending = 256;

    ListInHand hand;  // hand.list is "" before the first charge
    std::vector<PendingCharge> pending;
    MemberLookup members;
    std::string tokenKey;  // read once per scan
};

}  // namespace corvanteer::bounce
