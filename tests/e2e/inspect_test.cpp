// The run's inspections: --check's reports, --coverage's tracefile and the
// profiles in Callgrind's and the folded format, on small programs made to
// show them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/harness.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

struct CheckCase {
    const char* name;
    Bytes program;  // at $0200
    std::vector<std::string> options;
    std::string err;  // standard error, exactly
    int status;
};

const std::string NONE_FOUND = "check: no faults found\n";
const std::string ONE_PLACE = "check: faults found at 1 place\n";

const CheckCase CHECK_CASES[] = {
    // LDA $0300; JMP $0000
    {"uninitialised_read", {0xAD, 0x00, 0x03, 0x4C, 0x00, 0x00}, {},
     "check: uninitialised-read at $0200 LDA $0300: reads $0300, which nothing has written in this run\n"
     "  #0  $0200\n" + ONE_PLACE, 5},
    // The same after STA $0300: written, no report.
    {"read_after_write", {0x8D, 0x00, 0x03, 0xAD, 0x00, 0x03, 0x4C, 0x00, 0x00}, {}, NONE_FOUND, 0},
    // A device register is no memory that must be written first.
    {"device_read", {0xAD, 0x02, 0xFF, 0x4C, 0x00, 0x00}, {}, NONE_FOUND, 0},
    // LDA #1; STA $0201; JMP $0000, the image's first bytes protected.
    {"protected_write", {0xA9, 0x01, 0x8D, 0x01, 0x02, 0x4C, 0x00, 0x00}, {"--protect", "0200-0204"},
     "check: protected-write at $0202 STA $0201: writes $0201, in a --protect range\n  #0  $0202\n" + ONE_PLACE, 5},
    // JMP $0300: the fill, never written, runs (INC $EEEE).
    {"execute_unwritten", {0x4C, 0x00, 0x03}, {"--max-instructions", "2", "--check-off", "uninitialised-read"},
     "check: execute at $0300 INC $EEEE: runs $0300, which nothing has written in this run\n  #0  $0300\n" +
         ONE_PLACE + "instruction limit reached; memory not saved.\n", 3},
    // JSR $0209; JMP $0000; JMP $0000; LDA #5; PHA; RTS: the byte pushed
    // is taken for the return address, which lands on $0206.
    {"return_byte_left", {0x20, 0x09, 0x02, 0x4C, 0x00, 0x00, 0x4C, 0x00, 0x00, 0xA9, 0x05, 0x48, 0x60}, {},
     "check: return at $020C RTS: returns with 1 byte still pushed since the call at $0200, to $0206 instead of "
     "$0203\n  #0  $020C\n  #1  $0200\n" + ONE_PLACE, 5},
    // JSR $0206; JMP $0000; JSR $020A; RTS; PLA; PLA; RTS: the inner
    // routine drops its return address and returns from the outer call.
    {"return_past_caller", {0x20, 0x06, 0x02, 0x4C, 0x00, 0x00, 0x20, 0x0A, 0x02, 0x60, 0x68, 0x68, 0x60}, {},
     "check: return at $020C RTS: pulled 2 bytes of the call at $0206 before returning, to $0203\n"
     "  #0  $020C\n  #1  $0206\n  #2  $0200\n" + ONE_PLACE, 5},
    // The push-an-address-then-RTS jump inside a call, then the call's own
    // return: JSR $0206; JMP $0000; LDA #2; PHA; LDA #$0E; PHA; RTS (to
    // $020F); BRK BRK; RTS.
    {"return_as_jump", {0x20, 0x06, 0x02, 0x4C, 0x00, 0x00, 0xA9, 0x02, 0x48, 0xA9, 0x0E, 0x48, 0x60, 0x00, 0x00, 0x60},
     {}, NONE_FOUND, 0},
    // The same return address changed suppressed by a file.
    {"return_suppressed", {0x20, 0x09, 0x02, 0x4C, 0x00, 0x00, 0x4C, 0x00, 0x00, 0xA9, 0x05, 0x48, 0x60},
     {"--check-suppress", "suppressions"}, NONE_FOUND, 0},
    // ... or by turning the kind off.
    {"return_off", {0x20, 0x09, 0x02, 0x4C, 0x00, 0x00, 0x4C, 0x00, 0x00, 0xA9, 0x05, 0x48, 0x60},
     {"--check-off", "return"}, NONE_FOUND, 0},
    // LDX #0; TXS; PHA; JMP $0000
    {"stack_wrap", {0xA2, 0x00, 0x9A, 0x48, 0x4C, 0x00, 0x00}, {},
     "check: stack-wrap at $0203 PHA: S went from $00 to $FF: the stack overflowed below $0100\n  #0  $0203\n" +
         ONE_PLACE, 5},
    // NOP ($1A, undocumented); JMP $0000
    {"undocumented_nop", {0x1A, 0x4C, 0x00, 0x00}, {},
     "check: undocumented at $0200 NOP: opcode $1A is undocumented: a NOP on the 6502\n  #0  $0200\n" + ONE_PLACE, 5},
    {"documented_nop", {0xEA, 0x4C, 0x00, 0x00}, {}, NONE_FOUND, 0},
    // JAM on the NMOS chip: reported, then the halt.
    {"undocumented_jam", {0x02}, {"--cpu", "6502X"},
     "check: undocumented at $0200 JAM: opcode $02 is undocumented: it halts the 6502X\n  #0  $0200\n" + ONE_PLACE +
         "processor halted by JAM opcode $02 at $0200; memory not saved.\n", 4},
    // A loop reads the same unwritten byte 3 times: one report for its place.
    // LDX #3; loop: LDA $0300; DEX; BNE loop; JMP $0000
    {"once_per_place", {0xA2, 0x03, 0xAD, 0x00, 0x03, 0xCA, 0xD0, 0xFA, 0x4C, 0x00, 0x00}, {},
     "check: uninitialised-read at $0202 LDA $0300: reads $0300, which nothing has written in this run\n"
     "  #0  $0202\n" + ONE_PLACE, 5},
};

