// The calls that led to pc, found through the 6502 stack: every word on
// it that is a return address (the byte before it ends a JSR in code the
// debug information has lines for) is a caller. cc65 keeps its C
// arguments and locals on a stack of its own, so the 6502 stack of a C
// program holds little besides return addresses.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "debug/c_values.hpp"
#include "debug/debug_info.hpp"

struct CallFrame {
    std::uint16_t pc = 0;  // the innermost: pc; the others: the JSR that made the call
    std::optional<debug_info::Function> function;
    std::optional<debug_info::Location> location;
};

// The JSRs whose return addresses lie on the 6502 stack above `sp`,
// innermost first, at most `limit`: a word is one when the byte 2 below
// where it points is a JSR that `counts` accepts; else the walk moves on a
// byte.
[[nodiscard]] std::vector<std::uint16_t> stacked_calls(std::uint8_t sp, const PeekByte& peek, std::size_t limit,
                                                       const std::function<bool(std::uint16_t)>& counts);

// Innermost first, at most `limit` frames; a call counts where the debug
// information has a line for it.
[[nodiscard]] std::vector<CallFrame> call_frames(const debug_info::DebugInfo& info, std::uint16_t pc, std::uint8_t sp,
                                                 const PeekByte& peek, std::size_t limit = 32);

// A name for code at `address`: its function, else the nearest label at or
// below it in the same module ("start+19"); "" when there is none.
[[nodiscard]] std::string code_name(const debug_info::DebugInfo& info, std::uint16_t address);
