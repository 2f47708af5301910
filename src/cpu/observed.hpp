// What the observed copies of the threaded code (cpu/threaded.hpp) look
// at and count, shared with the observers that fill and read it.
#pragma once

#include <array>
#include <cstdint>

#include "bus/bus.hpp"

// What an observed copy of the threaded code looks at, as a set. A plain
// run uses the copies without any, which are left exactly as they were.
namespace observe {
inline constexpr unsigned BREAKS = 1;   // stops before an address marked in break_at
inline constexpr unsigned WATCHES = 2;  // stops before an instruction that may touch a watched page
inline constexpr unsigned PROFILE = 4;  // counts executions and cycles per address, and routine entries
inline constexpr unsigned HISTORY = 8;  // notes every instruction in the history log (cpu/history_log.hpp)
}  // namespace observe

// The tables the observed copies read and the profile they write, at a
// fixed address so that the threaded code indexes them directly.
struct ObservedTables {
    std::array<u8, 0x10000> break_at;  // nonzero: stop before the instruction here
    std::array<u8, 0x100> watch_page;  // nonzero: an instruction that may access this page is stopped before
    bool watch_any;                    // some page is watched: the indirect jumps, whose pointer may lie anywhere
    std::array<std::uint64_t, 0x10000> counts, cycles;  // executions and their cycles per address
    std::array<u8, 0x10000> entries;   // routine entries: JSR and BRK targets, interrupt handlers, the start
};
extern ObservedTables observed;
