// The undocumented combinations: two documented operations in a row on the
// one effective address, so each keeps the bus accesses of both halves (a
// device register sees read, write, read; SAX writes three times).
#pragma once

#include "cpu/alu.hpp"
#include "cpu/transfer.hpp"

template <Mode M> [[gnu::always_inline]] inline void SLO() { ASL<M>(); ORA<M>(); }
template <Mode M> [[gnu::always_inline]] inline void RLA() { ROL<M>(); AND<M>(); }
template <Mode M> [[gnu::always_inline]] inline void SRE() { LSR<M>(); EOR<M>(); }
template <Mode M> [[gnu::always_inline]] inline void RRA() { ROR<M>(); ADC<M>(); }  // ROR's carry feeds ADC
template <Mode M> [[gnu::always_inline]] inline void DCP() { DEC<M>(); CMP<M>(); }
template <Mode M> [[gnu::always_inline]] inline void ISB() { INC<M>(); SBC<M>(); }  // INC keeps C: SBC borrows as before
template <Mode M> [[gnu::always_inline]] inline void LAX() { LDA<M>(); LDX<M>(); }  // two reads; flags from x

template <Mode M>
[[gnu::always_inline]] inline void SAX() {
    STA<M>();
    STX<M>();
    store_result<M>(cpu.a & cpu.x);
}

// NOP reads nothing of its own: the mode has consumed the operand bytes (and
// a pointer for izy); the formed address is never touched.
[[gnu::always_inline]] inline void NOP() {}
