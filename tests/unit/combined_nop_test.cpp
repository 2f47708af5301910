// The undocumented combined instructions (two documented operations on one
// address) and the NOPs, each checked in every one of its opcodes.
#include "bus/devices.hpp"
#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

// Base cycles by mode, as the manual gives them per kind of instruction.
u32 rmw_combined_cycles(Mode m) {
    switch (m) {
    case Mode::zp: return 5;
    case Mode::zpx: return 6;
    case Mode::abs: return 6;
    case Mode::aby:
    case Mode::abx: return 7;
    case Mode::izx:
    case Mode::izy: return 8;
    default: return 0;
    }
}

u32 lax_cycles(Mode m, bool cross) {
    switch (m) {
    case Mode::zp: return 3;
    case Mode::zpy:
    case Mode::abs: return 4;
    case Mode::aby: return cross ? 5 : 4;
    case Mode::izx: return 6;
    case Mode::izy: return cross ? 6 : 5;
    default: return 0;
    }
}

u32 sax_cycles(Mode m) {
    switch (m) {
    case Mode::zp: return 3;
    case Mode::zpy:
    case Mode::abs: return 4;
    case Mode::izx: return 6;
    default: return 0;
    }
}

enum class Kind { rmw, lax, sax };

const std::vector<u8> SLO_OPS{0x03, 0x07, 0x0F, 0x13, 0x17, 0x1B, 0x1F};
const std::vector<u8> RLA_OPS{0x23, 0x27, 0x2F, 0x33, 0x37, 0x3B, 0x3F};
const std::vector<u8> SRE_OPS{0x43, 0x47, 0x4F, 0x53, 0x57, 0x5B, 0x5F};
const std::vector<u8> RRA_OPS{0x63, 0x67, 0x6F, 0x73, 0x77, 0x7B, 0x7F};
const std::vector<u8> DCP_OPS{0xC3, 0xC7, 0xCF, 0xD3, 0xD7, 0xDB, 0xDF};
const std::vector<u8> ISB_OPS{0xE3, 0xE7, 0xEF, 0xF3, 0xF7, 0xFB, 0xFF};
const std::vector<u8> LAX_OPS{0xA3, 0xA7, 0xAF, 0xB3, 0xB7, 0xBB, 0xBF};
const std::vector<u8> SAX_OPS{0x83, 0x87, 0x8F, 0x97};

struct CombinedRow {
    const char* name;
    const std::vector<u8>* opcodes;
    Kind kind;
    u8 m, a, x, status;
    u8 m_after, a_after;
    int x_after;  // -1: as it was
    u8 status_after;
};
void PrintTo(const CombinedRow& c, std::ostream* os) { *os << c.name; }

class Combined : public CpuTableTest<CombinedRow> {};

