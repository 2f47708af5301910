// The processor's frame: reset, the stack primitives, read_word, interrupts,
// the step and exec loops, the counters and the step hook.
#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

// ---- reset ---------------------------------------------------------------

struct ResetRow {
    const char* name;
    u8 status_before;
    u16 vector;
    u8 status_after;
};
void PrintTo(const ResetRow& c, std::ostream* os) { *os << c.name; }

class Reset : public CpuTableTest<ResetRow> {};

TEST_P(Reset, LoadsVectorStackAndSetsOnlyIAndConstantBit) {
    const ResetRow& row = GetParam();
    poke_word(RESET_VECTOR, row.vector);
    cpu.status = row.status_before;
    cpu.sp = 0x12;
    cpu.a = 0x11;
    cpu.x = 0x22;
    cpu.y = 0x33;
    cpu.instruction_count = 77;
    cpu_reset();
    EXPECT_EQ(cpu.pc, row.vector);
    EXPECT_EQ(cpu.sp, 0xFD);
    EXPECT_EQ(cpu.status, row.status_after);
    EXPECT_EQ(cpu.a, 0x11);
    EXPECT_EQ(cpu.x, 0x22);
    EXPECT_EQ(cpu.y, 0x33);
    EXPECT_EQ(cpu.instruction_count, 77u);
}

INSTANTIATE_TEST_SUITE_P(Frame, Reset,
                         ::testing::Values(ResetRow{"zero_status_becomes_24", 0x00, 0x0200, 0x24},
                                           ResetRow{"carry_zero_decimal_kept", 0x0B, 0xABCD, 0x2F},
                                           ResetRow{"negative_overflow_break_kept", 0xD0, 0x0000, 0xF4},
                                           ResetRow{"all_set_stays_all_set", 0xFF, 0xFFFF, 0xFF}),
                         RowName{});

// ---- read_word -----------------------------------------------------------

TEST_F(CpuTest, ReadWordIsLittleEndianAndWrapsAtTheTop) {
    struct Row {
        u16 address;
        u8 low, high;
        u16 high_at;
        u16 expected;
    } const rows[] = {
        {0x1234, 0x78, 0x56, 0x1235, 0x5678},
        {0x12FF, 0xCD, 0xAB, 0x1300, 0xABCD},  // no page wrap here: a plain +1
        {0xFFFF, 0x34, 0x12, 0x0000, 0x1234},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.address));
        clean_machine();
        memory[row.address] = row.low;
        memory[row.high_at] = row.high;
        EXPECT_EQ(read_word(row.address), row.expected);
    }
}

// ---- stack primitives ----------------------------------------------------

TEST_F(CpuTest, PushWordWritesHighByteFirstAtTheHigherAddress) {
    struct Row {
        u8 sp;
        u16 value;
        u16 high_at, low_at;
        u8 sp_after;
    } const rows[] = {
        {0xFD, 0x1234, 0x01FD, 0x01FC, 0xFB},
        {0x00, 0xBEEF, 0x0100, 0x01FF, 0xFE},  // wraps inside page one
        {0x01, 0xCAFE, 0x0101, 0x0100, 0xFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.sp));
        clean_machine();
        cpu.sp = row.sp;
        stack_push_word(row.value);
        EXPECT_EQ(memory[row.high_at], row.value >> 8);
        EXPECT_EQ(memory[row.low_at], row.value & 0xFF);
        EXPECT_EQ(cpu.sp, row.sp_after);
        EXPECT_EQ(memory[0x0200], 0) << "nothing written outside the stack page";
        EXPECT_EQ(memory[0x0000], 0);
        EXPECT_EQ(stack_pull_word(), row.value);
        EXPECT_EQ(cpu.sp, row.sp);
    }
}

TEST_F(CpuTest, PushAndPullByteWrapInsidePageOne) {
    struct Row {
        u8 sp;
        u16 slot;  // where a push writes and the matching pull reads
        u8 sp_after_push;
    } const rows[] = {
        {0xFD, 0x01FD, 0xFC},
        {0x00, 0x0100, 0xFF},
        {0xFF, 0x01FF, 0xFE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.sp));
        clean_machine();
        cpu.sp = row.sp;
        stack_push_byte(0x5A);
        EXPECT_EQ(memory[row.slot], 0x5A);
        EXPECT_EQ(cpu.sp, row.sp_after_push);
        memory[row.slot] = 0xA5;
        EXPECT_EQ(stack_pull_byte(), 0xA5);
        EXPECT_EQ(cpu.sp, row.sp);
    }
}

TEST_F(CpuTest, PullByteFromTheTopWrapsToTheBottomOfTheStack) {
    cpu.sp = 0xFF;
    memory[0x0100] = 0x42;
    memory[0x0200] = 0x99;  // would be read by an unwrapped 0x01FF + 1
    EXPECT_EQ(stack_pull_byte(), 0x42);
    EXPECT_EQ(cpu.sp, 0x00);
}

