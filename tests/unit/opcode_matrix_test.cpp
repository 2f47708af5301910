// The opcode grid as a whole: how many opcodes each operation and each mode
// has, and the cycle rules checked by running every opcode. Expected costs
// come from per-kind rules, never from a second copy of the grid.
#include <map>

#include "cpu_fixture.hpp"

namespace cpu_test {
namespace {

// ---- census --------------------------------------------------------------

TEST(OpcodeCensus, OperationsHaveTheirOpcodeCounts) {
    using enum Op;
    const std::map<Op, int> expected{
        {NOP, 52}, {LAX, 7}, {SAX, 4}, {DCP, 7}, {ISB, 7}, {SLO, 7}, {RLA, 7}, {SRE, 7}, {RRA, 7}, {SBC, 9},
        {ADC, 8}, {AND, 8}, {ORA, 8}, {EOR, 8}, {CMP, 8}, {LDA, 8}, {STA, 7}, {LDX, 5}, {LDY, 5}, {STX, 3},
        {STY, 3}, {CPX, 3}, {CPY, 3}, {BIT, 2}, {INC, 4}, {DEC, 4}, {ASL, 5}, {LSR, 5}, {ROL, 5}, {ROR, 5},
        {JMP, 2}, {JSR, 1}, {RTS, 1}, {RTI, 1}, {BRK, 1}, {BPL, 1}, {BMI, 1}, {BVC, 1}, {BVS, 1}, {BCC, 1},
        {BCS, 1}, {BNE, 1}, {BEQ, 1}, {TAX, 1}, {TAY, 1}, {TSX, 1}, {TXA, 1}, {TXS, 1}, {TYA, 1}, {PHA, 1},
        {PHP, 1}, {PLA, 1}, {PLP, 1}, {CLC, 1}, {CLD, 1}, {CLI, 1}, {CLV, 1}, {SEC, 1}, {SED, 1}, {SEI, 1},
        {INX, 1}, {INY, 1}, {DEX, 1}, {DEY, 1},
    };
    ASSERT_EQ(expected.size(), 64u) << "every operation is listed once";
    std::map<Op, int> counted;
    for (int opcode = 0; opcode < 256; ++opcode) ++counted[operation_table[opcode]];
    EXPECT_EQ(counted, expected);
    int combined = 0;
    for (const Op op : {LAX, SAX, DCP, ISB, SLO, RLA, SRE, RRA}) combined += counted[op];
    EXPECT_EQ(combined, 53);
}

TEST(OpcodeCensus, ModesHaveTheirOpcodeCounts) {
    using enum Mode;
    const std::map<Mode, int> expected{
        {imp, 43}, {acc, 4}, {imm, 24}, {zp, 32}, {zpx, 28}, {zpy, 4}, {rel, 8},
        {abs, 32}, {abx, 28}, {aby, 20}, {ind, 1}, {izx, 16}, {izy, 16},
    };
    std::map<Mode, int> counted;
    for (int opcode = 0; opcode < 256; ++opcode) ++counted[mode_table[opcode]];
    EXPECT_EQ(counted, expected);
}

TEST(OpcodeCensus, AccRelAndIndBelongToTheirInstructions) {
    for (int opcode = 0; opcode < 256; ++opcode) {
        SCOPED_TRACE(hex(static_cast<unsigned>(opcode)));
        const Mode m = mode_table[opcode];
        const bool shift_acc = opcode == 0x0A || opcode == 0x2A || opcode == 0x4A || opcode == 0x6A;
        EXPECT_EQ(m == Mode::acc, shift_acc);
        bool branch = false;
        for (const BranchRule& rule : BRANCHES) branch = branch || rule.opcode == opcode;
        EXPECT_EQ(m == Mode::rel, branch);
        EXPECT_EQ(m == Mode::ind, opcode == 0x6C);
        EXPECT_GE(cycle_table[opcode], 2u);
        EXPECT_LE(cycle_table[opcode], 8u);
    }
}

// ---- base cycles by kind of instruction ------------------------------------

bool in(Op op, std::initializer_list<Op> ops) {
    for (const Op o : ops)
        if (o == op) return true;
    return false;
}

// Base cost of an opcode by the kind of its operation and its mode.
u32 rule_cycles(u8 opcode) {
    using enum Op;
    const Op op = operation_table[opcode];
    const Mode m = mode_table[opcode];
    if (op == NOP) {
        switch (m) {
        case Mode::imp:
        case Mode::imm: return 2;
        case Mode::zp: return 3;
        case Mode::zpx:
        case Mode::abs: return 4;
        case Mode::abx: return opcode == 0x9C ? 5 : 4;
        case Mode::aby: return 5;
        case Mode::izy: return 6;
        default: return 0;
        }
    }
    if (in(op, {LDA, LDX, LDY, ADC, SBC, AND, ORA, EOR, CMP, CPX, CPY, BIT, LAX})) {
        switch (m) {
        case Mode::imm: return 2;
        case Mode::zp: return 3;
        case Mode::zpx:
        case Mode::zpy:
        case Mode::abs:
        case Mode::abx:
        case Mode::aby: return 4;
        case Mode::izx: return 6;
        case Mode::izy: return 5;
        default: return 0;
        }
    }
    if (in(op, {STA, STX, STY, SAX})) {
        switch (m) {
        case Mode::zp: return 3;
        case Mode::zpx:
        case Mode::zpy:
        case Mode::abs: return 4;
        case Mode::abx:
        case Mode::aby: return 5;
        case Mode::izx:
        case Mode::izy: return 6;
        default: return 0;
        }
    }
    if (in(op, {ASL, LSR, ROL, ROR, INC, DEC})) {
        switch (m) {
        case Mode::acc: return 2;
        case Mode::zp: return 5;
        case Mode::zpx:
        case Mode::abs: return 6;
        case Mode::abx: return 7;
        default: return 0;
        }
    }
    if (in(op, {SLO, RLA, SRE, RRA, DCP, ISB})) {
        switch (m) {
        case Mode::zp: return 5;
        case Mode::zpx:
        case Mode::abs: return 6;
        case Mode::abx:
        case Mode::aby: return 7;
        case Mode::izx:
        case Mode::izy: return 8;
        default: return 0;
        }
    }
    if (in(op, {PHA, PHP})) return 3;
    if (in(op, {PLA, PLP})) return 4;
    if (in(op, {RTS, RTI, JSR})) return 6;
    if (op == BRK) return 7;
    if (op == JMP) return m == Mode::ind ? 5 : 3;
    // transfers, flags, register steps and untaken branches
    return 2;
}

// Sets the status so that a branch opcode is not taken.
void untake_branch(u8 opcode) {
    for (const BranchRule& rule : BRANCHES)
        if (rule.opcode == opcode)
            cpu.status = static_cast<u8>(FLAG_CONSTANT | (rule.taken_when_set ? 0 : rule.flag));
}

TEST_F(CpuTest, EveryOpcodeCostsWhatItsKindAndModeSay) {
    for (int opcode = 0; opcode < 256; ++opcode) {
        const u8 op = static_cast<u8>(opcode);
        SCOPED_TRACE(hex(op));
        clean_machine();
        aim(op, false);
        untake_branch(op);
        const u32 expected = rule_cycles(op);
        ASSERT_NE(expected, 0u) << "no rule for this operation and mode";
        EXPECT_EQ(step(), expected);
        EXPECT_EQ(cycle_table[op], expected);
    }
}

// ---- the page-crossing cycle ---------------------------------------------

// The operations that pay for a crossing, and the six NOPs that act like loads.
bool pays_for_crossing(u8 opcode) {
    using enum Op;
    const Op op = operation_table[opcode];
    if (op == NOP)
        return opcode == 0x1C || opcode == 0x3C || opcode == 0x5C || opcode == 0x7C || opcode == 0xDC ||
               opcode == 0xFC;
    return in(op, {ADC, AND, CMP, EOR, LDA, LDX, LDY, ORA, SBC, LAX});
}

TEST_F(CpuTest, ExactlyThePayingIndexedOpcodesCostOneMoreOnACrossing) {
    int indexed = 0;
    int paying = 0;
    for (int opcode = 0; opcode < 256; ++opcode) {
        const u8 op = static_cast<u8>(opcode);
        const Mode m = mode_table[op];
        if (m != Mode::abx && m != Mode::aby && m != Mode::izy) continue;
        ++indexed;
        SCOPED_TRACE(hex(op));
        for (const bool decimal : {false, true}) {
            clean_machine();
            aim(op, false);
            if (decimal) cpu.status |= FLAG_D;
            const u32 in_page = step();
            clean_machine();
            aim(op, true);
            if (decimal) cpu.status |= FLAG_D;
            const u32 crossing = step();
            EXPECT_EQ(in_page, cycle_table[op]);
            EXPECT_EQ(crossing - in_page, pays_for_crossing(op) ? 1u : 0u);
            EXPECT_EQ(cpu.pc, ORIGIN + 1 + manual_operand_bytes(m));
        }
        paying += pays_for_crossing(op);
    }
    EXPECT_EQ(indexed, 64);
    EXPECT_EQ(paying, 32);
}

// Modes that wrap in page zero or are not indexed never cost a crossing
// cycle, even when their address arithmetic wraps.
TEST_F(CpuTest, UnindexedAndZeroPageModesNeverPayForAWrap) {
    struct Row {
        const char* name;
        std::vector<u8> bytes;
        u8 x, y;
        u32 cycles;
    } const rows[] = {
        {"LDA zpx wrap", {0xB5, 0xFF}, 0x02, 0, 4},
        {"LDX zpy wrap", {0xB6, 0xFF}, 0, 0x02, 4},
        {"LDA izx wrap", {0xA1, 0xFF}, 0x01, 0, 6},
        {"LDA abs page end", {0xAD, 0xFF, 0x12}, 0, 0, 4},
        {"JMP ind page wrap", {0x6C, 0xFF, 0x12}, 0, 0, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clean_machine();
        program(row.bytes);
        cpu.x = row.x;
        cpu.y = row.y;
        EXPECT_EQ(step(), row.cycles);
    }
}

// ---- all 256 from a clean state ---------------------------------------------

TEST_F(CpuTest, EveryOpcodeRunsFromACleanStateAndSkipsItsOperand) {
    using enum Op;
    for (int opcode = 0; opcode < 256; ++opcode) {
        const u8 op = static_cast<u8>(opcode);
        SCOPED_TRACE(hex(op));
        for (const u8 status : {u8{0x00}, u8{0xFF}}) {
            clean_machine();
            program({op, 0x00, 0x00});
            cpu.status = status;
            const u32 cycles = step();
            EXPECT_GE(cycles, 2u);
            EXPECT_LE(cycles, 8u);
            EXPECT_EQ(cpu.instruction_count, 1u);
            const Op kind = operation_table[op];
            // Branches with offset 0 land on the next instruction either way.
            if (!in(kind, {JMP, JSR, RTS, RTI, BRK})) {
                EXPECT_EQ(cpu.pc, ORIGIN + 1 + manual_operand_bytes(mode_table[op]));
            }
            if (kind != RTI) {
                EXPECT_NE(cpu.status & FLAG_CONSTANT, 0);
            }
        }
    }
}

}  // namespace
}  // namespace cpu_test
