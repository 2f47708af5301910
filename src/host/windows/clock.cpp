#include "host/clock.hpp"

#include <windows.h>

namespace {
// The performance counter rather than the tick count, whose 15.6 ms steps
// would bunch the 100 Hz timer's requests.
std::int64_t counter_frequency() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}
std::int64_t counter_now() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}
const std::int64_t frequency = counter_frequency();
const std::int64_t process_start = counter_now();
}  // namespace

std::int64_t host_clock_ms() { return (counter_now() - process_start) * 1000 / frequency; }

void host_sleep_ms(std::int64_t ms) {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

std::time_t host_time_seconds() { return std::time(nullptr); }

std::uint64_t host_random_seed() {
    FILETIME wall{};
    GetSystemTimePreciseAsFileTime(&wall);  // 100 ns steps
    std::uint64_t seed = mix_bits((static_cast<std::uint64_t>(wall.dwHighDateTime) << 32) | wall.dwLowDateTime);
    seed = mix_bits(seed ^ GetCurrentProcessId());
    return mix_bits(seed ^ static_cast<std::uint64_t>(counter_now()));
}

std::tm host_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    return local;
}
