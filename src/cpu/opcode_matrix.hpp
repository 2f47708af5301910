// The instruction set, written once: row = high nibble, column = low nibble,
// each cell (operation, addressing mode, base cycles). Dispatch, the three
// decode tables and the cycle rules all derive from this grid.
#pragma once

#include <array>

#include "cpu/modes.hpp"
#include "cpu/operation.hpp"

struct OpcodeEntry {
    Op op;
    Mode mode;
    u8 cycles;
};

namespace detail {
constexpr std::array<OpcodeEntry, 256> build_opcode_matrix() {
    using enum Op;
    using enum Mode;
    return {{
//        x0          x1          x2          x3          x4          x5          x6          x7          x8          x9          xA          xB          xC          xD          xE          xF
/* 0x */ {BRK,imp,7},{ORA,izx,6},{NOP,imp,2},{SLO,izx,8},{NOP,zp,3}, {ORA,zp,3}, {ASL,zp,5}, {SLO,zp,5}, {PHP,imp,3},{ORA,imm,2},{ASL,acc,2},{NOP,imm,2},{NOP,abs,4},{ORA,abs,4},{ASL,abs,6},{SLO,abs,6},
/* 1x */ {BPL,rel,2},{ORA,izy,5},{NOP,imp,2},{SLO,izy,8},{NOP,zpx,4},{ORA,zpx,4},{ASL,zpx,6},{SLO,zpx,6},{CLC,imp,2},{ORA,aby,4},{NOP,imp,2},{SLO,aby,7},{NOP,abx,4},{ORA,abx,4},{ASL,abx,7},{SLO,abx,7},
/* 2x */ {JSR,abs,6},{AND,izx,6},{NOP,imp,2},{RLA,izx,8},{BIT,zp,3}, {AND,zp,3}, {ROL,zp,5}, {RLA,zp,5}, {PLP,imp,4},{AND,imm,2},{ROL,acc,2},{NOP,imm,2},{BIT,abs,4},{AND,abs,4},{ROL,abs,6},{RLA,abs,6},
/* 3x */ {BMI,rel,2},{AND,izy,5},{NOP,imp,2},{RLA,izy,8},{NOP,zpx,4},{AND,zpx,4},{ROL,zpx,6},{RLA,zpx,6},{SEC,imp,2},{AND,aby,4},{NOP,imp,2},{RLA,aby,7},{NOP,abx,4},{AND,abx,4},{ROL,abx,7},{RLA,abx,7},
/* 4x */ {RTI,imp,6},{EOR,izx,6},{NOP,imp,2},{SRE,izx,8},{NOP,zp,3}, {EOR,zp,3}, {LSR,zp,5}, {SRE,zp,5}, {PHA,imp,3},{EOR,imm,2},{LSR,acc,2},{NOP,imm,2},{JMP,abs,3},{EOR,abs,4},{LSR,abs,6},{SRE,abs,6},
/* 5x */ {BVC,rel,2},{EOR,izy,5},{NOP,imp,2},{SRE,izy,8},{NOP,zpx,4},{EOR,zpx,4},{LSR,zpx,6},{SRE,zpx,6},{CLI,imp,2},{EOR,aby,4},{NOP,imp,2},{SRE,aby,7},{NOP,abx,4},{EOR,abx,4},{LSR,abx,7},{SRE,abx,7},
/* 6x */ {RTS,imp,6},{ADC,izx,6},{NOP,imp,2},{RRA,izx,8},{NOP,zp,3}, {ADC,zp,3}, {ROR,zp,5}, {RRA,zp,5}, {PLA,imp,4},{ADC,imm,2},{ROR,acc,2},{NOP,imm,2},{JMP,ind,5},{ADC,abs,4},{ROR,abs,6},{RRA,abs,6},
/* 7x */ {BVS,rel,2},{ADC,izy,5},{NOP,imp,2},{RRA,izy,8},{NOP,zpx,4},{ADC,zpx,4},{ROR,zpx,6},{RRA,zpx,6},{SEI,imp,2},{ADC,aby,4},{NOP,imp,2},{RRA,aby,7},{NOP,abx,4},{ADC,abx,4},{ROR,abx,7},{RRA,abx,7},
/* 8x */ {NOP,imm,2},{STA,izx,6},{NOP,imm,2},{SAX,izx,6},{STY,zp,3}, {STA,zp,3}, {STX,zp,3}, {SAX,zp,3}, {DEY,imp,2},{NOP,imm,2},{TXA,imp,2},{NOP,imm,2},{STY,abs,4},{STA,abs,4},{STX,abs,4},{SAX,abs,4},
/* 9x */ {BCC,rel,2},{STA,izy,6},{NOP,imp,2},{NOP,izy,6},{STY,zpx,4},{STA,zpx,4},{STX,zpy,4},{SAX,zpy,4},{TYA,imp,2},{STA,aby,5},{TXS,imp,2},{NOP,aby,5},{NOP,abx,5},{STA,abx,5},{NOP,aby,5},{NOP,aby,5},
/* Ax */ {LDY,imm,2},{LDA,izx,6},{LDX,imm,2},{LAX,izx,6},{LDY,zp,3}, {LDA,zp,3}, {LDX,zp,3}, {LAX,zp,3}, {TAY,imp,2},{LDA,imm,2},{TAX,imp,2},{NOP,imm,2},{LDY,abs,4},{LDA,abs,4},{LDX,abs,4},{LAX,abs,4},
/* Bx */ {BCS,rel,2},{LDA,izy,5},{NOP,imp,2},{LAX,izy,5},{LDY,zpx,4},{LDA,zpx,4},{LDX,zpy,4},{LAX,zpy,4},{CLV,imp,2},{LDA,aby,4},{TSX,imp,2},{LAX,aby,4},{LDY,abx,4},{LDA,abx,4},{LDX,aby,4},{LAX,aby,4},
/* Cx */ {CPY,imm,2},{CMP,izx,6},{NOP,imm,2},{DCP,izx,8},{CPY,zp,3}, {CMP,zp,3}, {DEC,zp,5}, {DCP,zp,5}, {INY,imp,2},{CMP,imm,2},{DEX,imp,2},{NOP,imm,2},{CPY,abs,4},{CMP,abs,4},{DEC,abs,6},{DCP,abs,6},
/* Dx */ {BNE,rel,2},{CMP,izy,5},{NOP,imp,2},{DCP,izy,8},{NOP,zpx,4},{CMP,zpx,4},{DEC,zpx,6},{DCP,zpx,6},{CLD,imp,2},{CMP,aby,4},{NOP,imp,2},{DCP,aby,7},{NOP,abx,4},{CMP,abx,4},{DEC,abx,7},{DCP,abx,7},
/* Ex */ {CPX,imm,2},{SBC,izx,6},{NOP,imm,2},{ISB,izx,8},{CPX,zp,3}, {SBC,zp,3}, {INC,zp,5}, {ISB,zp,5}, {INX,imp,2},{SBC,imm,2},{NOP,imp,2},{SBC,imm,2},{CPX,abs,4},{SBC,abs,4},{INC,abs,6},{ISB,abs,6},
/* Fx */ {BEQ,rel,2},{SBC,izy,5},{NOP,imp,2},{ISB,izy,8},{NOP,zpx,4},{SBC,zpx,4},{INC,zpx,6},{ISB,zpx,6},{SED,imp,2},{SBC,aby,4},{NOP,imp,2},{ISB,aby,7},{NOP,abx,4},{SBC,abx,4},{INC,abx,7},{ISB,abx,7},
    }};
}
}  // namespace detail

