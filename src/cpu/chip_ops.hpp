// The operations that only the NMOS chip (6502X) or only the 65C02 has.
#pragma once

#include "cpu/alu.hpp"
#include "cpu/control.hpp"

// ---- NMOS chip: the other undocumented opcodes ----------------------------

// ANC: AND, then C from bit 7 of the result.
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ANC(Registers auto& c) {
    c.a &= fetch_operand<M, F>(c);
    c.status = alu::with(with_zn(c.status, c.a), FLAG_C, (c.a & 0x80) != 0);
}

// ALR: AND, then LSR of the accumulator.
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ALR(Registers auto& c) {
    const AluResult r = alu::lsr(static_cast<u8>(c.a & fetch_operand<M, F>(c)), c.status);
    c.a = r.value;
    c.status = r.status;
}

// ARR: AND, then ROR of the accumulator, with the adder's flags: in binary
// mode C from bit 6 and V from bit 6 XOR bit 5 of the result; in decimal
// mode N from the carry in, Z from the rotated byte, V from bit 6 changing,
// and each digit corrected as ADC would correct it.
[[nodiscard]] constexpr AluResult arr(u8 a, u8 operand, u8 status) {
    const u8 t = a & operand;
    u8 r = static_cast<u8>(t >> 1 | (status & FLAG_C) << 7);
    status = with_zn(status, r);
    if (!(status & FLAG_D)) {
        status = alu::with(status, FLAG_C, (r & 0x40) != 0);
        status = alu::with(status, FLAG_V, ((r >> 6 ^ r >> 5) & 1) != 0);
        return {r, status};
    }
    status = alu::with(status, FLAG_V, ((t ^ r) & 0x40) != 0);
    if ((t & 0x0F) + (t & 0x01) > 5) r = static_cast<u8>((r & 0xF0) | ((r + 6) & 0x0F));
    const bool high_carry = (t & 0xF0) + (t & 0x10) > 0x50;
    if (high_carry) r = static_cast<u8>(r + 0x60);
    return {r, alu::with(status, FLAG_C, high_carry)};
}
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ARR(Registers auto& c) {
    const AluResult r = arr(c.a, fetch_operand<M, F>(c), c.status);
    c.a = r.value;
    c.status = r.status;
}

// SBX: X = (A AND X) - operand, flags as CMP; decimal mode plays no part.
template <Mode M, Fetch F> [[gnu::always_inline]] inline void SBX(Registers auto& c) {
    const u8 ax = c.a & c.x;
    const u8 m = fetch_operand<M, F>(c);
    c.status = alu::compare(ax, m, c.status);
    c.x = static_cast<u8>(ax - m);
}

// LAS: memory AND S into A, X and S.
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LAS(Registers auto& c) {
    c.a = c.x = c.sp = fetch_operand<M, F>(c) & c.sp;
    set_zn(c, c.a);
}

// ANE and LXA depend on the chip's analog state; 0xEE is the constant
// most chips show.
inline constexpr u8 UNSTABLE_MAGIC = 0xEE;
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ANE(Registers auto& c) {
    c.a = (c.a | UNSTABLE_MAGIC) & c.x & fetch_operand<M, F>(c);
    set_zn(c, c.a);
}
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LXA(Registers auto& c) {
    c.a = c.x = (c.a | UNSTABLE_MAGIC) & fetch_operand<M, F>(c);
    set_zn(c, c.a);
}

// SHA, SHX, SHY, TAS store a value ANDed with the base address's high byte
// plus one. When the index crosses a page the chip forms the high byte of
// the address from that same value.
template <Mode M, Fetch F>
[[gnu::always_inline]] inline void store_and_high(Registers auto& c, u8 value, bool crossed) {
    using Address = decltype(c.effective_address);
    const u8 high = static_cast<u8>(c.effective_address >> 8);
    const u8 stored = value & static_cast<u8>(crossed ? high : high + 1);  // crossed: already base + 1
    if (crossed) c.effective_address = static_cast<Address>(stored << 8 | (c.effective_address & 0xFF));
    store_result<M, F>(c, stored);
}
template <Mode M, Fetch F> [[gnu::always_inline]] inline void SHA(Registers auto& c, bool crossed) { store_and_high<M, F>(c, c.a & c.x, crossed); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void SHX(Registers auto& c, bool crossed) { store_and_high<M, F>(c, c.x, crossed); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void SHY(Registers auto& c, bool crossed) { store_and_high<M, F>(c, c.y, crossed); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void TAS(Registers auto& c, bool crossed) {
    c.sp = c.a & c.x;
    store_and_high<M, F>(c, c.sp, crossed);
}

// JAM and STP stop the processor for good; the run ends there.
[[gnu::cold, gnu::noinline]] void halt_processor(u16 opcode_address, u8 opcode);
[[gnu::always_inline]] inline void halt(Registers auto& c, u8 opcode) {
    halt_processor(static_cast<u16>(c.pc - 1), opcode);
    c.pc = 0x0000;
}

// ---- 65C02 -----------------------------------------------------------------

[[gnu::always_inline]] inline void PHX(Registers auto& c) { stack_push_byte(c, c.x); }
[[gnu::always_inline]] inline void PHY(Registers auto& c) { stack_push_byte(c, c.y); }
[[gnu::always_inline]] inline void PLX(Registers auto& c) { c.x = stack_pull_byte(c); set_zn(c, c.x); }
[[gnu::always_inline]] inline void PLY(Registers auto& c) { c.y = stack_pull_byte(c); set_zn(c, c.y); }

template <Mode M, Fetch F> [[gnu::always_inline]] inline void STZ(Registers auto& c) { store_result<M, F>(c, 0); }

// TRB, TSB: Z from A AND memory, then the bits of A cleared or set in memory.
template <Mode M, Fetch F, bool SET> [[gnu::always_inline]] inline void test_and_change_bits(Registers auto& c) {
    const u8 m = fetch_operand<M, F>(c);
    c.status = alu::with(c.status, FLAG_Z, (c.a & m) == 0);
    store_result<M, F>(c, SET ? m | c.a : m & ~c.a);
}

// RMBn, SMBn: the bit number is in the opcode's high nibble.
template <Mode M, Fetch F, u8 OPCODE> [[gnu::always_inline]] inline void change_memory_bit(Registers auto& c) {
    constexpr u8 bit = 1u << (OPCODE >> 4 & 7);
    const u8 m = fetch_operand<M, F>(c);
    store_result<M, F>(c, OPCODE & 0x80 ? m | bit : m & ~bit);
}

// BBRn, BBSn: a branch on one bit of a zero-page byte, costed as a branch.
template <Mode M, Fetch F, u8 OPCODE> [[gnu::always_inline]] inline u32 branch_on_memory_bit(Registers auto& c) {
    constexpr u8 bit = 1u << (OPCODE >> 4 & 7);
    const bool set = (fetch_operand<M, F>(c) & bit) != 0;
    if (set != ((OPCODE & 0x80) != 0)) return 0;
    return branch<0, false>(c);  // a branch that is always taken
}

// WAI: the run loop idles until the next timer interrupt, then goes on
// after the WAI.
[[gnu::cold, gnu::noinline]] void wait_for_interrupt(u16 resume_address);
[[gnu::always_inline]] inline void WAI(Registers auto& c) {
    wait_for_interrupt(static_cast<u16>(c.pc));
    c.pc = 0x0000;
}
