// Arithmetic, logic, compare and shift instructions, composed from the access
// kinds (read into a register, read-modify-write) and the pure functions of
// arithmetic.hpp.
#pragma once

#include "cpu/arithmetic.hpp"
#include "cpu/modes.hpp"

// Read kind: A op operand -> A.
template <Mode M, AluResult (*F)(u8, u8, u8)>
[[gnu::always_inline]] inline void read_into_a() {
    const AluResult r = F(cpu.a, fetch_operand<M>(), cpu.status);
    cpu.a = r.value;
    cpu.status = r.status;
}

// Read-modify-write kind: one read, then one write of the new value; a
// device at the address sees exactly those two accesses.
template <Mode M, AluResult (*F)(u8, u8)>
[[gnu::always_inline]] inline void read_modify_write() {
    const AluResult r = F(fetch_operand<M>(), cpu.status);
    cpu.status = r.status;
    store_result<M>(r.value);
}

namespace alu {
[[nodiscard]] constexpr AluResult and_(u8 a, u8 m, u8 status) { return {static_cast<u8>(a & m), zn(status, a & m)}; }
[[nodiscard]] constexpr AluResult ora(u8 a, u8 m, u8 status) { return {static_cast<u8>(a | m), zn(status, a | m)}; }
[[nodiscard]] constexpr AluResult eor(u8 a, u8 m, u8 status) { return {static_cast<u8>(a ^ m), zn(status, a ^ m)}; }
}  // namespace alu

template <Mode M> [[gnu::always_inline]] inline void ADC() { read_into_a<M, alu::adc>(); }
template <Mode M> [[gnu::always_inline]] inline void SBC() { read_into_a<M, alu::sbc>(); }
template <Mode M> [[gnu::always_inline]] inline void AND() { read_into_a<M, alu::and_>(); }
template <Mode M> [[gnu::always_inline]] inline void ORA() { read_into_a<M, alu::ora>(); }
template <Mode M> [[gnu::always_inline]] inline void EOR() { read_into_a<M, alu::eor>(); }

template <Mode M> [[gnu::always_inline]] inline void CMP() { cpu.status = alu::compare(cpu.a, fetch_operand<M>(), cpu.status); }
template <Mode M> [[gnu::always_inline]] inline void CPX() { cpu.status = alu::compare(cpu.x, fetch_operand<M>(), cpu.status); }
template <Mode M> [[gnu::always_inline]] inline void CPY() { cpu.status = alu::compare(cpu.y, fetch_operand<M>(), cpu.status); }
template <Mode M> [[gnu::always_inline]] inline void BIT() { cpu.status = alu::bit_test(cpu.a, fetch_operand<M>(), cpu.status); }

template <Mode M> [[gnu::always_inline]] inline void ASL() { read_modify_write<M, alu::asl>(); }
template <Mode M> [[gnu::always_inline]] inline void LSR() { read_modify_write<M, alu::lsr>(); }
template <Mode M> [[gnu::always_inline]] inline void ROL() { read_modify_write<M, alu::rol>(); }
template <Mode M> [[gnu::always_inline]] inline void ROR() { read_modify_write<M, alu::ror>(); }
template <Mode M> [[gnu::always_inline]] inline void INC() { read_modify_write<M, alu::inc>(); }
template <Mode M> [[gnu::always_inline]] inline void DEC() { read_modify_write<M, alu::dec>(); }

[[gnu::always_inline]] inline void INX() { ++cpu.x; set_zn(cpu.x); }
[[gnu::always_inline]] inline void INY() { ++cpu.y; set_zn(cpu.y); }
[[gnu::always_inline]] inline void DEX() { --cpu.x; set_zn(cpu.x); }
[[gnu::always_inline]] inline void DEY() { --cpu.y; set_zn(cpu.y); }
