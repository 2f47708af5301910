// Addition and subtraction in binary and decimal mode, logic, compare, BIT,
// shifts and rotates, increments and decrements. The ADC/SBC tables run once
// through the pure ALU functions and once through real instructions.
#include "cpu_fixture.hpp"
#include "cpu/arithmetic.hpp"

namespace cpu_test {
namespace {

constexpr u8 NVZC = FLAG_N | FLAG_V | FLAG_Z | FLAG_C;

// N V Z C as 1/0, in that order, as the manual lists them.
constexpr u8 flags(int n, int v, int z, int c) {
    return static_cast<u8>((n ? FLAG_N : 0) | (v ? FLAG_V : 0) | (z ? FLAG_Z : 0) | (c ? FLAG_C : 0));
}

struct AddRow {
    const char* name;
    bool decimal;
    u8 a, m;
    int carry_in;
    u8 result;
    u8 nvzc;
};
void PrintTo(const AddRow& c, std::ostream* os) { *os << c.name; }

// Bits outside N V Z C that must come through untouched: I set, D as the
// row says, and the constant bit.
u8 status_in(const AddRow& row) {
    return static_cast<u8>(FLAG_CONSTANT | FLAG_I | (row.decimal ? FLAG_D : 0) | (row.carry_in ? FLAG_C : 0) |
                           // start with N, V, Z set opposite to what comes out where possible
                           ((~row.nvzc) & (FLAG_N | FLAG_V | FLAG_Z)));
}

u8 status_out(const AddRow& row) {
    return static_cast<u8>(FLAG_CONSTANT | FLAG_I | (row.decimal ? FLAG_D : 0) | row.nvzc);
}

const AddRow ADC_ROWS[] = {
    // decimal
    {"d_99_01", true, 0x99, 0x01, 0, 0x00, flags(1, 1, 0, 1)},
    {"d_58_46_c", true, 0x58, 0x46, 1, 0x05, flags(1, 1, 0, 1)},
    {"d_45_45", true, 0x45, 0x45, 0, 0x90, flags(1, 1, 0, 0)},
    {"d_79_00_c", true, 0x79, 0x00, 1, 0x80, flags(1, 1, 0, 0)},
    {"d_80_80", true, 0x80, 0x80, 0, 0x60, flags(0, 1, 1, 1)},
    {"d_99_99_c", true, 0x99, 0x99, 1, 0x99, flags(0, 1, 0, 1)},
    {"d_12_34", true, 0x12, 0x34, 0, 0x46, flags(0, 0, 0, 0)},
    {"d_0F_0F", true, 0x0F, 0x0F, 0, 0x14, flags(0, 0, 0, 0)},
    {"d_00_00", true, 0x00, 0x00, 0, 0x00, flags(0, 0, 1, 0)},
    // binary
    {"b_50_50", false, 0x50, 0x50, 0, 0xA0, flags(1, 1, 0, 0)},
    {"b_80_80", false, 0x80, 0x80, 0, 0x00, flags(0, 1, 1, 1)},
    {"b_FF_FF_c", false, 0xFF, 0xFF, 1, 0xFF, flags(1, 0, 0, 1)},
    {"b_01_01", false, 0x01, 0x01, 0, 0x02, flags(0, 0, 0, 0)},
    {"b_7F_01", false, 0x7F, 0x01, 0, 0x80, flags(1, 1, 0, 0)},
    {"b_FF_00_c", false, 0xFF, 0x00, 1, 0x00, flags(0, 0, 1, 1)},
    {"b_C0_C0", false, 0xC0, 0xC0, 0, 0x80, flags(1, 0, 0, 1)},
};

const AddRow SBC_ROWS[] = {
    // decimal: flags from the binary subtraction, a from the decimal one
    {"d_00_01_c", true, 0x00, 0x01, 1, 0x99, flags(1, 0, 0, 0)},
    {"d_10_05_c", true, 0x10, 0x05, 1, 0x05, flags(0, 0, 0, 1)},
    {"d_40_13_c", true, 0x40, 0x13, 1, 0x27, flags(0, 0, 0, 1)},
    {"d_32_02", true, 0x32, 0x02, 0, 0x29, flags(0, 0, 0, 1)},
    {"d_00_00_c", true, 0x00, 0x00, 1, 0x00, flags(0, 0, 1, 1)},
    {"d_12_21_c", true, 0x12, 0x21, 1, 0x91, flags(1, 0, 0, 0)},
    {"d_00_00", true, 0x00, 0x00, 0, 0x99, flags(1, 0, 0, 0)},
    {"d_80_01_c", true, 0x80, 0x01, 1, 0x79, flags(0, 1, 0, 1)},
    // binary
    {"b_00_01_c", false, 0x00, 0x01, 1, 0xFF, flags(1, 0, 0, 0)},
    {"b_80_01_c", false, 0x80, 0x01, 1, 0x7F, flags(0, 1, 0, 1)},
    {"b_00_00", false, 0x00, 0x00, 0, 0xFF, flags(1, 0, 0, 0)},
    {"b_50_F0_c", false, 0x50, 0xF0, 1, 0x60, flags(0, 0, 0, 0)},
    {"b_50_B0_c", false, 0x50, 0xB0, 1, 0xA0, flags(1, 1, 0, 0)},
    {"b_42_42_c", false, 0x42, 0x42, 1, 0x00, flags(0, 0, 1, 1)},
    {"b_10_01", false, 0x10, 0x01, 0, 0x0E, flags(0, 0, 0, 1)},
};

// Through the processor, in every mode of the instruction; decimal mode
// costs nothing extra.
class AddTest : public CpuTableTest<AddRow> {
protected:
    static void run_instruction(const AddRow& row, std::initializer_list<u8> opcodes) {
        for (const u8 opcode : opcodes) {
            SCOPED_TRACE(hex(opcode));
            clean_machine();
            const u16 target = aim(opcode);
            memory[target] = row.m;
            cpu.a = row.a;
            cpu.status = status_in(row);
            EXPECT_EQ(step(), cycle_table[opcode]);
            EXPECT_EQ(cpu.a, row.result) << hex(cpu.a);
            EXPECT_EQ(cpu.status, status_out(row)) << hex(cpu.status);
            EXPECT_EQ(memory[target], row.m);
        }
    }
};

class Adc : public AddTest {};
class Sbc : public AddTest {};

TEST_P(Adc, PureFunction) {
    const AddRow& row = GetParam();
    const AluResult r = alu::adc(row.a, row.m, status_in(row));
    EXPECT_EQ(r.value, row.result) << hex(r.value);
    EXPECT_EQ(r.status, status_out(row)) << hex(r.status);
    const AluResult direct =
        row.decimal ? alu::adc_decimal(row.a, row.m, status_in(row)) : alu::adc_binary(row.a, row.m, status_in(row));
    EXPECT_EQ(direct.value, r.value);
    EXPECT_EQ(direct.status, r.status);
}

TEST_P(Sbc, PureFunction) {
    const AddRow& row = GetParam();
    const AluResult r = alu::sbc(row.a, row.m, status_in(row));
    EXPECT_EQ(r.value, row.result) << hex(r.value);
    EXPECT_EQ(r.status, status_out(row)) << hex(r.status);
    const AluResult direct =
        row.decimal ? alu::sbc_decimal(row.a, row.m, status_in(row)) : alu::sbc_binary(row.a, row.m, status_in(row));
    EXPECT_EQ(direct.value, r.value);
    EXPECT_EQ(direct.status, r.status);
}

TEST_P(Adc, Instruction) { run_instruction(GetParam(), {0x69, 0x65, 0x75, 0x6D, 0x7D, 0x79, 0x61, 0x71}); }
TEST_P(Sbc, Instruction) { run_instruction(GetParam(), {0xE9, 0xEB, 0xE5, 0xF5, 0xED, 0xFD, 0xF9, 0xE1, 0xF1}); }

INSTANTIATE_TEST_SUITE_P(Arithmetic, Adc, ::testing::ValuesIn(ADC_ROWS), RowName{});
INSTANTIATE_TEST_SUITE_P(Arithmetic, Sbc, ::testing::ValuesIn(SBC_ROWS), RowName{});

// ---- logic ---------------------------------------------------------------

TEST_F(CpuTest, LogicOperationsSetOnlyNAndZ) {
    struct Row {
        const char* name;
        u8 opcode;  // immediate form
        u8 a, m, result, status_before, status_after;
    } const rows[] = {
        {"AND to zero", 0x29, 0xF0, 0x0F, 0x00, 0xE1, 0x63},
        {"AND negative", 0x29, 0xF0, 0x80, 0x80, 0x63, 0xE1},
        {"ORA negative", 0x09, 0x01, 0x80, 0x81, 0x22, 0xA0},
        {"ORA zero", 0x09, 0x00, 0x00, 0x00, 0xED, 0x6F},
        {"EOR to zero", 0x49, 0x5A, 0x5A, 0x00, 0x20, 0x22},
        {"EOR negative", 0x49, 0x0F, 0xFF, 0xF0, 0x6B, 0xE9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        program({row.opcode, row.m});
        cpu.a = row.a;
        cpu.status = row.status_before;
        EXPECT_EQ(step(), 2u);
        EXPECT_EQ(cpu.a, row.result);
        EXPECT_EQ(cpu.status, row.status_after);
    }
}

// ---- compare -------------------------------------------------------------

TEST_F(CpuTest, CompareSetsNZCAndLeavesRegisterAndV) {
    struct Row {
        const char* name;
        u8 opcode;  // immediate form
        u8 reg, m;
        u8 nzc;
    } const rows[] = {
        {"CMP 01 FF", 0xC9, 0x01, 0xFF, 0},
        {"CMP 80 00", 0xC9, 0x80, 0x00, FLAG_N | FLAG_C},
        {"CMP 00 80", 0xC9, 0x00, 0x80, FLAG_N},
        {"CMP equal", 0xC9, 0x42, 0x42, FLAG_Z | FLAG_C},
        {"CMP greater", 0xC9, 0x42, 0x41, FLAG_C},
        {"CPX 01 FF", 0xE0, 0x01, 0xFF, 0},
        {"CPX 80 00", 0xE0, 0x80, 0x00, FLAG_N | FLAG_C},
        {"CPX equal", 0xE0, 0x00, 0x00, FLAG_Z | FLAG_C},
        {"CPY 00 80", 0xC0, 0x00, 0x80, FLAG_N},
        {"CPY equal", 0xC0, 0xFF, 0xFF, FLAG_Z | FLAG_C},
        {"CPY less", 0xC0, 0x10, 0x20, FLAG_N},
    };
    for (const Row& row : rows) {
        for (const u8 v_and_d : {u8{0}, static_cast<u8>(FLAG_V | FLAG_D)}) {
            SCOPED_TRACE(std::string(row.name) + (v_and_d ? " with V and D set" : ""));
            clean_machine();
            program({row.opcode, row.m});
            cpu.a = cpu.x = cpu.y = row.reg;
            cpu.status = static_cast<u8>(FLAG_CONSTANT | v_and_d | (~row.nzc & (FLAG_N | FLAG_Z | FLAG_C)));
            EXPECT_EQ(step(), 2u);
            EXPECT_EQ(cpu.status, FLAG_CONSTANT | v_and_d | row.nzc);
            EXPECT_EQ(cpu.a, row.reg);
            EXPECT_EQ(cpu.x, row.reg);
            EXPECT_EQ(cpu.y, row.reg);
        }
    }
}

TEST_F(CpuTest, CompareMemoryFormsReadTheirOperand) {
    for (const u8 opcode : {0xC5, 0xD5, 0xCD, 0xDD, 0xD9, 0xC1, 0xD1, 0xE4, 0xEC, 0xC4, 0xCC}) {
        SCOPED_TRACE(hex(opcode));
        clean_machine();
        const u16 target = aim(opcode);
        memory[target] = 0x30;
        cpu.a = 0x30;
        if (opcode == 0xE4 || opcode == 0xEC) cpu.x = 0x30;
        if (opcode == 0xC4 || opcode == 0xCC) cpu.y = 0x30;
        step();
        EXPECT_EQ(cpu.status & (FLAG_N | FLAG_Z | FLAG_C), FLAG_Z | FLAG_C);
    }
}

// ---- BIT -----------------------------------------------------------------

TEST_F(CpuTest, BitTakesNAndVFromTheOperandAndZFromTheAnd) {
    struct Row {
        const char* name;
        u8 a, m, status_before, status_after;
    } const rows[] = {
        {"0F and C0", 0x0F, 0xC0, 0x20, 0xE2},
        {"01 and 01 clears N V keeps C", 0x01, 0x01, 0xE1, 0x21},
        {"N only", 0xFF, 0x80, 0x62, 0xA0},
        {"V only", 0x40, 0x40, 0xAF, 0x6D},
    };
    for (const Row& row : rows) {
        for (const u8 opcode : {0x24, 0x2C}) {
            SCOPED_TRACE(std::string(row.name) + " " + hex(opcode));
            clean_machine();
            const u16 target = aim(opcode);
            memory[target] = row.m;
            cpu.a = row.a;
            cpu.status = row.status_before;
            EXPECT_EQ(step(), opcode == 0x24 ? 3u : 4u);
            EXPECT_EQ(cpu.status, row.status_after) << hex(cpu.status);
            EXPECT_EQ(cpu.a, row.a);
            EXPECT_EQ(memory[target], row.m);
        }
    }
}

// ---- shifts and rotates --------------------------------------------------

struct ShiftRow {
    const char* name;
    u8 acc_opcode;
    u8 input;
    int carry_in;
    u8 output;
    u8 nzc;
};
void PrintTo(const ShiftRow& c, std::ostream* os) { *os << c.name; }

class Shift : public CpuTableTest<ShiftRow> {};

// The zp, zpx, abs and abx forms of the shift whose accumulator form is given.
u8 memory_form(u8 acc_opcode, int index) {
    static constexpr u8 low[] = {0x06, 0x16, 0x0E, 0x1E};
    return static_cast<u8>((acc_opcode & 0xE0) + low[index]);
}

TEST_P(Shift, AccumulatorAndEveryMemoryForm) {
    const ShiftRow& row = GetParam();
    const u8 status_before = static_cast<u8>(FLAG_CONSTANT | FLAG_V | FLAG_D | (row.carry_in ? FLAG_C : 0) |
                                             (~row.nzc & (FLAG_N | FLAG_Z)));
    const u8 status_after = static_cast<u8>(FLAG_CONSTANT | FLAG_V | FLAG_D | row.nzc);

    // Accumulator: no memory byte changes.
    program({row.acc_opcode});
    cpu.a = row.input;
    cpu.status = status_before;
    const auto before = memory;
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu.a, row.output);
    EXPECT_EQ(cpu.status, status_after);
    EXPECT_TRUE(memory == before);

    const u32 cycles[] = {5, 6, 6, 7};
    for (int i = 0; i < 4; ++i) {
        for (const bool cross : {false, true}) {
            const u8 opcode = memory_form(row.acc_opcode, i);
            SCOPED_TRACE(hex(opcode) + (cross ? " crossing" : ""));
            clean_machine();
            const u16 target = aim(opcode, cross);
            memory[target] = row.input;
            cpu.a = 0x5C;
            cpu.status = status_before;
            EXPECT_EQ(step(), cycles[i]) << "no page-crossing cycle for a read-modify-write";
            EXPECT_EQ(memory[target], row.output);
            EXPECT_EQ(cpu.a, 0x5C);
            EXPECT_EQ(cpu.status, status_after);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, Shift,
    ::testing::Values(ShiftRow{"ASL_80", 0x0A, 0x80, 0, 0x00, FLAG_Z | FLAG_C},
                      ShiftRow{"ASL_40", 0x0A, 0x40, 0, 0x80, FLAG_N},
                      ShiftRow{"ASL_ignores_carry_in", 0x0A, 0x01, 1, 0x02, 0},
                      ShiftRow{"ROL_80_c", 0x2A, 0x80, 1, 0x01, FLAG_C},
                      ShiftRow{"ROL_00", 0x2A, 0x00, 0, 0x00, FLAG_Z},
                      ShiftRow{"ROL_40_c", 0x2A, 0x40, 1, 0x81, FLAG_N},
                      ShiftRow{"LSR_01", 0x4A, 0x01, 0, 0x00, FLAG_Z | FLAG_C},
                      ShiftRow{"LSR_FF", 0x4A, 0xFF, 0, 0x7F, FLAG_C},
                      ShiftRow{"LSR_ignores_carry_in", 0x4A, 0x80, 1, 0x40, 0},
                      ShiftRow{"ROR_01_c", 0x6A, 0x01, 1, 0x80, FLAG_N | FLAG_C},
                      ShiftRow{"ROR_01", 0x6A, 0x01, 0, 0x00, FLAG_Z | FLAG_C},
                      ShiftRow{"ROR_02", 0x6A, 0x02, 0, 0x01, 0}),
    RowName{});

// ---- increments and decrements -------------------------------------------

TEST_F(CpuTest, IncAndDecOfMemoryWrapAndKeepCAndV) {
    struct Row {
        const char* name;
        u8 zp_opcode;
        u8 input, output, nz;
    } const rows[] = {
        {"INC FF", 0xE6, 0xFF, 0x00, FLAG_Z}, {"INC 7F", 0xE6, 0x7F, 0x80, FLAG_N},
        {"INC 00", 0xE6, 0x00, 0x01, 0},      {"DEC 00", 0xC6, 0x00, 0xFF, FLAG_N},
        {"DEC 01", 0xC6, 0x01, 0x00, FLAG_Z}, {"DEC 80", 0xC6, 0x80, 0x7F, 0},
    };
    const u8 forms[] = {0x00, 0x10, 0x08, 0x18};  // zp, zpx, abs, abx
    const u32 cycles[] = {5, 6, 6, 7};
    for (const Row& row : rows) {
        for (int i = 0; i < 4; ++i) {
            for (const u8 keep : {u8{0}, static_cast<u8>(FLAG_V | FLAG_C)}) {
                const u8 opcode = static_cast<u8>(row.zp_opcode + forms[i]);
                SCOPED_TRACE(std::string(row.name) + " " + hex(opcode));
                clean_machine();
                const u16 target = aim(opcode, true);
                memory[target] = row.input;
                cpu.status = static_cast<u8>(FLAG_CONSTANT | keep | (~row.nz & (FLAG_N | FLAG_Z)));
                EXPECT_EQ(step(), cycles[i]);
                EXPECT_EQ(memory[target], row.output);
                EXPECT_EQ(cpu.status, FLAG_CONSTANT | keep | row.nz);
            }
        }
    }
}

TEST_F(CpuTest, RegisterIncrementsAndDecrementsWrap) {
    struct Row {
        const char* name;
        u8 opcode;
        bool on_x;
        u8 input, output, nz;
    } const rows[] = {
        {"INX FF", 0xE8, true, 0xFF, 0x00, FLAG_Z},  {"INX 7F", 0xE8, true, 0x7F, 0x80, FLAG_N},
        {"INY FF", 0xC8, false, 0xFF, 0x00, FLAG_Z}, {"INY 01", 0xC8, false, 0x01, 0x02, 0},
        {"DEX 00", 0xCA, true, 0x00, 0xFF, FLAG_N},  {"DEX 01", 0xCA, true, 0x01, 0x00, FLAG_Z},
        {"DEY 00", 0x88, false, 0x00, 0xFF, FLAG_N}, {"DEY 81", 0x88, false, 0x81, 0x80, FLAG_N},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        program({row.opcode});
        cpu.x = cpu.y = 0x33;
        (row.on_x ? cpu.x : cpu.y) = row.input;
        cpu.status = static_cast<u8>(FLAG_CONSTANT | FLAG_C | FLAG_V | (~row.nz & (FLAG_N | FLAG_Z)));
        const auto before = memory;
        EXPECT_EQ(step(), 2u);
        EXPECT_EQ(row.on_x ? cpu.x : cpu.y, row.output);
        EXPECT_EQ(row.on_x ? cpu.y : cpu.x, 0x33);
        EXPECT_EQ(cpu.status, FLAG_CONSTANT | FLAG_C | FLAG_V | row.nz);
        EXPECT_TRUE(memory == before);
    }
}

// ---- page-crossing cycle of the arithmetic -------------------------------

TEST_F(CpuTest, ReadingArithmeticPaysForACrossingReadModifyWriteDoesNot) {
    struct Row {
        u8 opcode;
        u32 in_page, crossing;
    } const rows[] = {
        {0x7D, 4, 5}, {0x79, 4, 5}, {0x71, 5, 6}, {0xFD, 4, 5}, {0x3D, 4, 5}, {0x1D, 4, 5},
        {0x5D, 4, 5}, {0xDD, 4, 5}, {0xFE, 7, 7}, {0xDE, 7, 7}, {0x1E, 7, 7}, {0x7E, 7, 7},
    };
    for (const Row& row : rows) {
        for (const bool decimal : {false, true}) {
            SCOPED_TRACE(hex(row.opcode) + (decimal ? " decimal" : ""));
            clean_machine();
            aim(row.opcode, false);
            cpu.status = static_cast<u8>(FLAG_CONSTANT | (decimal ? FLAG_D : 0));
            EXPECT_EQ(step(), row.in_page);
            clean_machine();
            aim(row.opcode, true);
            cpu.status = static_cast<u8>(FLAG_CONSTANT | (decimal ? FLAG_D : 0));
            EXPECT_EQ(step(), row.crossing);
        }
    }
}

}  // namespace
}  // namespace cpu_test
