#include "engine/digest/Recipients.h"

#include "engine/Roster.h"

namespace corvanteer {

namespace {

bool IsDigest(DeliveryMode mode) {
    return mode == DeliveryMode::Digest || mode == DeliveryMode::PlainDigest;
}

// The addresses of the roster's entries whose mode passes.
template <class Wanted>
Lines Select(const Lines& roster, const MemberModes& modes, Wanted&& wanted) {
    Lines addresses;
    addresses.reserve(roster.size());
    for (const std::string& entry : roster) {
        std::string address(MemberEntry::AddressOf(entry));
        if (wanted(modes.Of(address))) {
            addresses.push_back(std::move(address));
        }
    }
    return addresses;
}

}  // namespace

Lines PostingRecipients(const Lines& roster, const MemberModes& modes, bool digestsEnabled) {
    return Select(roster, modes, [digestsEnabled](DeliveryMode mode) {
        return mode == DeliveryMode::Each || (!digestsEnabled && IsDigest(mode));
    });
}

Lines DigestRecipients(const Lines& roster, const MemberModes& modes, DeliveryMode kind) {
    return Select(roster, modes, [kind](DeliveryMode mode) { return mode == kind; });
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
