// The monitor end to end: commands from a file (--commands), its output on
// standard error and the program's own output untouched on standard output;
// labels, trace, save and load files, the profile; and the monitor on a
// real terminal (--monitor): Ctrl-], line editing, steps, breakpoints and a
// watchpoint on a device register.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness.hpp"
#include "e2e/pty_session.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

// Prints "H" twice through a subroutine, then ends.
Bytes twice_program() {
    Bytes image(0x16, 0x00);
    const Bytes main_part = {
        0xA2, 0x00,        // 0200 start: LDX #$00
        0x20, 0x10, 0x02,  // 0202        JSR print
        0xE8,              // 0205 @back: INX
        0xE0, 0x02,        // 0206        CPX #$02
        0xD0, 0xF8,        // 0208        BNE $0202
        0x4C, 0x00, 0x00,  // 020A        JMP $0000
    };
    const Bytes print = {
        0xA9, 0x48,        // 0210 print: LDA #'H'
        0x8D, 0x01, 0xFF,  // 0212        STA $FF01
        0x60,              // 0215        RTS
    };
    std::copy(main_part.begin(), main_part.end(), image.begin());
    std::copy(print.begin(), print.end(), image.begin() + 0x10);
    return image;
}

// As the cc65 linker writes them, a linker-made name among them.
const char* const LABELS = "al 000200 .start\nal 000210 .print\nal 000205 .@back\nal 000200 .__MAIN_START__\n";

void prepare(const TempDir& dir, const std::string& commands) {
    dir.write("p.bin", twice_program());
    dir.write("p.lbl", std::string(LABELS));
    dir.write("bad.lbl", std::string("al 000200 .start\nthis is not\n"));
    // Two routines with a cheap local label of one name each.
    dir.write("two.lbl", std::string("al 000200 .main\nal 000205 .@loop\nal 000210 .sub\nal 000212 .@loop\n"));
    dir.write("c", commands);
    // At 0300: JSR print; "HI",0; LDX #7; JMP 0. The routine adds 3 to the
    // return address on the stack, then returns past the string.
    Bytes inline_string(0x20, 0x00);
    const Bytes caller = {0x20, 0x10, 0x03, 'H', 'I', 0x00, 0xA2, 0x07, 0x4C, 0x00, 0x00};
    const Bytes print = {0xBA, 0xBD, 0x01, 0x01, 0x18, 0x69, 0x03, 0x9D, 0x01, 0x01, 0x90, 0x03, 0xFE, 0x02, 0x01, 0x60};
    std::copy(caller.begin(), caller.end(), inline_string.begin());
    std::copy(print.begin(), print.end(), inline_string.begin() + 0x10);
    dir.write("inline.bin", inline_string);
    // The same call, to a routine that pulls its return address to read the
    // string, calls a routine for each character, then pushes the address
    // past the string and returns there.
    Bytes pulled(0x34, 0x00);
    const Bytes pulling = {
        0x68, 0x85, 0x10, 0x68, 0x85, 0x11,  // 0310 PLA; STA $10; PLA; STA $11
        0xE6, 0x10, 0xD0, 0x02, 0xE6, 0x11,  // 0316 loop: INC $10; BNE +2; INC $11
        0xA0, 0x00, 0xB1, 0x10, 0xF0, 0x06,  // 031C LDY #0; LDA ($10),Y; BEQ done
        0x20, 0x30, 0x03, 0x4C, 0x16, 0x03,  // 0322 JSR putc; JMP loop
        0xA5, 0x11, 0x48, 0xA5, 0x10, 0x48,  // 0328 done: LDA $11; PHA; LDA $10; PHA
        0x60,                                // 032E RTS
    };
    std::copy(caller.begin(), caller.end(), pulled.begin());
    std::copy(pulling.begin(), pulling.end(), pulled.begin() + 0x10);
    pulled[0x30] = 0x8D;  // 0330 putc: STA $FF01; RTS
    pulled[0x31] = 0x01;
    pulled[0x32] = 0xFF;
    pulled[0x33] = 0x60;
    dir.write("pull.bin", pulled);
    // Label files that would act on the terminal, overflow, or hold the monitor.
    dir.write("esc.lbl", std::string("al 000212 .pr\x1B[2Jint\n"));
    dir.write("long.lbl", std::string(5000, 'x') + "\n");
    mkfifo(dir.file("fifo.lbl").c_str(), 0644);
}

struct CommandCase {
    const char* name;
    const char* commands;
    const char* out;   // the program's standard output
    int status;        // exit status, or minus the signal
    const char* err;   // the monitor's conversation
};
void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

