// The monitor over the engine's ways of ending and pausing a run (halts,
// WAI, limits, signals, replays, steps backwards), and the files and
// options around it: trace, save and load, the profile, labels.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness.hpp"
#include "e2e/pty_session.hpp"
#include "e2e/monitor_programs.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

// Halts, waits, the end of the run and instruction counts: the engine's
// rules as the monitor meets them, with any processor and clock.
struct PauseCase {
    const char* name;
    Bytes image;
    std::vector<std::string> args;  // before the image; --clean and --commands c come first
    const char* commands;
    const char* out;
    int status;
    const char* err;
    const char* replay = nullptr;  // a replay file, given with --replay
    const char* input = nullptr;   // standard input, with -i
    const char* file0 = nullptr;   // the data file file0 afterwards, byte for byte
};
void PrintTo(const PauseCase& c, std::ostream* os) { *os << c.name; }

// SEI; STP; LDA #'Z'; STA $FF01; JMP $0000
const Bytes STP_THEN_Z = {0x78, 0xDB, 0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};
// WAI (I is set: it goes on at the next timer request); LDA #'Z'; STA $FF01; JMP $0000
const Bytes WAI_THEN_Z = {0xCB, 0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};
// LDA #'Z'; STA $FF01; JMP $0000
const Bytes PRINT_Z = {0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};
// LDX #0; loop: INX; JMP loop
const Bytes COUNT_FOREVER = {0xA2, 0x00, 0xE8, 0x4C, 0x02, 0x02};
// Until the timer has ticked twice (its handler at 0230 counts in $11),
// a random byte to $10 each time round; then 'Z' and the end.
const Bytes TICKS_AND_RANDOM = [] {
    Bytes image = {
        0xA9, 0x00, 0x85, 0x11,                    // 0200 LDA #0; STA $11
        0xA9, 0x30, 0x8D, 0xFE, 0xFF,              // 0204 LDA #$30; STA $FFFE
        0xA9, 0x02, 0x8D, 0xFF, 0xFF, 0x58,        // 0209 LDA #$02; STA $FFFF; CLI
        0xAD, 0x02, 0xFF, 0x85, 0x10,              // 020F loop: LDA RANDOM; STA $10
        0xA5, 0x11, 0xC9, 0x02, 0xD0, 0xF5,        // 0214 LDA $11; CMP #2; BNE loop
        0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00,  // 021A LDA #'Z'; STA $FF01; JMP $0000
    };
    image.resize(0x30, 0x00);
    image.insert(image.end(), {0xE6, 0x11, 0x40});  // 0230 INC $11; RTI
    return image;
}();
// loop: LDA $FF00; BEQ loop; STA $FF01; CMP #'q'; BNE loop; JMP $0000
const Bytes KEY_ECHO = {0xAD, 0x00, 0xFF, 0xF0, 0xFB, 0x8D, 0x01, 0xFF, 0xC9, 0x71, 0xD0, 0xF4, 0x4C, 0x00, 0x00};
// LDA #'A'; STA FILE_WRITE; loop: INX; JMP loop
const Bytes DATA_FILE_THEN_COUNT = {0xA9, 0x41, 0x8D, 0x0B, 0xFF, 0xE8, 0x4C, 0x05, 0x02};
// LDA #'A'; STA FILE_WRITE; LDA #'B'; STA FILE_WRITE; LDA FILE_SELECT; loop: INX; JMP loop
const Bytes DATA_FILE_TWICE = {0xA9, 0x41, 0x8D, 0x0B, 0xFF, 0xA9, 0x42, 0x8D, 0x0B, 0xFF,
                               0xAD, 0x0C, 0xFF, 0xE8, 0x4C, 0x0D, 0x02};
// LDA #'A'; STA FILE_WRITE; NOP; NOP; LDA #'x'; STA CON_OUT; NOP x 4;
// LDA #'!'; STA CON_OUT; JMP $0000
const Bytes DATA_FILE_THEN_PRINT = {0xA9, 0x41, 0x8D, 0x0B, 0xFF, 0xEA, 0xEA, 0xA9, 0x78, 0x8D, 0x01, 0xFF,
                                    0xEA, 0xEA, 0xEA, 0xEA, 0xA9, 0x21, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};

