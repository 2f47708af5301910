// Branches, jumps, subroutine calls and returns, BRK and RTI.
#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

// ---- the eight branches --------------------------------------------------

TEST_F(CpuTest, EachBranchTestsItsOneBit) {
    for (const BranchRule& rule : BRANCHES) {
        for (const bool flag_set : {false, true}) {
            SCOPED_TRACE(std::string(rule.name) + (flag_set ? " flag set" : " flag clear"));
            // Other flags opposite to the tested one, so a branch that looks
            // at the wrong bit goes the wrong way at least once.
            const u8 others = static_cast<u8>((FLAG_N | FLAG_V | FLAG_Z | FLAG_C) & ~rule.flag);
            for (const u8 rest : {u8{0}, others}) {
                clean_machine();
                program({rule.opcode, 0x10});
                cpu.status = static_cast<u8>(FLAG_CONSTANT | rest | (flag_set ? rule.flag : 0));
                const u8 status = cpu.status;
                const bool taken = flag_set == rule.taken_when_set;
                EXPECT_EQ(step(), taken ? 3u : 2u);
                EXPECT_EQ(cpu.pc, taken ? 0x0212 : 0x0202);
                EXPECT_EQ(cpu.status, status) << "branches change no flag";
            }
        }
    }
}

struct BranchRow {
    const char* name;
    u16 at;
    u8 offset;
    bool taken;
    u16 pc_after;
    u32 cycles;
};
void PrintTo(const BranchRow& c, std::ostream* os) { *os << c.name; }

class BranchTiming : public CpuTableTest<BranchRow> {};

// BNE throughout: Z clear takes it.
TEST_P(BranchTiming, CostsTwoThreeOrFour) {
    const BranchRow& row = GetParam();
    program({0xD0, row.offset}, row.at);
    cpu.status = static_cast<u8>(FLAG_CONSTANT | (row.taken ? 0 : FLAG_Z));
    EXPECT_EQ(step(), row.cycles);
    EXPECT_EQ(cpu.pc, row.pc_after);
}

INSTANTIATE_TEST_SUITE_P(
    Branch, BranchTiming,
    ::testing::Values(BranchRow{"same_page_to_02FF", 0x02F0, 0x0D, true, 0x02FF, 3},
                      BranchRow{"next_page_0300", 0x02F0, 0x0E, true, 0x0300, 4},
                      BranchRow{"not_taken", 0x02F0, 0x0E, false, 0x02F2, 2},
                      BranchRow{"not_taken_at_page_end", 0x02FE, 0x40, false, 0x0300, 2},
                      // Compared with the instruction after the branch, not the branch itself.
                      BranchRow{"branch_at_page_end_into_next", 0x02FE, 0x01, true, 0x0301, 3},
                      BranchRow{"back_within_page", 0x0280, 0xF0, true, 0x0272, 3},
                      BranchRow{"back_into_previous_page", 0x0300, 0x80, true, 0x0282, 4},
                      BranchRow{"to_itself", 0x0240, 0xFE, true, 0x0240, 3},
                      BranchRow{"below_zero_wraps", 0xFFFF, 0xF0, true, 0xFFF1, 4},
                      BranchRow{"past_top_wraps", 0xFFF0, 0x7F, true, 0x0071, 4}),
    RowName{});

// ---- jumps ---------------------------------------------------------------

TEST_F(CpuTest, JumpsGoWhereTheirModePoints) {
    struct Row {
        const char* name;
        std::vector<u8> bytes;
        u16 pointer_at;
        u16 pointer_value;
        u16 target;
        u32 cycles;
    } const rows[] = {
        {"JMP abs", {0x4C, 0x34, 0x12}, 0, 0, 0x1234, 3},
        {"JMP abs to zero", {0x4C, 0x00, 0x00}, 0, 0, 0x0000, 3},
        {"JMP ind", {0x6C, 0x00, 0x30}, 0x3000, 0xBEEF, 0xBEEF, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        if (row.pointer_at != 0) poke_word(row.pointer_at, row.pointer_value);
        program(row.bytes);
        cpu.status = 0xE3;
        EXPECT_EQ(step(), row.cycles);
        EXPECT_EQ(cpu.pc, row.target);
        EXPECT_EQ(cpu.status, 0xE3);
        EXPECT_EQ(cpu.sp, 0xFD);
    }
}

TEST_F(CpuTest, JumpIndirectTakesHighByteFromTheSamePage) {
    memory[0x12FF] = 0x34;
    memory[0x1200] = 0x12;
    memory[0x1300] = 0x56;
    program({0x6C, 0xFF, 0x12});
    step();
    EXPECT_EQ(cpu.pc, 0x1234);
}

// ---- JSR and RTS ---------------------------------------------------------

struct CallRow {
    const char* name;
    u16 at;
    u8 sp;
    u16 high_at, low_at;
    u8 sp_after;
};
void PrintTo(const CallRow& c, std::ostream* os) { *os << c.name; }

class Call : public CpuTableTest<CallRow> {};

TEST_P(Call, JsrPushesItsLastByteAndRtsComesBackAfterIt) {
    const CallRow& row = GetParam();
    program({0x20, 0x34, 0x12}, row.at);
    memory[0x1234] = 0x60;  // RTS
    cpu.sp = row.sp;
    cpu.status = 0xC3;
    const u16 pushed = static_cast<u16>(row.at + 2);

    EXPECT_EQ(step(), 6u);
    EXPECT_EQ(cpu.pc, 0x1234);
    EXPECT_EQ(cpu.sp, row.sp_after);
    EXPECT_EQ(memory[row.high_at], pushed >> 8);
    EXPECT_EQ(memory[row.low_at], pushed & 0xFF);
    EXPECT_EQ(cpu.status, 0xE3);

    EXPECT_EQ(step(), 6u);
    EXPECT_EQ(cpu.pc, static_cast<u16>(row.at + 3));
    EXPECT_EQ(cpu.sp, row.sp);
    EXPECT_EQ(cpu.status, 0xE3);
}

INSTANTIATE_TEST_SUITE_P(Jump, Call,
                         ::testing::Values(CallRow{"at_0200", 0x0200, 0xFD, 0x01FD, 0x01FC, 0xFB},
                                           CallRow{"sp_zero_wraps", 0x0345, 0x00, 0x0100, 0x01FF, 0xFE},
                                           CallRow{"sp_one", 0x0345, 0x01, 0x0101, 0x0100, 0xFF},
                                           CallRow{"high_byte_distinct", 0x4567, 0xFD, 0x01FD, 0x01FC, 0xFB}),
                         RowName{});

TEST_F(CpuTest, RtsAddsOneToThePulledWord) {
    struct Row {
        u8 sp;
        u16 low_at, high_at;
        u16 pulled;
        u16 pc_after;
    } const rows[] = {
        {0xFB, 0x01FC, 0x01FD, 0x1233, 0x1234},
        {0xFB, 0x01FC, 0x01FD, 0xFFFF, 0x0000},
        {0xFE, 0x01FF, 0x0100, 0x02FF, 0x0300},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.pulled));
        clean_machine();
        program({0x60});
        cpu.sp = row.sp;
        memory[row.low_at] = static_cast<u8>(row.pulled);
        memory[row.high_at] = static_cast<u8>(row.pulled >> 8);
        EXPECT_EQ(step(), 6u);
        EXPECT_EQ(cpu.pc, row.pc_after);
        EXPECT_EQ(cpu.sp, static_cast<u8>(row.sp + 2));
    }
}

