#pragma once

// Member entries and the roster list. An entry is address, blank, ban flag ("0" may post,
// "1" banned), blank, password; the address is the text before the first blank.

#include <string>
#include <string_view>
#include <vector>

#include "support/Random.h"
#include "support/Text.h"

namespace corvanteer {

// One line of the MemberList section. Every reader and writer of roster lines goes through
// this type, so the line's layout is known in one place.
struct MemberEntry {
    std::string address;
    std::string flag = "0";  // as stored: "0" may post, "1" banned; anything else is neither
    std::string password;

    // The line cut at single blanks: the text before the first blank is the address, the
    // next part the flag, the one after that the password (missing parts are empty; text
    // after a third blank is not part of the entry).
    static MemberEntry Parse(std::string_view line);
    // The address part of a line without copying it (the whole line when it has no blank).
    static std::string_view AddressOf(std::string_view line);
    // A new member who may post.
    static MemberEntry New(std::string_view address, std::string_view password);

    // address + " " + flag + " " + password
    std::string Format() const;
    bool Banned() const { return flag == "1"; }
    bool MayPost() const { return flag == "0"; }
};

// Six decimal digits, the first never 0: a uniform real in [0, 1) times 1,000,000, rounded,
// drawn again until its decimal form has exactly six characters.
std::string GeneratePassword(RandomSource& random);

// Orders two texts without regard to case (ASCII letters folded), then by their bytes.
bool RosterLess(std::string_view a, std::string_view b);

// A roster list: kept sorted ascending without regard to case; adding a line equal
// (ignoring case) to one already present does nothing.
class SortedRoster {
public:
    SortedRoster() = default;
    // Sorts the lines; of lines equal ignoring case only the first is kept, and lines that are
    // blank are dropped.
    explicit SortedRoster(const Lines& lines);
    void Assign(const Lines& lines);
    void AssignText(std::string_view sectionText);  // TextToLines, then Assign

    // False when an equal line (ignoring case) is present already.
    bool Add(const std::string& line);
    void Delete(size_t index);
    void Clear() { lines_.clear(); }

    // Index of the first entry whose address, lower-cased, equals the lower-case address;
    // npos when none.
    size_t FindAddress(std::string_view lowerAddress) const;

    const Lines& Items() const { return lines_; }
    size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    const std::string& operator[](size_t i) const { return lines_[i]; }
    static constexpr size_t npos = static_cast<size_t>(-1);

private:
    Lines lines_;
};

}  // namespace corvanteer
