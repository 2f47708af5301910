// The undocumented combinations: two documented operations in a row on the
// one effective address. On this machine's 6502 each keeps the bus accesses
// of both halves (a device register sees read, write, read; SAX writes three
// times); on the NMOS chip the second half works on the byte the first has
// in hand, so the operand is read once and written once.
#pragma once

#include "cpu/alu.hpp"
#include "cpu/transfer.hpp"

// The NMOS chip's read-modify-write half: one read, one write; returns the
// byte written.
template <Mode M, Fetch F, AluResult (*MODIFY)(u8, u8)>
[[gnu::always_inline]] inline u8 modify_once(Registers auto& c) {
    const AluResult r = MODIFY(fetch_operand<M, F>(c), c.status);
    c.status = r.status;
    store_result<M, F>(c, r.value);
    return r.value;
}

// ... then the accumulator half on that byte.
template <Mode M, Fetch F, AluResult (*MODIFY)(u8, u8), AluResult (*COMBINE)(u8, u8, u8)>
[[gnu::always_inline]] inline void modify_then_combine(Registers auto& c) {
    const u8 m = modify_once<M, F, MODIFY>(c);
    const AluResult r = COMBINE(c.a, m, c.status);
    c.a = r.value;
    c.status = r.status;
}

[[nodiscard]] constexpr bool reads_twice(Chip P) { return P == Chip::m6502; }

template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void SLO(Registers auto& c) {
    if constexpr (reads_twice(P)) { ASL<M, F>(c); ORA<M, F>(c); }
    else modify_then_combine<M, F, alu::asl, alu::ora>(c);
}
template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void RLA(Registers auto& c) {
    if constexpr (reads_twice(P)) { ROL<M, F>(c); AND<M, F>(c); }
    else modify_then_combine<M, F, alu::rol, alu::and_>(c);
}
template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void SRE(Registers auto& c) {
    if constexpr (reads_twice(P)) { LSR<M, F>(c); EOR<M, F>(c); }
    else modify_then_combine<M, F, alu::lsr, alu::eor>(c);
}
// ROR's carry feeds ADC.
template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void RRA(Registers auto& c) {
    if constexpr (reads_twice(P)) { ROR<M, F>(c); ADC<M, F>(c); }
    else modify_then_combine<M, F, alu::ror, alu::adc<P>>(c);
}
template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void DCP(Registers auto& c) {
    if constexpr (reads_twice(P)) { DEC<M, F>(c); CMP<M, F>(c); }
    else c.status = alu::compare(c.a, modify_once<M, F, alu::dec>(c), c.status);
}
// INC keeps C: SBC borrows as before.
template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void ISB(Registers auto& c) {
    if constexpr (reads_twice(P)) { INC<M, F>(c); SBC<M, F>(c); }
    else modify_then_combine<M, F, alu::inc, alu::sbc<P>>(c);
}
// Two reads, flags from x; the NMOS chip reads once into both.
template <Mode M, Fetch F, Chip P = Chip::m6502> [[gnu::always_inline]] inline void LAX(Registers auto& c) {
    if constexpr (reads_twice(P)) { LDA<M, F>(c); LDX<M, F>(c); }
    else { c.a = c.x = fetch_operand<M, F>(c); set_zn(c, c.x); }
}

template <Mode M, Fetch F, Chip P = Chip::m6502>
[[gnu::always_inline]] inline void SAX(Registers auto& c) {
    if constexpr (reads_twice(P)) {
        STA<M, F>(c);
        STX<M, F>(c);
    }
    store_result<M, F>(c, c.a & c.x);
}

// NOP reads nothing of its own: the mode has consumed the operand bytes (and
// a pointer for izy); the formed address is never touched.
[[gnu::always_inline]] inline void NOP(Registers auto&) {}
