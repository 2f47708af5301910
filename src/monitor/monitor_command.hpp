// The monitor's command language: one command per line, a short word and
// its arguments. Addresses, values and counts are expressions
// (expression.hpp: hex by default, labels, registers, arithmetic), each
// one argument: written without spaces or inside brackets. Breakpoint
// numbers are decimal, as `b` lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "debug/data_accesses.hpp"
#include "debug/expression.hpp"
#include "debug/labels.hpp"
#include "monitor/memory_tools.hpp"

enum class MonitorVerb {
    none,  // an empty line
    registers, step, next, cont, go, breakpoint, delete_point, watch, memory, enter, fill, disassemble,
    labels, trace, save, load, quit, leave, help, until,
    value, assemble, hunt, compare, move, clear_labels,
    out, enable, disable, stop_on_brk, stopwatch, back, reverse_continue, history, history_switch,
    advance, display, undisplay, commands, condition, ignore, info,
};

// hist without a count shows this many instructions.
inline constexpr std::uint32_t HISTORY_SHOWN = 16;

struct RegisterSetting {
    std::string name;  // a x y sp p pc, or a flag: n v b d i z c
    std::uint16_t value;
};

struct MonitorCommand {
    MonitorVerb verb = MonitorVerb::none;
    std::optional<std::uint16_t> first;   // the first address, when given
    std::optional<std::uint16_t> second;  // the second (END), when given
    std::uint32_t count = 1;              // s N, back N, bd N, hist N; the breakpoint of commands, condition, ignore
    std::uint64_t count64 = 0;            // until #N: an instruction count
    std::uint8_t access = 0;              // w: WATCH_READ and/or WATCH_WRITE
    std::vector<std::uint8_t> bytes;      // e, f
    std::string file;                     // l, trace, save, load ("" with trace off)
    std::vector<RegisterSetting> registers;
    std::optional<std::uint16_t> third;   // compare, move: the other range's start
    std::int64_t value = 0;               // ? EXPR
    std::string text;                     // a ADDR INSTRUCTION: the instruction; ? C-STRUCT: its value
    HuntPattern pattern;                  // hunt
    std::uint32_t pass = 0;               // b ... pass N: hits let by before it stops; ignore N COUNT
    std::string condition;                // b ... if EXPR; condition N EXPR; display EXPR
    bool temporary = false;               // tbreak: deleted where it stops
    bool on = false;                      // brk on|off, hist on|off
    std::string error;                    // a one-line message; then nothing is done
};

// Values are read through `context`; the second form reads the machine
// as it stands (MachineContext).
[[nodiscard]] MonitorCommand parse_monitor_command(std::string_view line, const ExpressionContext& context);
[[nodiscard]] MonitorCommand parse_monitor_command(std::string_view line, const Labels& labels);

[[nodiscard]] const char* monitor_help_text();

// Every command word the parser takes, for the help's test and the
// adapter's completions.
[[nodiscard]] std::vector<std::string_view> monitor_command_words();
