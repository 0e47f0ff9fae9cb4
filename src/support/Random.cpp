#include "support/Random.h"

namespace corvanteer {

SystemRandom::SystemRandom() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    engine_.seed(seed);
}

uint32_t SystemRandom::Below(uint32_t bound) {
    std::lock_guard lock(mutex_);
    std::uniform_int_distribution<uint32_t> dist(0, bound - 1);
    return dist(engine_);
}

double SystemRandom::Real() {
    std::lock_guard lock(mutex_);
    std::uniform_real_distribution<double> dist(0.0, 1.0);
    return dist(engine_);
}

void FakeRandom::Script(std::vector<uint32_t> values) {
    script_ = std::move(values);
    next_ = 0;
}

uint32_t FakeRandom::Below(uint32_t bound) {
    if (next_ < script_.size()) {
        return script_[next_++] % bound;
    }
    std::uniform_int_distribution<uint32_t> dist(0, bound - 1);
    return dist(engine_);
}

double FakeRandom::Real() {
    if (next_ < script_.size()) {
        return static_cast<double>(script_[next_++]) / 4294967296.0;
    }
    std::uniform_real_distribution<double> dist(0.0, 1.0);
    return dist(engine_);
}

}  // namespace corvanteer
