// libFuzzer target for the whole machine: processor, bus and devices.
//
// Input layout (missing bytes read as zero):
//   0-1   pc, little-endian          7      run mode, see RunMode
//   2     sp                          8-9    load address of the image
//   3     a                           10-11  instructions to run (0: the maximum)
//   4     x                           12     number of interrupt events (at most 32)
//   5     y                           13...  events, 3 bytes each: instruction index
//   6     status                             (little-endian), kind (bit 0: NMI, else IRQ)
//   then  the memory image, copied to the load address and wrapping at 0xFFFF;
//         every other byte holds FILL_BYTE.
//
// After every instruction and every interrupt the target checks what the
// processor must have done, worked out independently from the opcode grid
// below: cycles, pc, sp, the B and constant bits, stack contents, vectors,
// and what loads, stores and transfers moved.
// A violation traps, so libFuzzer records the input as a crash.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bus/bus.hpp"
#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/state.hpp"

namespace {

constexpr std::size_t HEADER_SIZE = 13;
constexpr std::size_t EVENT_SIZE = 3;
constexpr std::size_t MAX_EVENTS = 32;
constexpr u32 MAX_INSTRUCTIONS = 20000;
// What an unloaded byte holds: the value a fresh machine fills memory with.
constexpr u8 FILL_BYTE = 0xEE;
constexpr unsigned RANDOM_SEED = 1;  // the same RANDOM bytes for every run of an input

enum class RunMode : u8 {
    step = 0,            // cpu_step, checks after it returns
    step_with_hook = 1,  // cpu_step, checks in the step hook
    exec_one = 2,        // cpu_exec(1) per instruction
    exec_budget = 3,     // cpu_exec with large budgets, checks in the step hook
};
// Bit 2 of the mode byte: start through cpu_reset (reset vector from the
// image) instead of the pc in the header.
constexpr u8 MODE_RESET = 0x04;

// ---------------------------------------------------------------------------
// The opcode grid: operation, addressing mode, base cycles ('+': one more
// when the indexed address crosses a page). Kept apart from the core's own
// tables on purpose, so that a slip in either shows up as a mismatch.
constexpr std::array<std::string_view, 32> GRID = {
    "BRK imp 7|ORA izx 6|NOP imp 2|SLO izx 8|NOP zp 3|ORA zp 3|ASL zp 5|SLO zp 5",
    "PHP imp 3|ORA imm 2|ASL acc 2|NOP imm 2|NOP abs 4|ORA abs 4|ASL abs 6|SLO abs 6",
    "BPL rel 2|ORA izy 5+|NOP imp 2|SLO izy 8|NOP zpx 4|ORA zpx 4|ASL zpx 6|SLO zpx 6",
    "CLC imp 2|ORA aby 4+|NOP imp 2|SLO aby 7|NOP abx 4+|ORA abx 4+|ASL abx 7|SLO abx 7",
    "JSR abs 6|AND izx 6|NOP imp 2|RLA izx 8|BIT zp 3|AND zp 3|ROL zp 5|RLA zp 5",
    "PLP imp 4|AND imm 2|ROL acc 2|NOP imm 2|BIT abs 4|AND abs 4|ROL abs 6|RLA abs 6",
    "BMI rel 2|AND izy 5+|NOP imp 2|RLA izy 8|NOP zpx 4|AND zpx 4|ROL zpx 6|RLA zpx 6",
    "SEC imp 2|AND aby 4+|NOP imp 2|RLA aby 7|NOP abx 4+|AND abx 4+|ROL abx 7|RLA abx 7",
    "RTI imp 6|EOR izx 6|NOP imp 2|SRE izx 8|NOP zp 3|EOR zp 3|LSR zp 5|SRE zp 5",
    "PHA imp 3|EOR imm 2|LSR acc 2|NOP imm 2|JMP abs 3|EOR abs 4|LSR abs 6|SRE abs 6",
    "BVC rel 2|EOR izy 5+|NOP imp 2|SRE izy 8|NOP zpx 4|EOR zpx 4|LSR zpx 6|SRE zpx 6",
    "CLI imp 2|EOR aby 4+|NOP imp 2|SRE aby 7|NOP abx 4+|EOR abx 4+|LSR abx 7|SRE abx 7",
    "RTS imp 6|ADC izx 6|NOP imp 2|RRA izx 8|NOP zp 3|ADC zp 3|ROR zp 5|RRA zp 5",
    "PLA imp 4|ADC imm 2|ROR acc 2|NOP imm 2|JMP ind 5|ADC abs 4|ROR abs 6|RRA abs 6",
    "BVS rel 2|ADC izy 5+|NOP imp 2|RRA izy 8|NOP zpx 4|ADC zpx 4|ROR zpx 6|RRA zpx 6",
    "SEI imp 2|ADC aby 4+|NOP imp 2|RRA aby 7|NOP abx 4+|ADC abx 4+|ROR abx 7|RRA abx 7",
    "NOP imm 2|STA izx 6|NOP imm 2|SAX izx 6|STY zp 3|STA zp 3|STX zp 3|SAX zp 3",
    "DEY imp 2|NOP imm 2|TXA imp 2|NOP imm 2|STY abs 4|STA abs 4|STX abs 4|SAX abs 4",
    "BCC rel 2|STA izy 6|NOP imp 2|NOP izy 6|STY zpx 4|STA zpx 4|STX zpy 4|SAX zpy 4",
    "TYA imp 2|STA aby 5|TXS imp 2|NOP aby 5|NOP abx 5|STA abx 5|NOP aby 5|NOP aby 5",
    "LDY imm 2|LDA izx 6|LDX imm 2|LAX izx 6|LDY zp 3|LDA zp 3|LDX zp 3|LAX zp 3",
    "TAY imp 2|LDA imm 2|TAX imp 2|NOP imm 2|LDY abs 4|LDA abs 4|LDX abs 4|LAX abs 4",
    "BCS rel 2|LDA izy 5+|NOP imp 2|LAX izy 5+|LDY zpx 4|LDA zpx 4|LDX zpy 4|LAX zpy 4",
    "CLV imp 2|LDA aby 4+|TSX imp 2|LAX aby 4+|LDY abx 4+|LDA abx 4+|LDX aby 4+|LAX aby 4+",
    "CPY imm 2|CMP izx 6|NOP imm 2|DCP izx 8|CPY zp 3|CMP zp 3|DEC zp 5|DCP zp 5",
    "INY imp 2|CMP imm 2|DEX imp 2|NOP imm 2|CPY abs 4|CMP abs 4|DEC abs 6|DCP abs 6",
    "BNE rel 2|CMP izy 5+|NOP imp 2|DCP izy 8|NOP zpx 4|CMP zpx 4|DEC zpx 6|DCP zpx 6",
    "CLD imp 2|CMP aby 4+|NOP imp 2|DCP aby 7|NOP abx 4+|CMP abx 4+|DEC abx 7|DCP abx 7",
    "CPX imm 2|SBC izx 6|NOP imm 2|ISB izx 8|CPX zp 3|SBC zp 3|INC zp 5|ISB zp 5",
    "INX imp 2|SBC imm 2|NOP imp 2|SBC imm 2|CPX abs 4|SBC abs 4|INC abs 6|ISB abs 6",
    "BEQ rel 2|SBC izy 5+|NOP imp 2|ISB izy 8|NOP zpx 4|SBC zpx 4|INC zpx 6|ISB zpx 6",
    "SED imp 2|SBC aby 4+|NOP imp 2|ISB aby 7|NOP abx 4+|SBC abx 4+|INC abx 7|ISB abx 7",
};

// The operations and modes the checks tell apart; the rest are `other`.
enum class Op : u8 { other, NOP, PHA, PHP, PLA, PLP, JSR, RTS, RTI, BRK, JMP, TXS, TAX, TAY, TXA, TYA, TSX,
                     LDA, LDX, LDY, LAX, STA, STX, STY, SAX };
constexpr std::array<std::string_view, 25> OP_NAMES = {
    "",    "NOP", "PHA", "PHP", "PLA", "PLP", "JSR", "RTS", "RTI", "BRK", "JMP", "TXS", "TAX",
    "TAY", "TXA", "TYA", "TSX", "LDA", "LDX", "LDY", "LAX", "STA", "STX", "STY", "SAX"};
enum class Mode : u8 { imp, acc, imm, zp, zpx, zpy, rel, abs, abx, aby, ind, izx, izy };
constexpr std::array<std::string_view, 13> MODE_NAMES = {"imp", "acc", "imm", "zp",  "zpx", "zpy", "rel",
                                                         "abs", "abx", "aby", "ind", "izx", "izy"};

struct Opcode {
    Op op;
    Mode mode;
    u8 length;  // opcode plus operand bytes
    u8 cycles;
    bool page_cycle;
};

std::array<Opcode, 256> grid{};

u8 operand_bytes(Mode mode) {
    switch (mode) {
    case Mode::imp:
    case Mode::acc: return 0;
    case Mode::abs:
    case Mode::abx:
    case Mode::aby:
    case Mode::ind: return 2;
    default: return 1;
    }
}

template <typename Enum, std::size_t N>
Enum lookup(const std::array<std::string_view, N>& names, std::string_view name, bool required) {
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == name) return static_cast<Enum>(i);
    if (required) __builtin_trap();
    return static_cast<Enum>(0);
}

