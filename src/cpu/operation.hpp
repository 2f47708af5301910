// The operations of the three opcode grids, and which of them pay the
// page-crossing cycle of an indexed address.
#pragma once

#include "bus/bus.hpp"
#include "cpu/chip.hpp"

enum class Op : u8 {
    none,  // never in the matrix: marks an unfilled slot
    // transfers, stack, flags, branches and jumps
    LDA, LDX, LDY, STA, STX, STY, TAX, TAY, TSX, TXA, TXS, TYA,
    PHA, PHP, PLA, PLP, CLC, CLD, CLI, CLV, SEC, SED, SEI,
    BPL, BMI, BVC, BVS, BCC, BCS, BNE, BEQ, JMP, JSR, RTS, RTI, BRK,
    // arithmetic, logic, compare and shift
    ADC, AND, ASL, BIT, CMP, CPX, CPY, DEC, DEX, DEY, EOR, INC, INX, INY,
    LSR, ORA, ROL, ROR, SBC,
    // undocumented combinations, and the no-operation
    LAX, SAX, DCP, ISB, SLO, RLA, SRE, RRA, NOP,
    // the NMOS chip's other undocumented opcodes, and the ones that jam it
    ANC, ALR, ARR, SBX, LAS, ANE, LXA, SHA, SHX, SHY, TAS, JAM,
    // the 65C02's additions
    BRA, PHX, PHY, PLX, PLY, STZ, TRB, TSB, RMB, SMB, BBR, BBS, WAI, STP,
};

inline constexpr int OPERATION_COUNT = static_cast<int>(Op::NOP);  // the 64 of this machine's 6502, without none
inline constexpr Op FIRST_6502X_OPERATION = Op::ANC;
inline constexpr Op FIRST_65C02_OPERATION = Op::BRA;
inline constexpr int ALL_OPERATIONS = static_cast<int>(Op::STP);

// Only these six NOPs read like a load on the real part and so pay for a
// page crossing; 0x9C and the other multi-byte NOPs never do.
[[nodiscard]] constexpr bool nop_pays_page_cycle(u8 opcode) {
    switch (opcode) {
    case 0x1C: case 0x3C: case 0x5C: case 0x7C: case 0xDC: case 0xFC: return true;
    default: return false;
    }
}

// page_penalty_op of an operation. The read-modify-write combinations
// (DCP ISB SLO RLA SRE RRA) end with a paying read but take the cycle back,
// so they never pay: their base count already holds everything.
// The 65C02 also charges it to BIT abs,X and to the shifts and rotates in
// abs,X (their only indexed mode), but to none of its NOPs.
template <Chip P = Chip::m6502>
[[nodiscard]] constexpr bool pays_page_cycle(Op op, u8 opcode) {
    switch (op) {
    case Op::ADC: case Op::AND: case Op::CMP: case Op::EOR: case Op::LDA:
    case Op::LDX: case Op::LDY: case Op::ORA: case Op::SBC: case Op::LAX: case Op::LAS: return true;
    case Op::BIT: case Op::ASL: case Op::LSR: case Op::ROL: case Op::ROR: return P == Chip::m65c02;
    case Op::NOP: return P != Chip::m65c02 && nop_pays_page_cycle(opcode);
    default: return false;
    }
}
