#include "engine/bounce/BounceState.h"
#include "support/Clock.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer::bounce {

namespace {

constexpr const char* kHeaderLine =
    "# address score last-bounce status disabled since notices last-notice code";
constexpr int kFields = 9;

const char* DisabledWord(Disabled disabled) {
    switch (disabled) {
        case Disabled::No:
            return "no";
        case Disabled::Bounces:
            return "bounces";
        case Disabled::ByHand:
            return "hand";
    }
    return "no";
}

std::optional<Disabled> ParseDisabled(std::string_view word) {
    if (word == "no") {
        return Disabled::No;
    }
    if (word == "bounces") {
        return Disabled::Bounces;
    }
    if (word == "hand") {
        return Disabled::ByHand;
    }
    return std::nullopt;
}

// "2.5" -> 5 halves; nullopt for anything but a non-negative multiple of one half.
std::optional<int> ParseHalfPoints(std::string_view text) {
    const std::string whole = Before(text, ".");
    const std::string fraction = Contains(text, ".") ? After(text, ".") : "0";
    int points = 0;
    if (whole.empty() || !TryParseInt(whole, points) || points < 0 || points > 1000000) {
        return std::nullopt;
    }
    if (fraction == "0") {
        return points * 2;
    }
    if (fraction == "5") {
        return points * 2 + 1;
    }
    return std::nullopt;
}

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::optional<MemberBounces> ParseLine(const std::string& line) {
    const SplitResult fields = SplitString(line, " ");
    if (fields.count != kFields) {
        return std::nullopt;
    }
    MemberBounces entry;
    entry.address = LowerCase(fields.Part(1));
    auto halves = ParseHalfPoints(fields.Part(2));
    auto lastBounce = ParseDay(fields.Part(3));
    auto disabled = ParseDisabled(fields.Part(5));
    auto since = ParseDay(fields.Part(6));
    auto lastNotice = ParseDay(fields.Part(8));
    int notices = 0;
    if (entry.address.empty() || !halves || !lastBounce || !disabled || !since || !lastNotice ||
        !TryParseInt(fields.Part(7), notices) || notices < 0) {
        return std::nullopt;
    }
    entry.halfPoints = *halves;
    entry.lastBounce = *lastBounce;
    entry.lastStatus = fields.Part(4) == "-" ? "" : fields.Part(4);
    entry.disabled = *disabled;
    entry.disabledSince = *since;
    entry.notices = notices;
    entry.lastNotice = *lastNotice;
    entry.code = fields.Part(9) == "-" ? "" : fields.Part(9);
    return entry;
}

// 1899-12-30 as days since 1970-01-01.
const int64_t kDayZero = DaysFromCivil(1899, 12, 30);

bool AddressLess(const MemberBounces& a, std::string_view address) {
    return a.address < address;
}

}  // namespace

int DayOf(const LocalTime& time) {
    return static_cast<int>(DaysFromCivil(time.year, time.month, time.day) - kDayZero);
}

std::string DayText(int day) {
    if (day == 0) {
        return "-";
    }
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    CivilFromDays(day + kDayZero, year, month, dayOfMonth);
    return ZeroPad(year, 4) + "-" + ZeroPad(month, 2) + "-" + ZeroPad(dayOfMonth, 2);
}

std::optional<int> ParseDay(std::string_view text) {
    if (text == "-") {
        return 0;
    }
    const SplitResult parts = SplitString(text, "-");
    int year = 0;
    int month = 0;
    int day = 0;
    if (parts.count != 3 || parts.Part(1).size() != 4 || !TryParseInt(parts.Part(1), year) ||
        !TryParseInt(parts.Part(2), month) || !TryParseInt(parts.Part(3), day) || month < 1 ||
        month > 12 || day < 1 || day > 31 || year < 1900) {
        return std::nullopt;
    }
    const int number = static_cast<int>(DaysFromCivil(year, month, day) - kDayZero);
    // 2026-02-31 is not a day.
    return DayText(number) == text ? std::optional<int>(number) : std::nullopt;
}

