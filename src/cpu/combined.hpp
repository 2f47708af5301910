// The undocumented combinations: two documented operations in a row on the
// one effective address, so each keeps the bus accesses of both halves (a
// device register sees read, write, read; SAX writes three times).
#pragma once

#include "cpu/alu.hpp"
#include "cpu/transfer.hpp"

template <Mode M> [[gnu::always_inline]] inline void SLO(Cpu& c) { ASL<M>(c); ORA<M>(c); }
template <Mode M> [[gnu::always_inline]] inline void RLA(Cpu& c) { ROL<M>(c); AND<M>(c); }
template <Mode M> [[gnu::always_inline]] inline void SRE(Cpu& c) { LSR<M>(c); EOR<M>(c); }
template <Mode M> [[gnu::always_inline]] inline void RRA(Cpu& c) { ROR<M>(c); ADC<M>(c); }  // ROR's carry feeds ADC
template <Mode M> [[gnu::always_inline]] inline void DCP(Cpu& c) { DEC<M>(c); CMP<M>(c); }
template <Mode M> [[gnu::always_inline]] inline void ISB(Cpu& c) { INC<M>(c); SBC<M>(c); }  // INC keeps C: SBC borrows as before
template <Mode M> [[gnu::always_inline]] inline void LAX(Cpu& c) { LDA<M>(c); LDX<M>(c); }  // two reads; flags from x

template <Mode M>
[[gnu::always_inline]] inline void SAX(Cpu& c) {
    STA<M>(c);
    STX<M>(c);
    store_result<M>(c, c.a & c.x);
}

// NOP reads nothing of its own: the mode has consumed the operand bytes (and
// a pointer for izy); the formed address is never touched.
[[gnu::always_inline]] inline void NOP(Cpu& c) {}
