#pragma once

// The postings collected for a list's next digest, kept as files in the list's folder,
// "Lists/<list>/digest/", until the digest that carries them has been sent or queued, so a
// stop or a crash loses none:
//   "<8 digits>.eml"   one posting each, as it was distributed, numbered in order
//   "batch.txt"        the digest being sent: its volume, issue and day, the kinds still to
//                      go and the postings it carries (CR LF lines)
//   "<kind>.eml"       the digest message of each kind still to go ("digest",
//                      "plain-digest")
// A digest is built and written whole, with batch.txt last, before any of it is sent; a
// posting collected meanwhile is not in batch.txt and waits for the next digest. Every file
// is written atomically and flushed to disk. The scan session is the only writer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/digest/DeliveryModes.h"
#include "support/AppPaths.h"

namespace corvanteer {

// application directory + "Lists/" + list name + "/digest/"
std::string DigestFolder(const AppPaths& paths, std::string_view listName);

// A digest on its way out.
struct DigestBatch {
    int volume = 1;
    int issue = 1;
    std::string day;                    // "yyyy-mm-dd" of the scan that built it
    std::vector<DeliveryMode> kinds;    // still to be sent (Digest, PlainDigest)
    std::vector<std::string> postings;  // file names, in order
};

class DigestStore {
public:
    DigestStore(const AppPaths& paths, std::string_view listName);

    // Keeps one distributed posting (the whole message) as the next file.
    void Collect(std::string_view posting);

    // File names of the postings waiting for a digest (in batch.txt or not), in order.
    std::vector<std::string> Postings() const;
    // The postings no batch carries, and their size in bytes.
    std::vector<std::string> Waiting() const;
    uint64_t WaitingBytes() const;
    // The bytes of one posting file.
    std::string Read(const std::string& name) const;

    // The batch a stopped session left, or nullopt. A batch.txt that cannot be read counts
    // as none (its postings wait for the next digest; the next batch replaces the file).
    std::optional<DigestBatch> OpenBatch() const;
    // Writes the messages (one per kind of the batch, in that order), then batch.txt.
    void StartBatch(const DigestBatch& batch, const std::vector<std::string>& messages);
    // The stored message of a kind of the open batch.
    std::optional<std::string> Message(DeliveryMode kind) const;
    // A kind went out (sent, queued or held): its message file goes and batch.txt no longer
    // names it. When no kind is left, the batch's postings and batch.txt go too.
    void KindDone(DigestBatch& batch, DeliveryMode kind);
    // Drops the postings of a batch no member gets and batch.txt.
    void Finish(const DigestBatch& batch);

private:
    std::string Path(std::string_view name) const { return folder_ + std::string(name); }
    void WriteBatchFile(const DigestBatch& batch) const;

    std::string folder_;
};

}  // namespace corvanteer
