// Loads, stores, register transfers, the stack and the flag instructions.
#pragma once

#include "cpu/modes.hpp"

template <Mode M, Fetch F> [[gnu::always_inline]] inline void LDA(Registers auto& c) { c.a = fetch_operand<M, F>(c); set_zn(c, c.a); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LDX(Registers auto& c) { c.x = fetch_operand<M, F>(c); set_zn(c, c.x); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void LDY(Registers auto& c) { c.y = fetch_operand<M, F>(c); set_zn(c, c.y); }

// A store writes once and never reads its target first.
template <Mode M, Fetch F> [[gnu::always_inline]] inline void STA(Registers auto& c) { store_result<M, F>(c, c.a); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void STX(Registers auto& c) { store_result<M, F>(c, c.x); }
template <Mode M, Fetch F> [[gnu::always_inline]] inline void STY(Registers auto& c) { store_result<M, F>(c, c.y); }

[[gnu::always_inline]] inline void TAX(Registers auto& c) { c.x = c.a; set_zn(c, c.x); }
[[gnu::always_inline]] inline void TAY(Registers auto& c) { c.y = c.a; set_zn(c, c.y); }
[[gnu::always_inline]] inline void TSX(Registers auto& c) { c.x = c.sp; set_zn(c, c.x); }
[[gnu::always_inline]] inline void TXA(Registers auto& c) { c.a = c.x; set_zn(c, c.a); }
[[gnu::always_inline]] inline void TXS(Registers auto& c) { c.sp = c.x; }  // the one transfer that sets no flag
[[gnu::always_inline]] inline void TYA(Registers auto& c) { c.a = c.y; set_zn(c, c.a); }

[[gnu::always_inline]] inline void PHA(Registers auto& c) { stack_push_byte(c, c.a); }
// B exists only in the pushed copy.
[[gnu::always_inline]] inline void PHP(Registers auto& c) { stack_push_byte(c, c.status | FLAG_B); }
[[gnu::always_inline]] inline void PLA(Registers auto& c) { c.a = stack_pull_byte(c); set_zn(c, c.a); }
[[gnu::always_inline]] inline void PLP(Registers auto& c) { c.status = stack_pull_byte(c) | FLAG_CONSTANT; }

template <u8 FLAG> [[gnu::always_inline]] inline void clear_flag(Registers auto& c) { c.status &= static_cast<u8>(~FLAG); }
template <u8 FLAG> [[gnu::always_inline]] inline void set_flag(Registers auto& c) { c.status |= FLAG; }
