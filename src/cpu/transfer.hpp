// Loads, stores, register transfers, the stack and the flag instructions.
#pragma once

#include "cpu/modes.hpp"

template <Mode M> [[gnu::always_inline]] inline void LDA() { cpu.a = fetch_operand<M>(); set_zn(cpu.a); }
template <Mode M> [[gnu::always_inline]] inline void LDX() { cpu.x = fetch_operand<M>(); set_zn(cpu.x); }
template <Mode M> [[gnu::always_inline]] inline void LDY() { cpu.y = fetch_operand<M>(); set_zn(cpu.y); }

// A store writes once and never reads its target first.
template <Mode M> [[gnu::always_inline]] inline void STA() { store_result<M>(cpu.a); }
template <Mode M> [[gnu::always_inline]] inline void STX() { store_result<M>(cpu.x); }
template <Mode M> [[gnu::always_inline]] inline void STY() { store_result<M>(cpu.y); }

[[gnu::always_inline]] inline void TAX() { cpu.x = cpu.a; set_zn(cpu.x); }
[[gnu::always_inline]] inline void TAY() { cpu.y = cpu.a; set_zn(cpu.y); }
[[gnu::always_inline]] inline void TSX() { cpu.x = cpu.sp; set_zn(cpu.x); }
[[gnu::always_inline]] inline void TXA() { cpu.a = cpu.x; set_zn(cpu.a); }
[[gnu::always_inline]] inline void TXS() { cpu.sp = cpu.x; }  // the one transfer that sets no flag
[[gnu::always_inline]] inline void TYA() { cpu.a = cpu.y; set_zn(cpu.a); }

[[gnu::always_inline]] inline void PHA() { stack_push_byte(cpu.a); }
// B exists only in the pushed copy.
[[gnu::always_inline]] inline void PHP() { stack_push_byte(cpu.status | FLAG_B); }
[[gnu::always_inline]] inline void PLA() { cpu.a = stack_pull_byte(); set_zn(cpu.a); }
[[gnu::always_inline]] inline void PLP() { cpu.status = stack_pull_byte() | FLAG_CONSTANT; }

template <u8 FLAG> [[gnu::always_inline]] inline void clear_flag() { cpu.status &= static_cast<u8>(~FLAG); }
template <u8 FLAG> [[gnu::always_inline]] inline void set_flag() { cpu.status |= FLAG; }