TEST_P(Combined, EveryOpcodeEveryCrossing) {
    const CombinedRow& row = GetParam();
    for (const u8 opcode : *row.opcodes) {
        for (const bool cross : {false, true}) {
            SCOPED_TRACE(hex(opcode) + (cross ? " crossing" : ""));
            clean_machine();
            cpu.x = row.x;
            const u16 target = aim(opcode, cross);
            memory[target] = row.m;
            cpu.a = row.a;
            cpu.status = row.status;
            const u8 x_before = cpu.x;
            const u8 y_before = cpu.y;
            auto expected_memory = memory;
            expected_memory[target] = row.m_after;

            const Mode mode = mode_table[opcode];
            const u32 cycles = row.kind == Kind::rmw   ? rmw_combined_cycles(mode)
                               : row.kind == Kind::lax ? lax_cycles(mode, cross)
                                                       : sax_cycles(mode);
            EXPECT_EQ(step(), cycles);
            EXPECT_EQ(cpu.pc, ORIGIN + 1 + manual_operand_bytes(mode));
            EXPECT_EQ(memory[target], row.m_after) << hex(memory[target]);
            EXPECT_TRUE(memory == expected_memory) << "only the addressed byte changes";
            EXPECT_EQ(cpu.a, row.a_after) << hex(cpu.a);
            EXPECT_EQ(cpu.x, row.x_after < 0 ? x_before : row.x_after);
            EXPECT_EQ(cpu.y, y_before);
            EXPECT_EQ(cpu.sp, 0xFD);
            EXPECT_EQ(cpu.status, row.status_after) << hex(cpu.status);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Undocumented, Combined,
    ::testing::Values(
        //          name            ops       kind        m     a     x     st    -> m     a     x    st
        CombinedRow{"SLO_81_01", &SLO_OPS, Kind::rmw, 0x81, 0x01, 0x00, 0xE2, 0x02, 0x03, -1, 0x61},
        CombinedRow{"SLO_00_00_zero", &SLO_OPS, Kind::rmw, 0x00, 0x00, 0x00, 0xA1, 0x00, 0x00, -1, 0x22},
        CombinedRow{"RLA_80_c_FF", &RLA_OPS, Kind::rmw, 0x80, 0xFF, 0x00, 0xE3, 0x01, 0x01, -1, 0x61},
        CombinedRow{"SRE_03_01", &SRE_OPS, Kind::rmw, 0x03, 0x01, 0x00, 0xE0, 0x01, 0x00, -1, 0x63},
        CombinedRow{"RRA_03_10_binary", &RRA_OPS, Kind::rmw, 0x03, 0x10, 0x00, 0xE2, 0x01, 0x12, -1, 0x20},
        CombinedRow{"RRA_02_09_decimal", &RRA_OPS, Kind::rmw, 0x02, 0x09, 0x00, 0xEA, 0x01, 0x10, -1, 0x28},
        CombinedRow{"RRA_03_09_decimal", &RRA_OPS, Kind::rmw, 0x03, 0x09, 0x00, 0xEA, 0x01, 0x11, -1, 0x28},
        CombinedRow{"RRA_carry_into_bit7", &RRA_OPS, Kind::rmw, 0x00, 0x00, 0x00, 0x21, 0x80, 0x80, -1, 0xA0},
        CombinedRow{"DCP_01_00", &DCP_OPS, Kind::rmw, 0x01, 0x00, 0x00, 0xE0, 0x00, 0x00, -1, 0x63},
        CombinedRow{"DCP_00_FF", &DCP_OPS, Kind::rmw, 0x00, 0xFF, 0x00, 0xE0, 0xFF, 0xFF, -1, 0x63},
        CombinedRow{"DCP_20_10", &DCP_OPS, Kind::rmw, 0x20, 0x10, 0x00, 0x63, 0x1F, 0x10, -1, 0xE0},
        CombinedRow{"ISB_FF_c_05_binary", &ISB_OPS, Kind::rmw, 0xFF, 0x05, 0x00, 0xE3, 0x00, 0x05, -1, 0x21},
        CombinedRow{"ISB_04_c_10_decimal", &ISB_OPS, Kind::rmw, 0x04, 0x10, 0x00, 0xEB, 0x05, 0x05, -1, 0x29},
        CombinedRow{"ISB_00_c_00_decimal", &ISB_OPS, Kind::rmw, 0x00, 0x00, 0x00, 0x6B, 0x01, 0x99, -1, 0xA8},
        CombinedRow{"ISB_borrow_kept", &ISB_OPS, Kind::rmw, 0x01, 0x05, 0x00, 0x20, 0x02, 0x02, -1, 0x21},
        CombinedRow{"LAX_80", &LAX_OPS, Kind::lax, 0x80, 0x11, 0x00, 0x63, 0x80, 0x80, 0x80, 0xE1},
        CombinedRow{"LAX_00", &LAX_OPS, Kind::lax, 0x00, 0x11, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x22},
        CombinedRow{"SAX_F0_3C", &SAX_OPS, Kind::sax, 0x77, 0xF0, 0x3C, 0xE3, 0x30, 0xF0, -1, 0xE3},
        CombinedRow{"SAX_zero_sets_no_Z", &SAX_OPS, Kind::sax, 0x77, 0x0F, 0xF0, 0x20, 0x00, 0x0F, -1, 0x20}),
    RowName{});

TEST_F(CpuTest, CombinedInstructionCostsWithAndWithoutCrossing) {
    struct Row {
        const char* name;
        u8 opcode;
        u32 in_page, crossing;
    } const rows[] = {
        {"DCP abx", 0xDF, 7, 7}, {"DCP izy", 0xD3, 8, 8}, {"ISB aby", 0xFB, 7, 7}, {"SLO abx", 0x1F, 7, 7},
        {"RRA izy", 0x73, 8, 8}, {"ADC abx", 0x7D, 4, 5}, {"LAX izy", 0xB3, 5, 6}, {"LAX aby BB", 0xBB, 4, 5},
        {"LAX aby BF", 0xBF, 4, 5}, {"NOP abx FC", 0xFC, 4, 5}, {"NOP abx 9C", 0x9C, 5, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        aim(row.opcode, false);
        EXPECT_EQ(step(), row.in_page);
        clean_machine();
        aim(row.opcode, true);
        EXPECT_EQ(step(), row.crossing);
    }
}

// The cycle taken back by a read-modify-write combination must not upset a
// running total either.
TEST_F(CpuTest, CombinedCrossingInsideExecKeepsTheTotal) {
    for (const u8 opcode : {0xDF, 0xD3, 0xFB, 0x1F, 0x3B, 0x5F, 0x73}) {
        SCOPED_TRACE(hex(opcode));
        clean_machine();
        aim(opcode, true);
        memory[ORIGIN + 1 + manual_operand_bytes(mode_table[opcode])] = 0xEA;
        // One cycle past the combination: the two-cycle NOP after it runs too.
        EXPECT_EQ(cpu_exec(cycle_table[opcode] + 1), cycle_table[opcode] + 2);
        EXPECT_EQ(cpu.instruction_count, 2u);
    }
}

TEST_F(CpuTest, SbcEBMatchesE9AndBBMatchesBF) {
    struct Row {
        u8 a, m, status;
    } const rows[] = {{0x10, 0x01, 0x21}, {0x00, 0x01, 0x21}, {0x80, 0x01, 0x21}, {0x12, 0x21, 0x29}, {0x50, 0xB0, 0x20}};
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.a) + " - " + hex(row.m));
        u8 a_results[2], status_results[2];
        const u8 opcodes[] = {0xE9, 0xEB};
        for (int i = 0; i < 2; ++i) {
            clean_machine();
            program({opcodes[i], row.m});
            cpu.a = row.a;
            cpu.status = row.status;
            EXPECT_EQ(step(), 2u);
            EXPECT_EQ(cpu.pc, ORIGIN + 2);
            a_results[i] = cpu.a;
            status_results[i] = cpu.status;
        }
        EXPECT_EQ(a_results[0], a_results[1]);
        EXPECT_EQ(status_results[0], status_results[1]);
    }
    for (const u8 opcode : {0xBB, 0xBF}) {
        SCOPED_TRACE(hex(opcode));
        clean_machine();
        memory[0x1300] = 0xC4;
        program({opcode, 0xF0, 0x12});
        cpu.y = 0x10;
        EXPECT_EQ(step(), 5u);
        EXPECT_EQ(cpu.a, 0xC4);
        EXPECT_EQ(cpu.x, 0xC4);
    }
}

