#include "engine/timers.hpp"

#include "bus/devices.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

namespace {
// Every second of the deterministic clock begins with a timer request, so
// the calendar moves at a request.
static_assert(CYCLES_PER_SECOND % TIMER_PERIOD_CYCLES == 0);
// After a suspend or on a slow host, a paced run goes on from where it is
// rather than racing to catch up.
constexpr std::int64_t PACE_SLACK_MS = 100;
}  // namespace

// Sleeping rather than spinning, and leaving the timer's schedule as it is.
void HostTimer::wait(std::uint64_t counted, std::uint64_t&) {
    host_console_flush();
    for (std::int64_t now = host_clock_ms(); now < deadline_ && host_stop_signal() == 0; now = host_clock_ms())
        host_sleep_ms(deadline_ - now);
    next_poll_ = counted;
}

void HostTimer::hold() { held_at_ = host_clock_ms(); }

// The time the observer took does not count as the machine's.
void HostTimer::release() {
    deadline_ += host_clock_ms() - held_at_;
    host_timer_tick(deadline_);
}

CycleTimer::CycleTimer(std::int64_t host_deadline, const DeterministicRun& run)
    : start_time_(run.start_time), host_deadline_(host_deadline), paced_(run.paced) {
    pace_ms_ = paced_ ? host_clock_ms() : 0;
    rtc_set_virtual_time(start_time_);
}

bool CycleTimer::tick(std::uint64_t, std::uint64_t cycles) {
    deadline_ += TIMER_PERIOD_CYCLES;
    if (cycles / CYCLES_PER_SECOND != second_) {
        second_ = cycles / CYCLES_PER_SECOND;
        rtc_set_virtual_time(start_time_ + static_cast<std::int64_t>(second_));
    }
    // The host's clock only paces: the console's output, and a recorded
    // run, which keeps to a 1 MHz 6502's speed.
    ++host_clock_polls;
    const std::int64_t now = host_clock_ms();
    if (now >= host_deadline_) {
        host_deadline_ = now + TIMER_PERIOD_MS;
        host_timer_tick(host_deadline_);
    }
    if (paced_) {
        pace_ms_ += TIMER_PERIOD_MS;
        if (now < pace_ms_) host_sleep_ms(pace_ms_ - now);
        else if (now - pace_ms_ > PACE_SLACK_MS) pace_ms_ = now;
    }
    return true;
}

void CycleTimer::hold() { held_at_ = host_clock_ms(); }

// The cycles stood still; a paced run's pace stands still with them.
void CycleTimer::release() {
    if (paced_) pace_ms_ += host_clock_ms() - held_at_;
}
