// The driver through the real binary: start-up, images, messages, the trace
// line and the end of a run.
#include <gtest/gtest.h>

#include "e2e/harness.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

constexpr std::size_t MEMORY_SIZE = 0x10000;

using e2e::place;

// LDA #'H'; STA $FF01; LDA #'i'; STA $FF01; JMP $0000
const Bytes hi_program = {0xA9, 0x48, 0x8D, 0x01, 0xFF, 0xA9, 0x69, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};

TEST(Driver, FirstRunPrintsAndSavesTheWholeMemory) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
    EXPECT_EQ(r.err, "can't read membackup file.\n");

    Bytes expected = e2e::fresh_memory();
    place(expected, 0x0200, hi_program);
    expected[0xFF01] = 0x69;  // the last byte written to the console register
    const Bytes saved = e2e::membackup(dir);
    ASSERT_EQ(saved.size(), MEMORY_SIZE);
    EXPECT_TRUE(saved == expected);
}

TEST(Driver, SecondRunStartsFromTheSavedImage) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    ASSERT_EQ(e2e::run_emulator(dir, {"prog.bin"}).exit_code, 0);
    // No image this time: the program comes back from "membackup".
    const RunResult r = e2e::run_emulator(dir, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
    EXPECT_EQ(r.err, "");
}

struct RefusedImage {
    const char* name;
    std::vector<std::string> args;
    bool make_directory;      // "prog.bin" is a directory
    std::size_t image_size;   // bytes of the image written as "prog.bin"
    const char* message;
};
void PrintTo(const RefusedImage& c, std::ostream* os) { *os << c.name; }

class RefusedImages : public testing::TestWithParam<RefusedImage> {};

TEST_P(RefusedImages, NothingRunsAndNothingIsSaved) {
    const RefusedImage& c = GetParam();
    TempDir dir;
    if (c.make_directory) std::filesystem::create_directory(dir.file("prog.bin"));
    else if (c.image_size > 0) dir.write("prog.bin", Bytes(c.image_size, 0x4C));
    const RunResult r = e2e::run_emulator(dir, c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("can't read membackup file.\n") + c.message);
    EXPECT_FALSE(dir.exists("membackup"));
}

INSTANTIATE_TEST_SUITE_P(
    Driver, RefusedImages,
    testing::Values(
        RefusedImage{"Missing", {"nothing.bin"}, false, 0, "can't read file.\n"},
        RefusedImage{"Directory", {"prog.bin"}, true, 0, "can't read file.\n"},
        RefusedImage{"SwitchAloneIsAPath", {"-i"}, false, 0, "can't read file.\n"},
        RefusedImage{"AddressAloneIsAPath", {"$C000"}, false, 0, "can't read file.\n"},
        RefusedImage{"LargerThanMemory", {"prog.bin"}, false, MEMORY_SIZE + 1,
                     "program image does not fit in memory above its load address.\n"},
        RefusedImage{"RunsPastTheTop", {"prog.bin", "$FFFE"}, false, 3,
                     "program image does not fit in memory above its load address.\n"},
        RefusedImage{"FromZeroLargerThanMemory", {"prog.bin", "$0"}, false, MEMORY_SIZE + 1,
                     "program image does not fit in memory above its load address.\n"},
        RefusedImage{"NegativeAddress", {"prog.bin", "$-1"}, false, 3, "load address is negative.\n"},
        RefusedImage{"NegativeAddressEvenWhenEmpty", {"prog.bin", "$-10"}, true, 0, "can't read file.\n"},
        // Opens fine, then every read fails: a read error, not an end of file.
        RefusedImage{"ReadError", {"/proc/self/mem"}, false, 0, "read error in program image.\n"}),
    [](const testing::TestParamInfo<RefusedImage>& info) { return info.param.name; });

