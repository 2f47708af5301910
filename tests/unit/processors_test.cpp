// The two other processors, 6502X (the NMOS chip) and 65C02: what each does
// differently from this machine's 6502, instruction family by family, with
// flags and cycles.
#include "bus/devices.hpp"
#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

using Pokes = std::vector<std::pair<u16, u8>>;

// One instruction (or a short run of them) from a given state.
struct ProgramRow {
    const char* name;
    Chip chip;
    std::vector<u8> code;  // at ORIGIN
    u8 a, x, y, sp, status;
    Pokes memory_in;
    // afterwards
    u16 pc;
    u8 a_after, x_after, y_after, sp_after, status_after;
    Pokes memory_out;
    u32 cycles;
};
void PrintTo(const ProgramRow& c, std::ostream* os) { *os << c.name; }

class Processors : public CpuTableTest<ProgramRow> {};

TEST_P(Processors, OneInstruction) {
    const ProgramRow& row = GetParam();
    clean_machine(row.chip);
    program(row.code);
    for (const auto& [address, value] : row.memory_in) memory[address] = value;
    cpu.a = row.a;
    cpu.x = row.x;
    cpu.y = row.y;
    cpu.sp = row.sp;
    cpu.status = row.status;
    auto expected = memory;
    for (const auto& [address, value] : row.memory_out) expected[address] = value;

    EXPECT_EQ(step(), row.cycles);
    EXPECT_EQ(cpu.pc, row.pc) << hex(cpu.pc);
    EXPECT_EQ(cpu.a, row.a_after) << hex(cpu.a);
    EXPECT_EQ(cpu.x, row.x_after) << hex(cpu.x);
    EXPECT_EQ(cpu.y, row.y_after) << hex(cpu.y);
    EXPECT_EQ(cpu.sp, row.sp_after) << hex(cpu.sp);
    EXPECT_EQ(cpu.status, row.status_after) << hex(cpu.status);
    for (const auto& [address, value] : row.memory_out) EXPECT_EQ(memory[address], value) << hex(address);
    EXPECT_TRUE(memory == expected) << "only the listed bytes change";
}

constexpr Chip X = Chip::m6502x;
constexpr Chip C = Chip::m65c02;