const PauseCase PAUSE_CASES[] = {
    {"SteppingStpThenGoingOn", STP_THEN_Z, {"--cpu", "65C02"}, "s\ns\nr\ng 202\n", "Z", 0,
        "0200  78        SEI\n"
        "> s\n"
        "0200  78        SEI                A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0201  DB        STP\n"
        "> s\n"
        "0201  DB        STP                A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "processor halted by STP opcode $DB at $0201\n"
        "0201  DB        STP\n"
        "> r\n"
        "PC=0201 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> g 202\n"},
    {"HaltLeftAsItIs", STP_THEN_Z, {"--cpu", "65C02"}, "c\nr\nx\n", "", 4,
        "0200  78        SEI\n"
        "> c\n"
        "processor halted by STP opcode $DB at $0201\n"
        "0201  DB        STP\n"
        "> r\n"
        "PC=0201 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> x\n"
        "processor halted by STP opcode $DB at $0201; memory not saved.\n"},
    {"JamOnTheNmosChip", {0x02}, {"--cpu", "6502X"}, "c\nc\n", "", 4,
        "0200  02        JAM\n"
        "> c\n"
        "processor halted by JAM opcode $02 at $0200\n"
        "0200  02        JAM\n"
        "> c\n"
        "processor halted by JAM opcode $02 at $0200; memory not saved.\n"},
    {"SteppingWai", WAI_THEN_Z, {"--cpu", "65C02"}, "s\nr\nc\n", "Z", 0,
        "0200  CB        WAI\n"
        "> s\n"
        "0200  CB        WAI                A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0201  A9 5A     LDA #$5A\n"
        "> r\n"
        "PC=0201 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> c\n"},
    {"BreakpointAtZeroStopsAtTheEnd", PRINT_Z, {}, "b 0\nc\nr\nm 0 2\nc\n", "Z", 0,
        "0200  A9 5A     LDA #$5A\n"
        "> b 0\n"
        "breakpoint 1 at 0000\n"
        "> c\n"
        "breakpoint 1 at 0000\n"
        "0000  EE EE EE  INC $EEEE\n"
        "> r\n"
        "PC=0000 A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> m 0 2\n"
        "0000  EE EE EE                                         ...\n"
        "> c\n"},
    {"GoingOnFromTheEnd", PRINT_Z, {}, "b 0\nc\ng 200\nbd 1\nc\n", "ZZ", 0,
        "0200  A9 5A     LDA #$5A\n"
        "> b 0\n"
        "breakpoint 1 at 0000\n"
        "> c\n"
        "breakpoint 1 at 0000\n"
        "0000  EE EE EE  INC $EEEE\n"
        "> g 200\n"
        "breakpoint 1 at 0000\n"
        "0000  EE EE EE  INC $EEEE\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"},
    // At the end-of-run stop the past is still there to look at and go back to.
    {"HistoryAndStepsBackAtTheEnd", PRINT_Z, {"--deterministic"}, "b 0\nc\nhist 2\nback\nr\ns\nc\n", "Z", 0,
        "0200  A9 5A     LDA #$5A\n"
        "> b 0\n"
        "breakpoint 1 at 0000\n"
        "> c\n"
        "breakpoint 1 at 0000\n"
        "0000  EE EE EE  INC $EEEE\n"
        "> hist 2\n"
        "0202  8D 01 FF  STA $FF01          A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0205  4C 00 00  JMP $0000          A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> back\n"
        "0205  4C 00 00  JMP $0000\n"
        "> r\n"
        "PC=0205 A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 2, cycle count 6\n"
        "cycles: -3 since the last stop, 6 on the stopwatch (sw resets it)\n"
        "> s\n"
        "0205  4C 00 00  JMP $0000          A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "breakpoint 1 at 0000\n"
        "0000  EE EE EE  INC $EEEE\n"
        "> c\n"},
    {"RunsBackFromTheEnd", PRINT_Z, {"--deterministic"}, "b 0\nb 202\nc\nc\nrc\nback\nr\nc\nc\n", "Z", 0,
        "0200  A9 5A     LDA #$5A\n"
        "> b 0\n"
        "breakpoint 1 at 0000\n"
        "> b 202\n"
        "breakpoint 2 at 0202\n"
        "> c\n"
        "breakpoint 2 at 0202\n"
        "0202  8D 01 FF  STA $FF01\n"
        "> c\n"
        "breakpoint 1 at 0000\n"
        "0000  EE EE EE  INC $EEEE\n"
        "> rc\n"
        "breakpoint 2 at 0202\n"
        "0202  8D 01 FF  STA $FF01\n"
        "> back\n"
        "0200  A9 5A     LDA #$5A\n"
        "> r\n"
        "PC=0200 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 0, cycle count 0\n"
        "cycles: -2 since the last stop, 0 on the stopwatch (sw resets it)\n"
        "> c\n"
        "breakpoint 2 at 0202\n"
        "0202  8D 01 FF  STA $FF01\n"
        "> c\n"
        "breakpoint 1 at 0000\n"
        "0000  EE EE EE  INC $EEEE\n"},
    {"UntilAnInstructionCount", COUNT_FOREVER, {"--deterministic", "--max-instructions", "100"},
        "until #21\nr\nuntil #20\nuntil #21\nuntil zzz\nuntil #x\nr x=0\nuntil #22\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> until #21\n"
        "instruction count 21\n"
        "0202  E8        INX\n"
        "> r\n"
        "PC=0202 A=00 X=0A Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 21, cycle count 52\n"
        "cycles: 52 since the last stop, 52 on the stopwatch (sw resets it)\n"
        "> until #20\n"
        "until: instruction count 20 already passed (now 21)\n"
        "> until #21\n"
        "until: instruction count 21 already passed (now 21)\n"
        "> until zzz\n"
        "until: bad address or unknown label 'zzz'\n"
        "> until #x\n"
        "until: usage: until ADDR | until #N (N an instruction count, in decimal)\n"
        "> r x=0\n"
        "PC=0202 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 21, cycle count 52\n"
        "cycles: 52 since the last stop, 52 on the stopwatch (sw resets it)\n"
        "> until #22\n"
        "instruction count 22\n"
        "0203  4C 02 02  JMP $0202\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    {"CycleStopwatch", COUNT_FOREVER, {"--deterministic", "--max-instructions", "100"},
        "s 3\nr\nsw\ns 2\ns\nr\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> s 3\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  E8        INX                A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  4C 02 02  JMP $0202          A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  E8        INX\n"
        "> r\n"
        "PC=0202 A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 3, cycle count 7\n"
        "cycles: 7 since the last stop, 7 on the stopwatch (sw resets it)\n"
        "> sw\n"
        "stopwatch reset\n"
        "> s 2\n"
        "0202  E8        INX                A=00 X=02 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  4C 02 02  JMP $0202          A=00 X=02 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  E8        INX\n"
        "> s\n"
        "0202  E8        INX                A=00 X=03 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  4C 02 02  JMP $0202\n"
        "> r\n"
        "PC=0203 A=00 X=03 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 6, cycle count 14\n"
        "cycles: 2 since the last stop, 7 on the stopwatch (sw resets it)\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    // Code changed since it ran shows as it is now, with the opcode that ran.
    {"HistoryOfCodeChangedSince", COUNT_FOREVER, {"--max-instructions", "10"}, "hist on\ns\ne 200 a0\nhist 1\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> hist on\n"
        "history on: instructions are kept from here on\n"
        "> s\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  E8        INX\n"
        "> e 200 a0\n"
        "> hist 1\n"
        "0200  A0 00     LDY #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100 (ran opcode A2)\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    // 70,001 instructions: the ring has wrapped round, the last ones stay.
    {"HistoryAfterTheRingWrapped", COUNT_FOREVER, {"--deterministic", "--max-instructions", "70002"},
        "hist on\nuntil #70001\nhist 3\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> hist on\n"
        "history on: instructions are kept from here on\n"
        "> until #70001\n"
        "instruction count 70001\n"
        "0202  E8        INX\n"
        "> hist 3\n"
        "0203  4C 02 02  JMP $0202          A=00 X=B7 Y=00 SP=FD NV-BDIZC=10100100\n"
        "0202  E8        INX                A=00 X=B7 Y=00 SP=FD NV-BDIZC=10100100\n"
        "0203  4C 02 02  JMP $0202          A=00 X=B8 Y=00 SP=FD NV-BDIZC=10100100\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    // CLI; JMP *, and an RTI at 0210 that the IRQ vector is pointed at: the
    // timer's first request (10,000 cycles) comes between two JMPs.
    {"HistoryShowsAnInterrupt", {0x58, 0x4C, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40},
        {"--deterministic", "--max-instructions", "3340"}, "hist on\ne fffe 10 02\nuntil #3336\nhist 4\nc\n", "", 3,
        "0200  58        CLI\n"
        "> hist on\n"
        "history on: instructions are kept from here on\n"
        "> e fffe 10 02\n"
        "> until #3336\n"
        "instruction count 3336\n"
        "0201  4C 01 02  JMP $0201\n"
        "> hist 4\n"
        "0201  4C 01 02  JMP $0201          A=00 X=00 Y=00 SP=FD NV-BDIZC=00100000\n"
        "interrupt to 0210                  A=00 X=00 Y=00 SP=FA NV-BDIZC=00100100\n"
        "0210  40        RTI                A=00 X=00 Y=00 SP=FA NV-BDIZC=00100100\n"
        "0201  4C 01 02  JMP $0201          A=00 X=00 Y=00 SP=FD NV-BDIZC=00100000\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    {"UntilOutsideADeterministicRun", COUNT_FOREVER, {"--max-instructions", "10"}, "until #5\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> until #5\n"
        "until: instruction counts are kept only in a deterministic run (--deterministic, --record, --replay)\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    // Steps backwards: the same registers, memory, random bytes, timer
    // requests and keys as the first time; output written once.
    {"StepsBackOverATimerInterrupt", TICKS_AND_RANDOM, {"--deterministic"}, "w 11 w\nc\nc\nm 10 11\nback 3\nm 10 11\ns 3\nm 10 11\nc\nrc\nr\nrc\nrc\nbd 1\nc\n", "Z", 0,
        "0200  A9 00     LDA #$00\n"
        "> w 11 w\n"
        "watchpoint 1 on 0011 w\n"
        "> c\n"
        "watchpoint: write 0011 = 00 (was EE) by 0202\n"
        "0204  A9 30     LDA #$30\n"
        "> c\n"
        "watchpoint: write 0011 = 01 (was 00) by 0230\n"
        "0232  40        RTI\n"
        "> m 10 11\n"
        "0010  32 01                                            2.\n"
        "> back 3\n"
        "020F  AD 02 FF  LDA $FF02\n"
        "> m 10 11\n"
        "0010  12 00                                            ..\n"
        "> s 3\n"
        "020F  AD 02 FF  LDA $FF02          A=32 X=00 Y=00 SP=FD NV-BDIZC=00100000\n"
        "0212  85 10     STA $10            A=32 X=00 Y=00 SP=FD NV-BDIZC=00100000\n"
        "0230  E6 11     INC $11            A=32 X=00 Y=00 SP=FA NV-BDIZC=00100100\n"
        "watchpoint: write 0011 = 01 (was 00) by 0230\n"
        "0232  40        RTI\n"
        "> m 10 11\n"
        "0010  32 01                                            2.\n"
        "> c\n"
        "watchpoint: write 0011 = 02 (was 01) by 0230\n"
        "0232  40        RTI\n"
        "> rc\n"
        "watchpoint: write 0011 = 01 (was 00) by 0230\n"
        "0232  40        RTI\n"
        "> r\n"
        "PC=0232 A=32 X=00 Y=00 SP=FA NV-BDIZC=00100100\n"
        "instruction count 3335, cycle count 10006\n"
        "cycles: -10001 since the last stop, 10006 on the stopwatch (sw resets it)\n"
        "> rc\n"
        "watchpoint: write 0011 = 00 (was EE) by 0202\n"
        "0204  A9 30     LDA #$30\n"
        "> rc\n"
        "rc: no breakpoint or watchpoint since instruction count 0, the earliest a step back reaches\n"
        "0200  A9 00     LDA #$00\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"},
    {"OutputWrittenOnce", PRINT_Z, {"--deterministic"}, "s 2\nback 2\ns\nback\nc\n", "Z", 0,
        "0200  A9 5A     LDA #$5A\n"
        "> s 2\n"
        "0200  A9 5A     LDA #$5A           A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  8D 01 FF  STA $FF01          A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0205  4C 00 00  JMP $0000\n"
        "> back 2\n"
        "0200  A9 5A     LDA #$5A\n"
        "> s\n"
        "0200  A9 5A     LDA #$5A           A=5A X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  8D 01 FF  STA $FF01\n"
        "> back\n"
        "0200  A9 5A     LDA #$5A\n"
        "> c\n"},
    {"StepsBackInAReplay", KEY_ECHO, {}, "until #43\nr\nback 5\nr\nuntil #41\nr\nrc\nc\n", "hq", 0,
        "0200  AD 00 FF  LDA $FF00\n"
        "> until #43\n"
        "instruction count 43\n"
        "0208  C9 71     CMP #$71\n"
        "> r\n"
        "PC=0208 A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 43, cycle count 150\n"
        "cycles: 150 since the last stop, 150 on the stopwatch (sw resets it)\n"
        "> back 5\n"
        "0200  AD 00 FF  LDA $FF00\n"
        "> r\n"
        "PC=0200 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "instruction count 38, cycle count 133\n"
        "cycles: -17 since the last stop, 133 on the stopwatch (sw resets it)\n"
        "> until #41\n"
        "instruction count 41\n"
        "0203  F0 FB     BEQ $0200\n"
        "> r\n"
        "PC=0203 A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 41, cycle count 144\n"
        "cycles: 11 since the last stop, 144 on the stopwatch (sw resets it)\n"
        "> rc\n"
        "rc: no breakpoint or watchpoint since instruction count 0, the earliest a step back reaches\n"
        "0200  AD 00 FF  LDA $FF00\n"
        "> c\n",
        "emu6502 replay 1\nkey 40 104\nkey 91 113\nend 97 program\n"},
    {"StepsBackOverStandardInput", KEY_ECHO, {"--deterministic"}, "s 3\nback 3\ns 3\nr\nc\n", "hq", 0,
        "0200  AD 00 FF  LDA $FF00\n"
        "> s 3\n"
        "0200  AD 00 FF  LDA $FF00          A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  F0 FB     BEQ $0200          A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0205  8D 01 FF  STA $FF01          A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0208  C9 71     CMP #$71\n"
        "> back 3\n"
        "0200  AD 00 FF  LDA $FF00\n"
        "> s 3\n"
        "0200  AD 00 FF  LDA $FF00          A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  F0 FB     BEQ $0200          A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0205  8D 01 FF  STA $FF01          A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0208  C9 71     CMP #$71\n"
        "> r\n"
        "PC=0208 A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 3, cycle count 10\n"
        "cycles: 10 since the last stop, 10 on the stopwatch (sw resets it)\n"
        "> c\n",
        nullptr, "hq"},
    {"NoStepBackOverAChangeByHand", COUNT_FOREVER, {"--deterministic", "--max-instructions", "100"}, "s 3\ne 10 5\nback 1\ns 2\nback 2\nback 1\nr a=7\nrc\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> s 3\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  E8        INX                A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  4C 02 02  JMP $0202          A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  E8        INX\n"
        "> e 10 5\n"
        "> back 1\n"
        "back: memory or registers were changed by hand here; no step back reaches before\n"
        "0202  E8        INX\n"
        "> s 2\n"
        "0202  E8        INX                A=00 X=02 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  4C 02 02  JMP $0202          A=00 X=02 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  E8        INX\n"
        "> back 2\n"
        "0202  E8        INX\n"
        "> back 1\n"
        "back: can't go 1 back from instruction count 3: the earliest a step back reaches is 3 (memory or registers were changed by hand there)\n"
        "> r a=7\n"
        "PC=0202 A=07 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 3, cycle count 7\n"
        "cycles: -5 since the last stop, 7 on the stopwatch (sw resets it)\n"
        "> rc\n"
        "rc: nothing earlier to run back to: instruction count 3 is the earliest (memory or registers were changed by hand there)\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    // The barrier is the access itself, however the stop came just after it.
    {"NoStepBackOverTheLastDataFileWrite", DATA_FILE_TWICE, {"--deterministic", "--max-instructions", "30"},
        "s 4\nback 1\nc\n", "", 3,
        "0200  A9 41     LDA #$41\n"
        "> s 4\n"
        "0200  A9 41     LDA #$41           A=41 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  8D 0B FF  STA $FF0B          A=41 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0205  A9 42     LDA #$42           A=42 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0207  8D 0B FF  STA $FF0B          A=42 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "020A  AD 0C FF  LDA $FF0C\n"
        "> back 1\n"
        "back: can't go 1 back from instruction count 4: the earliest a step back reaches is 4 (the data file channel was used just before)\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n", nullptr, nullptr, "AB"},
    {"NoRcOverTheLastDataFileWrite", DATA_FILE_TWICE, {"--deterministic", "--max-instructions", "30"},
        "w ff0b w\nc\nrc\nbd 1\nc\n", "", 3,
        "0200  A9 41     LDA #$41\n"
        "> w ff0b w\n"
        "watchpoint 1 on FF0B w\n"
        "> c\n"
        "watchpoint: write FF0B = 41 by 0202\n"
        "0205  A9 42     LDA #$42\n"
        "> rc\n"
        "rc: nothing earlier to run back to: instruction count 2 is the earliest (the data file channel was used just before)\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n", nullptr, nullptr, "AB"},
    {"OutputOnceAfterAStepBackNearADataFileWrite", DATA_FILE_THEN_PRINT, {"--deterministic"},
        "until #9\nback #8\nback #5\nc\n", "x!", 0,
        "0200  A9 41     LDA #$41\n"
        "> until #9\n"
        "instruction count 9\n"
        "020F  EA        NOP\n"
        "> back #8\n"
        "back: can't go 8 back from instruction count 9: the earliest a step back reaches is 2 (the data file channel was used just before)\n"
        "> back #5\n"
        "0207  A9 78     LDA #$78\n"
        "> c\n", nullptr, nullptr, "A"},
    {"NoStepBackOverADataFile", DATA_FILE_THEN_COUNT, {"--deterministic", "--max-instructions", "50"}, "s 4\nback 1\nback 2\nrc\nc\n", "", 3,
        "0200  A9 41     LDA #$41\n"
        "> s 4\n"
        "0200  A9 41     LDA #$41           A=41 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  8D 0B FF  STA $FF0B          A=41 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0205  E8        INX                A=41 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0206  4C 05 02  JMP $0205          A=41 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0205  E8        INX\n"
        "> back 1\n"
        "0206  4C 05 02  JMP $0205\n"
        "> back 2\n"
        "back: can't go 2 back from instruction count 3: the earliest a step back reaches is 2 (the data file channel was used just before)\n"
        "> rc\n"
        "rc: no breakpoint or watchpoint since instruction count 2, the earliest a step back reaches\n"
        "0205  E8        INX\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    {"StepsBackRefusedOrMalformed", COUNT_FOREVER, {"--deterministic", "--max-instructions", "10"}, "back\nrc\nback x\nback 1 2\nback 0\nrc 1\ns\nback #2\nback\n\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> back\n"
        "back: can't go 1 back from instruction count 0: the earliest a step back reaches is 0 (the start of the run)\n"
        "> rc\n"
        "rc: nothing earlier to run back to: instruction count 0 is the earliest (the start of the run)\n"
        "> back x\n"
        "back: bad count 'x' (hex, at least 1)\n"
        "> back 1 2\n"
        "back: usage: back [N]\n"
        "> back 0\n"
        "back: bad count '0' (hex, at least 1)\n"
        "> rc 1\n"
        "rc: takes no arguments\n"
        "> s\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  E8        INX\n"
        "> back #2\n"
        "back: can't go 2 back from instruction count 1: the earliest a step back reaches is 0 (the start of the run)\n"
        "> back\n"
        "0200  A2 00     LDX #$00\n"
        "> \n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    {"OnlyThePastKept", COUNT_FOREVER, {"--deterministic", "--max-instructions", "17000010"}, "until #17000000\nback #16800000\nback #16700000\nrc\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> until #17000000\n"
        "instruction count 17000000\n"
        "0203  4C 02 02  JMP $0202\n"
        "> back #16800000\n"
        "back: can't go 16800000 back from instruction count 17000000: the earliest a step back reaches is 229376 (older states are not kept; see the manual's chapter on reproducible runs)\n"
        "> back #16700000\n"
        "0203  4C 02 02  JMP $0202\n"
        "> rc\n"
        "rc: no breakpoint or watchpoint since instruction count 229376, the earliest a step back reaches\n"
        "0203  4C 02 02  JMP $0202\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    {"HistoryAfterAStepBack", COUNT_FOREVER, {"--deterministic", "--max-instructions", "20"}, "hist on\ns 3\nback 2\nhist\ns\nhist\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> hist on\n"
        "history on: instructions are kept from here on\n"
        "> s 3\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  E8        INX                A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  4C 02 02  JMP $0202          A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  E8        INX\n"
        "> back 2\n"
        "0202  E8        INX\n"
        "> hist\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> s\n"
        "0202  E8        INX                A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0203  4C 02 02  JMP $0202\n"
        "> hist\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0202  E8        INX                A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    {"HistoryOffRunAgainInADeterministicRun", TICKS_AND_RANDOM, {"--deterministic"}, "w 11 w\nc\nc\nhist 6\nr\ne 12 5\nhist\nhist\nbd 1\nc\n", "Z", 0,
        "0200  A9 00     LDA #$00\n"
        "> w 11 w\n"
        "watchpoint 1 on 0011 w\n"
        "> c\n"
        "watchpoint: write 0011 = 00 (was EE) by 0202\n"
        "0204  A9 30     LDA #$30\n"
        "> c\n"
        "watchpoint: write 0011 = 01 (was 00) by 0230\n"
        "0232  40        RTI\n"
        "> hist 6\n"
        "0216  C9 02     CMP #$02           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100010\n"
        "0218  D0 F5     BNE $020F          A=00 X=00 Y=00 SP=FD NV-BDIZC=10100000\n"
        "020F  AD 02 FF  LDA $FF02          A=00 X=00 Y=00 SP=FD NV-BDIZC=10100000\n"
        "0212  85 10     STA $10            A=32 X=00 Y=00 SP=FD NV-BDIZC=00100000\n"
        "interrupt to 0230                  A=32 X=00 Y=00 SP=FA NV-BDIZC=00100100\n"
        "0230  E6 11     INC $11            A=32 X=00 Y=00 SP=FA NV-BDIZC=00100100\n"
        "> r\n"
        "PC=0232 A=32 X=00 Y=00 SP=FA NV-BDIZC=00100100\n"
        "instruction count 3335, cycle count 10006\n"
        "cycles: 10001 since the last stop, 10006 on the stopwatch (sw resets it)\n"
        "> e 12 5\n"
        "> hist\n"
        "hist: memory or registers were changed by hand here; the past before can't be run again\n"
        "> hist\n"
        "hist: the history is off; hist on keeps it from here on\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"},
    {"RunsBackToABreakpoint", COUNT_FOREVER, {"--deterministic", "--max-instructions", "40"}, "b 202 if x!=2\nc\nc\nc\nrc\nr\nrc\nr\nrc\nbd 1\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> b 202 if x!=2\n"
        "breakpoint 1 at 0202\n"
        "> c\n"
        "breakpoint 1 at 0202\n"
        "0202  E8        INX\n"
        "> c\n"
        "breakpoint 1 at 0202\n"
        "0202  E8        INX\n"
        "> c\n"
        "breakpoint 1 at 0202\n"
        "0202  E8        INX\n"
        "> rc\n"
        "breakpoint 1 at 0202\n"
        "0202  E8        INX\n"
        "> r\n"
        "PC=0202 A=00 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 3, cycle count 7\n"
        "cycles: -10 since the last stop, 7 on the stopwatch (sw resets it)\n"
        "> rc\n"
        "breakpoint 1 at 0202\n"
        "0202  E8        INX\n"
        "> r\n"
        "PC=0202 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "instruction count 1, cycle count 2\n"
        "cycles: -5 since the last stop, 2 on the stopwatch (sw resets it)\n"
        "> rc\n"
        "rc: no breakpoint or watchpoint since instruction count 0, the earliest a step back reaches\n"
        "0200  A2 00     LDX #$00\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    {"StepsBackOutsideADeterministicRun", COUNT_FOREVER, {"--max-instructions", "10"}, "back\nrc\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> back\n"
        "back: steps back need a deterministic run (--deterministic, --replay)\n"
        "> rc\n"
        "rc: steps back need a deterministic run (--deterministic, --replay)\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
};

class MonitorPauses : public testing::TestWithParam<PauseCase> {};

TEST_P(MonitorPauses, ExactConversation) {
    const PauseCase& c = GetParam();
    TempDir dir;
    dir.write("p.bin", c.image);
    dir.write("c", std::string(c.commands));
    std::vector<std::string> args = {"--clean", "--commands", "c"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (c.replay != nullptr) {
        dir.write("r.txt", std::string(c.replay));
        args.insert(args.end(), {"--replay", "r.txt"});
    }
    args.push_back("p.bin");
    e2e::RunOptions options;
    if (c.input != nullptr) {
        args.push_back("-i");
        options.stdin_data = c.input;
    }
    const RunResult r = e2e::run_emulator(dir, args, options);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.exit_code, c.status);
    if (c.file0 != nullptr) {
        EXPECT_EQ(dir.read("file0"), Bytes(c.file0, c.file0 + std::strlen(c.file0)));
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, MonitorPauses, testing::ValuesIn(PAUSE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A replay stopped in the monitor at the instruction that reads a recorded
// key, looked at, then run on to the recording's end: the same output as
// the replay alone.
TEST(MonitorReplay, StopsAtAnInstructionCountOfARecording) {
    TempDir dir;
    // loop: LDA $FF00; BEQ loop; STA $FF01; CMP #'q'; BNE loop; JMP $0000
    dir.write("p.bin", Bytes{0xAD, 0x00, 0xFF, 0xF0, 0xFB, 0x8D, 0x01, 0xFF, 0xC9, 0x71, 0xD0, 0xF4, 0x4C, 0x00, 0x00});
    dir.write("r.txt", std::string("emu6502 replay 1\nkey 40 104\nkey 91 113\nend 97 program\n"));
    dir.write("c", std::string("until #40\nr\ns\nc\n"));
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--replay", "r.txt", "--commands", "c", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "hq");
    EXPECT_EQ(r.err,
              "0200  AD 00 FF  LDA $FF00\n"
              "> until #40\n"
              "instruction count 40\n"
              "0200  AD 00 FF  LDA $FF00\n"
              "> r\n"
              "PC=0200 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
              "instruction count 40, cycle count 140\n"
              "cycles: 140 since the last stop, 140 on the stopwatch (sw resets it)\n"
              "> s\n"
              "0200  AD 00 FF  LDA $FF00          A=68 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
              "0203  F0 FB     BEQ $0200\n"
              "> c\n");
}

// An interrupt handler taken while a 65C02 waits in WAI is a routine of
// its own in the profile, in a deterministic run as in a plain one.
TEST(MonitorFiles, ProfileKeepsAHandlerTakenDuringWai) {
    for (const bool deterministic : {false, true}) {
        SCOPED_TRACE(deterministic ? "deterministic" : "host timer");
        TempDir dir;
        Bytes image = {
            0x78,              // 0200 SEI
            0xA9, 0x00,        // 0201 LDA #0
            0x85, 0x10,        // 0203 STA $10
            0xA9, 0x20,        // 0205 LDA #$20
            0x8D, 0xFE, 0xFF,  // 0207 STA $FFFE
            0xA9, 0x02,        // 020A LDA #$02
            0x8D, 0xFF, 0xFF,  // 020C STA $FFFF
            0x58,              // 020F CLI
            0xCB,              // 0210 WAI
            0xA5, 0x10,        // 0211 LDA $10
            0xC9, 0x03,        // 0213 CMP #3
            0x90, 0xF9,        // 0215 BCC $0210: after a stall two ticks can pass 3 at once
            0x4C, 0x00, 0x00,  // 0217 JMP $0000
        };
        image.resize(0x20, 0xEA);
        image.insert(image.end(), {0xE6, 0x10, 0x40});  // 0220 INC $10; RTI
        dir.write("p.bin", image);
        std::vector<std::string> args = {"--clean", "--cpu", "65C02", "--profile", "prof.txt", "p.bin"};
        if (deterministic) args.push_back("--deterministic");
        const RunResult r = e2e::run_emulator(dir, args);
        EXPECT_EQ(r.exit_code, 0);
        const Bytes profile = dir.read("prof.txt");
        const std::string text(profile.begin(), profile.end());
        EXPECT_NE(r.err.find("%  0220\n"), std::string::npos) << r.err;
        // The host's ticks come late on a busy machine: only the cycle
        // clock's count is exact.
        if (!deterministic) {
            EXPECT_NE(text.find("\n0220  "), std::string::npos) << text;
            continue;
        }
        EXPECT_NE(text.find("\n0220            3           15  \n0222            3           18  \n"), std::string::npos) << text;
        EXPECT_NE(r.err.find("\n           33  "), std::string::npos) << r.err;
    }
}

TEST(MonitorFiles, TraceSaveLoadAndProfile) {
    TempDir dir;
    e2e::prepare_monitor_files(dir, "trace t.txt\ns 2\ntrace off\nsave s.bin 210 215\nload s.bin 300\nm 300 305\nload none 300\n"
                 "load s.bin fffe\nm fffe ffff\ntrace /nonexistent/t\nsave /nonexistent/s 0 1\nc\n");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--labels", "p.lbl", "--commands", "c", "--profile",
                                                "prof.txt", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    const Bytes trace = dir.read("t.txt");
    EXPECT_EQ(std::string(trace.begin(), trace.end()),
              "0200  start            LDX #$00             A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110  2\n"
              "0202                   JSR print            A=00 X=00 Y=00 SP=FB NV-BDIZC=00100110  6\n");
    EXPECT_EQ(dir.read("s.bin"), (Bytes{0xA9, 0x48, 0x8D, 0x01, 0xFF, 0x60}));
    const Bytes profile = dir.read("prof.txt");
    EXPECT_EQ(std::string(profile.begin(), profile.end()),
              "address      count       cycles  label\n"
              "0200            1            2  start\n"
              "0202            2           12  \n"
              "0205            2            4  @back\n"
              "0206            2            4  \n"
              "0208            2            5  \n"
              "020A            1            3  \n"
              "0210            2            4  print\n"
              "0212            2            8  \n"
              "0215            2           12  \n");
    EXPECT_EQ(r.err,
              "start:\n0200  A2 00     LDX #$00\n"
              "> trace t.txt\ntracing to t.txt\n"
              "> s 2\n"
              "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
              "0202  20 10 02  JSR print          A=00 X=00 Y=00 SP=FB NV-BDIZC=00100110\n"
              "print:\n0210  A9 48     LDA #$48\n"
              "> trace off\ntrace off\n"
              "> save s.bin 210 215\nsaved 0210-0215 (6 bytes) to s.bin\n"
              "> load s.bin 300\nloaded 6 bytes at 0300\n"
              "> m 300 305\n0300  A9 48 8D 01 FF 60                                .H...`\n"
              "> load none 300\nload: can't read none: No such file or directory\n"
              "> load s.bin fffe\nloaded 2 bytes at FFFE; the rest of the file runs past FFFF and was left out\n"
              "> m fffe ffff\nFFFE  A9 48                                            .H\n"
              "> trace /nonexistent/t\ntrace: can't write /nonexistent/t: No such file or directory\n"
              "> save /nonexistent/s 0 1\nsave: can't write /nonexistent/s\n"
              "> c\n"
              "profile: 54 cycles; the hottest routines:\n"
              "           30   55.6%  start\n"
              "           24   44.4%  print\n");
}

TEST(MonitorOptions, ProfileAloneNeverStops) {
    TempDir dir;
    e2e::prepare_monitor_files(dir, "");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--profile", "prof.txt", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    // The routines named by p.lbl beside the image, with no option.
    EXPECT_EQ(r.err, "profile: 54 cycles; the hottest routines:\n           30   55.6%  start\n           24   44.4%  print\n");
}

TEST(MonitorOptions, LabelsWithoutTheMonitorAreSaidUnused) {
    for (const char* file : {"p.lbl", "none.lbl"}) {
        SCOPED_TRACE(file);
        TempDir dir;
        e2e::prepare_monitor_files(dir, "");
        const RunResult r = e2e::run_emulator(dir, {"--clean", "--labels", file, "p.bin"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, "HH");
        EXPECT_EQ(r.err, std::string("emu6502: labels '") + file +
                             "' not used: they serve --monitor, --commands and --profile.\n");
    }
}

TEST(MonitorOptions, BadFilesAreOneLineAndTheRunGoesOn) {
    TempDir dir;
    e2e::prepare_monitor_files(dir, "");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--labels", "none.lbl", "--commands", "none", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    EXPECT_EQ(r.err, "can't read label file none.lbl\ncan't read command file none\n0200  A2 00     LDX #$00\n");
}

// A FIFO or a device named as a label file is refused at once: reading
// one would wait for a writer that never comes.
TEST(MonitorOptions, LabelsFromAFifoOrADeviceAreRefused) {
    TempDir dir;
    e2e::prepare_monitor_files(dir, "l fifo\nl /dev/zero\n");
    ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--labels", "fifo", "--commands", "c", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    EXPECT_EQ(r.err,
              "can't read label file fifo: not a regular file\n"
              "0200  A2 00     LDX #$00\n"
              "> l fifo\n"
              "can't read label file fifo: not a regular file\n"
              "> l /dev/zero\n"
              "can't read label file /dev/zero: not a regular file\n");
}

TEST(MonitorOptions, WithoutATerminalTheRunGoesOn) {
    TempDir dir;
    e2e::prepare_monitor_files(dir, "");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--monitor", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    EXPECT_EQ(r.err, "monitor: no terminal to talk on; the run goes on without it.\n");
}

TEST(MonitorOptions, InstructionLimitStillCounts) {
    TempDir dir;
    e2e::prepare_monitor_files(dir, "s 2\nc\n");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--commands", "c", "--max-instructions", "5", "p.bin"});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.out, "H");
}

TEST(MonitorOptions, HelpListsTheOptions) {
    TempDir dir;
    const RunResult r = e2e::run_emulator(dir, {"--help"});
    for (const char* option : {"--monitor", "--commands FILE", "--labels FILE", "--profile FILE", "--debug-info FILE"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

}  // namespace
