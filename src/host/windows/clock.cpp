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

std::time_t host_time_seconds() { return std::time(nullptr); }

std::tm host_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    return local;
}

void host_sleep_ms(std::int64_t ms) {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}
