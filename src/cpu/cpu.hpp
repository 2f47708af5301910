// The processor's interface: reset, step, run for a budget, interrupts.
#pragma once

#include "cpu/state.hpp"

void cpu_reset();
u32 cpu_step();                // one instruction; returns its cycles
u32 cpu_exec(u32 budget);      // whole instructions until budget cycles are spent
void cpu_irq();                // dropped, not held, while I is set
void cpu_nmi();
void cpu_set_hook(StepHook hook);  // nullptr removes the hook
void cpu_select(Chip chip);        // the processor to be, before the run; this machine's 6502 by default
[[nodiscard]] Chip cpu_chip();

// A halting opcode or a WAI leaves pc at 0x0000 with `cpu.pause` saying
// which: this puts pc back where the processor paused (ending a WAI's pause)
// and returns the kind; Pause::none when 0x0000 is the program's own end.
Pause cpu_resume_pause();
