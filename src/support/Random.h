#pragma once

// Where the program draws random numbers (file names, member passwords). Taken as a
// parameter everywhere so tests can make the draws repeatable.

#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

namespace corvanteer {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    // A uniform integer in [0, bound); bound must be positive.
    virtual uint32_t Below(uint32_t bound) = 0;
    // A uniform real number in [0, 1).
    virtual double Real() = 0;
};

// Seeded once from the operating system's entropy; safe to share between threads.
class SystemRandom final : public RandomSource {
public:
    SystemRandom();
    uint32_t Below(uint32_t bound) override;
    double Real() override;

private:
    std::mutex mutex_;
    std::mt19937_64 engine_;
};

// Deterministic: a fixed seed, or a script of values that are handed out first (Below takes
// each scripted value modulo its bound, Real divides it by 2^32).
class FakeRandom final : public RandomSource {
public:
    explicit FakeRandom(uint64_t seed = 42) : engine_(seed) {}
    void Script(std::vector<uint32_t> values);
    uint32_t Below(uint32_t bound) override;
    double Real() override;

private:
    std::mt19937_64 engine_;
    std::vector<uint32_t> script_;
    size_t next_ = 0;
};

}  // namespace corvanteer
