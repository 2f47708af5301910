#include "monitor/monitor_memory.hpp"

#include <cstdio>

#include "bus/bus.hpp"
#include "cpu/cpu.hpp"
#include "debug/assembler.hpp"
#include "debug/disassembler.hpp"

namespace {
// Shown at most: a hunt or compare over all memory stays readable.
constexpr std::size_t LIMIT = 64;
constexpr int PER_LINE = 8;

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}
}  // namespace

std::string monitor_assemble(std::uint16_t address, std::string_view instruction, const Labels& labels,
                             std::uint16_t& next) {
    const Assembled code = assemble(instruction, address, cpu_chip(), MachineContext(labels));
    if (code.length == 0) return "a: " + code.error + "\n";
    if (address + code.length > 0x10000) return "a: the instruction runs past FFFF\n";
    for (int i = 0; i < code.length; ++i) memory[address + static_cast<unsigned>(i)] = code.bytes[static_cast<std::size_t>(i)];
    next = static_cast<std::uint16_t>(address + code.length);
    char text[128];
    (void)disassembly_line(address, &labels, text, sizeof text);
    return std::string(text) + "\n";
}

std::string monitor_hunt(const MonitorCommand& command) {
    bool more = false;
    const std::vector<std::uint16_t> found = hunt_memory(memory, *command.first, *command.second, command.pattern, LIMIT, more);
    if (found.empty()) return "hunt: not found\n";
    std::string text;
    for (std::size_t i = 0; i < found.size(); ++i)
        text += hex4(found[i]) + ((i + 1) % PER_LINE == 0 || i + 1 == found.size() ? "\n" : " ");
    if (more) text += "hunt: the first " + std::to_string(LIMIT) + " shown; there are more\n";
    return text;
}

std::string monitor_compare(const MonitorCommand& command) {
    bool more = false;
    std::string error;
    const std::vector<MemoryDifference> found =
        compare_memory(memory, *command.first, *command.second, *command.third, LIMIT, more, error);
    if (!error.empty()) return "compare: " + error + "\n";
    if (found.empty()) return "compare: the same\n";
    std::string text;
    const unsigned shift = static_cast<unsigned>(*command.third - *command.first) & 0xFFFF;
    for (const MemoryDifference& d : found) {
        char line[32];
        std::snprintf(line, sizeof line, "%04X %02X  %04X %02X\n", d.address, d.here,
                      (d.address + shift) & 0xFFFF, d.there);
        text += line;
    }
    if (more) text += "compare: the first " + std::to_string(LIMIT) + " differences shown; there are more\n";
    return text;
}

std::string monitor_move(const MonitorCommand& command) {
    const std::string error = move_memory(memory, *command.first, *command.second, *command.third);
    if (!error.empty()) return "move: " + error + "\n";
    return "moved " + hex4(*command.first) + "-" + hex4(*command.second) + " to " + hex4(*command.third) + "\n";
}