TEST_F(CpuTest, PullWordReadsLowThenHighWrappingInsidePageOne) {
    struct Row {
        u8 sp;
        u16 low_at, high_at;
        u8 sp_after;
    } const rows[] = {
        {0xFB, 0x01FC, 0x01FD, 0xFD},
        {0xFE, 0x01FF, 0x0100, 0x00},
        {0xFF, 0x0100, 0x0101, 0x01},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.sp));
        clean_machine();
        cpu.sp = row.sp;
        memory[row.low_at] = 0x34;
        memory[row.high_at] = 0x12;
        EXPECT_EQ(stack_pull_word(), 0x1234);
        EXPECT_EQ(cpu.sp, row.sp_after);
    }
}

// ---- interrupts ----------------------------------------------------------

struct InterruptRow {
    const char* name;
    bool nmi;
    u8 status;
    bool taken;
    u8 pushed_status;
};
void PrintTo(const InterruptRow& c, std::ostream* os) { *os << c.name; }

class Interrupt : public CpuTableTest<InterruptRow> {};

TEST_P(Interrupt, PushesReturnAndStatusThenVectors) {
    const InterruptRow& row = GetParam();
    poke_word(IRQ_VECTOR, 0x4000);
    poke_word(NMI_VECTOR, 0x5000);
    cpu.pc = 0x1234;
    cpu.status = row.status;
    cpu.cycle_count = 9;
    cpu.instruction_count = 3;
    const auto before = memory;

    if (row.nmi)
        cpu_nmi();
    else
        cpu_irq();

    EXPECT_EQ(cpu.cycle_count, 9u) << "interrupt entry costs no cycles";
    EXPECT_EQ(cpu.instruction_count, 3u);
    if (!row.taken) {
        EXPECT_EQ(cpu.pc, 0x1234);
        EXPECT_EQ(cpu.sp, 0xFD);
        EXPECT_EQ(cpu.status, row.status);
        EXPECT_TRUE(memory == before) << "a dropped request pushes nothing";
        return;
    }
    EXPECT_EQ(cpu.pc, row.nmi ? 0x5000 : 0x4000);
    EXPECT_EQ(cpu.sp, 0xFA);
    EXPECT_EQ(memory[0x01FD], 0x12);
    EXPECT_EQ(memory[0x01FC], 0x34);
    EXPECT_EQ(memory[0x01FB], row.pushed_status);
    EXPECT_EQ(cpu.status, row.status | FLAG_I) << "only I changes; D and the live B stay";
}

INSTANTIATE_TEST_SUITE_P(
    Frame, Interrupt,
    ::testing::Values(InterruptRow{"irq_dropped_while_i_set", false, 0x24, false, 0},
                      InterruptRow{"irq_dropped_all_flags", false, 0xFF, false, 0},
                      InterruptRow{"irq_taken", false, 0x20, true, 0x20},
                      InterruptRow{"irq_pushes_b_clear", false, 0x30, true, 0x20},
                      InterruptRow{"irq_keeps_decimal", false, 0xEB, true, 0xEB},
                      InterruptRow{"nmi_ignores_i", true, 0x24, true, 0x24},
                      InterruptRow{"nmi_pushes_b_clear", true, 0xFF, true, 0xEF},
                      InterruptRow{"nmi_taken", true, 0x20, true, 0x20}),
    RowName{});

TEST_F(CpuTest, InterruptReturnAddressWrapsTheStack) {
    poke_word(IRQ_VECTOR, 0x4000);
    cpu.sp = 0x01;
    cpu.pc = 0xABCD;
    cpu_irq();
    EXPECT_EQ(memory[0x0101], 0xAB);
    EXPECT_EQ(memory[0x0100], 0xCD);
    EXPECT_EQ(memory[0x01FF], FLAG_CONSTANT);
    EXPECT_EQ(cpu.sp, 0xFE);
}

// ---- step, counters, constant bit ----------------------------------------