INSTANTIATE_TEST_SUITE_P(
    Rows, Processors,
    ::testing::Values(
        //          name                    chip code                a     x     y     sp    st    memory in           -> pc      a     x     y     sp    st    memory out      cycles
        // Decimal ADC and SBC: the NMOS chip's V, the 65C02's N and Z and extra cycle.
        ProgramRow{"X_adc_99_01_V_clear", X, {0x69, 0x01}, 0x99, 0, 0, 0xFD, 0x28, {}, 0x0202, 0x00, 0, 0, 0xFD, 0xA9, {}, 2},
        ProgramRow{"X_adc_50_50", X, {0x69, 0x50}, 0x50, 0, 0, 0xFD, 0x28, {}, 0x0202, 0x00, 0, 0, 0xFD, 0xE9, {}, 2},
        ProgramRow{"X_adc_80_80_Z_binary", X, {0x69, 0x80}, 0x80, 0, 0, 0xFD, 0x28, {}, 0x0202, 0x60, 0, 0, 0xFD, 0x6B, {}, 2},
        ProgramRow{"X_sbc_12_21", X, {0xE9, 0x21}, 0x12, 0, 0, 0xFD, 0x29, {}, 0x0202, 0x91, 0, 0, 0xFD, 0xA8, {}, 2},
        ProgramRow{"C_adc_99_01", C, {0x69, 0x01}, 0x99, 0, 0, 0xFD, 0x28, {}, 0x0202, 0x00, 0, 0, 0xFD, 0x2B, {}, 3},
        ProgramRow{"C_adc_50_50", C, {0x69, 0x50}, 0x50, 0, 0, 0xFD, 0x28, {}, 0x0202, 0x00, 0, 0, 0xFD, 0x6B, {}, 3},
        ProgramRow{"C_adc_binary", C, {0x69, 0x01}, 0x01, 0, 0, 0xFD, 0x20, {}, 0x0202, 0x02, 0, 0, 0xFD, 0x20, {}, 2},
        ProgramRow{"C_sbc_00_01", C, {0xE9, 0x01}, 0x00, 0, 0, 0xFD, 0x29, {}, 0x0202, 0x99, 0, 0, 0xFD, 0xA8, {}, 3},
        ProgramRow{"C_sbc_10_05", C, {0xE9, 0x05}, 0x10, 0, 0, 0xFD, 0x29, {}, 0x0202, 0x05, 0, 0, 0xFD, 0x29, {}, 3},
        ProgramRow{"C_sbc_00_00_borrow", C, {0xE9, 0x00}, 0x00, 0, 0, 0xFD, 0x28, {}, 0x0202, 0x99, 0, 0, 0xFD, 0xA8, {}, 3},
        ProgramRow{"C_sbc_zero_Z", C, {0xE9, 0x01}, 0x01, 0, 0, 0xFD, 0x29, {}, 0x0202, 0x00, 0, 0, 0xFD, 0x2B, {}, 3},
        // NMOS immediate combinations.
        ProgramRow{"X_anc_0B", X, {0x0B, 0x81}, 0xF0, 0, 0, 0xFD, 0x20, {}, 0x0202, 0x80, 0, 0, 0xFD, 0xA1, {}, 2},
        ProgramRow{"X_anc_2B", X, {0x2B, 0x81}, 0x0F, 0, 0, 0xFD, 0x21, {}, 0x0202, 0x01, 0, 0, 0xFD, 0x20, {}, 2},
        ProgramRow{"X_alr", X, {0x4B, 0x03}, 0xFF, 0, 0, 0xFD, 0x20, {}, 0x0202, 0x01, 0, 0, 0xFD, 0x21, {}, 2},
        ProgramRow{"X_alr_zero", X, {0x4B, 0x01}, 0xFF, 0, 0, 0xFD, 0xA0, {}, 0x0202, 0x00, 0, 0, 0xFD, 0x23, {}, 2},
        ProgramRow{"X_arr_binary_C_from_bit6", X, {0x6B, 0xFF}, 0xFF, 0, 0, 0xFD, 0x21, {}, 0x0202, 0xFF, 0, 0, 0xFD, 0xA1, {}, 2},
        ProgramRow{"X_arr_binary_V", X, {0x6B, 0xFF}, 0x40, 0, 0, 0xFD, 0x20, {}, 0x0202, 0x20, 0, 0, 0xFD, 0x60, {}, 2},
        ProgramRow{"X_arr_decimal", X, {0x6B, 0xFF}, 0xFF, 0, 0, 0xFD, 0x28, {}, 0x0202, 0xD5, 0, 0, 0xFD, 0x29, {}, 2},
        ProgramRow{"X_arr_decimal_no_fix", X, {0x6B, 0x22}, 0x22, 0, 0, 0xFD, 0x68, {}, 0x0202, 0x11, 0, 0, 0xFD, 0x28, {}, 2},
        ProgramRow{"X_sbx", X, {0xCB, 0x10}, 0xF0, 0x3C, 0, 0xFD, 0x28, {}, 0x0202, 0xF0, 0x20, 0, 0xFD, 0x29, {}, 2},
        ProgramRow{"X_sbx_borrow", X, {0xCB, 0x02}, 0xFF, 0x01, 0, 0xFD, 0x21, {}, 0x0202, 0xFF, 0xFF, 0, 0xFD, 0xA0, {}, 2},
        ProgramRow{"X_ane", X, {0x8B, 0xFF}, 0x01, 0xFF, 0, 0xFD, 0x20, {}, 0x0202, 0xEF, 0xFF, 0, 0xFD, 0xA0, {}, 2},
        ProgramRow{"X_lxa", X, {0xAB, 0x0F}, 0x00, 0x55, 0, 0xFD, 0x20, {}, 0x0202, 0x0E, 0x0E, 0, 0xFD, 0x20, {}, 2},
        ProgramRow{"X_las", X, {0xBB, 0x00, 0x13}, 0, 0, 0x42, 0x3F, 0xA0, {{0x1342, 0xF0}}, 0x0203, 0x30, 0x30, 0x42, 0x30, 0x20, {}, 4},
        ProgramRow{"X_las_crossing", X, {0xBB, 0xFF, 0x12}, 0, 0, 0x43, 0x3F, 0x20, {{0x1342, 0x80}}, 0x0203, 0x00, 0x00, 0x43, 0x00, 0x22, {}, 5},
        // The 65C02's new instructions and modes.
        ProgramRow{"C_bra", C, {0x80, 0x05}, 0, 0, 0, 0xFD, 0x20, {}, 0x0207, 0, 0, 0, 0xFD, 0x20, {}, 3},
        ProgramRow{"C_bra_other_page", C, {0x80, 0xF0}, 0, 0, 0, 0xFD, 0x20, {}, 0x01F2, 0, 0, 0, 0xFD, 0x20, {}, 4},
        ProgramRow{"C_phx", C, {0xDA}, 0, 0x42, 0, 0xFD, 0x20, {}, 0x0201, 0, 0x42, 0, 0xFC, 0x20, {{0x01FD, 0x42}}, 3},
        ProgramRow{"C_phy", C, {0x5A}, 0, 0, 0x81, 0x00, 0x20, {}, 0x0201, 0, 0, 0x81, 0xFF, 0x20, {{0x0100, 0x81}}, 3},
        ProgramRow{"C_plx", C, {0xFA}, 0, 0, 0, 0xFC, 0x22, {{0x01FD, 0x80}}, 0x0201, 0, 0x80, 0, 0xFD, 0xA0, {}, 4},
        ProgramRow{"C_ply_zero", C, {0x7A}, 0, 0, 5, 0xFC, 0xA0, {{0x01FD, 0x00}}, 0x0201, 0, 0, 0, 0xFD, 0x22, {}, 4},
        ProgramRow{"C_stz_zp", C, {0x64, 0x42}, 0x11, 0, 0, 0xFD, 0x20, {{0x0042, 0xFF}}, 0x0202, 0x11, 0, 0, 0xFD, 0x20, {{0x0042, 0x00}}, 3},
        ProgramRow{"C_stz_zpx", C, {0x74, 0x40}, 0, 2, 0, 0xFD, 0x20, {{0x0042, 0xFF}}, 0x0202, 0, 2, 0, 0xFD, 0x20, {{0x0042, 0x00}}, 4},
        ProgramRow{"C_stz_abs", C, {0x9C, 0x42, 0x13}, 0, 0, 0, 0xFD, 0x20, {{0x1342, 0xFF}}, 0x0203, 0, 0, 0, 0xFD, 0x20, {{0x1342, 0x00}}, 4},
        ProgramRow{"C_stz_abx_crossing", C, {0x9E, 0xFF, 0x12}, 0, 0x43, 0, 0xFD, 0x20, {{0x1342, 0xFF}}, 0x0203, 0, 0x43, 0, 0xFD, 0x20, {{0x1342, 0x00}}, 5},
        ProgramRow{"C_tsb_zp", C, {0x04, 0x42}, 0x0F, 0, 0, 0xFD, 0x20, {{0x0042, 0xF0}}, 0x0202, 0x0F, 0, 0, 0xFD, 0x22, {{0x0042, 0xFF}}, 5},
        ProgramRow{"C_tsb_abs", C, {0x0C, 0x42, 0x13}, 0x01, 0, 0, 0xFD, 0x22, {{0x1342, 0x81}}, 0x0203, 0x01, 0, 0, 0xFD, 0x20, {{0x1342, 0x81}}, 6},
        ProgramRow{"C_trb_zp", C, {0x14, 0x42}, 0x0F, 0, 0, 0xFD, 0x20, {{0x0042, 0xF0}}, 0x0202, 0x0F, 0, 0, 0xFD, 0x22, {{0x0042, 0xF0}}, 5},
        ProgramRow{"C_trb_abs", C, {0x1C, 0x42, 0x13}, 0x0F, 0, 0, 0xFD, 0x22, {{0x1342, 0xFF}}, 0x0203, 0x0F, 0, 0, 0xFD, 0x20, {{0x1342, 0xF0}}, 6},
        ProgramRow{"C_bit_imm_only_Z", C, {0x89, 0xC0}, 0x0F, 0, 0, 0xFD, 0xE0, {}, 0x0202, 0x0F, 0, 0, 0xFD, 0xE2, {}, 2},
        ProgramRow{"C_bit_imm_clears_Z", C, {0x89, 0x01}, 0x01, 0, 0, 0xFD, 0x22, {}, 0x0202, 0x01, 0, 0, 0xFD, 0x20, {}, 2},
        ProgramRow{"C_bit_zpx", C, {0x34, 0x40}, 0x0F, 2, 0, 0xFD, 0x20, {{0x0042, 0xC0}}, 0x0202, 0x0F, 2, 0, 0xFD, 0xE2, {}, 4},
        ProgramRow{"C_bit_abx", C, {0x3C, 0x00, 0x13}, 0x40, 0x42, 0, 0xFD, 0xA0, {{0x1342, 0x40}}, 0x0203, 0x40, 0x42, 0, 0xFD, 0x60, {}, 4},
        ProgramRow{"C_bit_abx_crossing", C, {0x3C, 0xFF, 0x12}, 0x40, 0x43, 0, 0xFD, 0xA0, {{0x1342, 0x40}}, 0x0203, 0x40, 0x43, 0, 0xFD, 0x60, {}, 5},
        ProgramRow{"C_inc_a", C, {0x1A}, 0xFF, 0, 0, 0xFD, 0xA1, {}, 0x0201, 0x00, 0, 0, 0xFD, 0x23, {}, 2},
        ProgramRow{"C_dec_a", C, {0x3A}, 0x00, 0, 0, 0xFD, 0x22, {}, 0x0201, 0xFF, 0, 0, 0xFD, 0xA0, {}, 2},
        ProgramRow{"C_jmp_abs_x", C, {0x7C, 0xF0, 0x02}, 0, 0x14, 0, 0xFD, 0x20, {{0x0304, 0x42}, {0x0305, 0x13}}, 0x1342, 0, 0x14, 0, 0xFD, 0x20, {}, 6},
        ProgramRow{"C_jmp_ind_across_page", C, {0x6C, 0xFF, 0x03}, 0, 0, 0, 0xFD, 0x20, {{0x03FF, 0x42}, {0x0300, 0x99}, {0x0400, 0x13}}, 0x1342, 0, 0, 0, 0xFD, 0x20, {}, 6},
        ProgramRow{"C_lda_zp_indirect", C, {0xB2, 0xFF}, 0, 0, 0x10, 0xFD, 0x22, {{0x00FF, 0x42}, {0x0000, 0x13}, {0x1342, 0x80}}, 0x0202, 0x80, 0, 0x10, 0xFD, 0xA0, {}, 5},
        ProgramRow{"C_sta_zp_indirect", C, {0x92, 0x90}, 0x5A, 0, 0x10, 0xFD, 0x20, {{0x0090, 0x42}, {0x0091, 0x13}}, 0x0202, 0x5A, 0, 0x10, 0xFD, 0x20, {{0x1342, 0x5A}}, 5},
        ProgramRow{"C_adc_zp_indirect", C, {0x72, 0x90}, 0x01, 0, 0, 0xFD, 0x21, {{0x0090, 0x42}, {0x0091, 0x13}, {0x1342, 0x02}}, 0x0202, 0x04, 0, 0, 0xFD, 0x20, {}, 5},
        ProgramRow{"C_asl_abx", C, {0x1E, 0x00, 0x13}, 0, 0x42, 0, 0xFD, 0x20, {{0x1342, 0x81}}, 0x0203, 0, 0x42, 0, 0xFD, 0x21, {{0x1342, 0x02}}, 6},
        ProgramRow{"C_asl_abx_crossing", C, {0x1E, 0xFF, 0x12}, 0, 0x43, 0, 0xFD, 0x20, {{0x1342, 0x81}}, 0x0203, 0, 0x43, 0, 0xFD, 0x21, {{0x1342, 0x02}}, 7},
        ProgramRow{"C_ror_abx_crossing", C, {0x7E, 0xFF, 0x12}, 0, 0x43, 0, 0xFD, 0x21, {{0x1342, 0x02}}, 0x0203, 0, 0x43, 0, 0xFD, 0xA0, {{0x1342, 0x81}}, 7},
        ProgramRow{"C_inc_abx_crossing", C, {0xFE, 0xFF, 0x12}, 0, 0x43, 0, 0xFD, 0x20, {{0x1342, 0x7F}}, 0x0203, 0, 0x43, 0, 0xFD, 0xA0, {{0x1342, 0x80}}, 7},
        ProgramRow{"C_brk_clears_D", C, {0x00, 0x00}, 0, 0, 0, 0xFD, 0x2D, {{0xFFFE, 0x00}, {0xFFFF, 0x30}}, 0x3000, 0, 0, 0, 0xFA, 0x25, {{0x01FD, 0x02}, {0x01FC, 0x02}, {0x01FB, 0x3D}}, 7},
        ProgramRow{"X_brk_keeps_D", X, {0x00, 0x00}, 0, 0, 0, 0xFD, 0x2D, {{0xFFFE, 0x00}, {0xFFFF, 0x30}}, 0x3000, 0, 0, 0, 0xFA, 0x2D, {{0x01FD, 0x02}, {0x01FC, 0x02}, {0x01FB, 0x3D}}, 7}),
    RowName{});

