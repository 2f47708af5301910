// The monitor's pieces through their own interfaces: disassembly derived
// from the opcode grid, the assembler read off the same grid, expressions,
// the command parser, the label file reader and the memory tools.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <filesystem>
#include <string>
#include <vector>

#include "bus/bus.hpp"
#include "cpu/cpu.hpp"
#include "debug/assembler.hpp"
#include "debug/disassembler.hpp"
#include "debug/expression.hpp"
#include "debug/labels.hpp"
#include "monitor/memory_tools.hpp"
#include "monitor/monitor_command.hpp"

namespace {

// A scratch path of this test's own: ctest runs the rows as processes side
// by side, so a shared name would be written by two at once.
std::string own_scratch_path(const std::string& name) {
    std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : test)
        if (c == '/') c = '_';
    return testing::TempDir() + test + "." + name;
}

struct DisassemblyCase {
    std::vector<u8> bytes;  // at 0x1000
    const char* text;
    int length;
    Chip chip = Chip::m6502;
};
// No name of its own: the expected text, with the bytes and chip that give it.
void PrintTo(const DisassemblyCase& c, std::ostream* os) {
    *os << c.text << " (";
    for (const u8 byte : c.bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", byte);
        *os << hex;
    }
    *os << chip_name(c.chip) << ')';
}

const DisassemblyCase DISASSEMBLY_CASES[] = {
    {{0xEA}, "NOP", 1},                       // implied
    {{0x0A}, "ASL A", 1},                     // accumulator
    {{0xA9, 0x41}, "LDA #$41", 2},            // immediate
    {{0xA5, 0x10}, "LDA $10", 2},             // zero page
    {{0xB5, 0x10}, "LDA $10,X", 2},
    {{0xB6, 0x10}, "LDX $10,Y", 2},
    {{0xD0, 0xFE}, "BNE $1000", 2},           // relative, backwards
    {{0x10, 0x05}, "BPL $1007", 2},
    {{0x8D, 0x01, 0xFF}, "STA $FF01", 3},     // absolute
    {{0x20, 0x34, 0x12}, "JSR print", 3},     // with a label
    {{0xBD, 0x00, 0x20}, "LDA $2000,X", 3},
    {{0xB9, 0x00, 0x20}, "LDA $2000,Y", 3},
    {{0x6C, 0xFF, 0x12}, "JMP ($12FF)", 3},   // indirect
    {{0xA1, 0x20}, "LDA ($20,X)", 2},
    {{0xB1, 0x02}, "LDA (ptr),Y", 2},         // zero-page label
    {{0xA7, 0x10}, "LAX $10", 2},             // the combined operations
    {{0xC7, 0x10}, "DCP $10", 2},
    {{0xEB, 0x01}, "SBC #$01", 2},
    // This machine's NOPs, each as long as its mode says.
    {{0x02}, "NOP", 1},
    {{0x1A}, "NOP", 1},
    {{0x80, 0x12}, "NOP #$12", 2},
    {{0x04, 0x12}, "NOP $12", 2},
    {{0x14, 0x12}, "NOP $12,X", 2},
    {{0x0C, 0x34, 0x12}, "NOP print", 3},
    {{0x1C, 0x00, 0x20}, "NOP $2000,X", 3},
    {{0x93, 0x20}, "NOP ($20),Y", 2},
    {{0x9E, 0x00, 0x20}, "NOP $2000,Y", 3},
    // The other processors' grids: the same bytes read as their chips read them.
    {{0x02}, "JAM", 1, Chip::m6502x},
    {{0x0B, 0x0F}, "ANC #$0F", 2, Chip::m6502x},
    {{0x9E, 0x00, 0x20}, "SHX $2000,Y", 3, Chip::m6502x},
    {{0x80, 0xFE}, "BRA $1000", 2, Chip::m65c02},
    {{0xB2, 0x02}, "LDA (ptr)", 2, Chip::m65c02},
    {{0x7C, 0x34, 0x12}, "JMP (print,X)", 3, Chip::m65c02},
    {{0x6C, 0xFF, 0x12}, "JMP ($12FF)", 3, Chip::m65c02},
    {{0x9C, 0x00, 0x20}, "STZ $2000", 3, Chip::m65c02},
    {{0xF7, 0x10}, "SMB7 $10", 2, Chip::m65c02},
    {{0x1F, 0x10, 0xFD}, "BBR1 $10,$1000", 3, Chip::m65c02},
    {{0x02, 0x12}, "NOP #$12", 2, Chip::m65c02},
};

class Disassembly : public testing::TestWithParam<DisassemblyCase> {};

TEST_P(Disassembly, TextAndLength) {
    const DisassemblyCase& c = GetParam();
    Labels labels;
    labels.add(".print", 0x1234);
    labels.add(".ptr", 0x0002);
    labels.add(".__ZP_START__", 0x0002);
    labels.add(".__BSS_SIZE__", 0x0010);  // linker names are never shown
    for (std::size_t i = 0; i < c.bytes.size(); ++i) memory[0x1000 + i] = c.bytes[i];
    cpu_select(c.chip);
    char text[64];
    EXPECT_EQ(disassemble(0x1000, &labels, text, sizeof text), c.length);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(instruction_length(c.bytes[0]), c.length);
    cpu_select(Chip::m6502);
}

INSTANTIATE_TEST_SUITE_P(Modes, Disassembly, testing::ValuesIn(DISASSEMBLY_CASES));

TEST(Disassembly, EveryOpcodeHasANameAndALengthFromItsMode) {
    for (int opcode = 0; opcode < 256; ++opcode) {
        EXPECT_STRNE(mnemonic(operation_table[opcode]), "???") << opcode;
        EXPECT_EQ(instruction_length(static_cast<u8>(opcode)), 1 + operand_bytes(mode_table[opcode])) << opcode;
    }
}

