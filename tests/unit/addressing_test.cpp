// Addressing modes, seen through real instructions: the address a load
// reaches, where pc ends, and the extra cycle a page crossing costs a load.
#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

struct Poke {
    u16 address;
    u8 value;
};

struct AddressRow {
    const char* name;
    u16 at;                     // where the instruction sits
    std::vector<u8> bytes;      // the instruction
    u8 x, y;
    std::vector<Poke> pokes;    // pointers, plus decoys at wrong addresses
    u16 effective_address;
    u16 pc_after;
    u32 cycles;
};
void PrintTo(const AddressRow& c, std::ostream* os) { *os << c.name; }

class Addressing : public CpuTableTest<AddressRow> {};

// Every row is a load (LDA, or LDX for zpy) of 0x5A placed at the address the
// mode must form; decoys hold other values at the addresses a faulty wrap
// would form instead.
TEST_P(Addressing, LoadReachesTheFormedAddress) {
    const AddressRow& row = GetParam();
    for (const Poke& p : row.pokes) memory[p.address] = p.value;
    memory[row.effective_address] = 0x5A;
    program(row.bytes, row.at);
    cpu.x = row.x;
    cpu.y = row.y;
    const u8 opcode = row.bytes.front();
    const u32 cycles = step();
    EXPECT_EQ(cpu.effective_address, row.effective_address) << hex(cpu.effective_address);
    EXPECT_EQ(cpu.pc, row.pc_after);
    EXPECT_EQ(cycles, row.cycles);
    EXPECT_EQ(opcode == 0xB6 ? cpu.x : cpu.a, 0x5A);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Addressing,
    ::testing::Values(
        AddressRow{"zp", ORIGIN, {0xA5, 0x37}, 0, 0, {}, 0x0037, 0x0202, 3},
        AddressRow{"zpx_plain", ORIGIN, {0xB5, 0x10}, 0x05, 0, {}, 0x0015, 0x0202, 4},
        AddressRow{"zpx_wraps_in_page_zero", ORIGIN, {0xB5, 0xF0}, 0x20, 0, {{0x0110, 0x11}}, 0x0010, 0x0202, 4},
        AddressRow{"zpy_wraps_to_zero", ORIGIN, {0xB6, 0xFF}, 0, 0x01, {{0x0100, 0x11}}, 0x0000, 0x0202, 4},
        AddressRow{"abs", ORIGIN, {0xAD, 0x34, 0x12}, 0, 0, {}, 0x1234, 0x0203, 4},
        AddressRow{"abx_no_cross", ORIGIN, {0xBD, 0xF0, 0x12}, 0x0F, 0, {}, 0x12FF, 0x0203, 4},
        AddressRow{"abx_cross", ORIGIN, {0xBD, 0xF0, 0x12}, 0x10, 0, {{0x1200, 0x11}}, 0x1300, 0x0203, 5},
        AddressRow{"abx_ff_in_page", ORIGIN, {0xBD, 0x00, 0x12}, 0xFF, 0, {{0x1300, 0x11}}, 0x12FF, 0x0203, 4},
        AddressRow{"abx_wraps_the_top", ORIGIN, {0xBD, 0xF0, 0xFF}, 0x20, 0, {}, 0x0010, 0x0203, 5},
        AddressRow{"aby_no_cross", ORIGIN, {0xB9, 0x00, 0x12}, 0, 0x80, {}, 0x1280, 0x0203, 4},
        AddressRow{"aby_cross", ORIGIN, {0xB9, 0xF0, 0x12}, 0, 0x10, {{0x1200, 0x11}}, 0x1300, 0x0203, 5},
        AddressRow{"aby_wraps_the_top", ORIGIN, {0xB9, 0xFF, 0xFF}, 0, 0x02, {}, 0x0001, 0x0203, 5},
        AddressRow{"izx_plain", ORIGIN, {0xA1, 0x20}, 0x04, 0, {{0x0024, 0x34}, {0x0025, 0x12}}, 0x1234, 0x0202, 6},
        AddressRow{"izx_index_wraps", ORIGIN, {0xA1, 0xF0}, 0x14, 0,
                   {{0x0004, 0x34}, {0x0005, 0x12}, {0x0104, 0x77}}, 0x1234, 0x0202, 6},
        AddressRow{"izx_pointer_at_ff", ORIGIN, {0xA1, 0xFE}, 0x01, 0,
                   {{0x00FF, 0x34}, {0x0000, 0x12}, {0x0100, 0x77}}, 0x1234, 0x0202, 6},
        AddressRow{"izy_no_cross", ORIGIN, {0xB1, 0x40}, 0, 0x10, {{0x0040, 0x00}, {0x0041, 0x12}}, 0x1210, 0x0202, 5},
        AddressRow{"izy_pointer_at_ff_and_cross", ORIGIN, {0xB1, 0xFF}, 0, 0x10,
                   {{0x00FF, 0xF0}, {0x0000, 0x12}, {0x0100, 0x77}}, 0x1300, 0x0202, 6},
        AddressRow{"izy_pointer_ffff_wraps", ORIGIN, {0xB1, 0x40}, 0, 0x01, {{0x0040, 0xFF}, {0x0041, 0xFF}},
                   0x0000, 0x0202, 6},
        // Operand bytes straddling the end of memory: low at 0xFFFF, high at 0x0000.
        AddressRow{"abs_operand_wraps_pc", 0xFFFE, {0xAD, 0x34}, 0, 0, {{0x0000, 0x12}}, 0x1234, 0x0001, 4},
        AddressRow{"imm_at_top", 0xFFFE, {0xA9, 0x5A}, 0, 0, {}, 0xFFFF, 0x0000, 2}),
    RowName{});