// ---- NOP -----------------------------------------------------------------

struct NopGroup {
    const char* name;
    Mode mode;
    std::vector<u8> opcodes;
    u32 cycles;
    bool pays_on_crossing;
};
void PrintTo(const NopGroup& c, std::ostream* os) { *os << c.name; }

// The NOP opcodes by mode, with their cost, as listed in the manual.
const NopGroup NOP_GROUPS[] = {
    {"imp", Mode::imp,
     {0x02, 0x12, 0x1A, 0x22, 0x32, 0x3A, 0x42, 0x52, 0x5A, 0x62, 0x72, 0x7A, 0x92, 0xB2, 0xD2, 0xDA, 0xEA, 0xF2, 0xFA},
     2, false},
    {"imm", Mode::imm, {0x0B, 0x2B, 0x4B, 0x6B, 0x80, 0x82, 0x89, 0x8B, 0xAB, 0xC2, 0xCB, 0xE2}, 2, false},
    {"zp", Mode::zp, {0x04, 0x44, 0x64}, 3, false},
    {"zpx", Mode::zpx, {0x14, 0x34, 0x54, 0x74, 0xD4, 0xF4}, 4, false},
    {"abs", Mode::abs, {0x0C}, 4, false},
    {"abx_paying", Mode::abx, {0x1C, 0x3C, 0x5C, 0x7C, 0xDC, 0xFC}, 4, true},
    {"abx_9C", Mode::abx, {0x9C}, 5, false},
    {"aby", Mode::aby, {0x9B, 0x9E, 0x9F}, 5, false},
    {"izy", Mode::izy, {0x93}, 6, false},
};

class Nop : public CpuTableTest<NopGroup> {};

