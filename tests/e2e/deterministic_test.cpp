// Reproducible runs: the cycle-driven timer, the virtual calendar, the
// seeded RANDOM, and keys recorded on a terminal and replayed without one.
// Programs are hand-assembled; each ends with JMP $0000.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/harness.hpp"
#include "e2e/pty_session.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

const std::string NO_MEMBACKUP = "can't read membackup file.\n";

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// LDA device; STA $FF01: prints what a device register reads, as a byte.
Bytes print_device(std::uint8_t low) { return {0xAD, low, 0xFF, 0x8D, 0x01, 0xFF}; }
const Bytes print_random = print_device(0x02) + print_device(0x02) + print_device(0x02) + print_device(0x02);
const Bytes print_clock = print_device(0x04) + print_device(0x05) + print_device(0x06) + print_device(0x07) +
                          print_device(0x08) + print_device(0x09);
const Bytes end_run = {0x4C, 0x00, 0x00};

// About 329,225 x `rounds` cycles: three nested loops on $10, Y and X.
Bytes busy_wait(std::uint8_t rounds) {
    return {0xA9, rounds, 0x85, 0x10, 0xA0, 0x00, 0xA2, 0x00, 0xCA,
            0xD0, 0xFD,   0x88, 0xD0, 0xF8, 0xC6, 0x10, 0xD0, 0xF2};
}

// Counts timer requests in $12 from CLI on: the IRQ vector points to
// INC $12; RTI a page after the image's start (0x0300 for an image loaded
// on page 2), which the image fills up to.
Bytes with_tick_counter(const Bytes& body, std::uint8_t load_page = 0x02) {
    // SEI; LDA #0; STA $FFFE; STA $12; LDA #page+1; STA $FFFF; CLI (19 cycles)
    const auto handler_page = static_cast<std::uint8_t>(load_page + 1);
    Bytes code = Bytes{0x78, 0xA9, 0x00, 0x8D, 0xFE, 0xFF, 0x85, 0x12, 0xA9, handler_page, 0x8D, 0xFF, 0xFF, 0x58} + body;
    code.resize(0x100, 0xEA);
    return code + Bytes{0xE6, 0x12, 0x40};
}

RunResult run(const TempDir& dir, const Bytes& image, std::vector<std::string> args) {
    dir.write("prog.bin", image);
    args.insert(args.begin(), {"--clean", "prog.bin"});
    return e2e::run_emulator(dir, args);
}

// Ticks, RANDOM and the clock after 1.3 million cycles: the same bytes on
// every run with the same options.
const Bytes everything = with_tick_counter(busy_wait(4) + Bytes{0x78, 0xA5, 0x12, 0x8D, 0x01, 0xFF} + print_random +
                                           print_clock + end_run);

TEST(Deterministic, TwoRunsGiveTheSameBytesAndAnotherSeedOtherRandomBytes) {
    TempDir first, second, other_seed;
    const RunResult a = run(first, everything, {"--deterministic"});
    const RunResult b = run(second, everything, {"--deterministic"});
    const RunResult c = run(other_seed, everything, {"--seed", "2"});
    ASSERT_EQ(a.exit_code, 0) << a.err;
    ASSERT_EQ(a.out.size(), 11u);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.err, "");
    EXPECT_EQ(b.err, "");
    ASSERT_EQ(c.out.size(), 11u);
    EXPECT_EQ(c.out.substr(0, 1), a.out.substr(0, 1)) << "the seed changed the timer";
    EXPECT_NE(c.out.substr(1, 4), a.out.substr(1, 4)) << "the seed did not change RANDOM";
    EXPECT_EQ(c.out.substr(5), a.out.substr(5)) << "the seed changed the clock";
    // 1.3 million cycles at one request per 10,000, with the handler's own.
    EXPECT_EQ(static_cast<unsigned char>(a.out[0]), 131);
}

