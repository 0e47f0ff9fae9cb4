#pragma once

// Random numbers an attacker cannot guess (OpenSSL's RAND_bytes), for the secrets of a
// sign-in: its state and its PKCE verifier.

#include "support/Random.h"

namespace corvanteer {

class CryptoRandom final : public RandomSource {
public:
    // Raises Failure (Unavailable) when the system's entropy cannot be had.
    uint32_t Below(uint32_t bound) override;
    double Real() override;
};

}  // namespace corvanteer
