// Dispatch generated from the opcode grid: each opcode becomes one handler
// with its mode and operation inlined, reached through a single switch.
#pragma once

#include "cpu/chip_ops.hpp"
#include "cpu/combined.hpp"
#include "cpu/control.hpp"
#include "cpu/opcode_matrix.hpp"

// Runs operation O of processor P on the operand that mode M located (with
// `crossed`, the mode's page test); returns the cycles a taken branch or
// the 65C02's decimal mode adds.
template <Op O, Mode M, Fetch F, Chip P = Chip::m6502, u8 OPCODE = 0>
[[gnu::always_inline]] inline u32 perform(Registers auto& c, [[maybe_unused]] bool crossed = false) {
    if constexpr (O == Op::LDA) LDA<M, F>(c);
    else if constexpr (O == Op::LDX) LDX<M, F>(c);
    else if constexpr (O == Op::LDY) LDY<M, F>(c);
    else if constexpr (O == Op::STA) STA<M, F>(c);
    else if constexpr (O == Op::STX) STX<M, F>(c);
    else if constexpr (O == Op::STY) STY<M, F>(c);
    else if constexpr (O == Op::TAX) TAX(c);
    else if constexpr (O == Op::TAY) TAY(c);
    else if constexpr (O == Op::TSX) TSX(c);
    else if constexpr (O == Op::TXA) TXA(c);
    else if constexpr (O == Op::TXS) TXS(c);
    else if constexpr (O == Op::TYA) TYA(c);
    else if constexpr (O == Op::PHA) PHA(c);
    else if constexpr (O == Op::PHP) PHP(c);
    else if constexpr (O == Op::PLA) PLA(c);
    else if constexpr (O == Op::PLP) PLP(c);
    else if constexpr (O == Op::CLC) clear_flag<FLAG_C>(c);
    else if constexpr (O == Op::CLD) clear_flag<FLAG_D>(c);
    else if constexpr (O == Op::CLI) clear_flag<FLAG_I>(c);
    else if constexpr (O == Op::CLV) clear_flag<FLAG_V>(c);
    else if constexpr (O == Op::SEC) set_flag<FLAG_C>(c);
    else if constexpr (O == Op::SED) set_flag<FLAG_D>(c);
    else if constexpr (O == Op::SEI) set_flag<FLAG_I>(c);
    else if constexpr (O == Op::BPL) return branch<FLAG_N, false>(c);
    else if constexpr (O == Op::BMI) return branch<FLAG_N, true>(c);
    else if constexpr (O == Op::BVC) return branch<FLAG_V, false>(c);
    else if constexpr (O == Op::BVS) return branch<FLAG_V, true>(c);
    else if constexpr (O == Op::BCC) return branch<FLAG_C, false>(c);
    else if constexpr (O == Op::BCS) return branch<FLAG_C, true>(c);
    else if constexpr (O == Op::BNE) return branch<FLAG_Z, false>(c);
    else if constexpr (O == Op::BEQ) return branch<FLAG_Z, true>(c);
    else if constexpr (O == Op::JMP) JMP(c);
    else if constexpr (O == Op::JSR) JSR(c);
    else if constexpr (O == Op::RTS) RTS(c);
    else if constexpr (O == Op::RTI) RTI(c);
    else if constexpr (O == Op::BRK) BRK<P>(c);
    else if constexpr (O == Op::ADC && P == Chip::m65c02) { ADC<M, F, P>(c); return (c.status & FLAG_D) ? 1u : 0u; }
    else if constexpr (O == Op::SBC && P == Chip::m65c02) { SBC<M, F, P>(c); return (c.status & FLAG_D) ? 1u : 0u; }
    else if constexpr (O == Op::ADC) ADC<M, F, P>(c);
    else if constexpr (O == Op::AND) AND<M, F>(c);
    else if constexpr (O == Op::ASL) ASL<M, F>(c);
    else if constexpr (O == Op::BIT) BIT<M, F>(c);
    else if constexpr (O == Op::CMP) CMP<M, F>(c);
    else if constexpr (O == Op::CPX) CPX<M, F>(c);
    else if constexpr (O == Op::CPY) CPY<M, F>(c);
    else if constexpr (O == Op::DEC) DEC<M, F>(c);
    else if constexpr (O == Op::DEX) DEX(c);
    else if constexpr (O == Op::DEY) DEY(c);
    else if constexpr (O == Op::EOR) EOR<M, F>(c);
    else if constexpr (O == Op::INC) INC<M, F>(c);
    else if constexpr (O == Op::INX) INX(c);
    else if constexpr (O == Op::INY) INY(c);
    else if constexpr (O == Op::LSR) LSR<M, F>(c);
    else if constexpr (O == Op::ORA) ORA<M, F>(c);
    else if constexpr (O == Op::ROL) ROL<M, F>(c);
    else if constexpr (O == Op::ROR) ROR<M, F>(c);
    else if constexpr (O == Op::SBC) SBC<M, F, P>(c);
    else if constexpr (O == Op::LAX) LAX<M, F, P>(c);
    else if constexpr (O == Op::SAX) SAX<M, F, P>(c);
    else if constexpr (O == Op::DCP) DCP<M, F, P>(c);
    else if constexpr (O == Op::ISB) ISB<M, F, P>(c);
    else if constexpr (O == Op::SLO) SLO<M, F, P>(c);
    else if constexpr (O == Op::RLA) RLA<M, F, P>(c);
    else if constexpr (O == Op::SRE) SRE<M, F, P>(c);
    else if constexpr (O == Op::RRA) RRA<M, F, P>(c);
    else if constexpr (O == Op::NOP) NOP(c);
    else if constexpr (O == Op::ANC) ANC<M, F>(c);
    else if constexpr (O == Op::ALR) ALR<M, F>(c);
    else if constexpr (O == Op::ARR) ARR<M, F>(c);
    else if constexpr (O == Op::SBX) SBX<M, F>(c);
    else if constexpr (O == Op::LAS) LAS<M, F>(c);
    else if constexpr (O == Op::ANE) ANE<M, F>(c);
    else if constexpr (O == Op::LXA) LXA<M, F>(c);
    else if constexpr (O == Op::SHA) SHA<M, F>(c, crossed);
    else if constexpr (O == Op::SHX) SHX<M, F>(c, crossed);
    else if constexpr (O == Op::SHY) SHY<M, F>(c, crossed);
    else if constexpr (O == Op::TAS) TAS<M, F>(c, crossed);
    else if constexpr (O == Op::JAM || O == Op::STP) halt(c, OPCODE);
    else if constexpr (O == Op::BRA) return branch<0, false>(c);  // always taken
    else if constexpr (O == Op::PHX) PHX(c);
    else if constexpr (O == Op::PHY) PHY(c);
    else if constexpr (O == Op::PLX) PLX(c);
    else if constexpr (O == Op::PLY) PLY(c);
    else if constexpr (O == Op::STZ) STZ<M, F>(c);
    else if constexpr (O == Op::TRB) test_and_change_bits<M, F, false>(c);
    else if constexpr (O == Op::TSB) test_and_change_bits<M, F, true>(c);
    else if constexpr (O == Op::RMB || O == Op::SMB) change_memory_bit<M, F, OPCODE>(c);
    else if constexpr (O == Op::BBR || O == Op::BBS) return branch_on_memory_bit<M, F, OPCODE>(c);
    else if constexpr (O == Op::WAI) WAI(c);
    else static_assert(O != O, "operation without an implementation");
    return 0;
}

