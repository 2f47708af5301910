// Source-level debugging in the monitor end to end: the linker's debug
// file read or refused, and conversations on the shipped C and assembly
// examples at the level of their source lines and C variables.
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
#include "e2e/monitor_programs.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

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
    // Places as FILE:LINE and FUNCTION for tbreak, until and advance;
    // displays of C names, shown as print shows them at every stop.
    {"GdbPlacesAndDisplay", "c_greet", {}, "ada\n",
        "tbreak c_greet.c:26\n"
        "c\n"
        "b\n"
        "until c_greet.c:30\n"
        "display i\n"
        "display name\n"
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
        "029C  20 6A 08  JSR decax1\n"
        "> display i\n"
        "(i is the C variable here; the register or flag is @i)\n"
        "1: i = 3\n"
        "> display name\n"
        "2: name = \"Ada\"\n"
        "> advance main\n"
        "097A  60        RTS                A=00 X=00 Y=04 SP=FF NV-BDIZC=10100100\n"
        "../sdk/crt0.s:33  _exit:  pha\n"
        "_exit:\n"
        "0216  48        PHA\n"
        "1: i = 1\n"
        "2: name = \"Ada\"\n"
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
        "022E  20 71 08  JSR decsp2\n"
        "> locals\n"
        "(at the entry of main: its locals are not made yet)\n"
        "length = ?\n"
        "i = ?\n"
        "> next\n"
        "c_greet.c:20  length = emu_getline(name, sizeof name); /* echoes what is typed */\n"
        "0238  A9 0E     LDA #$0E\n"
        "> next\n"
        "c_greet.c:22  if (length == 0) {\n"
        "0248  B1 02     LDA (sp),Y\n"
        "> locals\n"
        "length = 3\n"
        "i = 238\n"
        "> print length\n"
        "length = 3\n"
        "> print name\n"
        "name = \"Ada\"\n"
        "> print nothing\n"
        "print: no C variable, register or label 'nothing' here\n"
        "> globals\n"
        "name = \"Ada\"\n"
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
        "022E  20 71 08  JSR decsp2\n"
        "> step\n"
        "../sdk/console.s:53  sta     ptr1\n"
        "_emu_puts:\n"
        "02E2  85 0A     STA ptr1\n"
        "> bt\n"
        "#0  02E2  _emu_puts  ../sdk/console.s:53\n"
        "#1  0235  main  c_greet.c:19\n"
        "#2  0213  start+19  ../sdk/crt0.s:27\n"
        "> locals\n"
        "locals: 02E2 (_emu_puts) is not in a C function; up selects its caller\n"
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
        "locals: 036D (draw_screen+23) is not in a C function; up selects its caller\n"
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
        "022E  20 37 0B  JSR pusha\n"
        "> c\n"
        "breakpoint 1 at 022E\n"
        "c_menu.c:17  {\n"
        "_show:\n"
        "022E  20 37 0B  JSR pusha\n"
        "> locals\n"
        "(at the entry of show: its locals are not made yet)\n"
        "i = 1\n"
        "on = 0\n"
        "> bt\n"
        "#0  022E  show  c_menu.c:17\n"
        "#1  02EB  main  c_menu.c:41\n"
        "#2  0213  start+19  ../sdk/crt0.s:27\n"
        "> next\n"
        "c_menu.c:18  revers(on);\n"
        "0231  A0 00     LDY #$00\n"
        "> locals\n"
        "i = 1\n"
        "on = 0\n"
        "> print item\n"
        "item = {0x115f \"Tea\", 0x1152 \"Coffee\", 0x1159 \"Water\"}\n"
        "> globals\n"
        "item = {0x115f \"Tea\", 0x1152 \"Coffee\", 0x1159 \"Water\"}\n"
        "pushed = 0\n"
        "ready = 0\n"
        "> finish\n"
        "c_menu.c:40  for (i = 0; i < ITEMS; ++i) {\n"
        "02EE  A0 01     LDY #$01\n"
        "> locals\n"
        "chosen = 0\n"
        "i = 1\n"
        "key = 238 '\\356'\n"
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
        "key = 146 '\\222'\n"
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
        "print: usage: print[/x|/d|/c] EXPR (a C expression)\n"
        "> step 2\n"
        "step: takes no arguments\n"
        "> locals\n"
        "locals: 0200 (start) is not in a C function\n"
        "> globals\n"
        "globals: the debug information has no C variables outside functions\n"
        "> c\n"},
    // The C view on the struct example: values as C writes them, frames,
    // a condition on a C local (i, also a flag's name), set var, a
    // watchpoint on exactly a C lvalue's bytes.
    {"CStructsStringsAndFrames", "c_store", {}, "",
        "b copy_name\n"
        "c\n"
        "locals\n"
        "print *src\n"
        "up\n"
        "locals\n"
        "print items[n]\n"
        "print items\n"
        "print &items[n]\n"
        "print/x items[n].price\n"
        "print/c items[n].name[1]\n"
        "print/d items[n].qty\n"
        "print sizeof(struct item) * 3 == sizeof items\n"
        "print (char)321\n"
        "print items[1].qty * items[1].price + n\n"
        "info frame\n"
        "down\n"
        "b c_store.c:31 if i==3\n"
        "c\n"
        "print i\n"
        "? i\n"
        "? @i\n"
        "? items[1]\n"
        "print src[i]\n"
        "set var items[1].qty = 20\n"
        "print items[1]\n"
        "m items items+1\n"
        "w dst[i] w\n"
        "bd 1\n"
        "bd 2\n"
        "c\n"
        "print label\n"
        "bd 3\n"
        "c\n",
        "bolt       3 x  250\n"
        "nut       20 x   40\n"
        "washer     7 x   15\n"
        "stock worth 1655\n", 0,
        "../sdk/crt0.s:15  start:  sei                     ; no IRQ handler: with the default vector\n"
        "start:\n"
        "0200  78        SEI\n"
        "> b copy_name\n"
        "breakpoint 1 at 022E\n"
        "> c\n"
        "breakpoint 1 at 022E\n"
        "c_store.c:27  {\n"
        "_copy_name:\n"
        "022E  20 E6 0C  JSR pusha\n"
        "> locals\n"
        "(at the entry of copy_name: its locals are not made yet)\n"
        "dst = 0xfaf \"\"\n"
        "src = 0xf36 \"bolt\"\n"
        "size = 8\n"
        "i = ?\n"
        "> print *src\n"
        "*src = 98 'b'\n"
        "> up\n"
        "#1  0343  main  c_store.c:53\n"
        "    copy_name(label, items[n].name, sizeof label);\n"
        "> locals\n"
        "n = 0\n"
        "> print items[n]\n"
        "(n is the C variable here; the register or flag is @n)\n"
        "items[n] = {name = \"bolt\", qty = 3, price = 250}\n"
        "> print items\n"
        "items = {{name = \"bolt\", qty = 3, price = 250}, {name = \"nut\", qty = 12, price = 40}, {name = \"washer\", qty = 7, price = 15}}\n"
        "> print &items[n]\n"
        "&items[n] = (struct item *) 0xf36\n"
        "> print/x items[n].price\n"
        "items[n].price = 0xfa\n"
        "> print/c items[n].name[1]\n"
        "items[n].name[1] = 111 'o'\n"
        "> print/d items[n].qty\n"
        "items[n].qty = 3\n"
        "> print sizeof(struct item) * 3 == sizeof items\n"
        "sizeof(struct item) * 3 == sizeof items = 1\n"
        "> print (char)321\n"
        "(char)321 = 65 'A'\n"
        "> print items[1].qty * items[1].price + n\n"
        "items[1].qty * items[1].price + n = 480\n"
        "> info frame\n"
        "#1  0343  main  c_store.c:53\n"
        "    copy_name(label, items[n].name, sizeof label);\n"
        "  C frame base FEFC: its locals below it (1 byte), its arguments from it up\n"
        "  called from #2 at 0213\n"
        "  calls #0\n"
        "> down\n"
        "#0  022E  copy_name  c_store.c:27\n"
        "    {\n"
        "> b c_store.c:31 if i==3\n"
        "(i is the C variable here; the register or flag is @i)\n"
        "breakpoint 2 at 025A\n"
        "> c\n"
        "breakpoint 2 at 025A\n"
        "c_store.c:31  dst[i] = src[i];\n"
        "025A  A2 00     LDX #$00\n"
        "> print i\n"
        "i = 3\n"
        "> ? i\n"
        "$03  3  %00000011\n"
        "> ? @i\n"
        "$01  1  %00000001\n"
        "> ? items[1]\n"
        "{name = \"nut\", qty = 12, price = 40}\n"
        "> print src[i]\n"
        "src[i] = 116 't'\n"
        "> set var items[1].qty = 20\n"
        "items[1].qty = 20\n"
        "> print items[1]\n"
        "items[1] = {name = \"nut\", qty = 20, price = 40}\n"
        "> m items items+1\n"
        "0F36  62 6F 6C 74 00 00 00 00 03 FA 00 6E              bolt.......n\n"
        "> w dst[i] w\n"
        "watchpoint 3 on 0FB2 w\n"
        "> bd 1\n"
        "deleted 1\n"
        "> bd 2\n"
        "deleted 2\n"
        "> c\n"
        "watchpoint: write 0FB2 = 74 (was 00) by 0D4E\n"
        "0D50  4C 89 0A  JMP incsp2\n"
        "> print label\n"
        "label = \"bolt\"\n"
        "> bd 3\n"
        "deleted 3\n"
        "> c\n"},
    // Each bad C expression, frame or set var: one line, and the run goes on.
    {"CExpressionErrorsAreOneLine", "c_store", {}, "",
        "b stock_value\n"
        "c\n"
        "print first->name\n"
        "print first[2]\n"
        "print 1/0\n"
        "print nothing\n"
        "print first->weight\n"
        "print *(char*)0\n"
        "print first[1\n"
        "print count.qty\n"
        "print *count\n"
        "print (struct shelf *)first\n"
        "print/q count\n"
        "print\n"
        "set var count + 1 = 2\n"
        "set var first[0] = first[1]\n"
        "print first[0].name\n"
        "set count = 1\n"
        "? items[0]\n"
        "w nothing\n"
        "b c_store.c:43 if nothing==1\n"
        "b c_store.c:43 if count==\n"
        "frame 7\n"
        "down\n"
        "up 9\n"
        "frame\n"
        "c\n",
        "bolt       3 x  250\n"
        "nut       12 x   40\n"
        "washer     7 x   15\n"
        "stock worth 1065\n", 0,
        "../sdk/crt0.s:15  start:  sei                     ; no IRQ handler: with the default vector\n"
        "start:\n"
        "0200  78        SEI\n"
        "> b stock_value\n"
        "breakpoint 1 at 02A4\n"
        "> c\n"
        "breakpoint 1 at 02A4\n"
        "c_store.c:38  {\n"
        "_stock_value:\n"
        "02A4  20 E6 0C  JSR pusha\n"
        "> print first->name\n"
        "first->name = \"bolt\"\n"
        "> print first[2]\n"
        "first[2] = {name = \"washer\", qty = 7, price = 15}\n"
        "> print 1/0\n"
        "print: division by zero at column 2\n"
        "> print nothing\n"
        "print: no C variable, register or label 'nothing' here\n"
        "> print first->weight\n"
        "print: struct item has no member 'weight'\n"
        "> print *(char*)0\n"
        "print: dereferences a null pointer\n"
        "> print first[1\n"
        "print: '[' at column 6 is never closed\n"
        "> print count.qty\n"
        "print: '.' at column 6 needs a struct or union, not unsigned char\n"
        "> print *count\n"
        "print: '*' at column 1 needs a pointer, not unsigned char\n"
        "> print (struct shelf *)first\n"
        "print: no type 'struct shelf' in the program's sources\n"
        "> print/q count\n"
        "print: no format '/q' (/x, /d or /c)\n"
        "> print\n"
        "print: usage: print[/x|/d|/c] EXPR (a C expression)\n"
        "> set var count + 1 = 2\n"
        "set var: expected '=' at column 8 (set var LVALUE = EXPR)\n"
        "> set var first[0] = first[1]\n"
        "first[0] = {name = \"nut\", qty = 12, price = 40}\n"
        "> print first[0].name\n"
        "first[0].name = \"nut\"\n"
        "> set count = 1\n"
        "set: usage: set var LVALUE = EXPR\n"
        "> ? items[0]\n"
        "{name = \"nut\", qty = 12, price = 40}\n"
        "> w nothing\n"
        "w: bad address or unknown label 'nothing'\n"
        "> b c_store.c:43 if nothing==1\n"
        "b: bad condition 'nothing==1': unknown label 'nothing'\n"
        "> b c_store.c:43 if count==\n"
        "b: bad condition 'count==': a value is missing at the end\n"
        "> frame 7\n"
        "frame: no frame #7 (bt shows #0 to #2)\n"
        "> down\n"
        "down: #0 is the innermost frame\n"
        "> up 9\n"
        "#2  0213  start+19  ../sdk/crt0.s:27\n"
        "    jsr     callmain        ; main(0, NULL); its result is in A/X\n"
        "> frame\n"
        "#2  0213  start+19  ../sdk/crt0.s:27\n"
        "    jsr     callmain        ; main(0, NULL); its result is in A/X\n"
        "> c\n"},
    // A caller that pushed an operand before the call (printf's format, the
    // long of a product), and a stop inside the runtime, named from c_store.lbl.
    {"CFramesAboveOperandsAndTheRuntime", "c_store", {}, "",
        "b c_store.c:43\n"
        "c\n"
        "print *p\n"
        "print p - first\n"
        "up\n"
        "locals\n"
        "print n * 2\n"
        "frame 0\n"
        "locals\n"
        "bd 1\n"
        "b tosmuleax\n"
        "c\n"
        "bt\n"
        "locals\n"
        "up\n"
        "locals\n"
        "d 02E6 02EC\n"
        "bd 2\n"
        "c\n",
        "bolt       3 x  250\n"
        "nut       12 x   40\n"
        "washer     7 x   15\n"
        "stock worth 1335\n", 0,
        "../sdk/crt0.s:15  start:  sei                     ; no IRQ handler: with the default vector\n"
        "start:\n"
        "0200  78        SEI\n"
        "> b c_store.c:43\n"
        "breakpoint 1 at 02D7\n"
        "> c\n"
        "breakpoint 1 at 02D7\n"
        "c_store.c:43  total += (unsigned long)p->qty * p->price;\n"
        "02D7  A0 05     LDY #$05\n"
        "> print *p\n"
        "(p is the C variable here; the register or flag is @p)\n"
        "*p = {name = \"bolt\", qty = 3, price = 250}\n"
        "> print p - first\n"
        "p - first = 0\n"
        "> up\n"
        "#1  03AA  main  c_store.c:56\n"
        "    printf(\"stock worth %lu\\n\", stock_value(items, 3));\n"
        "> locals\n"
        "n = 3\n"
        "> print n * 2\n"
        "(n is the C variable here; the register or flag is @n)\n"
        "n * 2 = 6\n"
        "> frame 0\n"
        "#0  02D7  stock_value  c_store.c:43\n"
        "    total += (unsigned long)p->qty * p->price;\n"
        "> locals\n"
        "first = (struct item *) 0xf36\n"
        "count = 3\n"
        "p = (struct item *) 0xf36\n"
        "total = 0\n"
        "> bd 1\n"
        "deleted 1\n"
        "> b tosmuleax\n"
        "breakpoint 2 at 0AF3\n"
        "> c\n"
        "breakpoint 2 at 0AF3\n"
        "tosmuleax:\n"
        "0AF3  85 0A     STA ptr1\n"
        "> bt\n"
        "#0  0AF3  tosmuleax\n"
        "#1  02FC  stock_value  c_store.c:43\n"
        "#2  03AA  main  c_store.c:56\n"
        "#3  0213  start+19  ../sdk/crt0.s:27\n"
        "> locals\n"
        "locals: 0AF3 (tosmuleax) is not in a C function; up selects its caller\n"
        "> up\n"
        "#1  02FC  stock_value  c_store.c:43\n"
        "    total += (unsigned long)p->qty * p->price;\n"
        "> locals\n"
        "first = (struct item *) 0xf36\n"
        "count = 3\n"
        "p = (struct item *) 0xf36\n"
        "total = 0\n"
        "> d 02E6 02EC\n"
        "02E6  20 45 09  JSR aulong\n"
        "02E9  20 52 09  JSR axulong\n"
        "02EC  20 70 0B  JSR pusheax\n"
        "> bd 2\n"
        "deleted 2\n"
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

}  // namespace