TEST(Disassembly, LineShowsAddressAndBytes) {
    memory[0x2000] = 0x8D;
    memory[0x2001] = 0x01;
    memory[0x2002] = 0xFF;
    char text[64];
    EXPECT_EQ(disassembly_line(0x2000, nullptr, text, sizeof text), 3);
    EXPECT_STREQ(text, "2000  8D 01 FF  STA $FF01");
}

struct ParseCase {
    const char* line;
    MonitorVerb verb;
    long first;   // -1: none
    long second;  // -1: none
    const char* error;
};
// No name of its own: the line, quoted.
void PrintTo(const ParseCase& c, std::ostream* os) { *os << testing::PrintToString(std::string(c.line)); }

const ParseCase PARSE_CASES[] = {
    {"", MonitorVerb::none, -1, -1, ""},
    {"   ", MonitorVerb::none, -1, -1, ""},
    {"r", MonitorVerb::registers, -1, -1, ""},
    {"R", MonitorVerb::registers, -1, -1, ""},
    {"s", MonitorVerb::step, -1, -1, ""},
    {"b 0300", MonitorVerb::breakpoint, 0x300, -1, ""},
    {"b $C000", MonitorVerb::breakpoint, 0xC000, -1, ""},
    {"b start", MonitorVerb::breakpoint, 0x200, -1, ""},
    {"b .start", MonitorVerb::breakpoint, 0x200, -1, ""},
    {"b add", MonitorVerb::breakpoint, 0x1234, -1, ""},  // a label wins over hex
    {"b $add", MonitorVerb::breakpoint, 0xADD, -1, ""},  // unless "$" says number
    {"b 10000", MonitorVerb::breakpoint, -1, -1, "b: bad address or unknown label '10000'"},
    {"b 1 2", MonitorVerb::breakpoint, -1, -1, "b: usage: b [ADDR [pass N] [if EXPR]]"},
    {"m 200 20f", MonitorVerb::memory, 0x200, 0x20F, ""},
    {"m 20f 200", MonitorVerb::memory, 0x20F, 0x200, "m: the end comes before the start"},
    {"d", MonitorVerb::disassemble, -1, -1, ""},
    {"w ff01 w", MonitorVerb::watch, 0xFF01, -1, ""},
    {"w ff01 q", MonitorVerb::watch, 0xFF01, -1, "w: bad end or access 'q' (an address, or r, w or rw)"},
    {"f 300 3ff ea", MonitorVerb::fill, 0x300, 0x3FF, ""},
    {"f 300 3ff 100", MonitorVerb::fill, 0x300, 0x3FF, "f: bad byte '100' (00 to FF)"},
    {"save out.bin 200 2ff", MonitorVerb::save, 0x200, 0x2FF, ""},
    {"load in.bin", MonitorVerb::load, -1, -1, "load: usage: load FILE ADDR"},
    {"trace off", MonitorVerb::trace, -1, -1, ""},
    {"zap", MonitorVerb::none, -1, -1, "unknown command 'zap' (h for help)"},
    {"q now", MonitorVerb::quit, -1, -1, "q: takes no arguments"},
    // Expressions wherever an address is taken; each one argument.
    {"b start+3", MonitorVerb::breakpoint, 0x203, -1, ""},
    {"b 0x300", MonitorVerb::breakpoint, 0x300, -1, ""},
    {"b #768", MonitorVerb::breakpoint, 0x300, -1, ""},
    {"b ((start + 1) * 2)", MonitorVerb::breakpoint, 0x402, -1, ""},
    {"b (start + 1) * 2", MonitorVerb::breakpoint, -1, -1, "b: usage: b [ADDR [pass N] [if EXPR]]"},
    {"b pc", MonitorVerb::breakpoint, 0x345, -1, ""},
    {"b {vec}", MonitorVerb::breakpoint, 0xC012, -1, ""},
    {"m start start+f", MonitorVerb::memory, 0x200, 0x20F, ""},
    {"d pc pc+x", MonitorVerb::disassemble, 0x345, 0x347, ""},
    {"b 1/0", MonitorVerb::breakpoint, -1, -1, "b: bad address or unknown label '1/0': division by zero at column 2"},
    {"b nolabel+1", MonitorVerb::breakpoint, -1, -1,
     "b: bad address or unknown label 'nolabel+1': unknown label 'nolabel'"},
    {"b (1+", MonitorVerb::breakpoint, -1, -1, "b: bad address or unknown label '(1+': a value is missing at the end"},
    {"b start-201", MonitorVerb::breakpoint, -1, -1, "b: bad address or unknown label 'start-201': it is -1"},
    {"b @loop", MonitorVerb::breakpoint, -1, -1, "b: '@loop' names 2 labels: @loop (0210), @loop (0220)"},
    {"b \x1b]0;t\x07", MonitorVerb::breakpoint, -1, -1,
     "b: bad address or unknown label '\\x1B]0;t\\x07': expected a value at column 1, not '\\x1B'"},
    {"bd 10", MonitorVerb::delete_point, -1, -1, ""},
    {"bd a", MonitorVerb::delete_point, -1, -1, "bd: bad number 'a' (as b lists them)"},
    {"bd $10", MonitorVerb::delete_point, -1, -1, "bd: bad number '$10' (as b lists them)"},
    {"until #568", MonitorVerb::until, -1, -1, ""},
    {"until 568", MonitorVerb::until, 0x568, -1, ""},
    {"until start+1", MonitorVerb::until, 0x201, -1, ""},
    // Breakpoints with a pass count and a condition; ranges; the new verbs.
    {"b start pass 3", MonitorVerb::breakpoint, 0x200, -1, ""},
    {"b start pass 3 if a==1", MonitorVerb::breakpoint, 0x200, -1, ""},
    {"b start if [10] > 7 && x", MonitorVerb::breakpoint, 0x200, -1, ""},
    {"b start if nolabel", MonitorVerb::breakpoint, -1, -1,
     "b: bad condition 'nolabel': unknown label 'nolabel'"},
    {"b start if 1/0", MonitorVerb::breakpoint, 0x200, -1, ""},  // may be worked out when reached
    {"b start pass", MonitorVerb::breakpoint, -1, -1, "b: usage: b [ADDR [pass N] [if EXPR]]"},
    {"b start pass -1", MonitorVerb::breakpoint, -1, -1, "b: bad pass count '-1' (decimal)"},
    {"w 300 3ff w", MonitorVerb::watch, 0x300, 0x3FF, ""},
    {"w 300 3ff", MonitorVerb::watch, 0x300, 0x3FF, ""},
    {"w 300 3ff r pass 2 if a==1", MonitorVerb::watch, 0x300, 0x3FF, ""},
    {"w 300 pass 2", MonitorVerb::watch, 0x300, -1, ""},
    {"w 300 w if", MonitorVerb::watch, -1, -1, "w: usage: w [ADDR [END] [r|w|rw] [pass N] [if EXPR]]"},
    {"w 300 r pass x", MonitorVerb::watch, -1, -1, "w: bad pass count 'x' (decimal)"},
    {"w 300 if nolabel", MonitorVerb::watch, -1, -1, "w: bad condition 'nolabel': unknown label 'nolabel'"},
    {"hist", MonitorVerb::history, -1, -1, ""},
    {"hist ON", MonitorVerb::history_switch, -1, -1, ""},
    {"hist 0", MonitorVerb::history, -1, -1, "hist: bad count '0' (hex, 1 to 10000)"},
    {"hist on off", MonitorVerb::history, -1, -1, "hist: usage: hist [N|on|off]"},
    {"w 3ff 300 r", MonitorVerb::watch, -1, -1, "w: the end comes before the start"},
    {"w 1 2 3 4", MonitorVerb::watch, -1, -1, "w: bad access '3' (r, w or rw)"},
    {"w 1 2 r 4", MonitorVerb::watch, -1, -1, "w: usage: w [ADDR [END] [r|w|rw] [pass N] [if EXPR]]"},
    {"enable 2", MonitorVerb::enable, -1, -1, ""},
    {"disable", MonitorVerb::disable, -1, -1, "disable: usage: disable N"},
    {"? start + 1", MonitorVerb::value, -1, -1, ""},
    {"?", MonitorVerb::help, -1, -1, ""},
    {"? (", MonitorVerb::value, -1, -1, "?: a value is missing at the end"},
    {"a start lda #1", MonitorVerb::assemble, 0x200, -1, ""},
    {"a", MonitorVerb::assemble, -1, -1, "a: usage: a ADDR [INSTRUCTION]"},
    {"hunt 0 ffff 'A' ? 3", MonitorVerb::hunt, 0, 0xFFFF, ""},
    {"hunt 0 ffff", MonitorVerb::hunt, -1, -1, "hunt: usage: hunt START END BYTE|\"TEXT\"|?..."},
    {"compare 200 2ff 300", MonitorVerb::compare, 0x200, 0x2FF, ""},
    {"move 2ff 200 300", MonitorVerb::move, -1, -1, "move: the end comes before the start"},
    {"lc x.lbl", MonitorVerb::clear_labels, -1, -1, ""},
    {"brk on", MonitorVerb::stop_on_brk, -1, -1, ""},
    {"brk", MonitorVerb::stop_on_brk, -1, -1, "brk: usage: brk on|off"},
    {"out", MonitorVerb::out, -1, -1, ""},
    {"sw 1", MonitorVerb::stopwatch, -1, -1, "sw: takes no arguments"},
    {"until #", MonitorVerb::until, -1, -1, "until: usage: until ADDR | until #N (N an instruction count, in decimal)"},
    {"until #18446744073709551616", MonitorVerb::until, -1, -1,
     "until: usage: until ADDR | until #N (N an instruction count, in decimal)"},
    // gdb's daily commands.
    {"tbreak start+1", MonitorVerb::breakpoint, 0x201, -1, ""},
    {"tbreak", MonitorVerb::breakpoint, -1, -1, "tbreak: usage: tbreak ADDR [if EXPR]"},
    {"advance start", MonitorVerb::advance, 0x200, -1, ""},
    {"advance", MonitorVerb::advance, -1, -1, "advance: usage: advance ADDR"},
    {"condition 2 a==1", MonitorVerb::condition, -1, -1, ""},
    {"condition 2", MonitorVerb::condition, -1, -1, ""},
    {"condition 2 nolabel", MonitorVerb::condition, -1, -1, "condition: bad condition 'nolabel': unknown label 'nolabel'"},
    {"condition x a==1", MonitorVerb::condition, -1, -1, "condition: bad number 'x' (as b lists them)"},
    {"ignore 2 5", MonitorVerb::ignore, -1, -1, ""},
    {"ignore 2", MonitorVerb::ignore, -1, -1, "ignore: usage: ignore N COUNT"},
    {"ignore 2 -1", MonitorVerb::ignore, -1, -1, "ignore: bad count '-1' (decimal)"},
    {"commands 1", MonitorVerb::commands, -1, -1, ""},
    {"commands", MonitorVerb::commands, -1, -1, "commands: usage: commands N"},
    {"display [10]+x", MonitorVerb::display, -1, -1, ""},
    {"undisplay 1 2", MonitorVerb::undisplay, -1, -1, "undisplay: usage: undisplay N"},
    {"undisplay z", MonitorVerb::undisplay, -1, -1, "undisplay: bad number 'z' (as display lists them)"},
    {"info b", MonitorVerb::info, -1, -1, ""},
    {"info display", MonitorVerb::info, -1, -1, ""},
    {"info", MonitorVerb::info, -1, -1, "info: usage: info breakpoints | info display"},
};