// One opcode of processor P after its fetch: mode, operation, cycles.
template <Chip P, u8 OPCODE, Fetch F>
[[gnu::always_inline]] inline u32 execute(Cpu& c) {
    constexpr OpcodeEntry entry = opcode_grid<P>[OPCODE];
    const bool page_penalty_addr = address_operand<entry.mode, F>(c) != 0;
    const u32 branch_cycles = perform<entry.op, entry.mode, F, P, OPCODE>(c, page_penalty_addr);
    constexpr bool page_penalty_op = pays_page_cycle<P>(entry.op, OPCODE);
    return entry.cycles + branch_cycles + (page_penalty_op && page_penalty_addr ? 1u : 0u);
}

template <Chip P, Fetch F>
[[gnu::always_inline]] inline u32 execute_opcode(Cpu& c, u8 opcode) {
    switch (opcode) {
#define EMU6502_CASE(n) \
    case (n): return execute<P, (n), F>(c);
#define EMU6502_CASE4(n) EMU6502_CASE(n) EMU6502_CASE((n) + 1) EMU6502_CASE((n) + 2) EMU6502_CASE((n) + 3)
#define EMU6502_CASE16(n) EMU6502_CASE4(n) EMU6502_CASE4((n) + 4) EMU6502_CASE4((n) + 8) EMU6502_CASE4((n) + 12)
#define EMU6502_CASE64(n) EMU6502_CASE16(n) EMU6502_CASE16((n) + 16) EMU6502_CASE16((n) + 32) EMU6502_CASE16((n) + 48)
        EMU6502_CASE64(0x00) EMU6502_CASE64(0x40) EMU6502_CASE64(0x80) EMU6502_CASE64(0xC0)
#undef EMU6502_CASE64
#undef EMU6502_CASE16
#undef EMU6502_CASE4
#undef EMU6502_CASE
    }
    __builtin_unreachable();
}