// ---- NMOS chip: the stores of a value ANDed with the high byte plus one ----

struct HighStoreRow {
    const char* name;
    u8 opcode;
    u8 a, x, y;  // the mode's own index is set by aim()
    u8 value;           // stored, no page crossing (high byte plus one: 0x14)
    u8 value_crossing;  // stored when crossing (0x13), also the address's new high byte
    u32 cycles;
};
void PrintTo(const HighStoreRow& c, std::ostream* os) { *os << c.name; }

class HighByteStores : public CpuTableTest<HighStoreRow> {};

TEST_P(HighByteStores, ValueAndAddressWithAndWithoutCrossing) {
    const HighStoreRow& row = GetParam();
    for (const bool cross : {false, true}) {
        SCOPED_TRACE(cross ? "crossing" : "in page");
        clean_machine(Chip::m6502x);
        cpu.sp = 0xFD;
        aim(row.opcode, cross);
        const Mode mode = modes()[row.opcode];
        cpu.a = row.a;
        if (mode != Mode::abx) cpu.x = row.x;
        if (mode == Mode::abx) cpu.y = row.y;
        const u8 sp_after = row.opcode == 0x9B ? static_cast<u8>(row.a & row.x) : cpu.sp;
        auto expected = memory;
        const u8 value = cross ? row.value_crossing : row.value;
        const u16 target = cross ? static_cast<u16>(value << 8 | (FAR_TARGET & 0xFF)) : FAR_TARGET;
        expected[target] = value;
        EXPECT_EQ(step(), row.cycles);
        EXPECT_EQ(memory[target], value) << hex(target);
        EXPECT_TRUE(memory == expected) << "one byte written";
        EXPECT_EQ(cpu.sp, sp_after);
        EXPECT_EQ(cpu.status, FLAG_CONSTANT);
        EXPECT_EQ(cpu.pc, ORIGIN + 1 + manual_operand_bytes(mode));
    }
}

