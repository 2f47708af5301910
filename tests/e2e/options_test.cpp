// Options around the machine's positional command line.
#include <gtest/gtest.h>

#include <algorithm>
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
        EXPECT_EQ(r.out.rfind("usage: emu6502 [options] [image [$address] [-i]]\n", 0), 0u);
        for (const char* option : {"--load-address ADDR", "--start ADDR", "--exit-status"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(dir.exists("membackup"));
    }
}

TEST(Options, VersionPrintsTheVersion) {
    TempDir dir;
    const RunResult r = e2e::run_emulator(dir, {"--version"});
    EXPECT_EQ(r.exit_code, 0);
    // The commit is git's abbreviated hash ("-dirty" with uncommitted
    // changes), or "unknown" outside a git tree.
#ifdef EMU6502_HAVE_LIBEDIT
    const std::string editing = "libedit, with history";
#else
    const std::string editing = "none \\(built without libedit\\)";
#endif
    EXPECT_TRUE(std::regex_match(r.out, std::regex("emu6502 [0-9]+\\.[0-9]+\\.[0-9]+\n"
                                                   "commit: ([0-9a-f]{12,}(-dirty)?|unknown)\n"
                                                   "licence: MIT \\(the file LICENSE\\)\n"
                                                   "line editing: " + editing + "\n"
                                                   "debug adapter: (built in|not built)\n"
                                                   "translating core: (x86-64 host code, made with xbyak|not built)\n")))
        << r.out;
    EXPECT_EQ(r.err, "");
}

// Files the options write: never over a file of another kind (the image,
// taken for the option's file name), and a failed write of any output the
// user asked for ends with a message and exit status 1.
struct OutputCase {
    const char* name;
    std::string commands;  // the monitor's command file, if any
    std::string script;
    int exit_code;
    std::string err_has;   // a line standard error holds ("" for none at all)
};
void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

const std::string TRACE_CMDS = "trace t.txt\nc\n";

const OutputCase OUTPUT_CASES[] = {
    {"record_never_eats_the_image", "", "$EMU --record prog.bin 2>err", 1,
     "can't write replay file 'prog.bin': it is not a recording, and was left as it is; nothing ran.\n"
     "emu6502: no program image was given: --record took 'prog.bin' as its file name.\n"},
    {"profile_never_eats_the_image", "", "$EMU --clean --profile prog.bin 2>err", 1,
     "can't write profile file 'prog.bin': it is not a profile, and was left as it is; nothing ran.\n"
     "emu6502: no program image was given: --profile took 'prog.bin' as its file name.\n"},
    {"monitor_trace_never_eats_the_image", "trace prog.bin\nc\n", "$EMU --clean --commands cmds prog.bin 2>err", 0,
     "trace: prog.bin is not a trace; it was left as it is\n"},
    {"profile_to_a_missing_folder", "", "$EMU --clean --profile no/p prog.bin 2>err", 1,
     "profile: can't write no/p: No such file or directory\n"},
    {"help_to_a_full_device", "", "$EMU --help >/dev/full 2>err", 1,
     "emu6502: can't write to standard output: No space left on device.\n"},
    {"version_to_a_full_device", "", "$EMU --version >/dev/full 2>err", 1,
     "emu6502: can't write to standard output: No space left on device.\n"},
    {"trace_to_a_full_device", "", "$EMU --clean --trace prog.bin 2>/dev/full >/dev/null; s=$?; echo >err; exit $s", 1,
     ""},
    {"monitor_trace_on_a_full_disk", TRACE_CMDS,
     // LDX #0; INX; BNE -3; JMP $0000: 512 instructions, over 1 KiB of trace.
     "printf '\\xa2\\x00\\xe8\\xd0\\xfd\\x4c\\x00\\x00' >loop.bin; trap '' XFSZ; ulimit -f 1; "
     "$EMU --clean --commands cmds loop.bin 2>err",
     1,
     "trace: can't write t.txt: File too large\n"},
};

class OutputFiles : public testing::TestWithParam<OutputCase> {};

