// The monitor's pieces through their own interfaces: disassembly derived
// from the opcode grid, the command parser and the label file reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bus/bus.hpp"
#include "cpu/cpu.hpp"
#include "debug/disassembler.hpp"
#include "debug/labels.hpp"
#include "debug/monitor_command.hpp"

namespace {

struct DisassemblyCase {
    std::vector<u8> bytes;  // at 0x1000
    const char* text;
    int length;
    Chip chip = Chip::m6502;
};

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
    {"b 1 2", MonitorVerb::breakpoint, -1, -1, "b: usage: b [ADDR]"},
    {"m 200 20f", MonitorVerb::memory, 0x200, 0x20F, ""},
    {"m 20f 200", MonitorVerb::memory, 0x20F, 0x200, "m: the end comes before the start"},
    {"d", MonitorVerb::disassemble, -1, -1, ""},
    {"w ff01 w", MonitorVerb::watch, 0xFF01, -1, ""},
    {"w ff01 q", MonitorVerb::watch, 0xFF01, -1, "w: bad access 'q' (r, w or rw)"},
    {"f 300 3ff ea", MonitorVerb::fill, 0x300, 0x3FF, ""},
    {"f 300 3ff 100", MonitorVerb::fill, 0x300, 0x3FF, "f: bad byte '100' (00 to FF)"},
    {"save out.bin 200 2ff", MonitorVerb::save, 0x200, 0x2FF, ""},
    {"load in.bin", MonitorVerb::load, -1, -1, "load: usage: load FILE ADDR"},
    {"trace off", MonitorVerb::trace, -1, -1, ""},
    {"zap", MonitorVerb::none, -1, -1, "unknown command 'zap' (h for help)"},
    {"q now", MonitorVerb::quit, -1, -1, "q: takes no arguments"},
    {"until #568", MonitorVerb::until, -1, -1, ""},
    {"until 568", MonitorVerb::until, -1, -1, "until: usage: until #N (N an instruction count, in decimal)"},
    {"until #", MonitorVerb::until, -1, -1, "until: usage: until #N (N an instruction count, in decimal)"},
    {"until #18446744073709551616", MonitorVerb::until, -1, -1,
     "until: usage: until #N (N an instruction count, in decimal)"},
};

class CommandParser : public testing::TestWithParam<ParseCase> {};

TEST_P(CommandParser, VerbAddressesAndErrors) {
    const ParseCase& c = GetParam();
    Labels labels;
    labels.add(".start", 0x200);
    labels.add(".add", 0x1234);
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
    EXPECT_EQ(parse_monitor_command("until #18446744073709551615", labels).count64, UINT64_MAX);
}

TEST(LabelFile, ReadsTheLinkersFormatAndRefusesOthers) {
    const std::string path = testing::TempDir() + "monitor_labels.lbl";
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

}  // namespace