INSTANTIATE_TEST_SUITE_P(
    NmosChip, HighByteStores,
    ::testing::Values(
        //           name        op    a     x     y     value crossing cycles
        HighStoreRow{"SHA_aby", 0x9F, 0xF1, 0x1F, 0x00, 0x10, 0x11, 5},
        HighStoreRow{"SHA_izy", 0x93, 0xF1, 0x1F, 0x00, 0x10, 0x11, 6},
        HighStoreRow{"SHX_aby", 0x9E, 0x00, 0x0F, 0x00, 0x04, 0x03, 5},
        HighStoreRow{"SHY_abx", 0x9C, 0x00, 0x00, 0x0F, 0x04, 0x03, 5},
        HighStoreRow{"TAS_aby", 0x9B, 0xF1, 0x1F, 0x00, 0x10, 0x11, 5}),
    RowName{});

// ---- halting, waiting -------------------------------------------------------

TEST_F(CpuTest, JamHaltsTheNmosChipOnEachOfItsOpcodes) {
    for (const u8 opcode : {0x02, 0x12, 0x22, 0x32, 0x42, 0x52, 0x62, 0x72, 0x92, 0xB2, 0xD2, 0xF2}) {
        SCOPED_TRACE(hex(opcode));
        clean_machine(Chip::m6502x);
        program({opcode}, 0x0340);
        cpu.a = 0x12;
        cpu.status = 0xE3;
        step();
        EXPECT_EQ(cpu.pause, Pause::halted);
        EXPECT_EQ(cpu.pause_pc, 0x0340);
        EXPECT_EQ(cpu.pause_opcode, opcode);
        EXPECT_EQ(cpu.pc, 0x0000) << "where the run loop stops";
        EXPECT_EQ(cpu.a, 0x12);
        EXPECT_EQ(cpu.status, 0xE3);
        // This machine's 6502 runs the same byte as a one-byte NOP.
        clean_machine();
        program({opcode}, 0x0340);
        EXPECT_EQ(step(), 2u);
        EXPECT_EQ(cpu.pc, 0x0341);
        EXPECT_EQ(cpu.pause, Pause::none);
    }
}