// After CLI, a 16-bit counter counts loop rounds (INC $10; BNE; [INC $11];
// LDA $12; CMP #3; BNE) until the third request; then it is printed, low
// byte first. Worked out cycle by cycle: the first request comes after the
// 10,000th cycle, the handler costs 11 cycles, and the loop has made 1873
// rounds when the third one's handler returns.
Bytes three_ticks(std::uint8_t load_page) {
    return with_tick_counter(Bytes{0xA9, 0x00, 0x85, 0x10, 0x85, 0x11, 0xE6, 0x10, 0xD0, 0x02, 0xE6, 0x11, 0xA5, 0x12,
                                   0xC9, 0x03, 0xD0, 0xF4, 0x78, 0xA5, 0x10, 0x8D, 0x01, 0xFF, 0xA5, 0x11, 0x8D, 0x01,
                                   0xFF} +
                                 end_run,
                             load_page);
}

struct TickCase {
    const char* name;
    std::vector<std::string> args;
    std::uint8_t load_page = 0x02;
};
void PrintTo(const TickCase& c, std::ostream* os) { *os << c.name; }

class TimerTicks : public testing::TestWithParam<TickCase> {};

TEST_P(TimerTicks, ExactAfterAKnownNumberOfCycles) {
    TempDir dir;
    const RunResult r = run(dir, three_ticks(GetParam().load_page), GetParam().args);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string("\x4F\x07", 2));  // 1873 = 0x074F
}

// However the run loop cuts the run (traced, stepped, near a limit or
// high in memory, where it counts instructions), the requests come at the
// same instructions.
INSTANTIATE_TEST_SUITE_P(
    Deterministic, TimerTicks,
    testing::Values(TickCase{"Plain", {"--deterministic"}}, TickCase{"Traced", {"--deterministic", "--trace"}},
                    TickCase{"UnderALimit", {"--deterministic", "--max-instructions", "9500"}},
                    TickCase{"WithStats", {"--deterministic", "--stats"}},
                    TickCase{"HighInMemory", {"--deterministic", "--load-address", "F800", "--start", "F800"}, 0xF8},
                    TickCase{"NearTheTop", {"--deterministic", "--load-address", "FC00", "--start", "FC00"}, 0xFC}),
    [](const testing::TestParamInfo<TickCase>& info) { return info.param.name; });

// The clock's six fields, after `rounds` of busy_wait (4: 1.3 million
// cycles, one second on; 7: 2.3 million, two seconds), and RANDOM's
// first four bytes.
struct ClockCase {
    const char* name;
    std::vector<std::string> args;
    std::uint8_t rounds;
    Bytes random;
    Bytes clock;  // year - 2000, month, day, hour, minute, second
};
void PrintTo(const ClockCase& c, std::ostream* os) { *os << c.name; }

const Bytes SEED_1 = {0x00, 0x54, 0x36, 0xDB};
const Bytes SEED_5 = {0x15, 0x52, 0x94, 0xE5};

class Calendar : public testing::TestWithParam<ClockCase> {};

