// The two clocks the engine can be given. Each says how far the next
// stretch of instructions may go before it must look, whether a timer
// request is due, what a WAI waits for, and how it stands still while an
// observer talks.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/run_loop.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

// Host time: a request every TIMER_PERIOD_MS of the host's clock, which is
// read every CLOCK_POLL instructions.
class HostTimer {
public:
    static constexpr bool CYCLES = false;

    explicit HostTimer(std::int64_t deadline) : deadline_(deadline) {}
    // Translated code runs many times faster: the clock is read less often.
    void poll_every(std::uint64_t instructions) { poll_ = next_poll_ = instructions; }

    // Instructions that may run before the clock is read again.
    [[nodiscard]] std::uint64_t room(std::uint64_t counted, std::uint64_t) const { return next_poll_ - counted; }
    [[nodiscard]] bool due(std::uint64_t counted, std::uint64_t) const { return counted >= next_poll_; }
    // Reads the clock; true when a request is due. The deadline moves by
    // exactly one period, so after a stall the requests due follow one per
    // instruction until it has caught up.
    [[nodiscard]] bool tick(std::uint64_t counted, std::uint64_t) {
        ++host_clock_polls;
        const std::int64_t clock = host_clock_ms();
        next_poll_ = counted + poll_;
        if (clock < deadline_) return false;
        deadline_ += TIMER_PERIOD_MS;
        host_timer_tick(deadline_);
        // Still behind: look again after the next instruction.
        if (clock >= deadline_) next_poll_ = counted + 1;
        return true;
    }
    // A WAI: sleeps until the next request, then reads the clock at once.
    void wait(std::uint64_t counted, std::uint64_t& cycles);
    void hold();
    void release();

private:
    std::int64_t deadline_;
    std::uint64_t poll_ = CLOCK_POLL;
    std::uint64_t next_poll_ = CLOCK_POLL;
    std::int64_t held_at_ = 0;
};

// Emulated cycles: a request every TIMER_PERIOD_CYCLES, the calendar of the
// clock registers moving with them; the host's clock only paces the
// console's output and a recorded run.
class CycleTimer {
public:
    static constexpr bool CYCLES = true;

    CycleTimer(std::int64_t host_deadline, const DeterministicRun& run);

    // Cycles to the next request (0: due now).
    [[nodiscard]] std::uint64_t cycles_left(std::uint64_t cycles) const {
        return deadline_ > cycles ? deadline_ - cycles : 0;
    }
    // Instructions that cannot pass the next request before their last one.
    [[nodiscard]] std::uint64_t room(std::uint64_t, std::uint64_t cycles) const {
        return std::max<std::uint64_t>(1, (cycles_left(cycles) + MAX_INSTRUCTION_CYCLES - 1) / MAX_INSTRUCTION_CYCLES);
    }
    [[nodiscard]] bool due(std::uint64_t, std::uint64_t cycles) const { return cycles >= deadline_; }
    [[nodiscard]] bool tick(std::uint64_t counted, std::uint64_t cycles);
    // A WAI: the cycles pass until the next request.
    void wait(std::uint64_t, std::uint64_t& cycles) { cycles = std::max(cycles, deadline_); }
    void hold();
    void release();
    // Steps backwards take the schedule back with the machine.
    struct State {
        std::uint64_t deadline, second;
    };
    [[nodiscard]] State state() const { return {deadline_, second_}; }
    void restore(const State& state) {
        deadline_ = state.deadline;
        second_ = state.second;
    }
    [[nodiscard]] bool paced() const { return paced_; }

private:
    // No instruction takes more.
    static constexpr std::uint64_t MAX_INSTRUCTION_CYCLES = 8;
    std::uint64_t deadline_ = TIMER_PERIOD_CYCLES;
    std::uint64_t second_ = 0;
    std::int64_t start_time_;
    std::int64_t host_deadline_;
    bool paced_;
    std::int64_t pace_ms_ = 0;
    std::int64_t held_at_ = 0;
};
