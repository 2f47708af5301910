// The 64 operations of the opcode matrix, and which of them pay the
// page-crossing cycle of an indexed address.
#pragma once

#include "bus/bus.hpp"

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
};

inline constexpr int OPERATION_COUNT = static_cast<int>(Op::NOP);  // 64, without none

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
[[nodiscard]] constexpr bool pays_page_cycle(Op op, u8 opcode) {
    switch (op) {
    case Op::ADC: case Op::AND: case Op::CMP: case Op::EOR: case Op::LDA:
    case Op::LDX: case Op::LDY: case Op::ORA: case Op::SBC: case Op::LAX: return true;
    case Op::NOP: return nop_pays_page_cycle(opcode);
    default: return false;
    }
}
