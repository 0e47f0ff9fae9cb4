#pragma once

// The mboxrd format (RFC 4155 with the "From " quoting that can be undone): records that each
// begin with a "From " separator line, the message with LF line ends in which every line
// matching ">*From " gets one more ">", and an empty line after it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::archive {

// "From " + sender + " " + the moment in the asctime form ("Thu Jan  1 00:00:00 1970", UTC).
// A sender that is empty or holds a blank or a control byte becomes "MAILER-DAEMON".
std::string MboxFromLine(std::string_view envelopeSender, int64_t unixSeconds);

// The whole record of one message: separator line, the message (CR LF turned into LF) with
// its "From " lines quoted, a line end after the last line when it had none, and one empty
// line.
std::string MboxRecord(std::string_view message, std::string_view envelopeSender,
                       int64_t unixSeconds);

// One record as found in an mbox file's bytes.
struct MboxSpan {
    std::size_t begin = 0;  // the separator line's first byte
    std::size_t body = 0;   // the message's first byte (after the separator line)
    std::size_t end = 0;    // after the record's last byte (the next separator, or the end)
};

// The records of an mbox file: a record begins with a line starting "From " at the start of
// the bytes or after an empty line (LF or CR LF). Bytes before the first separator are no
// record.
std::vector<MboxSpan> SplitMbox(std::string_view bytes);

// The message of a record: the bytes between separator line and end with the one empty line
// that ends a record dropped and one ">" taken from every line matching ">+From ".
std::string MboxMessage(std::string_view bytes, const MboxSpan& span);

// The separator line of a record (without its line end).
std::string_view MboxSeparator(std::string_view bytes, const MboxSpan& span);

// The sender and the moment a separator line names; false when it is not of the form
// "From SENDER Www Mmm dd hh:mm:ss yyyy" (a trailing time zone or other words are allowed).
bool ParseMboxSeparator(std::string_view line, std::string& sender, int64_t& unixSeconds);

}  // namespace corvanteer::archive