inline constexpr std::array<OpcodeEntry, 256> opcode_matrix = detail::build_opcode_matrix();

namespace detail {
constexpr bool every_slot_filled() {
    for (const OpcodeEntry& e : opcode_matrix)
        if (e.op == Op::none) return false;
    return true;
}
constexpr bool cycles_in_range() {
    for (const OpcodeEntry& e : opcode_matrix)
        if (e.cycles < 2 || e.cycles > 8) return false;
    return true;
}
// acc marks the accumulator forms of the four shifts and nothing else.
constexpr bool accumulator_only_for_shifts() {
    for (const OpcodeEntry& e : opcode_matrix) {
        const bool shift = e.op == Op::ASL || e.op == Op::LSR || e.op == Op::ROL || e.op == Op::ROR;
        if (e.mode == Mode::acc && !shift) return false;
    }
    return true;
}
// The branches, and only they, use rel.
constexpr bool relative_only_for_branches() {
    for (const OpcodeEntry& e : opcode_matrix) {
        const bool branch = e.op >= Op::BPL && e.op <= Op::BEQ;
        if ((e.mode == Mode::rel) != branch) return false;
    }
    return true;
}
// Every operation and every mode serves at least one opcode.
constexpr bool everything_used() {
    for (int op = 1; op <= OPERATION_COUNT; ++op) {
        bool found = false;
        for (const OpcodeEntry& e : opcode_matrix) found = found || e.op == static_cast<Op>(op);
        if (!found) return false;
    }
    for (int mode = 0; mode < MODE_COUNT; ++mode) {
        bool found = false;
        for (const OpcodeEntry& e : opcode_matrix) found = found || e.mode == static_cast<Mode>(mode);
        if (!found) return false;
    }
    return true;
}
}  // namespace detail

static_assert(detail::every_slot_filled(), "every opcode must decode");
static_assert(OPERATION_COUNT == 64 && detail::everything_used(), "64 operations and 13 modes, all in use");
static_assert(detail::cycles_in_range(), "base cycles run from 2 to 8");
static_assert(detail::accumulator_only_for_shifts());
static_assert(detail::relative_only_for_branches());

// The three decode tables, derived from the grid.
template <typename T, typename F>
constexpr std::array<T, 256> derive_table(F field) {
    std::array<T, 256> table{};
    for (int i = 0; i < 256; ++i) table[i] = field(opcode_matrix[i]);
    return table;
}

inline constexpr auto mode_table = derive_table<Mode>([](const OpcodeEntry& e) { return e.mode; });
inline constexpr auto operation_table = derive_table<Op>([](const OpcodeEntry& e) { return e.op; });
inline constexpr auto cycle_table = derive_table<u32>([](const OpcodeEntry& e) { return u32{e.cycles}; });
