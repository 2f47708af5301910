// The monitor's commands that write code or look through memory: a
// (assemble), hunt, compare and move. Each works on the machine's memory
// and returns the lines to show, a message naming what was wrong among them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "debug/expression.hpp"
#include "debug/labels.hpp"
#include "monitor/monitor_command.hpp"

// One instruction assembled at `address` and shown as disassembled; `next`
// is the address after it (unchanged on an error).
[[nodiscard]] std::string monitor_assemble(std::uint16_t address, std::string_view instruction,
                                           const Labels& labels, std::uint16_t& next);
[[nodiscard]] std::string monitor_hunt(const MonitorCommand& command);
[[nodiscard]] std::string monitor_compare(const MonitorCommand& command);
[[nodiscard]] std::string monitor_move(const MonitorCommand& command);
