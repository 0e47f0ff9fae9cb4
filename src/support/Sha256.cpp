#include "support/Sha256.h"

#include <openssl/evp.h>

#include "support/Status.h"

namespace corvanteer {

std::string Sha256Digest(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        throw Failure(ErrorKind::Io, "SHA-256 is not available from the crypto library");
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string Sha256Hex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const char c : Sha256Digest(bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 0x0F]);
    }
    return hex;
}

}  // namespace corvanteer