TEST_P(Calendar, TimeSetsEveryField) {
    const ClockCase& c = GetParam();
    TempDir dir;
    const Bytes wait = c.rounds == 0 ? Bytes{} : busy_wait(c.rounds);
    const RunResult r = run(dir, Bytes{0x78} + wait + print_random + print_clock + end_run, c.args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Bytes out(r.out.begin(), r.out.end());
    EXPECT_EQ(out, c.random + c.clock);
}

INSTANTIATE_TEST_SUITE_P(
    Deterministic, Calendar,
    testing::Values(
        ClockCase{"Default", {"--deterministic"}, 0, SEED_1, {0, 1, 1, 0, 0, 0}},
        ClockCase{"DefaultOneSecondOn", {"--deterministic"}, 4, SEED_1, {0, 1, 1, 0, 0, 1}},
        ClockCase{"LeapDay", {"--time", "2024-02-29T23:59:59", "--seed", "5"}, 0, SEED_5, {24, 2, 29, 23, 59, 59}},
        ClockCase{"LeapDayToMarch", {"--time=2024-02-29T23:59:59"}, 4, SEED_1, {24, 3, 1, 0, 0, 0}},
        ClockCase{"NoLeapDayIn2023", {"--time", "2023-02-28T23:59:59"}, 4, SEED_1, {23, 3, 1, 0, 0, 0}},
        ClockCase{"LeapDayIn2000", {"--time", "2000-02-28T23:59:59"}, 4, SEED_1, {0, 2, 29, 0, 0, 0}},
        ClockCase{"NoLeapDayIn2100", {"--time", "2100-02-28T23:59:59"}, 4, SEED_1, {100, 3, 1, 0, 0, 0}},
        ClockCase{"LastSecondOf2000", {"--time", "2000-12-31T23:59:59"}, 0, SEED_1, {0, 12, 31, 23, 59, 59}},
        ClockCase{"YearEnd", {"--time", "2000-12-31T23:59:59"}, 4, SEED_1, {1, 1, 1, 0, 0, 0}},
        ClockCase{"YearEndTwoSeconds", {"--time", "2099-12-31T23:59:58"}, 7, SEED_1, {100, 1, 1, 0, 0, 0}},
        ClockCase{"HourEnd", {"--time", "2024-06-30T12:59:59"}, 4, SEED_1, {24, 6, 30, 13, 0, 0}},
        ClockCase{"Year2255", {"--time", "2255-07-04T08:09:10"}, 0, SEED_1, {255, 7, 4, 8, 9, 10}},
        ClockCase{"SeedAlone", {"--seed", "5"}, 0, SEED_5, {0, 1, 1, 0, 0, 0}}),
    [](const testing::TestParamInfo<ClockCase>& info) { return info.param.name; });

// LDA $FF00; STA $FF01; JMP $0000: reads the keyboard in its first
// instruction and ends after three.
const Bytes key_program = Bytes{0xAD, 0x00, 0xFF, 0x8D, 0x01, 0xFF} + end_run;
// SEI; loop: JMP loop.
const Bytes endless = {0x78, 0x4C, 0x01, 0x02};
// loop: LDA $FF00; BEQ loop; STA $FF01; JMP loop: echoes keys, never ends.
const Bytes echo_forever = {0xAD, 0x00, 0xFF, 0xF0, 0xFB, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x02};

TEST(Deterministic, TheTerminalIsNotRead) {
    TempDir dir;
    dir.write("prog.bin", key_program);
    e2e::PtyOptions options;
    options.typed_before_start = "k";
    e2e::PtySession session(dir, {"--deterministic", "prog.bin"}, options);
    ASSERT_TRUE(session.started());
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 0);
    // The terminal's own echo of the key, then the program's empty read.
    EXPECT_EQ(session.drain(), std::string("k\0", 2));
    EXPECT_TRUE(e2e::canonical_mode(session.settings_now()));
    // Said at the start, or a program waiting for a key would wait for ever.
    const Bytes err = dir.read("stderr.txt");
    EXPECT_EQ(std::string(err.begin(), err.end()),
              NO_MEMBACKUP +
                  "emu6502: a deterministic run does not read the terminal's keys (use -i, --record or --replay); the "
                  "keyboard reads 0.\n");
}

TEST(Deterministic, StandardInput) {
    TempDir dir;
    // No terminal is read: the key program reads 0 at once.
    EXPECT_EQ(run(dir, key_program, {"--deterministic"}).out, std::string(1, '\0'));
    EXPECT_EQ(run(dir, key_program, {"--deterministic", "-i"}).out, std::string(1, '\0'));
    dir.write("prog.bin", key_program);
    e2e::RunOptions options;
    options.stdin_data = "K";
    EXPECT_EQ(e2e::run_emulator(dir, {"--deterministic", "--clean", "prog.bin", "-i"}, options).out, "K");
}

// NOPs from 0xFC00 run straight into the fill's INC $xxEE at 0xFEFE, whose
// high address byte is read from KBD_IN: the key 'A' makes it INC $41EE.
// Running that far in one stretch, a run must still read the device page
// through its devices.
TEST(Deterministic, RunningIntoTheDevicePageReadsItsDevices) {
    TempDir dir;
    dir.write("sled.bin", Bytes(0xFEFE - 0xFC00, 0xEA));
    e2e::RunOptions options;
    options.stdin_data = "A";
    const RunResult r = e2e::run_emulator(
        dir, {"--deterministic", "--load-address", "FC00", "--start", "FC00", "sled.bin", "-i"}, options);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read("membackup").at(0x41EE), 0xEF);
}

