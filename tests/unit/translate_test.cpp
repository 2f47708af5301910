// The translating core against the core's own step: random programs that
// rewrite their own operands and opcodes, read the random byte, call a
// subroutine, and are interrupted between stretches, for each processor and
// each way the run loop counts. After every stretch the registers, memory,
// the random generator and the cycles must be those of the same number of
// instructions run one at a time.
#include <random>
#include <vector>

#include "cpu_fixture.hpp"
#include "bus/devices.hpp"
#include "translate/emit.hpp"
#include "translate/translate.hpp"

namespace cpu_test {
namespace {

using Bytes = std::vector<u8>;

constexpr u16 HANDLER = 0x2F80;     // RTI
constexpr u16 SUBROUTINE = 0x2F90;  // INX; RTS
// One-byte opcodes that every processor runs alike, for rewritten opcodes.
constexpr u8 PLAIN_IMPLIED[] = {0xE8, 0xCA, 0xC8, 0x88, 0x18, 0x38, 0xAA, 0x8A, 0xEA, 0xF8, 0xD8, 0x0A, 0x2A};

// (zp,X) reads of ORA, AND, EOR, ADC, LDA, CMP and SBC; their (zp),Y lie 0x10 above.
constexpr u8 INDIRECT_READS[] = {0x01, 0x21, 0x41, 0x61, 0xA1, 0xC1, 0xE1};

// A looping program at ORIGIN: opcodes that keep to plain RAM (data at
// 0x3000-0x7DFF, the zero page and the stack; branches that go on either
// way), reads of RANDOM, INC of its own immediate operands, LDA #op; STA of
// a one-byte opcode over another, JSR, and BRK to an RTI.
void self_modifying_program(Chip chip, unsigned seed) {
    std::mt19937 random(seed);
    for (std::size_t address = 0; address < 0xFF00; ++address) memory[address] = static_cast<u8>(random());
    std::vector<u16> operands, slots;
    u16 at = ORIGIN;
    auto put = [&](const Bytes& bytes) {
        for (const u8 b : bytes) memory[at++] = b;
    };
    while (at < 0x2E00) {
        const unsigned kind = random() % 16;
        if (kind == 0) {
            put({0xAD, RANDOM & 0xFF, RANDOM >> 8});
        } else if (kind == 1 && !operands.empty()) {
            const u16 target = operands[random() % operands.size()];
            put({0xEE, static_cast<u8>(target), static_cast<u8>(target >> 8)});
        } else if (kind == 2 && !slots.empty()) {
            const u16 target = slots[random() % slots.size()];
            put({0xA9, PLAIN_IMPLIED[random() % std::size(PLAIN_IMPLIED)], 0x8D, static_cast<u8>(target),
                 static_cast<u8>(target >> 8)});
        } else if (kind == 3) {
            put({0x20, SUBROUTINE & 0xFF, SUBROUTINE >> 8});
        } else if (kind == 5) {
            // A read through a pointer set just before: into the data, across
            // a page with Y, or of the random byte on the device page.
            const bool device = random() % 8 == 0;
            const bool indexed_by_y = random() % 2 == 0;
            const u16 target = device ? RANDOM : static_cast<u16>(0x3000 + random() % 0x4E00);
            const u8 pointer = static_cast<u8>(0x10 + 2 * (random() % 8));
            const u8 index = static_cast<u8>(random() % 8);
            const u8 at_zero_page = indexed_by_y ? pointer : static_cast<u8>(pointer - index);
            put({0xA9, static_cast<u8>(target), 0x85, pointer, 0xA9, static_cast<u8>(target >> 8), 0x85,
                 static_cast<u8>(pointer + 1)});
            if (indexed_by_y) put({0xA0, device ? u8{0} : static_cast<u8>(random())});
            else put({0xA2, index});
            const u8 op = INDIRECT_READS[random() % std::size(INDIRECT_READS)];
            put({static_cast<u8>(indexed_by_y ? op + 0x10 : op), at_zero_page});
        } else if (kind == 6 && !operands.empty()) {
            // A store through a pointer into an immediate operand.
            const u16 target = operands[random() % operands.size()];
            put({0xA9, static_cast<u8>(target), 0x85, 0x20, 0xA9, static_cast<u8>(target >> 8), 0x85, 0x21, 0xA0,
                 0x00, 0xA9, static_cast<u8>(random()), 0x91, 0x20});
        } else if (kind == 4) {
            slots.push_back(at);
            put({PLAIN_IMPLIED[random() % std::size(PLAIN_IMPLIED)]});
        } else {
            const u8 opcode = static_cast<u8>(random());
            const OpcodeEntry entry = opcode_grid_of(chip)[opcode];
            switch (entry.op) {
            case Op::JMP: case Op::JSR: case Op::RTS: case Op::RTI: case Op::JAM: case Op::STP: case Op::WAI:
            case Op::SHA: case Op::SHX: case Op::SHY: case Op::TAS: continue;  // away from plain RAM, or stopped
            default: break;
            }
            const u16 data = static_cast<u16>(0x3000 + random() % 0x4E00);
            switch (entry.mode) {
            case Mode::imp: case Mode::acc: break;
            case Mode::imm: operands.push_back(static_cast<u16>(at + 1)); [[fallthrough]];
            case Mode::zp: case Mode::zpx: case Mode::zpy: memory[at + 1] = static_cast<u8>(random()); break;
            case Mode::rel: memory[at + 1] = 0; break;
            case Mode::zpr: memory[at + 1] = static_cast<u8>(random()), memory[at + 2] = 0; break;
            case Mode::abs: case Mode::abx: case Mode::aby:
                memory[at + 1] = static_cast<u8>(data), memory[at + 2] = static_cast<u8>(data >> 8);
                break;
            default: continue;  // pointers, which lie anywhere
            }
            memory[at] = opcode;
            at = static_cast<u16>(at + 1 + operand_bytes(entry.mode) + (entry.op == Op::BRK ? 1 : 0));
        }
    }
    put({0x4C, ORIGIN & 0xFF, ORIGIN >> 8});
    memory[HANDLER] = 0x40;
    memory[SUBROUTINE] = 0xE8;
    memory[SUBROUTINE + 1] = 0x60;
    memory[0xFFFE] = HANDLER & 0xFF;
    memory[0xFFFF] = HANDLER >> 8;
}

enum class Counting { instructions, cycles_too, cycle_budget };

struct TranslateRow {
    const char* name;
    Chip chip;
    unsigned seed;
    Counting how;
};
void PrintTo(const TranslateRow& c, std::ostream* os) { *os << c.name; }

template <Chip P>
InRamEnd translated(Counting how, std::uint32_t length) {
    switch (how) {
    case Counting::instructions: return translate_run<P, false, false>(length);
    case Counting::cycles_too: return translate_run<P, true, false>(length);
    case Counting::cycle_budget: break;
    }
    return translate_run<P, true, true>(length);
}

InRamEnd translated_on(Chip chip, Counting how, std::uint32_t length) {
    switch (chip) {
    case Chip::m6502x: return translated<Chip::m6502x>(how, length);
    case Chip::m65c02: return translated<Chip::m65c02>(how, length);
    case Chip::m6502: break;
    }
    return translated<Chip::m6502>(how, length);
}

std::uint32_t max_budget(Chip chip) {
    switch (chip) {
    case Chip::m6502x: return threaded::MAX_BUDGET<Chip::m6502x>;
    case Chip::m65c02: return threaded::MAX_BUDGET<Chip::m65c02>;
    case Chip::m6502: break;
    }
    return threaded::MAX_BUDGET<Chip::m6502>;
}

// One stretch of `length` translated from where cpu stands, then the same
// instructions again one step at a time from the same machine: registers,
// memory, the random generator and cycles must agree, and the stretch
// must end where the interpreter's threaded code ends. `ran`: its length.
void same_as_steps(Chip chip, Counting how, std::uint32_t length, std::uint32_t& ran) {
    const bool budget = how == Counting::cycle_budget;
    const Cpu before = cpu;
    const std::array<u8, 0x10000> memory_before = memory;
    const std::uint64_t random_before = random_state();

    const InRamEnd end = translated_on(chip, how, length);
    const bool looked = end.stop == InRamStop::look;
    ran = budget ? end.countdown : length - end.countdown + (looked ? 1 : 0);
    const Cpu after = cpu;
    const std::array<u8, 0x10000> memory_after = memory;
    const std::uint64_t random_after = random_state();

    cpu = before;
    memory = memory_before;
    random_state_restore(random_before);
    std::uint64_t cycles = 0;
    for (std::uint32_t i = 0; i < ran; ++i) cycles += cpu_step();
    SCOPED_TRACE(std::to_string(ran) + " instructions from " + hex(before.pc));
    ASSERT_EQ(after.pc, cpu.pc);
    ASSERT_EQ(after.a, cpu.a);
    ASSERT_EQ(after.x, cpu.x);
    ASSERT_EQ(after.y, cpu.y);
    ASSERT_EQ(after.sp, cpu.sp);
    ASSERT_EQ(after.status, cpu.status);
    ASSERT_TRUE(memory_after == memory);
    ASSERT_EQ(random_after, random_state());
    if (how != Counting::instructions) {
        ASSERT_EQ(end.cycles, cycles);
    }
    // It ends where the interpreter's threaded code ends: at the
    // countdown or budget, or after an instruction that needs a look.
    if (!looked) {
        ASSERT_TRUE(budget ? cycles >= length : ran == length);
    }
}

class Translated : public CpuTableTest<TranslateRow> {};

TEST_P(Translated, MatchesTheStepsAfterEveryStretch) {
    const TranslateRow& row = GetParam();
    clean_machine(row.chip);
    self_modifying_program(row.chip, row.seed);
    if (!translate_begin(row.chip, 0)) GTEST_SKIP() << "this build has no translating core";
    cpu.pc = ORIGIN;
    random_seed(row.seed);
    std::mt19937 lengths(row.seed);
    const bool budget = row.how == Counting::cycle_budget;
    std::uint64_t instructions = 0;
    for (int stretch = 0; stretch < 1500; ++stretch) {
        // What the run loop makes sure of first: an RTI that pulled a clear
        // constant bit is stepped.
        if ((cpu.status & FLAG_CONSTANT) == 0) {
            (void)cpu_step();
            translate_after_step();
        }
        ASSERT_FALSE(outside_safe_range<threaded::BUDGET_SAFE_PC_END>(cpu.pc)) << "stretch " << stretch;
        // Now and then as long as the run loop gives translated code.
        const std::uint32_t longest = stretch % 4 == 0 ? MAX_TRANSLATED_RUN / 16 : budget ? max_budget(row.chip) : MAX_RUN;
        const auto length = static_cast<std::uint32_t>(1 + lengths() % longest);
        SCOPED_TRACE("stretch " + std::to_string(stretch));
        std::uint32_t ran = 0;
        same_as_steps(row.chip, row.how, length, ran);
        if (HasFatalFailure()) return;
        instructions += ran;
        if (stretch % 5 == 4) {
            cpu_irq();
            translate_after_interrupt();
        }
    }
    EXPECT_GT(instructions, 50000u);
    EXPECT_EQ(emitter_refusals(), 0u) << "blocks the assembler refused, run through the handlers instead";
}

const TranslateRow translate_rows[] = {
    {"m6502_instructions", Chip::m6502, 21, Counting::instructions},
    {"m6502_cycles", Chip::m6502, 22, Counting::cycles_too},
    {"m6502_budget", Chip::m6502, 23, Counting::cycle_budget},
    {"m6502x_instructions", Chip::m6502x, 24, Counting::instructions},
    {"m6502x_cycles", Chip::m6502x, 25, Counting::cycles_too},
    {"m6502x_budget", Chip::m6502x, 26, Counting::cycle_budget},
    {"m65c02_instructions", Chip::m65c02, 27, Counting::instructions},
    {"m65c02_cycles", Chip::m65c02, 28, Counting::cycles_too},
    {"m65c02_budget", Chip::m65c02, 29, Counting::cycle_budget},
};
INSTANTIATE_TEST_SUITE_P(RandomPrograms, Translated, ::testing::ValuesIn(translate_rows), RowName{});

}  // namespace
}  // namespace cpu_test

