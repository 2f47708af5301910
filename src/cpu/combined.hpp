// The undocumented combinations: two documented operations in a row on the
// one effective address, so each keeps the bus accesses of both halves (a
// device register sees read, write, read; SAX writes three times).
#pragma once

#include "cpu/alu.hpp"
#include "cpu/transfer.hpp"

template <Mode M, Fetch F> [[gnu::always_inline]] inline void SLO(Registers auto& c) { ASL<M, F>(c); ORA<M, F>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void RLA(Registers auto& c) { ROL<M, F>(c); AND<M, F>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void SRE(Registers auto& c) { LSR<M, F>(c); EOR<M, F>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void RRA(Registers auto& c) { ROR<M, F>(c); ADC<M, F>(c); }  // ROR's carry feeds ADC
template <Mode M, Fetch F> [[gnu::always_inline]] inline void DCP(Registers auto& c) { DEC<M, F>(c); CMP<M, F>(c); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void ISB(Registers auto& c) { INC<M, F>(c); SBC<M, F>(c); }  // INC keeps C: SBC borrows as before
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LAX(Registers auto& c) { LDA<M, F>(c); LDX<M, F>(c); }  // two reads; flags from x

template <Mode M, Fetch F>
[[gnu::always_inline]] inline void SAX(Registers auto& c) {
    STA<M, F>(c);
    STX<M, F>(c);
    store_result<M, F>(c, c.a & c.x);
}

// NOP reads nothing of its own: the mode has consumed the operand bytes (and
// a pointer for izy); the formed address is never touched.
[[gnu::always_inline]] inline void NOP(Registers auto&) {}