void parse_grid() {
    std::size_t index = 0;
    for (std::string_view row : GRID) {
        while (!row.empty()) {
            const std::size_t bar = row.find('|');
            std::string_view cell = row.substr(0, bar);
            row = bar == std::string_view::npos ? std::string_view{} : row.substr(bar + 1);
            const std::size_t space1 = cell.find(' ');
            const std::size_t space2 = cell.find(' ', space1 + 1);
            const std::string_view op = cell.substr(0, space1);
            const std::string_view mode = cell.substr(space1 + 1, space2 - space1 - 1);
            const std::string_view cycles = cell.substr(space2 + 1);
            if (index >= grid.size() || op.size() != 3) __builtin_trap();
            Opcode& o = grid[index++];
            o.op = lookup<Op>(OP_NAMES, op, false);
            o.mode = lookup<Mode>(MODE_NAMES, mode, true);
            o.length = static_cast<u8>(1 + operand_bytes(o.mode));
            o.cycles = static_cast<u8>(cycles[0] - '0');
            o.page_cycle = cycles.size() > 1 && cycles[1] == '+';
        }
    }
    if (index != grid.size()) __builtin_trap();
}

// ---------------------------------------------------------------------------
// Expectations worked out before an instruction runs.

#define CHECK(condition)                      \
    do {                                      \
        if (!(condition)) fail(#condition);   \
    } while (false)

// Whether a read of `address` is known without performing it: plain memory,
// or a device register that reads back the stored byte. FILE_SELECT reads
// memory only while no file is open, so it counts as unknown.
bool known(u16 address) {
    return !is_device(address) || address == CON_OUT || address == TRACE_CTL || address == FILE_WRITE;
}

u16 word_at(u16 address) {
    return static_cast<u16>(memory[address] | memory[static_cast<u16>(address + 1)] << 8);
}

u16 stack_address(u8 sp) { return static_cast<u16>(0x0100 | sp); }

struct Before {
    u16 pc;
    u8 sp, a, x, y, status;
    u32 instruction_count;
    // Memory as it was: the instruction's bytes, the stack top and vectors.
    std::array<u8, 3> bytes;
    std::array<bool, 3> bytes_known;
    std::array<u8, 3> stack_above;  // 0x0100 + sp + 1 .. + 3
    u16 izx_pointer;                // the zero-page pointers the indirect modes would read
    u16 izy_pointer;
};

Before before{};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant violated: %s (pc before %04x, opcode %02x)\n", what, before.pc, cpu.opcode);
    __builtin_trap();
}

