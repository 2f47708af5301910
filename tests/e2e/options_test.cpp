// Options around the machine's positional command line.
#include <gtest/gtest.h>

#include <regex>

#include "e2e/harness.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

// LDA #'H' (2); STA $FF01 (4); LDA #'i' (2); STA $FF01 (4); JMP $0000 (3):
// five instructions, fifteen cycles.
const Bytes hi_program = {0xA9, 0x48, 0x8D, 0x01, 0xFF, 0xA9, 0x69, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};

// SEI; loop: JMP loop -- never ends by itself.
const Bytes endless_program = {0x78, 0x4C, 0x01, 0x02};

TEST(Options, HelpPrintsUsageAndExitsZero) {
    for (const char* flag : {"--help", "-h"}) {
        SCOPED_TRACE(flag);
        TempDir dir;
        const RunResult r = e2e::run_emulator(dir, {flag});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out.rfind("usage: emu6502 [options] [image [$address | -i]]\n", 0), 0u);
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(dir.exists("membackup"));
    }
}

TEST(Options, VersionPrintsTheVersion) {
    TempDir dir;
    const RunResult r = e2e::run_emulator(dir, {"--version"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("emu6502 [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
}

struct BadOption {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

class BadOptions : public testing::TestWithParam<BadOption> {};

TEST_P(BadOptions, OneLineWithAHintAndStatusTwo) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    const RunResult r = e2e::run_emulator(dir, GetParam().args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, GetParam().message);
    EXPECT_FALSE(dir.exists("membackup"));
}

INSTANTIATE_TEST_SUITE_P(
    Options, BadOptions,
    testing::Values(
        BadOption{"Unknown", {"--frobnicate", "prog.bin"}, "emu6502: unknown option '--frobnicate'; try 'emu6502 --help'.\n"},
        BadOption{"LimitWithoutNumber", {"--max-instructions", "prog.bin"},
                  "emu6502: --max-instructions needs a whole number; try 'emu6502 --help'.\n"},
        BadOption{"LimitNegative", {"--max-instructions=-5", "prog.bin"},
                  "emu6502: --max-instructions needs a whole number; try 'emu6502 --help'.\n"}),
    [](const testing::TestParamInfo<BadOption>& info) { return info.param.name; });

TEST(Options, OptionsAfterTheImageKeepTheirOldMeaning) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    // Second place: neither "$" nor "-i", so ignored, as it always was.
    const RunResult r = e2e::run_emulator(dir, {"prog.bin", "--stats"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
    EXPECT_EQ(r.err, "can't read membackup file.\n");
}

TEST(Options, DoubleDashEndsOptions) {
    TempDir dir;
    dir.write("--stats", hi_program);
    const RunResult r = e2e::run_emulator(dir, {"--", "--stats"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
}

TEST(Options, StatsCountsInstructionsAndCyclesExactly) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    const RunResult r = e2e::run_emulator(dir, {"--stats", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
    const std::regex line(
        "can't read membackup file\\.\n"
        "stats: 5 instructions, 15 cycles, [0-9]+\\.[0-9]{3} s, [0-9]+\\.[0-9]{2} million instructions/s, "
        "[0-9]+\\.[0-9]{2} MHz\n");
    EXPECT_TRUE(std::regex_match(r.err, line)) << r.err;
}

TEST(Options, StatsOverALongerLoopWithBranchesAndPageCrossings) {
    TempDir dir;
    // LDX #0; loop: LDA $12F0,X (4, or 5 across the page); INX; BNE loop (3 taken, 2 not); JMP $0000
    const Bytes program = {0xA2, 0x00, 0xBD, 0xF0, 0x12, 0xE8, 0xD0, 0xFA, 0x4C, 0x00, 0x00};
    dir.write("prog.bin", program);
    const RunResult r = e2e::run_emulator(dir, {"--stats", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    // 1 + 256 * 3 + 1 instructions; LDA crosses for x >= 0x10 (240 times);
    // the branch is taken 255 times within the page.
    const unsigned long cycles = 2 + 256 * 4 + 240 + 256 * 2 + 255 * 3 + 2 + 3;
    const std::string expected = "stats: 770 instructions, " + std::to_string(cycles) + " cycles, ";
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
}

TEST(Options, InstructionLimitStopsWithStatusThreeAndSavesNothing) {
    TempDir dir;
    dir.write("prog.bin", endless_program);
    const RunResult r = e2e::run_emulator(dir, {"--stats", "--max-instructions=1000", "prog.bin"});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("stats: 1000 instructions, 2999 cycles, "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("instruction limit reached; memory not saved.\n"), std::string::npos);
    EXPECT_FALSE(dir.exists("membackup"));
}

TEST(Options, InstructionLimitLeavesAnExistingMembackupAlone) {
    TempDir dir;
    Bytes saved(0x10000, 0xEE);
    saved[0xFFFC] = 0x00;
    saved[0xFFFD] = 0x02;
    saved[0xFFFE] = saved[0xFFFF] = 0x00;
    std::copy(endless_program.begin(), endless_program.end(), saved.begin() + 0x0200);
    dir.write("membackup", saved);
    const RunResult r = e2e::run_emulator(dir, {"--max-instructions", "5"});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_TRUE(e2e::membackup(dir) == saved);
}

TEST(Options, ProgramThatEndsBeforeTheLimitEndsNormally) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    for (const char* limit : {"--max-instructions=5", "--max-instructions=6"}) {
        SCOPED_TRACE(limit);
        const RunResult r = e2e::run_emulator(dir, {limit, "prog.bin"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, "Hi");
    }
    const RunResult stopped = e2e::run_emulator(dir, {"--max-instructions=4", "prog.bin"});
    EXPECT_EQ(stopped.exit_code, 3);
    EXPECT_EQ(stopped.out, "Hi");
}

TEST(Options, CleanMachineIgnoresAndKeepsMembackup) {
    TempDir dir;
    const Bytes saved(0x10000, 0x42);  // would run wild if it were loaded
    dir.write("membackup", saved);
    dir.write("prog.bin", hi_program);
    const RunResult r = e2e::run_emulator(dir, {"--clean", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(e2e::membackup(dir) == saved);
}

TEST(Options, CleanMachineWritesNoMembackup) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    const RunResult r = e2e::run_emulator(dir, {"--clean", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_FALSE(dir.exists("membackup"));
}

TEST(Options, TraceFromTheFirstInstructionWithoutTouchingMemory) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    const RunResult r = e2e::run_emulator(dir, {"--trace", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err,
              "can't read membackup file.\n"
              "PC=202 mem=8d a=48 x=0 y=0 st=00100100 sp=fd \r\n"
              "PC=205 mem=a9 a=48 x=0 y=0 st=00100100 sp=fd \r\n"
              "PC=207 mem=8d a=69 x=0 y=0 st=00100100 sp=fd \r\n"
              "PC=20a mem=4c a=69 x=0 y=0 st=00100100 sp=fd \r\n"
              "PC=0 mem=ee a=69 x=0 y=0 st=00100100 sp=fd \r\n");
    const Bytes saved = e2e::membackup(dir);
    ASSERT_EQ(saved.size(), 0x10000u);
    EXPECT_EQ(saved[0xFF03], 0x00);
}

}  // namespace
