#pragma once

// What scans have logged about messages they leave on a server, so that a message that stays
// there (an unusable sender, over MaxMessageSize) is logged once and not by every scan; and
// the limit at which a message's download was cut off although its listed size was under it,
// so that later scans do not fetch it again while the limit stays.
//
// The file (AppPaths::MailNotesFile) holds one line per message: the mailbox
// ("host:port/user"), TAB, the message's key, TAB, what was noted ("sender", "size", or "cut"
// and the limit). A message is known by its UIDL, else by its size and Date.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace corvanteer {

class MailNotes {
public:
    explicit MailNotes(std::string file) : file_(std::move(file)) {}

    // The key of a message: "uid " + its UIDL when the server gave one, else "size " + its
    // size and, when known, " date " + its Date; "" when neither the UIDL nor the size is
    // known (such a message cannot be told from others). Control bytes become "?".
    static std::string KeyOf(std::string_view uid, int64_t size, std::string_view date);

    // True (and the note kept) when the message has a note of what; false after noting it.
    // An empty key notes nothing and gives false.
    bool NoteOnce(const std::string& mailbox, const std::string& key, const std::string& what);
    // The limit a download of the message was cut off at, if any.
    std::optional<int64_t> CutAt(const std::string& mailbox, const std::string& key);
    void NoteCut(const std::string& mailbox, const std::string& key, int64_t limit);

    // The mailbox was read to its end: the notes of its messages that were not named (by
    // Seen, NoteOnce or NoteCut) in this session are of messages no longer there.
    void Seen(const std::string& mailbox, const std::string& key);
    void Prune(const std::string& mailbox);
    // Writes the file when something changed. Raises on error.
    void Save();

private:
    using Notes = std::map<std::string, std::string>;  // key -> what
    Notes& Of(const std::string& mailbox);
    void Load();

    std::string file_;
    bool loaded_ = false;
    bool changed_ = false;
    std::map<std::string, Notes> notes_;
    std::map<std::string, std::set<std::string>> seen_;
};

}  // namespace corvanteer
