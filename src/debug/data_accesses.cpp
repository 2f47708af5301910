#include "debug/data_accesses.hpp"

#include <optional>

#include "cpu/cpu.hpp"
#include "cpu/data_access.hpp"
#include "cpu/opcode_matrix.hpp"

int data_accesses(std::array<Access, MAX_ACCESSES>& out) {
    const u16 pc = cpu.pc;
    const u8 opcode = bus_peek(pc);
    const OpcodeEntry& entry = opcode_grid_of(cpu_chip())[opcode];
    const u8 low = bus_peek(static_cast<u16>(pc + 1));
    const u16 word = static_cast<u16>(bus_peek(static_cast<u16>(pc + 2)) << 8 | low);
    int n = 0;
    const auto add = [&](unsigned address, u8 kind) {
        out[static_cast<std::size_t>(n++)] = {static_cast<u16>(address), kind, bus_peek(static_cast<u16>(address))};
    };
    const auto stack = [&](int offset) { return 0x0100u | static_cast<u8>(cpu.sp + offset); };
    // The operand's address, for the modes that have one in memory.
    std::optional<u16> operand;
    switch (entry.mode) {
    case Mode::zp: operand = low; break;
    case Mode::zpx: operand = static_cast<u8>(low + cpu.x); break;
    case Mode::zpy: operand = static_cast<u8>(low + cpu.y); break;
    case Mode::abs: operand = word; break;
    case Mode::abx: operand = static_cast<u16>(word + cpu.x); break;
    case Mode::aby: operand = static_cast<u16>(word + cpu.y); break;
    case Mode::izx: {
        const u8 pointer = static_cast<u8>(low + cpu.x);
        add(pointer, WATCH_READ);
        add(static_cast<u8>(pointer + 1), WATCH_READ);
        operand = static_cast<u16>(memory[static_cast<u8>(pointer + 1)] << 8 | memory[pointer]);
        break;
    }
    case Mode::izy:
        add(low, WATCH_READ);
        add(static_cast<u8>(low + 1), WATCH_READ);
        operand = static_cast<u16>((memory[static_cast<u8>(low + 1)] << 8 | memory[low]) + cpu.y);
        break;
    case Mode::izp:
        add(low, WATCH_READ);
        add(static_cast<u8>(low + 1), WATCH_READ);
        operand = static_cast<u16>(memory[static_cast<u8>(low + 1)] << 8 | memory[low]);
        break;
    case Mode::zpr: operand = low; break;
    case Mode::ind:
        add(word, WATCH_READ);
        add((word & 0xFF00) | ((word + 1) & 0x00FF), WATCH_READ);
        break;
    case Mode::iab:
        add(word, WATCH_READ);
        add(static_cast<u16>(word + 1), WATCH_READ);
        break;
    case Mode::iax:
        add(static_cast<u16>(word + cpu.x), WATCH_READ);
        add(static_cast<u16>(word + cpu.x + 1), WATCH_READ);
        break;
    default: break;
    }
    if (operand) {
        switch (operand_use(entry.op)) {
        case OperandUse::read: add(*operand, WATCH_READ); break;
        case OperandUse::write: add(*operand, WATCH_WRITE); break;
        case OperandUse::modify:
            add(*operand, WATCH_READ);
            add(*operand, WATCH_WRITE);
            break;
        case OperandUse::none: break;
        }
    }
    switch (entry.op) {
    case Op::PHA: case Op::PHP: case Op::PHX: case Op::PHY: add(stack(0), WATCH_WRITE); break;
    case Op::PLA: case Op::PLP: case Op::PLX: case Op::PLY: add(stack(1), WATCH_READ); break;
    case Op::JSR: add(stack(0), WATCH_WRITE); add(stack(-1), WATCH_WRITE); break;
    case Op::RTS: add(stack(1), WATCH_READ); add(stack(2), WATCH_READ); break;
    case Op::RTI: add(stack(1), WATCH_READ); add(stack(2), WATCH_READ); add(stack(3), WATCH_READ); break;
    case Op::BRK:
        add(stack(0), WATCH_WRITE); add(stack(-1), WATCH_WRITE); add(stack(-2), WATCH_WRITE);
        add(IRQ_VECTOR, WATCH_READ); add(IRQ_VECTOR + 1, WATCH_READ);
        break;
    default: break;
    }
    return n;
}