TEST_F(CpuTest, StepReturnsTheCyclesOfTheInstruction) {
    struct Row {
        const char* name;
        std::vector<u8> bytes;
        u32 cycles;
    } const rows[] = {
        {"LDA imm", {0xA9, 0x01}, 2},
        {"LDA abs", {0xAD, 0x00, 0x30}, 4},
        {"INC abs", {0xEE, 0x00, 0x30}, 6},
        {"JSR", {0x20, 0x00, 0x30}, 6},
        {"BRK", {0x00}, 7},
        {"PHA", {0x48}, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        program(row.bytes);
        cpu.cycle_count = 1000;
        EXPECT_EQ(step(), row.cycles);
        EXPECT_EQ(cpu.cycle_count, row.cycles) << "a step starts counting from zero";
    }
}

TEST_F(CpuTest, InstructionCountGrowsByOnePerStepAndPerExecutedInstruction) {
    program({0xEA, 0xEA, 0xEA, 0xEA, 0xEA});
    cpu.instruction_count = 0xFFFFFFFE;
    step();
    EXPECT_EQ(cpu.instruction_count, 0xFFFFFFFFu);
    step();
    EXPECT_EQ(cpu.instruction_count, 0u) << "wraps modulo 2^32";
    cpu_exec(6);
    EXPECT_EQ(cpu.instruction_count, 3u);
}

TEST_F(CpuTest, ConstantBitIsForcedAtFetchButRtiMayClearItForOneStep) {
    // RTI pulls status 0x00 and return address 0x0300.
    program({0x40});
    cpu.sp = 0xFA;
    load(0x01FB, {0x00, 0x00, 0x03});
    memory[0x0300] = 0xEA;
    cpu.status = 0x00;
    step();
    EXPECT_EQ(cpu.pc, 0x0300);
    EXPECT_EQ(cpu.status, 0x00) << "RTI takes the byte exactly as pulled";
    step();
    EXPECT_EQ(cpu.status, FLAG_CONSTANT) << "the next fetch sets the constant bit again";
}

TEST_F(CpuTest, EveryOtherStepEndsWithTheConstantBitSet) {
    const u8 opcodes[] = {0xEA, 0xA9, 0x18, 0x08, 0x48, 0xE8};
    for (const u8 opcode : opcodes) {
        SCOPED_TRACE(hex(opcode));
        clean_machine();
        program({opcode, 0x00});
        cpu.status = 0x00;
        step();
        EXPECT_NE(cpu.status & FLAG_CONSTANT, 0);
    }
}

// ---- cpu_exec ------------------------------------------------------------

TEST_F(CpuTest, ExecRunsWholeInstructionsUntilTheBudgetIsSpent) {
    // Two-cycle NOPs: the loop stops at the first count >= budget.
    struct Row {
        u32 budget;
        u32 instructions;
        u32 cycles;
    } const rows[] = {
        {0, 0, 0}, {1, 1, 2}, {2, 1, 2}, {3, 2, 4}, {4, 2, 4}, {5, 3, 6}, {20, 10, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.budget);
        clean_machine();
        memory.fill(0xEA);
        cpu.pc = ORIGIN;
        EXPECT_EQ(cpu_exec(row.budget), row.cycles);
        EXPECT_EQ(cpu.instruction_count, row.instructions);
        EXPECT_EQ(cpu.pc, ORIGIN + row.instructions);
        EXPECT_EQ(cpu.cycle_goal, row.budget);
    }
}

TEST_F(CpuTest, ExecAccumulatesMixedInstructionCosts) {
    // LDA abs (4) + INC zp (5) + DCP abx across a page (7) + JMP abs (3)
    program({0xAD, 0x00, 0x30, 0xE6, 0x10, 0xDF, 0xF0, 0x12, 0x4C, 0x00, 0x02});
    cpu.x = 0x20;
    EXPECT_EQ(cpu_exec(19), 19u);
    EXPECT_EQ(cpu.instruction_count, 4u);
    EXPECT_EQ(cpu.pc, ORIGIN);
    EXPECT_EQ(memory[0x0010], 0x01);
    EXPECT_EQ(memory[0x1310], 0xFF);
}

TEST_F(CpuTest, ExecStartsItsCountFromZero) {
    memory.fill(0xEA);
    cpu.pc = ORIGIN;
    cpu.cycle_count = 0xFFFFFFF0;
    EXPECT_EQ(cpu_exec(4), 4u);
    EXPECT_EQ(cpu.instruction_count, 2u);
}

// ---- step hook -----------------------------------------------------------

int hook_calls = 0;
u16 hook_saw_pc = 0;
void counting_hook() {
    ++hook_calls;
    hook_saw_pc = cpu.pc;
}
void other_hook() { hook_calls += 100; }

TEST_F(CpuTest, HookRunsOnceAfterEveryStepAndCanBeRemoved) {
    memory.fill(0xEA);
    cpu.pc = ORIGIN;
    hook_calls = 0;
    cpu_set_hook(counting_hook);
    step();
    EXPECT_EQ(hook_calls, 1);
    EXPECT_EQ(hook_saw_pc, ORIGIN + 1) << "called after the instruction";
    step();
    step();
    EXPECT_EQ(hook_calls, 3);
    cpu_exec(6);
    EXPECT_EQ(hook_calls, 6) << "cpu_exec calls it once per instruction too";

    cpu_set_hook(nullptr);
    step();
    cpu_exec(4);
    EXPECT_EQ(hook_calls, 6);

    cpu_set_hook(other_hook);
    step();
    EXPECT_EQ(hook_calls, 106) << "a new hook replaces the old one";
    cpu_set_hook(nullptr);
}

}  // namespace
}  // namespace cpu_test
