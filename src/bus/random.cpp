// RANDOM: one draw per read, its low 8 bits. A small xorshift generator,
// seeded once at start (from the time, or --seed), so a seed replays the
// same bytes on every host.
#include "bus/devices.hpp"

namespace {
std::uint64_t random_state = 0x9E3779B97F4A7C15ull;
}

void random_seed(std::uint64_t seed) {
    // Spread the seed over the state; zero would be a fixed point.
    random_state = 0x9E3779B97F4A7C15ull ^ (seed * 0xBF58476D1CE4E5B9ull);
    if (random_state == 0) random_state = 1;
}

u8 random_read() {
    random_state ^= random_state >> 12;
    random_state ^= random_state << 25;
    random_state ^= random_state >> 27;
    return static_cast<u8>((random_state * 0x2545F4914F6CDD1Dull) >> 56);
}
