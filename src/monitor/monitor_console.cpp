#include "monitor/monitor_console.hpp"

#include <algorithm>
#include <cstdio>
#include <span>

#include "base/text.hpp"
#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "debug/disassembler.hpp"
#include "host/files.hpp"
#include "monitor/monitor_memory.hpp"

std::string memory_lines(std::uint16_t first, std::uint16_t last) {
    std::string lines;
    for (unsigned line = first; line <= last; line += 16) {
        char hex[64] = "";
        char text[17] = "";
        int used = 0;
        for (unsigned i = 0; i < 16; ++i) {
            if (line + i > last) {
                used += std::snprintf(hex + used, sizeof hex - static_cast<std::size_t>(used), "   ");
                continue;
            }
            const u8 value = bus_peek(static_cast<u16>(line + i));
            used += std::snprintf(hex + used, sizeof hex - static_cast<std::size_t>(used), " %02X", value);
            text[i] = value >= 0x20 && value < 0x7F ? static_cast<char>(value) : '.';
        }
        char shown[100];
        std::snprintf(shown, sizeof shown, "%04X %s  %s\n", line, hex, text);
        lines += shown;
    }
    return lines;
}

std::string disassembly_lines(std::uint16_t first, std::optional<std::uint16_t> last, const Labels& labels,
                              std::uint16_t& next) {
    std::string lines;
    unsigned address = first;
    for (int shown = 0; address <= 0xFFFF; ++shown) {
        if (last ? address > *last : shown == 16) break;
        char text[128];
        if (const char* name = labels.name_at(static_cast<u16>(address))) lines += std::string(name) + ":\n";
        address += static_cast<unsigned>(disassembly_line(static_cast<u16>(address), &labels, text, sizeof text));
        lines += std::string(text) + "\n";
    }
    next = static_cast<u16>(address);
    return lines;
}

void set_registers(const std::vector<RegisterSetting>& settings) {
    for (const RegisterSetting& setting : settings) {
        const u8 value = static_cast<u8>(setting.value);
        const std::string& name = setting.name;
        if (name == "a") cpu.a = value;
        else if (name == "x") cpu.x = value;
        else if (name == "y") cpu.y = value;
        else if (name == "sp") cpu.sp = value;
        else if (name == "p") cpu.status = value;
        else if (name == "pc") cpu.pc = setting.value;
        else {
            const u8 flag = name == "n" ? FLAG_N : name == "v" ? FLAG_V : name == "b" ? FLAG_B
                          : name == "d" ? FLAG_D : name == "i" ? FLAG_I : name == "z" ? FLAG_Z : FLAG_C;
            cpu.status = static_cast<u8>(value ? cpu.status | flag : cpu.status & ~flag);
        }
    }
}

std::string register_line() {
    char flags[9];
    for (int bit = 0; bit < 8; ++bit) flags[bit] = (cpu.status & (0x80 >> bit)) ? '1' : '0';
    flags[8] = '\0';
    char line[80];
    std::snprintf(line, sizeof line, "PC=%04X A=%02X X=%02X Y=%02X SP=%02X NV-BDIZC=%s\n", cpu.pc, cpu.a, cpu.x, cpu.y,
                  cpu.sp, flags);
    return line;
}

std::string save_memory(const MonitorCommand& command) {
    const std::size_t size = static_cast<std::size_t>(*command.second) - *command.first + 1;
    std::FILE* file = std::fopen(command.file.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(&memory[*command.first], 1, size, file) == size;
    if (file != nullptr && std::fclose(file) != 0) written = false;
    if (!written) return "save: can't write " + command.file + "\n";
    char text[64];
    std::snprintf(text, sizeof text, "saved %04X-%04X (%llu bytes) to ", *command.first, *command.second,
                  static_cast<unsigned long long>(size));
    return text + command.file + "\n";
}

std::string load_memory(const MonitorCommand& command) {
    // Read whole first: a file that fails leaves memory as it was.
    std::vector<u8> bytes(0x10000 - *command.first);
    const FileRead read = host_read_file(command.file.c_str(), std::span<u8>(bytes));
    if (read.status == FileReadStatus::cannot_open || read.status == FileReadStatus::read_error)
        return "load: can't read " + command.file + ": " + host_error_text(read.error) + "\n";
    std::copy_n(bytes.begin(), read.size, memory.begin() + *command.first);
    char text[64];
    std::snprintf(text, sizeof text, "loaded %llu bytes at %04X", static_cast<unsigned long long>(read.size),
                  *command.first);
    return text + std::string(read.status == FileReadStatus::too_long
                                  ? "; the rest of the file runs past FFFF and was left out\n"
                                  : "\n");
}

std::string monitor_console_line(std::string_view line, const Labels& labels) {
    const MonitorCommand command = parse_monitor_command(line, labels);
    if (!command.error.empty()) return command.error + "\n";
    std::uint16_t next = 0;
    switch (command.verb) {
    case MonitorVerb::none: return {};
    case MonitorVerb::registers: set_registers(command.registers); return register_line();
    case MonitorVerb::value: return describe_value(command.value, &labels) + "\n";
    case MonitorVerb::memory:
        return memory_lines(*command.first,
                            command.second.value_or(static_cast<u16>(std::min(0xFFFF, *command.first + 0x7F))));
    case MonitorVerb::disassemble: return disassembly_lines(command.first.value_or(cpu.pc), command.second, labels, next);
    case MonitorVerb::enter:
        std::copy(command.bytes.begin(), command.bytes.end(), memory.begin() + *command.first);
        return {};
    case MonitorVerb::fill:
        std::fill(memory.begin() + *command.first, memory.begin() + *command.second + 1, command.bytes[0]);
        return {};
    case MonitorVerb::assemble:
        if (command.text.empty()) return "a: one instruction at a time here: a ADDR INSTRUCTION\n";
        next = *command.first;
        return monitor_assemble(*command.first, command.text, labels, next);
    case MonitorVerb::hunt: return monitor_hunt(command);
    case MonitorVerb::compare: return monitor_compare(command);
    case MonitorVerb::move: return monitor_move(command);
    case MonitorVerb::save: return save_memory(command);
    case MonitorVerb::load: return load_memory(command);
    case MonitorVerb::help:
        return "the debug console takes an expression (its value), or one of the monitor's commands that\n"
               "look at or change the machine: r, ?, m, d, e, f, a ADDR INSTRUCTION, hunt, compare, move,\n"
               "save, load; the editor's own controls run, step and set breakpoints\n";
    default: break;
    }
    const std::vector<std::string_view> words = split_arguments(line);
    return quoted_text(words.front()) + ": not in the debug console; the editor's own controls run, step and set breakpoints\n";
}
