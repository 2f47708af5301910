// The instruction sets, each written once: row = high nibble, column = low
// nibble, each cell (operation, addressing mode, base cycles). Dispatch, the
// three decode tables and the cycle rules all derive from these grids.
//  - 6502, this machine's processor: the grid below.
//  - 6502X, the NMOS chip: the same grid with the slots where the chip does
//    something else overridden (a short list reads better than a second
//    grid that is 90 % the same).
//  - 65C02: its own grid, since it changes over a hundred slots; a
//    static_assert ties its documented opcodes to the 6502's.
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

struct Override {
    u8 opcode;
    OpcodeEntry entry;
};

// The NMOS chip: what this machine runs as NOPs, the chip runs as ANC, ALR,
// ARR, ANE, LXA, SBX, LAS and the high-byte stores, or jams on; BB is LAS.
inline constexpr Override NMOS_OVERRIDES[] = {
    {0x0B, {Op::ANC, Mode::imm, 2}}, {0x2B, {Op::ANC, Mode::imm, 2}}, {0x4B, {Op::ALR, Mode::imm, 2}},
    {0x6B, {Op::ARR, Mode::imm, 2}}, {0x8B, {Op::ANE, Mode::imm, 2}}, {0xAB, {Op::LXA, Mode::imm, 2}},
    {0xCB, {Op::SBX, Mode::imm, 2}}, {0xBB, {Op::LAS, Mode::aby, 4}}, {0x93, {Op::SHA, Mode::izy, 6}},
    {0x9F, {Op::SHA, Mode::aby, 5}}, {0x9E, {Op::SHX, Mode::aby, 5}}, {0x9C, {Op::SHY, Mode::abx, 5}},
    {0x9B, {Op::TAS, Mode::aby, 5}},
    {0x02, {Op::JAM, Mode::imp, 2}}, {0x12, {Op::JAM, Mode::imp, 2}}, {0x22, {Op::JAM, Mode::imp, 2}},
    {0x32, {Op::JAM, Mode::imp, 2}}, {0x42, {Op::JAM, Mode::imp, 2}}, {0x52, {Op::JAM, Mode::imp, 2}},
    {0x62, {Op::JAM, Mode::imp, 2}}, {0x72, {Op::JAM, Mode::imp, 2}}, {0x92, {Op::JAM, Mode::imp, 2}},
    {0xB2, {Op::JAM, Mode::imp, 2}}, {0xD2, {Op::JAM, Mode::imp, 2}}, {0xF2, {Op::JAM, Mode::imp, 2}},
};

constexpr std::array<OpcodeEntry, 256> build_6502x_matrix() {
    std::array<OpcodeEntry, 256> grid = build_opcode_matrix();
    for (const Override& o : NMOS_OVERRIDES) grid[o.opcode] = o.entry;
    return grid;
}

