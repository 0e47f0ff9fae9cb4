#pragma once

// Base64 encoding (standard alphabet, "=" padding, no line breaks), used for AUTH LOGIN.

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

}  // namespace corvanteer
