#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::testing {

// Who owns the folders and files put into a Maildir: the servers read and change them as
// this user. Leave both at -1 to keep the creating process's owner.
struct MaildirOwner {
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
};

// Creates home, home/Maildir and its tmp, new and cur folders where missing (mode 0755,
// given to owner). Returns the Maildir's path. Throws std::runtime_error on failure.
std::string CreateMaildir(const std::string& home, const MaildirOwner& owner);

// Hands out Maildir file names that sort by delivery time and never repeat within one
// generator: "<seconds>.M<microseconds>P<pid>Q<counter>.<host>". The SMTP server of the
// harness names its files the same way, so both kinds sort together.
class MaildirNames {
public:
    MaildirNames();
    std::string Next();

private:
    std::string host_;
    int64_t lastMicros_ = 0;
    uint64_t counter_ = 0;
};

// Writes bytes into maildir/tmp under a new name, then renames it into maildir/new, so a
// reader never sees a partial message. Returns the file name. Throws std::runtime_error.
std::string DeliverToMaildir(const std::string& maildir, std::string_view bytes,
                             MaildirNames& names, const MaildirOwner& owner);

// The messages in maildir/new and maildir/cur in delivery order (oldest first). Names that do
// not follow the MaildirNames pattern come last, by name. A missing Maildir has none.
std::vector<std::string> ReadMaildir(const std::string& maildir);

}  // namespace corvanteer::testing