namespace cpu_test {
namespace {

// Programs at ORIGIN that end with JMP $0000, each on what translated code
// does in host instructions of its own, run translated and then stepped.
struct TranslateCase {
    const char* name;
    Chip chip;
    Counting how;
    std::uint32_t length;  // the countdown or budget
    Bytes program;
};
void PrintTo(const TranslateCase& c, std::ostream* os) { *os << c.name; }

class TranslatedCase : public CpuTableTest<TranslateCase> {};

TEST_P(TranslatedCase, MatchesTheSteps) {
    const TranslateCase& row = GetParam();
    clean_machine(row.chip);
    program(row.program);
    memory[0x3010] = 0x5A;
    memory[0x30FF] = 0x77;
    memory[0x3100] = 0x88;
    if (!translate_begin(row.chip, 0)) GTEST_SKIP() << "this build has no translating core";
    cpu.pc = ORIGIN;
    for (int stretch = 0; stretch < 4 && !outside_safe_range(cpu.pc); ++stretch) {
        SCOPED_TRACE("stretch " + std::to_string(stretch));
        std::uint32_t ran = 0;
        same_as_steps(row.chip, row.how, row.length, ran);
        if (HasFatalFailure()) return;
    }
}

const Bytes DECIMAL_SUMS = {0xF8, 0x18, 0xA9, 0x99, 0x69, 0x01, 0x85, 0x40, 0xA9, 0x10, 0xE9, 0x25, 0x85,
                            0x41, 0x08, 0x68, 0x85, 0x42, 0x4C, 0x00, 0x00};
const TranslateCase translate_cases[] = {
    // SED; CLC; LDA #$99; ADC #1; STA; LDA #$10; SBC #$25; STA; PHP; PLA; STA
    {"decimal_after_sed_in_the_block", Chip::m6502, Counting::cycles_too, 200, DECIMAL_SUMS},
    {"decimal_after_sed_65c02_cycle", Chip::m65c02, Counting::cycles_too, 200, DECIMAL_SUMS},
    {"decimal_after_sed_6502x", Chip::m6502x, Counting::cycle_budget, 200, DECIMAL_SUMS},
    // LDA #$08; PHA; PLP (D from the stack); SEC; LDA #$45; ADC #$38; SBC #$09; PHP
    {"decimal_from_plp", Chip::m6502, Counting::cycles_too, 200,
     {0xA9, 0x08, 0x48, 0x28, 0x38, 0xA9, 0x45, 0x69, 0x38, 0xE9, 0x09, 0x08, 0x4C, 0x00, 0x00}},
    // pointer $30F0 at $20; LDY #$10; LDA ($20),Y crosses into $3100; ORA ($20),Y again
    {"pointer_and_y_cross_a_page", Chip::m6502, Counting::cycles_too, 200,
     {0xA9, 0xF0, 0x85, 0x20, 0xA9, 0x30, 0x85, 0x21, 0xA0, 0x10, 0xB1, 0x20, 0x11, 0x20, 0x4C, 0x00, 0x00}},
    // pointer at $FF/$00 to $3010: LDX #0; LDA ($FF,X); LDY #0; EOR ($FF),Y
    {"pointer_wraps_in_page_zero", Chip::m6502, Counting::instructions, 200,
     {0xA9, 0x10, 0x85, 0xFF, 0xA9, 0x30, 0x85, 0x00, 0xA2, 0x00, 0xA1, 0xFF, 0xA0, 0x00, 0x51, 0xFF, 0x4C, 0x00,
      0x00}},
    // the same through the 65C02's (zp)
    {"pointer_without_index_65c02", Chip::m65c02, Counting::cycles_too, 200,
     {0xA9, 0x10, 0x85, 0xFF, 0xA9, 0x30, 0x85, 0x00, 0xB2, 0xFF, 0x4C, 0x00, 0x00}},
    // a pointer to the random byte: the read goes to the device
    {"pointer_onto_the_device_page", Chip::m6502, Counting::cycles_too, 200,
     {0xA9, RANDOM & 0xFF, 0x85, 0x20, 0xA9, RANDOM >> 8, 0x85, 0x21, 0xA0, 0x00, 0xB1, 0x20, 0x91, 0x22, 0xAA, 0x4C,
      0x00, 0x00}},
    // STA into the next instruction's operand: LDA #$42; STA $0206; LDX #$00 runs as LDX #$42
    {"store_into_the_next_instruction", Chip::m6502, Counting::instructions, 200,
     {0xA9, 0x42, 0x8D, 0x06, 0x02, 0xA2, 0x00, 0x86, 0x40, 0x4C, 0x00, 0x00}},
    // the same through a pointer: pointer $020D at $20; STA ($20),Y
    {"store_through_a_pointer_into_code", Chip::m65c02, Counting::cycles_too, 200,
     {0xA9, 0x0D, 0x85, 0x20, 0xA9, 0x02, 0x85, 0x21, 0xA0, 0x00, 0xA9, 0x07, 0x91, 0x20, 0xA2, 0x00, 0x86, 0x40,
      0x4C, 0x00, 0x00}},
    // N, Z, C and V kept apart, then together for PHP: LDA #$C0; STA $40; CLC; LDA #$70; ADC #$20 (V, N);
    // PHP; BIT $40; PHP; CMP #$90; PHP; LDA #$80; ROL A (C, Z); PHP; PLA; PLA; PLA; PLA
    {"flags_kept_apart_then_pushed", Chip::m6502, Counting::cycles_too, 200,
     {0xA9, 0xC0, 0x85, 0x40, 0x18, 0xA9, 0x70, 0x69, 0x20, 0x08, 0x24, 0x40, 0x08, 0xC9, 0x90, 0x08, 0xA9, 0x80,
      0x2A, 0x08, 0x68, 0x68, 0x68, 0x68, 0x4C, 0x00, 0x00}},
    // a loop of 8 instructions cut by countdowns of 5: the block that does not fit runs a step at a time
    {"countdown_ends_inside_a_block", Chip::m6502, Counting::instructions, 5,
     {0xA2, 0x10, 0xE8, 0x86, 0x40, 0xC8, 0x84, 0x41, 0xCA, 0xCA, 0xD0, 0xF6, 0x4C, 0x00, 0x00}},
    {"budget_ends_inside_a_block", Chip::m65c02, Counting::cycle_budget, 13,
     {0xA2, 0x10, 0xE8, 0x86, 0x40, 0xC8, 0x84, 0x41, 0xCA, 0xCA, 0xD0, 0xF6, 0x4C, 0x00, 0x00}},
    // JSR to a subroutine that returns to 0x0000 (TSX; its pushed address made 0xFFFF): the end, with a look
    {"return_to_zero", Chip::m6502, Counting::cycles_too, 200,
     {0x20, 0x06, 0x02, 0x4C, 0x00, 0x00, 0xBA, 0xA9, 0xFF, 0x9D, 0x01, 0x01, 0x9D, 0x02, 0x01, 0x60}},
};
INSTANTIATE_TEST_SUITE_P(Cases, TranslatedCase, ::testing::ValuesIn(translate_cases), RowName{});

}  // namespace
}  // namespace cpu_test
