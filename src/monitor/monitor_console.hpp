// The monitor's commands that look at or change the stopped machine without
// moving it (registers, memory, disassembly, assembly, files), as text: the
// monitor's session shows it, and the debug adapter's console runs them
// through the driver, which hands it monitor_console_line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "debug/labels.hpp"
#include "monitor/monitor_command.hpp"

// m: memory in hex and ASCII, 16 bytes a line, read as the monitor reads it.
[[nodiscard]] std::string memory_lines(std::uint16_t first, std::uint16_t last);
// d: from `first` to `last`, or 16 instructions; `next` is where d goes on.
[[nodiscard]] std::string disassembly_lines(std::uint16_t first, std::optional<std::uint16_t> last,
                                            const Labels& labels, std::uint16_t& next);
// r a=41 ...: the registers and flags as set.
void set_registers(const std::vector<RegisterSetting>& settings);
// "PC=0200 A=00 X=00 Y=00 SP=FD NV-BDIZC=00100100\n"
[[nodiscard]] std::string register_line();
// save FILE START END, load FILE ADDR: what became of it.
[[nodiscard]] std::string save_memory(const MonitorCommand& command);
[[nodiscard]] std::string load_memory(const MonitorCommand& command);

// One line typed in the debug adapter's console: those commands run, `?`
// and the help too; any other is refused with a line saying why.
[[nodiscard]] std::string monitor_console_line(std::string_view line, const Labels& labels);
