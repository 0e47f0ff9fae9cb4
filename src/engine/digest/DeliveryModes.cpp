#include "engine/digest/DeliveryModes.h"

#include <algorithm>
#include <mutex>

#include "engine/Roster.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer {

const char* DeliveryModeName(DeliveryMode mode) {
    switch (mode) {
        case DeliveryMode::Each:
            return "each";
        case DeliveryMode::Digest:
            return "digest";
        case DeliveryMode::PlainDigest:
            return "plain-digest";
        case DeliveryMode::NoMail:
            return "nomail";
    }
    return "each";
}

std::optional<DeliveryMode> ParseDeliveryMode(std::string_view text) {
    const std::string word = Trim(text);
    for (DeliveryMode mode : kAllDeliveryModes) {
        if (SameText(word, DeliveryModeName(mode))) {
            return mode;
        }
    }
    return std::nullopt;
}

std::string DeliveryModeNames() {
    return "each, digest, plain-digest or nomail";
}

std::string ModesFile(const AppPaths& paths, std::string_view listName) {
    return paths.appDir + std::string(listName) + ".modes";
}

MemberModes MemberModes::Read(const std::string& file) {
    MemberModes modes;
    std::optional<std::string> text = ReadFileIfExists(file);
    if (!text) {
        return modes;
    }
    for (const std::string& line : TextToLines(*text)) {
        const size_t blank = line.find(' ');
        if (blank == 0 || blank == std::string::npos) {
            continue;
        }
        std::optional<DeliveryMode> mode = ParseDeliveryMode(line.substr(blank + 1));
        if (mode) {
            modes.Set(line.substr(0, blank), *mode);
        }
    }
    return modes;
}

DeliveryMode MemberModes::Of(std::string_view address) const {
    auto found = entries_.find(LowerCase(address));
    return found == entries_.end() ? DeliveryMode::Each : found->second;
}

void MemberModes::Set(std::string_view address, DeliveryMode mode) {
    if (mode == DeliveryMode::Each) {
        entries_.erase(LowerCase(address));
    } else {
        entries_[LowerCase(address)] = mode;
    }
}

bool MemberModes::Forget(std::string_view address) {
    return entries_.erase(LowerCase(address)) > 0;
}

void MemberModes::KeepOnly(const std::vector<std::string>& lowerAddresses) {
    std::vector<std::string> sorted = lowerAddresses;
    std::sort(sorted.begin(), sorted.end());
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (std::binary_search(sorted.begin(), sorted.end(), it->first)) {
            ++it;
        } else {
            it = entries_.erase(it);
        }
    }
}

void MemberModes::Write(const std::string& file) const {
    if (entries_.empty()) {
        if (!DeleteFileIfExists(file) && FileExists(file)) {
            throw Failure(ErrorKind::Io, "Cannot delete " + file);
        }
        return;
    }
    std::string bytes;
    for (const auto& [address, mode] : entries_) {
        bytes += address;
        bytes += ' ';
        bytes += DeliveryModeName(mode);
        bytes += "\r\n";
    }
    WriteFileAtomic(file, bytes);
}

ModeChange ChangeMemberMode(const AppPaths& paths, StoreLock& storeLock, std::string_view listName,
                            std::string_view address, DeliveryMode mode) {
    const std::string lower = LowerCase(Trim(address));
    std::lock_guard<StoreLock> guard(storeLock);
    std::vector<std::string> members;
    bool member = false;
    for (const std::string& line :
         TextToLines(ReadSection(paths.ListDataFile(listName), "MemberList"))) {
        std::string entry = LowerCase(MemberEntry::AddressOf(line));
        member = member || entry == lower;
        members.push_back(std::move(entry));
    }
    if (!member) {
        return ModeChange::NotMember;
    }
    const std::string file = ModesFile(paths, listName);
    MemberModes modes = MemberModes::Read(file);
    const bool same = modes.Of(lower) == mode;
    const size_t before = modes.Entries().size();
    modes.KeepOnly(members);
    if (same && modes.Entries().size() == before) {
        return ModeChange::Unchanged;
    }
    modes.Set(lower, mode);
    modes.Write(file);
    return same ? ModeChange::Unchanged : ModeChange::Changed;
}

void ForgetMemberMode(const AppPaths& paths, std::string_view listName, std::string_view address) {
    const std::string file = ModesFile(paths, listName);
    MemberModes modes = MemberModes::Read(file);
    if (modes.Forget(address)) {
        modes.Write(file);
    }
}

}  // namespace corvanteer
