// How far a C line has moved cc65's C stack pointer down by the time it
// makes a call: what it pushed (arguments, an expression's operands) less
// what it took off again, read from the code on the way from the line's
// first byte to the JSR, through the names of cc65's runtime routines
// (pushax, decsp2, tosaddax, incsp4, ...) and the C functions it called.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "debug/c_values.hpp"

namespace c_view {

// What a JSR to `target` does to the C stack (bytes pushed; negative:
// taken off), given the last LDY #N before it; nullopt: not known.
using CallEffect = std::function<std::optional<int>(std::uint16_t target, std::optional<std::uint8_t> y)>;

// The bytes pushed from `line_start` up to the JSR at `call`, following
// the line's branches; nullopt when no path leads there.
[[nodiscard]] std::optional<int> pushed_before(std::uint16_t line_start, std::uint16_t call, const PeekByte& peek,
                                               const CallEffect& effect);

// What a cc65 runtime routine does to the C stack, by its name: bytes
// pushed (positive) or taken off (negative); `y` is the last LDY #N.
[[nodiscard]] int runtime_effect(const std::string& name, std::optional<std::uint8_t> y);

}  // namespace c_view