// ---- relative ------------------------------------------------------------

TEST_F(CpuTest, RelativeOffsetIsSignExtendedAndLeavesEffectiveAddressAlone) {
    struct Row {
        u8 offset;
        u16 branch_offset;
        u16 target;
    } const rows[] = {
        {0x00, 0x0000, 0x0302}, {0x01, 0x0001, 0x0303}, {0x7F, 0x007F, 0x0381},
        {0x80, 0xFF80, 0x0282}, {0xFE, 0xFFFE, 0x0300}, {0xFF, 0xFFFF, 0x0301},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.offset));
        for (const bool taken : {false, true}) {
            clean_machine();
            program({0xB0, row.offset}, 0x0300);  // BCS
            cpu.status = static_cast<u8>(FLAG_CONSTANT | (taken ? FLAG_C : 0));
            cpu.effective_address = 0xBEEF;
            step();
            EXPECT_EQ(cpu.branch_offset, row.branch_offset);
            EXPECT_EQ(cpu.effective_address, 0xBEEF);
            EXPECT_EQ(cpu.pc, taken ? row.target : 0x0302);
        }
    }
}

// ---- indirect (JMP only) -------------------------------------------------

TEST_F(CpuTest, IndirectPointerStaysInItsPage) {
    struct Row {
        const char* name;
        u16 at;
        std::vector<u8> bytes;
        std::vector<Poke> pokes;
        u16 target;
    } const rows[] = {
        {"plain", ORIGIN, {0x6C, 0x34, 0x12}, {{0x1234, 0xCD}, {0x1235, 0xAB}}, 0xABCD},
        {"page_wrap", ORIGIN, {0x6C, 0xFF, 0x12}, {{0x12FF, 0x34}, {0x1200, 0x12}, {0x1300, 0x99}}, 0x1234},
        {"page_zero_wrap", ORIGIN, {0x6C, 0xFF, 0x00}, {{0x00FF, 0x78}, {0x0000, 0x56}, {0x0100, 0x99}}, 0x5678},
        // The operand bytes themselves carry across a page normally.
        {"operand_straddles_page", 0x02FE, {0x6C, 0x00, 0x40}, {{0x4000, 0x21}, {0x4001, 0x43}}, 0x4321},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        for (const Poke& p : row.pokes) memory[p.address] = p.value;
        program(row.bytes, row.at);
        EXPECT_EQ(step(), 5u);
        EXPECT_EQ(cpu.pc, row.target);
    }
}

// ---- accumulator versus memory operands -----------------------------------

TEST_F(CpuTest, AccumulatorShiftsTouchOnlyTheAccumulator) {
    struct Row {
        const char* name;
        u8 acc_opcode, zp_opcode;
        u8 input, output;
    } const rows[] = {
        {"ASL", 0x0A, 0x06, 0x41, 0x82},
        {"ROL", 0x2A, 0x26, 0x41, 0x82},
        {"LSR", 0x4A, 0x46, 0x82, 0x41},
        {"ROR", 0x6A, 0x66, 0x82, 0x41},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Accumulator form: a changes, memory (even the stale address) does not.
        clean_machine();
        memory[0x0010] = row.input;
        program({row.acc_opcode});
        cpu.effective_address = 0x0010;
        cpu.a = row.input;
        auto before = memory;
        EXPECT_EQ(step(), 2u);
        EXPECT_EQ(cpu.a, row.output);
        EXPECT_EQ(cpu.pc, ORIGIN + 1);
        EXPECT_TRUE(memory == before);

        // Zero-page form: memory changes, a does not.
        clean_machine();
        memory[0x0010] = row.input;
        program({row.zp_opcode, 0x10});
        cpu.a = 0x33;
        EXPECT_EQ(step(), 5u);
        EXPECT_EQ(memory[0x0010], row.output);
        EXPECT_EQ(cpu.a, 0x33);
    }
}

// Index registers are added as unsigned bytes: no sign, no carry into a
// register, and the modes leave x and y as they were.
TEST_F(CpuTest, IndexedModesLeaveRegistersAndFlagsOfTheModeAlone) {
    program({0x9D, 0x80, 0x12});  // STA abx: a store changes no flag
    cpu.x = 0x90;
    cpu.y = 0x33;
    cpu.a = 0x77;
    cpu.status = 0xE7;
    step();
    EXPECT_EQ(memory[0x1310], 0x77);
    EXPECT_EQ(cpu.x, 0x90);
    EXPECT_EQ(cpu.y, 0x33);
    EXPECT_EQ(cpu.status, 0xE7);
}

}  // namespace
}  // namespace cpu_test
