// Branches, jumps, subroutine calls and returns, BRK and RTI.
#pragma once

#include "cpu/modes.hpp"

// A taken branch adds its own cycles: one, or two when it lands in another
// page than the instruction after it. Returns the cycles added.
template <u8 FLAG, bool TAKEN_WHEN_SET>
[[gnu::always_inline]] inline u32 branch(Registers auto& c) {
    if (((c.status & FLAG) != 0) != TAKEN_WHEN_SET) return 0;
    const u16 old_pc = static_cast<u16>(c.pc);
    const u16 new_pc = static_cast<u16>(c.pc + c.branch_offset);
    c.pc = new_pc;
    // Another page: the two differ above their low byte.
    return 1u + ((old_pc ^ new_pc) > 0xFF ? 1u : 0u);
}

[[gnu::always_inline]] inline void JMP(Registers auto& c) { c.pc = c.effective_address; }

// JSR pushes the address of its own last byte; RTS adds the one back.
[[gnu::always_inline]] inline void JSR(Registers auto& c) {
    stack_push_word(c, static_cast<u16>(c.pc - 1));
    c.pc = c.effective_address;
}

[[gnu::always_inline]] inline void RTS(Registers auto& c) { c.pc = static_cast<u16>(stack_pull_word(c) + 1); }

// RTI takes the status exactly as pulled, constant bit included: a pulled
// 0x00 shows as 0x00 until the next opcode fetch sets bit 5 again.
[[gnu::always_inline]] inline void RTI(Registers auto& c) {
    c.status = stack_pull_byte(c);
    c.pc = stack_pull_word(c);
}

// BRK skips a padding byte, so RTI returns two bytes after it; the handler
// tells it from an IRQ by B in the pushed status. I does not suppress it.
// The 65C02 also clears D, so that the handler starts in binary mode.
template <Chip P = Chip::m6502>
[[gnu::always_inline]] inline void BRK(Registers auto& c) {
    ++c.pc;
    stack_push_word(c, c.pc);
    stack_push_byte(c, c.status | FLAG_B);
    c.status |= FLAG_I;
    if constexpr (P == Chip::m65c02) c.status &= static_cast<u8>(~FLAG_D);
    c.pc = read_word(IRQ_VECTOR);
}
