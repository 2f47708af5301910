// The self-checking program tests/programs/selftest.s run through the real
// binary: every instruction group checks itself inside the emulated machine
// and leaves its verdict at 0x00F0 (0 = pass, else the first failing check,
// 0xFF = never got to the end) and on the console.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/harness.hpp"

namespace {

using e2e::Bytes;

constexpr std::size_t RESULT = 0x00F0;
constexpr std::size_t CHECK_NUMBER = 0x00F1;
const std::string NO_MEMBACKUP = "can't read membackup file.\n";

std::string selftest_path() { return e2e::source_dir() + "/tests/programs/selftest.bin"; }

Bytes selftest_image() {
    std::FILE* f = std::fopen(selftest_path().c_str(), "rb");
    Bytes image;
    if (f == nullptr) return image;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) image.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return image;
}

std::string hex2(std::uint8_t v) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", v);
    return text;
}

TEST(Selftest, PassesOnTheRealBinary) {
    const Bytes image = selftest_image();
    ASSERT_GT(image.size(), 0x1000u) << selftest_path();

    e2e::TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    const e2e::RunResult run = e2e::run_emulator(dir, {selftest_path()});
    const auto elapsed = std::chrono::steady_clock::now() - start;

    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "PASS\r\n");
    EXPECT_EQ(run.err, NO_MEMBACKUP);
    EXPECT_LT(elapsed, std::chrono::seconds(2));

    const Bytes memory = e2e::membackup(dir);
    ASSERT_EQ(memory.size(), 0x10000u);
    EXPECT_EQ(memory[RESULT], 0x00) << "first failing check: " << int{memory[CHECK_NUMBER]};
    // The program hands back the default vectors and does not touch its code.
    EXPECT_EQ(memory[0xFFFC], 0x00);
    EXPECT_EQ(memory[0xFFFD], 0x02);
    EXPECT_EQ(memory[0xFFFE], 0x00);
    EXPECT_EQ(memory[0xFFFF], 0x00);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin() + 0x0200));
}

// A second run starts from the first run's "membackup": the program must not
// depend on the fill pattern of a fresh machine.
TEST(Selftest, PassesAgainOverItsOwnMembackup) {
    e2e::TempDir dir;
    const e2e::RunResult first = e2e::run_emulator(dir, {selftest_path()});
    ASSERT_EQ(first.out, "PASS\r\n");
    const e2e::RunResult second = e2e::run_emulator(dir, {selftest_path()});
    EXPECT_EQ(second.exit_code, 0);
    EXPECT_EQ(second.out, "PASS\r\n");
    EXPECT_EQ(second.err, "");
    const Bytes memory = e2e::membackup(dir);
    ASSERT_EQ(memory.size(), 0x10000u);
    EXPECT_EQ(memory[RESULT], 0x00);
}

// A wrong expected constant patched into the image must be caught: the
// verdict names a check, and the console shows the same number.
struct BrokenCase {
    const char* name;
    Bytes pattern;        // first occurrence in the image is patched
    std::size_t offset;   // byte of the pattern to change
    std::uint8_t value;
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }

class SelftestBroken : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(SelftestBroken, ReportsTheFailingCheck) {
    const BrokenCase& c = GetParam();
    Bytes image = selftest_image();
    const auto at = std::search(image.begin(), image.end(), c.pattern.begin(), c.pattern.end());
    ASSERT_NE(at, image.end()) << "pattern not found in the image";
    at[static_cast<long>(c.offset)] = c.value;