// h names every command the parser takes, each at the start of a line of
// its own or after a comma there ("h, ?").
TEST(MonitorHelp, NamesEveryCommand) {
    const std::string help = std::string("\n") + monitor_help_text();
    for (const std::string_view word : monitor_command_words()) {
        const std::string name(word);
        const bool listed = help.find("\n  " + name + " ") != std::string::npos ||
                            help.find("\n  " + name + ",") != std::string::npos ||
                            help.find(", " + name + " ") != std::string::npos;
        EXPECT_TRUE(listed) << name;
    }
}

class CommandParser : public testing::TestWithParam<ParseCase> {};

TEST_P(CommandParser, VerbAddressesAndErrors) {
    const ParseCase& c = GetParam();
    Labels labels;
    labels.add(".start", 0x200);
    labels.add(".add", 0x1234);
    labels.add(".vec", 0xFFFC);
    labels.add(".@loop", 0x210);
    labels.add(".@loop", 0x220);
    cpu.pc = 0x345;
    cpu.x = 2;
    memory[0xFFFC] = 0x12;
    memory[0xFFFD] = 0xC0;
    const MonitorCommand command = parse_monitor_command(c.line, labels);
    EXPECT_EQ(command.error, c.error);
    if (!command.error.empty()) return;
    EXPECT_EQ(command.verb, c.verb);
    EXPECT_EQ(command.first ? long{*command.first} : -1, c.first);
    EXPECT_EQ(command.second ? long{*command.second} : -1, c.second);
}

