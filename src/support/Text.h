#pragma once

// Text routines for 8-bit text. Positions are 1-based where a routine returns or takes one,
// comparisons are case-sensitive unless a name says otherwise, and "lower case" means the
// ASCII letters only (bytes 128 and above are left alone).

#include <string>
#include <string_view>
#include <vector>

namespace corvanteer {

using Lines = std::vector<std::string>;

// The parts of a text cut at a separator. Parts are numbered from 1; asking for a part
// beyond the last gives the empty text, as a caller's spare array entries would.
struct SplitResult {
    int count = 0;                   // -1 for an empty separator
    std::vector<std::string> parts;  // parts[0] is part 1

    const std::string& Part(int index) const;
};

// Cuts the text at every non-overlapping occurrence of the separator, left to right. Two
// separators in a row give an empty part; a trailing separator gives an empty last part.
SplitResult SplitString(std::string_view text, std::string_view separator);

// Replaces every non-overlapping occurrence of from, left to right; the search resumes after
// the inserted text, which is never searched again. An empty from changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Tabs become spaces, then every run of spaces becomes one space. Leading and trailing
// spaces are reduced to one, not removed.
std::string CollapseSpaces(std::string_view text);

// Decimal form with "0" put in front until it is at least width characters long (a minus
// sign counts as a character).
std::string ZeroPad(long long value, int width);

// Removes leading and trailing blanks and control characters (every byte up to 0x20).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);  // equal without regard to case
bool StartsWith(std::string_view text, std::string_view prefix);
bool StartsWithText(std::string_view text, std::string_view prefix);  // ignoring case
bool EndsWith(std::string_view text, std::string_view suffix);
bool Contains(std::string_view text, std::string_view sub);

// Text before the first occurrence of sep (the whole text when absent), and after it.
std::string Before(std::string_view text, std::string_view sep);
std::string After(std::string_view text, std::string_view sep);

// Splits a text into lines at CR LF, LF or a lone CR. A final line break does not start
// another line, so "" gives no lines and "a\r\n" gives one.
Lines TextToLines(std::string_view text);

// Every line followed by CR LF ("" for no lines).
std::string LinesToText(const Lines& lines);
// The same, appended to out.
void AppendLinesText(std::string& out, const Lines& lines);
// Appends line and CR LF; a line break inside line (CR LF, or a lone CR or LF) is written
// as CR LF, so an entry holding several lines becomes several lines.
void AppendCrLfLine(std::string& out, std::string_view line);
// Appends the lines of text as TextToLines cuts them, each followed by CR LF: text with
// its line breaks made CR LF and a last line without one ended.
void AppendCrLfLines(std::string& out, std::string_view text);

// Lines joined by CR LF without a break after the last one.
std::string JoinLines(const Lines& lines, std::string_view separator = "\r\n");

// Text from outside (mail, a server's reply) made fit for one line of a log, a terminal or a
// status: every control byte (below 0x20, and 0x7F) shown as "?", and cut to at most
// maxChars characters (never inside a UTF-8 sequence), with "..." after a cut.
std::string OneLineText(std::string_view text, std::size_t maxChars = 300);

// Whole decimal integer (optional sign, optional leading and trailing blanks) that fits in
// 32 bits; false otherwise.
bool TryParseInt(std::string_view text, int& value);
int StrToIntDef(std::string_view text, int fallback);

}  // namespace corvanteer
