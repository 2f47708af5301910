// Loads, stores, register transfers, the stack and the flag instructions.
#pragma once

#include "cpu/modes.hpp"

template <Mode M, Fetch F> [[gnu::always_inline]] inline void LDA(Cpu& c) { c.a = fetch_operand<M, F>(c); set_zn(c, c.a); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LDX(Cpu& c) { c.x = fetch_operand<M, F>(c); set_zn(c, c.x); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LDY(Cpu& c) { c.y = fetch_operand<M, F>(c); set_zn(c, c.y); }

// A store writes once and never reads its target first.
template <Mode M, Fetch F> [[gnu::always_inline]] inline void STA(Cpu& c) { store_result<M, F>(c, c.a); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void STX(Cpu& c) { store_result<M, F>(c, c.x); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void STY(Cpu& c) { store_result<M, F>(c, c.y); }

[[gnu::always_inline]] inline void TAX(Cpu& c) { c.x = c.a; set_zn(c, c.x); }
[[gnu::always_inline]] inline void TAY(Cpu& c) { c.y = c.a; set_zn(c, c.y); }
[[gnu::always_inline]] inline void TSX(Cpu& c) { c.x = c.sp; set_zn(c, c.x); }
[[gnu::always_inline]] inline void TXA(Cpu& c) { c.a = c.x; set_zn(c, c.a); }
[[gnu::always_inline]] inline void TXS(Cpu& c) { c.sp = c.x; }  // the one transfer that sets no flag
[[gnu::always_inline]] inline void TYA(Cpu& c) { c.a = c.y; set_zn(c, c.a); }

[[gnu::always_inline]] inline void PHA(Cpu& c) { stack_push_byte(c, c.a); }
// B exists only in the pushed copy.
[[gnu::always_inline]] inline void PHP(Cpu& c) { stack_push_byte(c, c.status | FLAG_B); }
[[gnu::always_inline]] inline void PLA(Cpu& c) { c.a = stack_pull_byte(c); set_zn(c, c.a); }
[[gnu::always_inline]] inline void PLP(Cpu& c) { c.status = stack_pull_byte(c) | FLAG_CONSTANT; }

template <u8 FLAG> [[gnu::always_inline]] inline void clear_flag(Cpu& c) { c.status &= static_cast<u8>(~FLAG); }
template <u8 FLAG> [[gnu::always_inline]] inline void set_flag(Cpu& c) { c.status |= FLAG; }