TEST_P(Nop, SkipsItsOperandAndChangesNothing) {
    const NopGroup& group = GetParam();
    for (const u8 opcode : group.opcodes) {
        EXPECT_EQ(operation_table[opcode], Op::NOP) << hex(opcode);
        EXPECT_EQ(mode_table[opcode], group.mode) << hex(opcode);
        for (const u8 status : {u8{0xEB}, u8{0x14}}) {
            for (const bool cross : {false, true}) {
                SCOPED_TRACE(hex(opcode) + " status " + hex(status) + (cross ? " crossing" : ""));
                clean_machine();
                cpu.x = 0x06;
                cpu.y = 0x07;
                const u16 target = aim(opcode, cross);
                if (target != 0) memory[target] = 0xA5;  // for imm: the skipped byte itself
                memory[ORIGIN + 1 + manual_operand_bytes(group.mode)] = 0x5A;  // next instruction
                cpu.a = 0x3C;
                cpu.sp = 0x80;
                cpu.status = status;
                const Cpu regs = cpu;
                const auto before = memory;

                const u32 indexed = group.mode == Mode::abx || group.mode == Mode::aby || group.mode == Mode::izy;
                const u32 extra = (cross && indexed && group.pays_on_crossing) ? 1 : 0;
                EXPECT_EQ(step(), group.cycles + extra);
                EXPECT_EQ(cpu.pc, ORIGIN + 1 + manual_operand_bytes(group.mode));
                EXPECT_EQ(cpu.a, regs.a);
                EXPECT_EQ(cpu.x, regs.x);
                EXPECT_EQ(cpu.y, regs.y);
                EXPECT_EQ(cpu.sp, regs.sp);
                EXPECT_EQ(cpu.status, status | FLAG_CONSTANT);
                EXPECT_TRUE(memory == before) << "a NOP writes nothing";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Undocumented, Nop, ::testing::ValuesIn(NOP_GROUPS), RowName{});

TEST_F(CpuTest, TheNopListCoversEveryNopOfTheGrid) {
    int listed = 0;
    for (const NopGroup& group : NOP_GROUPS) listed += static_cast<int>(group.opcodes.size());
    int in_grid = 0;
    for (int opcode = 0; opcode < 256; ++opcode) in_grid += operation_table[opcode] == Op::NOP;
    EXPECT_EQ(listed, 52);
    EXPECT_EQ(in_grid, 52);
}

// RANDOM advances on every read, so a NOP that read its formed address
// (or the byte it skips) would leave the generator one draw further on.
TEST_F(CpuTest, NopNeverReadsWhatItAddresses) {
    struct Row {
        const char* name;
        u16 at;
        std::vector<u8> bytes;
        u8 x, y;
    } const rows[] = {
        {"0C abs", ORIGIN, {0x0C, 0x02, 0xFF}, 0, 0},
        {"1C abx", ORIGIN, {0x1C, 0x00, 0xFF}, 0x02, 0},
        {"FC abx", ORIGIN, {0xFC, 0xFF, 0xFE}, 0x03, 0},  // crossing into the device page
        {"9C abx", ORIGIN, {0x9C, 0x00, 0xFF}, 0x02, 0},
        {"9B aby", ORIGIN, {0x9B, 0x00, 0xFF}, 0, 0x02},
        {"9E aby", ORIGIN, {0x9E, 0x00, 0xFF}, 0, 0x02},
        {"9F aby", ORIGIN, {0x9F, 0x00, 0xFF}, 0, 0x02},
        {"93 izy", ORIGIN, {0x93, 0x90}, 0, 0x02},
        // Executed from CON_OUT, which reads as memory: the skipped byte is RANDOM.
        {"8B imm", 0xFF01, {0x8B}, 0, 0},
        {"89 imm", 0xFF01, {0x89}, 0, 0},
        {"EA imp", 0xFF01, {0xEA}, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        poke_word(0x0090, 0xFF00);
        for (std::size_t i = 0; i < row.bytes.size(); ++i) memory[row.at + i] = row.bytes[i];
        cpu.pc = row.at;
        cpu.x = row.x;
        cpu.y = row.y;
        random_seed(1234);
        const u8 first = random_read();
        random_seed(1234);
        step();
        EXPECT_EQ(random_read(), first) << "the NOP drew from RANDOM";
    }
}

}  // namespace
}  // namespace cpu_test
