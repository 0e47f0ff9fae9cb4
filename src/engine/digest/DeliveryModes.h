#pragma once

// How each member of a list receives its postings. The roster's entry format stays as it is;
// a member's mode lives in a file of its own beside the list data file,
// application directory + list name + ".modes": one line per member whose mode is not
// "each", address (lower case), one blank, mode name, each line ended by CR LF, sorted
// without regard to case. A member absent from the file receives each posting.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/AppPaths.h"
#include "support/Locks.h"

namespace corvanteer {

enum class DeliveryMode {
    Each,         // every posting as it is distributed
    Digest,       // the MIME digest
    PlainDigest,  // the plain-text digest
    NoMail,       // nothing; still a member (and may post where members may)
};

inline constexpr DeliveryMode kAllDeliveryModes[] = {
    DeliveryMode::Each, DeliveryMode::Digest, DeliveryMode::PlainDigest, DeliveryMode::NoMail};

// "each", "digest", "plain-digest", "nomail".
const char* DeliveryModeName(DeliveryMode mode);
// The mode of a name, compared without regard to case and blanks around it; nullopt for
// any other text.
std::optional<DeliveryMode> ParseDeliveryMode(std::string_view text);
// "each, digest, plain-digest or nomail", for refusals and help texts.
std::string DeliveryModeNames();

// The file of a list's modes: application directory + list name + ".modes".
std::string ModesFile(const AppPaths& paths, std::string_view listName);

// A list's modes as read from its file: lower-cased address -> mode, every mode but Each.
class MemberModes {
public:
    // A missing file gives no entries; a line that is not address + blank + mode name is
    // skipped (the file is kept by the program, a hand edit must not stop a scan). Raises
    // when the file exists but cannot be read.
    static MemberModes Read(const std::string& file);

    // Each for an address without an entry; address compared without regard to case.
    DeliveryMode Of(std::string_view address) const;
    // Each removes the entry.
    void Set(std::string_view address, DeliveryMode mode);
    // True when an entry was removed.
    bool Forget(std::string_view address);
    // Keeps only the entries whose address is one of these (lower case).
    void KeepOnly(const std::vector<std::string>& lowerAddresses);

    // Writes the file atomically; with no entries left the file is removed.
    void Write(const std::string& file) const;

    const std::map<std::string, DeliveryMode>& Entries() const { return entries_; }

private:
    std::map<std::string, DeliveryMode> entries_;
};

enum class ModeChange {
    NotMember,  // the roster holds no entry of that address: nothing written
    Unchanged,  // the member had that mode already
    Changed,
};

// Sets the mode of a member of the list (as the list set holds its name), the address
// compared without regard to case with the roster's entries (banned ones included). One
// read-modify-write under the store lock; entries of addresses no longer in the roster are
// dropped on the way.
ModeChange ChangeMemberMode(const AppPaths& paths, StoreLock& storeLock, std::string_view listName,
                            std::string_view address, DeliveryMode mode);

// Removes a member's mode, for every place that removes a member: one read-modify-write of
// the file (the caller holds the store lock). Nothing is written when the member had none.
void ForgetMemberMode(const AppPaths& paths, std::string_view listName, std::string_view address);

}  // namespace corvanteer