class CheckTable : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTable, ReportsExactly) {
    const CheckCase& c = GetParam();
    TempDir dir;
    dir.write("program.bin", c.program);
    dir.write("suppressions", std::string("# the routine at $0209 returns through a byte it pushed\nreturn 0209-020C\n"));
    std::vector<std::string> args = {"--clean", "--check"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("program.bin");
    const RunResult r = e2e::run_emulator(dir, args);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.exit_code, c.status);
}

INSTANTIATE_TEST_SUITE_P(Checks, CheckTable, ::testing::ValuesIn(CHECK_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A fault saves memory as a normal end does, then exits 5.
TEST(Checks, FaultSavesMemoryThenExitsFive) {
    TempDir dir;
    dir.write("program.bin", Bytes{0xAD, 0x00, 0x03, 0x4C, 0x00, 0x00});
    const RunResult r = e2e::run_emulator(dir, {"--check", "program.bin"});
    EXPECT_EQ(r.exit_code, 5);
    EXPECT_TRUE(dir.exists("membackup"));
}

// Under the monitor a report stops the run like a breakpoint, and a step
// back from there goes to the instruction that made it.
TEST(Checks, StopTheMonitorAndStepBack) {
    TempDir dir;
    dir.write("program.bin", Bytes{0x20, 0x09, 0x02, 0x4C, 0x00, 0x00, 0x4C, 0x00, 0x00, 0xA9, 0x05, 0x48, 0x60});
    dir.write("commands", std::string("c\nback 1\nc\n"));
    const RunResult r =
        e2e::run_emulator(dir, {"--clean", "--deterministic", "--check", "--commands", "commands", "program.bin"});
    EXPECT_EQ(r.err, "0200  20 09 02  JSR $0209\n> c\n"
                     "check: return at $020C RTS: returns with 1 byte still pushed since the call at $0200, to $0206 "
                     "instead of $0203\n  #0  $020C\n  #1  $0200\n"
                     "0206  4C 00 00  JMP $0000\n> back 1\n020C  60        RTS\n> c\n" + ONE_PLACE);
    EXPECT_EQ(r.exit_code, 5);
}

struct BadInputCase {
    const char* name;
    std::vector<std::string> options;
    std::string suppressions;  // written to "suppressions" when not empty
    std::string err;
};

const BadInputCase BAD_INPUT_CASES[] = {
    {"protect_not_a_range", {"--protect", "0300-02FF"}, "",
     "emu6502: --protect: '0300-02FF' is no address or range (like C000 or 0200-02FF); try 'emu6502 --help'.\n"},
    {"check_off_unknown", {"--check-off", "stack"}, "",
     "emu6502: --check-off: no check named 'stack' (the checks: uninitialised-read, protected-write, execute, return, "
     "stack-wrap, c-stack, undocumented); try 'emu6502 --help'.\n"},
    {"suppression_missing", {"--check-suppress", "nothing-here"}, "",
     "emu6502: can't read suppression file 'nothing-here': No such file or directory; nothing ran.\n"},
    {"suppression_bad_kind", {"--check-suppress", "suppressions"}, "# fine\nreturns 0200\n",
     "emu6502: suppression file 'suppressions' line 2: no check named 'returns'; nothing ran.\n"},
    {"suppression_bad_place", {"--check-suppress", "suppressions"}, "return main\n",
     "emu6502: suppression file 'suppressions' line 1: 'main' is no address, range (names need the debug "
     "information); nothing ran.\n"},
    {"coverage_without_debug_file", {"--coverage", "out.info"}, "",
     "emu6502: --coverage needs the debug information (NAME.dbg beside the image, or --debug-info FILE): without it "
     "no line is known; nothing ran.\n"},
};

class BadInspectionInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInspectionInput, OneLineAndStatusTwoBeforeTheRun) {
    const BadInputCase& c = GetParam();
    TempDir dir;
    dir.write("program.bin", Bytes{0xA9, 0x41, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00});
    if (!c.suppressions.empty()) dir.write("suppressions", c.suppressions);
    std::vector<std::string> args = {"--clean"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("program.bin");
    const RunResult r = e2e::run_emulator(dir, args);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");  // nothing ran
    EXPECT_EQ(r.exit_code, 2);
}

INSTANTIATE_TEST_SUITE_P(Checks, BadInspectionInput, ::testing::ValuesIn(BAD_INPUT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
