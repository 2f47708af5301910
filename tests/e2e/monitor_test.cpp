// The monitor end to end: commands from a file (--commands), its output on
// standard error and the program's own output untouched on standard output;
// labels, trace, save and load files, the profile; and the monitor on a
// real terminal (--monitor): Ctrl-], line editing, steps, breakpoints and a
// watchpoint on a device register.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

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
        "watchpoint: write 01FD = 02 by 0202\n"
        "print:\n"
        "0210  A9 48     LDA #$48\n"
        "> bd 1\n"
        "deleted 1\n"
        "> c\n"
        "watchpoint: read 01FC by 0215\n"
        "@back:\n"
        "0205  E8        INX\n"
        "> x\n"},
    {"WatchReadZeroPage",
        "e 0 10\n"
        "w 0 r\n"
        "w 0 x\n"
        "bd 1\n"
        "c\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> e 0 10\n"
        "> w 0 r\n"
        "watchpoint 1 on 0000 r\n"
        "> w 0 x\n"
        "w: bad access 'x' (r, w or rw)\n"
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
        "  s [N]                step N instructions (1)\n"
        "  n                    step, over a JSR\n"
        "  c                    continue\n"
        "  g ADDR               continue at ADDR\n"
        "  b [ADDR]             set a breakpoint, or list breakpoints and watchpoints\n"
        "  bd N                 delete breakpoint or watchpoint N (decimal, as b lists them)\n"
        "  w ADDR [r|w|rw]      watchpoint on reads and/or writes (rw)\n"
        "  m ADDR [END]         memory in hex and ASCII (no device action)\n"
        "  e ADDR BYTE...       enter bytes\n"
        "  f START END BYTE     fill\n"
        "  d [ADDR [END]]       disassemble (from pc)\n"
        "  l FILE               load labels (ld65 -Ln format), replacing those of the same file\n"
        "  trace FILE | off     disassembled trace to FILE\n"
        "  save FILE START END  memory to a file\n"
        "  load FILE ADDR       a file into memory\n"
        "  until #N             continue to instruction count N (decimal; deterministic runs)\n"
        "  hist [N]             the last N instructions run (10), with the registers each began with\n"
        "  q                    end the run as Ctrl-C does (nothing saved)\n"
        "  x                    leave the monitor; the run goes on to its end\n"
        "  h                    this help\n"
        "Ctrl-] brings the monitor back while the program runs. At a halt the monitor\n"
        "stops first; b 0 stops it at the end of the run. There, a command that goes\n"
        "on ends the run, unless pc was moved (g ADDR, r pc=ADDR).\n"
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
    // Each instruction with the registers it found, threaded or stepped;
    // the one a breakpoint stopped before has not run.
    {"History",
        "hist\nb print\nc\nc\nhist 3\nhist #5\nhist 0\nhist x\nhist 1 2\nbd 1\ns 2\nhist 2\nc\n",
     "HH", 0,
        "start:\n"
        "0200  A2 00     LDX #$00\n"
        "> hist\n"
        "hist: no instructions run yet\n"
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
        "> hist 1 2\n"
        "hist: usage: hist [N]\n"
        "> bd 1\n"
        "deleted 1\n"
        "> s 2\n"
        "0210  A9 48     LDA #$48           A=48 X=01 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0212  8D 01 FF  STA $FF01          A=48 X=01 Y=00 SP=FB NV-BDIZC=00100100\n"
        "0215  60        RTS\n"
        "> hist 2\n"
        "0210  A9 48     LDA #$48           A=48 X=01 Y=00 SP=FB NV-BDIZC=10100100\n"
        "0212  8D 01 FF  STA $FF01          A=48 X=01 Y=00 SP=FB NV-BDIZC=00100100\n"
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
};

// SEI; STP; LDA #'Z'; STA $FF01; JMP $0000
const Bytes STP_THEN_Z = {0x78, 0xDB, 0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};
// WAI (I is set: it goes on at the next timer request); LDA #'Z'; STA $FF01; JMP $0000
const Bytes WAI_THEN_Z = {0xCB, 0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};
// LDA #'Z'; STA $FF01; JMP $0000
const Bytes PRINT_Z = {0xA9, 0x5A, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};
// LDX #0; loop: INX; JMP loop
const Bytes COUNT_FOREVER = {0xA2, 0x00, 0xE8, 0x4C, 0x02, 0x02};

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
    {"UntilAnInstructionCount", COUNT_FOREVER, {"--deterministic", "--max-instructions", "100"},
        "until #21\nr\nuntil #20\nuntil #21\nuntil 30\nuntil #x\nr x=0\nuntil #22\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
        "> until #21\n"
        "instruction count 21\n"
        "0202  E8        INX\n"
        "> r\n"
        "PC=0202 A=00 X=0A Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 21, cycle count 52\n"
        "> until #20\n"
        "until: instruction count 20 already passed (now 21)\n"
        "> until #21\n"
        "until: instruction count 21 already passed (now 21)\n"
        "> until 30\n"
        "until: usage: until #N (N an instruction count, in decimal)\n"
        "> until #x\n"
        "until: usage: until #N (N an instruction count, in decimal)\n"
        "> r x=0\n"
        "PC=0202 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
        "instruction count 21, cycle count 52\n"
        "> until #22\n"
        "instruction count 22\n"
        "0203  4C 02 02  JMP $0202\n"
        "> c\n"
        "instruction limit reached; memory not saved.\n"},
    // 70,001 instructions: the ring has wrapped round, the last ones stay.
    {"HistoryAfterTheRingWrapped", COUNT_FOREVER, {"--deterministic", "--max-instructions", "70002"},
        "until #70001\nhist 3\nc\n", "", 3,
        "0200  A2 00     LDX #$00\n"
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
        {"--deterministic", "--max-instructions", "3340"}, "e fffe 10 02\nuntil #3336\nhist 4\nc\n", "", 3,
        "0200  58        CLI\n"
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
};

class MonitorPauses : public testing::TestWithParam<PauseCase> {};

TEST_P(MonitorPauses, ExactConversation) {
    const PauseCase& c = GetParam();
    TempDir dir;
    dir.write("p.bin", c.image);
    dir.write("c", std::string(c.commands));
    std::vector<std::string> args = {"--clean", "--commands", "c"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("p.bin");
    const RunResult r = e2e::run_emulator(dir, args);
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
            0xD0, 0xF9,        // 0215 BNE $0210
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
        EXPECT_NE(text.find("\n0220            3           15  \n0222            3           18  \n"), std::string::npos) << text;
        EXPECT_NE(r.err.find("\n           33  "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("%  0220\n"), std::string::npos) << r.err;
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
};

const DebugInfoCase DEBUG_INFO_CASES[] = {
    {"found_beside_the_image", {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "c_hello.dbg"}}, {"hello.bin"},
     "emu6502: source lines from 'hello.dbg'.\n"},
    {"found_beside_an_image_without_extension", {{"hello", "c_hello.bin"}, {"hello.dbg", "c_hello.dbg"}}, {"hello"},
     "emu6502: source lines from 'hello.dbg'.\n"},
    {"nothing_beside_the_image", {{"hello.bin", "c_hello.bin"}}, {"hello.bin"}, ""},
    {"given_is_not_announced", {{"hello.bin", "c_hello.bin"}, {"d", "c_hello.dbg"}}, {"--debug-info", "d", "hello.bin"},
     ""},
    {"given_wins_over_the_one_beside",
     {{"hello.bin", "c_hello.bin"}, {"hello.dbg", "=version\tmajor=9,minor=0\n"}, {"d", "c_hello.dbg"}},
     {"--debug-info=d", "hello.bin"}, ""},
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
     "emu6502: debug information 'hello.dbg' not used: for another image: its CODE segment ends at byte 2687, the "
     "image has 2652.\n"},
    {"given_for_another_image", {{"hello.bin", "c_hello.bin"}}, {"--debug-info", "GREET", "hello.bin"},
     "emu6502: debug information 'GREET' not used: for another image: its CODE segment ends at byte 2687, the "
     "image has 2652.\n"},
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
    EXPECT_EQ(r.err, err + (c.monitor ? "0200  78        SEI\n> c\n" : ""));
}

INSTANTIATE_TEST_SUITE_P(Files, MonitorDebugInfo, ::testing::ValuesIn(DEBUG_INFO_CASES),
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
