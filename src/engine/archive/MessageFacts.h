#pragma once

// What the HTML archive needs to know of one archived message without its body: where it
// lies, its identity, its place in a thread, and what the lists of messages show.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::archive {

struct MessageFacts {
    std::string month;    // the mbox file it lies in ("YYYY-MM")
    uint64_t offset = 0;  // its record's first byte in that file
    uint64_t length = 0;  // its record's length
    std::string hash;     // SHA-256 (hex) of the message's bytes

    std::string messageId;  // without angle brackets; made from the hash when missing
    std::string inReplyTo;  // the first identifier of In-Reply-To
    std::vector<std::string> references;
    std::string subject;      // decoded, UTF-8, on one line
    std::string fromName;     // decoded, UTF-8
    std::string fromAddress;  // as written
    int64_t date = 0;         // seconds since 1970 (UTC); the separator's time when undated
    std::string dateText;     // "2026-05-01 14:00 +0200", in the Date header's own zone
};

// The facts of one message (LF or CR LF line ends), from its header alone. The hash and the
// position are the caller's. fallbackDate stands in for a missing or unreadable Date.
MessageFacts ReadMessageFacts(std::string_view message, int64_t fallbackDate);

// The identifier a message without a Message-ID is known by: "no-id." + the first 32 digits
// of its hash + "@archive.invalid".
std::string IdFromHash(std::string_view hash);

// The identifier of a Message-ID value: the text between the first "<" and the next ">",
// else the trimmed text.
std::string IdFromHeader(std::string_view value);

// "msg/" + the first 20 hexadecimal digits of the SHA-256 of the identifier + ".html": the
// message's page, relative to the archive's root. The same for every build, so links to it
// keep working.
std::string MessagePageOf(std::string_view messageId);

}  // namespace corvanteer::archive
