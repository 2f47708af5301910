// Arithmetic, logic, compare and shift instructions, composed from the access
// kinds (read into a register, read-modify-write) and the pure functions of
// arithmetic.hpp.
#pragma once

#include "cpu/arithmetic.hpp"
#include "cpu/modes.hpp"

// Read kind: A op operand -> A.
template <Mode M, Fetch FETCH, AluResult (*F)(u8, u8, u8)>
[[gnu::always_inline]] inline void read_into_a(Registers auto& c) {
    const AluResult r = F(c.a, fetch_operand<M, FETCH>(c), c.status);
    c.a = r.value;
    c.status = r.status;
}

// Read-modify-write kind: one read, then one write of the new value; a
// device at the address sees exactly those two accesses.
template <Mode M, Fetch FETCH, AluResult (*F)(u8, u8)>
[[gnu::always_inline]] inline void read_modify_write(Registers auto& c) {
    const AluResult r = F(fetch_operand<M, FETCH>(c), c.status);
    c.status = r.status;
    store_result<M, FETCH>(c, r.value);
}

namespace alu {
[[nodiscard, gnu::always_inline]] constexpr AluResult and_(u8 a, u8 m, u8 status) { return {static_cast<u8>(a & m), with_zn(status, a & m)}; }
[[nodiscard, gnu::always_inline]] constexpr AluResult ora(u8 a, u8 m, u8 status) { return {static_cast<u8>(a | m), with_zn(status, a | m)}; }
[[nodiscard, gnu::always_inline]] constexpr AluResult eor(u8 a, u8 m, u8 status) { return {static_cast<u8>(a ^ m), with_zn(status, a ^ m)}; }
}  // namespace alu

template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void ADC(Registers auto& c) { read_into_a<M, F, alu::adc<P>>(c); }
template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void SBC(Registers auto& c) { read_into_a<M, F, alu::sbc<P>>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void AND(Registers auto& c) { read_into_a<M, F, alu::and_>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ORA(Registers auto& c) { read_into_a<M, F, alu::ora>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void EOR(Registers auto& c) { read_into_a<M, F, alu::eor>(c); }

template <Mode M, Fetch F> [[gnu::always_inline]] inline void CMP(Registers auto& c) { c.status = alu::compare(c.a, fetch_operand<M, F>(c), c.status); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void CPX(Registers auto& c) { c.status = alu::compare(c.x, fetch_operand<M, F>(c), c.status); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void CPY(Registers auto& c) { c.status = alu::compare(c.y, fetch_operand<M, F>(c), c.status); }
// BIT #imm (65C02) sets Z only: there is no memory byte whose bits 7 and 6 to show.
template <Mode M, Fetch F> [[gnu::always_inline]] inline void BIT(Registers auto& c) {
    if constexpr (M == Mode::imm)
        c.status = alu::with(c.status, FLAG_Z, (c.a & fetch_operand<M, F>(c)) == 0);
    else
        c.status = alu::bit_test(c.a, fetch_operand<M, F>(c), c.status);
}

template <Mode M, Fetch F> [[gnu::always_inline]] inline void ASL(Registers auto& c) { read_modify_write<M, F, alu::asl>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LSR(Registers auto& c) { read_modify_write<M, F, alu::lsr>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ROL(Registers auto& c) { read_modify_write<M, F, alu::rol>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ROR(Registers auto& c) { read_modify_write<M, F, alu::ror>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void INC(Registers auto& c) { read_modify_write<M, F, alu::inc>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void DEC(Registers auto& c) { read_modify_write<M, F, alu::dec>(c); }

[[gnu::always_inline]] inline void INX(Registers auto& c) { ++c.x; set_zn(c, c.x); }
[[gnu::always_inline]] inline void INY(Registers auto& c) { ++c.y; set_zn(c, c.y); }
[[gnu::always_inline]] inline void DEX(Registers auto& c) { --c.x; set_zn(c, c.x); }
[[gnu::always_inline]] inline void DEY(Registers auto& c) { --c.y; set_zn(c, c.y); }
