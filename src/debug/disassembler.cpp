#include "debug/disassembler.hpp"

#include <array>
#include <cstdio>

#include "cpu/cpu.hpp"
#include "debug/labels.hpp"

namespace {
// In the order of Op, none first.
constexpr std::array<const char*, ALL_OPERATIONS + 1> mnemonics = {
    "???", "LDA", "LDX", "LDY", "STA", "STX", "STY", "TAX", "TAY", "TSX", "TXA", "TXS", "TYA",
    "PHA", "PHP", "PLA", "PLP", "CLC", "CLD", "CLI", "CLV", "SEC", "SED", "SEI",
    "BPL", "BMI", "BVC", "BVS", "BCC", "BCS", "BNE", "BEQ", "JMP", "JSR", "RTS", "RTI", "BRK",
    "ADC", "AND", "ASL", "BIT", "CMP", "CPX", "CPY", "DEC", "DEX", "DEY", "EOR", "INC", "INX", "INY",
    "LSR", "ORA", "ROL", "ROR", "SBC",
    "LAX", "SAX", "DCP", "ISB", "SLO", "RLA", "SRE", "RRA", "NOP",
    "ANC", "ALR", "ARR", "SBX", "LAS", "ANE", "LXA", "SHA", "SHX", "SHY", "TAS", "JAM",
    "BRA", "PHX", "PHY", "PLX", "PLY", "STZ", "TRB", "TSB", "RMB", "SMB", "BBR", "BBS", "WAI", "STP",
};
static_assert(mnemonics.back() != nullptr && static_cast<int>(Op::BRA) == 77, "every operation has its name");
static_assert(static_cast<int>(Op::LAX) == 56 && static_cast<int>(Op::BPL) == 24, "names follow Op");

// An address operand: its label where one is loaded, else hex.
void operand_address(char* out, std::size_t size, u16 address, bool zero_page, const Labels* labels) {
    const char* name = labels != nullptr ? labels->name_at(address) : nullptr;
    if (name != nullptr) std::snprintf(out, size, "%s", name);
    else if (zero_page) std::snprintf(out, size, "$%02X", address);
    else std::snprintf(out, size, "$%04X", address);
}
}  // namespace

const char* mnemonic(Op op) { return mnemonics[static_cast<std::size_t>(op)]; }

int instruction_length(u8 opcode) { return 1 + operand_bytes(opcode_grid_of(cpu_chip())[opcode].mode); }

int disassemble(u16 address, const Labels* labels, char* out, std::size_t size) {
    const u8 opcode = bus_peek(address);
    const OpcodeEntry& entry = opcode_grid_of(cpu_chip())[opcode];
    const u8 low = bus_peek(static_cast<u16>(address + 1));
    const u8 high = bus_peek(static_cast<u16>(address + 2));
    const u16 word = static_cast<u16>(high << 8 | low);
    char target[64];
    char name[8];
    // The bit instructions carry their bit number in the opcode's high nibble.
    if (entry.op == Op::RMB || entry.op == Op::SMB || entry.op == Op::BBR || entry.op == Op::BBS)
        std::snprintf(name, sizeof name, "%s%d", mnemonic(entry.op), (opcode >> 4) & 7);
    else
        std::snprintf(name, sizeof name, "%s", mnemonic(entry.op));
    switch (entry.mode) {
    case Mode::imp: std::snprintf(out, size, "%s", name); break;
    case Mode::acc: std::snprintf(out, size, "%s A", name); break;
    case Mode::imm: std::snprintf(out, size, "%s #$%02X", name, low); break;
    case Mode::zp:
    case Mode::zpx:
    case Mode::zpy:
        operand_address(target, sizeof target, low, true, labels);
        std::snprintf(out, size, "%s %s%s", name, target,
                      entry.mode == Mode::zpx ? ",X" : entry.mode == Mode::zpy ? ",Y" : "");
        break;
    case Mode::rel:
        operand_address(target, sizeof target, static_cast<u16>(address + 2 + static_cast<std::int8_t>(low)), false,
                        labels);
        std::snprintf(out, size, "%s %s", name, target);
        break;
    case Mode::abs:
    case Mode::abx:
    case Mode::aby:
        operand_address(target, sizeof target, word, false, labels);
        std::snprintf(out, size, "%s %s%s", name, target,
                      entry.mode == Mode::abx ? ",X" : entry.mode == Mode::aby ? ",Y" : "");
        break;
    case Mode::ind:
        operand_address(target, sizeof target, word, false, labels);
        std::snprintf(out, size, "%s (%s)", name, target);
        break;
    case Mode::izx:
        operand_address(target, sizeof target, low, true, labels);
        std::snprintf(out, size, "%s (%s,X)", name, target);
        break;
    case Mode::izy:
        operand_address(target, sizeof target, low, true, labels);
        std::snprintf(out, size, "%s (%s),Y", name, target);
        break;
    case Mode::izp:
        operand_address(target, sizeof target, low, true, labels);
        std::snprintf(out, size, "%s (%s)", name, target);
        break;
    case Mode::iab:
        operand_address(target, sizeof target, word, false, labels);
        std::snprintf(out, size, "%s (%s)", name, target);
        break;
    case Mode::iax:
        operand_address(target, sizeof target, word, false, labels);
        std::snprintf(out, size, "%s (%s,X)", name, target);
        break;
    case Mode::zpr: {
        char branch[64];
        operand_address(target, sizeof target, low, true, labels);
        operand_address(branch, sizeof branch, static_cast<u16>(address + 3 + static_cast<std::int8_t>(high)), false,
                        labels);
        std::snprintf(out, size, "%s %s,%s", name, target, branch);
        break;
    }
    }
    return instruction_length(opcode);
}

int disassembly_line(u16 address, const Labels* labels, char* out, std::size_t size) {
    char text[96];
    const int length = disassemble(address, labels, text, sizeof text);
    char bytes[12] = "";
    int used = 0;
    for (int i = 0; i < length; ++i)
        used += std::snprintf(bytes + used, sizeof bytes - static_cast<std::size_t>(used), i == 0 ? "%02X" : " %02X",
                              bus_peek(static_cast<u16>(address + i)));
    std::snprintf(out, size, "%04X  %-8s  %s", address, bytes, text);
    return length;
}