INSTANTIATE_TEST_SUITE_P(Lines, CommandParser, testing::ValuesIn(PARSE_CASES));

TEST(CommandParser, ValuesOfTheLongerForms) {
    Labels labels;
    const MonitorCommand registers = parse_monitor_command("r a=41 pc=$0300 c=1", labels);
    ASSERT_EQ(registers.registers.size(), 3u);
    EXPECT_EQ(registers.registers[0].name, "a");
    EXPECT_EQ(registers.registers[0].value, 0x41);
    EXPECT_EQ(registers.registers[1].value, 0x300);
    EXPECT_EQ(registers.registers[2].name, "c");
    EXPECT_EQ(parse_monitor_command("r c=2", labels).error, "r: bad value in 'c=2'");
    EXPECT_EQ(parse_monitor_command("r c=f", labels).error, "r: bad value in 'c=f'");
    EXPECT_EQ(parse_monitor_command("s ffffffff", labels).count, 0xFFFFFFFFu);
    EXPECT_EQ(parse_monitor_command("s 10", labels).count, 0x10u);
    EXPECT_EQ(parse_monitor_command("e 300 1 2 ff", labels).bytes, (std::vector<u8>{1, 2, 0xFF}));
    EXPECT_EQ(parse_monitor_command("w 10", labels).access, WATCH_READ | WATCH_WRITE);
    EXPECT_EQ(parse_monitor_command("w 10 r", labels).access, WATCH_READ);
    EXPECT_EQ(parse_monitor_command("trace t.txt", labels).file, "t.txt");
    EXPECT_EQ(parse_monitor_command("l \"my labels.lbl\"", labels).file, "my labels.lbl");
    EXPECT_EQ(parse_monitor_command("save \"a b\" 200 (200 + 1)", labels).second, 0x201);
    // bd reads the numbers b lists: decimal.
    EXPECT_EQ(parse_monitor_command("bd 10", labels).count, 10u);
    EXPECT_EQ(parse_monitor_command("bd #17", labels).count, 17u);
    cpu.x = 0x41;
    EXPECT_EQ(parse_monitor_command("e 300 'A' -1 %101 x+1", labels).bytes, (std::vector<u8>{0x41, 0xFF, 5, 0x42}));
    EXPECT_EQ(parse_monitor_command("r a=x", labels).registers[0].value, 0x41);
    EXPECT_EQ(parse_monitor_command("r a=x*4", labels).error, "r: bad value in 'a=x*4': it is 260");
    EXPECT_EQ(parse_monitor_command("s #16", labels).count, 16u);
    EXPECT_EQ(parse_monitor_command("until #18446744073709551615", labels).count64, UINT64_MAX);
}

// A context with fixed registers and memory, so each row reads the same.
class TestContext final : public ExpressionContext {
public:
    Labels labels;
    std::array<u8, 0x10000> bytes{};
    [[nodiscard]] LabelFind label(std::string_view name) const override { return labels.lookup(name); }
    [[nodiscard]] std::uint16_t read_register(Register which) const override {
        switch (which) {
        case Register::pc: return 0x0300;
        case Register::a: return 0x41;
        case Register::x: return 2;
        case Register::y: return 3;
        case Register::sp: return 0xFD;
        case Register::p: break;
        }
        return 0x83;  // N, Z and C set
    }
    [[nodiscard]] std::uint8_t peek(std::uint16_t address) const override { return bytes[address]; }

    TestContext() {
        labels.add(".start", 0x200);
        labels.add(".add", 0x1234);
        labels.add(".ptr", 0x02);
        labels.add(".print", 0x1234);
        labels.add(".x", 0x77);
        bytes[0x02] = 0x34;
        bytes[0x03] = 0x12;
        bytes[0xFFFF] = 0xCD;
        bytes[0x0000] = 0xAB;
    }
};

struct ExpressionCase {
    const char* name;
    const char* text;
    std::int64_t value;
    const char* error;  // "" when the value counts
};
void PrintTo(const ExpressionCase& c, std::ostream* os) { *os << c.name; }