struct ReplayCase {
    const char* name;
    Bytes image;
    std::vector<std::string> args;  // after the image
    const char* replay;             // written to "r.txt" unless nullptr
    std::string out;
    std::string err;
    int exit_code;
    std::size_t replay_size = 0;    // of `replay`, when it holds a NUL
};
void PrintTo(const ReplayCase& c, std::ostream* os) { *os << c.name; }

const std::string HEADER = "emu6502 replay 1\n";
const std::string DEPARTS = "replay file 'r.txt' line ";
const std::string CUT_OFF = "replay file 'r.txt' has no end line: the recording was cut off; the replay stops at the "
                            "first keyboard read after its last key.\n";

const ReplayCase REPLAY_CASES[] = {
    {"AsRecorded", key_program, {"--replay", "r.txt"},
     "emu6502 replay 1\nseed 1\r\n# a comment\n\nkey 0 65\nend 3 program\n", "A", "", 0},
    {"WithoutEnd", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 0 66\n", "B", CUT_OFF, 0},
    {"StoppedRecording", endless, {"--replay=r.txt"}, "emu6502 replay 1\nend 100 stopped\n", "",
     "replay reached the end of its recording; memory not saved.\n", 3},
    {"UserLimitFirst", endless, {"--replay=r.txt", "--max-instructions", "10"},
     "emu6502 replay 1\nend 100 stopped\n", "", "instruction limit reached; memory not saved.\n", 3},
    {"Missing", key_program, {"--replay", "nothere.txt"}, nullptr, "",
     "can't read replay file 'nothere.txt': No such file or directory.\n", 1},
    {"NotAReplayFile", key_program, {"--replay", "r.txt"}, "key 0 65\n", "",
     DEPARTS + "1: not a replay file (the first line must be 'emu6502 replay 1').\n", 1},
    {"EmptyFile", key_program, {"--replay", "r.txt"}, "", "",
     DEPARTS + "1: not a replay file (the first line must be 'emu6502 replay 1').\n", 1},
    {"KeyWithoutCode", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 10\n", "",
     DEPARTS + "2: not a line of a replay file: 'key 10'.\n", 1},
    {"LineShownWithItsControlsEscaped", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\n\x1B]2;x\x07\n", "",
     DEPARTS + "2: not a line of a replay file: '\\x1B]2;x\\x07'.\n", 1},
    {"NulInsideAKeyValue", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 0\0junk 65\n", "",
     DEPARTS + "2: not a line of a replay file: 'key 0\\x00junk 65'.\n", 1, 31},
    {"KeyZero", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 0 0\n", "",
     DEPARTS + "2: a key needs an instruction count and a code from 1 to 255.\n", 1},
    {"KeyTooLarge", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nseed 3\nkey 0 256\n", "",
     DEPARTS + "3: a key needs an instruction count and a code from 1 to 255.\n", 1},
    {"CountsDecrease", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 5 65\nkey 4 65\n", "",
     DEPARTS + "3: the instruction counts of the keys must not decrease.\n", 1},
    {"BadSeed", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nseed -1\n", "",
     DEPARTS + "2: the seed must be a whole number.\n", 1},
    {"BadTime", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\ntime 2023-02-29T00:00:00\n", "",
     DEPARTS + "2: the time must be a date and time like 2024-02-29T23:59:59.\n", 1},
    // STZ $10; LDA $10; STA $FF01; JMP $0000: 0 on the 65C02, the fill 0xEE where 0x64 is a NOP.
    {"CpuFromTheFile", Bytes{0x64, 0x10, 0xA5, 0x10, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00}, {"--replay", "r.txt"},
     "emu6502 replay 1\ncpu 65C02\n", std::string(1, '\0'), CUT_OFF, 0},
    {"BadCpu", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\ncpu Z80\n", "",
     DEPARTS + "2: the cpu must be 6502, 6502X or 65C02.\n", 1},
    {"SeedAfterAKey", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 0 65\nseed 2\n", "",
     DEPARTS + "3: seed, time, cpu and memory come once each, before the keys.\n", 1},
    {"MemoryTwice", key_program, {"--replay", "r.txt"},
     "emu6502 replay 1\nmemory 0123456789abcdef\nmemory 0123456789abcdef\n", "",
     DEPARTS + "3: seed, time, cpu and memory come once each, before the keys.\n", 1},
    {"MemoryShort", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nmemory 0123456789abcde\n", "",
     DEPARTS + "2: the memory must be 16 hexadecimal digits.\n", 1},
    {"MemoryNotHex", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nmemory 0123456789abcdeg\n", "",
     DEPARTS + "2: the memory must be 16 hexadecimal digits.\n", 1},
    {"MemoryUpperCase", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nmemory 0123456789ABCDEF\n", "",
     DEPARTS + "2: the run departs from the recording: it starts from other memory (another membackup or image); "
               "nothing ran.\n",
     1},
    {"MemoryElsewhere", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\n#\nmemory 0123456789abcdef\n", "",
     DEPARTS + "3: the run departs from the recording: it starts from other memory (another membackup or image); "
               "nothing ran.\n",
     1},
    {"LineAfterEnd", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nend 3 program\nkey 4 65\n", "",
     DEPARTS + "3: nothing may follow the end line.\n", 1},
    {"EndBeforeKey", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 4 65\nend 4 program\n", "",
     DEPARTS + "3: the end comes before the last key was read.\n", 1},
    // Runs that depart from their recording.
    {"NoReadThere", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 1 65\n", std::string(1, '\0'),
     CUT_OFF + DEPARTS + "2: the run departs from the recording: no keyboard read at instruction count 1; memory not "
               "saved.\n",
     1},
    {"EndedBeforeKey", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 0 65\nkey 7 66\n", "A",
     CUT_OFF + DEPARTS + "3: the run departs from the recording: the run ended at instruction count 3, before this key was "
               "read; memory not saved.\n",
     1},
    {"EndedElsewhere", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 0 65\nend 9 program\n", "A",
     DEPARTS + "3: the run departs from the recording: the run ended at instruction count 3, the recorded one at 9; "
               "memory not saved.\n",
     1},
    {"EndedWhereRecordingStopped", key_program, {"--replay", "r.txt"}, "emu6502 replay 1\nend 9 stopped\n",
     std::string(1, '\0'),
     DEPARTS + "2: the run departs from the recording: the run ended at instruction count 3; the recorded one was "
               "stopped at 9; memory not saved.\n",
     1},
    {"GoesOn", endless, {"--replay", "r.txt"}, "emu6502 replay 1\nend 50 program\n", "",
     DEPARTS + "2: the run departs from the recording: the recorded run ended at instruction count 50, this one "
               "goes on; memory not saved.\n",
     1},
    // A recording killed before its end line stops at the first read past
    // its last key, instead of reading 0 for ever.
    {"CutOffAfterItsLastKey", echo_forever, {"--replay", "r.txt"}, "emu6502 replay 1\nkey 0 65\nkey 4 66\n", "AB",
     CUT_OFF + "replay file 'r.txt' was cut off: the keyboard read at instruction count 8 comes after its last key; "
               "memory not saved.\n",
     3},
    {"CutOffBeforeAnyKey", echo_forever, {"--replay", "r.txt"}, "emu6502 replay 1\n", "",
     CUT_OFF + "replay file 'r.txt' was cut off: the keyboard read at instruction count 0 comes after its last key; "
               "memory not saved.\n",
     3},
    // A record file that cannot be written: nothing runs, or the end says so.
    {"RecordNowhere", key_program, {"--record", "no/such/r.txt"}, nullptr, "",
     "can't write replay file 'no/such/r.txt': No such file or directory.\n", 1},
    {"RecordFull", key_program, {"--record", "/dev/full"}, nullptr, "",
     "can't write replay file '/dev/full': No space left on device.\n", 1},
};