    e2e::TempDir dir;
    dir.write("broken.bin", image);
    const e2e::RunResult run = e2e::run_emulator(dir, {"broken.bin"});
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    const Bytes memory = e2e::membackup(dir);
    ASSERT_EQ(memory.size(), 0x10000u);
    const std::uint8_t verdict = memory[RESULT];
    EXPECT_NE(verdict, 0x00);
    EXPECT_NE(verdict, 0xFF);
    EXPECT_EQ(verdict, memory[CHECK_NUMBER]);
    EXPECT_EQ(run.out, "FAIL " + hex2(verdict) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Expectations, SelftestBroken,
    ::testing::Values(
        // CHKB brk_count, 1  ->  2
        BrokenCase{"brk_taken_once", {0xA5, 0xF7, 0xC9, 0x01}, 3, 0x02},
        // decimal 99 + 01: add 02 instead, so A and the flags differ
        BrokenCase{"decimal_adc_operand", {0xA9, 0x0C, 0x48, 0xA9, 0x99, 0x28, 0x69, 0x01}, 7, 0x02},
        // nineteen one-byte NOPs counted by INX: expect twenty
        BrokenCase{"one_byte_nop_count", {0xA5, 0xF4, 0xC9, 0x13}, 3, 0x14},
        // PLP of 00 then PHP gives 30: expect 10 (bit 5 missing)
        BrokenCase{"plp_bit5", {0xA5, 0xFE, 0xC9, 0x30}, 3, 0x10}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The self-tests of the other two processors, each on its own processor
// and, to show that they tell the processors apart, on this machine's 6502.
struct ProcessorSelftest {
    const char* name;
    const char* image;
    std::vector<std::string> cpu_args;
    std::string out;
};

void PrintTo(const ProcessorSelftest& c, std::ostream* os) { *os << c.name; }

class ProcessorSelftests : public ::testing::TestWithParam<ProcessorSelftest> {};

TEST_P(ProcessorSelftests, VerdictOnTheRealBinary) {
    const ProcessorSelftest& c = GetParam();
    const std::string path = e2e::source_dir() + "/tests/programs/" + c.image;
    e2e::TempDir dir;
    std::vector<std::string> args = c.cpu_args;
    args.push_back(path);
    const e2e::RunResult run = e2e::run_emulator(dir, args);
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, c.out);
    const bool stats = std::find(args.begin(), args.end(), "--stats") != args.end();
    if (stats)
        EXPECT_EQ(run.err.rfind(NO_MEMBACKUP + "stats: ", 0), 0u) << run.err;
    else
        EXPECT_EQ(run.err, NO_MEMBACKUP);
    const Bytes memory = e2e::membackup(dir);
    ASSERT_EQ(memory.size(), 0x10000u);
    EXPECT_EQ(memory[RESULT], c.out == "PASS\r\n" ? 0x00 : 0x01) << "first failing check: " << int{memory[CHECK_NUMBER]};
    EXPECT_EQ(memory[0xFFFE], 0x00);
    EXPECT_EQ(memory[0xFFFF], 0x00);
}

INSTANTIATE_TEST_SUITE_P(
    Processors, ProcessorSelftests,
    ::testing::Values(
        ProcessorSelftest{"nmos_on_6502X", "selftest_6502x.bin", {"--cpu", "6502X"}, "PASS\r\n"},
        ProcessorSelftest{"nmos_counted_with_limit", "selftest_6502x.bin", {"--cpu=6502x", "--stats", "--max-instructions=100000"}, "PASS\r\n"},
        ProcessorSelftest{"cmos_on_65C02", "selftest_65c02.bin", {"--cpu", "65C02"}, "PASS\r\n"},
        ProcessorSelftest{"cmos_counted", "selftest_65c02.bin", {"--stats", "--cpu=65c02"}, "PASS\r\n"},
        // Deterministic: the timer counts cycles, and WAI passes them until the next request.
        ProcessorSelftest{"cmos_deterministic", "selftest_65c02.bin", {"--cpu=65C02", "--deterministic"}, "PASS\r\n"},
        ProcessorSelftest{"nmos_deterministic", "selftest_6502x.bin", {"--cpu=6502X", "--seed=7"}, "PASS\r\n"},
        // Translated into host code, where the build can.
        ProcessorSelftest{"nmos_translated", "selftest_6502x.bin", {"--cpu=6502X", "--core=translate"}, "PASS\r\n"},
        ProcessorSelftest{"cmos_translated_deterministic", "selftest_65c02.bin", {"--cpu=65C02", "--deterministic", "--core", "translate"}, "PASS\r\n"},
        ProcessorSelftest{"cmos_translated_counted", "selftest_65c02.bin", {"--stats", "--cpu=65C02", "--core=translate"}, "PASS\r\n"},
        ProcessorSelftest{"nmos_on_6502", "selftest_6502x.bin", {}, "FAIL 01\r\n"},
        ProcessorSelftest{"cmos_on_6502", "selftest_65c02.bin", {"--cpu=6502"}, "FAIL 01\r\n"},
        ProcessorSelftest{"nmos_on_65C02", "selftest_6502x.bin", {"--cpu=65C02"}, "FAIL 01\r\n"}),
    [](const ::testing::TestParamInfo<ProcessorSelftest>& info) { return std::string(info.param.name); });

}  // namespace
