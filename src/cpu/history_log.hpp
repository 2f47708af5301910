// The instruction history's log (the monitor's hist): a ring of entries
// at a fixed address that the observed threaded code fills at the cost of
// a few stores per instruction. Each instruction the threaded code runs
// notes only where it began, its opcode and the registers its operation
// writes, as they are after it (known when the code is compiled); a full
// set of registers comes wherever the threaded code starts a stretch, and
// with every instruction run one at a time and every interrupt taken.
// Reading forward from a full set gives every instruction's registers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cpu/opcode_matrix.hpp"
#include "cpu/state.hpp"

namespace history {
// What an entry is (the top byte of its head word).
enum Kind : u8 {
    threaded = 0,    // an instruction the threaded code ran: the registers its operation writes, after it
    stepped = 1,     // an instruction run one at a time: every register, before it
    checkpoint = 2,  // no instruction: every register, where a stretch of threaded code starts
    interrupt = 3,   // an interrupt taken: every register as its handler begins, pc at the handler
};
// The registers an entry holds, as a set.
inline constexpr u8 A = 1, X = 2, Y = 4, SP = 8, P = 16, ALL = 31;

// What the threaded code notes of an operation, and how the status after
// it is found again without a store where it can be.
struct Noted {
    u8 fields = 0;  // the registers stored as they are after it (P: the status)
    u8 nz_of = 0;   // else N and Z follow this register (A, X or Y), the other flags unchanged
    u8 set = 0, clear = 0;  // else these flags are set or cleared, the others unchanged
};

// What operation `op` in mode `mode` may change (pc aside). More than it
// changes is never wrong, only dearer: the rare ones keep all.
[[nodiscard]] constexpr Noted noted_by(Op op, Mode mode) {
    switch (op) {
    case Op::STA: case Op::STX: case Op::STY: case Op::STZ: case Op::SAX: case Op::SHA: case Op::SHX:
    case Op::SHY: case Op::NOP: case Op::JMP: case Op::RMB: case Op::SMB: case Op::BRA: case Op::BBR:
    case Op::BBS: case Op::BPL: case Op::BMI: case Op::BVC: case Op::BVS: case Op::BCC: case Op::BCS:
    case Op::BNE: case Op::BEQ: return {};
    case Op::LDA: case Op::TXA: case Op::TYA: case Op::AND: case Op::ORA: case Op::EOR: return {A, A};
    case Op::LDX: case Op::TAX: case Op::TSX: case Op::INX: case Op::DEX: return {X, X};
    case Op::LDY: case Op::TAY: case Op::INY: case Op::DEY: return {Y, Y};
    case Op::LAX: return {A | X, A};
    case Op::PLA: return {SP | A, A};
    case Op::PLX: return {SP | X, X};
    case Op::PLY: return {SP | Y, Y};
    case Op::ADC: case Op::SBC: case Op::ANC: case Op::ALR: case Op::ARR: case Op::SLO: case Op::RLA:
    case Op::SRE: case Op::RRA: case Op::ISB: return {A | P};
    case Op::SBX: return {X | P};
    case Op::ANE: case Op::LXA: return {A | X | P};
    case Op::CMP: case Op::CPX: case Op::CPY: case Op::BIT: case Op::DCP: case Op::TRB: case Op::TSB: return {P};
    case Op::INC: case Op::DEC: return mode == Mode::acc ? Noted{A, A} : Noted{P};
    case Op::ASL: case Op::LSR: case Op::ROL: case Op::ROR: return {mode == Mode::acc ? u8{A | P} : P};
    case Op::CLC: return {0, 0, 0, FLAG_C};
    case Op::SEC: return {0, 0, FLAG_C, 0};
    case Op::CLI: return {0, 0, 0, FLAG_I};
    case Op::SEI: return {0, 0, FLAG_I, 0};
    case Op::CLV: return {0, 0, 0, FLAG_V};
    case Op::CLD: return {0, 0, 0, FLAG_D};
    case Op::SED: return {0, 0, FLAG_D, 0};
    case Op::TXS: case Op::PHA: case Op::PHP: case Op::PHX: case Op::PHY: case Op::JSR: case Op::RTS: case Op::TAS:
        return {SP};
    case Op::PLP: case Op::RTI: case Op::BRK: return {SP | P};
    default: return {ALL};
    }
}

// The status after an instruction noted as `noted`, from the one before
// and the registers after.
[[nodiscard]] constexpr u8 status_after(const Noted& noted, u8 before, u8 stored, u8 a, u8 x, u8 y) {
    if ((noted.fields & P) != 0) return stored;
    if (noted.nz_of != 0) {
        const u8 value = noted.nz_of == A ? a : noted.nz_of == X ? x : y;
        return static_cast<u8>((before & ~(FLAG_N | FLAG_Z)) | (value & FLAG_N) | (value == 0 ? FLAG_Z : 0));
    }
    return static_cast<u8>((before | noted.set) & ~noted.clear);
}

// Entries kept: the ring's size. A stretch of threaded code writes its
// entries on from where it starts, without wrapping round, into the room
// past the end (a stretch has MAX_RUN instructions at most and a
// checkpoint); the next one starts at the beginning again.
inline constexpr std::size_t SIZE = 0x10000;
inline constexpr std::size_t ROOM = SIZE + 256;

// The log, one array per field, so that each field is one store at an
// index that lives in a host register.
struct Log {
    std::array<u32, ROOM> head;  // pc | opcode << 16 | kind << 24
    std::array<u8, ROOM> a, x, y, sp, status;
    std::size_t next;      // the entry the next one takes
    std::size_t lap_end;   // where the last lap ended (0: none yet)
};
}  // namespace history

extern history::Log history_log;

// Empties the log.
inline void history_log_clear() {
    history_log.next = 0;
    history_log.lap_end = 0;
}

// Notes an entry holding every register, from `cpu`'s, and returns the
// index of the next: its kind, and the opcode at pc (stepped).
inline std::size_t history_log_full(history::Kind kind, u8 opcode = 0) {
    std::size_t at = history_log.next;
    if (at >= history::SIZE) {
        history_log.lap_end = at;
        at = 0;
    }
    history_log.head[at] = cpu.pc | static_cast<u32>(opcode) << 16 | static_cast<u32>(kind) << 24;
    history_log.a[at] = cpu.a;
    history_log.x[at] = cpu.x;
    history_log.y[at] = cpu.y;
    history_log.sp[at] = cpu.sp;
    history_log.status[at] = cpu.status;
    history_log.next = at + 1;
    return at + 1;
}