class Replay : public testing::TestWithParam<ReplayCase> {};

TEST_P(Replay, EndsAsTheFileSays) {
    const ReplayCase& c = GetParam();
    TempDir dir;
    if (c.replay != nullptr)
        dir.write("r.txt", c.replay_size != 0 ? std::string(c.replay, c.replay_size) : std::string(c.replay));
    const RunResult r = run(dir, c.image, c.args);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Deterministic, Replay, testing::ValuesIn(REPLAY_CASES),
                         [](const testing::TestParamInfo<ReplayCase>& info) { return info.param.name; });

// Echoes each key with a hex digit of RANDOM and one of the tick count, until
// 'q'; the ticks between two keys depend on when they were typed.
const Bytes session_program = with_tick_counter(
    Bytes{0xAD, 0x00, 0xFF, 0xF0, 0xFB,               // loop: LDA KBD_IN; BEQ loop
          0xC9, 'q', 0xF0, 0x1D,                      //       CMP #'q'; BEQ done
          0x8D, 0x01, 0xFF,                           //       STA CON_OUT
          0xAD, 0x02, 0xFF, 0x29, 0x0F, 0xAA,         //       LDA RANDOM; AND #$0F; TAX
          0xBD, 0x40, 0x02, 0x8D, 0x01, 0xFF,         //       LDA hex,X; STA CON_OUT
          0xA5, 0x12, 0x29, 0x0F, 0xAA,               //       LDA $12; AND #$0F; TAX
          0xBD, 0x40, 0x02, 0x8D, 0x01, 0xFF,         //       LDA hex,X; STA CON_OUT
          0x4C, 0x0E, 0x02,                           //       JMP loop
          0x78} +                                     // done: SEI
    end_run + Bytes(0x40 - 0x0E - 42, 0xEA) + Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c',
                                                   'd', 'e', 'f'});

