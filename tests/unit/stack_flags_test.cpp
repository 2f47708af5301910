// Stack instructions and the seven flag instructions.
#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

// ---- pushes --------------------------------------------------------------

struct PushRow {
    const char* name;
    u8 opcode;
    u8 a, sp, status;
    u16 slot;
    u8 pushed;
    u8 sp_after, status_after;
};
void PrintTo(const PushRow& c, std::ostream* os) { *os << c.name; }

class Push : public CpuTableTest<PushRow> {};

TEST_P(Push, WritesOneByteAndLowersTheStackPointer) {
    const PushRow& row = GetParam();
    program({row.opcode});
    cpu.a = row.a;
    cpu.sp = row.sp;
    cpu.status = row.status;
    auto expected = memory;
    expected[row.slot] = row.pushed;
    EXPECT_EQ(step(), 3u);
    EXPECT_TRUE(memory == expected) << "exactly one byte written, at " << hex(row.slot);
    EXPECT_EQ(memory[row.slot], row.pushed);
    EXPECT_EQ(cpu.sp, row.sp_after);
    EXPECT_EQ(cpu.status, row.status_after);
    EXPECT_EQ(cpu.a, row.a);
}

INSTANTIATE_TEST_SUITE_P(
    Stack, Push,
    ::testing::Values(
        PushRow{"PHA", 0x48, 0x9A, 0xFD, 0x20, 0x01FD, 0x9A, 0xFC, 0x20},
        PushRow{"PHA_sp_zero_wraps", 0x48, 0x9A, 0x00, 0x20, 0x0100, 0x9A, 0xFF, 0x20},
        PushRow{"PHA_changes_no_flag", 0x48, 0x00, 0xFD, 0xA0, 0x01FD, 0x00, 0xFC, 0xA0},
        PushRow{"PHP_E3_pushes_F3", 0x08, 0x00, 0xFD, 0xE3, 0x01FD, 0xF3, 0xFC, 0xE3},
        PushRow{"PHP_zero_pushes_30", 0x08, 0x00, 0xFD, 0x00, 0x01FD, 0x30, 0xFC, 0x20},
        PushRow{"PHP_all_set", 0x08, 0x00, 0x80, 0xFF, 0x0180, 0xFF, 0x7F, 0xFF},
        PushRow{"PHP_sp_zero_wraps", 0x08, 0x00, 0x00, 0x2C, 0x0100, 0x3C, 0xFF, 0x2C}),
    RowName{});

// ---- pulls ---------------------------------------------------------------

struct PullRow {
    const char* name;
    u8 opcode;
    u8 sp;
    u16 slot;
    u8 pulled;
    u8 status_before;
    u8 a_after, status_after;
};
void PrintTo(const PullRow& c, std::ostream* os) { *os << c.name; }

class Pull : public CpuTableTest<PullRow> {};

TEST_P(Pull, ReadsOneByteAndRaisesTheStackPointer) {
    const PullRow& row = GetParam();
    program({row.opcode});
    cpu.sp = row.sp;
    cpu.a = 0x5C;
    cpu.status = row.status_before;
    memory[row.slot] = row.pulled;
    const auto before = memory;
    EXPECT_EQ(step(), 4u);
    EXPECT_EQ(cpu.sp, static_cast<u8>(row.sp + 1));
    EXPECT_EQ(cpu.a, row.a_after);
    EXPECT_EQ(cpu.status, row.status_after);
    EXPECT_TRUE(memory == before);
}

