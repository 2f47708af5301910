#pragma once

#include <cstdint>

struct RunTotals {
    bool count_cycles = false;  // summing cycles costs a little: only when asked
    std::uint64_t instructions = 0;
    std::uint64_t cycles = 0;   // the sum of what each step returned
};

// Runs the machine until an instruction leaves pc at 0x0000. Returns 0, or
// the signal that asked the run to stop.
[[nodiscard]] int run_machine(std::int64_t irq_deadline, RunTotals& totals);
