// The translated blocks, found by the address of their first instruction,
// and which bytes of memory they were made from: a store into those bytes
// drops every block of the page before the code runs again. A page whose
// code keeps being rewritten is no longer translated in that run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "translate/state.hpp"

// The two ways a stretch is bounded: by a countdown of instructions, or by
// a budget of cycles. Translated code checks only the one that bounds it.
enum class Bound : u8 { countdown, budget };

struct Block {
    std::array<const void*, 2> body;  // its host code, which checks the room first, by Bound
    u16 start;
    u16 end;  // one past its last byte, on the same page as start
    u16 instructions;
    u16 max_cycles;  // its instructions' cycles, page crossings, branches and decimal mode at most
    Block* next;     // on its page
};

namespace block_cache {
inline constexpr std::size_t MAX_BLOCKS = 16384;
// Rewrites of a page's code after which it runs untranslated.
inline constexpr u8 REWRITES_BEFORE_COLD = 8;

extern std::array<Block*, 0x10000> block_at;
// Where translated code goes on at each address, for each Bound (one table
// after the other): a block's body, or the code that hands back to the
// caller (with a look where pc is outside the safe range, as the threaded
// code's jumps look). Set by the emitter.
extern std::array<const void*, 2 * 0x10000> entry_at;
extern std::array<u8, 0x10000> code_map;  // 1 where a block's bytes lie
extern std::array<u8, 256> page_has_code;
extern std::array<u8, 256> page_cold;

// What entry_at holds where no block is: set by the emitter's reset.
void set_exits(const void* hand_back, const void* look);
// Drops every block (the code they point at goes with the code buffer).
void clear();
// Every page translatable again, as at a run's start.
void forget_rewrites();
// A block for [start, end); nullptr when the pool is full.
[[nodiscard]] Block* add(std::array<const void*, 2> body, u16 start, u16 end, u16 instructions, u16 max_cycles);
// A store at `address`, where code_map is set: the page's blocks dropped.
std::uint32_t code_written(u16 address);
// The same for every byte of a page that may have been written.
void page_written(u8 page);
}  // namespace block_cache
