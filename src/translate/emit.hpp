// Host code for a block of instructions, made with a JIT assembler into one
// executable buffer that is emptied when full.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu/opcode_matrix.hpp"
#include "translate/state.hpp"

struct DecodedInstruction {
    u16 at;
    u8 opcode;
    u8 length;
};

// The code buffer, made on first use; false, with the host's reason in
// `why`, when no executable memory can be had.
[[nodiscard]] bool emitter_open(const char*& why);
// Empties the buffer: every block made before is gone.
void emitter_reset();
// A block to make: its instructions in a row, decoded with the processor's
// grid, and the handlers that run one instruction each.
struct BlockSource {
    const DecodedInstruction* instructions;
    std::size_t count;
    const OpcodeEntry* grid;
    Chip chip;
    const InstructionHelper* helpers;
};
// The block's host code, and in `body` where a block that goes straight on
// enters it; nullptr when the buffer is full.
[[nodiscard]] BlockCode emit_block(const BlockSource& source, const void*& body);
// Blocks the assembler refused to make (it says why only by throwing): a
// fault, which the tests look for.
[[nodiscard]] std::uint64_t emitter_refusals();
// What makes the code, for --version; nullptr when this build makes none.
[[nodiscard]] const char* emitter_name();