// The "$" argument as the runtime's "%4x" scan reads it, and --load-address.
// A "$" argument that the scan does not use up is still taken as it always
// was, with one warning line naming the address used.
struct LoadAddress {
    const char* name;
    std::vector<std::string> arguments;  // after "prog.bin"
    std::size_t expected;
    const char* warning;
};
void PrintTo(const LoadAddress& c, std::ostream* os) { *os << c.name; }

class LoadAddresses : public testing::TestWithParam<LoadAddress> {};

TEST_P(LoadAddresses, ImageLandsWhereTheScanSays) {
    const LoadAddress& c = GetParam();
    TempDir dir;
    // A saved machine whose program at 0x0200 ends the run at once.
    Bytes saved = e2e::fresh_memory();
    place(saved, 0x0200, {0x4C, 0x00, 0x00});
    dir.write("membackup", saved);
    // The image is harmless wherever it lands, and carries a marker.
    const Bytes image = {0x4C, 0x00, 0x00, 0x5A, 0xA5};
    dir.write("prog.bin", image);
    std::vector<std::string> args{"prog.bin"};
    args.insert(args.end(), c.arguments.begin(), c.arguments.end());
    const RunResult r = e2e::run_emulator(dir, args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, c.warning);
    Bytes expected = saved;
    place(expected, c.expected, image);
    EXPECT_TRUE(e2e::membackup(dir) == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Driver, LoadAddresses,
    testing::Values(
        LoadAddress{"Hex", {"$C000"}, 0xC000, ""}, LoadAddress{"LowerCase", {"$c000"}, 0xC000, ""},
        LoadAddress{"Empty", {"$"}, 0x0200, "emu6502: '$' is not a whole hexadecimal address; loading at 0x0200.\n"},
        LoadAddress{"NotHex", {"$zz"}, 0x0200,
                    "emu6502: '$zz' is not a whole hexadecimal address; loading at 0x0200.\n"},
        LoadAddress{"FiveDigits", {"$12345"}, 0x1234,
                    "emu6502: '$12345' is not a whole hexadecimal address; loading at 0x1234.\n"},
        LoadAddress{"BarePrefix", {"$0x"}, 0x0000,
                    "emu6502: '$0x' is not a whole hexadecimal address; loading at 0x0000.\n"},
        LoadAddress{"TrailingText", {"$C0g"}, 0x00C0,
                    "emu6502: '$C0g' is not a whole hexadecimal address; loading at 0x00C0.\n"},
        LoadAddress{"PlusCounts", {"$+C0"}, 0x00C0, ""},
        LoadAddress{"PlusCountsAgainstFour", {"$+C000"}, 0x0C00,
                    "emu6502: '$+C000' is not a whole hexadecimal address; loading at 0x0C00.\n"},
        LoadAddress{"PrefixCounts", {"$0x1F"}, 0x001F, ""},
        LoadAddress{"LeadingSpace", {"$ 1234"}, 0x1234, ""},
        LoadAddress{"HighPage", {"$FFF0"}, 0xFFF0, ""},
        LoadAddress{"MinusZero", {"$-0"}, 0x0000, ""},
        LoadAddress{"OtherArgumentIgnored", {"junk"}, 0x0200, "emu6502: extra argument 'junk' ignored.\n"},
        LoadAddress{"AddressBeforeSwitch", {"$C000", "-i"}, 0xC000, ""},
        LoadAddress{"AddressAfterSwitch", {"-i", "$C000"}, 0xC000, ""},
        LoadAddress{"OptionPlain", {"--load-address", "C000"}, 0xC000, ""},
        LoadAddress{"OptionPrefixed", {"--load-address=0xc000"}, 0xC000, ""},
        LoadAddress{"OptionUpperPrefix", {"--load-address=0XC000"}, 0xC000, ""},
        LoadAddress{"OptionDollar", {"--load-address", "$C000"}, 0xC000, ""},
        LoadAddress{"OptionZero", {"--load-address=0"}, 0x0000, ""},
        LoadAddress{"OptionLeadingZeros", {"--load-address=000300"}, 0x0300, ""},
        LoadAddress{"OptionHigh", {"--load-address=FFF7"}, 0xFFF7, ""},
        LoadAddress{"OptionLastOneCounts", {"--load-address=C000", "--load-address=D000"}, 0xD000, ""}),
    [](const testing::TestParamInfo<LoadAddress>& info) { return info.param.name; });

TEST(Driver, EmptyImageChangesNothing) {
    TempDir dir;
    Bytes saved = e2e::fresh_memory();
    place(saved, 0x0200, {0x4C, 0x00, 0x00});
    dir.write("membackup", saved);
    dir.write("prog.bin", Bytes{});
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(e2e::membackup(dir) == saved);
}

TEST(Driver, ShortMembackupLoadsWhatItHasWithAWarning) {
    TempDir dir;
    dir.write("membackup", Bytes{0x11, 0x22});
    dir.write("prog.bin", Bytes{0x4C, 0x00, 0x00});
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "membackup file is shorter than 65536 bytes; the rest is a fresh machine.\n");
    Bytes expected = e2e::fresh_memory();
    place(expected, 0, {0x11, 0x22});
    place(expected, 0x0200, {0x4C, 0x00, 0x00});
    EXPECT_TRUE(e2e::membackup(dir) == expected);
}

