#pragma once

// SHA-256 digests (OpenSSL's libcrypto): the manifest that lets a backup be checked, and the
// PKCE challenge of a sign-in.

#include <string>
#include <string_view>

namespace corvanteer {

// The SHA-256 digest of the bytes: its 32 bytes.
std::string Sha256Digest(std::string_view bytes);
// The same as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace corvanteer