// ---- BRK and RTI ---------------------------------------------------------

struct BrkRow {
    const char* name;
    u8 status;
    u8 pushed;
    u8 status_after;
};
void PrintTo(const BrkRow& c, std::ostream* os) { *os << c.name; }

class Brk : public CpuTableTest<BrkRow> {};

TEST_P(Brk, PushesReturnPlusTwoAndStatusWithBThenRtiComesBack) {
    const BrkRow& row = GetParam();
    poke_word(IRQ_VECTOR, 0x4000);
    memory[0x4000] = 0x40;  // RTI
    program({0x00, 0xFF}, 0x0300);
    cpu.status = row.status;

    EXPECT_EQ(step(), 7u);
    EXPECT_EQ(cpu.pc, 0x4000);
    EXPECT_EQ(cpu.sp, 0xFA);
    EXPECT_EQ(memory[0x01FD], 0x03);
    EXPECT_EQ(memory[0x01FC], 0x02);
    EXPECT_EQ(memory[0x01FB], row.pushed);
    EXPECT_EQ(cpu.status, row.status_after) << "only I changes in the live status";

    EXPECT_EQ(step(), 6u);
    EXPECT_EQ(cpu.pc, 0x0302) << "RTI does not add one";
    EXPECT_EQ(cpu.sp, 0xFD);
    EXPECT_EQ(cpu.status, row.pushed) << "status comes back as pushed, B included";
}

INSTANTIATE_TEST_SUITE_P(Jump, Brk,
                         ::testing::Values(BrkRow{"plain", 0x20, 0x30, 0x24},
                                           BrkRow{"keeps_decimal", 0x29, 0x39, 0x2D},
                                           BrkRow{"runs_with_I_set", 0xE6, 0xF6, 0xE6},
                                           BrkRow{"constant_bit_forced", 0x00, 0x30, 0x24},
                                           BrkRow{"live_B_stays", 0x30, 0x30, 0x34}),
                         RowName{});

TEST_F(CpuTest, BrkWithTheDefaultVectorGoesToZero) {
    program({0x00});
    cpu.status = 0x24;
    step();
    EXPECT_EQ(cpu.pc, 0x0000);
    EXPECT_EQ(cpu.sp, 0xFA);
}

TEST_F(CpuTest, RtiTakesTheStatusExactlyAsPulled) {
    struct Row {
        u8 pulled;
        u8 sp;
        u16 status_at, low_at, high_at;
    } const rows[] = {
        {0x00, 0xFA, 0x01FB, 0x01FC, 0x01FD},
        {0xFF, 0xFA, 0x01FB, 0x01FC, 0x01FD},
        {0x10, 0xFE, 0x01FF, 0x0100, 0x0101},
        {0xCB, 0xFF, 0x0100, 0x0101, 0x0102},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.pulled));
        clean_machine();
        program({0x40});
        cpu.sp = row.sp;
        memory[row.status_at] = row.pulled;
        memory[row.low_at] = 0x78;
        memory[row.high_at] = 0x56;
        EXPECT_EQ(step(), 6u);
        EXPECT_EQ(cpu.status, row.pulled);
        EXPECT_EQ(cpu.pc, 0x5678);
        EXPECT_EQ(cpu.sp, static_cast<u8>(row.sp + 3));
    }
}

}  // namespace
}  // namespace cpu_test
