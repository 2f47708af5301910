#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "bus/devices.hpp"

// A run that depends on nothing but its inputs: the timer requests an
// interrupt every 10,000 emulated cycles and the clock registers read a
// calendar that moves one second per 1,000,000 (a 1 MHz 6502's pace).
struct DeterministicRun {
    bool on = false;
    bool paced = false;                 // held to 1 MHz of host time, so that a person can follow (recording)
    std::int64_t start_time = 0;        // the clock's calendar second at cycle 0
    std::span<const ScriptedKey> keys;  // replay: each delivered by a read in exactly its instruction
};

struct RunSettings {
    bool count_cycles = false;  // summing cycles costs a little: only when asked
    bool trace_always = false;  // trace every instruction, whatever TRACE_CTL holds
    std::optional<std::uint64_t> max_instructions;
    DeterministicRun deterministic;  // needs count_cycles
};

inline constexpr std::uint64_t TIMER_PERIOD_CYCLES = 10'000;
inline constexpr std::uint64_t CYCLES_PER_SECOND = 1'000'000;

// The instructions completed before the one in progress, kept only in
// paced runs, where the recorder needs it at a key's read.
extern std::uint64_t instructions_before_step;

enum class RunEnd { program_ended, signal, instruction_limit, halted, departed };

struct RunOutcome {
    RunEnd end = RunEnd::program_ended;
    int signal = 0;                 // for RunEnd::signal
    std::size_t departed_key = 0;   // for RunEnd::departed: the key that its instruction did not read
    std::uint64_t instructions = 0;
    std::uint64_t cycles = 0;       // the sum of the steps' cycles, when counted
};

// Runs the machine on the processor of cpu_select() until an instruction
// leaves pc at 0x0000, a signal asks it to stop, the instruction limit is
// reached or the processor halts (JAM, STP: cpu.pause_pc and pause_opcode
// say where and how).
[[nodiscard]] RunOutcome run_machine(std::int64_t irq_deadline, const RunSettings& settings);

// Sleeps until the host clock reaches `deadline` (or a signal asks the run to
// stop): a processor waiting for an interrupt.
void idle_until(std::int64_t deadline);

// Shared by the run loops (plain, deterministic, the monitor's).
// The host timer requests an interrupt every TIMER_PERIOD_MS milliseconds.
inline constexpr std::int64_t TIMER_PERIOD_MS = 10;
// The host clock is read every CLOCK_POLL instructions rather than after
// each one: at emulation speed that is a small fraction of a millisecond,
// and in between, the last reading stands for the clock. The same
// countdown counts the instructions and brings the instruction limit.
inline constexpr std::uint64_t CLOCK_POLL = 128;

// The tests after the stop test at a clock poll: true when the instruction
// limit is reached or a signal asks the run to stop, `outcome` saying which.
[[nodiscard]] bool poll_ends_run(RunOutcome& outcome, std::uint64_t counted, std::uint64_t limit);

// The host timer at a clock poll: when `clock` has reached the deadline, the
// deadline moves by exactly one period and the console hears of the next
// one; true when a request is due. After a stall the requests due follow one
// per poll until the deadline has caught up.
[[nodiscard]] bool host_timer_due(std::int64_t& irq_deadline, std::int64_t clock);