const ExpressionCase EXPRESSION_CASES[] = {
    {"BareHexByDefault", "10", 0x10, ""},
    {"DollarHex", "$ff", 0xFF, ""},
    {"CStyleHex", "0x10", 0x10, ""},
    {"HashDecimal", "#10", 10, ""},
    {"PlusDecimal", "+10", 10, ""},
    {"Binary", "%101", 5, ""},
    {"Character", "'A'", 0x41, ""},
    {"Label", "start", 0x200, ""},
    {"LabelWinsOverHex", "add", 0x1234, ""},
    {"DollarMakesANumber", "$add", 0xADD, ""},
    {"DotMakesALabel", ".x", 0x77, ""},
    {"RegisterWinsOverALabel", "x", 2, ""},
    {"RegisterWinsOverHex", "a", 0x41, ""},
    {"DollarAIsTen", "$a", 10, ""},
    {"ProgramCounter", "pc+3", 0x303, ""},
    {"StatusAndFlags", "p*100+n*10+c-z", 0x8310, ""},
    {"UpperCaseRegister", "SP", 0xFD, ""},
    {"Precedence", "1+2*3", 7, ""},
    {"Parentheses", "(1+2)*3", 9, ""},
    {"ShiftBindsTighterThanOr", "1<<4|1", 0x11, ""},
    {"ComparisonsAndLogic", "x==2 && y>2", 1, ""},
    {"LessOrEqual", "y<=2 || a!=41", 0, ""},
    {"AndSkipsWhatItNeedsNot", "0 && 1/0", 0, ""},
    {"OrSkipsWhatItNeedsNot", "1 || 1/0", 1, ""},
    {"Negation", "-1", -1, ""},
    {"Complement", "~0", -1, ""},
    {"Not", "!5", 0, ""},
    {"ExclusiveOr", "ff^f", 0xF0, ""},
    {"LowByte", "<add", 0x34, ""},
    {"HighByte", ">add+1", 0x13, ""},
    {"HighByteOfASum", ">(add+1)", 0x12, ""},
    {"LessThanStillCompares", "1<>add", 1, ""},
    {"IntegerDivision", "7/2", 3, ""},
    {"ByteAtAnAddress", "[ptr]", 0x34, ""},
    {"WordAtAnAddress", "{ptr}", 0x1234, ""},
    {"WordWrapsAtTheTop", "{$ffff}", 0xABCD, ""},
    {"ByteThroughAWord", "[{ptr}-1234+2]", 0x34, ""},
    {"SpacesAllowed", " 1 + 2 ", 3, ""},
    {"DivisionByZero", "1/0", 0, "division by zero at column 2"},
    {"MissingValue", "1+", 0, "a value is missing at the end"},
    {"Empty", "", 0, "a value is missing at the end"},
    {"NeverClosed", "(1+2", 0, "'(' at column 1 is never closed"},
    {"ClosesNothing", "1+2)", 0, "')' at column 4 closes nothing"},
    {"BracketMismatch", "[2)", 0, "'[' at column 1 is never closed"},
    {"UnknownLabel", "nolabel", 0, "unknown label 'nolabel'"},
    {"BadNumber", "12g", 0, "bad number '12g'"},
    {"BadBinary", "%102", 0, "bad number '%102'"},
    {"NumberTooLarge", "123456789", 0, "number '123456789' too large"},
    {"TwoValues", "1 2", 0, "unexpected '2' at column 3"},
    {"NoValueBeforeAnOperator", "*3", 0, "expected a value at column 1, not '*'"},
    {"ShiftTooFar", "1<<#64", 0, "shift by 64 at column 2 (0 to 63)"},
    {"ReadPastTheTop", "[10000]", 0, "'[' at column 1: 65536 is no address (0 to FFFF)"},
    {"ReadBelowTheBottom", "1+{-1}", 0, "'{' at column 3: -1 is no address (0 to FFFF)"},
    {"HashWithoutDigits", "#x", 0, "'#' at column 1 needs decimal digits"},
    {"ControlCharacterEscaped", "\x1b", 0, "expected a value at column 1, not '\\x1B'"},
    {"AmbiguousLabel", "add", 0x1234, ""},  // two names on one address are no ambiguity
};

class Expressions : public testing::TestWithParam<ExpressionCase> {};

