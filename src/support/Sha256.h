#pragma once

// SHA-256 digests (OpenSSL's libcrypto), for the manifest that lets a backup be checked.

#include <string>
#include <string_view>

namespace corvanteer {

// The SHA-256 digest of the bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace corvanteer
