// Time as the machine sees it: a monotonic millisecond count for the timer
// interrupt and the local calendar for the clock registers.
#pragma once

#include <cstdint>
#include <ctime>

[[nodiscard]] std::int64_t host_clock_ms();  // milliseconds since the process started
void host_sleep_ms(std::int64_t ms);         // may end early, on a signal
[[nodiscard]] std::time_t host_time_seconds();
// A seed for RANDOM that differs between runs, even two started at the
// same moment: the time to the nanosecond (as fine as the host has it)
// mixed with the process's number and a free-running counter.
[[nodiscard]] std::uint64_t host_random_seed();

// One round of the SplitMix64 finaliser: every bit of `x` moves about
// half the bits of the result, so nearby inputs give unrelated seeds.
[[nodiscard]] constexpr std::uint64_t mix_bits(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
[[nodiscard]] std::tm host_local_time();