TEST_F(CpuTest, StpHaltsAndWaiWaitsOnThe65C02) {
    clean_machine(Chip::m65c02);
    program({0xDB});
    EXPECT_EQ(step(), 3u);
    EXPECT_EQ(cpu.pause, Pause::halted);
    EXPECT_EQ(cpu.pause_pc, ORIGIN);
    EXPECT_EQ(cpu.pause_opcode, 0xDB);
    EXPECT_EQ(cpu.pc, 0x0000);

    clean_machine(Chip::m65c02);
    program({0xCB});
    EXPECT_EQ(step(), 3u);
    EXPECT_EQ(cpu.pause, Pause::waiting);
    EXPECT_EQ(cpu.pause_pc, ORIGIN + 1) << "goes on after the WAI";
    EXPECT_EQ(cpu.pc, 0x0000);
}

// ---- 65C02: bit instructions, interrupts, NOPs ------------------------------

TEST_F(CpuTest, RmbSmbChangeOneBitEach) {
    for (int n = 0; n < 8; ++n) {
        for (const bool set : {false, true}) {
            const u8 opcode = static_cast<u8>((set ? 0x87 : 0x07) + n * 0x10);
            SCOPED_TRACE(hex(opcode));
            clean_machine(Chip::m65c02);
            program({opcode, 0x42});
            memory[0x42] = set ? 0x00 : 0xFF;
            cpu.status = 0xE3;
            EXPECT_EQ(step(), 5u);
            const u8 bit = static_cast<u8>(1u << n);
            EXPECT_EQ(memory[0x42], set ? bit : static_cast<u8>(~bit));
            EXPECT_EQ(cpu.status, 0xE3);
            EXPECT_EQ(cpu.pc, ORIGIN + 2);
        }
    }
}

