// Time as the machine sees it: a monotonic millisecond count for the timer
// interrupt and the local calendar for the clock registers.
#pragma once

#include <cstdint>
#include <ctime>

[[nodiscard]] std::int64_t host_clock_ms();  // milliseconds since the process started
[[nodiscard]] std::time_t host_time_seconds();
[[nodiscard]] std::tm host_local_time();
void host_sleep_ms(std::int64_t ms);  // may end early, on a signal