TEST_P(OutputFiles, NeverOverAnotherKindAndNeverLostSilently) {
    const OutputCase& c = GetParam();
    TempDir dir;
    dir.write("prog.bin", hi_program);
    if (!c.commands.empty()) dir.write("cmds", c.commands);
    EXPECT_EQ(e2e::run_script(dir, c.script), c.exit_code);
    const Bytes err = dir.read("err");
    EXPECT_NE(std::string(err.begin(), err.end()).find(c.err_has), std::string::npos)
        << std::string(err.begin(), err.end());
    EXPECT_TRUE(dir.read("prog.bin") == hi_program);
}

INSTANTIATE_TEST_SUITE_P(Options, OutputFiles, testing::ValuesIn(OUTPUT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

const char* const LOAD_ADDRESS_ERROR =
    "emu6502: --load-address needs a hexadecimal address up to FFFF, like C000, 0xC000 or $C000; "
    "try 'emu6502 --help'.\n";

const char* const TIME_ERROR =
    "emu6502: --time needs a date and time like 2024-02-29T23:59:59; try 'emu6502 --help'.\n";
const char* const YEAR_ERROR =
    "emu6502: --time needs a year from 2000 to 2255, which the year register can hold; try 'emu6502 --help'.\n";
const char* const SEED_ERROR = "emu6502: --seed needs a whole number; try 'emu6502 --help'.\n";

struct BadOption {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};
void PrintTo(const BadOption& c, std::ostream* os) { *os << c.name; }

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
                  "emu6502: --max-instructions needs a whole number; try 'emu6502 --help'.\n"},
        // Long options count after the image too.
        BadOption{"UnknownAfterImage", {"prog.bin", "--frobnicate"},
                  "emu6502: unknown option '--frobnicate'; try 'emu6502 --help'.\n"},
        BadOption{"UnknownAfterAddressAndSwitch", {"prog.bin", "$C000", "-i", "--stat"},
                  "emu6502: unknown option '--stat'; try 'emu6502 --help'.\n"},
        BadOption{"LimitAfterImageWithoutNumber", {"prog.bin", "--max-instructions"},
                  "emu6502: --max-instructions needs a whole number; try 'emu6502 --help'.\n"},
        BadOption{"LoadAddressNotHex", {"prog.bin", "--load-address", "zz"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressTooLarge", {"prog.bin", "--load-address=10000"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressBarePrefix", {"prog.bin", "--load-address=0x"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressBareDollar", {"prog.bin", "--load-address=$"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressEmpty", {"prog.bin", "--load-address="}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressSigned", {"prog.bin", "--load-address", "-200"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressTrailingText", {"prog.bin", "--load-address", "C000h"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressSpace", {"prog.bin", "--load-address", " C000"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressMissing", {"prog.bin", "--load-address"}, LOAD_ADDRESS_ERROR},
        BadOption{"LoadAddressAndDollar", {"prog.bin", "$C000", "--load-address", "D000"},
                  "emu6502: both '$C000' and --load-address give a load address; try 'emu6502 --help'.\n"},
        BadOption{"StartNotHex", {"--start", "start", "prog.bin"},
                  "emu6502: --start needs a hexadecimal address up to FFFF, like C000, 0xC000 or $C000; "
                  "try 'emu6502 --help'.\n"},
        BadOption{"StartTooLarge", {"prog.bin", "--start=0x12345"},
                  "emu6502: --start needs a hexadecimal address up to FFFF, like C000, 0xC000 or $C000; "
                  "try 'emu6502 --help'.\n"},
        BadOption{"FlagWithValue", {"prog.bin", "--exit-status=1"},
                  "emu6502: unknown option '--exit-status=1'; try 'emu6502 --help'.\n"},
        BadOption{"CpuUnknown", {"--cpu", "z80", "prog.bin"},
                  "emu6502: --cpu needs 6502, 6502X or 65C02; try 'emu6502 --help'.\n"},
        BadOption{"CpuNearMiss", {"prog.bin", "--cpu=6502XX"},
                  "emu6502: --cpu needs 6502, 6502X or 65C02; try 'emu6502 --help'.\n"},
        BadOption{"CpuMissing", {"prog.bin", "--cpu"}, "emu6502: --cpu needs 6502, 6502X or 65C02; try 'emu6502 --help'.\n"},
        BadOption{"TimeNoLeapDay", {"prog.bin", "--time", "2023-02-29T00:00:00"}, TIME_ERROR},
        BadOption{"TimeWithSpace", {"--time", "2024-02-29 12:00:00", "prog.bin"}, TIME_ERROR},
        BadOption{"TimeDateOnly", {"--time=2024-02-29", "prog.bin"}, TIME_ERROR},
        BadOption{"TimeBeforeTheYearRegister", {"--time", "1999-12-31T23:59:59", "prog.bin"}, YEAR_ERROR},
        BadOption{"TimeAfterTheYearRegister", {"--time", "2256-01-01T00:00:00", "prog.bin"}, YEAR_ERROR},
        BadOption{"TimeHour24", {"--time=2024-02-29T24:00:00", "prog.bin"}, TIME_ERROR},
        BadOption{"TimeMissing", {"prog.bin", "--time"}, TIME_ERROR},
        BadOption{"SeedNegative", {"--seed", "-1", "prog.bin"}, SEED_ERROR},
        BadOption{"SeedText", {"--seed=one", "prog.bin"}, SEED_ERROR},
        BadOption{"SeedTooLarge", {"--seed", "18446744073709551616", "prog.bin"}, SEED_ERROR},
        BadOption{"SeedEmpty", {"--seed=", "prog.bin"}, SEED_ERROR},
        BadOption{"RecordMissing", {"prog.bin", "--record"},
                  "emu6502: --record needs a file name; try 'emu6502 --help'.\n"},
        BadOption{"ReplayEmpty", {"--replay=", "prog.bin"},
                  "emu6502: --replay needs a file name; try 'emu6502 --help'.\n"},
        BadOption{"RecordAndReplay", {"--record", "a", "--replay", "b", "prog.bin"},
                  "emu6502: --record and --replay cannot be given together; try 'emu6502 --help'.\n"},
        BadOption{"ReplayWithSeed", {"--replay", "b", "--seed", "3", "prog.bin"},
                  "emu6502: --seed cannot be given with --replay: the replay file sets it; try 'emu6502 --help'.\n"},
        BadOption{"ReplayWithTime", {"--time", "2024-02-29T00:00:00", "--replay", "b", "prog.bin"},
                  "emu6502: --time cannot be given with --replay: the replay file sets it; try 'emu6502 --help'.\n"},
        BadOption{"ReplayWithStandardInput", {"--replay", "b", "prog.bin", "-i"},
                  "emu6502: -i cannot be given with --replay: the keys come from the replay file; try 'emu6502 "
                  "--help'.\n"},
        BadOption{"ReplayWithCpu", {"--replay", "b", "--cpu", "65C02", "prog.bin"},
                  "emu6502: --cpu cannot be given with --replay: the replay file sets it; try 'emu6502 --help'.\n"},
        BadOption{"DebugInfoWithoutFile", {"prog.bin", "--debug-info"},
                  "emu6502: --debug-info needs a file name; try 'emu6502 --help'.\n"}),
    [](const testing::TestParamInfo<BadOption>& info) { return info.param.name; });

// LDA $FF00; STA $FF01; JMP $0000: echoes one key (0 when none) and ends
// with it in A. Uses no address of its own, so it runs wherever it lands.
const Bytes key_program = {0xAD, 0x00, 0xFF, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};

// LDA #'J'; STA $FF01; then 02 (JAM on the 6502X, a NOP here and a
// two-byte NOP with the EA on the 65C02), EA, DB (STP on the 65C02; DCP
// $0000,Y here), 00 (BRK to 0x0000).
const Bytes halt_program = {0xA9, 0x4A, 0x8D, 0x01, 0xFF, 0x02, 0xEA, 0xDB, 0x00, 0x00, 0x00};

enum class Image { hi, key, endless, halt };

// One command line: what it prints, its exit status and whether memory was
// saved. Every row runs in a fresh directory with the image as "prog.bin".
struct CommandLineCase {
    const char* name;
    Image image;
    std::vector<std::string> args;
    std::string stdin_data;
    std::string out;
    std::string err_pattern;  // the whole of standard error, as a regular expression
    int exit_code;
    bool saved;
};

const char* const NO_MEMBACKUP = "can't read membackup file\\.\n";
const char* const STATS = "stats: [0-9]+ instructions, [0-9]+ cycles, .*\n";

const CommandLineCase COMMAND_LINE_CASES[] = {
    // Long options after the image and between the positional arguments.
    {"StatsAfterImage", Image::hi, {"prog.bin", "--stats", "--clean"}, "", "Hi", STATS, 0, false},
    {"CleanAfterImage", Image::hi, {"prog.bin", "--clean"}, "", "Hi", "", 0, false},
    {"LimitAfterImage", Image::endless, {"prog.bin", "--clean", "--max-instructions", "1000"}, "", "",
     "instruction limit reached; memory not saved\\.\n", 3, false},
    {"LimitBetweenImageAndSwitch", Image::endless, {"prog.bin", "--max-instructions=10", "-i", "--clean"}, "", "",
     "instruction limit reached; memory not saved\\.\n", 3, false},
    {"OptionsEverywhere", Image::key, {"--clean", "prog.bin", "--exit-status", "-i", "--stats"}, "K", "K", STATS, 'K',
     false},
    // "$address" and "-i" together, in either order.
    {"AddressThenSwitch", Image::key, {"prog.bin", "$C000", "-i", "--start", "C000", "--clean", "--exit-status"}, "A",
     "A", "", 'A', false},
    {"SwitchThenAddress", Image::key, {"prog.bin", "-i", "$C000", "--start=0xC000", "--clean", "--exit-status"}, "B",
     "B", "", 'B', false},
    // Arguments without a meaning: one warning line each, before anything runs.
    {"ExtraArgumentAfterBoth", Image::hi, {"prog.bin", "$0200", "-i", "more"}, "", "Hi",
     "emu6502: extra argument 'more' ignored\\.\n" "can't read membackup file\\.\n", 0, true},
    {"SecondSwitchIgnored", Image::key, {"prog.bin", "-i", "-i", "--clean", "--exit-status"}, "Q", "Q",
     "emu6502: extra argument '-i' ignored\\.\n", 'Q', false},
    {"SecondAddressIgnored", Image::hi, {"prog.bin", "$0200", "$C000", "--clean"}, "", "Hi",
     "emu6502: extra argument '\\$C000' ignored\\.\n", 0, false},
    {"OtherSecondArgumentVoidsTheRest", Image::key, {"prog.bin", "junk", "-i", "--clean", "--exit-status"}, "Z",
     std::string(1, '\0'),
     "emu6502: extra argument 'junk' ignored\\.\nemu6502: extra argument '-i' ignored\\.\n", 0, false},
    {"EmptyArgumentWarned", Image::hi, {"prog.bin", "", "--clean"}, "", "Hi", "emu6502: extra argument '' ignored\\.\n",
     0, false},
    {"ShortHelpAfterImageIsAnArgument", Image::hi, {"prog.bin", "-h", "--clean"}, "", "Hi",
     "emu6502: extra argument '-h' ignored\\.\n", 0, false},
    {"NothingIsAnOptionAfterDoubleDash", Image::hi, {"--clean", "--", "prog.bin", "--stats"}, "", "Hi",
     "emu6502: extra argument '--stats' ignored\\.\n", 0, false},
    // --exit-status: the value of A at a normal end; memory is saved as usual.
    {"ExitStatusIsA", Image::hi, {"--exit-status", "prog.bin"}, "", "Hi", NO_MEMBACKUP, 0x69, true},
    {"ExitStatusZeroA", Image::key, {"--exit-status", "prog.bin", "--clean"}, "", std::string(1, '\0'), "", 0, false},
    {"ExitStatusHighA", Image::key, {"--exit-status", "prog.bin", "-i", "--clean"}, "\xFF", "\xFF", "", 0xFF, false},
    {"WithoutExitStatusZero", Image::key, {"prog.bin", "-i", "--clean"}, "\x05", "\x05", "", 0, false},
    {"ExitStatusLimitStaysThree", Image::endless, {"--exit-status", "--max-instructions=7", "prog.bin"}, "", "",
     "can't read membackup file\\.\ninstruction limit reached; memory not saved\\.\n", 3, false},
    // The processors: JAM and STP halt theirs, with status 4 and nothing saved.
    {"JamHaltsThe6502X", Image::halt, {"--cpu", "6502X", "prog.bin"}, "", "J",
     "can't read membackup file\\.\nprocessor halted by JAM opcode \\$02 at \\$0205; memory not saved\\.\n", 4, false},
    {"StpHaltsThe65C02", Image::halt, {"prog.bin", "--cpu=65c02", "--clean", "--stats", "--exit-status"}, "", "J",
     std::string(STATS) + "processor halted by STP opcode \\$DB at \\$0207; memory not saved\\.\n", 4, false},
    {"JamIsANopOnThe6502", Image::halt, {"prog.bin", "--cpu", "6502"}, "", "J", NO_MEMBACKUP, 0, true},
    {"HaltAfterTheLimit", Image::halt, {"prog.bin", "--cpu=6502X", "--max-instructions=2"}, "", "J",
     "can't read membackup file\\.\ninstruction limit reached; memory not saved\\.\n", 3, false},
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class CommandLines : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLines, RunAsWritten) {
    const CommandLineCase& c = GetParam();
    TempDir dir;
    dir.write("prog.bin", c.image == Image::hi    ? hi_program
                          : c.image == Image::key ? key_program
                          : c.image == Image::halt ? halt_program
                                                   : endless_program);
    e2e::RunOptions options;
    options.stdin_data = c.stdin_data;
    options.timeout_seconds = 10;
    const RunResult r = e2e::run_emulator(dir, c.args, options);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err_pattern))) << r.err;
    EXPECT_EQ(dir.exists("membackup"), c.saved);
}

