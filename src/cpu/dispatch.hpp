// Dispatch generated from the opcode grid: each opcode becomes one handler
// with its mode and operation inlined, reached through a single switch.
#pragma once

#include "cpu/combined.hpp"
#include "cpu/control.hpp"
#include "cpu/opcode_matrix.hpp"

// Runs operation O on the operand that mode M located; returns the cycles a
// taken branch adds.
template <Op O, Mode M>
[[gnu::always_inline]] inline u32 perform() {
    if constexpr (O == Op::LDA) LDA<M>();
    else if constexpr (O == Op::LDX) LDX<M>();
    else if constexpr (O == Op::LDY) LDY<M>();
    else if constexpr (O == Op::STA) STA<M>();
    else if constexpr (O == Op::STX) STX<M>();
    else if constexpr (O == Op::STY) STY<M>();
    else if constexpr (O == Op::TAX) TAX();
    else if constexpr (O == Op::TAY) TAY();
    else if constexpr (O == Op::TSX) TSX();
    else if constexpr (O == Op::TXA) TXA();
    else if constexpr (O == Op::TXS) TXS();
    else if constexpr (O == Op::TYA) TYA();
    else if constexpr (O == Op::PHA) PHA();
    else if constexpr (O == Op::PHP) PHP();
    else if constexpr (O == Op::PLA) PLA();
    else if constexpr (O == Op::PLP) PLP();
    else if constexpr (O == Op::CLC) clear_flag<FLAG_C>();
    else if constexpr (O == Op::CLD) clear_flag<FLAG_D>();
    else if constexpr (O == Op::CLI) clear_flag<FLAG_I>();
    else if constexpr (O == Op::CLV) clear_flag<FLAG_V>();
    else if constexpr (O == Op::SEC) set_flag<FLAG_C>();
    else if constexpr (O == Op::SED) set_flag<FLAG_D>();
    else if constexpr (O == Op::SEI) set_flag<FLAG_I>();
    else if constexpr (O == Op::BPL) return branch<FLAG_N, false>();
    else if constexpr (O == Op::BMI) return branch<FLAG_N, true>();
    else if constexpr (O == Op::BVC) return branch<FLAG_V, false>();
    else if constexpr (O == Op::BVS) return branch<FLAG_V, true>();
    else if constexpr (O == Op::BCC) return branch<FLAG_C, false>();
    else if constexpr (O == Op::BCS) return branch<FLAG_C, true>();
    else if constexpr (O == Op::BNE) return branch<FLAG_Z, false>();
    else if constexpr (O == Op::BEQ) return branch<FLAG_Z, true>();
    else if constexpr (O == Op::JMP) JMP();
    else if constexpr (O == Op::JSR) JSR();
    else if constexpr (O == Op::RTS) RTS();
    else if constexpr (O == Op::RTI) RTI();
    else if constexpr (O == Op::BRK) BRK();
    else if constexpr (O == Op::ADC) ADC<M>();
    else if constexpr (O == Op::AND) AND<M>();
    else if constexpr (O == Op::ASL) ASL<M>();
    else if constexpr (O == Op::BIT) BIT<M>();
    else if constexpr (O == Op::CMP) CMP<M>();
    else if constexpr (O == Op::CPX) CPX<M>();
    else if constexpr (O == Op::CPY) CPY<M>();
    else if constexpr (O == Op::DEC) DEC<M>();
    else if constexpr (O == Op::DEX) DEX();
    else if constexpr (O == Op::DEY) DEY();
    else if constexpr (O == Op::EOR) EOR<M>();
    else if constexpr (O == Op::INC) INC<M>();
    else if constexpr (O == Op::INX) INX();
    else if constexpr (O == Op::INY) INY();
    else if constexpr (O == Op::LSR) LSR<M>();
    else if constexpr (O == Op::ORA) ORA<M>();
    else if constexpr (O == Op::ROL) ROL<M>();
    else if constexpr (O == Op::ROR) ROR<M>();
    else if constexpr (O == Op::SBC) SBC<M>();
    else if constexpr (O == Op::LAX) LAX<M>();
    else if constexpr (O == Op::SAX) SAX<M>();
    else if constexpr (O == Op::DCP) DCP<M>();
    else if constexpr (O == Op::ISB) ISB<M>();
    else if constexpr (O == Op::SLO) SLO<M>();
    else if constexpr (O == Op::RLA) RLA<M>();
    else if constexpr (O == Op::SRE) SRE<M>();
    else if constexpr (O == Op::RRA) RRA<M>();
    else if constexpr (O == Op::NOP) NOP();
    else static_assert(O != O, "operation without an implementation");
    return 0;
}

// One opcode after its fetch: mode, operation, cycles.
template <u8 OPCODE>
[[gnu::always_inline]] inline u32 execute() {
    constexpr OpcodeEntry entry = opcode_matrix[OPCODE];
    const bool page_penalty_addr = address_operand<entry.mode>();
    const u32 branch_cycles = perform<entry.op, entry.mode>();
    constexpr bool page_penalty_op = pays_page_cycle(entry.op, OPCODE);
    return entry.cycles + branch_cycles + (page_penalty_op && page_penalty_addr ? 1u : 0u);
}

[[gnu::always_inline]] inline u32 execute_opcode(u8 opcode) {
    switch (opcode) {
#define EMU6502_CASE(n) \
    case (n): return execute<(n)>();
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

// Fetch, decode and execute one instruction; returns its cycles. No
// counters, no hook: cpu_step and cpu_exec add those.
[[gnu::always_inline]] inline u32 execute_instruction() {
    cpu.opcode = bus_read(cpu.pc++);
    cpu.status |= FLAG_CONSTANT;
    return execute_opcode(cpu.opcode);
}

// cpu_step's body, for callers that want it inlined into their own loop.
[[gnu::always_inline]] inline u32 cpu_step_inline() {
    const u32 cycles = execute_instruction();
    cpu.cycle_count = cycles;
    ++cpu.instruction_count;
    if (cpu.hook_installed) [[unlikely]]
        cpu.step_hook();
    return cycles;
}