const CommandCase COMMAND_CASES[] = {
    {"Registers",
        "r\n"
        "r a=41 x=0 y=ff sp=f0 p=c3\n"
        "r pc=print c=0 z=1 n=0 v=0\n"
        "r q=1\n"
        "r a=100\n"
        "r pc=0205 x=1\n"
        "c\n",
     "", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> r\n"
        "PC=0200 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> r a=41 x=0 y=ff sp=f0 p=c3\n"
        "PC=0200 A=41 X=00 Y=FF SP=F0 NV-BDIZC=11000011\n"
        "> r pc=print c=0 z=1 n=0 v=0\n"
        "PC=0210 A=41 X=00 Y=FF SP=F0 NV-BDIZC=00000010\n"
        "> r q=1\n"
        "r: bad register setting 'q=1' (like a=41, pc=0300, c=1)\n"
        "> r a=100\n"
        "r: bad value in 'a=100'\n"
        "> r pc=0205 x=1\n"
        "PC=0205 A=41 X=01 Y=FF SP=F0 NV-BDIZC=00000010\n"
        "> c\n"},
    {"Step",
        "s\n"
        "s 3\n"
        "n\n"
        "n\n"
        "s 0\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> s\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  20 10 02  JSR print\n"
        "> s 3\n"
        "0202  20 10 02  JSR print          A=00 X=00 Y=00 SP=FB NV-BDIZC=00100110\n"
        "0210  A9 48     LDA #$48           A=48 X=00 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0212  8D 01 FF  STA $FF01          A=48 X=00 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0215  60        RTS\n"
        "> n\n"
        "0215  60        RTS                A=48 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> n\n"
        "0205  E8        INX                A=48 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0206  E0 02     CPX #$02\n"
        "> s 0\n"
        "s: bad count '0' (hex, at least 1)\n"
        "> c\n"},
    {"StepOverJsr",
        "n\n"
        "n\n"
        "r\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> n\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  20 10 02  JSR print\n"
        "> n\n"
        "0215  60        RTS                A=48 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> r\n"
        "PC=0205 A=48 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> c\n"},
    {"Go",
        "g @back\n"
        "c\n",
     "H", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> g @back\n"},
    {"GoToZeroEndsTheRun",
        "s\n"
        "g 0\n",
     "", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> s\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  20 10 02  JSR print\n"
        "> g 0\n"},
    {"Breakpoints",
        "b start\n"
        "b 0208\n"
        "b\n"
        "bd 1\n"
        "bd 7\n"
        "b\n"
        "c\n"
        "c\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> b start\n"
        "breakpoint 1 at 0200\n"
        "> b 0208\n"
        "breakpoint 2 at 0208\n"
        "> b\n"
        "1  b 0200  start\n"
        "2  b 0208\n"
        "> bd 1\n"
        "deleted 1\n"
        "> bd 7\n"
        "bd: no breakpoint or watchpoint 7\n"
        "> b\n"
        "2  b 0208\n"
        "> c\n"
        "breakpoint 2 at 0208\n"
        "0208  D0 F8     BNE $0202\n"
        "> c\n"
        "breakpoint 2 at 0208\n"
        "0208  D0 F8     BNE $0202\n"
        "> c\n"},
    {"WatchDeviceWrite",
        "w ff01 w\n"
        "c\n"
        "r\n"
        "c\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> w ff01 w\n"
        "watchpoint 1 on FF01 w\n"
        "> c\n"
        "watchpoint: write FF01 = 48 by 0212\n"
        "0215  60        RTS\n"
        "> r\n"
        "PC=0215 A=48 X=00 Y=00 SP=FB NV-BDIZC=00100100\n"
        "> c\n"
        "watchpoint: write FF01 = 48 by 0212\n"
        "0215  60        RTS\n"
        "> c\n"},
    {"WatchStack",
        "w 01fd w\n"
        "w 01fc rw\n"
        "w ff01 r\n"
        "w\n"
        "c\n"
        "bd 1\n"
        "c\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> w 01fd w\n"
        "watchpoint 1 on 01FD w\n"
        "> w 01fc rw\n"
        "watchpoint 2 on 01FC rw\n"
        "> w ff01 r\n"
        "watchpoint 3 on FF01 r\n"
        "> w\n"
        "1  w 01FD w\n"
        "2  w 01FC rw\n"
        "3  w FF01 r\n"
        "> c\n"
        "watchpoint: write 01FD = 02 (was EE), write 01FC = 04 (was EE) by 0202\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"
        "watchpoint: read 01FC = 04 by 0215\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> x\n"},
    // A routine that returns past the string after its JSR (it moves its
    // return address): n stops once the stack is back above the JSR's frame.
    {"StepOverInlineString",
        "load inline.bin 300\n"
        "r pc=300\n"
        "n\n"
        "c\n",
     "", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> load inline.bin 300\n"
        "loaded 32 bytes at 0300\n"
        "> r pc=300\n"
        "PC=0300 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> n\n"
        "031F  60        RTS                A=05 X=FB Y=00 SP=FD NV-BDIZC=00100100\n"
        "0306  A2 07     LDX #$07\n"
        "> c\n"},
    // A routine that pulls its return address (and calls another for each
    // character): n stops after its RTS, not after the pulls nor after the
    // inner call's RTS, though each leaves the stack where it was before
    // the JSR.
    {"StepOverAPulledReturnAddress",
        "load pull.bin 300\n"
        "r pc=300\n"
        "n\n"
        "c\n",
     "HI", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> load pull.bin 300\n"
        "loaded 52 bytes at 0300\n"
        "> r pc=300\n"
        "PC=0300 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> n\n"
        "032E  60        RTS                A=05 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0306  A2 07     LDX #$07\n"
        "> c\n"},
    // The value read, the old and new value written; an INC does both.
    {"WatchReadModifyWrite",
        "e 300 e6 10 a5 10 4c 0 2\n"
        "e 10 41\n"
        "w 10 rw\n"
        "r pc=300\n"
        "c\n"
        "c\n"
        "bd 1\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> e 300 e6 10 a5 10 4c 0 2\n"
        "> e 10 41\n"
        "> w 10 rw\n"
        "watchpoint 1 on 0010 rw\n"
        "> r pc=300\n"
        "PC=0300 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> c\n"
        "watchpoint: read 0010 = 41, write 0010 = 42 (was 41) by 0300\n"
        "0302  A5 10     LDA $10\n"
        "> c\n"
        "watchpoint: read 0010 = 42 by 0302\n"
        "0304  4C 00 02  JMP start\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"},
    {"ValueAssembleHuntCompareMove",
        "? start+3\n"
        "? print\n"
        "? %101 << 2 | 1\n"
        "? [print+1]\n"
        "? 1/0\n"
        "? nowhere\n"
        "? 3 +\n"
        "a 300 ldx #<(print+1)\n"
        "a 302 jsr print\n"
        "a 305 bogus #1\n"
        "a 305 lda (1\n"
        "a\n"
        "a 305\n"
        "jmp start\n"
        "nop #1\n"
        "\n"
        "d 300 305\n"
        "hunt 200 2ff 8d 01 ff\n"
        "hunt 200 2ff \"H\" 8d\n"
        "hunt 200 2ff ? 01 ff\n"
        "hunt 200 2ff\n"
        "hunt 200 2ff \"H\n"
        "hunt 0 20 100\n"
        "compare 200 207 300\n"
        "compare 200 20f ffff\n"
        "move 210 215 400\n"
        "compare 210 215 400\n"
        "move 200 ffff 400\n"
        "move 300 200 0\n"
        "lc p.lbl\n"
        "? start\n"
        "lc a b\n"
        "l p.lbl\n"
        "lc\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> ? start+3\n"
        "$0203  515  %0000001000000011\n"
        "> ? print\n"
        "$0210  528  %0000001000010000  print\n"
        "> ? %101 << 2 | 1\n"
        "$15  21  %00010101\n"
        "> ? [print+1]\n"
        "$48  72  %01001000  'H'\n"
        "> ? 1/0\n"
        "?: division by zero at column 2\n"
        "> ? nowhere\n"
        "?: unknown label 'nowhere'\n"
        "> ? 3 +\n"
        "?: a value is missing at the end\n"
        "> a 300 ldx #<(print+1)\n"
        "0300  A2 11     LDX #$11\n"
        "> a 302 jsr print\n"
        "0302  20 10 02  JSR print\n"
        "> a 305 bogus #1\n"
        "a: unknown instruction 'bogus'\n"
        "> a 305 lda (1\n"
        "a: '(' at column 1 is never closed\n"
        "> a\n"
        "a: usage: a ADDR [INSTRUCTION]\n"
        "> a 305\n"
        "> jmp start\n"
        "0305  4C 00 02  JMP start\n"
        "> nop #1\n"
        "0308  82 01     NOP #$01\n"
        "> \n"
        "> d 300 305\n"
        "0300  A2 11     LDX #$11\n"
        "0302  20 10 02  JSR print\n"
        "0305  4C 00 02  JMP start\n"
        "> hunt 200 2ff 8d 01 ff\n"
        "0212\n"
        "> hunt 200 2ff \"H\" 8d\n"
        "0211\n"
        "> hunt 200 2ff ? 01 ff\n"
        "0212\n"
        "> hunt 200 2ff\n"
        "hunt: usage: hunt START END BYTE|\"TEXT\"|?...\n"
        "> hunt 200 2ff \"H\n"
        "hunt: text '\"H' has no closing quote\n"
        "> hunt 0 20 100\n"
        "hunt: bad byte '100' (00 to FF)\n"
        "> compare 200 207 300\n"
        "0201 00  0301 11\n"
        "0205 E8  0305 4C\n"
        "0206 E0  0306 00\n"
        "> compare 200 20f ffff\n"
        "compare: the range at FFFF runs past FFFF\n"
        "> move 210 215 400\n"
        "moved 0210-0215 to 0400\n"
        "> compare 210 215 400\n"
        "compare: the same\n"
        "> move 200 ffff 400\n"
        "move: the copy at 0400 would run past FFFF\n"
        "> move 300 200 0\n"
        "move: the end comes before the start\n"
        "> lc p.lbl\n"
        "4 labels cleared\n"
        "> ? start\n"
        "?: unknown label 'start'\n"
        "> lc a b\n"
        "lc: usage: lc [FILE]\n"
        "> l p.lbl\n"
        "4 labels from p.lbl\n"
        "> lc\n"
        "4 labels cleared\n"
        "> c\n"},
    // Conditions, pass counts, enable and disable, out, until ADDR, a
    // watched range, stop on BRK; and each malformed form named.
    {"ExecutionControls",
        "b print if x==1\n"
        "b 205 pass 1\n"
        "b\n"
        "c\n"
        "r\n"
        "disable 1\n"
        "out\n"
        "b\n"
        "enable 1\n"
        "enable 9\n"
        "disable x\n"
        "bd 1\n"
        "bd 2\n"
        "b 200 if\n"
        "b 200 if (1\n"
        "b 200 pass x\n"
        "b 200 junk\n"
        "w 300 30f q\n"
        "w 30f 300 w\n"
        "brk maybe\n"
        "out 1\n"
        "w 300 30f w\n"
        "a 400 nop\n"
        "a 401 sta 305\n"
        "a 404 jmp 0\n"
        "r pc=400\n"
        "until 401\n"
        "c\n"
        "bd 3\n"
        "e fffe 10 4\n"
        "a 410 jmp 0\n"
        "a 404 brk\n"
        "brk on\n"
        "c\n"
        "brk off\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> b print if x==1\n"
        "breakpoint 1 at 0210\n"
        "> b 205 pass 1\n"
        "breakpoint 2 at 0205\n"
        "> b\n"
        "1  b 0210  if x==1  print\n"
        "2  b 0205  pass 1  @back\n"
        "> c\n"
        "breakpoint 1 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> r\n"
        "PC=0210 A=48 X=01 Y=00 SP=FB NV-BDIZC=10100100\n"
        "> disable 1\n"
        "disabled 1\n"
        "> out\n"
        "0215  60        RTS                A=48 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> b\n"
        "1  b 0210  if x==1  hit 2  disabled  print\n"
        "2  b 0205  pass 1  hit 1  @back\n"
        "> enable 1\n"
        "enabled 1\n"
        "> enable 9\n"
        "enable: no breakpoint or watchpoint 9\n"
        "> disable x\n"
        "disable: bad number 'x' (as b lists them)\n"
        "> bd 1\n"
        "deleted 1\n"
        "> bd 2\n"
        "deleted 2\n"
        "> b 200 if\n"
        "b: usage: b [ADDR [pass N] [if EXPR]]\n"
        "> b 200 if (1\n"
        "b: bad condition '(1': '(' at column 1 is never closed\n"
        "> b 200 pass x\n"
        "b: bad pass count 'x' (decimal)\n"
        "> b 200 junk\n"
        "b: usage: b [ADDR [pass N] [if EXPR]]\n"
        "> w 300 30f q\n"
        "w: bad access 'q' (r, w or rw)\n"
        "> w 30f 300 w\n"
        "w: the end comes before the start\n"
        "> brk maybe\n"
        "brk: usage: brk on|off\n"
        "> out 1\n"
        "out: takes no arguments\n"
        "> w 300 30f w\n"
        "watchpoint 3 on 0300-030F w\n"
        "> a 400 nop\n"
        "0400  EA        NOP\n"
        "> a 401 sta 305\n"
        "0401  8D 05 03  STA $0305\n"
        "> a 404 jmp 0\n"
        "0404  4C 00 00  JMP $0000\n"
        "> r pc=400\n"
        "PC=0400 A=48 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> until 401\n"
        "0401  8D 05 03  STA $0305\n"
        "> c\n"
        "watchpoint: write 0305 = 48 (was EE) by 0401\n"
        "0404  4C 00 00  JMP $0000\n"
        "> bd 3\n"
        "deleted 3\n"
        "> e fffe 10 4\n"
        "> a 410 jmp 0\n"
        "0410  4C 00 00  JMP $0000\n"
        "> a 404 brk\n"
        "0404  00        BRK\n"
        "> brk on\n"
        "stop on BRK on\n"
        "> c\n"
        "BRK at 0404\n"
        "0410  4C 00 00  JMP $0000\n"
        "> brk off\n"
        "stop on BRK off\n"
        "> x\n"},
    // A watchpoint's pass count and condition, as a breakpoint's: each
    // watched access a hit, the condition worked out after the instruction;
    // one that cannot be worked out stops and says why.
    {"WatchPassCount", "w ff01 w pass 1\nc\nb\nx\n", "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> w ff01 w pass 1\n"
        "watchpoint 1 on FF01 w\n"
        "> c\n"
        "watchpoint: write FF01 = 48 by 0212\n"
        "0215  60        RTS\n"
        "> b\n"
        "1  w FF01 w  pass 1  hit 2\n"
        "> x\n"},
    {"WatchConditions",
        "w ff01 w if 1/0\nc\nbd 1\nw ff01 if x==1\nw 3000 30ff r pass 3 if a>2\nw 10 pass\nw 10 11 r if\nb\nc\nb\nx\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> w ff01 w if 1/0\n"
        "watchpoint 1 on FF01 w\n"
        "> c\n"
        "watchpoint: write FF01 = 48 by 0212; condition '1/0': division by zero at column 2\n"
        "0215  60        RTS\n"
        "> bd 1\n"
        "deleted 1\n"
        "> w ff01 if x==1\n"
        "watchpoint 2 on FF01 rw\n"
        "> w 3000 30ff r pass 3 if a>2\n"
        "watchpoint 3 on 3000-30FF r\n"
        "> w 10 pass\n"
        "w: usage: w [ADDR [END] [r|w|rw] [pass N] [if EXPR]]\n"
        "> w 10 11 r if\n"
        "w: usage: w [ADDR [END] [r|w|rw] [pass N] [if EXPR]]\n"
        "> b\n"
        "2  w FF01 rw  if x==1\n"
        "3  w 3000-30FF r  pass 3  if a>2\n"
        "> c\n"
        "watchpoint: write FF01 = 48 by 0212\n"
        "0215  60        RTS\n"
        "> b\n"
        "2  w FF01 rw  if x==1  hit 1\n"
        "3  w 3000-30FF r  pass 3  if a>2\n"
        "> x\n"},
    {"WatchReadZeroPage",
        "e 0 10\n"
        "w 0 r\n"
        "w 0 q\n"
        "bd 1\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> e 0 10\n"
        "> w 0 r\n"
        "watchpoint 1 on 0000 r\n"
        "> w 0 q\n"
        "w: bad end or access 'q' (an address, or r, w or rw)\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"},
    {"Memory",
        "m 200\n"
        "m 210 215\n"
        "m ff00 ff0f\n"
        "m fff8\n"
        "m zzz\n"
        "m\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> m 200\n"
        "0200  A2 00 20 10 02 E8 E0 02 D0 F8 4C 00 00 00 00 00  .. .......L.....\n"
        "0210  A9 48 8D 01 FF 60 EE EE EE EE EE EE EE EE EE EE  .H...`..........\n"
        "0220  EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE  ................\n"
        "0230  EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE  ................\n"
        "0240  EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE  ................\n"
        "0250  EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE  ................\n"
        "0260  EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE  ................\n"
        "0270  EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE EE  ................\n"
        "> m 210 215\n"
        "0210  A9 48 8D 01 FF 60                                .H...`\n"
        "> m ff00 ff0f\n"
        "FF00  EE EE EE 00 EE EE EE EE EE EE EE EE EE EE EE EE  ................\n"
        "> m fff8\n"
        "FFF8  EE EE EE EE 00 02 00 00                          ........\n"
        "> m zzz\n"
        "m: bad address or unknown label 'zzz'\n"
        "> m\n"
        "m: usage: m ADDR [END]\n"
        "> c\n"},
    {"EnterAndFill",
        "e 300 41 42 43\n"
        "e 300 1g\n"
        "e ffff 1 2\n"
        "e ffff 7\n"
        "f 301 302 5a\n"
        "m 300 303\n"
        "f 302 301 0\n"
        "m fff0 ffff\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> e 300 41 42 43\n"
        "> e 300 1g\n"
        "e: bad byte '1g' (00 to FF)\n"
        "> e ffff 1 2\n"
        "e: the bytes run past FFFF\n"
        "> e ffff 7\n"
        "> f 301 302 5a\n"
        "> m 300 303\n"
        "0300  41 5A 5A EE                                      AZZ.\n"
        "> f 302 301 0\n"
        "f: the end comes before the start\n"
        "> m fff0 ffff\n"
        "FFF0  EE EE EE EE EE EE EE EE EE EE EE EE 00 02 00 07  ................\n"
        "> c\n"},
    {"Disassemble",
        "d print 215\n"
        "d 200 205\n"
        "d\n"
        "d 0 4\n"
        "d ffff\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> d print 215\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "0212  8D 01 FF  STA $FF01\n"
        "0215  60        RTS\n"
        "> d 200 205\n"
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "0202  20 10 02  JSR print\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> d\n"
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "0202  20 10 02  JSR print\n"
        "@back:\n"
        "0205  E8        INX\n"
        "0206  E0 02     CPX #$02\n"
        "0208  D0 F8     BNE $0202\n"
        "020A  4C 00 00  JMP $0000\n"
        "020D  00        BRK\n"
        "020E  00        BRK\n"
        "020F  00        BRK\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "0212  8D 01 FF  STA $FF01\n"
        "0215  60        RTS\n"
        "0216  EE EE EE  INC $EEEE\n"
        "0219  EE EE EE  INC $EEEE\n"
        "021C  EE EE EE  INC $EEEE\n"
        "021F  EE EE EE  INC $EEEE\n"
        "> d 0 4\n"
        "0000  EE EE EE  INC $EEEE\n"
        "0003  EE EE EE  INC $EEEE\n"
        "> d ffff\n"
        "FFFF  00        BRK\n"
        "> c\n"},
    {"Labels",
        "l nofile.lbl\n"
        "l bad.lbl\n"
        "l p.lbl\n"
        "b print\n"
        "b\n"
        "d print print\n"
        "c\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> l nofile.lbl\n"
        "can't read label file nofile.lbl\n"
        "> l bad.lbl\n"
        "bad.lbl:2: not a label line (al ADDRESS .name)\n"
        "> l p.lbl\n"
        "4 labels from p.lbl\n"
        "> b print\n"
        "breakpoint 1 at 0210\n"
        "> b\n"
        "1  b 0210  print\n"
        "> d print print\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> c\n"
        "breakpoint 1 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> x\n"},
    {"BadInput",
        "foo\n"
        "b nolabel\n"
        "b 10000\n"
        "bd\n"
        "s x\n"
        "g\n"
        "c 1\n"
        "\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> foo\n"
        "unknown command 'foo' (h for help)\n"
        "> b nolabel\n"
        "b: bad address or unknown label 'nolabel'\n"
        "> b 10000\n"
        "b: bad address or unknown label '10000'\n"
        "> bd\n"
        "bd: usage: bd N\n"
        "> s x\n"
        "s: bad count 'x' (hex, at least 1)\n"
        "> g\n"
        "g: usage: g ADDR\n"
        "> c 1\n"
        "c: takes no arguments\n"
        "> \n"
        "> x\n"},
    {"BreakpointNumbersAreDecimal",
        "b 300\nb 301\nb 302\nb 303\nb 304\nb 305\nb 306\nb 307\nb 308\nb 309\nb 30a\n"
        "bd 10\n"
        "bd a\n"
        "b\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> b 300\nbreakpoint 1 at 0300\n> b 301\nbreakpoint 2 at 0301\n> b 302\nbreakpoint 3 at 0302\n"
        "> b 303\nbreakpoint 4 at 0303\n> b 304\nbreakpoint 5 at 0304\n> b 305\nbreakpoint 6 at 0305\n"
        "> b 306\nbreakpoint 7 at 0306\n> b 307\nbreakpoint 8 at 0307\n> b 308\nbreakpoint 9 at 0308\n"
        "> b 309\nbreakpoint 10 at 0309\n> b 30a\nbreakpoint 11 at 030A\n"
        "> bd 10\n"
        "deleted 10\n"
        "> bd a\n"
        "bd: bad number 'a' (as b lists them)\n"
        "> b\n"
        "1  b 0300\n2  b 0301\n3  b 0302\n4  b 0303\n5  b 0304\n6  b 0305\n7  b 0306\n8  b 0307\n9  b 0308\n"
        "11  b 030A\n"
        "> x\n"},
    {"Expressions",
        "b print+2\n"
        "r a=#65 x=[start+1]+1\n"
        "e 300 'H' %1 -1\n"
        "m 300 302\n"
        "d pc (pc + 2)\n"
        "b 1/0\n"
        "b (start\n"
        "s #1+1\n"
        "c\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> b print+2\n"
        "breakpoint 1 at 0212\n"
        "> r a=#65 x=[start+1]+1\n"
        "PC=0200 A=41 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> e 300 'H' %1 -1\n"
        "> m 300 302\n"
        "0300  48 01 FF                                         H..\n"
        "> d pc (pc + 2)\n"
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "0202  20 10 02  JSR print\n"
        "> b 1/0\n"
        "b: bad address or unknown label '1/0': division by zero at column 2\n"
        "> b (start\n"
        "b: bad address or unknown label '(start': '(' at column 1 is never closed\n"
        "> s #1+1\n"
        "0200  A2 00     LDX #$00           A=41 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  20 10 02  JSR print          A=41 X=00 Y=00 SP=FB NV-BDIZC=00100110\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> c\n"
        "breakpoint 1 at 0212\n"
        "0212  8D 01 FF  STA $FF01\n"
        "> x\n"},
    {"LabelsReloadAndQualify",
        // A rebuilt program's label file, written over the loaded one.
        "e 400 61 6c 20 30 30 30 32 31 32 20 2e 70 72 69 6e 74 0a\n"
        "save p.lbl 400 410\n"
        "l p.lbl\n"
        "b print\n"
        "b start\n"
        "l two.lbl\n"
        "b @loop\n"
        "b sub@loop\n"
        "b @loop@2\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> e 400 61 6c 20 30 30 30 32 31 32 20 2e 70 72 69 6e 74 0a\n"
        "> save p.lbl 400 410\n"
        "saved 0400-0410 (17 bytes) to p.lbl\n"
        "> l p.lbl\n"
        "1 labels from p.lbl\n"
        "> b print\n"
        "breakpoint 1 at 0212\n"
        "> b start\n"
        "b: bad address or unknown label 'start'\n"
        "> l two.lbl\n"
        "4 labels from two.lbl\n"
        "> b @loop\n"
        "b: '@loop' names 2 labels: main@loop (0205), sub@loop (0212)\n"
        "> b sub@loop\n"
        "breakpoint 2 at 0212\n"
        "> b @loop@2\n"
        "breakpoint 3 at 0205\n"
        "> x\n"},
    // Without debug information the source-level commands say so, and
    // function names are no labels.
    {"SourceWithoutDebugInformation",
        "step\n"
        "next\n"
        "finish\n"
        "list\n"
        "bt\n"
        "locals\n"
        "globals\n"
        "print x\n"
        "b x.c:3\n"
        "b main\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> step\n"
        "step: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> next\n"
        "next: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> finish\n"
        "finish: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> list\n"
        "list: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> bt\n"
        "bt: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> locals\n"
        "locals: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> globals\n"
        "globals: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> print x\n"
        "print: no debug information (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> b x.c:3\n"
        "b: no debug information to find 'x.c:3' in (--debug-info FILE, or NAME.dbg beside the image)\n"
        "> b main\n"
        "b: bad address or unknown label 'main'\n"
        "> c\n"},
    {"Help",
        "h\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> h\n"
        "numbers are hex ($ optional, # decimal, % binary); an address or value may be a label, a register\n"
        "or an expression without spaces, like start+3, [ptr], {vec}, x*2\n"
        "  r                    registers and flags\n"
        "  r a=41 pc=0300 c=1   set registers (a x y sp p pc) and flags (n v b d i z c)\n"
        "  ? EXPR               a value in every base, and the label at it\n"
        "  s [N]                step N instructions (1); Enter steps again\n"
        "  n                    step, over a JSR (to the RTS or RTI that returns above its frame)\n"
        "  out                  run until the routine returns\n"
        "  c                    continue\n"
        "  g ADDR               continue at ADDR\n"
        "  until ADDR           continue to ADDR\n"
        "  advance ADDR         continue to ADDR, or until the routine returns\n"
        "  until #N             continue to instruction count N (decimal; deterministic runs)\n"
        "  b [ADDR [pass N] [if EXPR]]  set a breakpoint, or list breakpoints and watchpoints\n"
        "  tbreak ADDR [if EXPR]  a breakpoint deleted where it stops\n"
        "  w ADDR [END] [r|w|rw] [pass N] [if EXPR]  watchpoint on reads and/or writes (rw)\n"
        "  info breakpoints     list breakpoints and watchpoints, as b does\n"
        "  bd N                 delete breakpoint or watchpoint N (decimal, as b lists them)\n"
        "  enable N, disable N  turn breakpoint or watchpoint N on or off\n"
        "  condition N [EXPR]   stop at N only where EXPR is not 0 (no EXPR: always)\n"
        "  ignore N COUNT       let the next COUNT hits of N by (decimal)\n"
        "  commands N           the lines up to end run where N stops; silent first: no word of the stop,\n"
        "                       c among them: the run goes on\n"
        "  display [EXPR]       show EXPR at every stop (alone: show them now)\n"
        "  undisplay N          stop showing display N\n"
        "  info display         list the displays\n"
        "  brk on|off           stop after a BRK, or not\n"
        "  sw                   reset the stopwatch (r shows it)\n"
        "  m ADDR [END]         memory in hex and ASCII (no device action)\n"
        "  e ADDR BYTE...       enter bytes\n"
        "  f START END BYTE     fill\n"
        "  d [ADDR [END]]       disassemble (from pc)\n"
        "  a ADDR [INSTRUCTION] assemble one instruction; without one, a line each until an empty line\n"
        "  hunt START END BYTE|\"TEXT\"|?...  find bytes (? for any)\n"
        "  compare START END OTHER  the bytes that differ\n"
        "  move START END TO    copy memory (overlapping ranges come out whole)\n"
        "  l FILE               load labels (ld65 -Ln format), replacing those of the same file\n"
        "  lc [FILE]            clear the labels (of that file)\n"
        "  trace FILE | off     disassembled trace to FILE\n"
        "  save FILE START END  memory to a file\n"
        "  load FILE ADDR       a file into memory\n"
        "  back [N]             step N instructions (1) backwards; Enter goes on (deterministic runs)\n"
        "  rc                   run backwards to the last breakpoint or watchpoint hit (deterministic runs)\n"
        "  hist on, hist off    keep the history of instructions run from here on, or not\n"
        "  hist [N]             the last N (16) instructions run and interrupts, with their registers\n"
        "  q                    end the run as Ctrl-C does (nothing saved)\n"
        "  x                    leave the monitor; the run goes on to its end\n"
        "  h, ?                 this help\n"
        "Enter alone repeats s and n, and goes on after m and d.\n"
        "Ctrl-] brings the monitor back while the program runs. At a halt the monitor\n"
        "stops first; b 0 stops it at the end of the run. There, a command that goes\n"
        "on ends the run, unless pc was moved (g ADDR, r pc=ADDR) or the run taken back.\n"
        "with debug information (--debug-info FILE, or NAME.dbg beside the image):\n"
        "  b FILE:LINE          breakpoint on a source line (or the next line with code)\n"
        "  b FUNCTION           breakpoint at a C function or an assembly routine;\n"
        "                       tbreak, until and advance take FILE:LINE and FUNCTION too\n"
        "  step                 step a source line, into calls\n"
        "  next                 step a source line, over calls\n"
        "  finish               run until the function returns, on to a line of its caller\n"
        "  list [WHERE]         source around pc's line, or FILE:LINE, FUNCTION, LINE; again: on\n"
        "  bt                   the calls that led here\n"
        "  locals               the current C function's parameters and locals\n"
        "  globals              the C variables outside functions\n"
        "  print NAME           one C variable\n"
        "> x\n"},
    {"Quit",
        "s\n"
        "q\n",
     "", -2,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> s\n"
        "0200  A2 00     LDX #$00           A=00 X=00 Y=00 SP=FD NV-BDIZC=00100110\n"
        "0202  20 10 02  JSR print\n"
        "> q\n"},
    {"FileTextShownEscaped",
        "l esc.lbl\n"
        "d 0212 0212\n"
        "l long.lbl\n"
        "l fifo.lbl\n"
        "r\x1B\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> l esc.lbl\n"
        "1 labels from esc.lbl\n"
        "> d 0212 0212\n"
        "pr\\x1B[2Jint:\n"
        "0212  8D 01 FF  STA $FF01\n"
        "> l long.lbl\n"
        "long.lbl:1: not a label line (al ADDRESS .name)\n"
        "> l fifo.lbl\n"
        "can't read label file fifo.lbl: not a regular file\n"
        "> r\\x1B\n"
        "unknown command 'r\\x1B' (h for help)\n"
        "> x\n"},
    // Off until hist on; then each instruction with the registers it
    // found, threaded or stepped; the one a breakpoint stopped before has
    // not run. hist on again after hist off starts afresh.
    {"History",
        "hist\nhist on\nhist\nb print\nc\nc\nhist 3\nhist #5\nhist 0\nhist x\nhist zz\nhist 10001\nhist 1 2\nbd 1\ns 2\nhist 2\nhist off\nhist 2\nhist on\nhist\nc\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> hist\n"
        "hist: the history is off; hist on keeps it from here on\n"
        "> hist on\n"
        "history on: instructions are kept from here on\n"
        "> hist\n"
        "hist: no instructions run since hist on\n"
        "> b print\n"
        "breakpoint 1 at 0210\n"
        "> c\n"
        "breakpoint 1 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> c\n"
        "breakpoint 1 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> hist 3\n"
        "0206  E0 02     CPX #$02           A=48 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0208  D0 F8     BNE $0202          A=48 X=01 Y=00 SP=FD NV-BDIZC=10100100\n"
        "0202  20 10 02  JSR print          A=48 X=01 Y=00 SP=FD NV-BDIZC=10100100\n"
        "> hist #5\n"
        "0215  60        RTS                A=48 X=00 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0205  E8        INX                A=48 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0206  E0 02     CPX #$02           A=48 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "0208  D0 F8     BNE $0202          A=48 X=01 Y=00 SP=FD NV-BDIZC=10100100\n"
        "0202  20 10 02  JSR print          A=48 X=01 Y=00 SP=FD NV-BDIZC=10100100\n"
        "> hist 0\n"
        "hist: bad count '0' (hex, 1 to 10000)\n"
        "> hist x\n"
        "0202  20 10 02  JSR print          A=48 X=01 Y=00 SP=FD NV-BDIZC=10100100\n"
        "> hist zz\n"
        "hist: bad count 'zz' (hex, 1 to 10000)\n"
        "> hist 10001\n"
        "hist: bad count '10001' (hex, 1 to 10000)\n"
        "> hist 1 2\n"
        "hist: usage: hist [N|on|off]\n"
        "> bd 1\n"
        "deleted 1\n"
        "> s 2\n"
        "0210  A9 48     LDA #$48           A=48 X=01 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0212  8D 01 FF  STA $FF01          A=48 X=01 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0215  60        RTS\n"
        "> hist 2\n"
        "0210  A9 48     LDA #$48           A=48 X=01 Y=00 SP=FB NV-BDIZC=10100100\n"
        "0212  8D 01 FF  STA $FF01          A=48 X=01 Y=00 SP=FB NV-BDIZC=00100100\n"
        "> hist off\n"
        "history off\n"
        "> hist 2\n"
        "hist: the history is off; hist on keeps it from here on\n"
        "> hist on\n"
        "history on: instructions are kept from here on\n"
        "> hist\n"
        "hist: no instructions run since hist on\n"
        "> c\n"},
    {"Leave",
        "b print\n"
        "x\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> b print\n"
        "breakpoint 1 at 0210\n"
        "> x\n"},
    // gdb's daily commands.
    {"TemporaryBreakpoint",
        "tbreak print\n"
        "b\n"
        "c\n"
        "b\n"
        "tbreak\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> tbreak print\n"
        "temporary breakpoint 1 at 0210\n"
        "> b\n"
        "1  b 0210  temporary  print\n"
        "> c\n"
        "temporary breakpoint 1 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> b\n"
        "no breakpoints or watchpoints\n"
        "> tbreak\n"
        "tbreak: usage: tbreak ADDR [if EXPR]\n"
        "> c\n"},
    {"DisplayAtEveryStop",
        "display x\n"
        "display [0]\n"
        "display (1\n"
        "display nolabel\n"
        "b print\n"
        "c\n"
        "n\n"
        "info display\n"
        "undisplay 1\n"
        "undisplay 5\n"
        "display\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> display x\n"
        "1: x = $00  0  %00000000\n"
        "> display [0]\n"
        "2: [0] = $EE  238  %11101110\n"
        "> display (1\n"
        "display: '(' at column 1 is never closed\n"
        "> display nolabel\n"
        "display: unknown label 'nolabel'\n"
        "> b print\n"
        "breakpoint 1 at 0210\n"
        "> c\n"
        "breakpoint 1 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "1: x = $00  0  %00000000\n"
        "2: [0] = $EE  238  %11101110\n"
        "> n\n"
        "0210  A9 48     LDA #$48           A=48 X=00 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0212  8D 01 FF  STA $FF01\n"
        "1: x = $00  0  %00000000\n"
        "2: [0] = $EE  238  %11101110\n"
        "> info display\n"
        "1  x\n"
        "2  [0]\n"
        "> undisplay 1\n"
        "undisplay 1\n"
        "> undisplay 5\n"
        "undisplay: no display 5\n"
        "> display\n"
        "2: [0] = $EE  238  %11101110\n"
        "> c\n"
        "breakpoint 1 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "2: [0] = $EE  238  %11101110\n"},
    {"BreakpointCommands",
        "b print\n"
        "commands 1\n"
        "silent\n"
        "r\n"
        "c\n"
        "end\n"
        "b @back\n"
        "commands 2\n"
        "  ? x\n"
        "end\n"
        "commands 9\n"
        "c\n"
        "end\n"
        "info breakpoints\n"
        "c\n"
        "bd 2\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> b print\n"
        "breakpoint 1 at 0210\n"
        "> commands 1\n"
        "> silent\n"
        "> r\n"
        "> c\n"
        "> end\n"
        "1: 3 commands where it stops\n"
        "> b @back\n"
        "breakpoint 2 at 0205\n"
        "> commands 2\n"
        ">   ? x\n"
        "> end\n"
        "2: 1 command where it stops\n"
        "> commands 9\n"
        "> c\n"
        "> end\n"
        "commands: no breakpoint or watchpoint 9; the lines up to end were dropped\n"
        "> info breakpoints\n"
        "1  b 0210  print\n"
        "        silent\n"
        "        r\n"
        "        c\n"
        "2  b 0205  @back\n"
        "        ? x\n"
        "> c\n"
        "PC=0210 A=00 X=00 Y=00 SP=FB NV-BDIZC=00100110\n"
        "breakpoint 2 at 0205\n"
        "@back:\n"
        "0205  E8        INX\n"
        "$00  0  %00000000\n"
        "> bd 2\n"
        "deleted 2\n"
        "> c\n"
        "PC=0210 A=48 X=01 Y=00 SP=FB NV-BDIZC=10100100\n"},
    {"ConditionAndIgnore",
        "b @back\n"
        "ignore 1 1\n"
        "b print if x==0\n"
        "condition 2 x==1\n"
        "c\n"
        "r\n"
        "info b\n"
        "condition 2\n"
        "c\n"
        "r\n"
        "condition 3 x\n"
        "condition 1 nolabel\n"
        "ignore 3 1\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> b @back\n"
        "breakpoint 1 at 0205\n"
        "> ignore 1 1\n"
        "1: the next hit is let by\n"
        "> b print if x==0\n"
        "breakpoint 2 at 0210\n"
        "> condition 2 x==1\n"
        "2: stops if x==1\n"
        "> c\n"
        "breakpoint 2 at 0210\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> r\n"
        "PC=0210 A=48 X=01 Y=00 SP=FB NV-BDIZC=10100100\n"
        "> info b\n"
        "1  b 0205  pass 1  hit 1  @back\n"
        "2  b 0210  if x==1  hit 2  print\n"
        "> condition 2\n"
        "2: no condition now\n"
        "> c\n"
        "breakpoint 1 at 0205\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> r\n"
        "PC=0205 A=48 X=01 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> condition 3 x\n"
        "condition: no breakpoint or watchpoint 3\n"
        "> condition 1 nolabel\n"
        "condition: bad condition 'nolabel': unknown label 'nolabel'\n"
        "> ignore 3 1\n"
        "ignore: no breakpoint or watchpoint 3\n"
        "> c\n"},
    {"UntilAndAdvance",
        "advance print\n"
        "advance 20a\n"
        "r\n"
        "until 20a\n"
        "r\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> advance print\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> advance 20a\n"
        "0215  60        RTS                A=48 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> r\n"
        "PC=0205 A=48 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "> until 20a\n"
        "020A  4C 00 00  JMP $0000\n"
        "> r\n"
        "PC=020A A=48 X=02 Y=00 SP=FD NV-BDIZC=00100111\n"
        "> c\n"},
};

class MonitorCommands : public testing::TestWithParam<CommandCase> {};

TEST_P(MonitorCommands, ExactConversation) {
    const CommandCase& c = GetParam();
    TempDir dir;
    prepare(dir, c.commands);
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--labels", "p.lbl", "--commands", "c", "p.bin"});
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    if (c.status < 0) EXPECT_EQ(r.term_signal, -c.status);
    else EXPECT_EQ(r.exit_code, c.status);
}

INSTANTIATE_TEST_SUITE_P(Families, MonitorCommands, testing::ValuesIn(COMMAND_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The monitor runs and shows the chosen processor: a 65C02 program steps
// through its own instructions, and its halt ends the run as it would
// without the monitor.
TEST(MonitorProcessors, StepsAndHaltsTheChosenChip) {
    TempDir dir;
    // STZ $10; BRA +0; LDA ($10); STP
    dir.write("p.bin", Bytes{0x64, 0x10, 0x80, 0x00, 0xB2, 0x10, 0xDB});
    dir.write("c", std::string("s 3\nc\n"));
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--cpu", "65C02", "--commands", "c", "p.bin"});
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_EQ(r.err,
              "0200  64 10     STZ $10\n"
              "> s 3\n"
              "0200  64 10     STZ $10            A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
              "0202  80 00     BRA $0204          A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
              "0204  B2 10     LDA ($10)          A=EE X=00 Y=00 SP=FD NV-BDIZC=10100100\n"
              "0206  DB        STP\n"
              "> c\n"
              "processor halted by STP opcode $DB at $0206\n"
              "0206  DB        STP\n"
              "processor halted by STP opcode $DB at $0206; memory not saved.\n");
}

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
        "back: can't go 16800000 back from instruction count 17000000: the earliest a step back reaches is 229376 (older states are not kept; see the README)\n"
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
    prepare(dir, "trace t.txt\ns 2\ntrace off\nsave s.bin 210 215\nload s.bin 300\nm 300 305\nload none 300\n"
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
    prepare(dir, "");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--profile", "prof.txt", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    EXPECT_EQ(r.err, "profile: 54 cycles; the hottest routines:\n           30   55.6%  0200\n           24   44.4%  0210\n");
}

TEST(MonitorOptions, LabelsWithoutTheMonitorAreSaidUnused) {
    for (const char* file : {"p.lbl", "none.lbl"}) {
        SCOPED_TRACE(file);
        TempDir dir;
        prepare(dir, "");
        const RunResult r = e2e::run_emulator(dir, {"--clean", "--labels", file, "p.bin"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, "HH");
        EXPECT_EQ(r.err, std::string("emu6502: labels '") + file +
                             "' not used: they serve --monitor, --commands and --profile.\n");
    }
}

TEST(MonitorOptions, BadFilesAreOneLineAndTheRunGoesOn) {
    TempDir dir;
    prepare(dir, "");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--labels", "none.lbl", "--commands", "none", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    EXPECT_EQ(r.err, "can't read label file none.lbl\ncan't read command file none\n0200  A2 00     LDX #$00\n");
}

// A FIFO or a device named as a label file is refused at once: reading
// one would wait for a writer that never comes.
TEST(MonitorOptions, LabelsFromAFifoOrADeviceAreRefused) {
    TempDir dir;
    prepare(dir, "l fifo\nl /dev/zero\n");
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
    prepare(dir, "");
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--monitor", "p.bin"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "HH");
    EXPECT_EQ(r.err, "monitor: no terminal to talk on; the run goes on without it.\n");
}

TEST(MonitorOptions, InstructionLimitStillCounts) {
    TempDir dir;
    prepare(dir, "s 2\nc\n");
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

// ---- debug information ----------------------------------------------------------

// The kit's C hello world with its debug file, as the examples ship them,
// under other names or damaged. With the monitor, NAME.dbg beside the image
// is read by itself; a bad file is one line and the run goes on.
struct DebugInfoCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // name: example file, or "=text"
    std::vector<std::string> args;
    std::string err_before_stop;  // what comes before the monitor's first stop
    bool monitor = true;          // --commands c is given, c holding "c"
    const char* at_stop = "";     // the source line the first stop shows (its file is not there)
};

constexpr const char* START_LINE = "../sdk/crt0.s:15\nstart:\n";

const DebugInfoCase DEBUG_INFO_CASES[] = {
    {"found_beside_the_image", {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "c_hello.dbg"}}, {"hello.bin"},
     "emu6502: source lines from 'hello.dbg'.\n", true, START_LINE},
    {"found_beside_an_image_without_extension", {{"hello", "c_hello.bin"}, {"hello.dbg", "c_hello.dbg"}}, {"hello"},
     "emu6502: source lines from 'hello.dbg'.\n", true, START_LINE},
    {"nothing_beside_the_image", {{"hello.bin", "c_hello.bin"}}, {"hello.bin"}, ""},
    {"given_is_not_announced", {{"hello.bin", "c_hello.bin"}, {"d", "c_hello.dbg"}}, {"--debug-info", "d", "hello.bin"},
     "", true, START_LINE},
    {"given_wins_over_the_one_beside",
     {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "=version\tmajor=9,minor=0\n"}, {"d", "c_hello.dbg"}},
     {"--debug-info=d", "hello.bin"}, "", true, START_LINE},
    {"given_missing", {{"hello.bin", "c_hello.bin"}}, {"--debug-info", "none.dbg", "hello.bin"},
     "emu6502: debug information 'none.dbg' not used: can't read it: No such file or directory.\n"},
    {"given_is_a_folder", {{"hello.bin", "c_hello.bin"}}, {"--debug-info", ".", "hello.bin"},
     "emu6502: debug information '.' not used: can't read it: Is a directory.\n"},
    {"other_version", {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "=version\tmajor=3,minor=1\n"}}, {"hello.bin"},
     "emu6502: debug information 'hello.dbg' not used: version 3.1, this emulator reads version 2.\n"},
    {"truncated", {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "=version\tmajor=2,minor=0\ninfo\tcsym=2,file=1"}},
     {"hello.bin"}, "emu6502: debug information 'hello.dbg' not used: truncated: line 2 ends without a newline.\n"},
    {"not_a_debug_file", {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "c_hello.bin"}}, {"hello.bin"},
     "emu6502: debug information 'hello.dbg' not used: not a cc65 linker debug file (it does not start with a "
     "version line).\n"},
    {"for_another_image", {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "c_greet.dbg"}}, {"hello.bin"},
     "emu6502: debug information 'hello.dbg' not used: for another image: its CODE segment ends at byte 2738, the "
     "image has 2714.\n"},
    {"given_for_another_image", {{"hello.bin", "c_hello.bin"}}, {"--debug-info", "GREET", "hello.bin"},
     "emu6502: debug information 'GREET' not used: for another image: its CODE segment ends at byte 2738, the "
     "image has 2714.\n"},
    // Without the monitor nothing shows source lines: nothing is looked for,
    // but a file asked for is still checked.
    {"plain_run_looks_for_nothing", {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "=junk\n"}}, {"hello.bin"}, "",
     false},
    {"plain_run_checks_a_given_file", {{"hello.bin", "c_hello.bin"}, {"d", "=junk\n"}},
     {"--debug-info", "d", "hello.bin"},
     "emu6502: debug information 'd' not used: not a cc65 linker debug file (it does not start with a version "
     "line).\n",
     false},
};