TEST_F(CpuTest, BbrBbsBranchOnOneBit) {
    for (int n = 0; n < 8; ++n) {
        for (const bool on_set : {false, true}) {
            const u8 opcode = static_cast<u8>((on_set ? 0x8F : 0x0F) + n * 0x10);
            for (const u8 byte : {static_cast<u8>(1u << n), static_cast<u8>(~(1u << n))}) {
                SCOPED_TRACE(hex(opcode) + " on " + hex(byte));
                clean_machine(Chip::m65c02);
                program({opcode, 0x42, 0x10});
                memory[0x42] = byte;
                const bool taken = ((byte >> n) & 1) == (on_set ? 1 : 0);
                EXPECT_EQ(step(), taken ? 6u : 5u);
                EXPECT_EQ(cpu.pc, taken ? ORIGIN + 3 + 0x10 : ORIGIN + 3);
                EXPECT_EQ(memory[0x42], byte);
            }
        }
    }
    clean_machine(Chip::m65c02);
    program({0x0F, 0x42, 0xF0});  // BBR0 back into the page before: 7 cycles
    EXPECT_EQ(step(), 7u);
    EXPECT_EQ(cpu.pc, 0x01F3);
}

TEST_F(CpuTest, InterruptsClearDecimalOnlyOnThe65C02) {
    for (const Chip chip : ALL_CHIPS) {
        SCOPED_TRACE(chip_name(chip));
        for (const bool nmi : {false, true}) {
            clean_machine(chip);
            cpu.pc = 0x0300;
            cpu.status = 0x28;
            if (nmi) cpu_nmi();
            else cpu_irq();
            EXPECT_EQ(cpu.status & FLAG_D, chip == Chip::m65c02 ? 0 : FLAG_D);
            EXPECT_EQ(memory[0x01FB], 0x28) << "the pushed copy keeps D";
        }
    }
}

