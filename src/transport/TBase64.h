#pragma once

// Base64 encoding (standard alphabet, "=" padding, no line breaks), used for AUTH LOGIN.

#include <optional>
#include <string>
#include <string_view>

namespace corvanteer {

class TBase64 {
public:
    // Empties output, then fills it with the encoding of input. Returns 0 on success, 1 if a
    // 6-bit value outside the alphabet were ever produced (the encoder cannot produce one).
    int Encode(std::string_view input, std::string& output) const;

    // The alphabet character for 0..63; false for any other value.
    bool IndexToChar(int value, char& character) const;
};

// The bytes of a Base64 text (standard alphabet, padding optional); nullopt for any other
// text. For the challenges SASL servers send.
std::optional<std::string> DecodeBase64(std::string_view text);

// The URL-safe alphabet ("-" and "_") without padding (RFC 4648 section 5), for PKCE.
std::string Base64Url(std::string_view bytes);

}  // namespace corvanteer
