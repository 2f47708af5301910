// C variables' values, read from the machine's memory at the places the
// debug information gives: locals and parameters on cc65's C stack, from
// the frame base that the C stack pointer (a zero-page word) gives; static
// and external ones at their labels.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "debug/debug_info.hpp"

// Reads one byte of the machine without side effects (no device action).
using PeekByte = std::function<std::uint8_t(std::uint16_t)>;

// The frame base of C function `function` stopped at `pc`: the C stack
// pointer plus the room its locals take. Right at a statement's first
// instruction once the function has made that room (its first line's
// start is the entry, before it has); nullopt at the entry itself or when
// the file has no C stack pointer.
[[nodiscard]] std::optional<std::uint16_t> c_frame_base(const debug_info::DebugInfo& info,
                                                       const debug_info::Function& function, std::uint16_t pc,
                                                       const PeekByte& peek);

// Where `variable` lives: its address, or nullopt when it cannot be told
// (a local without a frame base, a register variable without "regbank").
[[nodiscard]] std::optional<std::uint16_t> c_variable_address(const debug_info::DebugInfo& info,
                                                              const debug_info::CVariable& variable,
                                                              std::optional<std::uint16_t> frame_base);

// `bytes` (little-endian, as cc65 stores them) shown as the variable's
// type says, else by its size: 1 byte a char ("65 'A'"), 2 an int, 4 a
// long (unsigned, with the signed value when it differs, and the hex), a
// pointer "$C000", an array "{1, 2}"; anything else as bytes, with the
// text they hold when they look like a string.
[[nodiscard]] std::string format_c_value(const debug_info::TypeInfo& type, std::span<const std::uint8_t> bytes);

// The value of `variable` as the monitor shows it ("?" when it cannot be
// placed or has no known size; at most 64 bytes).
[[nodiscard]] std::string read_c_variable(const debug_info::DebugInfo& info, const debug_info::CVariable& variable,
                                          std::optional<std::uint16_t> frame_base, const PeekByte& peek);
