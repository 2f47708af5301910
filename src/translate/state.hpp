// What translated code works on: the registers as the threaded code keeps
// them, and the counts of the stretch. Translated blocks and the helpers
// they call take it in their first argument.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu/threaded.hpp"

struct TranslateState {
    RunRegisters r;
    std::uint64_t instructions;  // run in this call
    std::uint64_t cycles;
    // A block runs whole, and one block goes straight on to the next,
    // only while its instructions stay within the first and its cycles
    // below the second: the countdown, or the budget.
    std::uint64_t room_instructions;
    std::uint64_t room_cycles;
};

// What a block or helper reports, as bits: the run loop must look (the
// interpreter's own rule), or a store reached translated code.
inline constexpr std::uint32_t EXIT_LOOK = 1;
inline constexpr std::uint32_t EXIT_CODE_WRITTEN = 2;

// One instruction at r.pc, counted; its operand read from memory as it is.
using InstructionHelper = std::uint32_t (*)(TranslateState*);
// A block's host code: from r.pc on to its end, or to an exit.
using BlockCode = std::uint32_t (*)(TranslateState*);
