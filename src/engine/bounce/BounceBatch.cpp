#include "engine/bounce/BounceBatch.h"

#include "engine/Roster.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::bounce {

void MemberLookup::Refresh(const std::string& dataFile) {
    const FileVersion version = VersionOf(dataFile);
    if (read_ && version.exists && version == version_) {
        return;
    }
    addresses_.clear();
    members_.clear();
    for (const std::string& line : TextToLines(ReadSection(dataFile, "MemberList"))) {
        std::string address = LowerCase(MemberEntry::AddressOf(line));
        if (!address.empty() && members_.insert(address).second) {
            addresses_.push_back(std::move(address));
        }
    }
    version_ = version;
    read_ = true;
    indexed_ = false;
}

bool MemberLookup::IsMember(const std::string& lowerAddress) const {
    return members_.count(lowerAddress) > 0;
}

const std::string* MemberLookup::MemberOfToken(const std::string& key, const std::string& list,
                                               const std::string& token) {
    if (!indexed_) {
        tokens_ = MemberTokenIndex(key, list, addresses_);
        indexed_ = true;
    }
    return tokens_.Find(token);
}

}  // namespace corvanteer::bounce
