#include "oauth/CryptoRandom.h"

#include <openssl/rand.h>

#include "support/Status.h"

namespace corvanteer {

namespace {

uint32_t Draw() {
    uint32_t value = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value) != 1) {
        throw Failure(ErrorKind::Unavailable, "No random numbers could be had from the system");
    }
    return value;
}

}  // namespace

uint32_t CryptoRandom::Below(uint32_t bound) {
    // Draws above the largest multiple of bound are redrawn, so every result is as likely.
    const uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
    for (;;) {
        const uint32_t value = Draw();
        if (value < limit) {
            return value % bound;
        }
    }
}

double CryptoRandom::Real() {
    return Draw() / 4294967296.0;
}

}  // namespace corvanteer