INSTANTIATE_TEST_SUITE_P(
    Stack, Pull,
    ::testing::Values(
        PullRow{"PLP_00_gives_20", 0x28, 0xFC, 0x01FD, 0x00, 0xFF, 0x5C, 0x20},
        PullRow{"PLP_FF_gives_FF", 0x28, 0xFC, 0x01FD, 0xFF, 0x20, 0x5C, 0xFF},
        PullRow{"PLP_takes_B", 0x28, 0xFC, 0x01FD, 0x10, 0x20, 0x5C, 0x30},
        PullRow{"PLP_exact_bits", 0x28, 0xFC, 0x01FD, 0xC9, 0x36, 0x5C, 0xE9},
        PullRow{"PLP_sp_FF_wraps", 0x28, 0xFF, 0x0100, 0x03, 0x20, 0x5C, 0x23},
        PullRow{"PLA_zero", 0x68, 0xFC, 0x01FD, 0x00, 0xE1, 0x00, 0x63},
        PullRow{"PLA_negative", 0x68, 0xFC, 0x01FD, 0x80, 0x63, 0x80, 0xE1},
        PullRow{"PLA_positive", 0x68, 0xFC, 0x01FD, 0x01, 0xAF, 0x01, 0x2D},
        PullRow{"PLA_sp_FF_wraps", 0x68, 0xFF, 0x0100, 0x42, 0x20, 0x42, 0x20}),
    RowName{});

TEST_F(CpuTest, PushThenPullRoundTrips) {
    // PHA, LDA #0, PLA; PHP, CLC, PLP
    program({0x48, 0xA9, 0x00, 0x68, 0x08, 0x18, 0x28});
    cpu.a = 0x81;
    cpu.status = 0x21;
    step();
    step();
    EXPECT_EQ(cpu.a, 0x00);
    step();
    EXPECT_EQ(cpu.a, 0x81);
    EXPECT_EQ(cpu.sp, 0xFD);
    step();
    step();
    EXPECT_EQ(cpu.status & FLAG_C, 0);
    step();
    EXPECT_EQ(cpu.status, 0xB1) << "PLP brings back C, N and the pushed B";
    EXPECT_EQ(cpu.sp, 0xFD);
}

// ---- flag instructions ---------------------------------------------------

struct FlagRow {
    const char* name;
    u8 opcode;
    u8 before, after;
};
void PrintTo(const FlagRow& c, std::ostream* os) { *os << c.name; }

class FlagInstruction : public CpuTableTest<FlagRow> {};

TEST_P(FlagInstruction, ChangesItsOneBit) {
    const FlagRow& row = GetParam();
    program({row.opcode});
    cpu.status = row.before;
    cpu.a = 0x12;
    const auto before = memory;
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu.status, row.after);
    EXPECT_EQ(cpu.pc, ORIGIN + 1);
    EXPECT_EQ(cpu.a, 0x12);
    EXPECT_EQ(cpu.sp, 0xFD);
    EXPECT_TRUE(memory == before);
}

INSTANTIATE_TEST_SUITE_P(Flags, FlagInstruction,
                         ::testing::Values(FlagRow{"CLC", 0x18, 0xFF, 0xFE}, FlagRow{"CLC_already_clear", 0x18, 0x20, 0x20},
                                           FlagRow{"CLD", 0xD8, 0xFF, 0xF7}, FlagRow{"CLI", 0x58, 0xFF, 0xFB},
                                           FlagRow{"CLV", 0xB8, 0xFF, 0xBF}, FlagRow{"SEC", 0x38, 0x20, 0x21},
                                           FlagRow{"SEC_already_set", 0x38, 0xFF, 0xFF}, FlagRow{"SED", 0xF8, 0x20, 0x28},
                                           FlagRow{"SEI", 0x78, 0x20, 0x24}, FlagRow{"SED_keeps_rest", 0xF8, 0xE7, 0xEF},
                                           FlagRow{"CLV_keeps_rest", 0xB8, 0x40, 0x20}),
                         RowName{});

TEST_F(CpuTest, CliAndSeiTakeEffectForTheVeryNextInterrupt) {
    poke_word(IRQ_VECTOR, 0x4000);
    program({0x58, 0x78});  // CLI, SEI
    cpu.status = 0x24;

    step();  // CLI
    cpu_irq();
    EXPECT_EQ(cpu.pc, 0x4000) << "accepted right after CLI";
    EXPECT_EQ(memory[0x01FB], 0x20);

    clean_machine();
    poke_word(IRQ_VECTOR, 0x4000);
    program({0x78});
    step();  // SEI
    cpu_irq();
    EXPECT_EQ(cpu.pc, ORIGIN + 1) << "dropped right after SEI";
    EXPECT_EQ(cpu.sp, 0xFD);
}

}  // namespace
}  // namespace cpu_test
