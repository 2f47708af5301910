// What an operation does with memory beside its own bytes: its operand
// (read, written, or both), the stack page, the IRQ vector. The monitor's
// watchpoints work out an instruction's exact accesses from it, and the
// observed threaded code which pages an opcode can touch at all.
#pragma once

#include "cpu/modes.hpp"
#include "cpu/operation.hpp"

enum class OperandUse : u8 { none, read, write, modify };

[[nodiscard]] constexpr OperandUse operand_use(Op op) {
    switch (op) {
    case Op::LDA: case Op::LDX: case Op::LDY: case Op::ADC: case Op::AND: case Op::BIT: case Op::CMP:
    case Op::CPX: case Op::CPY: case Op::EOR: case Op::ORA: case Op::SBC: case Op::LAX:
    case Op::LAS: case Op::BBR: case Op::BBS: return OperandUse::read;
    case Op::STA: case Op::STX: case Op::STY: case Op::SAX: case Op::STZ:
    case Op::SHA: case Op::SHX: case Op::SHY: case Op::TAS: return OperandUse::write;
    case Op::ASL: case Op::LSR: case Op::ROL: case Op::ROR: case Op::INC: case Op::DEC:
    case Op::SLO: case Op::RLA: case Op::SRE: case Op::RRA: case Op::DCP: case Op::ISB:
    case Op::TRB: case Op::TSB: case Op::RMB: case Op::SMB: return OperandUse::modify;
    default: return OperandUse::none;
    }
}

// The modes whose operand lies in memory at effective_address.
[[nodiscard]] constexpr bool operand_in_memory(Mode mode) {
    switch (mode) {
    case Mode::zp: case Mode::zpx: case Mode::zpy: case Mode::zpr: case Mode::abs: case Mode::abx:
    case Mode::aby: case Mode::izx: case Mode::izy: case Mode::izp: return true;
    default: return false;
    }
}

// The modes that read a pointer on page zero, and those whose pointer lies
// anywhere (the indirect jumps).
[[nodiscard]] constexpr bool pointer_in_zero_page(Mode mode) {
    return mode == Mode::izx || mode == Mode::izy || mode == Mode::izp;
}
[[nodiscard]] constexpr bool pointer_anywhere(Mode mode) {
    return mode == Mode::ind || mode == Mode::iab || mode == Mode::iax;
}

[[nodiscard]] constexpr bool uses_stack(Op op) {
    switch (op) {
    case Op::PHA: case Op::PHP: case Op::PHX: case Op::PHY: case Op::PLA: case Op::PLP: case Op::PLX:
    case Op::PLY: case Op::JSR: case Op::RTS: case Op::RTI: case Op::BRK: return true;
    default: return false;
    }
}