TEST(Driver, OverlongMembackupLoadsItsFirst64KiBWithAWarning) {
    TempDir dir;
    Bytes saved = e2e::fresh_memory();
    place(saved, 0x0200, {0x4C, 0x00, 0x00});
    Bytes longer = saved;
    longer.resize(MEMORY_SIZE + 100, 0x77);
    dir.write("membackup", longer);
    const RunResult r = e2e::run_emulator(dir, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "membackup file is longer than 65536 bytes; the rest was ignored and will be lost when this run saves.\n");
    EXPECT_TRUE(e2e::membackup(dir) == saved);
}

// Saved memory that is there but cannot be read is not a fresh machine:
// the run stops before it could overwrite it.
TEST(Driver, MembackupThatCannotBeReadToItsEndStopsTheRun) {
    TempDir dir;
    std::filesystem::create_symlink("/proc/self/mem", dir.file("membackup"));
    dir.write("prog.bin", Bytes{0x4C, 0x00, 0x00});
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "can't read membackup file: Input/output error; it was left as it is.\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("membackup")));
}

TEST(Driver, MembackupThatIsADirectoryStopsTheRun) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("membackup"));
    dir.write("prog.bin", Bytes{0x4C, 0x00, 0x00});
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "can't read membackup file: Is a directory; it was left as it is.\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("membackup")));
}

// LDA #1; STA $FF03 (trace on); LDX #0; LDY #$FF; JMP $0000
const Bytes trace_program = {0xA9, 0x01, 0x8D, 0x03, 0xFF, 0xA2, 0x00, 0xA0, 0xFF, 0x4C, 0x00, 0x00};

TEST(Driver, TraceLinesFollowEachInstructionOnceTheSwitchHoldsOne) {
    TempDir dir;
    dir.write("prog.bin", trace_program);
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err,
              "can't read membackup file.\n"
              "PC=205 mem=a2 a=1 x=0 y=0 st=00100100 sp=fd \r\n"
              "PC=207 mem=a0 a=1 x=0 y=0 st=00100110 sp=fd \r\n"
              "PC=209 mem=4c a=1 x=0 y=ff st=10100100 sp=fd \r\n"
              "PC=0 mem=ee a=1 x=0 y=ff st=10100100 sp=fd \r\n");
}

TEST(Driver, SavedTraceSwitchTracesFromTheFirstInstruction) {
    TempDir dir;
    Bytes saved = e2e::fresh_memory();
    saved[0xFF03] = 1;
    place(saved, 0x0200, {0xEA, 0x4C, 0x00, 0x00});  // NOP; JMP $0000
    dir.write("membackup", saved);
    const RunResult r = e2e::run_emulator(dir, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err,
              "PC=201 mem=4c a=0 x=0 y=0 st=00100100 sp=fd \r\n"
              "PC=0 mem=ee a=0 x=0 y=0 st=00100100 sp=fd \r\n");
}