struct NopGroupC {
    const char* name;
    std::vector<u8> opcodes;
    int length;
    u32 cycles;
};
void PrintTo(const NopGroupC& c, std::ostream* os) { *os << c.name; }

class CmosNops : public CpuTableTest<NopGroupC> {};

TEST_P(CmosNops, LengthAndCyclesAndNothingElse) {
    for (const u8 opcode : GetParam().opcodes) {
        SCOPED_TRACE(hex(opcode));
        clean_machine(Chip::m65c02);
        program({opcode, 0x00, 0xFF});  // an address form would name 0xFF00, the keyboard
        memory[0x00] = 0x77;
        cpu.a = 1;
        cpu.x = 2;
        cpu.y = 3;
        const auto before = memory;
        EXPECT_EQ(step(), GetParam().cycles);
        EXPECT_EQ(cpu.pc, ORIGIN + GetParam().length);
        EXPECT_TRUE(memory == before);
        EXPECT_EQ(cpu.a, 1);
        EXPECT_EQ(cpu.x, 2);
        EXPECT_EQ(cpu.y, 3);
        EXPECT_EQ(cpu.sp, 0xFD);
        EXPECT_EQ(cpu.status, FLAG_CONSTANT);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Undefined65C02, CmosNops,
    ::testing::Values(
        NopGroupC{"one_byte_one_cycle",
                  {0x03, 0x13, 0x23, 0x33, 0x43, 0x53, 0x63, 0x73, 0x83, 0x93, 0xA3, 0xB3, 0xC3, 0xD3, 0xE3, 0xF3,
                   0x0B, 0x1B, 0x2B, 0x3B, 0x4B, 0x5B, 0x6B, 0x7B, 0x8B, 0x9B, 0xAB, 0xBB, 0xEB, 0xFB},
                  1, 1},
        NopGroupC{"EA", {0xEA}, 1, 2},
        NopGroupC{"two_bytes_two_cycles", {0x02, 0x22, 0x42, 0x62, 0x82, 0xC2, 0xE2}, 2, 2},
        NopGroupC{"zero_page", {0x44}, 2, 3},
        NopGroupC{"zero_page_x", {0x54, 0xD4, 0xF4}, 2, 4},
        NopGroupC{"absolute", {0xDC, 0xFC}, 3, 4},
        NopGroupC{"absolute_5C", {0x5C}, 3, 8}),
    RowName{});

// ---- one access per operand on the NMOS chip --------------------------------

// RANDOM draws on every read: LAX and DCP read it once on the NMOS chip,
// twice on this machine's 6502.
TEST_F(CpuTest, NmosCombinationsReadTheirOperandOnce) {
    random_seed(7);
    const u8 first = random_read();
    const u8 second = random_read();
    for (const Chip chip : {Chip::m6502, Chip::m6502x}) {
        SCOPED_TRACE(chip_name(chip));
        const bool once = chip == Chip::m6502x;
        clean_machine(chip);
        random_seed(7);
        program({0xAF, 0x02, 0xFF});  // LAX $FF02
        step();
        EXPECT_EQ(cpu.a, first);
        EXPECT_EQ(cpu.x, once ? first : second);
        if (once) {
            EXPECT_EQ(random_read(), second) << "one draw taken";
        }

        clean_machine(chip);
        random_seed(7);
        program({0xCF, 0x02, 0xFF});  // DCP $FF02
        cpu.a = static_cast<u8>(first - 1);
        step();
        if (once) {
            EXPECT_TRUE(cpu.status & FLAG_Z) << "compared with the byte it decremented";
            EXPECT_EQ(random_read(), second);
        }
    }
}

}  // namespace
}  // namespace cpu_test
