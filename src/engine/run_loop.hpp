// The engine: the one loop that runs the machine, for every run. What
// differs between runs is given to it, not copied into it: the clock (the
// host's 10 ms timer, or emulated cycles in a deterministic run), where
// keys come from (the terminal, standard input, a replay's script; see
// console_key_source), and an observer, or none (the monitor, the profile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "bus/devices.hpp"
#include "engine/observer.hpp"

// A run that depends on nothing but its inputs: the timer requests an
// interrupt every 10,000 emulated cycles and the clock registers read a
// calendar that moves one second per 1,000,000 (a 1 MHz 6502's pace).
struct DeterministicRun {
    bool on = false;
    bool paced = false;                 // held to 1 MHz of host time, so that a person can follow (recording)
    std::int64_t start_time = 0;        // the clock's calendar second at cycle 0
    std::span<const ScriptedKey> keys;  // replay: each delivered by a read in exactly its instruction
    bool keys_cut_off = false;          // replay of a recording cut off: a keyboard read after the last key ends the run
};

struct RunSettings {
    bool count_cycles = false;  // summing cycles costs a little: only when asked
    bool trace_always = false;  // trace every instruction, whatever TRACE_CTL holds
    std::optional<std::uint64_t> max_instructions;
    DeterministicRun deterministic;  // needs count_cycles
    bool translate = false;  // the translating core where it can serve: runs with no observer
};

inline constexpr std::uint64_t TIMER_PERIOD_CYCLES = 10'000;
inline constexpr std::uint64_t CYCLES_PER_SECOND = 1'000'000;

// The instructions completed before the one in progress, set before each
// instruction run one at a time: every one in a paced run, where the
// recorder needs it at a key's read.
extern std::uint64_t instructions_before_step;

enum class RunEnd { program_ended, signal, instruction_limit, halted, departed, recording_cut_off };

struct RunOutcome {
    RunEnd end = RunEnd::program_ended;
    int signal = 0;                 // for RunEnd::signal
    std::size_t departed_key = 0;   // for RunEnd::departed: the key that its instruction did not read
    std::uint64_t instructions = 0;
    std::uint64_t cycles = 0;       // the sum of the steps' cycles, when counted
};

// Runs the machine on the processor of cpu_select() until an instruction
// leaves pc at 0x0000, a signal asks it to stop, the instruction limit is
// reached, the processor halts (JAM, STP: cpu.pause_pc and pause_opcode
// say where and how), or a replay departs from its recording or reads past
// a recording that was cut off. With an observer, it stops where the
// observer asks and lets it talk.
[[nodiscard]] RunOutcome run_machine(std::int64_t irq_deadline, const RunSettings& settings,
                                     RunObserver* observer = nullptr);

// "processor halted by STP opcode $DB at $0206": the halt that ended a run
// (cpu.pause_opcode and pause_pc), without a full stop.
[[nodiscard]] const char* halt_text();

// The host timer requests an interrupt every TIMER_PERIOD_MS milliseconds.
inline constexpr std::int64_t TIMER_PERIOD_MS = 10;
// The host clock is read every CLOCK_POLL instructions rather than after
// each one: at emulation speed that is a small fraction of a millisecond,
// and in between, the last reading stands for the clock.
inline constexpr std::uint64_t CLOCK_POLL = 128;
inline constexpr std::uint64_t TRANSLATED_CLOCK_POLL = 4096;