// The WDC W65C02S. RMB/SMB and BBR/BBS carry their bit number in the high
// nibble; the undefined opcodes are NOPs of the chip's length and time
// (one byte and one cycle in columns 3 and B).
constexpr std::array<OpcodeEntry, 256> build_65c02_matrix() {
    using enum Op;
    using enum Mode;
    return {{
//        x0          x1          x2          x3          x4          x5          x6          x7          x8          x9          xA          xB          xC          xD          xE          xF
/* 0x */ {BRK,imp,7},{ORA,izx,6},{NOP,imm,2},{NOP,imp,1},{TSB,zp,5}, {ORA,zp,3}, {ASL,zp,5}, {RMB,zp,5}, {PHP,imp,3},{ORA,imm,2},{ASL,acc,2},{NOP,imp,1},{TSB,abs,6},{ORA,abs,4},{ASL,abs,6},{BBR,zpr,5},
/* 1x */ {BPL,rel,2},{ORA,izy,5},{ORA,izp,5},{NOP,imp,1},{TRB,zp,5}, {ORA,zpx,4},{ASL,zpx,6},{RMB,zp,5}, {CLC,imp,2},{ORA,aby,4},{INC,acc,2},{NOP,imp,1},{TRB,abs,6},{ORA,abx,4},{ASL,abx,6},{BBR,zpr,5},
/* 2x */ {JSR,abs,6},{AND,izx,6},{NOP,imm,2},{NOP,imp,1},{BIT,zp,3}, {AND,zp,3}, {ROL,zp,5}, {RMB,zp,5}, {PLP,imp,4},{AND,imm,2},{ROL,acc,2},{NOP,imp,1},{BIT,abs,4},{AND,abs,4},{ROL,abs,6},{BBR,zpr,5},
/* 3x */ {BMI,rel,2},{AND,izy,5},{AND,izp,5},{NOP,imp,1},{BIT,zpx,4},{AND,zpx,4},{ROL,zpx,6},{RMB,zp,5}, {SEC,imp,2},{AND,aby,4},{DEC,acc,2},{NOP,imp,1},{BIT,abx,4},{AND,abx,4},{ROL,abx,6},{BBR,zpr,5},
/* 4x */ {RTI,imp,6},{EOR,izx,6},{NOP,imm,2},{NOP,imp,1},{NOP,zp,3}, {EOR,zp,3}, {LSR,zp,5}, {RMB,zp,5}, {PHA,imp,3},{EOR,imm,2},{LSR,acc,2},{NOP,imp,1},{JMP,abs,3},{EOR,abs,4},{LSR,abs,6},{BBR,zpr,5},
/* 5x */ {BVC,rel,2},{EOR,izy,5},{EOR,izp,5},{NOP,imp,1},{NOP,zpx,4},{EOR,zpx,4},{LSR,zpx,6},{RMB,zp,5}, {CLI,imp,2},{EOR,aby,4},{PHY,imp,3},{NOP,imp,1},{NOP,abs,8},{EOR,abx,4},{LSR,abx,6},{BBR,zpr,5},
/* 6x */ {RTS,imp,6},{ADC,izx,6},{NOP,imm,2},{NOP,imp,1},{STZ,zp,3}, {ADC,zp,3}, {ROR,zp,5}, {RMB,zp,5}, {PLA,imp,4},{ADC,imm,2},{ROR,acc,2},{NOP,imp,1},{JMP,iab,6},{ADC,abs,4},{ROR,abs,6},{BBR,zpr,5},
/* 7x */ {BVS,rel,2},{ADC,izy,5},{ADC,izp,5},{NOP,imp,1},{STZ,zpx,4},{ADC,zpx,4},{ROR,zpx,6},{RMB,zp,5}, {SEI,imp,2},{ADC,aby,4},{PLY,imp,4},{NOP,imp,1},{JMP,iax,6},{ADC,abx,4},{ROR,abx,6},{BBR,zpr,5},
/* 8x */ {BRA,rel,2},{STA,izx,6},{NOP,imm,2},{NOP,imp,1},{STY,zp,3}, {STA,zp,3}, {STX,zp,3}, {SMB,zp,5}, {DEY,imp,2},{BIT,imm,2},{TXA,imp,2},{NOP,imp,1},{STY,abs,4},{STA,abs,4},{STX,abs,4},{BBS,zpr,5},
/* 9x */ {BCC,rel,2},{STA,izy,6},{STA,izp,5},{NOP,imp,1},{STY,zpx,4},{STA,zpx,4},{STX,zpy,4},{SMB,zp,5}, {TYA,imp,2},{STA,aby,5},{TXS,imp,2},{NOP,imp,1},{STZ,abs,4},{STA,abx,5},{STZ,abx,5},{BBS,zpr,5},
/* Ax */ {LDY,imm,2},{LDA,izx,6},{LDX,imm,2},{NOP,imp,1},{LDY,zp,3}, {LDA,zp,3}, {LDX,zp,3}, {SMB,zp,5}, {TAY,imp,2},{LDA,imm,2},{TAX,imp,2},{NOP,imp,1},{LDY,abs,4},{LDA,abs,4},{LDX,abs,4},{BBS,zpr,5},
/* Bx */ {BCS,rel,2},{LDA,izy,5},{LDA,izp,5},{NOP,imp,1},{LDY,zpx,4},{LDA,zpx,4},{LDX,zpy,4},{SMB,zp,5}, {CLV,imp,2},{LDA,aby,4},{TSX,imp,2},{NOP,imp,1},{LDY,abx,4},{LDA,abx,4},{LDX,aby,4},{BBS,zpr,5},
/* Cx */ {CPY,imm,2},{CMP,izx,6},{NOP,imm,2},{NOP,imp,1},{CPY,zp,3}, {CMP,zp,3}, {DEC,zp,5}, {SMB,zp,5}, {INY,imp,2},{CMP,imm,2},{DEX,imp,2},{WAI,imp,3},{CPY,abs,4},{CMP,abs,4},{DEC,abs,6},{BBS,zpr,5},
/* Dx */ {BNE,rel,2},{CMP,izy,5},{CMP,izp,5},{NOP,imp,1},{NOP,zpx,4},{CMP,zpx,4},{DEC,zpx,6},{SMB,zp,5}, {CLD,imp,2},{CMP,aby,4},{PHX,imp,3},{STP,imp,3},{NOP,abs,4},{CMP,abx,4},{DEC,abx,7},{BBS,zpr,5},
/* Ex */ {CPX,imm,2},{SBC,izx,6},{NOP,imm,2},{NOP,imp,1},{CPX,zp,3}, {SBC,zp,3}, {INC,zp,5}, {SMB,zp,5}, {INX,imp,2},{SBC,imm,2},{NOP,imp,2},{NOP,imp,1},{CPX,abs,4},{SBC,abs,4},{INC,abs,6},{BBS,zpr,5},
/* Fx */ {BEQ,rel,2},{SBC,izy,5},{SBC,izp,5},{NOP,imp,1},{NOP,zpx,4},{SBC,zpx,4},{INC,zpx,6},{SMB,zp,5}, {SED,imp,2},{SBC,aby,4},{PLX,imp,4},{NOP,imp,1},{NOP,abs,4},{SBC,abx,4},{INC,abx,7},{BBS,zpr,5},
    }};
}
}  // namespace detail