void take_before() {
    before.pc = cpu.pc;
    before.sp = cpu.sp;
    before.a = cpu.a;
    before.x = cpu.x;
    before.y = cpu.y;
    before.status = cpu.status;
    before.instruction_count = cpu.instruction_count;
    for (int i = 0; i < 3; ++i) {
        const u16 address = static_cast<u16>(cpu.pc + i);
        before.bytes[i] = memory[address];
        before.bytes_known[i] = known(address);
        before.stack_above[i] = memory[stack_address(static_cast<u8>(cpu.sp + 1 + i))];
    }
    const auto zero_page_word = [](u8 zp) {
        return static_cast<u16>(memory[zp] | memory[static_cast<u8>(zp + 1)] << 8);
    };
    before.izx_pointer = zero_page_word(static_cast<u8>(before.bytes[1] + cpu.x));
    before.izy_pointer = zero_page_word(before.bytes[1]);
}

bool branch_taken(u8 opcode, u8 status) {
    static constexpr u8 flag_of_row[4] = {FLAG_N, FLAG_V, FLAG_C, FLAG_Z};
    const bool flag_set = (status & flag_of_row[opcode >> 6]) != 0;
    const bool taken_when_set = (opcode & 0x20) != 0;
    return flag_set == taken_when_set;
}

