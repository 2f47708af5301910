// Shared ground for the processor unit tests: a clean machine per test, a
// program at 0x0200, and a way to point any opcode's addressing mode at a
// chosen byte with or without an index carry into the next page.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "cpu/cpu.hpp"
#include "cpu/opcode_matrix.hpp"

namespace cpu_test {

inline constexpr u16 ORIGIN = 0x0200;

// Where aim() puts the operand: one byte in page zero for the zero-page
// modes, one in RAM well away from the program and the stack otherwise.
inline constexpr u16 ZP_TARGET = 0x0042;
inline constexpr u16 FAR_TARGET = 0x1342;
inline constexpr u8 IZX_OPERAND = 0x80;  // pointer lives at 0x80/0x81
inline constexpr u8 IZY_OPERAND = 0x90;  // pointer lives at 0x90/0x91

// Bytes that follow the opcode, as the machine's manual gives them per mode.
[[nodiscard]] constexpr int manual_operand_bytes(Mode m) {
    switch (m) {
    case Mode::imp:
    case Mode::acc: return 0;
    case Mode::abs:
    case Mode::abx:
    case Mode::aby:
    case Mode::ind:
    case Mode::iab:
    case Mode::iax:
    case Mode::zpr: return 2;
    case Mode::izp:
    case Mode::imm:
    case Mode::zp:
    case Mode::zpx:
    case Mode::zpy:
    case Mode::rel:
    case Mode::izx:
    case Mode::izy: return 1;
    }
    return -1;
}

// The eight branches: which status bit each tests and the value that takes it.
struct BranchRule {
    u8 opcode;
    const char* name;
    u8 flag;
    bool taken_when_set;
};

inline constexpr std::array<BranchRule, 8> BRANCHES{{
    {0x10, "BPL", FLAG_N, false},
    {0x30, "BMI", FLAG_N, true},
    {0x50, "BVC", FLAG_V, false},
    {0x70, "BVS", FLAG_V, true},
    {0x90, "BCC", FLAG_C, false},
    {0xB0, "BCS", FLAG_C, true},
    {0xD0, "BNE", FLAG_Z, false},
    {0xF0, "BEQ", FLAG_Z, true},
}};

[[nodiscard]] inline std::string hex(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (text.size() % 2 != 0) text.insert(text.begin(), '0');
    return "0x" + text;
}

class CpuTest : public ::testing::Test {
protected:
    void SetUp() override { clean_machine(); }

    // The decode table of the processor chosen with cpu_select().
    static const std::array<Mode, 256>& modes() {
        switch (cpu_chip()) {
        case Chip::m6502x: return mode_table_of<Chip::m6502x>;
        case Chip::m65c02: return mode_table_of<Chip::m65c02>;
        default: return mode_table;
        }
    }
    static const std::array<u32, 256>& cycles() {
        switch (cpu_chip()) {
        case Chip::m6502x: return cycle_table_of<Chip::m6502x>;
        case Chip::m65c02: return cycle_table_of<Chip::m65c02>;
        default: return cycle_table;
        }
    }

    // Zeroed memory and registers, the stack where reset leaves it, and this
    // machine's own processor unless a test selects another.
    static void clean_machine(Chip chip = Chip::m6502) {
        cpu_select(chip);
        memory.fill(0);
        cpu = Cpu{};
        cpu.sp = 0xFD;
        cpu.status = FLAG_CONSTANT;
    }

    static void load(u16 at, const std::vector<u8>& bytes) {
        for (const u8 b : bytes) memory[at++] = b;
    }

    static void poke_word(u16 at, u16 value) {
        memory[at] = static_cast<u8>(value);
        memory[static_cast<u16>(at + 1)] = static_cast<u8>(value >> 8);
    }

    // Places the program at `at` and points pc at it.
    static void program(const std::vector<u8>& bytes, u16 at = ORIGIN) {
        load(at, bytes);
        cpu.pc = at;
    }

    static u32 step() { return cpu_step(); }

