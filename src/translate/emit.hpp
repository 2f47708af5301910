// Host code for a block of instructions, made with a JIT assembler into one
// executable buffer that is emptied when full.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cpu/opcode_matrix.hpp"
#include "translate/state.hpp"

struct DecodedInstruction {
    u16 at;
    u8 opcode;
    u8 length;
};

// The code buffer, made on first use (emitter_reset readies it); false,
// with the host's reason in `why`, when no executable memory can be had.
[[nodiscard]] bool emitter_open(const char*& why);
// Empties the buffer: every block made before is gone.
void emitter_reset();
// A block to make: its instructions in a row, decoded with the processor's
// grid, the handlers that run one instruction each, and the room the block
// checks for on entry (its instructions, and its cycles at most).
struct BlockSource {
    const DecodedInstruction* instructions;
    std::size_t count;
    const OpcodeEntry* grid;
    Chip chip;
    const InstructionHelper* helpers;
    unsigned max_cycles;
};
// Where the block's host code begins, for a countdown and for a budget
// (the room each checks); nullptrs when the buffer is full.
[[nodiscard]] std::array<const void*, 2> emit_block(const BlockSource& source);
// Runs translated code from `body` (a block's, for s->r.pc) until a block
// hands back; what it reports.
[[nodiscard]] std::uint32_t emitter_enter(TranslateState* s, const void* body);
// Blocks the assembler refused to make (it says why only by throwing): a
// fault, which the tests look for.
[[nodiscard]] std::uint64_t emitter_refusals();
// What makes the code, for --version; nullptr when this build makes none.
[[nodiscard]] const char* emitter_name();