bool zn_match(u8 value) {
    return ((cpu.status & FLAG_Z) != 0) == (value == 0) && ((cpu.status & FLAG_N) != 0) == ((value & 0x80) != 0);
}

// Whether the indexed address of this instruction leaves its page, or -1
// when the bytes it depends on come from a device. The mode reads its
// operand and pointer before the operation writes anything, so memory as
// it was before the instruction decides.
int page_crossed(const Opcode& o) {
    u16 base = 0;
    u8 index = 0;
    if (o.mode == Mode::abx || o.mode == Mode::aby) {
        if (!before.bytes_known[1] || !before.bytes_known[2]) return -1;
        base = static_cast<u16>(before.bytes[1] | before.bytes[2] << 8);
        index = o.mode == Mode::abx ? before.x : before.y;
    } else if (o.mode == Mode::izy) {
        if (!before.bytes_known[1]) return -1;
        base = before.izy_pointer;
        index = before.y;
    }
    return ((base ^ static_cast<u16>(base + index)) & 0xFF00) != 0;
}

// The address the instruction's mode formed, or -1 when it depends on a
// byte read from a device (or the mode forms none).
int effective_address(const Opcode& o) {
    const bool operand_known = before.bytes_known[1] && (o.length < 3 || before.bytes_known[2]);
    if (!operand_known) return -1;
    const u8 zp = before.bytes[1];
    const u16 word = static_cast<u16>(before.bytes[1] | before.bytes[2] << 8);
    switch (o.mode) {
    case Mode::imm: return static_cast<u16>(before.pc + 1);
    case Mode::zp: return zp;
    case Mode::zpx: return static_cast<u8>(zp + before.x);
    case Mode::zpy: return static_cast<u8>(zp + before.y);
    case Mode::abs: return word;
    case Mode::abx: return static_cast<u16>(word + before.x);
    case Mode::aby: return static_cast<u16>(word + before.y);
    case Mode::izx: return before.izx_pointer;
    case Mode::izy: return static_cast<u16>(before.izy_pointer + before.y);
    default: return -1;
    }
}

