#include "host/clock.hpp"

#include <time.h>
#include <unistd.h>

namespace {
std::int64_t monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}
const std::int64_t process_start_ms = monotonic_ms();
}  // namespace

std::int64_t host_clock_ms() { return monotonic_ms() - process_start_ms; }

void host_sleep_ms(std::int64_t ms) {
    if (ms <= 0) return;
    const timespec span{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000};
    nanosleep(&span, nullptr);  // a signal cuts it short, so a stop is seen at once
}

std::time_t host_time_seconds() { return std::time(nullptr); }

std::uint64_t host_random_seed() {
    timespec wall{}, running{};
    clock_gettime(CLOCK_REALTIME, &wall);
    clock_gettime(CLOCK_MONOTONIC, &running);
    std::uint64_t seed = mix_bits(static_cast<std::uint64_t>(wall.tv_sec) * 1'000'000'000u +
                                  static_cast<std::uint64_t>(wall.tv_nsec));
    seed = mix_bits(seed ^ static_cast<std::uint64_t>(getpid()));
    return mix_bits(seed ^ static_cast<std::uint64_t>(running.tv_nsec));
}

std::tm host_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}
