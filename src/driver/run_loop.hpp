#pragma once

#include <cstdint>
#include <optional>

struct RunSettings {
    bool count_cycles = false;  // summing cycles costs a little: only when asked
    bool trace_always = false;  // trace every instruction, whatever TRACE_CTL holds
    std::optional<std::uint64_t> max_instructions;
};

enum class RunEnd { program_ended, signal, instruction_limit, halted };

struct RunOutcome {
    RunEnd end = RunEnd::program_ended;
    int signal = 0;                 // for RunEnd::signal
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
