#pragma once
// The process's pseudo-random source, replaceable so that tests can make the
// random parts of generated names and passwords predictable.

#include <cstdint>

namespace qz::platform {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Seed(uint32_t seed) = 0;
    // A value in [0, range); 0 when range is 0.
    virtual uint32_t Next(uint32_t range) = 0;
};

// A linear congruential generator (multiplier 0x08088405, increment 1),
// scaled into the range by the upper 32 bits of a 64-bit product.
class LinearRandom final : public RandomSource {
public:
    explicit LinearRandom(uint32_t seed = 0) : state_(seed) {}
    void Seed(uint32_t seed) override { state_ = seed; }
    uint32_t Next(uint32_t range) override {
        state_ = state_ * 0x08088405u + 1u;
        return static_cast<uint32_t>((static_cast<uint64_t>(state_) * range) >> 32);
    }

private:
    uint32_t state_;
};

// The shared source; seeded from the clock on first use.
RandomSource& Random();
// Replaces the shared source (not owned); nullptr restores the default.
void SetRandomSource(RandomSource* source);

}  // namespace qz::platform