// A run loop may keep the registers in a local copy of `cpu`, which the
// compiler then holds in host registers. These bring the copy and `cpu` in
// line around anything that looks at `cpu`. Publishing is out of line and
// takes the registers by value, so that the copy is never assembled in
// memory on the hot path; the working values die with each instruction and
// the counters live in `cpu`.
[[gnu::cold, gnu::noinline]] void publish_registers(u16 pc, u8 sp, u8 a, u8 x, u8 y, u8 status);

[[gnu::always_inline]] inline void publish_registers(const Cpu& from) {
    publish_registers(from.pc, from.sp, from.a, from.x, from.y, from.status);
}

[[gnu::always_inline]] inline void take_registers(Cpu& to) {
    to.pc = cpu.pc;
    to.sp = cpu.sp;
    to.a = cpu.a;
    to.x = cpu.x;
    to.y = cpu.y;
    to.status = cpu.status;
}

// An instruction whose bytes may lie on the device page, executed on `cpu`
// through the bus for every byte; out of line and rare.
template <Chip P = Chip::m6502>
[[gnu::cold]] u32 execute_instruction_near_devices();

// One instruction that the caller knows to lie away from the device page.
template <Chip P = Chip::m6502>
[[gnu::always_inline]] inline u32 execute_instruction_in_ram(Cpu& c) {
    c.opcode = memory[c.pc++];
    c.status |= FLAG_CONSTANT;
    return execute_opcode<P, Fetch::plain_ram>(c, c.opcode);
}

// execute_instruction<P>(cpu), compiled once per processor, out of line.
template <Chip P = Chip::m6502>
[[gnu::noinline]] u32 execute_instruction_on_cpu();

// Fetch, decode and execute one instruction on `c` (`cpu` or a run loop's
// copy); returns its cycles. No counters, no hook: callers add those.
template <Chip P = Chip::m6502>
[[gnu::always_inline]] inline u32 execute_instruction(Cpu& c) {
    if (instruction_near_devices(c.pc)) [[unlikely]] {
        if (&c == &cpu) return execute_instruction_near_devices<P>();
        publish_registers(c);
        const u32 cycles = execute_instruction_near_devices<P>();
        take_registers(c);
        return cycles;
    }
    return execute_instruction_in_ram<P>(c);
}
