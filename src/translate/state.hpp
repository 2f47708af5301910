// What translated code works on: the registers as the threaded code keeps
// them, and the room left in the stretch. Translated code holds them in host
// registers and puts them here whenever it calls a handler or hands back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu/threaded.hpp"

struct TranslateState {
    RunRegisters r;
    // Counted down by every instruction: a block runs, and one block goes
    // straight on to the next, only while all of its instructions fit in the
    // first and all of its cycles stay below the second. The one that does
    // not count (a budget's instructions, a countdown's cycles) starts high.
    std::int64_t left_instructions;
    std::int64_t left_cycles;
    std::uint32_t written_at;  // with EXIT_STORED: where a store reached translated code
    const void* const* entries;  // block_cache::entry_at for the bound of the stretch
};

// What a block or helper reports, as bits: the run loop must look (the
// interpreter's own rule), a store reached translated code and its blocks are
// dropped already, or the caller must drop the blocks at written_at.
inline constexpr std::uint32_t EXIT_LOOK = 1;
inline constexpr std::uint32_t EXIT_CODE_WRITTEN = 2;
inline constexpr std::uint32_t EXIT_STORED = 4;

// One instruction at r.pc, counted; its operand read from memory as it is.
using InstructionHelper = std::uint32_t (*)(TranslateState*);
