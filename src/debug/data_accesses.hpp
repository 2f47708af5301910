// The data accesses an instruction is about to make, worked out from the
// opcode grid and the registers before it runs, so that watchpoints (the
// monitor's, the debug adapter's data breakpoints) cost the processor
// nothing. Opcode and operand fetches are not data accesses.
#pragma once

#include <array>
#include <cstdint>

#include "bus/bus.hpp"

// The kinds of access a watchpoint stops on, alone or together.
inline constexpr std::uint8_t WATCH_READ = 1;
inline constexpr std::uint8_t WATCH_WRITE = 2;

struct Access {
    u16 address;
    u8 kind;    // WATCH_READ or WATCH_WRITE
    u8 before;  // the byte there before the instruction: the value read, or the one overwritten
};

inline constexpr std::size_t MAX_ACCESSES = 6;

// Those of the instruction at cpu.pc; returns how many.
int data_accesses(std::array<Access, MAX_ACCESSES>& out);