// Called after every instruction with the cycles it reported.
void check_instruction(u32 cycles) {
    const u8 opcode = cpu.opcode;
    const Opcode& o = grid[opcode];
    if (before.bytes_known[0] && before.bytes[0] != opcode) fail("executed opcode differs from memory");
    CHECK(cpu.instruction_count == before.instruction_count + 1);
    CHECK(cycles >= 2 && cycles <= 8);

    const u16 next = static_cast<u16>(before.pc + o.length);
    const bool is_branch = o.mode == Mode::rel;

    // Cycles.
    if (is_branch) {
        if (before.bytes_known[1]) {
            const bool taken = branch_taken(opcode, before.status);
            const u16 target = static_cast<u16>(next + static_cast<std::int8_t>(before.bytes[1]));
            const u32 expected = 2u + (taken ? 1u : 0u) + (taken && ((target ^ next) & 0xFF00) ? 1u : 0u);
            CHECK(cycles == expected);
            CHECK(cpu.pc == (taken ? target : next));
        } else {
            CHECK(cycles >= 2 && cycles <= 4);
        }
    } else if (o.page_cycle) {
        const int crossed = page_crossed(o);
        if (crossed >= 0)
            CHECK(cycles == o.cycles + static_cast<u32>(crossed));
        else
            CHECK(cycles == o.cycles || cycles == o.cycles + 1u);
    } else {
        CHECK(cycles == o.cycles);
    }

    // Status: the constant bit is set by every fetch; only PLP and RTI load B.
    if (o.op == Op::RTI) {
        CHECK(cpu.status == before.stack_above[0]);
    } else if (o.op == Op::PLP) {
        CHECK(cpu.status == (before.stack_above[0] | FLAG_CONSTANT));
    } else {
        CHECK((cpu.status & FLAG_CONSTANT) != 0);
        CHECK((cpu.status & FLAG_B) == (before.status & FLAG_B));
    }

    // Stack pointer and pc.
    const auto pushed = [](int depth) { return memory[stack_address(static_cast<u8>(before.sp - depth))]; };
    if (o.op == Op::PHA || o.op == Op::PHP) {
        CHECK(cpu.sp == static_cast<u8>(before.sp - 1));
        CHECK(pushed(0) == (o.op == Op::PHA ? before.a : (before.status | FLAG_CONSTANT | FLAG_B)));
    } else if (o.op == Op::PLA || o.op == Op::PLP) {
        CHECK(cpu.sp == static_cast<u8>(before.sp + 1));
        if (o.op == Op::PLA) CHECK(cpu.a == before.stack_above[0] && zn_match(cpu.a));
    } else if (o.op == Op::JSR) {
        CHECK(cpu.sp == static_cast<u8>(before.sp - 2));
        const u16 last_byte = static_cast<u16>(before.pc + 2);
        CHECK(pushed(0) == (last_byte >> 8) && pushed(1) == (last_byte & 0xFF));
        if (before.bytes_known[1] && before.bytes_known[2])
            CHECK(cpu.pc == static_cast<u16>(before.bytes[1] | before.bytes[2] << 8));
    } else if (o.op == Op::RTS) {
        CHECK(cpu.sp == static_cast<u8>(before.sp + 2));
        CHECK(cpu.pc == static_cast<u16>((before.stack_above[0] | before.stack_above[1] << 8) + 1));
    } else if (o.op == Op::RTI) {
        CHECK(cpu.sp == static_cast<u8>(before.sp + 3));
        CHECK(cpu.pc == static_cast<u16>(before.stack_above[1] | before.stack_above[2] << 8));
    } else if (o.op == Op::BRK) {
        CHECK(cpu.sp == static_cast<u8>(before.sp - 3));
        const u16 resume = static_cast<u16>(before.pc + 2);
        CHECK(pushed(0) == (resume >> 8) && pushed(1) == (resume & 0xFF));
        CHECK(pushed(2) == (before.status | FLAG_CONSTANT | FLAG_B));
        CHECK((cpu.status & FLAG_I) != 0);
        CHECK(cpu.pc == word_at(IRQ_VECTOR));
    } else if (o.op == Op::TXS) {
        CHECK(cpu.sp == before.x);
        CHECK(cpu.status == (before.status | FLAG_CONSTANT));
    } else {
        CHECK(cpu.sp == before.sp);
    }

    if (o.op == Op::JMP) {
        if (o.mode == Mode::abs && before.bytes_known[1] && before.bytes_known[2]) {
            CHECK(cpu.pc == static_cast<u16>(before.bytes[1] | before.bytes[2] << 8));
        } else if (o.mode == Mode::ind && before.bytes_known[1] && before.bytes_known[2]) {
            // The pointer's high byte comes from the same page as its low byte.
            const u16 pointer = static_cast<u16>(before.bytes[1] | before.bytes[2] << 8);
            const u16 high_at = static_cast<u16>((pointer & 0xFF00) | ((pointer + 1) & 0xFF));
            if (known(pointer) && known(high_at))
                CHECK(cpu.pc == static_cast<u16>(memory[pointer] | memory[high_at] << 8));
        }
    } else if (!is_branch && o.op != Op::JSR && o.op != Op::RTS && o.op != Op::RTI && o.op != Op::BRK) {
        CHECK(cpu.pc == next);
    }

    // Registers of the instructions that only move or test bytes.
    if (o.op == Op::NOP) {
        CHECK(cpu.a == before.a && cpu.x == before.x && cpu.y == before.y);
        CHECK(cpu.status == (before.status | FLAG_CONSTANT));
    } else if (o.op == Op::TAX) {
        CHECK(cpu.x == before.a && zn_match(cpu.x));
    } else if (o.op == Op::TAY) {
        CHECK(cpu.y == before.a && zn_match(cpu.y));
    } else if (o.op == Op::TXA) {
        CHECK(cpu.a == before.x && zn_match(cpu.a));
    } else if (o.op == Op::TYA) {
        CHECK(cpu.a == before.y && zn_match(cpu.a));
    } else if (o.op == Op::TSX) {
        CHECK(cpu.x == before.sp && zn_match(cpu.x));
    } else if (o.op == Op::LDA || o.op == Op::LDX || o.op == Op::LDY || o.op == Op::LAX) {
        const bool to_a = o.op == Op::LDA || o.op == Op::LAX;
        const bool to_x = o.op == Op::LDX || o.op == Op::LAX;
        const bool to_y = o.op == Op::LDY;
        const u8 loaded = to_y ? cpu.y : to_x ? cpu.x : cpu.a;  // LAX: flags from x
        CHECK(zn_match(loaded));
        CHECK(to_a || cpu.a == before.a);
        CHECK(to_x || cpu.x == before.x);
        CHECK(to_y || cpu.y == before.y);
        // From memory the load takes the byte that is there, and LAX reads it
        // twice; a device register may give a different byte at each read.
        const int address = effective_address(o);
        if (address >= 0 && known(static_cast<u16>(address))) {
            CHECK(loaded == memory[static_cast<u16>(address)]);
            CHECK(o.op != Op::LAX || cpu.a == cpu.x);
        }
    } else if (o.op == Op::STA || o.op == Op::STX || o.op == Op::STY || o.op == Op::SAX) {
        CHECK(cpu.a == before.a && cpu.x == before.x && cpu.y == before.y);
        CHECK(cpu.status == (before.status | FLAG_CONSTANT));
        // Every write lands in memory, device register or not; SAX writes
        // a, then x, then a AND x.
        const u8 stored = o.op == Op::STA ? cpu.a : o.op == Op::STX ? cpu.x : o.op == Op::STY ? cpu.y : cpu.a & cpu.x;
        const int address = effective_address(o);
        if (address >= 0) CHECK(memory[static_cast<u16>(address)] == stored);
    }
}