INSTANTIATE_TEST_SUITE_P(Options, CommandLines, testing::ValuesIn(COMMAND_LINE_CASES),
                         [](const testing::TestParamInfo<CommandLineCase>& info) { return info.param.name; });

// --start: the README's example of a program loaded at 0xC000. Without it the
// fresh machine starts at 0x0200 and walks the 0xEE fill; with it the
// program runs, and memory (vectors included) is left as it was.
TEST(Options, StartRunsAProgramLoadedElsewhere) {
    TempDir dir;
    dir.write("prog.bin", hi_program);
    const RunResult fill = e2e::run_emulator(dir, {"prog.bin", "$C000", "--clean", "--max-instructions=1000"});
    EXPECT_EQ(fill.exit_code, 3);
    EXPECT_EQ(fill.out, "");
    const RunResult r = e2e::run_emulator(dir, {"prog.bin", "$C000", "--start", "C000"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
    const Bytes saved = e2e::membackup(dir);
    ASSERT_EQ(saved.size(), 0x10000u);
    EXPECT_TRUE(std::equal(hi_program.begin(), hi_program.end(), saved.begin() + 0xC000));
    EXPECT_EQ(saved[0xFFFC], 0x00);  // the reset vector: still 0x0200
    EXPECT_EQ(saved[0xFFFD], 0x02);
    EXPECT_EQ(saved[0x0200], 0xEE);
}

// --start overrides a reset vector that a saved machine holds, for this run only.
TEST(Options, StartOverridesTheSavedResetVector) {
    TempDir dir;
    Bytes saved = e2e::fresh_memory();
    std::copy(endless_program.begin(), endless_program.end(), saved.begin() + 0x0200);
    std::copy(hi_program.begin(), hi_program.end(), saved.begin() + 0x0300);
    dir.write("membackup", saved);
    const RunResult r = e2e::run_emulator(dir, {"--start=$0300", "--max-instructions=100"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hi");
    Bytes expected = saved;
    expected[0xFF01] = 'i';  // the last byte printed
    EXPECT_TRUE(e2e::membackup(dir) == expected);
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
    Bytes saved = e2e::fresh_memory();
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