TEST(Driver, SavedVectorsReplaceTheDefaults) {
    TempDir dir;
    Bytes saved = e2e::fresh_memory();
    saved[0xFFFC] = 0x00;
    saved[0xFFFD] = 0x30;  // reset to 0x3000
    place(saved, 0x3000, {0xA9, 0x21, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00});
    dir.write("membackup", saved);
    const RunResult r = e2e::run_emulator(dir, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "!");
}

TEST(Driver, TimerInterruptToZeroRunsTheInstructionThereBeforeTheStopTest) {
    TempDir dir;
    // At 0x0000 LDA #'Z'; STA $FF01; JMP $0000, at 0x0200 CLI and a loop:
    // the first timer interrupt sends the processor to 0x0000, which does
    // not end the run by itself; the JMP back to 0x0000 does.
    Bytes image(0x0204, 0xEA);
    place(image, 0x0000, {0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00});
    place(image, 0x0200, {0x58, 0x4C, 0x01, 0x02});
    dir.write("prog.bin", image);
    e2e::RunOptions options;
    options.timeout_seconds = 10;
    const RunResult r = e2e::run_emulator(dir, {"prog.bin", "$0"}, options);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Z");
    const Bytes saved = e2e::membackup(dir);
    ASSERT_EQ(saved.size(), MEMORY_SIZE);
    // The interrupt pushed the loop's address and a status with B clear, I clear.
    EXPECT_EQ(saved[0x01FD], 0x02);
    EXPECT_EQ(saved[0x01FC], 0x01);
    EXPECT_EQ(saved[0x01FB] & 0x14, 0x00);
}

struct StartAddress {
    const char* name;
    std::size_t start;
};
void PrintTo(const StartAddress& c, std::ostream* os) { *os << c.name; }

class StartAddresses : public testing::TestWithParam<StartAddress> {};

// The first instruction always runs, even at 0x0000, and code runs the
// same anywhere: next to the device page and among the vectors too.
TEST_P(StartAddresses, ProgramRunsFromItsResetVector) {
    TempDir dir;
    Bytes saved = e2e::fresh_memory();
    const std::size_t at = GetParam().start;
    saved[0xFFFC] = static_cast<std::uint8_t>(at & 0xFF);
    saved[0xFFFD] = static_cast<std::uint8_t>(at >> 8);
    place(saved, at, {0xA9, 0x51, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00});  // LDA #'Q'; STA $FF01; JMP $0000
    dir.write("membackup", saved);
    const RunResult r = e2e::run_emulator(dir, {"--stats"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Q");
    EXPECT_NE(r.err.find("stats: 3 instructions, 9 cycles, "), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Driver, StartAddresses,
                         testing::Values(StartAddress{"Zero", 0x0000}, StartAddress{"Low", 0x0300},
                                         StartAddress{"JustBelowDevices", 0xFEF0},
                                         StartAddress{"AboveDevices", 0xFF10}, StartAddress{"AmongVectors", 0xFFF0}),
                         [](const testing::TestParamInfo<StartAddress>& info) { return info.param.name; });

TEST(Driver, BrkThroughTheDefaultVectorEndsTheRun) {
    TempDir dir;
    dir.write("prog.bin", Bytes{0x78, 0x00});  // SEI; BRK
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    const Bytes saved = e2e::membackup(dir);
    ASSERT_EQ(saved.size(), MEMORY_SIZE);
    EXPECT_EQ(saved[0x01FD], 0x02);
    EXPECT_EQ(saved[0x01FC], 0x03);
    EXPECT_EQ(saved[0x01FB], 0x34);  // B and the constant bit set in the pushed copy, I from SEI
}

}  // namespace
