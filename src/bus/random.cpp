// RANDOM: one draw per read, its low 8 bits. A small xorshift generator,
// seeded once at start (from the time, or --seed), so a seed replays the
// same bytes on every host.
#include "bus/devices.hpp"

namespace {
std::uint64_t generator = 0x9E3779B97F4A7C15ull;
}

void random_seed(std::uint64_t seed) {
    // Spread the seed over the state; zero would be a fixed point.
    generator = 0x9E3779B97F4A7C15ull ^ (seed * 0xBF58476D1CE4E5B9ull);
    if (generator == 0) generator = 1;
}

std::uint64_t random_state() { return generator; }

void random_state_restore(std::uint64_t state) { generator = state; }

u8 random_read() {
    generator ^= generator >> 12;
    generator ^= generator << 25;
    generator ^= generator >> 27;
    return static_cast<u8>((generator * 0x2545F4914F6CDD1Dull) >> 56);
}