// Keys from standard input are recorded too, and replay without it.
TEST(Deterministic, KeysFromStandardInputAreRecorded) {
    TempDir dir;
    dir.write("prog.bin", session_program);
    e2e::RunOptions options;
    options.stdin_data = "xyq";
    const RunResult recorded = e2e::run_emulator(dir, {"--record", "keys.txt", "--clean", "prog.bin", "-i"}, options);
    EXPECT_EQ(recorded.exit_code, 0);
    ASSERT_EQ(recorded.out.size(), 6u);
    const Bytes record = dir.read("keys.txt");
    const std::string text(record.begin(), record.end());
    EXPECT_NE(text.find(" 120\nkey "), std::string::npos) << text;  // 'x'
    const RunResult replayed = e2e::run_emulator(dir, {"--replay", "keys.txt", "--clean", "prog.bin"});
    EXPECT_EQ(replayed.exit_code, 0);
    EXPECT_EQ(replayed.out, recorded.out);
}

// The terminal turns each line feed into CR LF on its way out.
std::string as_shown(const std::string& bytes) {
    std::string shown;
    for (const char c : bytes) {
        if (c == '\n') shown += '\r';
        shown += c;
    }
    return shown;
}

TEST(Deterministic, SessionRecordedOnATerminalReplaysWithoutOne) {
    TempDir recorded;
    recorded.write("prog.bin", session_program);
    e2e::PtySession session(recorded, {"--record", "keys.txt", "prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_settings(e2e::key_mode));
    for (const char* key : {"x", "y", "Z", "!"}) {  // none of them a hex digit
        session.type(key);
        ASSERT_TRUE(session.wait_for_output(key)) << "output so far: " << session.output();
    }
    session.type("q");
    const auto end = session.wait_end();
    ASSERT_TRUE(end) << "the program did not end; output: " << session.output();
    EXPECT_EQ(end->exit_code(), 0);
    const std::string shown = session.drain();
    ASSERT_EQ(shown.size(), 12u) << shown;
    const Bytes record = recorded.read("keys.txt");
    const std::string text(record.begin(), record.end());
    EXPECT_EQ(text.rfind("emu6502 replay 1\nseed 1\ntime 2000-01-01T00:00:00\ncpu 6502\nmemory ", 0), 0u) << text;
    EXPECT_NE(text.find(" 113\nend "), std::string::npos) << text;  // 'q', then the end
    EXPECT_EQ(text.substr(text.size() - 9), " program\n") << text;

    // Replayed in a fresh folder, with no terminal: the same bytes, memory included.
    TempDir replayed;
    replayed.write("prog.bin", session_program);
    replayed.write("keys.txt", record);
    const RunResult r = e2e::run_emulator(replayed, {"--replay", "keys.txt", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, NO_MEMBACKUP);
    EXPECT_EQ(as_shown(r.out), shown);
    EXPECT_EQ(e2e::membackup(replayed), e2e::membackup(recorded));
}

}  // namespace