// An interrupt request and what it must have done.
void raise_interrupt(bool nmi) {
    Before regs{};
    regs.pc = cpu.pc;
    regs.sp = cpu.sp;
    regs.a = cpu.a;
    regs.x = cpu.x;
    regs.y = cpu.y;
    regs.status = cpu.status;
    regs.instruction_count = cpu.instruction_count;
    const std::array<u8, 3> stack_below = {memory[stack_address(cpu.sp)],
                                           memory[stack_address(static_cast<u8>(cpu.sp - 1))],
                                           memory[stack_address(static_cast<u8>(cpu.sp - 2))]};
    const u32 cycle_count = cpu.cycle_count;
    if (nmi)
        cpu_nmi();
    else
        cpu_irq();
    CHECK(cpu.a == regs.a && cpu.x == regs.x && cpu.y == regs.y);
    CHECK(cpu.instruction_count == regs.instruction_count && cpu.cycle_count == cycle_count);
    if (!nmi && (regs.status & FLAG_I)) {
        // Dropped: nothing happens at all.
        CHECK(cpu.pc == regs.pc && cpu.sp == regs.sp && cpu.status == regs.status);
        CHECK(memory[stack_address(regs.sp)] == stack_below[0]);
        CHECK(memory[stack_address(static_cast<u8>(regs.sp - 1))] == stack_below[1]);
        CHECK(memory[stack_address(static_cast<u8>(regs.sp - 2))] == stack_below[2]);
        return;
    }
    CHECK(cpu.sp == static_cast<u8>(regs.sp - 3));
    CHECK(memory[stack_address(regs.sp)] == (regs.pc >> 8));
    CHECK(memory[stack_address(static_cast<u8>(regs.sp - 1))] == (regs.pc & 0xFF));
    CHECK(memory[stack_address(static_cast<u8>(regs.sp - 2))] == (regs.status & ~FLAG_B));
    CHECK(cpu.status == (regs.status | FLAG_I));  // D and B untouched
    CHECK(cpu.pc == word_at(nmi ? NMI_VECTOR : IRQ_VECTOR));
}

