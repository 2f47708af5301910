// The run's inspections: --check's reports, --coverage's tracefile and the
// profiles in Callgrind's and the folded format, on small programs made to
// show them.
#include <gtest/gtest.h>

#include <filesystem>
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

// The checks run in threaded code, handing back only the instructions a
// check may fault on; --trace runs every instruction one at a time. Both
// must report the same, also when the fault comes after a long stretch,
// and on what only the threaded code's stores wrote.
struct PathCase {
    const char* name;
    Bytes program;  // at $0200
    std::vector<std::string> options;
    std::string err;  // standard error, exactly (without --trace)
    int status;
};

const PathCase PATH_CASES[] = {
    // LDX #0; loop: TXA; STA $0300,X; INX; BNE loop; LDA $03FF; LDA $0400; JMP $0000
    {"read_after_a_long_stretch_of_stores",
     {0xA2, 0x00, 0x8A, 0x9D, 0x00, 0x03, 0xE8, 0xD0, 0xF9, 0xAD, 0xFF, 0x03, 0xAD, 0x00, 0x04, 0x4C, 0x00, 0x00}, {},
     "check: uninitialised-read at $020C LDA $0400: reads $0400, which nothing has written in this run\n"
     "  #0  $020C\n" + ONE_PLACE, 5},
    // A pointer at $10 to $0300; 128 bytes stored through it, then 256 read:
    // LDA #0; STA $10; LDA #3; STA $11; LDY #0; fill: TYA; STA ($10),Y; INY;
    // BPL fill; LDY #0; read: LDA ($10),Y; INY; BNE read; JMP $0000
    {"indirect_read_past_the_stores",
     {0xA9, 0x00, 0x85, 0x10, 0xA9, 0x03, 0x85, 0x11, 0xA0, 0x00, 0x98, 0x91, 0x10, 0xC8, 0x10, 0xFA, 0xA0, 0x00, 0xB1,
      0x10, 0xC8, 0xD0, 0xFB, 0x4C, 0x00, 0x00},
     {},
     "check: uninitialised-read at $0212 LDA ($10),Y: reads $0380, which nothing has written in this run\n"
     "  #0  $0212\n" + ONE_PLACE, 5},
    // JSR $0206; JMP $0000; JSR $020A; RTS; LDX #0; wait: INX; BNE wait;
    // PLA; PLA; RTS: calls made in threaded code show in the backtrace.
    {"bad_return_after_threaded_calls",
     {0x20, 0x06, 0x02, 0x4C, 0x00, 0x00, 0x20, 0x0A, 0x02, 0x60, 0xA2, 0x00, 0xE8, 0xD0, 0xFD, 0x68, 0x68, 0x60}, {},
     "check: return at $0211 RTS: pulled 2 bytes of the call at $0206 before returning, to $0203\n"
     "  #0  $0211\n  #1  $0206\n  #2  $0200\n" + ONE_PLACE, 5},
    // JSR $0206; JMP $0000; LDX #0; again: LDA #2; PHA; LDA #$0E; PHA; RTS
    // (to $020F); INX; BNE again; RTS: 256 jumps by RTS inside one call.
    {"return_as_jump_in_a_loop",
     {0x20, 0x06, 0x02, 0x4C, 0x00, 0x00, 0xA2, 0x00, 0xA9, 0x02, 0x48, 0xA9, 0x0E, 0x48, 0x60, 0xE8, 0xD0, 0xF6, 0x60},
     {}, NONE_FOUND, 0},
    // LDX #0; push: PHA; DEX; BNE push; JMP $0000: the 254th push wraps.
    {"stack_wrap_after_many_pushes", {0xA2, 0x00, 0x48, 0xCA, 0xD0, 0xFC, 0x4C, 0x00, 0x00}, {},
     "check: stack-wrap at $0202 PHA: S went from $00 to $FF: the stack overflowed below $0100\n  #0  $0202\n" +
         ONE_PLACE, 5},
    // LDX #0; store: STA $02F0,X; INX; CPX #$20; BNE store; JMP $0000,
    // $0300 protected: the 17th store.
    {"indexed_store_into_protected", {0xA2, 0x00, 0x9D, 0xF0, 0x02, 0xE8, 0xE0, 0x20, 0xD0, 0xF8, 0x4C, 0x00, 0x00},
     {"--protect", "0300"},
     "check: protected-write at $0202 STA $02F0,X: writes $0300, in a --protect range\n  #0  $0202\n" + ONE_PLACE, 5},
};

std::string without_trace(const std::string& err) {
    std::string kept;
    std::size_t at = 0;
    while (at < err.size()) {
        std::size_t end = err.find('\n', at);
        end = end == std::string::npos ? err.size() : end + 1;
        if (err.compare(at, 3, "PC=") != 0) kept += err.substr(at, end - at);
        at = end;
    }
    return kept;
}

class CheckPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(CheckPaths, ThreadedReportsAsSteppedDoes) {
    const PathCase& c = GetParam();
    TempDir dir;
    dir.write("program.bin", c.program);
    std::vector<std::string> args = {"--clean", "--check"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("program.bin");
    const RunResult threaded = e2e::run_emulator(dir, args);
    EXPECT_EQ(threaded.err, c.err);
    EXPECT_EQ(threaded.exit_code, c.status);
    args.insert(args.begin(), "--trace");
    const RunResult stepped = e2e::run_emulator(dir, args);
    EXPECT_EQ(without_trace(stepped.err), c.err);
    EXPECT_EQ(stepped.exit_code, c.status);
}

INSTANTIATE_TEST_SUITE_P(Checks, CheckPaths, ::testing::ValuesIn(PATH_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A long run that jumps by RTS thousands of times inside a call, with the
// timer's interrupts coming anywhere (one '.' each), is no fault.
TEST(Checks, ReturnJumpsAndInterruptsAreNoFault) {
    Bytes p(0x48, 0x00);
    const Bytes main = {
        0x78, 0xA9, 0x40, 0x8D, 0xFE, 0xFF, 0xA9, 0x02, 0x8D, 0xFF, 0xFF,  // SEI; the IRQ vector to $0240
        0xA9, 0x00, 0x85, 0x10, 0x85, 0x11, 0x58,                          // LDA #0; STA $10; STA $11; CLI
        0x20, 0x30, 0x02, 0xE6, 0x10, 0xD0, 0xF9,                          // loop: JSR $0230; INC $10; BNE loop
        0xE6, 0x11, 0xA5, 0x11, 0xC9, 0x80, 0xD0, 0xF1,                    // INC $11; LDA $11; CMP #$80; BNE loop
        0x78, 0x4C, 0x00, 0x00,                                            // SEI; JMP $0000
    };
    std::copy(main.begin(), main.end(), p.begin());
    // $0230: LDA #2; PHA; LDA #$37; PHA; RTS (to $0238); $0238: TXA; PHA; PLA; RTS
    const Bytes routine = {0xA9, 0x02, 0x48, 0xA9, 0x37, 0x48, 0x60, 0x00, 0x8A, 0x48, 0x68, 0x60};
    std::copy(routine.begin(), routine.end(), p.begin() + 0x30);
    // $0240: PHA; LDA #'.'; STA $FF01; PLA; RTI
    const Bytes handler = {0x48, 0xA9, 0x2E, 0x8D, 0x01, 0xFF, 0x68, 0x40};
    std::copy(handler.begin(), handler.end(), p.begin() + 0x40);
    TempDir dir;
    dir.write("program.bin", p);
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--deterministic", "--check", "program.bin"});
    EXPECT_EQ(r.err, NONE_FOUND);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_GT(r.out.size(), 100u) << "the timer interrupted the run";
    EXPECT_EQ(r.out.find_first_not_of('.'), std::string::npos);
}

// Programs built here with cc65 (tests/programs/checks/): the C stack
// grown into BSS and into the heap, and data run as code. "{sdk}" stands
// for the kit's folder, as the debug file names it.
struct BuiltCase {
    const char* name;
    const char* source;  // in tests/programs/checks
    std::string err;
    int status;
};

const BuiltCase BUILT_CASES[] = {
    {"c_stack_into_bss", "c_stack_bss.c",
     "emu6502: source lines from 'c_stack_bss.dbg'.\n"
     "check: c-stack at $023F STA ($02),Y: the C stack pointer is $1EFC, inside BSS (which ends at $28F1)\n"
     "  #0  $023F  c_stack_bss.c:6, in deep\n  #1  $0260  c_stack_bss.c:13, in main\n"
     "  #2  $0213  {sdk}/crt0.s:27, in start+19\n" + ONE_PLACE, 5},
    {"c_stack_into_heap", "c_stack_heap.c",
     "emu6502: source lines from 'c_stack_heap.dbg'.\n"
     "check: c-stack at $0251 STA ($02),Y: the C stack pointer is $DEFC, inside the heap (which ends at $E607)\n"
     "  #0  $0251  c_stack_heap.c:8, in deep\n  #1  $0275  c_stack_heap.c:14, in main\n"
     "  #2  $0213  {sdk}/crt0.s:27, in start+19\n" + ONE_PLACE, 5},
    {"data_segment_run", "data_run.s",
     "emu6502: source lines from 'data_run.dbg'.\n"
     "check: execute at $0203 LDA #$01: runs $0203, in the data segment RODATA\n  #0  $0203  data_run.s:5, in table\n"
     "check: execute at $0205 JMP $0000: runs $0205, in the data segment RODATA\n  #0  $0205  data_run.s:5, in table+2\n"
     "check: faults found at 2 places\n", 5},
};

class CheckBuilt : public ::testing::TestWithParam<BuiltCase> {};

TEST_P(CheckBuilt, ReportsExactly) {
    const BuiltCase& c = GetParam();
    TempDir dir;
    if (e2e::run_script(dir, "command -v cl65 >/dev/null") != 0) GTEST_SKIP() << "cc65 is not installed";
    const std::string sdk = std::filesystem::canonical(e2e::source_dir() + "/sdk").string();
    const std::string source = c.source;
    const std::string name = source.substr(0, source.rfind('.'));
    const std::string build =
        source.ends_with(".c") ? "'" + sdk + "/build.sh' " + name + ".bin " + source
                               : "cl65 -t none --start-addr 0x200 -g -o " + name + ".bin -Wl --dbgfile," + name + ".dbg " + source;
    ASSERT_EQ(e2e::run_script(dir, "cp '" + e2e::source_dir() + "/tests/programs/checks/" + source + "' . && " + build +
                                       " >/dev/null"),
              0);
    std::string err = c.err;
    if (const std::size_t at = err.find("{sdk}"); at != std::string::npos) err.replace(at, 5, sdk);
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--check", name + ".bin"});
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.exit_code, c.status);
}

INSTANTIATE_TEST_SUITE_P(Checks, CheckBuilt, ::testing::ValuesIn(BUILT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

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
