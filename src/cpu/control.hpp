// Branches, jumps, subroutine calls and returns, BRK and RTI.
#pragma once

#include "cpu/modes.hpp"

// A taken branch adds its own cycles: one, or two when it lands in another
// page than the instruction after it. Returns the cycles added.
template <u8 FLAG, bool TAKEN_WHEN_SET>
[[gnu::always_inline]] inline u32 branch() {
    if (((cpu.status & FLAG) != 0) != TAKEN_WHEN_SET) return 0;
    const u16 old_pc = cpu.pc;
    cpu.pc = static_cast<u16>(cpu.pc + cpu.branch_offset);
    return ((old_pc ^ cpu.pc) & 0xFF00) != 0 ? 2 : 1;
}

[[gnu::always_inline]] inline void JMP() { cpu.pc = cpu.effective_address; }

// JSR pushes the address of its own last byte; RTS adds the one back.
[[gnu::always_inline]] inline void JSR() {
    stack_push_word(static_cast<u16>(cpu.pc - 1));
    cpu.pc = cpu.effective_address;
}

[[gnu::always_inline]] inline void RTS() { cpu.pc = static_cast<u16>(stack_pull_word() + 1); }

// RTI takes the status exactly as pulled, constant bit included: a pulled
// 0x00 shows as 0x00 until the next opcode fetch sets bit 5 again.
[[gnu::always_inline]] inline void RTI() {
    cpu.status = stack_pull_byte();
    cpu.pc = stack_pull_word();
}

// BRK skips a padding byte, so RTI returns two bytes after it; the handler
// tells it from an IRQ by B in the pushed status. I does not suppress it.
[[gnu::always_inline]] inline void BRK() {
    ++cpu.pc;
    stack_push_word(cpu.pc);
    stack_push_byte(cpu.status | FLAG_B);
    cpu.status |= FLAG_I;
    cpu.pc = read_word(IRQ_VECTOR);
}
