#include "engine/digest/Recipients.h"

#include "engine/Roster.h"

namespace corvanteer {

namespace {

bool IsDigest(DeliveryMode mode) {
    return mode == DeliveryMode::Digest || mode == DeliveryMode::PlainDigest;
}

// The roster's lines whose address's mode passes, as they are.
template <class Wanted>
Lines Select(const Lines& roster, const MemberModes& modes, Wanted&& wanted) {
    Lines kept;
    kept.reserve(roster.size());
    for (const std::string& line : roster) {
        if (wanted(modes.Of(MemberEntry::AddressOf(line)))) {
            kept.push_back(line);
        }
    }
    return kept;
}

}  // namespace

Lines PostingRecipients(const Lines& roster, const MemberModes& modes, bool digestsEnabled) {
    return Select(roster, modes, [digestsEnabled](DeliveryMode mode) {
        return mode == DeliveryMode::Each || (!digestsEnabled && IsDigest(mode));
    });
}

Lines DigestRecipients(const Lines& roster, const MemberModes& modes, DeliveryMode kind) {
    Lines addresses = Select(roster, modes, [kind](DeliveryMode mode) { return mode == kind; });
    for (std::string& line : addresses) {
        line = std::string(MemberEntry::AddressOf(line));
    }
    return addresses;
}

bool HasDigestMembers(const Lines& roster, const MemberModes& modes) {
    for (const std::string& entry : roster) {
        if (IsDigest(modes.Of(MemberEntry::AddressOf(entry)))) {
            return true;
        }
    }
    return false;
}

}  // namespace corvanteer