inline constexpr std::array<OpcodeEntry, 256> opcode_matrix = detail::build_opcode_matrix();

template <Chip P>
inline constexpr std::array<OpcodeEntry, 256> opcode_grid = P == Chip::m6502    ? opcode_matrix
                                                            : P == Chip::m6502x ? detail::build_6502x_matrix()
                                                                                : detail::build_65c02_matrix();

// The grid of a processor chosen at run time: for looking, not for running.
[[nodiscard]] constexpr const std::array<OpcodeEntry, 256>& opcode_grid_of(Chip chip) {
    switch (chip) {
    case Chip::m6502x: return opcode_grid<Chip::m6502x>;
    case Chip::m65c02: return opcode_grid<Chip::m65c02>;
    case Chip::m6502: break;
    }
    return opcode_grid<Chip::m6502>;
}

namespace detail {
using Grid = std::array<OpcodeEntry, 256>;

constexpr bool every_slot_filled(const Grid& grid) {
    for (const OpcodeEntry& e : grid)
        if (e.op == Op::none) return false;
    return true;
}
constexpr bool cycles_in_range(const Grid& grid, int fewest) {
    for (const OpcodeEntry& e : grid)
        if (e.cycles < fewest || e.cycles > 8) return false;
    return true;
}
[[nodiscard]] constexpr bool is_shift(Op op) { return op == Op::ASL || op == Op::LSR || op == Op::ROL || op == Op::ROR; }
[[nodiscard]] constexpr bool is_branch(Op op) { return (op >= Op::BPL && op <= Op::BEQ) || op == Op::BRA; }
// acc marks the accumulator forms of the four shifts (and on the 65C02 of
// INC and DEC) and nothing else.
constexpr bool accumulator_only_for(const Grid& grid, bool inc_dec) {
    for (const OpcodeEntry& e : grid) {
        const bool allowed = is_shift(e.op) || (inc_dec && (e.op == Op::INC || e.op == Op::DEC));
        if (e.mode == Mode::acc && !allowed) return false;
    }
    return true;
}
// The branches, and only they, use rel; BBR and BBS, and only they, zpr.
constexpr bool relative_only_for_branches(const Grid& grid) {
    for (const OpcodeEntry& e : grid) {
        if ((e.mode == Mode::rel) != is_branch(e.op)) return false;
        if ((e.mode == Mode::zpr) != (e.op == Op::BBR || e.op == Op::BBS)) return false;
    }
    return true;
}
// The chip's operations and modes, each serving at least one opcode, and no other.
template <Chip P>
constexpr bool chip_has(Op op) {
    const bool combined = op >= Op::LAX && op <= Op::RRA;
    if (op == Op::none) return false;
    if (op < FIRST_6502X_OPERATION) return P != Chip::m65c02 || !combined;
    if (op < FIRST_65C02_OPERATION) return P == Chip::m6502x;
    return P == Chip::m65c02;
}
template <Chip P>
constexpr bool chip_has(Mode mode) {
    if (static_cast<int>(mode) < MODE_COUNT) return P != Chip::m65c02 || mode != Mode::ind;
    return P == Chip::m65c02;
}
template <Chip P>
constexpr bool uses_exactly_its_own(const Grid& grid) {
    for (int op = 0; op <= ALL_OPERATIONS; ++op) {
        bool found = false;
        for (const OpcodeEntry& e : grid) found = found || e.op == static_cast<Op>(op);
        if (found != chip_has<P>(static_cast<Op>(op))) return false;
    }
    for (int mode = 0; mode < ALL_MODES; ++mode) {
        bool found = false;
        for (const OpcodeEntry& e : grid) found = found || e.mode == static_cast<Mode>(mode);
        if (found != chip_has<P>(static_cast<Mode>(mode))) return false;
    }
    return true;
}
template <Chip P>
constexpr bool well_formed() {
    const Grid& grid = opcode_grid<P>;
    return every_slot_filled(grid) && uses_exactly_its_own<P>(grid) &&
           cycles_in_range(grid, P == Chip::m65c02 ? 1 : 2) && accumulator_only_for(grid, P == Chip::m65c02) &&
           relative_only_for_branches(grid);
}
// Each override of the NMOS chip changes its slot.
constexpr bool overrides_all_change_something() {
    for (const Override& o : NMOS_OVERRIDES) {
        const OpcodeEntry& before = opcode_matrix[o.opcode];
        if (before.op == o.entry.op && before.mode == o.entry.mode && before.cycles == o.entry.cycles) return false;
    }
    return true;
}
// The 65C02 keeps every documented opcode with its mode and cycles, except
// JMP (abs), which no longer wraps in its page and takes 6, and the shifts
// in abs,X, which take 6 (plus one on a page crossing).
constexpr bool documented_opcodes_kept_on_65c02() {
    for (int i = 0; i < 256; ++i) {
        const OpcodeEntry& nmos = opcode_matrix[i];
        const OpcodeEntry& cmos = opcode_grid<Chip::m65c02>[i];
        if (nmos.op >= Op::LAX || i == 0xEB) continue;  // undocumented
        if (i == 0x6C) {
            if (cmos.op != Op::JMP || cmos.mode != Mode::iab || cmos.cycles != 6) return false;
            continue;
        }
        const u8 cycles = is_shift(nmos.op) && nmos.mode == Mode::abx ? 6 : nmos.cycles;
        if (cmos.op != nmos.op || cmos.mode != nmos.mode || cmos.cycles != cycles) return false;
    }
    return true;
}
}  // namespace detail