    // Writes `opcode` at ORIGIN with operand bytes (and x, y, pointers) so
    // that its mode forms ZP_TARGET or FAR_TARGET; `cross` makes the index
    // of abx, aby and izy carry into the next page. zpx, zpy and izx keep an
    // index the caller has already set (zero is replaced by a small one);
    // abx, aby and izy choose their own. Returns the address the mode will
    // form (for imm: the immediate byte; imp, acc, rel: 0).
    static u16 aim(u8 opcode, bool cross = false) {
        cpu.pc = ORIGIN;
        memory[ORIGIN] = opcode;
        const u16 far_base = cross ? 0x12FF : 0x1300;
        const u8 far_index = static_cast<u8>(FAR_TARGET - far_base);
        switch (modes()[opcode]) {
        case Mode::imp:
        case Mode::acc: return 0;
        case Mode::rel: load(ORIGIN + 1, {0x00}); return 0;
        case Mode::imm: return ORIGIN + 1;
        case Mode::zp: load(ORIGIN + 1, {static_cast<u8>(ZP_TARGET)}); return ZP_TARGET;
        case Mode::zpx:
            if (cpu.x == 0) cpu.x = 0x05;
            load(ORIGIN + 1, {static_cast<u8>(ZP_TARGET - cpu.x)});
            return ZP_TARGET;
        case Mode::zpy:
            if (cpu.y == 0) cpu.y = 0x05;
            load(ORIGIN + 1, {static_cast<u8>(ZP_TARGET - cpu.y)});
            return ZP_TARGET;
        case Mode::abs: load(ORIGIN + 1, {FAR_TARGET & 0xFF, FAR_TARGET >> 8}); return FAR_TARGET;
        case Mode::abx:
            cpu.x = far_index;
            load(ORIGIN + 1, {static_cast<u8>(far_base), static_cast<u8>(far_base >> 8)});
            return FAR_TARGET;
        case Mode::aby:
            cpu.y = far_index;
            load(ORIGIN + 1, {static_cast<u8>(far_base), static_cast<u8>(far_base >> 8)});
            return FAR_TARGET;
        case Mode::ind:
            load(ORIGIN + 1, {0x00, 0x03});
            poke_word(0x0300, FAR_TARGET);
            return FAR_TARGET;
        case Mode::izx:
            if (cpu.x == 0) cpu.x = 0x04;
            load(ORIGIN + 1, {static_cast<u8>(IZX_OPERAND - cpu.x)});
            poke_word(IZX_OPERAND, FAR_TARGET);
            return FAR_TARGET;
        case Mode::izy:
            cpu.y = far_index;
            load(ORIGIN + 1, {IZY_OPERAND});
            poke_word(IZY_OPERAND, far_base);
            return FAR_TARGET;
        case Mode::iab:  // the pointer straddles a page
            load(ORIGIN + 1, {0xFF, 0x03});
            poke_word(0x03FF, FAR_TARGET);
            return FAR_TARGET;
        case Mode::iax:
            if (cpu.x == 0) cpu.x = 0x10;
            load(ORIGIN + 1, {static_cast<u8>(0x00 - cpu.x), 0x02});
            poke_word(0x0300, FAR_TARGET);
            return FAR_TARGET;
        case Mode::izp:
            load(ORIGIN + 1, {IZY_OPERAND});
            poke_word(IZY_OPERAND, FAR_TARGET);
            return FAR_TARGET;
        case Mode::zpr: load(ORIGIN + 1, {static_cast<u8>(ZP_TARGET), 0x00}); return ZP_TARGET;
        }
        return 0;
    }
};

template <typename Row>
class CpuTableTest : public CpuTest, public ::testing::WithParamInterface<Row> {};

// Row names for INSTANTIATE_TEST_SUITE_P: each row carries a `name`.
struct RowName {
    template <typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        std::string text = info.param.name;
        for (char& c : text)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return text;
    }
};

}  // namespace cpu_test