std::string MemberBounces::ScoreText() const {
    return std::to_string(halfPoints / 2) + (halfPoints % 2 == 0 ? ".0" : ".5");
}

BounceState BounceState::Parse(std::string_view text) {
    BounceState state;
    for (const std::string& line : TextToLines(text)) {
        if (Trim(line).empty() || StartsWith(line, "#")) {
            continue;
        }
        std::optional<MemberBounces> entry = ParseLine(line);
        if (!entry || state.Find(entry->address) != nullptr) {
            state.unread_.push_back(line);
            continue;
        }
        state.Entry(entry->address) = std::move(*entry);
    }
    return state;
}

std::string BounceState::Format() const {
    std::string text = std::string(kHeaderLine) + "\r\n";
    for (const MemberBounces& m : members_) {
        text += m.address + " " + m.ScoreText() + " " + DayText(m.lastBounce) + " " +
                OrDash(m.lastStatus) + " " + DisabledWord(m.disabled) + " " +
                DayText(m.disabledSince) + " " + std::to_string(m.notices) + " " +
                DayText(m.lastNotice) + " " + OrDash(m.code) + "\r\n";
    }
    for (const std::string& line : unread_) {
        text += line + "\r\n";
    }
    return text;
}

const MemberBounces* BounceState::Find(std::string_view address) const {
    const std::string key = LowerCase(address);
    auto at = std::lower_bound(members_.begin(), members_.end(), key, AddressLess);
    return at != members_.end() && at->address == key ? &*at : nullptr;
}

MemberBounces* BounceState::Find(std::string_view address) {
    return const_cast<MemberBounces*>(std::as_const(*this).Find(address));
}

MemberBounces& BounceState::Entry(std::string_view address) {
    const std::string key = LowerCase(address);
    auto at = std::lower_bound(members_.begin(), members_.end(), key, AddressLess);
    if (at != members_.end() && at->address == key) {
        return *at;
    }
    MemberBounces entry;
    entry.address = key;
    return *members_.insert(at, std::move(entry));
}

bool BounceState::Remove(std::string_view address) {
    const std::string key = LowerCase(address);
    auto at = std::lower_bound(members_.begin(), members_.end(), key, AddressLess);
    if (at == members_.end() || at->address != key) {
        return false;
    }
    members_.erase(at);
    return true;
}

bool BounceState::KeepOnly(const std::vector<std::string>& rosterAddresses) {
    std::vector<std::string> roster = rosterAddresses;
    std::sort(roster.begin(), roster.end());
    const size_t before = members_.size();
    members_.erase(std::remove_if(members_.begin(), members_.end(),
                                  [&](const MemberBounces& m) {
                                      return !std::binary_search(roster.begin(), roster.end(),
                                                                 m.address);
                                  }),
                   members_.end());
    return members_.size() != before;
}

BounceState ReadBounceState(const AppPaths& paths, std::string_view list) {
    const std::optional<std::string> text = ReadFileIfExists(paths.BounceStateFile(list));
    return text ? BounceState::Parse(*text) : BounceState();
}

void UpdateBounceState(Services& services, std::string_view list,
                       const std::function<bool(BounceState&)>& change) {
    std::lock_guard<StoreLock> guard(services.storeLock);
    BounceState state = ReadBounceState(services.paths, list);
    if (!change(state)) {
        return;
    }
    const std::string path = services.paths.BounceStateFile(list);
    if (state.empty()) {
        DeleteFileIfExists(path);
        return;
    }
    ForceDirectories(path.substr(0, path.rfind('/') + 1));
    WriteFileAtomic(path, state.Format());
}

void ForgetMember(Services& services, std::string_view list, std::string_view address) {
    UpdateBounceState(services, list, [&](BounceState& state) { return state.Remove(address); });
}

}  // namespace corvanteer::bounce
