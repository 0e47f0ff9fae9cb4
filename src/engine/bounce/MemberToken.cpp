#include "engine/bounce/MemberToken.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer::bounce {

namespace {

constexpr const char* kKeyValueName = "BounceTokenKey";
constexpr size_t kKeyBytes = 32;
constexpr size_t kTokenBytes = 16;

std::string Hex(const unsigned char* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace

std::string MemberTokenKey(SettingsStore& store, std::string_view settingsKey) {
    std::string key = store.ReadRegString(settingsKey, kKeyValueName, "");
    if (!key.empty() || store.ReadOnly()) {
        return key;
    }
    unsigned char bytes[kKeyBytes];
    if (RAND_bytes(bytes, static_cast<int>(kKeyBytes)) != 1) {
        throw Failure(ErrorKind::Io, "The system's random source gave no bytes for a key.");
    }
    store.WriteRegString(settingsKey, kKeyValueName, Hex(bytes, kKeyBytes));
    // Another process may have written its key first: the stored one is the key.
    return store.ReadRegString(settingsKey, kKeyValueName, "");
}

std::string MemberToken(std::string_view key, std::string_view list, std::string_view address) {
    if (key.empty()) {
        return "";
    }
    const std::string data = LowerCase(list) + "\n" + LowerCase(address);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest,
             &length) == nullptr ||
        length < kTokenBytes) {
        return "";
    }
    return Hex(digest, kTokenBytes);
}

std::vector<std::string> TokensInText(std::string_view text) {
    std::vector<std::string> tokens;
    const std::string name = std::string(kMemberHeaderName) + ":";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        // Quoted copies ("> X-Corvanteer-Member: ...") count as well.
        const std::string trimmed = TrimLeft(line);
        const std::string_view unquoted = std::string_view(trimmed).substr(
            std::min(trimmed.find_first_not_of("> "), trimmed.size()));
        if (StartsWithText(unquoted, name)) {
            std::string token = TokenOfValue(unquoted.substr(name.size()));
            if (!token.empty()) {
                tokens.push_back(std::move(token));
            }
        }
        start = end + 1;
    }
    return tokens;
}

std::string TokenOfValue(std::string_view value) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t start = value.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) {
        return "";
    }
    const size_t end = value.find_first_of(kBlanks, start);
    return std::string(value.substr(start, end == std::string_view::npos ? end : end - start));
}

MemberTokenIndex::MemberTokenIndex(std::string_view key, std::string_view list,
                                   const std::vector<std::string>& addresses) {
    members_.reserve(addresses.size());
    for (const std::string& address : addresses) {
        const std::string token = MemberToken(key, list, address);
        if (!token.empty()) {
            members_.emplace(token, LowerCase(address));
        }
    }
}

const std::string* MemberTokenIndex::Find(std::string_view token) const {
    auto found = members_.find(LowerCase(token));
    return found == members_.end() ? nullptr : &found->second;
}

}  // namespace corvanteer::bounce