TEST_P(Expressions, ValueOrOneLineError) {
    const ExpressionCase& c = GetParam();
    const TestContext context;
    const Expression result = evaluate_expression(c.text, context);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.ok(), c.error[0] == '\0');
    if (result.ok()) {
        EXPECT_EQ(result.value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Expressions, testing::ValuesIn(EXPRESSION_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Expressions, DeepNestingIsAnErrorNotACrash) {
    const TestContext context;
    for (const char* open : {"(", "-", "[", "~!"}) {
        std::string text;
        for (int i = 0; i < 100000; ++i) text += open;
        EXPECT_EQ(evaluate_expression(text, context).error.substr(0, 15), "nested too deep") << open;
    }
    EXPECT_EQ(evaluate_expression(std::string(100, '(') + "1" + std::string(100, ')'), context).value, 1);
}

TEST(Expressions, WordsSplitOutsideBracketsAndQuotes) {
    EXPECT_EQ(split_arguments(" m (start + 1) [x] "), (std::vector<std::string_view>{"m", "(start + 1)", "[x]"}));
    EXPECT_EQ(split_arguments("hunt 0 ff \"a b\" ' '"),
              (std::vector<std::string_view>{"hunt", "0", "ff", "\"a b\"", "' '"}));
}

TEST(Expressions, DescribedInEveryBase) {
    Labels labels;
    labels.add(".start", 0x200);
    EXPECT_EQ(describe_value(0x41, &labels), "$41  65  %01000001  'A'");
    EXPECT_EQ(describe_value(0x200, &labels), "$0200  512  %0000001000000000  start");
    EXPECT_EQ(describe_value(-1, &labels), "$FF  -1  %11111111");
    EXPECT_EQ(describe_value(-200, nullptr), "$FF38  -200  %1111111100111000");
    EXPECT_EQ(describe_value(0x12345, nullptr), "$00012345  74565  %00000000000000010010001101000101");
}

struct AssemblyCase {
    const char* name;
    const char* text;
    std::vector<u8> bytes;  // empty: `error` expected
    const char* error = "";
    Chip chip = Chip::m6502;
    u16 address = 0x0300;
};
void PrintTo(const AssemblyCase& c, std::ostream* os) { *os << c.name; }

const AssemblyCase ASSEMBLY_CASES[] = {
    {"Immediate", "lda #$41", {0xA9, 0x41}},
    {"ImmediateNegative", "LDA #-1", {0xA9, 0xFF}},
    {"ImmediateDecimal", "ldx ##10", {0xA2, 0x0A}},
    {"ImmediateLowByte", "lda #<print", {0xA9, 0x34}},
    {"ImmediateHighByte", "ldy #>print", {0xA0, 0x12}},
    {"ZeroPageWhenItFits", "lda $10", {0xA5, 0x10}},
    {"AbsoluteWhenWrittenWide", "lda $0010", {0xAD, 0x10, 0x00}},
    {"AbsoluteAsked", "lda a:$10", {0xAD, 0x10, 0x00}},
    {"ZeroPageAsked", "lda z:$0010", {0xA5, 0x10}},
    {"Absolute", "sta ff01", {0x8D, 0x01, 0xFF}},
    {"ZeroPageX", "lda $10,x", {0xB5, 0x10}},
    {"ZeroPageY", "ldx $10,Y", {0xB6, 0x10}},
    {"AbsoluteYWithoutAZeroPageForm", "lda $10,y", {0xB9, 0x10, 0x00}},
    {"AbsoluteX", "inc $1234,x", {0xFE, 0x34, 0x12}},
    {"IndexedIndirect", "lda ($10,x)", {0xA1, 0x10}},
    {"IndirectIndexed", "lda (ptr),y", {0xB1, 0x02}},
    {"IndirectIndexedSpaced", "sta ( ptr ) , y", {0x91, 0x02}},
    {"ParenthesesAreArithmeticHere", "lda (1+2)*3", {0xA5, 0x09}},
    {"Indirect", "jmp ($1234)", {0x6C, 0x34, 0x12}},
    {"Implied", "nop", {0xEA}},
    {"Accumulator", "asl", {0x0A}},
    {"AccumulatorNamed", "ror a", {0x6A}},
    {"LabelOperand", "jsr print", {0x20, 0x34, 0x12}},
    {"ExpressionOperand", "lda start+x", {0xAD, 0x02, 0x02}},
    {"SbcImmediateIsTheDocumentedOne", "sbc #1", {0xE9, 0x01}},
    {"BranchBackwards", "bne $0300", {0xD0, 0xFE}},
    {"BranchForwards", "bcc $0381", {0x90, 0x7F}},
    {"BranchTooFar", "beq $0382", {}, "branch to $0382 is 128 bytes away (-128 to 127)"},
    {"BranchAcrossTheTop", "bpl $0010", {0x10, 0x1E}, "", Chip::m6502, 0xFFF0},
    {"CombinedOperation", "lax $10", {0xA7, 0x10}},
    {"NmosOnly", "anc #$0f", {0x0B, 0x0F}, "", Chip::m6502x},
    {"Jam", "jam", {0x02}, "", Chip::m6502x},
    {"CmosZeroPageIndirect", "lda ($10)", {0xB2, 0x10}, "", Chip::m65c02},
    {"CmosJumpIndexedIndirect", "jmp ($1234,x)", {0x7C, 0x34, 0x12}, "", Chip::m65c02},
    {"CmosJumpIndirect", "jmp ($1234)", {0x6C, 0x34, 0x12}, "", Chip::m65c02},
    {"CmosIncAccumulator", "inc", {0x1A}, "", Chip::m65c02},
    {"CmosStz", "stz $10", {0x64, 0x10}, "", Chip::m65c02},
    {"CmosBitImmediate", "bit #$80", {0x89, 0x80}, "", Chip::m65c02},
    {"CmosBra", "bra $0300", {0x80, 0xFE}, "", Chip::m65c02},
    {"CmosResetBit", "rmb3 $10", {0x37, 0x10}, "", Chip::m65c02},
    {"CmosBranchOnBit", "bbr1 $10,$0300", {0x1F, 0x10, 0xFD}, "", Chip::m65c02},
    {"CmosBranchOnBitTooFar", "bbs7 $10,$0400", {}, "branch to $0400 is 253 bytes away (-128 to 127)", Chip::m65c02},
    {"UnknownInstruction", "foo", {}, "unknown instruction 'foo'"},
    {"NotThisProcessor", "stz $10", {}, "STZ is not an instruction of the 6502"},
    {"BitNumberMissing", "rmb $10", {}, "RMB needs its bit number: RMB0 to RMB7", Chip::m65c02},
    {"BitNumberTooLarge", "rmb8 $10", {}, "unknown instruction 'rmb8'", Chip::m65c02},
    {"OperandMissing", "lda", {}, "LDA needs an operand"},
    {"OperandNotTaken", "inx $10", {}, "INX takes no address operand"},
    {"ImmediateNotTaken", "sta #1", {}, "STA takes no immediate (#) operand"},
    {"AccumulatorNotTaken", "lda a", {}, "LDA takes no accumulator (A) operand"},
    {"ZeroPageOnly", "stx $1234,y", {}, "STX has only the zero-page form of that operand: $1234 is past FF"},
    {"IndirectNotOnThe6502", "lda ($10)", {}, "LDA takes no (indirect) operand"},
    {"ImmediateTooLarge", "lda #$100", {}, "'$100' is 256, out of range for an immediate value (-$80 to $FF)"},
    {"PointerOutsideZeroPage", "lda ($1234),y", {},
     "'$1234' is 4660, out of range for a zero-page address ($00 to $FF)"},
    {"UnknownLabel", "jmp nolabel", {}, "unknown label 'nolabel'"},
    {"BadExpression", "lda #1+", {}, "a value is missing at the end"},
    {"JunkAfterTheName", "lda! #1", {}, "unknown instruction 'lda!'"},
};

class Assembler : public testing::TestWithParam<AssemblyCase> {};

TEST_P(Assembler, BytesOrOneLineError) {
    const AssemblyCase& c = GetParam();
    const TestContext context;
    const Assembled result = assemble(c.text, c.address, c.chip, context);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(std::vector<u8>(result.bytes.begin(), result.bytes.begin() + result.length), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Rows, Assembler, testing::ValuesIn(ASSEMBLY_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Every opcode of every processor, disassembled and assembled again, gives
// its own bytes back; where several opcodes mean the same (the 6502's many
// NOPs), one that means the same, with the same operand.
TEST(Assembler, EveryOpcodeRoundTripsThroughTheDisassembler) {
    const TestContext context;
    for (const Chip chip : ALL_CHIPS) {
        cpu_select(chip);
        const auto& grid = opcode_grid_of(chip);
        for (int opcode = 0; opcode < 256; ++opcode) {
            memory[0x1000] = static_cast<u8>(opcode);
            memory[0x1001] = 0x34;
            memory[0x1002] = 0x12;
            char text[64];
            const int length = disassemble(0x1000, nullptr, text, sizeof text);
            const Assembled again = assemble(text, 0x1000, chip, context);
            const std::string where = std::string(chip_name(chip)) + " " + std::to_string(opcode) + " " + text;
            ASSERT_EQ(again.error, "") << where;
            ASSERT_EQ(again.length, length) << where;
            EXPECT_EQ(grid[again.bytes[0]].op, grid[opcode].op) << where;
            EXPECT_EQ(grid[again.bytes[0]].mode, grid[opcode].mode) << where;
            for (int i = 1; i < length; ++i) EXPECT_EQ(again.bytes[i], memory[0x1000 + i]) << where;
        }
    }
    cpu_select(Chip::m6502);
}

struct HuntCase {
    const char* name;
    std::vector<std::string_view> words;
    std::vector<u16> found;
    const char* error = "";
};
void PrintTo(const HuntCase& c, std::ostream* os) { *os << c.name; }

const HuntCase HUNT_CASES[] = {
    {"Bytes", {"a9", "41"}, {0x300, 0x310}},
    {"Text", {"\"HI\""}, {0x320}},
    {"AnyByte", {"a9", "?"}, {0x300, 0x310, 0x330}},
    {"ExpressionsAndText", {"#72", "\"I\""}, {0x320}},
    {"NotInRange", {"ee"}, {}},
    {"WhollyInsideTheRange", {"41", "42"}, {}},  // 0x33F holds 41, 0x340 (outside) 42
    {"BadByte", {"100"}, {}, "bad byte '100' (00 to FF)"},
    {"BadExpression", {"1+"}, {}, "a value is missing at the end"},
    {"OpenText", {"\"abc"}, {}, "text '\"abc' has no closing quote"},
    {"Nothing", {}, {}, "nothing to hunt for"},
};

class MemoryHunt : public testing::TestWithParam<HuntCase> {};

TEST_P(MemoryHunt, PatternsAndErrors) {
    const HuntCase& c = GetParam();
    const TestContext context;
    auto image = std::make_unique<MemoryImage>();
    const auto put = [&](u16 at, std::vector<u8> bytes) { std::copy(bytes.begin(), bytes.end(), image->begin() + at); };
    put(0x300, {0xA9, 0x41});
    put(0x310, {0xA9, 0x41});
    put(0x320, {'H', 'I'});
    put(0x330, {0xA9, 0x00});
    put(0x33F, {0x41, 0x42});
    std::string error;
    const HuntPattern pattern = read_hunt_pattern(c.words, context, error);
    EXPECT_EQ(error, c.error);
    if (!error.empty()) return;
    bool more = true;
    EXPECT_EQ(hunt_memory(*image, 0x300, 0x33F, pattern, 100, more), c.found);
    EXPECT_FALSE(more);
}

INSTANTIATE_TEST_SUITE_P(Rows, MemoryHunt, testing::ValuesIn(HUNT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MemoryTools, HuntStopsAtItsLimitAndSaysSo) {
    auto image = std::make_unique<MemoryImage>();
    bool more = false;
    EXPECT_EQ(hunt_memory(*image, 0xFFFC, 0xFFFF, {0}, 3, more), (std::vector<u16>{0xFFFC, 0xFFFD, 0xFFFE}));
    EXPECT_TRUE(more);
    EXPECT_EQ(hunt_memory(*image, 0xFFFE, 0xFFFF, {0, 0, 0}, 3, more), std::vector<u16>{}) << "longer than the range";
}

TEST(MemoryTools, CompareListsDifferences) {
    auto image = std::make_unique<MemoryImage>();
    (*image)[0x201] = 7;
    (*image)[0x1203] = 9;
    bool more = true;
    std::string error;
    const auto differences = compare_memory(*image, 0x200, 0x20F, 0x1200, 10, more, error);
    ASSERT_EQ(differences.size(), 2u);
    EXPECT_EQ(differences[0].address, 0x201);
    EXPECT_EQ(differences[0].here, 7);
    EXPECT_EQ(differences[0].there, 0);
    EXPECT_EQ(differences[1].address, 0x203);
    EXPECT_EQ(differences[1].there, 9);
    EXPECT_FALSE(more);
    EXPECT_EQ(compare_memory(*image, 0x200, 0x20F, 0x1200, 1, more, error).size(), 1u);
    EXPECT_TRUE(more);
    EXPECT_TRUE(compare_memory(*image, 0x200, 0x20F, 0xFFF8, 10, more, error).empty());
    EXPECT_EQ(error, "the range at FFF8 runs past FFFF");
}

struct MoveCase {
    const char* name;
    u16 first, last, to;
    const char* expected;  // bytes 0x100-0x107 after the move, as text
    const char* error = "";
};
void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }

const MoveCase MOVE_CASES[] = {
    {"Apart", 0x100, 0x101, 0x106, "ABCDEFAB"},
    {"OverlapUpwards", 0x100, 0x103, 0x102, "ABABCDGH"},
    {"OverlapDownwards", 0x102, 0x105, 0x100, "CDEFEFGH"},
    {"OntoItself", 0x100, 0x107, 0x100, "ABCDEFGH"},
    {"PastTheTop", 0x100, 0x107, 0xFFFC, "ABCDEFGH", "the copy at FFFC would run past FFFF"},
    {"Backwards", 0x107, 0x100, 0x200, "ABCDEFGH", "the end comes before the start"},
};

class MemoryMove : public testing::TestWithParam<MoveCase> {};

TEST_P(MemoryMove, OverlapSafe) {
    const MoveCase& c = GetParam();
    auto image = std::make_unique<MemoryImage>();
    const std::string start = "ABCDEFGH";
    std::copy(start.begin(), start.end(), image->begin() + 0x100);
    EXPECT_EQ(move_memory(*image, c.first, c.last, c.to), c.error);
    EXPECT_EQ(std::string(image->begin() + 0x100, image->begin() + 0x108), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, MemoryMove, testing::ValuesIn(MOVE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LabelFile, ReadsTheLinkersFormatAndRefusesOthers) {
    const std::string path = own_scratch_path("monitor_labels.lbl");
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("al 000200 .start\r\nal 00FF01 .CON_OUT\n\nal 000200 .__MAIN_START__\n", file);
    std::fclose(file);
    Labels labels;
    std::size_t added = 0;
    EXPECT_EQ(labels.load(path.c_str(), &added), "");
    EXPECT_EQ(added, 3u);
    EXPECT_STREQ(labels.name_at(0x200), "start");
    EXPECT_STREQ(labels.name_at(0xFF01), "CON_OUT");
    EXPECT_EQ(labels.name_at(0x201), nullptr);
    EXPECT_EQ(labels.find("__MAIN_START__"), 0x200);

    file = std::fopen(path.c_str(), "w");
    std::fputs("al 000300 .fine\nal 10000 .too_far\n", file);
    std::fclose(file);
    EXPECT_EQ(labels.load(path.c_str()), path + ":2: not a label line (al ADDRESS .name)");
    EXPECT_EQ(labels.find("fine"), std::nullopt) << "nothing of a bad file is kept";
    EXPECT_EQ(labels.load("/nonexistent/x.lbl"), "can't read label file /nonexistent/x.lbl");
    std::remove(path.c_str());
}

void write_file(const std::string& path, const char* text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(text, file);
    std::fclose(file);
}

// As the linker lists a program's labels: not in address order, cheap
// locals of the same name in several routines.
const char* const ROUTINE_LABELS =
    "al 0003D9 .puts\n"
    "al 0003DF .@next\n"
    "al 0003B0 .@next\n"
    "al 0003A0 .print\n"
    "al 000005 .src\n"
    "al 0003E9 .@done\n"
    "al 0003A0 .__CODE_RUN__\n";

struct QualifiedCase {
    const char* name;
    const char* label;
    long address;  // -1: an error
    const char* error;
};
void PrintTo(const QualifiedCase& c, std::ostream* os) { *os << c.name; }

const QualifiedCase QUALIFIED_CASES[] = {
    {"Unique", "puts", 0x3D9, ""},
    {"AmbiguousListsCandidates", "@next", -1, "'@next' names 2 labels: print@next (03B0), puts@next (03DF)"},
    {"ByScope", "puts@next", 0x3DF, ""},
    {"ByOtherScope", "print@next", 0x3B0, ""},
    {"ByLine", "@next@3", 0x3B0, ""},
    {"LocalWithOneOwner", "@done", 0x3E9, ""},
    {"WrongScope", "src@next", -1, "unknown label 'src@next'"},
    {"NoSuchLine", "@next@9", -1, "unknown label '@next@9'"},
    {"LinkerNameIsNoScope", "__CODE_RUN__@next", -1, "unknown label '__CODE_RUN__@next'"},
};

class LabelQualification : public testing::TestWithParam<QualifiedCase> {};

TEST_P(LabelQualification, PicksOneOrListsCandidates) {
    const QualifiedCase& c = GetParam();
    const std::string path = own_scratch_path("qualified.lbl");
    write_file(path, ROUTINE_LABELS);
    Labels labels;
    ASSERT_EQ(labels.load(path.c_str()), "");
    const LabelFind found = labels.lookup(c.label);
    EXPECT_EQ(found.error, c.error);
    EXPECT_EQ(found.address ? long{*found.address} : -1, c.address);
    EXPECT_EQ(found.ambiguous, std::string(c.error).find("names") != std::string::npos);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Rows, LabelQualification, testing::ValuesIn(QUALIFIED_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LabelFile, LoadingAgainReplacesThatFilesLabelsOnly) {
    const std::string folder = own_scratch_path("relabel");
    std::filesystem::create_directories(folder);
    const std::string program = folder + "/program.lbl";
    const std::string other = folder + "/other.lbl";
    write_file(program, "al 000210 .puts\nal 000220 .old_only\n");
    write_file(other, "al 000300 .helper\nal 000210 .puts\n");
    Labels labels;
    ASSERT_EQ(labels.load(program.c_str()), "");
    ASSERT_EQ(labels.load(other.c_str()), "");
    write_file(program, "al 000250 .puts\n");  // rebuilt: puts moved
    std::size_t added = 0, replaced = 0;
    const std::string same = folder + "/./program.lbl";  // another spelling of the same file
    ASSERT_EQ(labels.load(same.c_str(), &added, &replaced), "");
    EXPECT_EQ(added, 1u);
    EXPECT_EQ(replaced, 2u);
    EXPECT_EQ(labels.find("old_only"), std::nullopt);
    EXPECT_EQ(labels.find("helper"), 0x300);
    EXPECT_EQ(labels.lookup("puts").error, "'puts' names 2 labels: puts@2 (0210), puts@1 (0250)")
        << "two files, one name: the line picks one";
    EXPECT_EQ(labels.clear(other.c_str()), 2u);
    EXPECT_EQ(labels.find("puts"), 0x250);
    EXPECT_EQ(labels.name_at(0x210), nullptr);
    EXPECT_EQ(labels.clear(), 1u);
    EXPECT_EQ(labels.size(), 0u);
    std::filesystem::remove_all(folder);
}

TEST(LabelFile, ControlCharactersInNamesAreShownEscaped) {
    const std::string path = own_scratch_path("control.lbl");
    write_file(path, "al 000300 .bad\x1b]0;title\x07\n");
    Labels labels;
    ASSERT_EQ(labels.load(path.c_str()), "");
    EXPECT_STREQ(labels.name_at(0x300), "bad\\x1B]0;title\\x07");
    EXPECT_EQ(labels.find("bad\\x1B]0;title\\x07"), 0x300);
    std::remove(path.c_str());
}

}  // namespace