// ---------------------------------------------------------------------------
// One run.

struct Event {
    u16 index;
    bool nmi;
};

struct Run {
    RunMode mode;
    u32 limit;
    std::array<Event, MAX_EVENTS> events;
    std::size_t event_count;
    std::size_t next_event;
    u32 done;             // instructions completed
    u32 exec_cycles;      // cpu.cycle_count when the last hook ran (cpu_exec)
    u32 hook_calls;
};

Run run{};

// Between two instructions: interrupts due at this point, then the
// expectations for the next one.
void between_instructions() {
    while (run.next_event < run.event_count && run.events[run.next_event].index == run.done)
        raise_interrupt(run.events[run.next_event++].nmi);
    take_before();
}

void after_instruction(u32 cycles) {
    check_instruction(cycles);
    ++run.done;
    between_instructions();
}

void step_hook() {
    ++run.hook_calls;
    if (run.mode == RunMode::exec_budget) {
        const u32 cycles = cpu.cycle_count - run.exec_cycles;
        run.exec_cycles = cpu.cycle_count;
        after_instruction(cycles);  // interrupts count no cycles
    } else {
        // cpu_step leaves this step's cycles in cycle_count before the hook.
        after_instruction(cpu.cycle_count);
    }
}

// Data files land in the current directory: ours, emptied after each input.
void remove_data_files() {
    DIR* dir = opendir(".");
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "file", 4) == 0) unlink(entry->d_name);
    }
    closedir(dir);
}

void reset_devices() {
    data_file_close();
    data_file_init();
    console_init(false);  // KBD_IN polls the keyboard, which has no terminal here
    random_seed(RANDOM_SEED);
}

char work_dir[4096] = {};

void remove_work_dir() {
    if (work_dir[0] == '\0' || chdir(work_dir) != 0) return;
    data_file_close();
    remove_data_files();
    if (chdir("/") == 0) rmdir(work_dir);
}