static_assert(OPERATION_COUNT == 64 && MODE_COUNT == 13);
static_assert(detail::well_formed<Chip::m6502>(), "this machine's 6502: every slot, its 64 operations and 13 modes");
static_assert(detail::well_formed<Chip::m6502x>(), "6502X: every slot, its operations and modes");
static_assert(detail::well_formed<Chip::m65c02>(), "65C02: every slot, its operations and modes");
static_assert(detail::overrides_all_change_something());
static_assert(detail::documented_opcodes_kept_on_65c02());

// The three decode tables of each grid.
template <typename T, Chip P = Chip::m6502, typename F>
constexpr std::array<T, 256> derive_table(F field) {
    std::array<T, 256> table{};
    for (int i = 0; i < 256; ++i) table[i] = field(opcode_grid<P>[i]);
    return table;
}

template <Chip P>
inline constexpr auto mode_table_of = derive_table<Mode, P>([](const OpcodeEntry& e) { return e.mode; });
template <Chip P>
inline constexpr auto operation_table_of = derive_table<Op, P>([](const OpcodeEntry& e) { return e.op; });
template <Chip P>
inline constexpr auto cycle_table_of = derive_table<u32, P>([](const OpcodeEntry& e) { return u32{e.cycles}; });

inline constexpr auto mode_table = mode_table_of<Chip::m6502>;
inline constexpr auto operation_table = operation_table_of<Chip::m6502>;
inline constexpr auto cycle_table = cycle_table_of<Chip::m6502>;