void PrintTo(const DebugInfoCase& c, std::ostream* os) { *os << c.name; }

class MonitorDebugInfo : public ::testing::TestWithParam<DebugInfoCase> {};

TEST_P(MonitorDebugInfo, OneLineAndTheRunGoesOn) {
    const DebugInfoCase& c = GetParam();
    TempDir dir;
    const std::string examples = e2e::source_dir() + "/examples/";
    const auto example = [&](const std::string& name) {
        std::ifstream in(examples + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    for (const auto& [name, from] : c.files) dir.write(name, from[0] == '=' ? from.substr(1) : example(from));
    dir.write("c", std::string("c\n"));
    std::vector<std::string> args{"--clean"};
    if (c.monitor) args.insert(args.end(), {"--commands", "c"});
    for (const std::string& arg : c.args) args.push_back(arg == "GREET" ? examples + "c_greet.dbg" : arg);
    const RunResult r = e2e::run_emulator(dir, args);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Hello from C on the 6502!\n");
    std::string err = c.err_before_stop;
    for (std::size_t at; (at = err.find("GREET")) != std::string::npos;) err.replace(at, 5, examples + "c_greet.dbg");
    EXPECT_EQ(r.err, err + c.at_stop + (c.monitor ? "0200  78        SEI\n> c\n" : ""));
}

INSTANTIATE_TEST_SUITE_P(Files, MonitorDebugInfo, ::testing::ValuesIn(DEBUG_INFO_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- at source level --------------------------------------------------------------

// The examples as they ship, with their debug files: sources found beside
// them, the program's keys from standard input.
struct SourceCase {
    const char* name;
    const char* example;
    std::vector<std::string> args;
    const char* keys;
    const char* commands;
    const char* out;
    int status;  // exit status, or minus the signal
    const char* err;
};
void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

const SourceCase SOURCE_CASES[] = {
    // Places as FILE:LINE and FUNCTION for tbreak, until and advance; a
    // display of a C variable, which says so where it is out of scope.
    {"GdbPlacesAndDisplay", "c_greet", {}, "ada\n",
        "tbreak c_greet.c:26\n"
        "c\n"
        "b\n"
        "until c_greet.c:30\n"
        "display i\n"
        "advance main\n"
        "tbreak emu_getline\n"
        "c\n",
        "What is your name? ada\n"
        "Hello, Ada! Your name has 3 characters.\n"
        "Backwards: adA\n",
     0,
        "../sdk/crt0.s:15  start:  sei                     ; no IRQ handler: with the default vector\n"
        "start:\n"
        "0200  78        SEI\n"
        "> tbreak c_greet.c:26\n"
        "temporary breakpoint 1 at 025E\n"
        "> c\n"
        "temporary breakpoint 1 at 025E\n"
        "c_greet.c:26  name[0] = toupper(name[0]);\n"
        "025E  AD 0E 0E  LDA _name\n"
        "> b\n"
        "no breakpoints or watchpoints\n"
        "> until c_greet.c:30\n"
        "c_greet.c:30  putchar(name[i - 1]);\n"
        "029C  20 6A 08  JSR $086A\n"
        "> display i\n"
        "1: i = 3 ($03)\n"
        "> advance main\n"
        "097A  60        RTS                A=00 X=00 Y=04 SP=FF NV-BDIZC=10100100\n"
        "../sdk/crt0.s:33  _exit:  pha\n"
        "_exit:\n"
        "0216  48        PHA\n"
        "1: i: no C variable 'i' here (locals and globals list them)\n"
        "> tbreak emu_getline\n"
        "temporary breakpoint 2 at 0305\n"
        "> c\n"},
    // The README's worked session: a stray write found by running back
    // from where its value shows.
    {"StepsBackToAStrayWrite", "lives", {"--deterministic"}, "",
        "b show\n"
        "c\n"
        "? [lives]\n"
        "w lives w\n"
        "rc\n"
        "r\n"
        "back\n"
        "back\n"
        "r\n"
        "q\n",
        "", -2,
        "lives.s:10  start:  lda #3\n"
        "start:\n"
        "0200  A9 03     LDA #$03\n"
        "> b show\n"
        "breakpoint 1 at 0217\n"
        "> c\n"
        "breakpoint 1 at 0217\n"
        "lives.s:22  show:   lda lives\n"
        "show:\n"
        "0217  AD 2B 02  LDA lives\n"
        "> ? [lives]\n"
        "$64  100  %01100100  'd'\n"
        "> w lives w\n"
        "watchpoint 2 on 022B w\n"
        "> rc\n"
        "watchpoint: write 022B = 64 (was 03) by 020F\n"
        "lives.s:19  inx\n"
        "0212  E8        INX\n"
        "> r\n"
        "PC=0212 A=64 X=08 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 72, cycle count 199\n"
        "cycles: -6 since the last stop, 199 on the stopwatch (sw resets it)\n"
        "> back\n"
        "lives.s:18  sta name,x\n"
        "020F  9D 23 02  STA name,X\n"
        "> back\n"
        "lives.s:17  adc #'a'\n"
        "020D  69 61     ADC #$61\n"
        "> r\n"
        "PC=020D A=03 X=08 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 70, cycle count 192\n"
        "cycles: -2 since the last stop, 192 on the stopwatch (sw resets it)\n"
        "> q\n"},
    // A line without code takes the next; next runs calls through (the
    // name typed is read meanwhile); locals at the entry are not made yet.
    {"CBreakpointsStepsAndValues", "c_greet", {}, "Ada\n",
        "b c_greet.c:21\n"
        "b main\n"
        "c\n"
        "locals\n"
        "next\n"
        "next\n"
        "locals\n"
        "print length\n"
        "print name\n"
        "print nothing\n"
        "globals\n"
        "list\n"
        "list\n"
        "list 3\n"
        "bt\n"
        "step\n"
        "c\n",
        "What is your name? Ada\n"
        "Hello, Ada! Your name has 3 characters.\n"
        "Backwards: adA\n", 0,
        "../sdk/crt0.s:15  start:  sei                     ; no IRQ handler: with the default vector\n"
        "start:\n"
        "0200  78        SEI\n"
        "> b c_greet.c:21\n"
        "c_greet.c:21 has no code: line 22 is the next that has\n"
        "breakpoint 1 at 0248\n"
        "> b main\n"
        "breakpoint 2 at 022E\n"
        "> c\n"
        "breakpoint 2 at 022E\n"
        "c_greet.c:19  emu_puts(\"What is your name? \");\n"
        "_main:\n"
        "022E  20 71 08  JSR $0871\n"
        "> locals\n"
        "(at the entry of main: its frame is not made yet)\n"
        "length = ?\n"
        "i = ?\n"
        "> next\n"
        "c_greet.c:20  length = emu_getline(name, sizeof name); /* echoes what is typed */\n"
        "0238  A9 0E     LDA #$0E\n"
        "> next\n"
        "c_greet.c:22  if (length == 0) {\n"
        "0248  B1 02     LDA ($02),Y\n"
        "> locals\n"
        "length = 3 ($03)\n"
        "i = 238 (-18, $EE)\n"
        "> print length\n"
        "length = 3 ($03)\n"
        "> print name\n"
        "name = 41 64 61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \"Ada\"\n"
        "> print nothing\n"
        "print: no C variable 'nothing' here (locals and globals list them)\n"
        "> globals\n"
        "name = 41 64 61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \"Ada\"\n"
        "> list\n"
        "    17      unsigned char i;\n"
        "    18\n"
        "    19      emu_puts(\"What is your name? \");\n"
        "    20      length = emu_getline(name, sizeof name); /* echoes what is typed */\n"
        "    21\n"
        ">   22      if (length == 0) {\n"
        "    23          printf(\"Hello, stranger!\\n\");\n"
        "    24          exit(0); /* ends the run at once, like returning from main */\n"
        "    25      }\n"
        "    26      name[0] = toupper(name[0]);\n"
        "    27      printf(\"Hello, %s! Your name has %u characters.\\n\", name, length);\n"
        "> list\n"
        "    28      printf(\"Backwards: \");\n"
        "    29      for (i = length; i > 0; --i) {\n"
        "    30          putchar(name[i - 1]);\n"
        "    31      }\n"
        "    32      putchar('\\n');\n"
        "    33      return 0;\n"
        "    34  }\n"
        "> list 3\n"
        "     1  /* c_greet.c - asks for a name, greets, and tells how long the name is.\n"
        "     2   *\n"
        "     3   * Build:  sdk/build.sh examples/c_greet.bin examples/c_greet.c\n"
        "     4   * Run:    build/emu6502 examples/c_greet.bin                (type a name)\n"
        "     5   *         echo Ada | build/emu6502 examples/c_greet.bin -i\n"
        "     6   */\n"
        "     7  #include <stdio.h>\n"
        "     8  #include <ctype.h>\n"
        "     9  #include <stdlib.h>\n"
        "    10  #include \"emu6502.h\"\n"
        "    11\n"
        "> bt\n"
        "#0  0248  main  c_greet.c:22\n"
        "#1  0213  start+19  ../sdk/crt0.s:27\n"
        "> step\n"
        "c_greet.c:26  name[0] = toupper(name[0]);\n"
        "025E  AD 0E 0E  LDA _name\n"
        "> c\n"},
    // From C into the kit's assembly and back out; out of main into the
    // start-up code.
    {"CStepIntoAssemblyAndOut", "c_greet", {}, "Ada\n",
        "step\n"
        "b main\n"
        "c\n"
        "step\n"
        "bt\n"
        "locals\n"
        "list\n"
        "finish\n"
        "bt\n"
        "finish\n"
        "c\n",
        "What is your name? Ada\n"
        "Hello, Ada! Your name has 3 characters.\n"
        "Backwards: adA\n", 0,
        "../sdk/crt0.s:15  start:  sei                     ; no IRQ handler: with the default vector\n"
        "start:\n"
        "0200  78        SEI\n"
        "> step\n"
        "../sdk/crt0.s:18  cld\n"
        "0201  D8        CLD\n"
        "> b main\n"
        "breakpoint 1 at 022E\n"
        "> c\n"
        "breakpoint 1 at 022E\n"
        "c_greet.c:19  emu_puts(\"What is your name? \");\n"
        "_main:\n"
        "022E  20 71 08  JSR $0871\n"
        "> step\n"
        "../sdk/console.s:53  sta     ptr1\n"
        "_emu_puts:\n"
        "02E2  85 0A     STA $0A\n"
        "> bt\n"
        "#0  02E2  _emu_puts  ../sdk/console.s:53\n"
        "#1  0235  main  c_greet.c:19\n"
        "#2  0213  start+19  ../sdk/crt0.s:27\n"
        "> locals\n"
        "locals: 02E2 (_emu_puts) is not in a C function\n"
        "> list\n"
        "    48          sta     CON_OUT\n"
        "    49          rts\n"
        "    50\n"
        "    51  ; void emu_puts(const char* s)\n"
        "    52  _emu_puts:\n"
        ">   53          sta     ptr1\n"
        "    54          stx     ptr1+1\n"
        "    55          ldy     #0\n"
        "    56  @next:  lda     (ptr1),y\n"
        "    57          beq     @done\n"
        "    58          sta     CON_OUT\n"
        "> finish\n"
        "c_greet.c:20  length = emu_getline(name, sizeof name); /* echoes what is typed */\n"
        "0238  A9 0E     LDA #$0E\n"
        "> bt\n"
        "#0  0238  main  c_greet.c:20\n"
        "#1  0213  start+19  ../sdk/crt0.s:27\n"
        "> finish\n"
        "../sdk/crt0.s:33  _exit:  pha\n"
        "_exit:\n"
        "0216  48        PHA\n"
        "> c\n"},
    // Assembly: a breakpoint on a routine, into a call, out of two.
    {"AssemblyStepsCallsAndList", "notes", {"--deterministic"}, "milk\nq\n",
        "b notes.s:271\n"
        "b print_two_digits\n"
        "bd 1\n"
        "c\n"
        "bt\n"
        "step\n"
        "bt\n"
        "finish\n"
        "next\n"
        "next\n"
        "finish\n"
        "list print_two_digits\n"
        "locals\n"
        "b notes.s:400\n"
        "q\n",
        "\x1B[2J\x1B[H\x1B[1;33mnotes\x1B[0m  2000", -2,
        "notes.s:27  start:  sei             ; the timer's default vector, 0x0000, holds no handler\n"
        "start:\n"
        "0200  78        SEI\n"
        "> b notes.s:271\n"
        "notes.s:271 has no code: line 273 is the next that has\n"
        "breakpoint 1 at 03CF\n"
        "> b print_two_digits\n"
        "breakpoint 2 at 03CF\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"
        "breakpoint 2 at 03CF\n"
        "notes.s:273  jsr split_digits\n"
        "print_two_digits:\n"
        "03CF  20 48 03  JSR split_digits\n"
        "> bt\n"
        "#0  03CF  print_two_digits  notes.s:273\n"
        "#1  036A  draw_screen+20  notes.s:230\n"
        "#2  0210  redraw  notes.s:35\n"
        "> step\n"
        "notes.s:210  ldx #'0'\n"
        "split_digits:\n"
        "0348  A2 30     LDX #$30\n"
        "> bt\n"
        "#0  0348  split_digits  notes.s:210\n"
        "#1  03CF  print_two_digits  notes.s:273\n"
        "#2  036A  draw_screen+20  notes.s:230\n"
        "#3  0210  redraw  notes.s:35\n"
        "> finish\n"
        "notes.s:274  stx CON_OUT\n"
        "03D2  8E 01 FF  STX $FF01\n"
        "> next\n"
        "notes.s:275  sta CON_OUT\n"
        "03D5  8D 01 FF  STA $FF01\n"
        "> next\n"
        "notes.s:276  rts\n"
        "03D8  60        RTS\n"
        "> finish\n"
        "notes.s:231  lda #'-'\n"
        "036D  A9 2D     LDA #$2D\n"
        "> list print_two_digits\n"
        "   268          inc src+1\n"
        "   269          jmp @next\n"
        "   270  @done:  rts\n"
        "   271\n"
        "   272  print_two_digits:\n"
        "   273          jsr split_digits\n"
        "   274          stx CON_OUT\n"
        "   275          sta CON_OUT\n"
        "   276          rts\n"
        "   277\n"
        "   278  ; Prints the zero-terminated string at A (low), Y (high).\n"
        "> locals\n"
        "locals: 036D (draw_screen+23) is not in a C function\n"
        "> b notes.s:400\n"
        "b: no code at or after notes.s:400\n"
        "> q\n"},
    // A C function with parameters, called from a loop; cursor down, Enter.
    {"CParametersAndCalls", "c_menu", {"--deterministic"}, "\x1B[B\r",
        "b show\n"
        "c\n"
        "c\n"
        "locals\n"
        "bt\n"
        "next\n"
        "locals\n"
        "print item\n"
        "globals\n"
        "finish\n"
        "locals\n"
        "bd 1\n"
        "b c_menu.c:47\n"
        "c\n"
        "print key\n"
        "c\n",
        "\x1B[H\x1B[2J\x1B[33m\x1B[2;3H\x1B(0l\x1B(B\x1B(0qqqqqqqqqq\x1B(B\x1B(0k\x1B(B\x1B[3;3H\x1B(0x"
        "\x1B[4;3Hx\x1B[5;3Hx\x1B[6;3H\x1B(B\x1B[3;14H\x1B(0x\x1B[4;14Hx\x1B[5;14Hx\x1B[6;14H\x1B(B"
        "\x1B[6;3H\x1B(0m\x1B(B\x1B(0qqqqqqqqqq\x1B(B\x1B(0j\x1B(B\x1B[37m\x1B[7m\x1B[3;5HTea\x1B[27m\x1B[27m"
        "\x1B[4;5HCoffee\x1B[27m\x1B[27m\x1B[5;5HWater\x1B[27m\x1B[27m\x1B[3;5HTea\x1B[27m\x1B[7m"
        "\x1B[4;5HCoffee\x1B[27m\x1B[8;1HCoffee, then.\r\n", 0,
        "../sdk/crt0.s:15  start:  sei                     ; no IRQ handler: with the default vector\n"
        "start:\n"
        "0200  78        SEI\n"
        "> b show\n"
        "breakpoint 1 at 022E\n"
        "> c\n"
        "breakpoint 1 at 022E\n"
        "c_menu.c:17  {\n"
        "_show:\n"
        "022E  20 37 0B  JSR $0B37\n"
        "> c\n"
        "breakpoint 1 at 022E\n"
        "c_menu.c:17  {\n"
        "_show:\n"
        "022E  20 37 0B  JSR $0B37\n"
        "> locals\n"
        "(at the entry of show: its frame is not made yet)\n"
        "i = ?\n"
        "on = ?\n"
        "> bt\n"
        "#0  022E  show  c_menu.c:17\n"
        "#1  02EB  main  c_menu.c:41\n"
        "#2  0213  start+19  ../sdk/crt0.s:27\n"
        "> next\n"
        "c_menu.c:18  revers(on);\n"
        "0231  A0 00     LDY #$00\n"
        "> locals\n"
        "i = ? (size not known; at FEF8: 01 EE)\n"
        "on = 0 ($00)\n"
        "> print item\n"
        "item = 5F 11 52 11 59 11\n"
        "> globals\n"
        "item = 5F 11 52 11 59 11\n"
        "pushed = 0 ($00)\n"
        "ready = 0 ($00)\n"
        "> finish\n"
        "c_menu.c:40  for (i = 0; i < ITEMS; ++i) {\n"
        "02EE  A0 01     LDY #$01\n"
        "> locals\n"
        "chosen = 0 ($00)\n"
        "i = 1 ($01)\n"
        "key = 238 (-18, $EE)\n"
        "> bd 1\n"
        "deleted 1\n"
        "> b c_menu.c:47\n"
        "c_menu.c:47 has no code: line 48 is the next that has\n"
        "breakpoint 2 at 030C\n"
        "> c\n"
        "breakpoint 2 at 030C\n"
        "c_menu.c:48  if (key == CH_CURS_UP || key == CH_CURS_DOWN) {\n"
        "030C  C9 91     CMP #$91\n"
        "> print key\n"
        "key = 146 (-110, $92)\n"
        "> c\n"},
    // Each a one-line message; finish where nothing called the code.
    {"BadInputIsOneLine", "echo", {}, "q",
        "finish\n"
        "b nothere\n"
        "list nothere\n"
        "b echo.s:99\n"
        "b nofile.s:3\n"
        "list nofile.s:3\n"
        "list 99\n"
        "list 12\n"
        "list\n"
        "print\n"
        "step 2\n"
        "locals\n"
        "globals\n"
        "c\n",
        "Type something (Enter or q ends):\r\n"
        "\r\n"
        "Bye.\r\n", 0,
        "echo.s:10  start:  sei                     ; no IRQ handler installed\n"
        "start:\n"
        "0200  78        SEI\n"
        "> finish\n"
        "finish: no caller on the stack (bt shows none); c runs on\n"
        "> b nothere\n"
        "b: bad address or unknown label 'nothere'\n"
        "> list nothere\n"
        "list: no function 'nothere' in the debug information\n"
        "> b echo.s:99\n"
        "b: no code at or after echo.s:99\n"
        "> b nofile.s:3\n"
        "b: no source file 'nofile.s' in the debug information\n"
        "> list nofile.s:3\n"
        "list: no source file 'nofile.s' in the debug information\n"
        "> list 99\n"
        "list: echo.s has 27 lines\n"
        "> list 12\n"
        "     7          .include \"emu6502.inc\"\n"
        "     8\n"
        "     9          .code\n"
        ">   10  start:  sei                     ; no IRQ handler installed\n"
        "    11          PUTS    prompt\n"
        "    12  next:   GETKEY                  ; waits: KBD_IN reads 0 until a key comes\n"
        "    13          cmp     #KEY_ENTER\n"
        "    14          beq     done\n"
        "    15          cmp     #LF             ; piped input ends its lines with LF\n"
        "    16          beq     done\n"
        "    17          cmp     #'q'\n"
        "> list\n"
        "    18          beq     done\n"
        "    19          sta     CON_OUT\n"
        "    20          jmp     next\n"
        "    21  done:   PUTS    goodbye\n"
        "    22          END_RUN\n"
        "    23\n"
        "    24          .rodata\n"
        "    25  prompt: .byte   \"Type something (Enter or q ends):\", CR, LF, 0\n"
        "    26  goodbye:\n"
        "    27          .byte   CR, LF, \"Bye.\", CR, LF, 0\n"
        "> print\n"
        "print: usage: print NAME (a C variable)\n"
        "> step 2\n"
        "step: takes no arguments\n"
        "> locals\n"
        "locals: 0200 (start) is not in a C function\n"
        "> globals\n"
        "globals: the debug information has no C variables outside functions\n"
        "> c\n"},
};

class MonitorSource : public testing::TestWithParam<SourceCase> {};

TEST_P(MonitorSource, ExactConversation) {
    const SourceCase& c = GetParam();
    TempDir dir;
    dir.write("c", std::string(c.commands));
    const std::string example = e2e::source_dir() + "/examples/" + c.example;
    std::vector<std::string> args{"--clean"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"--debug-info", example + ".dbg", "--commands", "c", example + ".bin", "-i"});
    e2e::RunOptions options;
    options.stdin_data = c.keys;
    const RunResult r = e2e::run_emulator(dir, args, options);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    if (c.status < 0) EXPECT_EQ(r.term_signal, -c.status);
    else EXPECT_EQ(r.exit_code, c.status);
}

INSTANTIATE_TEST_SUITE_P(Examples, MonitorSource, testing::ValuesIn(SOURCE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- on a terminal ------------------------------------------------------------

// Prints "R", then reads the keyboard until a key comes, prints it and ends.
const Bytes KEY_PROGRAM = {
    0x78,              // 0200 SEI
    0xA9, 'R',         // 0201 LDA #'R'
    0x8D, 0x01, 0xFF,  // 0203 STA $FF01
    0xAD, 0x00, 0xFF,  // 0206 LDA $FF00
    0xF0, 0xFB,        // 0209 BEQ $0206
    0x8D, 0x01, 0xFF,  // 020B STA $FF01
    0x4C, 0x00, 0x00,  // 020E JMP $0000
};

// libedit shows its prompt once it has the terminal, but on a loaded
// machine keys typed at once can still meet the terminal's own line mode:
// wait until it reads key by key.
bool wait_for_editing(const e2e::PtySession& session) {
    for (int tries = 0; tries < 200; ++tries) {
        if ((session.settings_now().c_lflag & ICANON) == 0) return true;
        usleep(10 * 1000);
    }
    return false;
}

#ifdef EMU6502_HAVE_LIBEDIT
constexpr bool LINE_EDITING = true;
#else
constexpr bool LINE_EDITING = false;  // whole lines in the terminal's own line mode
#endif

// A line for the monitor's prompt, typed once libedit reads it.
void type_line(e2e::PtySession& session, const char* text) {
    if (LINE_EDITING) {
        EXPECT_TRUE(wait_for_editing(session)) << "the prompt never took the terminal";
    }
    session.type(text);
}

TEST(MonitorTerminal, StepBreakpointAndLineEditing) {
    if (!LINE_EDITING) GTEST_SKIP() << "built without libedit: no line editing to test";
    TempDir dir;
    dir.write("p.bin", twice_program());
    dir.write("p.lbl", std::string(LABELS));
    e2e::PtySession session(dir, {"--clean", "--monitor", "--labels", "p.lbl", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> ")) << session.output();
    EXPECT_NE(session.output().find("monitor: h for help"), std::string::npos);
    type_line(session, "s\r");
    // Each line typed once the prompt is up and libedit has the terminal.
    ASSERT_TRUE(session.wait_for_output("JSR print\r\n> ")) << session.output();
    // Typed "b prxnt", the cursor moved back over "nt", a character rubbed
    // out and the right one put in: line editing, not the raw keys.
    type_line(session, "b prxnt\x1b[D\x1b[D\x7fi\r");
    ASSERT_TRUE(session.wait_for_output("breakpoint 1 at 0210\r\n> ")) << session.output();
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("breakpoint 1 at 0210\r\nprint:\r\n0210  A9 48     LDA #$48\r\n> "))
        << session.output();
    type_line(session, "x\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    EXPECT_NE(session.output().find("HH"), std::string::npos);
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

TEST(MonitorTerminal, WatchpointOnTheConsole) {
    TempDir dir;
    dir.write("p.bin", twice_program());
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "w ff01 w\r");
    ASSERT_TRUE(session.wait_for_output("watchpoint 1 on FF01 w\r\n> "));
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("watchpoint: write FF01 = 48 by 0212\r\n0215  60        RTS\r\n> "))
        << session.output();
    type_line(session, "q\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->signaled() && end->signal() == SIGINT);
    EXPECT_FALSE(dir.exists("membackup"));
}

TEST(MonitorTerminal, CtrlBracketStopsARunningProgramAndNeverReachesIt) {
    TempDir dir;
    dir.write("p.bin", KEY_PROGRAM);
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("R")) << session.output();
    session.type("\x1d");
    ASSERT_TRUE(session.wait_for_output("stopped\r\n")) << session.output();
    // Stopped in the polling loop, at one of its two instructions.
    ASSERT_TRUE(session.wait_for_output("BEQ $0206\r\n> ", 2000) || session.wait_for_output("LDA $FF00\r\n> "))
        << session.output();
    type_line(session, "r\r");
    ASSERT_TRUE(session.wait_for_output("NV-BDIZC=00100110\r\n> ")) << session.output();
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("> c\r\n")) << session.output();
    session.drain();
    session.type("k");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    EXPECT_TRUE(session.output().ends_with("> c\r\nk")) << session.output();
    EXPECT_EQ(session.output().find('\x1d'), std::string::npos) << "the key reached the program";
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

// A 65C02 idling in WAI, as an interrupt-driven program does: Ctrl-] still
// stops it.
TEST(MonitorTerminal, CtrlBracketStopsAProcessorWaitingInWai) {
    for (const bool deterministic : {false, true}) {
        SCOPED_TRACE(deterministic ? "deterministic" : "host timer");
        TempDir dir;
        dir.write("p.bin", Bytes{0xCB, 0x4C, 0x00, 0x02});  // loop: WAI; JMP loop
        std::vector<std::string> args = {"--clean", "--cpu", "65C02", "--monitor", "p.bin"};
        if (deterministic) args.push_back("--deterministic");
        e2e::PtySession session(dir, args);
        ASSERT_TRUE(session.wait_for_output("> "));
        type_line(session, "c\r");
        ASSERT_TRUE(session.wait_for_output("> c\r\n")) << session.output();
        usleep(100 * 1000);
        session.type("\x1d");
        ASSERT_TRUE(session.wait_for_output("stopped\r\n", 3000)) << session.output();
        type_line(session, "q\r");
        const auto end = session.wait_end();
        ASSERT_TRUE(end);
        EXPECT_TRUE(end->signaled() && end->signal() == SIGINT);
        EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
    }
}

// A program that turned the text red, took the alternate screen, hid the
// cursor and left it mid-line: the monitor talks on the terminal as it was
// before the run, on a line of its own, and the program gets its modes back.
TEST(MonitorTerminal, TalksInTheTerminalsOwnModes) {
    TempDir dir;
    Bytes image = {
        0xA2, 0x00,        // 0200 LDX #0
        0xBD, 0x20, 0x02,  // 0202 LDA text,X
        0xF0, 0x06,        // 0205 BEQ $020D
        0x8D, 0x01, 0xFF,  // 0207 STA $FF01
        0xE8,              // 020A INX
        0xD0, 0xF5,        // 020B BNE $0202
        0xEA,              // 020D NOP
        0x4C, 0x00, 0x00,  // 020E JMP $0000
    };
    image.resize(0x20, 0x00);
    const std::string text = "\x1b[31m\x1b[?1049h\x1b[?25lab";
    image.insert(image.end(), text.begin(), text.end());
    image.push_back(0x00);
    dir.write("p.bin", image);
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "b 20d\r");
    ASSERT_TRUE(session.wait_for_output("breakpoint 1 at 020D\r\n> ")) << session.output();
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("020D  EA        NOP\r\n> ")) << session.output();
    const std::string at_stop = session.output();
    const std::size_t printed = at_stop.find("ab");
    const std::size_t stopped = at_stop.find("breakpoint 1 at 020D\r\n", printed);
    ASSERT_NE(printed, std::string::npos);
    ASSERT_NE(stopped, std::string::npos);
    const std::string between = at_stop.substr(printed + 2, stopped - printed - 2);
    EXPECT_NE(between.find("\x1b[?1049l"), std::string::npos) << between;
    EXPECT_NE(between.find("\x1b[?25h"), std::string::npos) << between;
    EXPECT_NE(between.find("\x1b[0m"), std::string::npos) << between;
    EXPECT_TRUE(between.ends_with("\r\n")) << "not on a line of its own: " << between;
    type_line(session, "c\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    const std::string after = session.output().substr(at_stop.size());
    EXPECT_NE(after.find("\x1b[?1049h"), std::string::npos) << after;
    EXPECT_NE(after.find("\x1b[?25l"), std::string::npos) << after;
    EXPECT_NE(after.find("\x1b[31m"), std::string::npos) << after;
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

// Ctrl-C drops the line being typed; Ctrl-Z suspends and the prompt
// comes back; Ctrl-C on an empty line ends the run as q does.
TEST(MonitorTerminal, CtrlCCancelsTheLineThenLeaves) {
    if (!LINE_EDITING) GTEST_SKIP() << "built without libedit: Ctrl-C at the prompt ends the run";
    TempDir dir;
    dir.write("p.bin", twice_program());
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "bd 9\x03");
    ASSERT_TRUE(session.wait_for_output("bd 9\r\n> ")) << session.output();
    type_line(session, "r\r");
    ASSERT_TRUE(session.wait_for_output("NV-BDIZC=00100100\r\n> ")) << session.output();
    EXPECT_EQ(session.output().find("no breakpoint"), std::string::npos) << "the cancelled line ran";
    type_line(session, "\x1a");
    const auto stop = session.next_event();
    ASSERT_TRUE(stop);
    ASSERT_TRUE(stop->stopped()) << "status " << stop->status;
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
    session.bring_to_foreground();
    session.send_signal(SIGCONT);
    type_line(session, "s\r");
    ASSERT_TRUE(session.wait_for_output("JSR $0210\r\n> ")) << session.output();
    type_line(session, "\x03");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->signaled() && end->signal() == SIGINT);
    EXPECT_FALSE(dir.exists("membackup"));
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

// Enter alone steps again, and goes on after m and d; a typed line with
// only spaces does the same, while other commands are not repeated.
TEST(MonitorTerminal, EnterRepeatsStepsAndGoesOnAfterMemory) {
    TempDir dir;
    dir.write("p.bin", twice_program());
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "s\r");
    ASSERT_TRUE(session.wait_for_output("0202  20 10 02  JSR $0210\r\n> ")) << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0210  A9 48     LDA #$48\r\n> ")) << session.output();
    type_line(session, "m 200 20f\r");
    ASSERT_TRUE(session.wait_for_output("0200  A2 00 20 10 02 E8 E0 02 D0 F8 4C 00 00 00 00 00  .. .......L.....\r\n> "))
        << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0210  A9 48 8D 01 FF 60 EE EE")) << session.output();
    ASSERT_TRUE(session.wait_for_output("0280  EE")) << session.output();
    type_line(session, "d 210 212\r");
    ASSERT_TRUE(session.wait_for_output("0212  8D 01 FF  STA $FF01\r\n> ")) << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0215  60        RTS\r\n")) << session.output();
    type_line(session, "r\r");
    ASSERT_TRUE(session.wait_for_output("PC=0210")) << session.output();
    session.drain();
    const std::size_t before = session.output().size();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("> ")) << session.output();
    session.drain();
    EXPECT_EQ(session.output().find("PC=", before), std::string::npos) << "r was repeated";
    type_line(session, "x\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
}

// On the terminal in a deterministic run, Enter steps back again; the
// output stepped back over is not written a second time.
TEST(MonitorTerminal, EnterStepsBackAgainAndOutputIsWrittenOnce) {
    TempDir dir;
    dir.write("p.bin", twice_program());
    e2e::PtySession session(dir, {"--clean", "--deterministic", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "s 4\r");
    ASSERT_TRUE(session.wait_for_output("0215  60        RTS\r\n> ")) << session.output();
    type_line(session, "back\r");
    ASSERT_TRUE(session.wait_for_output("0212  8D 01 FF  STA $FF01\r\n> ")) << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0210  A9 48     LDA #$48\r\n> ")) << session.output();
    type_line(session, "c\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    const std::string& out = session.output();
    EXPECT_EQ(std::count(out.begin(), out.end(), 'H'), 2) << out;
}

// Lines typed in one session come back with the up arrow in the next.
TEST(MonitorTerminal, LineHistoryKeptBetweenSessions) {
    if (!LINE_EDITING) GTEST_SKIP() << "built without libedit: no line history";
    TempDir dir;
    dir.write("p.bin", twice_program());
    {
        e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
        ASSERT_TRUE(session.wait_for_output("> "));
        type_line(session, "? 6*7\r");
        ASSERT_TRUE(session.wait_for_output("$2A  42  %00101010  '*'\r\n> ")) << session.output();
        type_line(session, "x\r");
        ASSERT_TRUE(session.wait_end());
    }
    ASSERT_TRUE(dir.exists(".emu6502_history"));
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "\x1b[A\x1b[A\r");  // x, then ? 6*7
    ASSERT_TRUE(session.wait_for_output("$2A  42  %00101010  '*'\r\n> ")) << session.output();
    type_line(session, "x\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
}

TEST(MonitorTerminal, WithoutTheMonitorCtrlBracketIsTheProgramsKey) {
    TempDir dir;
    dir.write("p.bin", KEY_PROGRAM);
    e2e::PtySession session(dir, {"--clean", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("R"));
    session.type("\x1d");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    EXPECT_EQ(session.output(), "R\x1d");
}

}  // namespace