// The run moves into its scratch directory before libFuzzer reads its
// arguments, so paths given relative to where it was started are made
// absolute here, and crash inputs are written there unless told otherwise.
void anchor_arguments(int* argc, char*** argv, const std::string& start_dir) {
    static std::vector<std::string> storage;
    static std::vector<char*> pointers;
    const auto absolute = [&](std::string_view path) {
        return path.empty() || path[0] == '/' ? std::string(path) : start_dir + "/" + std::string(path);
    };
    bool has_artifact_prefix = false;
    storage.reserve(static_cast<std::size_t>(*argc) + 1);
    for (int i = 0; i < *argc; ++i) {
        const std::string_view arg = (*argv)[i];
        std::string rewritten(arg);
        if (i > 0 && !arg.starts_with('-')) {
            rewritten = absolute(arg);  // a corpus directory or an input file
        } else {
            for (const std::string_view flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
                if (!arg.starts_with(flag)) continue;
                rewritten = std::string(flag) + absolute(arg.substr(flag.size()));
                has_artifact_prefix = has_artifact_prefix || flag == "-artifact_prefix=";
            }
        }
        storage.push_back(std::move(rewritten));
    }
    if (!has_artifact_prefix) storage.push_back("-artifact_prefix=" + start_dir + "/");
    for (std::string& arg : storage) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(storage.size());
    *argv = pointers.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    parse_grid();
    char start_dir[4096];
    if (getcwd(start_dir, sizeof start_dir) == nullptr) {
        std::perror("emu6502 fuzz: current directory");
        std::abort();
    }
    anchor_arguments(argc, argv, start_dir);
    const char* tmp = std::getenv("TMPDIR");
    const int length = std::snprintf(work_dir, sizeof work_dir, "%s/emu6502-fuzz-XXXXXX",
                                     tmp != nullptr && *tmp ? tmp : "/tmp");
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof work_dir || mkdtemp(work_dir) == nullptr ||
        chdir(work_dir) != 0) {
        std::perror("emu6502 fuzz: temporary directory");
        std::abort();
    }
    std::atexit(remove_work_dir);
    // CON_OUT writes to standard output; libFuzzer reports on standard error.
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
        dup2(null_fd, STDOUT_FILENO);
        close(null_fd);
    }
    reset_devices();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<u8, HEADER_SIZE> header{};
    if (size > 0) std::memcpy(header.data(), data, std::min(size, header.size()));
    std::size_t offset = std::min(size, header.size());

    const u8 mode_byte = header[7];
    run = Run{};
    run.mode = static_cast<RunMode>(mode_byte & 0x03);
    const u32 requested = static_cast<u32>(header[10] | header[11] << 8);
    run.limit = requested == 0 ? MAX_INSTRUCTIONS : std::min(requested, MAX_INSTRUCTIONS);

    run.event_count = std::min<std::size_t>(header[12], MAX_EVENTS);
    run.event_count = std::min(run.event_count, (size - offset) / EVENT_SIZE);
    for (std::size_t i = 0; i < run.event_count; ++i, offset += EVENT_SIZE) {
        const u16 index = static_cast<u16>(data[offset] | data[offset + 1] << 8);
        run.events[i] = {static_cast<u16>(index % run.limit), (data[offset + 2] & 1) != 0};
    }
    std::stable_sort(run.events.begin(), run.events.begin() + static_cast<std::ptrdiff_t>(run.event_count),
                     [](const Event& l, const Event& r) { return l.index < r.index; });

    memory.fill(FILL_BYTE);
    const u16 load = static_cast<u16>(header[8] | header[9] << 8);
    const std::size_t image = std::min<std::size_t>(size - offset, memory.size());
    for (std::size_t i = 0; i < image; ++i) memory[static_cast<u16>(load + i)] = data[offset + i];

    reset_devices();
    cpu.sp = header[2];
    cpu.a = header[3];
    cpu.x = header[4];
    cpu.y = header[5];
    cpu.status = header[6];
    if (mode_byte & MODE_RESET) {
        const u8 status = cpu.status;
        cpu_reset();
        CHECK(cpu.pc == word_at(RESET_VECTOR) && cpu.sp == 0xFD);
        CHECK(cpu.status == (status | FLAG_I | FLAG_CONSTANT));
    } else {
        cpu.pc = static_cast<u16>(header[0] | header[1] << 8);
    }

    const bool hooked = run.mode == RunMode::step_with_hook || run.mode == RunMode::exec_budget;
    cpu_set_hook(hooked ? step_hook : nullptr);
    between_instructions();  // events at index 0 come before the first instruction

    switch (run.mode) {
    case RunMode::step:
        while (run.done < run.limit) after_instruction(cpu_step());
        break;
    case RunMode::step_with_hook:
        while (run.done < run.limit) {
            const u32 done = run.done;
            const u32 cycles = cpu_step();
            CHECK(run.done == done + 1 && cycles == cpu.cycle_count);
        }
        break;
    case RunMode::exec_one:
        CHECK(cpu_exec(0) == 0 && run.done == 0);
        while (run.done < run.limit) after_instruction(cpu_exec(1));
        break;
    case RunMode::exec_budget:
        while (run.done < run.limit) {
            // Every instruction takes at least two cycles, so a budget of
            // twice the remaining count cannot overshoot the limit.
            const u32 budget = std::min<u32>(2 * (run.limit - run.done), 4096);
            const u32 done = run.done;
            run.exec_cycles = 0;
            const u32 spent = cpu_exec(budget);
            CHECK(spent >= budget && spent < budget + 8);
            CHECK(run.done > done);
        }
        break;
    }
    CHECK(!hooked || run.hook_calls == run.done);
    CHECK(run.done == run.limit);

    cpu_set_hook(nullptr);
    data_file_close();
    remove_data_files();
    return 0;
}
