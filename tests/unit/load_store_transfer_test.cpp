// Loads, stores and register transfers: what moves, which flags follow, and
// what the indexed forms cost.
#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

enum class Reg { a, x, y, sp };

u8 reg_value(Reg r) {
    switch (r) {
    case Reg::a: return cpu.a;
    case Reg::x: return cpu.x;
    case Reg::y: return cpu.y;
    case Reg::sp: return cpu.sp;
    }
    return 0;
}

// ---- loads ---------------------------------------------------------------

struct LoadRow {
    const char* name;
    u8 opcode;  // immediate form
    Reg reg;
    u8 value;
    u8 status_before;
    u8 status_after;
};
void PrintTo(const LoadRow& c, std::ostream* os) { *os << c.name; }

class Load : public CpuTableTest<LoadRow> {};

TEST_P(Load, ImmediateSetsRegisterAndOnlyZAndN) {
    const LoadRow& row = GetParam();
    program({row.opcode, row.value});
    cpu.status = row.status_before;
    cpu.a = cpu.x = cpu.y = 0x11;
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(reg_value(row.reg), row.value);
    EXPECT_EQ(cpu.status, row.status_after);
    EXPECT_EQ(cpu.pc, ORIGIN + 2);
    for (const Reg other : {Reg::a, Reg::x, Reg::y}) {
        if (other != row.reg) {
            EXPECT_EQ(reg_value(other), 0x11);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transfer, Load,
    ::testing::Values(LoadRow{"LDA_zero_sets_Z_clears_N", 0xA9, Reg::a, 0x00, 0xFD, 0x7F},
                      LoadRow{"LDA_80_sets_N_clears_Z", 0xA9, Reg::a, 0x80, 0x7F, 0xFD},
                      LoadRow{"LDA_positive_clears_both", 0xA9, Reg::a, 0x7F, 0xFF, 0x7D},
                      LoadRow{"LDA_keeps_C_V_D_I_B", 0xA9, Reg::a, 0x01, 0x7D, 0x7D},
                      LoadRow{"LDX_zero", 0xA2, Reg::x, 0x00, 0x20, 0x22},
                      LoadRow{"LDX_negative", 0xA2, Reg::x, 0xFF, 0x22, 0xA0},
                      LoadRow{"LDY_zero", 0xA0, Reg::y, 0x00, 0xA0, 0x22},
                      LoadRow{"LDY_negative", 0xA0, Reg::y, 0xC0, 0x6F, 0xED}),
    RowName{});

// Every memory form of the three loads reads the byte its mode addresses.
TEST_F(CpuTest, EveryLoadOpcodeReadsItsAddressedByte) {
    struct Row {
        u8 opcode;
        Reg reg;
    } const rows[] = {
        {0xA1, Reg::a}, {0xA5, Reg::a}, {0xAD, Reg::a}, {0xB1, Reg::a}, {0xB5, Reg::a}, {0xB9, Reg::a},
        {0xBD, Reg::a}, {0xA6, Reg::x}, {0xAE, Reg::x}, {0xB6, Reg::x}, {0xBE, Reg::x}, {0xA4, Reg::y},
        {0xAC, Reg::y}, {0xB4, Reg::y}, {0xBC, Reg::y},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(hex(row.opcode));
        clean_machine();
        const u16 target = aim(row.opcode);
        memory[target] = 0x9C;
        step();
        EXPECT_EQ(reg_value(row.reg), 0x9C);
        EXPECT_EQ(cpu.status & (FLAG_N | FLAG_Z), FLAG_N);
    }
}

// ---- stores --------------------------------------------------------------

TEST_F(CpuTest, EveryStoreOpcodeWritesItsRegisterAndNoFlag) {
    struct Row {
        u8 opcode;
        Reg reg;
        u32 cycles;
    } const rows[] = {
        {0x81, Reg::a, 6}, {0x85, Reg::a, 3}, {0x8D, Reg::a, 4}, {0x91, Reg::a, 6}, {0x95, Reg::a, 4},
        {0x99, Reg::a, 5}, {0x9D, Reg::a, 5}, {0x86, Reg::x, 3}, {0x8E, Reg::x, 4}, {0x96, Reg::x, 4},
        {0x84, Reg::y, 3}, {0x8C, Reg::y, 4}, {0x94, Reg::y, 4},
    };
    for (const Row& row : rows) {
        for (const bool cross : {false, true}) {
            SCOPED_TRACE(hex(row.opcode) + (cross ? " crossing" : ""));
            clean_machine();
            const u16 target = aim(row.opcode, cross);
            cpu.a = 0xA1;
            if (row.reg == Reg::x) cpu.x = static_cast<u8>(cpu.x == 0 ? 0xB2 : cpu.x);
            if (row.reg == Reg::y) cpu.y = static_cast<u8>(cpu.y == 0 ? 0xC3 : cpu.y);
            const u8 expected = reg_value(row.reg);
            cpu.status = 0x20;  // a store of 0xA1 must not set N, nor Z for 0
            auto before = memory;
            EXPECT_EQ(step(), row.cycles) << "stores never pay for a crossing";
            before[target] = expected;
            EXPECT_TRUE(memory == before) << "exactly the target byte changes";
            EXPECT_EQ(cpu.status, 0x20);
        }
    }
}

TEST_F(CpuTest, IndexedLoadPaysForCrossingStoreDoesNot) {
    struct Row {
        const char* name;
        std::vector<u8> bytes;
        u8 y;
        u32 cycles;
    } const rows[] = {
        {"LDX aby crossing", {0xBE, 0xF0, 0x12}, 0x10, 5},
        {"LDX aby in page", {0xBE, 0xF0, 0x12}, 0x0F, 4},
        {"STA aby crossing", {0x99, 0xF0, 0x12}, 0x10, 5},
        {"STA aby index 0", {0x99, 0xF0, 0x12}, 0x00, 5},
        {"LDY abx crossing", {0xBC, 0xF0, 0x12}, 0x10, 5},
        {"STA izy crossing", {0x91, 0x40}, 0x10, 6},
        {"LDA izy crossing", {0xB1, 0x40}, 0x10, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        poke_word(0x0040, 0x12F0);
        program(row.bytes);
        cpu.x = cpu.y = row.y;
        EXPECT_EQ(step(), row.cycles);
    }
}

// ---- register transfers ----------------------------------------------------

struct TransferRow {
    const char* name;
    u8 opcode;
    u8 a, x, y, sp, status;
    u8 a_after, x_after, y_after, sp_after, status_after;
};
void PrintTo(const TransferRow& c, std::ostream* os) { *os << c.name; }

class RegisterTransfer : public CpuTableTest<TransferRow> {};

TEST_P(RegisterTransfer, CopiesAndSetsFlagsExceptTxs) {
    const TransferRow& row = GetParam();
    program({row.opcode});
    cpu.a = row.a;
    cpu.x = row.x;
    cpu.y = row.y;
    cpu.sp = row.sp;
    cpu.status = row.status;
    const auto before = memory;
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu.a, row.a_after);
    EXPECT_EQ(cpu.x, row.x_after);
    EXPECT_EQ(cpu.y, row.y_after);
    EXPECT_EQ(cpu.sp, row.sp_after);
    EXPECT_EQ(cpu.status, row.status_after);
    EXPECT_EQ(cpu.pc, ORIGIN + 1);
    EXPECT_TRUE(memory == before);
}

INSTANTIATE_TEST_SUITE_P(
    Transfer, RegisterTransfer,
    ::testing::Values(
        //                  name        op    a     x     y     sp    st  ->  a     x     y     sp    st
        TransferRow{"TAX_negative", 0xAA, 0x80, 0x01, 0x02, 0xFD, 0x22, 0x80, 0x80, 0x02, 0xFD, 0xA0},
        TransferRow{"TAX_zero", 0xAA, 0x00, 0x01, 0x02, 0xFD, 0xE1, 0x00, 0x00, 0x02, 0xFD, 0x63},
        TransferRow{"TAY_positive", 0xA8, 0x42, 0x01, 0x02, 0xFD, 0xA2, 0x42, 0x01, 0x42, 0xFD, 0x20},
        TransferRow{"TXA_zero", 0x8A, 0x55, 0x00, 0x02, 0xFD, 0xAD, 0x00, 0x00, 0x02, 0xFD, 0x2F},
        TransferRow{"TYA_negative", 0x98, 0x55, 0x01, 0xF0, 0xFD, 0x20, 0xF0, 0x01, 0xF0, 0xFD, 0xA0},
        TransferRow{"TSX_80_sets_N", 0xBA, 0x00, 0x00, 0x00, 0x80, 0x22, 0x00, 0x80, 0x00, 0x80, 0xA0},
        TransferRow{"TSX_zero", 0xBA, 0x01, 0x01, 0x01, 0x00, 0xA0, 0x01, 0x00, 0x01, 0x00, 0x22},
        TransferRow{"TXS_zero_leaves_flags", 0x9A, 0x01, 0x00, 0x01, 0xFD, 0xA0, 0x01, 0x00, 0x01, 0x00, 0xA0},
        TransferRow{"TXS_negative_leaves_flags", 0x9A, 0x01, 0x80, 0x01, 0xFD, 0x22, 0x01, 0x80, 0x01, 0x80, 0x22}),
    RowName{});

}  // namespace
}  // namespace cpu_test
